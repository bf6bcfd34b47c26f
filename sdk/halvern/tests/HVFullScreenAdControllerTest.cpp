#include "HVFullScreenAdController.h"

#include "HVAdSlot.h"
#include "HVClientTestSupport.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "halvern/HVAdView.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/runtime.h"

namespace halvern {
namespace {

using platform::Application;
using platform::Rect;

// Hears every message of a full-screen slot.
class FullScreenDelegate final : public HalvernDelegate {
 public:
  void halvernAdReadyForSlotNamed(const std::string& name) override { heard.push_back("ready " + name); }
  void halvernFullScreenDisplayWillOpen() override { heard.push_back("willOpen"); }
  void halvernFullScreenDisplayWillClose() override { heard.push_back("willClose"); }
  std::vector<std::string> heard;
};

class HVFullScreenAdControllerTest : public testsupport::HalvernClientTest {
 protected:
  // Started with a full-screen ad waiting and its delegate set.
  void startWithAd() {
    server.setAd("hvFullScreen", "<b>full</b>", 3600, {});
    start();
    ASSERT_TRUE(advanceUntil([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvFullScreen"); }, 120));
    HVAdEngine::setFullScreenDelegateForSlotNamed(delegate, "hvFullScreen");
    // The new delegate hears of the waiting ad once the display page is up.
    ASSERT_TRUE(advanceUntil([&] { return !delegate->heard.empty(); }, 120));
    hv = HVController::sharedController();
    fullScreen = hv->fullScreenAdController();
    adWindow = hv->fullScreenAdWindow();
  }
  // Shown, its content loaded and the window's opening over.
  void show() {
    ASSERT_TRUE(HVAdEngine::displayFullScreenAdForSlotNamed("hvFullScreen"));
    // The "Loading" box stands while the ad's content loads.
    ASSERT_TRUE(advanceUntil([&] { return fullScreen->adLoadingIndicator() != nullptr; }, 120));
    EXPECT_EQ(fullScreen->adLoadingIndicator()->messageView()->text(), "Loading");
    ASSERT_TRUE(advanceUntil([&] { return page("HVDisplay.html") == "<b>full</b>"; }, 120));
    advance(0.8);
  }
  std::string page(const std::string& script) { return fullScreen->webView()->stringByEvaluatingJavaScriptFromString(script); }
  std::vector<std::string> titles() {
    std::vector<std::string> out;
    auto sheet = fullScreen->actionSheet();
    for (long i = 0; sheet && i < sheet->numberOfButtons(); ++i) out.push_back(sheet->buttonTitleAtIndex(i));
    return out;
  }
  // A finger on a button of the sheet, and its dismissal arriving.
  void pick(long index) {
    ASSERT_TRUE(fullScreen->actionSheet() && fullScreen->actionSheet()->isVisible());
    fullScreen->actionSheet()->clickButtonAtIndex(index);
    runUntilIdle();
  }
  bool menuShown() { return fullScreen->menuButton() && !fullScreen->menuButton()->isHidden(); }

  std::shared_ptr<FullScreenDelegate> delegate = std::make_shared<FullScreenDelegate>();
  std::shared_ptr<HVController> hv;
  std::shared_ptr<HVFullScreenAdController> fullScreen;
  std::shared_ptr<HVFullScreenAdWindow> adWindow;
};

TEST_F(HVFullScreenAdControllerTest, AdOpensInItsOwnWindowAndSkipClosesItOnlyWhenThePageAgrees) {
  startWithAd();
  EXPECT_EQ(delegate->heard, std::vector<std::string>{"ready hvFullScreen"});
  show();
  EXPECT_TRUE(adWindow->isKeyWindow());
  EXPECT_EQ(fullScreen->view()->superview(), adWindow);
  EXPECT_EQ(fullScreen->view()->frame(), Rect(0, 0, 320, 480));
  EXPECT_EQ(page("HVDisplay.fullScreen + ' ' + HVDisplay.size.join('x')"), "1 320x480");
  EXPECT_FALSE(fullScreen->adLoadingIndicator());
  EXPECT_TRUE(fullScreen->isDisplaying());
  // Counted as shown when it opened: the waiting ad became the one on screen.
  EXPECT_EQ(hv->adManager()->slotForName("hvFullScreen")->nextAdDlTime(), 0);

  // The menu comes after the menu time; the page's entry runs its script and leaves the ad up.
  advance(9.0);
  EXPECT_FALSE(menuShown());
  advance(1.0);
  ASSERT_TRUE(menuShown());
  page("HVDisplay.skip = false;");
  EXPECT_EQ(fullScreen->menuButton()->frame(), Rect(8, 448, 64, 24));
  EXPECT_EQ(fullScreen->menuButton()->currentTitle(), "Menu");
  fullScreen->menuButton()->simulateTap();
  EXPECT_EQ(titles(), (std::vector<std::string>{"Replay", "Skip"}));
  EXPECT_EQ(fullScreen->actionSheet()->shownInView(), fullScreen->webView());
  pick(0);
  ASSERT_TRUE(advanceUntil([&] { return page("HVDisplay.ran.join()") == "replay"; }, 120));
  fullScreen->displayActionSheet();
  pick(1);
  EXPECT_EQ(page("HVDisplay.ran.join()"), "replay,skip");
  EXPECT_EQ(fullScreen->view()->superview(), adWindow);

  const size_t requests = server.adRequests().size();
  page("HVDisplay.skip = true;");
  fullScreen->displayActionSheet();
  pick(1);
  // A second close while the window goes (the page's own dismiss) changes nothing more.
  page("BridgeDisplay.dismiss();");
  advance(0.3);
  EXPECT_EQ(delegate->heard.back(), "willClose");
  EXPECT_FALSE(fullScreen->isDisplaying());
  advance(0.5);
  EXPECT_EQ(fullScreen->view()->superview(), nullptr);
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_TRUE(adWindow->isDisplaying());
  advance(0.4);
  EXPECT_FALSE(adWindow->isDisplaying());
  // The slot's next ad is fetched now that the shown one is done with.
  ASSERT_TRUE(advanceUntil([&] { return server.adRequests().size() > requests; }, 120));
  EXPECT_EQ(delegate->heard, (std::vector<std::string>{"ready hvFullScreen", "willOpen", "willClose"}));
}

// A delegate set at start-up, before any ad: the page is made ready while the ad downloads,
// and the delegate hears of each waiting ad once.
TEST_F(HVFullScreenAdControllerTest, ADelegateSetBeforeAnyAdHearsOfEachWaitingAdOnce) {
  server.setAd("hvFullScreen", "<b>full</b>", 3600, {});
  start();
  HVAdEngine::setFullScreenDelegateForSlotNamed(delegate, "hvFullScreen");
  ASSERT_TRUE(advanceUntil([&] { return !delegate->heard.empty(); }, 120));
  hv = HVController::sharedController();
  fullScreen = hv->fullScreenAdController();
  EXPECT_TRUE(fullScreen->bridge()->isHVJSLoaded());
  advance(30);
  EXPECT_EQ(delegate->heard, std::vector<std::string>{"ready hvFullScreen"});
  show();
  fullScreen->dismissAnimated(false);
  ASSERT_TRUE(advanceUntil([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvFullScreen"); }, 120));
  advance(30);
  EXPECT_EQ(delegate->heard,
            (std::vector<std::string>{"ready hvFullScreen", "willOpen", "willClose", "ready hvFullScreen"}));
}

TEST_F(HVFullScreenAdControllerTest, AWaitingPageTakesNoScreenAndAMenuEntryActsForTheUser) {
  startWithAd();
  auto& app = Application::sharedApplication();
  auto drain = [&] {
    for (int turn = 0; turn < 5; ++turn) {
      runUntilIdle();
      while (fullScreen->bridge()->poll() > 0) {
      }
    }
  };
  // Loaded and waiting for the host: the page can neither open the window nor act.
  page("BridgeDisplay.notifyAdContentWillLoad(); BridgeDisplay.expand();"
       "BridgeDisplay.requestURL('http://landing.example/'); location.href = 'tel:5550100';");
  drain();
  EXPECT_EQ(adWindow->contentController(), nullptr);
  EXPECT_FALSE(adWindow->isDisplaying());
  EXPECT_FALSE(fullScreen->isBrowserMode());
  EXPECT_TRUE(app.openedURLs().empty());
  EXPECT_EQ(delegate->heard, std::vector<std::string>{"ready hvFullScreen"});

  // Shown, it opens once: the page announcing its content again changes nothing.
  show();
  page("BridgeDisplay.notifyAdContentWillLoad();");
  drain();
  EXPECT_EQ(delegate->heard, (std::vector<std::string>{"ready hvFullScreen", "willOpen"}));
  // The page's own call goes nowhere; the same call from a menu entry the user picks does.
  page("BridgeDisplay.addButtonToActionSheetCallback('Call', \"location.href = 'tel:5550100';\");");
  drain();
  page("location.href = 'tel:5550100';");
  drain();
  EXPECT_TRUE(app.openedURLs().empty());
  fullScreen->displayActionSheet();
  EXPECT_EQ(titles(), (std::vector<std::string>{"Replay", "Call", "Skip"}));
  pick(1);
  drain();
  EXPECT_EQ(app.openedURLs(), std::vector<std::string>{"tel:5550100"});
}

TEST_F(HVFullScreenAdControllerTest, MenuTimeZeroShowsTheButtonAtOnceAndANegativeOneNever) {
  startWithAd();
  hv->setMenuDisplayTime(0);
  show();
  EXPECT_TRUE(menuShown());
  fullScreen->hideMenuButton();
  hv->setMenuDisplayTime(-1);
  page("BridgeDisplay.prepareActionSheet();");
  advance(60);
  EXPECT_FALSE(menuShown());
}

TEST_F(HVFullScreenAdControllerTest, StatusBarAndTurnsOfTheDeviceAreGivenBackAsTheyWere) {
  startWithAd();
  // The application's own view, laid out below the status bar.
  auto root = std::make_shared<platform::View>(Rect(0, 20, 320, 460));
  window->insertSubviewAtIndex(root, 0);
  auto& app = Application::sharedApplication();
  auto& device = platform::Device::currentDevice();
  for (bool statusBarWindow : {false, true}) {
    SCOPED_TRACE(statusBarWindow ? "status-bar window" : "status bar");
    platform::Runtime::setAvailable("UIApplication.statusBarWindow", statusBarWindow);
    if (statusBarWindow) hv->setSbwPropName(HVFullScreenAdWindow::kStatusBarWindowKey);
    ASSERT_TRUE(advanceUntil([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvFullScreen"); }, 120));
    show();
    EXPECT_EQ(app.isStatusBarHidden(), !statusBarWindow);
    if (statusBarWindow) {
      EXPECT_EQ(app.statusBarWindow()->alpha(), 0);
    }
    root->setFrame(Rect(0, 0, 320, 480));
    device.setOrientation(platform::DeviceOrientation::LandscapeLeft);
    EXPECT_EQ(fullScreen->view()->transform(), (platform::AffineTransform{0, 1, -1, 0, 0, 0}));
    // Lying flat says nothing of how the device is held.
    device.setOrientation(platform::DeviceOrientation::FaceUp);
    EXPECT_EQ(fullScreen->view()->transform(), (platform::AffineTransform{0, 1, -1, 0, 0, 0}));
    device.setOrientation(platform::DeviceOrientation::Portrait);

    // Closed without animation: the notice, the status bar and the screen are back at once.
    fullScreen->dismissAnimated(false);
    EXPECT_EQ(delegate->heard.back(), "willClose");
    EXPECT_FALSE(app.isStatusBarHidden());
    if (statusBarWindow) {
      EXPECT_EQ(app.statusBarWindow()->alpha(), 1);
    }
    EXPECT_EQ(root->frame(), statusBarWindow ? Rect(0, 0, 320, 480) : Rect(0, 20, 320, 460));
    EXPECT_FALSE(adWindow->isDisplaying());
    EXPECT_TRUE(window->isKeyWindow());
  }
  EXPECT_FALSE(device.isGeneratingDeviceOrientationNotifications());
}

TEST_F(HVFullScreenAdControllerTest, BannerPagesCannotCloseOrCoverTheFullScreenAd) {
  server.setAd("hvBanner", "<b>banner</b>", 3600, {});
  startWithAd();
  auto banner = HVAdView::adViewForSlotNamedDelegate("hvBanner", nullptr);
  window->addSubview(banner);
  const auto bannerPage = [&](const std::string& script) {
    return banner->controller()->webView()->stringByEvaluatingJavaScriptFromString(script);
  };
  ASSERT_TRUE(advanceUntil([&] { return bannerPage("HVDisplay.shown") == "1"; }, 120));
  show();
  bannerPage("BridgeDisplay.dismiss(); BridgeDisplay.expand(); BridgeDisplay.requestURL('http://127.0.0.1:9/x');");
  advance(3);
  EXPECT_EQ(adWindow->contentController(), fullScreen);
  EXPECT_EQ(fullScreen->view()->superview(), adWindow);
  EXPECT_TRUE(adWindow->isKeyWindow());
  EXPECT_FALSE(banner->controller()->isExpanded());
  EXPECT_FALSE(banner->controller()->isBrowserMode());
  EXPECT_EQ(bannerPage("HVDisplay.html"), "<b>banner</b>");
}

// The window serves one ad at a time: a banner's browser holds it until Done, the full-screen
// ad asked for meanwhile is refused, and each gives the window back whole.
TEST_F(HVFullScreenAdControllerTest, ABannersBrowserHoldsTheWindowUntilDoneAndEachGivesItBackWhole) {
  server.setAd("hvBanner", "<b>banner</b>", 3600, {});
  startWithAd();
  testkit::LoopbackServer pages;
  auto landing = testkit::ScriptedAnswer::text("<html><body>landing</body></html>");
  landing.headers = {{"Content-Type", "text/html"}};
  pages.setAnswer("/landing", landing);
  auto banner = HVAdView::adViewForSlotNamedDelegate("hvBanner", nullptr);
  window->addSubview(banner);
  auto internal = banner->controller();
  ASSERT_TRUE(advanceUntil([&] {
    return internal->webView()->stringByEvaluatingJavaScriptFromString("HVDisplay.shown") == "1" && banner->alpha() == 1;
  }, 120));

  ASSERT_TRUE(tapOn(banner));
  internal->webView()->injectNavigationForTesting(platform::URLRequest(pages.url("/landing")),
                                                  platform::WebViewNavigationType::LinkClicked);
  runUntilIdle();
  ASSERT_TRUE(internal->isExpanded());
  EXPECT_TRUE(adWindow->isDisplaying());
  advance(1.6);
  ASSERT_EQ(internal->view()->superview(), adWindow);

  EXPECT_FALSE(HVAdEngine::displayFullScreenAdForSlotNamed("hvFullScreen"));
  advance(3);
  EXPECT_EQ(adWindow->contentController(), internal);
  EXPECT_EQ(internal->view()->superview(), adWindow);
  EXPECT_TRUE(adWindow->isKeyWindow());
  EXPECT_FALSE(fullScreen->isDisplaying());

  ASSERT_TRUE(advanceUntil([&] { return internal->navigationItem()->leftBarButtonItem() != nullptr; }, 10));
  ASSERT_TRUE(internal->navigationItem()->leftBarButtonItem()->tap());
  advance(0.8);
  EXPECT_EQ(internal->view()->superview(), banner);
  EXPECT_FALSE(internal->isExpanded());
  EXPECT_TRUE(window->isKeyWindow());
  advance(0.4);
  EXPECT_FALSE(adWindow->isDisplaying());

  // Now the full-screen ad has the window, and hands it back when it closes.
  show();
  EXPECT_EQ(adWindow->contentController(), fullScreen);
  EXPECT_EQ(fullScreen->view()->superview(), adWindow);
  internal->expand();
  EXPECT_FALSE(internal->isExpanded());
  page("HVDisplay.skip = true;");
  fullScreen->displayActionSheet();
  pick(1);
  advance(1.3);
  EXPECT_EQ(fullScreen->view()->superview(), nullptr);
  EXPECT_FALSE(adWindow->isDisplaying());
  EXPECT_EQ(adWindow->contentController(), nullptr);
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_EQ(internal->view()->superview(), banner);
  EXPECT_FALSE(internal->isExpanded());
}

TEST_F(HVFullScreenAdControllerTest, SheetUpWhenLeavingComesBackAndFollowsTheDevice) {
  startWithAd();
  show();
  fullScreen->displayActionSheet();
  auto first = fullScreen->actionSheet();
  // A turn of the device brings the sheet up anew rather than turning the ad under it.
  platform::Device::currentDevice().setOrientation(platform::DeviceOrientation::LandscapeLeft);
  ASSERT_TRUE(fullScreen->actionSheet());
  EXPECT_NE(fullScreen->actionSheet(), first);
  EXPECT_TRUE(fullScreen->view()->transform().isIdentity());

  auto& app = Application::sharedApplication();
  app.enterBackground();
  fullScreen->actionSheet()->dismissWithClickedButtonIndexAnimated(-1, false);
  app.enterForeground();
  EXPECT_TRUE(adWindow->isDisplaying());
  ASSERT_TRUE(fullScreen->actionSheet());
  EXPECT_TRUE(fullScreen->actionSheet()->isVisible());
  EXPECT_EQ(titles(), (std::vector<std::string>{"Replay", "Skip"}));
  EXPECT_FALSE(fullScreen->shouldDisplayActionSheetOnEnterForeground());
  EXPECT_TRUE(app.isStatusBarHidden());
  // The status bar the window hid before the trip to the background comes back with the close.
  fullScreen->dismissAnimated(false);
  EXPECT_FALSE(app.isStatusBarHidden());
  EXPECT_TRUE(window->isKeyWindow());
}

}  // namespace
}  // namespace halvern
