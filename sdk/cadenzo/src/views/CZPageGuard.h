#pragma once
// What a view showing an ad page refuses from it. Pages are untrusted: commands (and
// navigations without a URL) count only while the document the view loaded itself is shown,
// so a page the ad navigated to cannot act in the ad's name, unless the user's tap loaded that
// page and it is still loading (its command then carries the tap on, as the web view's
// navigations do); and a "file" URL outside the
// application bundle is not the page's to load. Each kind of refusal is logged once per guard
// (a page on a timer would otherwise flood the log).
//
// A page acts for the user (a click counted, reported, and followed out of the ad) only
// just after the user touched the shown view: allowsUserAct() spends the touch the web view
// recorded, one act per touch, and refuses otherwise, logging each kind of act once per page.
// A page's timers, its own script clicks, and an ad that is cached, hidden or off its window
// hold no touch.
//
// Thread safety: main thread only, like the web view it serves.
#include <optional>
#include <string>

#include "platform/url.h"
#include "platform/web_view.h"

namespace cadenzo {

class CZPageGuard {
 public:
  // `owner` names the view in the log lines.
  explicit CZPageGuard(const char* owner) : owner_(owner) {}

  // The view is about to load its own page with `baseURL` (none: "about:blank").
  void pageWillLoad(const std::optional<platform::URL>& baseURL);
  // Whether `view` may go on to handle a navigation to `url` (false: refuse the load).
  bool admits(const platform::WebView& view, const std::string& url);
  // Whether the page of `view` may now do `act` (a short name, e.g. "click") for the user:
  // true at most once per touch of the user on the view while it is shown.
  bool allowsUserAct(platform::WebView& view, const char* act) const;

 private:
  // The document on screen is the one the view loaded itself (or there is none yet).
  bool showsOwnDocument(const platform::WebView& view) const;
  void refuse(bool& logged, const char* what, const std::string& url);

  const char* owner_;
  std::string ownURL_;
  bool foreignCommandLogged_ = false;
  bool outsideFileLogged_ = false;
};

}  // namespace cadenzo
