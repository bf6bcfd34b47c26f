#include "HVFullScreenAdController.h"

#include <gtest/gtest.h>

#include "HVAdManager.h"
#include "HVAdSlot.h"
#include "HVController.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "halvern/HVAdEngine.h"
#include "platform/accelerometer.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/screen.h"
#include "testing/halvern_server.h"
#include "testing/loopback_server.h"
#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::Rect;

// The ad page's side of the menu: entries that note they ran, and a skip it may refuse.
constexpr const char* kPage =
    "var ran = [];"
    "var skipAnswer = false;"
    "function handleSkip() { ran.push('skip'); return skipAnswer; }"
    "function handleClickthrough(url) { ran.push('ct ' + url); }";

// A page from elsewhere that queues commands the way an ad page does, and counts the polls.
constexpr const char* kForeignPage =
    "<html><head><script>var polls = 0;"
    "function commandList(mode) { polls++; return 'BridgeCocoa.log(\\'taken\\');'; }"
    "</script></head><body><a id=\"next\" href=\"/next\">next</a></body></html>";

// The application's own accelerometer listener.
class AppListener final : public platform::AccelerometerDelegate {
 public:
  void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration&) override {}
};

class HVFullScreenAdControllerTest : public testing::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    appWindow = platform::Window::create(platform::Screen::mainScreen().bounds());
    appWindow->makeKeyAndVisible();
    HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions(
        "app", server.serverURL(), {HVAdSlotDescription(HVAdSizeFullScreen, "hvFullScreen")});
    hv = HVController::sharedController();
    hv->adManager()->setFetchRequest([this](const std::string& name) {
      fetches.push_back(name);
      return true;
    });
    window = hv->fullScreenAdWindow();
    controller = HVFullScreenAdController::create();
    controller->bridge()->loadJavascriptStringExecuteBaseURL(kPage, "", std::nullopt);
    ASSERT_TRUE(runUntil([&] { return !controller->bridge()->isWebViewLoading(); }));
  }
  void TearDown() override {
    controller.reset();
    hv->shutdown();
    SandboxTest::TearDown();
  }
  // The ad opens as the page announces its content, then the content loads.
  void open() {
    auto slot = hv->adManager()->slotForName("hvFullScreen");
    slot->setIsDisplayed(true);
    controller->setSlot(slot);
    window->setIsDisplaying(true);
    controller->adContentWillLoad();
    ASSERT_TRUE(controller->adLoadingIndicator());
    EXPECT_EQ(controller->adLoadingIndicator()->messageView()->text(), "Loading");
    EXPECT_EQ(controller->adLoadingIndicator()->boxView()->superview(), controller->view());
    EXPECT_FALSE(controller->view()->isUserInteractionEnabled());
    advance(0.8);
    controller->adContentDidLoad();
    EXPECT_FALSE(controller->adLoadingIndicator());
    EXPECT_TRUE(controller->view()->isUserInteractionEnabled());
  }
  std::string ran() { return controller->webView()->stringByEvaluatingJavaScriptFromString("ran.join(',')"); }
  std::vector<std::string> titles(const platform::ActionSheet& sheet) {
    std::vector<std::string> out;
    for (long i = 0; i < sheet.numberOfButtons(); ++i) out.push_back(sheet.buttonTitleAtIndex(i));
    return out;
  }
  // Picks a button of the sheet up, and lets its dismissal arrive.
  void pick(long index) {
    auto sheet = controller->actionSheet();
    ASSERT_TRUE(sheet && sheet->isVisible());
    sheet->clickButtonAtIndex(index);
    runUntilIdle();
  }

  void navigate(const std::string& url, platform::WebViewNavigationType type) {
    controller->webView()->injectNavigationForTesting(platform::URLRequest(url), type);
    runUntilIdle();
  }
  std::string currentURL() {
    auto request = controller->webView()->request();
    return request ? request->url() : "";
  }
  bool exitShown() { return controller->navigationItem()->leftBarButtonItem() != nullptr; }

  testing::HalvernServer server;
  testing::LoopbackServer pages;
  std::shared_ptr<platform::Window> appWindow;
  std::shared_ptr<HVController> hv;
  std::shared_ptr<HVFullScreenAdWindow> window;
  std::shared_ptr<HVFullScreenAdController> controller;
  std::vector<std::string> fetches;
};

