// The banner over loopback against the sandbox ad server: requests and their refusals, the
// markup in the hidden web view, the swap, the time-out on the manual clock, the refresh timer
// and the delegate's reports.
#include <gtest/gtest.h>

#include "NBAdUnit.h"
#include "NBAdViewReports.h"
#include "nubira/NBAdError.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/error.h"
#include "platform/keyboard.h"
#include "platform/log.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "NBSDKUtil.h"
#include "platform/notification_center.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdView;

class NBAdViewTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    root = std::make_shared<platform::ViewController>();
    view = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(platform::Rect(0, 0, 320, 50), "site-1", 15,
                                                                     root);
    view->setDelegate(reports);
  }
  // Loads and waits until the delegate hears how it ended.
  void loadAndWait() {
    const size_t before = reports->events.size();
    view->loadNBAdRequest();
    settleTraffic();
    ASSERT_GT(reports->events.size(), before);
  }
  std::string last() const { return reports->events.empty() ? "" : reports->events.back(); }
  bool shows(const std::shared_ptr<platform::WebView>& webView) const { return webView->superview() == view; }

  testkit::NubiraServer server;
  std::shared_ptr<platform::ViewController> root;
  std::shared_ptr<nubiratest::NBAdViewReports> reports = std::make_shared<nubiratest::NBAdViewReports>();
  std::shared_ptr<NBAdView> view;
};

TEST_F(NBAdViewTest, AdsSwapWebViewsAndKeepTwentySecondsApart) {
  server.setAdReply(testkit::NubiraServer::kRichMediaReply);
  loadAndWait();
  EXPECT_EQ(reports->events, std::vector<std::string>{"finish"});
  ASSERT_EQ(server.requestsTo(testkit::NubiraServer::kAdPath).size(), 1u);
  EXPECT_TRUE(server.formProblems().empty());
  EXPECT_TRUE(shows(view->webView1ForTesting()));
  EXPECT_FALSE(view->hideWebViewForTesting()->superview());
  EXPECT_TRUE(platform::View::committedAnimations().empty());
  EXPECT_EQ(view->webView1ForTesting()->stringByEvaluatingJavaScriptFromString("typeof window.mraid"), "object");

  advance(20.0);
  loadAndWait();
  EXPECT_EQ(last(), "0 Minimum ad refresh interval is 20 seconds");

  advance(0.1);
  server.setAdReply(testkit::NubiraServer::kBannerReply);
  loadAndWait();
  EXPECT_EQ(last(), "finish");
  EXPECT_TRUE(shows(view->webView2ForTesting()));
  EXPECT_FALSE(shows(view->webView1ForTesting()));
  EXPECT_EQ(view->hideWebViewForTesting()->superview(), view);
  ASSERT_EQ(platform::View::committedAnimations().size(), 1u);
  EXPECT_EQ(platform::View::committedAnimations()[0].transition, 3);
  EXPECT_DOUBLE_EQ(platform::View::committedAnimations()[0].duration, 0.75);

  // A third ad never loads. The page it was loading into, left off screen, does not drive the
  // banner; the page on screen still does.
  auto stalled = testkit::ScriptedAnswer::text("");
  stalled.stall = true;
  server.http().setAnswer("/stall", stalled);
  server.setAdReply("<?xml version=\"1.0\"?><Response><Ad type=\"rm\" width=\"320\" height=\"50\"><![CDATA["
                    "<script src=\"" + server.url("/stall") + "\"></script>]]></Ad></Response>");
  advance(21);
  view->loadNBAdRequest();
  settleTraffic();
  ASSERT_TRUE(view->isLoadingAd());
  advance(60);
  EXPECT_EQ(last(), "4 Request timed out.");
  view->webView1ForTesting()->injectNavigationForTesting(platform::URLRequest("mraid://MRAIDenabled"),
                                                         platform::WebViewNavigationType::Other);
  runUntilIdle();
  EXPECT_FALSE(view->ismraidAd());
  view->webView2ForTesting()->injectNavigationForTesting(platform::URLRequest("mraid://MRAIDenabled"),
                                                         platform::WebViewNavigationType::Other);
  runUntilIdle();
  EXPECT_TRUE(view->ismraidAd());
}

