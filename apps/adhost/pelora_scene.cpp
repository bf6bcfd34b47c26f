// The game's banner manager on a Pelora banner view: it sets the slot's ids, listens for
// ads, loads the first one and lets the view reload itself every 30 s of (virtual) time; the
// sandbox ad host answers an image ad, a text ad, then "no ad".
#include <memory>
#include <string>

#include "pelora/PELOBannerView.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/run_loop.h"
#include "platform/web_view.h"
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
  auto& loop = platform::RunLoop::main();
  testing::PeloraServer server;
  pelora::PELOGlobalSettings::globalSettings()->setAdHost(server.host());
  notef("ad host", "sandbox Pelora host at %@", server.host());
  server.setAds({server.imageAd("1"), server.textAd("Fly further with the turbo rocket", "2"),
                 testing::PeloraServer::errorAd("42", "No ad available")});

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

  note("game", "asyncLoadNewBanner");
  banner->asyncLoadNewBanner();
  loop.advance(0.01);
  bool ok = loop.runUntil([&] { return manager->received == 1; }, 10.0);
  for (int reload = 2; ok && reload <= 3; ++reload) {
    note("demo", "thirty seconds pass");
    loop.advance(30.01);
    ok = loop.runUntil([&] { return manager->received == reload; }, 10.0);
  }
  notef("ad host", "%zu ad requests, %zu beacon hits", server.adRequests().size(),
        server.beaconHits("img-1") + server.beaconHits("txt-2"));
  banner->setAutoReloadEnabled(false);
  server.stop();
  return ok && manager->failures == 1 && server.adRequests().size() == 3;
}

ADHOST_SCENE("pelora", 10, runPeloraScene);

}  // namespace adhost