TEST_F(HVFullScreenAdControllerTest, AdTakesTheKeyWindowWithALoadingBox) {
  open();
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_FALSE(appWindow->isKeyWindow());
  EXPECT_EQ(window->appWindow(), appWindow);
  EXPECT_EQ(controller->view()->superview(), window);
  EXPECT_EQ(controller->view()->frame(), Rect(0, 0, 320, 480));
  EXPECT_TRUE(platform::Application::sharedApplication().isStatusBarHidden());
  EXPECT_TRUE(window->isUserInteractionEnabled());
}

TEST_F(HVFullScreenAdControllerTest, MenuButtonComesAfterTheMenuTime) {
  struct Case {
    double menuTime;
    double shownAfter;  // negative: never
  };
  const Case cases[] = {{10.0, 10.0}, {0.0, 0.0}, {-1.0, -1.0}};
  open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.menuTime);
    controller->hideMenuButton();
    hv->setMenuDisplayTime(c.menuTime);
    controller->prepareActionSheet();
    const auto shown = [&] { return controller->menuButton() && !controller->menuButton()->isHidden(); };
    if (c.shownAfter > 0) {
      advance(c.shownAfter - 0.1);
      EXPECT_FALSE(shown());
      advance(0.1);
    }
    if (c.shownAfter < 0) {
      advance(60);
      EXPECT_FALSE(shown());
      continue;
    }
    ASSERT_TRUE(shown());
    EXPECT_EQ(controller->menuButton()->currentTitle(), "Menu");
    EXPECT_EQ(controller->menuButton()->frame(), Rect(8, 448, 64, 24));
    EXPECT_EQ(controller->menuButton()->alpha(), 1);
  }
}

TEST_F(HVFullScreenAdControllerTest, PageEntriesRunTheirScriptsAndSkipClosesOnlyWhenThePageAgrees) {
  hv->setMenuDisplayTime(0);
  open();
  controller->prepareActionSheet();
  controller->addButtonToActionSheetCallback("Pause", "ran.push('pause')");
  controller->addButtonToActionSheetCallback("Sound off", "ran.push('sound')");
  controller->menuButton()->simulateTap();
  ASSERT_TRUE(controller->actionSheet());
  EXPECT_EQ(titles(*controller->actionSheet()), (std::vector<std::string>{"Pause", "Sound off", "Skip"}));
  EXPECT_EQ(controller->actionSheet()->shownInView(), controller->webView());
  EXPECT_TRUE(controller->menuButton()->isHidden());

  pick(1);
  EXPECT_EQ(ran(), "sound");
  EXPECT_FALSE(controller->actionSheet());
  controller->displayActionSheet();
  pick(2);
  EXPECT_EQ(ran(), "sound,skip");
  EXPECT_EQ(controller->view()->superview(), window);
  EXPECT_TRUE(fetches.empty());

  controller->webView()->stringByEvaluatingJavaScriptFromString("skipAnswer = true;");
  controller->displayActionSheet();
  pick(2);
  EXPECT_FALSE(controller->slot()->isDisplayed());
  EXPECT_EQ(fetches, std::vector<std::string>{"hvFullScreen"});
  EXPECT_FALSE(platform::Application::sharedApplication().isStatusBarHidden());
  advance(0.8);
  EXPECT_EQ(controller->view()->superview(), nullptr);
  EXPECT_TRUE(appWindow->isKeyWindow());
  EXPECT_TRUE(window->isDisplaying());
  advance(0.4);
  EXPECT_FALSE(window->isDisplaying());
}