TEST_F(NBAdViewTest, RefusalsAndFailuresReachTheDelegate) {
  const std::string stall = server.url("/stall");
  server.http().setAnswer("/stall", [] {
    testkit::ScriptedAnswer a;
    a.stall = true;
    return a;
  }());
  const std::string stalled = std::string("<?xml version=\"1.0\"?><Response><Ad type=\"rm\" width=\"320\" "
                                          "height=\"50\"><![CDATA[<script src=\"") +
                              stall + "\"></script>]]></Ad></Response>";
  struct Case {
    std::string name, reply, expected;
    std::function<void()> arrange;
  };
  const Case cases[] = {
      {"no fill", "<?xml version=\"1.0\"?><Response></Response>",
       "3 Server returned a no-fill. No action required.", nullptr},
      {"no markup", "<?xml version=\"1.0\"?><Response><Ad type=\"banner\" width=\"3\" height=\"5\">"
                    "<AdURL>http://a</AdURL></Ad></Response>",
       "3 Server returned a no-fill. No action required.", nullptr},
      {"server error", "", "0", [&] { server.setAdReply("", 500); }},
      {"page never loads", stalled, "4 Request timed out.", nullptr},
      {"click in progress", "", "2 An ad click is in progress.", [&] { view->setTouchedDownOnAdForTesting(true); }},
      {"no app id and no root", "", "0 rootViewController must not be null!",
       [&] {
         view = NBAdView::createWithFrame(platform::Rect(0, 0, 320, 50));
         view->setDelegate(reports);
       }},
  };
  view->setRefreshInterval(-1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reports->events.clear();
    if (!c.reply.empty()) server.setAdReply(c.reply);
    if (c.arrange) c.arrange();
    view->loadNBAdRequest();
    if (c.name == "page never loads") {
      settleTraffic();
      ASSERT_TRUE(view->isLoadingAd());
      advance(59.9);
      EXPECT_TRUE(reports->events.empty());
      advance(0.2);
    }
    // Failures of the reply are reported a tenth of a second after it.
    settleTraffic();
    ASSERT_TRUE(view->isAdRequestDone());
    EXPECT_TRUE(reports->events.empty() || c.name == "page never loads" || c.arrange) << last();
    advance(0.1);
    ASSERT_FALSE(reports->events.empty());
    EXPECT_EQ(last().substr(0, c.expected.size()), c.expected);
    EXPECT_EQ(view->currentAdUnit(), nullptr);
    EXPECT_TRUE(view->isAdRequestDone());
    view->setTouchedDownOnAdForTesting(false);
  }
  reports->events.clear();
  view->loadNBAdRequest(nullptr);
  EXPECT_EQ(reports->events, std::vector<std::string>{"0 NBAdRequest cannot be null!"});
}

// A host that clears its request: the timer, its own load and joining a window each fail
// with the banner's error (no crash, nothing sent), and the next request given loads again.
TEST_F(NBAdViewTest, AClearedRequestFailsEachLoadUntilAnotherIsGiven) {
  server.setAdReply(testkit::NubiraServer::kRichMediaReply);
  view->setNbAdRequest(nullptr);
  view->setRefreshInterval(20);
  const std::string refused = "0 NBAdRequest cannot be null!";
  advance(20);
  EXPECT_EQ(reports->events, std::vector<std::string>{refused});
  view->loadNBAdRequest();
  auto holder = std::make_shared<platform::View>();
  holder->addSubview(view);
  advance(0.5);
  EXPECT_EQ(reports->events, std::vector<std::string>(3, refused));
  runUntilIdle();
  EXPECT_TRUE(server.requestsTo(testkit::NubiraServer::kAdPath).empty());
  EXPECT_TRUE(view->isRefreshTimerRunningForTesting());

  reports->events.clear();
  view->setNbAdRequest(nubira::NBAdRequest::request());
  advance(19.5);
  settleTraffic();
  ASSERT_FALSE(reports->events.empty());
  EXPECT_EQ(reports->events, std::vector<std::string>{"finish"});
  EXPECT_EQ(server.requestsTo(testkit::NubiraServer::kAdPath).size(), 1u);
}

TEST_F(NBAdViewTest, DroppingTheDelegateDropsTheRequestUnderWay) {
  server.setAdReply(testkit::NubiraServer::kRichMediaReply);
  view->loadNBAdRequest();
  view->setDelegate({});
  EXPECT_FALSE(view->isRefreshTimerRunningForTesting());
  view->setDelegate(reports);
  loadAndWait();
  runUntilIdle();
  EXPECT_EQ(reports->events, std::vector<std::string>{"finish"});

  // A delegate that lets the view go while it is being told.
  reports->onEvent = [&](const std::string& e) {
    if (e == "finish") view.reset();
  };
  advance(21);
  loadAndWait();
  runUntilIdle();
  EXPECT_EQ(view, nullptr);
}

