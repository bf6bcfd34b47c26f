// What a touch on a banner's ad does: where its links go, the ad's own browser in the
// full-screen window, and the way back.
#include "halvern/HVAdView.h"

#include "HVAdSlot.h"
#include "HVAdViewInternal.h"
#include "HVClientTestSupport.h"
#include "HVFullScreenAdWindow.h"
#include "platform/accelerometer.h"
#include "platform/application.h"
#include "platform/device.h"

namespace halvern {
namespace {

using platform::Application;
using platform::WebViewNavigationType;

// A page from elsewhere that queues commands the way an ad page does, and counts the polls.
constexpr const char* kLanding =
    "<html><head><script>var polls = 0;"
    "function commandList(mode) { polls++; return 'BridgeDisplay.dismiss();'; }"
    "</script></head><body>landing</body></html>";

class AppListener final : public platform::AccelerometerDelegate {
 public:
  void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration&) override {}
};

class HVAdViewClickThroughTest : public testsupport::ShownBannerTest {
 protected:
  void navigate(const std::string& url, WebViewNavigationType type) {
    internal->webView()->injectNavigationForTesting(platform::URLRequest(url), type);
    runUntilIdle();
  }
  std::string currentURL() {
    auto request = internal->webView()->request();
    return request ? request->url() : "";
  }
  bool exitShown() { return internal->navigationItem()->leftBarButtonItem() != nullptr; }
  // The bridge takes one of the page's commands a poll while the banner is not expanded: an act
  // the page asks for behind a backlog (its impression, say) comes after the touch has lapsed.
  bool pageCommandsTaken() { return page("g_commandQueue.length") == "0"; }
};

TEST_F(HVAdViewClickThroughTest, AdLinksGoToThePageTheApplicationOrNowhere) {
  pages.setAnswer("/inline", testkit::ScriptedAnswer::text("inline"));
  struct Case {
    std::string url;
    WebViewNavigationType type;
    bool touched;                     // the user's finger lifted from the ad just before
    std::string clicks;               // what the page's click-through handler heard
    std::vector<std::string> opened;  // handed to the application
  };
  const Case cases[] = {
      {"halvern://ct/offer?id=7", WebViewNavigationType::LinkClicked, true, "halvern://ct/offer?id=7", {}},
      {"halvern://settings/x", WebViewNavigationType::LinkClicked, true, "", {}},
      {"mailto:ads@halvern.example", WebViewNavigationType::LinkClicked, true, "", {"mailto:ads@halvern.example"}},
      {"sms:5550100", WebViewNavigationType::Other, true, "", {"sms:5550100"}},
      // The page's own navigation, with no touch before it, opens nothing.
      {"sms:5550100", WebViewNavigationType::Other, false, "", {}},
      {"halvern://ct/offer?id=8", WebViewNavigationType::Other, false, "", {}},
      {"http://apps.store.example/app/id42", WebViewNavigationType::LinkClicked, true, "", {"http://apps.store.example/app/id42"}},
      {"about:blank", WebViewNavigationType::Other, true, "", {}},
  };
  showBanner();
  auto& app = Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const size_t before = app.openedURLs().size();
    page("HVDisplay.clicks = [];");
    if (c.touched) {
      ASSERT_TRUE(tapOn(banner));
    }
    navigate(c.url, c.type);
    EXPECT_EQ(page("HVDisplay.clicks.join()"), c.clicks);
    EXPECT_EQ(std::vector<std::string>(app.openedURLs().begin() + long(before), app.openedURLs().end()), c.opened);
    EXPECT_EQ(page("HVDisplay.html"), "<b>first</b>");
    EXPECT_FALSE(internal->isExpanded());
    // The touch, used or not, is over before the next case.
    advance(platform::kUserActivationSeconds);
  }
  // The page's own script may load a page inside the banner without opening the browser.
  navigate(pages.url("/inline"), WebViewNavigationType::Other);
  ASSERT_TRUE(advanceUntil([&] { return currentURL() == pages.url("/inline") && !internal->webView()->isLoading(); }, 120));
  EXPECT_FALSE(internal->isBrowserMode());
  EXPECT_FALSE(internal->isExpanded());
}