TEST_F(HVFullScreenAdControllerTest, SheetUpWhenLeavingComesBackAndFollowsTheDevice) {
  hv->setMenuDisplayTime(0);
  open();
  controller->prepareActionSheet();
  controller->addButtonToActionSheetCallback("Pause", "ran.push('pause')");
  controller->displayActionSheet();
  auto first = controller->actionSheet();

  // A turn of the device brings the sheet up anew instead of turning the ad under it.
  platform::Device::currentDevice().setOrientation(platform::DeviceOrientation::LandscapeLeft);
  ASSERT_TRUE(controller->actionSheet());
  EXPECT_NE(controller->actionSheet(), first);
  EXPECT_TRUE(controller->view()->transform().isIdentity());

  controller->applicationDidEnterBackground();
  platform::Application::sharedApplication().enterBackground();
  controller->actionSheet()->dismissWithClickedButtonIndexAnimated(-1, false);
  platform::Application::sharedApplication().enterForeground();
  window->applicationWillEnterForeground();
  controller->applicationWillEnterForeground();
  EXPECT_TRUE(window->isDisplaying());
  ASSERT_TRUE(controller->actionSheet());
  EXPECT_TRUE(controller->actionSheet()->isVisible());
  EXPECT_EQ(titles(*controller->actionSheet()), (std::vector<std::string>{"Pause", "Skip"}));
  EXPECT_FALSE(controller->shouldDisplayActionSheetOnEnterForeground());
}

TEST_F(HVFullScreenAdControllerTest, AdPageNavigationsLoadOnlyTheirOwnKind) {
  using Type = platform::WebViewNavigationType;
  pages.setAnswer("/inline", testing::ScriptedAnswer::text("<p>inline</p>"));
  struct Case {
    std::string url;
    Type type;
    std::string ran;                  // what the page's handlers saw
    std::vector<std::string> opened;  // handed to the application
    bool loads;
  };
  const std::string inlineURL = pages.url("/inline");
  const Case cases[] = {
      {"halvern://ct/offer?id=7", Type::LinkClicked, "ct halvern://ct/offer?id=7", {}, false},
      {"halvern://settings/x", Type::LinkClicked, "", {}, false},
      {"mailto:ads@halvern.example", Type::LinkClicked, "", {"mailto:ads@halvern.example"}, false},
      {"sms:5550100", Type::Other, "", {"sms:5550100"}, false},
      {"http://apps.store.example/app/id42", Type::LinkClicked, "", {"http://apps.store.example/app/id42"}, false},
      {"about:blank", Type::Other, "", {}, false},
      // A page's own script may load inside the ad without opening the browser.
      {inlineURL, Type::Other, "", {}, true},
  };
  open();
  auto& app = platform::Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const size_t openedBefore = app.openedURLs().size();
    controller->webView()->stringByEvaluatingJavaScriptFromString("ran = [];");
    navigate(c.url, c.type);
    if (c.loads) {
      ASSERT_TRUE(runUntil([&] { return !controller->webView()->isLoading() && currentURL() == c.url; }));
    } else {
      EXPECT_EQ(ran(), c.ran);
    }
    EXPECT_EQ(std::vector<std::string>(app.openedURLs().begin() + long(openedBefore), app.openedURLs().end()), c.opened);
    EXPECT_FALSE(controller->isBrowserMode());
    EXPECT_TRUE(controller->navigationBar()->isHidden());
  }
}