TEST_F(NBAdViewTest, RefreshTimerFollowsIntervalAndApplication) {
  server.setAdReply(testkit::NubiraServer::kRichMediaReply);
  for (int bad : {19, 0, -2}) {
    try {
      view->setRefreshInterval(bad);
      ADD_FAILURE() << bad;
    } catch (const platform::Exception& e) {
      EXPECT_EQ(e.name, "NSInvalidArgumentException");
      EXPECT_EQ(e.reason, "Refresh interval provided should be a minimum of 20 seconds.");
    }
  }
  EXPECT_EQ(view->refreshInterval(), 60);
  advance(59.9);
  EXPECT_TRUE(server.requestsTo(testkit::NubiraServer::kAdPath).empty());
  advance(0.1);
  settleTraffic();
  ASSERT_FALSE(reports->events.empty());

  view->setRefreshInterval(21);
  auto window = std::make_shared<platform::View>();
  window->addSubview(view);
  auto& center = platform::NotificationCenter::defaultCenter();
  center.postNotificationName(platform::kApplicationWillResignActiveNotification);
  EXPECT_FALSE(view->isRefreshTimerRunningForTesting());
  center.postNotificationName(platform::kApplicationDidBecomeActiveNotification);
  EXPECT_TRUE(view->isRefreshTimerRunningForTesting());
  // The load scheduled by the move is refused: the last ad is less than 20 s old.
  advance(0.5);
  EXPECT_EQ(last(), "0 Minimum ad refresh interval is 20 seconds");
  advance(20.5);
  settleTraffic();
  ASSERT_EQ(server.requestsTo(testkit::NubiraServer::kAdPath).size(), 2u);

  view->setRefreshInterval(-1);
  center.postNotificationName(platform::kApplicationDidBecomeActiveNotification);
  EXPECT_FALSE(view->isRefreshTimerRunningForTesting());
}

TEST_F(NBAdViewTest, PresentationReportsStopAndRestartTheRefreshTimer) {
  using D = nubira::NBAdDelegate;
  struct Case {
    D::Message message;
    std::string event;
    bool timerAfter;
  };
  const Case cases[] = {{D::kWillPresentScreen, "present", false},
                        {D::kWillDismissScreen, "will dismiss", false},
                        {D::kDidDismissScreen, "did dismiss", true},
                        {D::kWillLeaveApplication, "leave", false},
                        {D::kWillDismissScreen, "will dismiss", false}};
  for (unsigned responds : {unsigned(D::kAllMessages), 0u}) {
    reports->responds = responds;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.event);
      reports->events.clear();
      view->notifyForTesting(c.message);
      EXPECT_EQ(reports->events, responds ? std::vector<std::string>{c.event} : std::vector<std::string>{});
      EXPECT_EQ(view->isRefreshTimerRunningForTesting(), c.timerAfter);
    }
  }
}

TEST_F(NBAdViewTest, KeyboardOverAnActionThreeAdHoldsRequests) {
  server.setAdReply("<?xml version=\"1.0\"?><Response><Ad type=\"banner\" actionType=\"3\" width=\"320\" "
                    "height=\"50\"><AdURL>http://a</AdURL><![CDATA[<input>]]></Ad></Response>");
  view->setRefreshInterval(-1);
  auto parent = std::make_shared<platform::View>();
  parent->addSubview(view);
  loadAndWait();
  EXPECT_EQ(last(), "finish");
  EXPECT_FALSE(view->hideWebViewForTesting()->superview());
  platform::Keyboard::showForTesting();
  advance(21);
  loadAndWait();
  EXPECT_EQ(last(), "2 An ad click is in progress.");
  platform::Keyboard::hideForTesting();
  loadAndWait();
  EXPECT_EQ(last(), "finish");
}

TEST_F(NBAdViewTest, TextAdsCarryTheirColours) {
  server.setAdReply("<?xml version=\"1.0\"?><Response><Ad type=\"text\" width=\"320\" height=\"50\">"
                    "<AdURL>http://a</AdURL><![CDATA[<div id=\"nb_c\">t</div>]]></Ad></Response>");
  view->setAdBackgroundGradientWithTopColorBottomColor("#F00", "#00ff00");
  view->setAdBackgroundColor("#0000FF");
  view->setAdTextColor("#12");
  view->setAdTextColor("#abc");
  loadAndWait();
  EXPECT_NE(view->webView1ForTesting()->documentSourceForTesting().find(
                "<div id=\"nb_c\">t</div><style> #nb_c { background: -webkit-gradient(linear, left top, left "
                "bottom, from(#0000FF), to(#00ff00)) !important;background: -moz-linear-gradient(top,  #0000FF,  "
                "#00ff00) !important;}</style><style>#nb_text {color:#abc !important;} </style>"),
            std::string::npos);
  // A colour change after the ad reloads the page on screen, without a report.
  view->setAdTextColor("#fff");
  settleTraffic();
  EXPECT_NE(view->webView1ForTesting()->documentSourceForTesting().find("color:#fff"), std::string::npos);
  EXPECT_EQ(reports->events, std::vector<std::string>{"finish"});
}