TEST_F(HVAdViewClickThroughTest, TappedLinkExpandsTheBannerIntoItsBrowserAndDoneBringsItBack) {
  auto html = testkit::ScriptedAnswer::text(kLanding);
  html.headers = {{"Content-Type", "text/html"}};
  // The landing page stays loading until the way out has been checked.
  html.hold = std::make_shared<testkit::AnswerHold>();
  pages.setAnswer("/landing", html);
  auto listener = std::make_shared<AppListener>();
  platform::Accelerometer::sharedAccelerometer().setDelegate(listener);
  showBanner();
  server.setAd("hvBanner", "<b>second</b>", 3600, {});
  auto slot = HVController::sharedController()->adManager()->slotForName("hvBanner");
  ASSERT_TRUE(advanceUntil([&] { return slot->nextAdDlTime() != 0; }, 120));

  ASSERT_TRUE(tapOn(banner));
  navigate(pages.url("/landing"), WebViewNavigationType::LinkClicked);
  EXPECT_TRUE(internal->isExpanded());
  EXPECT_TRUE(internal->isBrowserMode());
  EXPECT_EQ(banner->alpha(), 0);
  advance(0.8);
  EXPECT_EQ(internal->view()->superview(), adWindow);
  EXPECT_TRUE(adWindow->isKeyWindow());
  advance(0.8);
  EXPECT_FALSE(internal->navigationBar()->isHidden());
  EXPECT_EQ(internal->webView()->frame(), platform::Rect(0, 32, 320, 448));
  EXPECT_TRUE(window->isHidden());
  // Still loading: the way out comes after the exit time, counted from the tap.
  advance(2.3);
  EXPECT_FALSE(exitShown());
  advance(0.2);
  EXPECT_TRUE(exitShown());
  html.hold->release();
  ASSERT_TRUE(advanceUntil([&] { return currentURL() == pages.url("/landing") && !internal->isLoading(); }, 120));
  advance(3);
  // The landing page's queued commands are never taken.
  EXPECT_NE(page("polls"), "");
  EXPECT_EQ(page("polls"), "0");

  ASSERT_TRUE(internal->navigationItem()->leftBarButtonItem()->tap());
  advance(0.8);
  EXPECT_EQ(internal->view()->superview(), banner);
  EXPECT_EQ(internal->view()->frame(), platform::Rect(0, 0, 320, 48));
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_FALSE(internal->isExpanded());
  // The click-through's banner stays blank until its next ad, three seconds on.
  EXPECT_EQ(banner->alpha(), 0);
  advance(2.1);
  EXPECT_EQ(currentURL(), pages.url("/landing"));
  advance(0.1);
  ASSERT_TRUE(advanceUntil([&] { return page("HVDisplay.html") == "<b>second</b>" && banner->alpha() == 1; }, 120));
  EXPECT_TRUE(internal->navigationBar()->isHidden());
  // The client never took the accelerometer, so the application keeps its listener.
  EXPECT_EQ(platform::Accelerometer::sharedAccelerometer().delegate(), listener);
}