TEST_F(HVFullScreenAdControllerTest, TappedLinkOpensTheBrowserWhoseDoneButtonComesAfterFourSeconds) {
  auto listener = std::make_shared<AppListener>();
  auto& accelerometer = platform::Accelerometer::sharedAccelerometer();
  accelerometer.setDelegate(listener);
  accelerometer.setUpdateInterval(0.05);
  testing::ScriptedAnswer stalled;
  stalled.stall = true;
  pages.setAnswer("/slow", stalled);
  open();
  navigate(pages.url("/slow"), platform::WebViewNavigationType::LinkClicked);
  EXPECT_TRUE(controller->isBrowserMode());
  EXPECT_TRUE(controller->isLoading());
  EXPECT_TRUE(controller->navigationLoadingIndicator()->isAnimating());
  EXPECT_FALSE(controller->navigationBar()->isHidden());
  EXPECT_EQ(controller->webView()->frame(), Rect(0, 32, 320, 448));
  EXPECT_TRUE(appWindow->isHidden());
  EXPECT_TRUE(controller->webView()->scalesPageToFit());
  EXPECT_FALSE(controller->navigationControls()->isEnabledForSegmentAtIndex(0));
  ASSERT_TRUE(runUntil([&] { return pages.requestsTo("/slow").size() == 1; }));
  advance(3.9);
  EXPECT_FALSE(exitShown());
  advance(0.1);
  ASSERT_TRUE(exitShown());
  EXPECT_EQ(controller->navigationItem()->leftBarButtonItem()->systemItem(), platform::BarButtonSystemItem::Done);

  ASSERT_TRUE(controller->navigationItem()->leftBarButtonItem()->tap());
  EXPECT_FALSE(controller->isLoading());
  EXPECT_FALSE(controller->isBrowserMode());
  EXPECT_FALSE(controller->webView()->isLoading());
  EXPECT_FALSE(controller->navigationLoadingIndicator()->isAnimating());
  EXPECT_FALSE(controller->bridge()->isWebViewLoading());
  EXPECT_FALSE(exitShown());
  EXPECT_FALSE(controller->slot()->isDisplayed());
  EXPECT_EQ(fetches, std::vector<std::string>{"hvFullScreen"});
  advance(1.2);
  EXPECT_FALSE(window->isDisplaying());
  EXPECT_FALSE(appWindow->isHidden());
  EXPECT_TRUE(appWindow->isKeyWindow());
  // The client never took the accelerometer, so the application's settings stand.
  EXPECT_EQ(accelerometer.delegate(), listener);
  EXPECT_EQ(accelerometer.updateInterval(), 0.05);
}

TEST_F(HVFullScreenAdControllerTest, BrowserPagesNeverReachTheBridgeAndShowDoneOnceLoaded) {
  auto html = testing::ScriptedAnswer::text(kForeignPage);
  html.headers = {{"Content-Type", "text/html"}};
  pages.setAnswer("/page", html);
  pages.setAnswer("/next", html);
  open();
  navigate(pages.url("/page"), platform::WebViewNavigationType::LinkClicked);
  ASSERT_TRUE(runUntil([&] { return !controller->isLoading(); }));
  // A finished page shows the way out at once.
  EXPECT_TRUE(exitShown());
  ASSERT_TRUE(controller->webView()->tapLinkWithElementIdForTesting("next"));
  ASSERT_TRUE(runUntil([&] { return pages.requestsTo("/next").size() == 1 && !controller->isLoading(); }));
  EXPECT_EQ(currentURL(), pages.url("/next"));
  advance(5);
  EXPECT_EQ(controller->webView()->stringByEvaluatingJavaScriptFromString("polls"), "0");
  EXPECT_TRUE(controller->isBrowserMode());
  EXPECT_FALSE(controller->navigationControls()->isEnabledForSegmentAtIndex(1));
  // Back only where the page came from another.
  EXPECT_TRUE(controller->navigationControls()->isEnabledForSegmentAtIndex(0));
  controller->navigationControls()->tapSegment(0);
  ASSERT_TRUE(runUntil([&] {
    return currentURL() == pages.url("/page") && !controller->webView()->isLoading() && !controller->isLoading();
  }));
  EXPECT_TRUE(controller->navigationControls()->isEnabledForSegmentAtIndex(1));
}

TEST_F(HVFullScreenAdControllerTest, TelephonePagesShowDoneAtOnce) {
  platform::Device::currentDevice().setSystemVersion("4.1");
  open();
  controller->requestPage(*platform::URL::create("tel:5550100"));
  EXPECT_TRUE(exitShown());
  EXPECT_TRUE(platform::Application::sharedApplication().openedURLs().empty());
}

}  // namespace
}  // namespace halvern