TEST_F(NBAdViewTest, OnlyTheWebViewGivenTheMarkupCountsLoads) {
  server.setAdReply(testkit::NubiraServer::kRichMediaReply);
  loadAndWait();
  auto stalled = testkit::ScriptedAnswer::text("");
  stalled.stall = true;
  server.http().setAnswer("/slow", stalled);
  // The new ad's script is held, so the ad is still loading when the page on screen starts.
  auto script = testkit::ScriptedAnswer::text("window.loaded = true;");
  script.hold = std::make_shared<testkit::AnswerHold>();
  server.http().setAnswer("/ad.js", script);
  server.setAdReply("<?xml version=\"1.0\"?><Response><Ad type=\"rm\" width=\"320\" height=\"50\"><![CDATA["
                    "<script src=\"" + server.url("/ad.js") + "\"></script>]]></Ad></Response>");
  advance(21);
  view->loadNBAdRequest();
  settleTraffic();
  ASSERT_TRUE(view->isLoadingAd());
  ASSERT_EQ(script.hold->waiting(), 1u);
  // While the new ad loads, the page on screen starts a load of its own that never ends.
  view->webView1ForTesting()->injectNavigationForTesting(platform::URLRequest(server.url("/slow")),
                                                         platform::WebViewNavigationType::Other);
  settleTraffic();
  EXPECT_EQ(reports->events.size(), 1u);
  script.hold->release();
  settleTraffic();
  ASSERT_EQ(reports->events.size(), 2u);
  EXPECT_EQ(last(), "finish");
  EXPECT_EQ(view->webView2ForTesting()->stringByEvaluatingJavaScriptFromString("String(window.loaded)"), "true");
  EXPECT_TRUE(view->webView1ForTesting()->isLoading());
  // Up to the refresh, which would rightly load the next ad, nothing more is told.
  advance(59);
  EXPECT_EQ(reports->events.size(), 2u) << ::testing::PrintToString(reports->events);
}

TEST_F(NBAdViewTest, RootControllerFallbackNibAndDeviceUpload) {
  auto util = nubira::NBSDKUtil::util();
  util->setLogLevel(2);
  auto windowRoot = std::make_shared<platform::ViewController>();
  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  struct Case {
    std::string name;
    std::function<void()> arrange;
    std::string line;
    bool windowsOwn;
  };
  const Case cases[] = {
      {"no key window", [] {}, "window does not respond to rootviewcontroller, setting to user defined instance", false},
      {"window without a root", [&] { window->makeKeyAndVisible(); },
       "window rootviewcontroller is null, setting to user defined instance", false},
      {"window's root wins", [&] { window->setRootViewController(windowRoot); },
       "window root view controller found, setting it to NBAdView's rootViewController", true},
      {"window cannot tell", [] { platform::Runtime::setAvailable("UIWindow.rootViewController", false); },
       "window does not respond to rootviewcontroller, setting to user defined instance", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    platform::LogCapture log;
    view->setRootViewController(root);
    EXPECT_EQ(log.lines(), std::vector<std::string>{c.line});
    EXPECT_EQ(view->rootViewController(), c.windowsOwn ? windowRoot : root);
  }
  util->setLogLevel(1);

  // Made from an interface file: set up as a view made without arguments.
  auto fromNib = NBAdView::createFromNibWithFrame(platform::Rect(0, 410, 320, 50));
  EXPECT_EQ(fromNib->nbAdUnit(), NBAdView::kDefaultAdUnit);
  EXPECT_TRUE(fromNib->isRefreshTimerRunningForTesting());

  // The upload goes on a connection of its own: the ad request under way is not disturbed.
  server.setAdReply(testkit::NubiraServer::kRichMediaReply);
  view->loadNBAdRequest();
  view->startDeviceInfoUploadUsingUrl(server.url(testkit::NubiraServer::kDeviceInfoPath));
  settleTraffic();
  ASSERT_FALSE(server.requestsTo(testkit::NubiraServer::kDeviceInfoPath).empty());
  ASSERT_FALSE(reports->events.empty());
  EXPECT_EQ(reports->events, std::vector<std::string>{"finish"});
  EXPECT_TRUE(server.formProblems().empty());
}

}  // namespace