TEST_F(HVAdViewClickThroughTest, RichMediaExpansionTellsThePageAndFadesTheBannerBackWhenClosed) {
  showBanner();
  ASSERT_TRUE(advanceUntil([&] { return pageCommandsTaken(); }, 2));
  ASSERT_TRUE(tapOn(banner));
  page("BridgeDisplay.expand();");
  ASSERT_TRUE(advanceUntil([&] { return internal->view()->superview() == adWindow; }, 2));
  EXPECT_TRUE(advanceUntil([&] { return page("HVDisplay.ran.join()") == "expand" && adWindow->isUserInteractionEnabled(); }, 1));
  EXPECT_FALSE(internal->isBrowserMode());
  EXPECT_TRUE(internal->navigationBar()->isHidden());
  // Not a click-through: the application stays under the window.
  EXPECT_FALSE(window->isHidden());

  page("BridgeDisplay.dismiss();");
  ASSERT_TRUE(advanceUntil([&] { return internal->view()->superview() == banner; }, 2));
  EXPECT_TRUE(advanceUntil([&] { return page("HVDisplay.ran.join()") == "expand,collapse"; }, 1));
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_TRUE(advanceUntil([&] { return banner->alpha() == 1; }, 1));
  EXPECT_FALSE(internal->isExpanded());

  // Closed without animation while it still fades out of its place: it never moves in.
  ASSERT_TRUE(tapOn(banner));
  page("BridgeDisplay.expand();");
  ASSERT_TRUE(advanceUntil([&] { return internal->isExpanded(); }, 1));
  internal->dismissAnimated(false);
  EXPECT_EQ(banner->alpha(), 1);
  advance(2);
  EXPECT_EQ(internal->view()->superview(), banner);
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_FALSE(Application::sharedApplication().isStatusBarHidden());
  EXPECT_EQ(page("HVDisplay.ran.join()"), "expand,collapse,collapse");
}

TEST_F(HVAdViewClickThroughTest, TelephonePagesShowDoneAtOnceAndVideoPagesPlayInTheTemplate) {
  platform::Device::currentDevice().setSystemVersion("4.1");
  showBanner();
  internal->requestPage("tel:5550100");
  EXPECT_TRUE(exitShown());
  EXPECT_TRUE(Application::sharedApplication().openedURLs().empty());
  internal->dismissAnimated(false);

  internal->requestPage("http://www.video.example/watch?v=7&list=2");
  ASSERT_TRUE(advanceUntil([&] { return !internal->isLoading(); }, 2));
  const std::string source = internal->webView()->documentSourceForTesting();
  EXPECT_NE(source.find("content=\"width=320\""), std::string::npos) << source;
  EXPECT_NE(source.find("src=\"http://www.video.example/watch?v=7&amp;list=2\""), std::string::npos) << source;
  EXPECT_NE(source.find("width=\"320\" height=\"480\""), std::string::npos) << source;
}

TEST_F(HVAdViewClickThroughTest, OtherApplicationsLinkFreesTheScreenWhenTheApplicationLeavesOrCannotOpenIt) {
  showBanner();
  auto& app = Application::sharedApplication();
  app.setOpenURLLeavesApplication(true);
  for (bool opens : {true, false}) {
    SCOPED_TRACE(opens ? "opened" : "refused");
    app.setOpenURLAnswer(opens);
    // The user touches the ad; its page takes the screen for the click-through, then sends
    // the user on.
    ASSERT_TRUE(advanceUntil([&] { return pageCommandsTaken(); }, 2));
    ASSERT_TRUE(tapOn(banner));
    page("BridgeDisplay.requestClickthroughWithCallback(\"location.href = 'http://apps.store.example/app/1';\");");
    // Its script runs only once the screen is its own; well before the claim would lapse, it
    // is given back.
    ASSERT_TRUE(advanceUntil([&] { return app.openedURLs().size() == (opens ? 1u : 2u); }, 1));
    runUntilIdle();
    EXPECT_FALSE(adWindow->isDisplaying());
    EXPECT_EQ(app.applicationState() == platform::ApplicationState::Background, opens);
    if (!opens) continue;
    app.enterForeground();
    // Back from the other application the banner shows its next ad, and can be touched again.
    ASSERT_TRUE(advanceUntil([&] { return banner->alpha() == 1 && !internal->isRefreshing(); }, 10));
  }
}

}  // namespace
}  // namespace halvern
