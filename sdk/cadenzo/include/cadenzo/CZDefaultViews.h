#pragma once
// Wires the view layer into the session layer: installs the factory that makes the HTML,
// native interstitial and native more-apps views for impressions, and makes the default
// view controller the facade's presentation controller.
//
// Call once at start-up, on the main thread, after the facade exists (the demo does it
// before its first session; tests after each test reset, which forgets the facade).
// Idempotent. Nothing is installed by static initialisation.
namespace cadenzo {

void installDefaultViews();

}  // namespace cadenzo
