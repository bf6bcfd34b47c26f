// The Halvern adapter on the game's menu: the engine starts with a banner and a full-screen
// slot, fetches its script client through the update request, the hidden driver page
// downloads an ad package per slot, and the banner shows its ad and reports the impression.
#include <functional>
#include <memory>
#include <string>

#include "HVController.h"
#include "halvern/HVAdEngine.h"
#include "halvern/HVAdView.h"
#include "halvern/HalvernDelegate.h"
#include "platform/error.h"
#include "platform/run_loop.h"
#include "platform/window.h"
#include "scenes.h"
#include "testing/halvern_server.h"
#include "timeline.h"

namespace adhost {
namespace {

class Adapter : public halvern::HalvernDelegate {
 public:
  void halvernAdReadyForSlotNamed(const std::string& name) override {
    ++ready;
    note("adapter", "ad ready for " + name);
  }
  int ready = 0;
};

// Virtual time moves in small steps while the pages, the workers and the loopback traffic
// do their work.
bool pumpUntil(const std::function<bool()>& done, double seconds) {
  auto& loop = platform::RunLoop::main();
  for (double waited = 0; waited < seconds && !done(); waited += 0.1) {
    loop.runUntil(done, 0.02);
    loop.advance(0.1);
  }
  return done();
}

}  // namespace

bool runHalvernScene(const Options&) {
  heading("Halvern");
  testing::HalvernServer server;
  server.offerClient("1.0");
  server.setAd("hvBanner", "<div>Dragon league: join today</div>", 3600, {"banner-impression", "partner-impression"});
  server.setAd("hvFullScreen", "<div>Full-screen tournament</div>", 3600, {});
  notef("server", "ad bridge server at %@", server.serverURL());

  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  window->makeKeyAndVisible();

  note("adapter", "startupWithAppID hv-demo, slots hvBanner (1) and hvFullScreen (2)");
  halvern::HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions(
      "hv-demo", server.serverURL(),
      {halvern::HVAdSlotDescription(halvern::HVAdSizeBanner, "hvBanner"),
       halvern::HVAdSlotDescription(halvern::HVAdSizeFullScreen, "hvFullScreen")});
  bool ok = pumpUntil([] { return halvern::HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 60);
  if (!server.updateRequests().empty())
    note("server", "client update asked with clientversion " +
                       server.updateRequests()[0].queryItem("clientversion").value_or("?") + ", answered 1.0");
  notef("server", "%zu ad descriptions and packages asked for", server.adRequests().size());
  notef("adapter", "isNextAdDownloadedForSlotNamed hvBanner: %@",
        std::string(halvern::HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner") ? "YES" : "NO"));
  try {
    halvern::HVAdEngine::startupWithAppIDAdSlotDescriptions(
        "hv-demo", {halvern::HVAdSlotDescription(halvern::HVAdSizeBanner, "hvBanner")});
    ok = false;
  } catch (const platform::Exception& e) {
    note("adapter", "a second start: " + e.reason);
  }

  auto adapter = std::make_shared<Adapter>();
  auto banner = halvern::HVAdView::adViewForSlotNamedDelegate("hvBanner", adapter);
  window->addSubview(banner);
  notef("adapter", "banner view %.0f x %.0f on the menu", banner->frame().size.width, banner->frame().size.height);
  ok = pumpUntil([&] { return server.trackerHits("banner-impression") == 1 && server.trackerHits("partner-impression") == 1; },
                 60) &&
       ok;
  notef("server", "impression trackers hit: banner %zu, partner %zu", server.trackerHits("banner-impression"),
        server.trackerHits("partner-impression"));
  ok = pumpUntil([] { return halvern::HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 60) && ok;
  note("adapter", "the next banner ad is already waiting");
  banner->removeFromSuperview();
  // The client's worker threads must not outlive what the process tears down at exit.
  halvern::HVController::sharedController()->shutdown();
  return ok && adapter->ready == 1;
}

ADHOST_SCENE("halvern", 11, runHalvernScene);

}  // namespace adhost
