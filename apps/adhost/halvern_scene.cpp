// The Halvern adapter on the game's menu: the engine starts with a banner and a full-screen
// slot, fetches its script client through the update request, the hidden driver page
// downloads an ad package per slot, and the banner shows its ad and reports the impression;
// then a full-screen ad opens in its own window and the player skips it from its menu.
#include <memory>
#include <string>

#include "halvern/HVAdEngine.h"
#include "halvern/HVAdView.h"
#include "halvern/HalvernDelegate.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/controls.h"
#include "platform/error.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "pacing.h"
#include "scenes.h"
#include "testing/halvern_server.h"
#include "timeline.h"
#include "view_tree.h"

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

class FullScreenAdapter : public halvern::HalvernDelegate {
 public:
  void halvernAdReadyForSlotNamed(const std::string& name) override { note("adapter", "full-screen ad ready for " + name); }
  void halvernFullScreenDisplayWillOpen() override {
    ++opened;
    note("adapter", "full-screen display will open: the game pauses");
  }
  void halvernFullScreenDisplayWillClose() override {
    ++closed;
    note("adapter", "full-screen display will close: the game resumes");
  }
  int opened = 0;
  int closed = 0;
};

}  // namespace

bool runHalvernScene(const Options&) {
  heading("Halvern");
  // The client's file and database workers run in real time beside the loopback traffic;
  // what they hand back must be in before virtual time moves on.
  SettledWhile workersAtRest("Halvern's worker threads at work",
                             [] { return platform::Thread::busyCountForTesting() == 0; });
  testkit::HalvernServer server;
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
  bool ok = passUntil([] { return halvern::HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 60);
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
  ok = passUntil([&] { return server.trackerHits("banner-impression") == 1 && server.trackerHits("partner-impression") == 1; },
                 60) &&
       ok;
  notef("server", "impression trackers hit: banner %zu, partner %zu", server.trackerHits("banner-impression"),
        server.trackerHits("partner-impression"));
  ok = passUntil([] { return halvern::HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 60) && ok;
  note("adapter", "the next banner ad is already waiting");

  // Between two rounds, the full-screen ad: its own window, a "Menu" after ten seconds, and
  // "Skip", which the ad's page agrees to.
  auto fullScreenAdapter = std::make_shared<FullScreenAdapter>();
  halvern::HVAdEngine::setFullScreenDelegateForSlotNamed(fullScreenAdapter, "hvFullScreen");
  ok = passUntil([] { return halvern::HVAdEngine::isNextAdDownloadedForSlotNamed("hvFullScreen"); }, 60) && ok;
  note("adapter", "displayFullScreenAdForSlotNamed hvFullScreen");
  ok = halvern::HVAdEngine::displayFullScreenAdForSlotNamed("hvFullScreen") && ok;
  // The player sees what the client put on screen: the ad's own window, over the game's.
  std::shared_ptr<platform::Window> adWindow;
  auto loading = [&] {
    return findView<platform::Label>(adWindow, [](const platform::Label& label) { return label.text() == "Loading"; });
  };
  ok = passUntil([&] {
         auto key = platform::Application::sharedApplication().keyWindow();
         if (key != window) adWindow = key;
         return adWindow && adWindow->isUserInteractionEnabled() && !loading();
       },
                 10) &&
       ok;
  notef("demo", "the ad's window is key: %@; the game's window is key: %@",
        std::string(adWindow && adWindow->isKeyWindow() ? "yes" : "no"), std::string(window->isKeyWindow() ? "yes" : "no"));
  std::shared_ptr<platform::Button> menu;
  ok = passUntil([&] {
         menu = findView<platform::Button>(adWindow, [](const platform::Button& b) { return b.currentTitle() == "Menu"; });
         return menu != nullptr;
       },
                 15) &&
       ok;
  note("player", "taps \"Menu\"");
  if (menu) menu->simulateTap();
  auto sheets = platform::ActionSheet::shownSheets();
  auto sheet = menu && !sheets.empty() && sheets.back()->isVisible() ? sheets.back() : nullptr;
  if (sheet) {
    std::string titles;
    for (long i = 0; i < sheet->numberOfButtons(); ++i) titles += (i ? ", " : "") + sheet->buttonTitleAtIndex(i);
    note("demo", "the ad's menu: " + titles);
    note("player", "picks \"Skip\"");
    sheet->clickButtonAtIndex(sheet->numberOfButtons() - 1);
  }
  const size_t asked = server.adRequests().size();
  ok = sheet && passUntil([&] { return window->isKeyWindow() && adWindow->subviews().empty(); }, 5) && ok;
  ok = passUntil([&] { return server.adRequests().size() > asked; }, 30) && ok;
  note("server", "the next full-screen ad is asked for");
  ok = ok && fullScreenAdapter->opened == 1 && fullScreenAdapter->closed == 1;
  banner->removeFromSuperview();
  // The client's worker threads must not outlive what the process tears down at exit.
  halvern::HVAdEngine::shutdown();
  return ok && adapter->ready == 1;
}

ADHOST_SCENE("halvern", 11, runHalvernScene);

}  // namespace adhost
