// The game's banner manager on a Pelora banner view: it sets the slot's ids, listens for
// ads, loads the first one and lets the view reload itself every 30 s of (virtual) time; the
// sandbox ad host answers an image ad, a text ad, "no ad", then a rich-media ad whose
// creative expands over the screen and closes again through its own scripts. The session's
// install ping reaches the host too.
#include <memory>
#include <string>

#include "pelora/PELOBannerView.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "pacing.h"
#include "scenes.h"
#include "testing/pelora_server.h"
#include "timeline.h"

namespace adhost {
namespace {

const char* kTypeWords[] = {"ALL", "IMG", "TXT", "VIDEO", "RICHMEDIA"};

class BannerManager : public pelora::PELOAdListenerProtocol {
 public:
  void onReceiveAdWithReceivedBanner(const std::shared_ptr<pelora::PELOAdDownloaderProtocol>&,
                                     const std::shared_ptr<pelora::PELOReceivedBannerProtocol>& banner) override {
    ++received;
    if (banner->status() == pelora::kPELOBannerStatusError) {
      ++failures;
      notef("banner manager", "no ad: error %d \"%@\"", banner->errorCode(), banner->errorMessage());
      return;
    }
    const int type = banner->adType();
    notef("banner manager", "%@ ad shown, click target %@", type >= 0 && type <= 4 ? kTypeWords[type] : "?",
          banner->clickUrl());
  }
  int received = 0;
  int failures = 0;
};

}  // namespace

bool runPeloraScene(const Options&) {
  heading("Pelora");
  testkit::PeloraServer server;
  pelora::PELOGlobalSettings::globalSettings()->setAdHost(server.host());
  notef("ad host", "sandbox Pelora host at %@", server.host());
  server.setAds({server.imageAd("1"), server.textAd("Fly further with the turbo rocket", "2"),
                 testkit::PeloraServer::errorAd("42", "No ad available"),
                 server.richMediaAd(testkit::PeloraServer::ormmaCreative(), "4")});

  auto manager = std::make_shared<BannerManager>();
  auto banner = pelora::PELOBannerView::createWithDimension(pelora::kPELOAdDimensionXXLarge);
  banner->adSettings()->setPublisherId(1201);
  banner->adSettings()->setAdspaceId(7);
  banner->addAdListener(manager);
  banner->setAnimationType(5);
  banner->setBackgroundColor(platform::Color::clearColor());
  banner->setAutoReloadFrequency(10);
  notef("banner view", "auto reload asked for every 10 s, runs every %d s", banner->autoReloadFrequency());
  banner->setAutoReloadEnabled(true);
  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  window->makeKeyAndVisible();
  auto screen = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
  window->addSubview(screen);
  banner->setFrame(platform::Rect(0, 430, 320, 50));
  screen->addSubview(banner);

  note("game", "asyncLoadNewBanner");
  banner->asyncLoadNewBanner();
  pass(0.01);
  bool ok = passUntil([&] { return manager->received == 1; }, 10);
  for (int reload = 2; ok && reload <= 4; ++reload) {
    note("demo", "thirty seconds pass");
    pass(30.01);
    ok = passUntil([&] { return manager->received == reload; }, 10);
  }

  // The player taps the rich-media creative, which asks to expand, then to close.
  auto page = std::dynamic_pointer_cast<platform::WebView>(banner->currentViewForTesting());
  bool expanded = false, closed = false;
  if (ok && page) {
    note("player", "taps the ad");
    window->tapAtPoint(platform::Point{160, 455});
    note("creative", "ormma.expand({x: 10, y: 60, width: 300, height: 250})");
    page->stringByEvaluatingJavaScriptFromString("ormma.expand({x: 10, y: 60, width: 300, height: 250}, null)");
    pass(0.5);
    const platform::Rect f = page->frame();
    expanded = page->stringByEvaluatingJavaScriptFromString("ormma.getState()") == "expanded" && f.size.height == 250;
    notef("banner view", "ad page over the screen at (%d, %d) %d x %d, page state %@", static_cast<int>(f.origin.x),
          static_cast<int>(f.origin.y), static_cast<int>(f.size.width), static_cast<int>(f.size.height),
          page->stringByEvaluatingJavaScriptFromString("ormma.getState()"));
    note("creative", "ormma.close()");
    page->stringByEvaluatingJavaScriptFromString("ormma.close()");
    pass(0.3);
    closed = page->superview() == banner && page->stringByEvaluatingJavaScriptFromString("ormma.getState()") == "default";
    notef("banner view", "ad page back in the banner, states the creative heard: %@",
          page->stringByEvaluatingJavaScriptFromString("creativeStates.join(' > ')"));
  }
  passUntil([&] { return !server.installPings().empty(); }, 10);
  for (const auto& ping : server.installPings())
    notef("ad host", "install ping, firststart=%@", ping.queryItem("firststart").value_or("?"));
  notef("ad host", "%zu ad requests, %zu beacon hits", server.adRequests().size(),
        server.beaconHits("img-1") + server.beaconHits("txt-2") + server.beaconHits("rm-4"));
  banner->setAutoReloadEnabled(false);
  server.stop();
  return ok && expanded && closed && manager->failures == 1 && server.adRequests().size() == 4 &&
         server.installPings().size() == 1;
}

ADHOST_SCENE("pelora", 10, runPeloraScene);

}  // namespace adhost
