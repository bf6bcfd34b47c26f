#pragma once
// The fixture of the tests that run the real driver and display scripts: the sandbox bridge
// server offering the project's client and a window for the banners. Virtual time moves
// through the fixture's advance and advanceUntil, which let the scripts, the workers and the
// loopback traffic do their work first.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HVAdManager.h"
#include "HVAdViewInternal.h"
#include "HVController.h"
#include "HVFullScreenAdWindow.h"
#include "HVTestSupport.h"
#include "halvern/HVAdView.h"
#include "halvern/HVAdEngine.h"
#include "halvern/HalvernDelegate.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "testing/halvern_server.h"
#include "testing/sandbox_test.h"

namespace halvern::testsupport {

class RecordingDelegate final : public HalvernDelegate {
 public:
  void halvernAdReadyForSlotNamed(const std::string& name) override { ready.push_back(name); }
  std::vector<std::string> ready;
};

class HalvernClientTest : public HalvernSandboxTest {
 protected:
  void SetUp() override {
    HalvernSandboxTest::SetUp();
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    HVController::sharedController()->shutdown();
    window.reset();
    HalvernSandboxTest::TearDown();
  }
  // The client installed through the update, the engine started with both phone slots.
  void start() {
    server.offerClient("1.0");
    HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions(
        "app1", server.serverURL(),
        {HVAdSlotDescription(HVAdSizeBanner, "hvBanner"), HVAdSlotDescription(HVAdSizeFullScreen, "hvFullScreen")});
  }
  std::shared_ptr<HVAdSlot> slot(const std::string& name) {
    return HVController::sharedController()->adManager()->slotForName(name);
  }
  // Started with `html` as the banner slot's ad, shown in a banner on screen (its page
  // loaded, the ad drawn and faded in).
  std::shared_ptr<HVAdView> showBannerAd(const std::string& html, const std::vector<std::string>& trackers = {}) {
    server.setAd("hvBanner", html, 3600, trackers);
    start();
    if (!advanceUntil([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 120)) return nullptr;
    auto banner = HVAdView::adViewForSlotNamedDelegate("hvBanner", nullptr);
    window->addSubview(banner);
    auto page = banner->controller()->webView();
    auto shown = [&] {
      return page->stringByEvaluatingJavaScriptFromString("HVDisplay.shown") == "1" && banner->alpha() == 1;
    };
    if (!advanceUntil(shown, 120))
      return nullptr;
    return banner;
  }
  // A user's finger lifting from the middle of `view`, through the window that shows it;
  // answers the view hit (nullptr when the view is in no window).
  std::shared_ptr<platform::View> tapOn(const std::shared_ptr<platform::View>& view) {
    auto shownIn = view->window();
    if (!shownIn) return nullptr;
    const auto bounds = view->bounds();
    return shownIn->tapAtPoint(view->convertPointToView({bounds.size.width / 2, bounds.size.height / 2}, nullptr));
  }
  int64_t nowMs() const { return static_cast<int64_t>(platform::Clock::current().now() * 1000.0); }

  testkit::HalvernServer server;
  std::shared_ptr<platform::Window> window;
};

// The tests that start from a banner showing its first ad on screen, and a server of pages.
class ShownBannerTest : public HalvernClientTest {
 protected:
  void showBanner(const std::vector<std::string>& trackers = {}) {
    banner = showBannerAd("<b>first</b>", trackers);
    ASSERT_TRUE(banner);
    internal = banner->controller();
    adWindow = HVController::sharedController()->fullScreenAdWindow();
  }
  std::string page(const std::string& script) { return internal->webView()->stringByEvaluatingJavaScriptFromString(script); }

  testkit::LoopbackServer pages;
  std::shared_ptr<HVAdView> banner;
  std::shared_ptr<HVAdViewInternal> internal;
  std::shared_ptr<HVFullScreenAdWindow> adWindow;
};

}  // namespace halvern::testsupport
