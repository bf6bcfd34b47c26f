// Real pages in the platform web view talking to the client: "qmsg:" and "quillon:" messages,
// the built-in commands, answers through QL_ReceiveMessage, and the decision on every other
// navigation.
#include <gtest/gtest.h>

#include "QLTestPrinters.h"

#include "QLRecordingOpener.h"

#include "QLNetworkUtilities.h"
#include "QLNotificationCenter.h"
#include "QLStatistics.h"
#include "QLWebViewDelegate.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/media.h"
#include "platform/notification_center.h"
#include "platform/window.h"
#include "testing/quillon_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Dictionary;
using platform::URL;
using platform::URLRequest;
using platform::Value;
using platform::WebView;
using platform::WebViewNavigationType;
using quillon::QLWebViewDelegate;

using quillon_test::RecordingOpener;

struct Controller : quillon::QLFullScreenController {
  int relinquished = 0;
  bool respondsToRelinquishScreen() const override { return true; }
  void relinquishScreen() override { ++relinquished; }
};

// Records what it is sent, and shows whether the page is still the one that was loaded.
const char kPage[] =
    "<html><head><script>var page = 'first'; var received = [];"
    "function QL_ReceiveMessage(name, data) { received.push([name, data]); }"
    "var turns = 0; window.onorientationchange = function () { turns++; };"
    "function send(url) { window.location = url; }</script></head><body></body></html>";

class QLPageBridgeTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    delegate = QLWebViewDelegate::create(quillon::QLStatistics::sharedStatistics(), opener);
    webView = WebView::create(platform::Rect(0, 0, 320, 480));
    webView->setDelegate(delegate);
    // Pages act only while shown.
    window->addSubview(webView);
    window->makeKeyAndVisible();
    platform::NotificationCenter::defaultCenter().addObserver(this, "", nullptr,
                                                              [this](const platform::Notification& n) {
                                                                notes.push_back({n.name, n.object, n.userInfo});
                                                              });
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    testkit::SandboxTest::TearDown();
  }
  void loadPage(std::shared_ptr<WebView> view, const std::string& html) {
    view->loadHTMLStringBaseURL(html, URL::create(server.url("/")));
    ASSERT_TRUE(runUntil([&] { return !view->isLoading(); }));
  }
  // Has the page navigate to `url`, and lets the navigation and what it posts run.
  void send(const std::string& url) {
    webView->stringByEvaluatingJavaScriptFromString("send('" + url + "')");
    runUntilIdle();
  }
  std::string eval(const std::string& script) { return webView->stringByEvaluatingJavaScriptFromString(script); }
  // The user's finger lifting from the page: the page may then act for them once.
  void touch() { window->tapAtPoint({5, 5}); }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& n : notes) out.push_back(n.name);
    return out;
  }

  struct Note {
    std::string name;
    const void* object;
    Value userInfo;
  };
  testkit::QuillonServer server;
  std::shared_ptr<platform::Window> window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
  std::shared_ptr<QLWebViewDelegate> delegate;
  std::shared_ptr<WebView> webView;
  std::vector<Note> notes;
};

TEST_F(QLPageBridgeTest, BuilderPageAnswersLoadAdURLOnTheNextTurn) {
  webView->loadRequest(URLRequest(server.url(testkit::QuillonServer::kBuilderPagePath)));
  ASSERT_TRUE(runUntil([&] { return delegate->hasLoadedAtLeastOnce(); }));
  EXPECT_EQ(quillon::QLNetworkUtilities::userAgentString(), WebView::userAgent());
  notes.clear();

  eval("QL_buildAdURL({slotname: 'top banner'})");
  ASSERT_TRUE(runUntil([&] { return !notes.empty(); }));
  // The web action is told while the navigation is decided; the message only a turn later.
  ASSERT_EQ(names(), std::vector<std::string>{"didReceiveWebAction"});
  EXPECT_EQ(notes[0].userInfo["a"], Value("loadAdURL"));
  mainLoop().runOnce(0);
  ASSERT_EQ(names(), (std::vector<std::string>{"didReceiveWebAction", "loadAdURL"}));
  EXPECT_EQ(notes[1].object, webView.get());
  EXPECT_EQ(notes[1].userInfo,
            Value(Dictionary{{"url", Value(server.url(testkit::QuillonServer::kAdPath) + "?slot=top%20banner")},
                             {"type", Value("quillon")}}));
  EXPECT_EQ(server.requestsTo(testkit::QuillonServer::kBuilderPath).size(), 1u);
}

TEST_F(QLPageBridgeTest, CommandsRunAndThePageStays) {
  loadPage(webView, kPage);
  platform::LogCapture log;
  auto controller = std::make_shared<Controller>();
  delegate->setViewController(controller);
  server.addClick("c1");
  server.addClick("t1");

  send("qmsg:///log?string=%25%40%20%25n%20%25s%20%25%25");
  send("quillon://log?STRING=older");
  send("qmsg:///log");
  send("qmsg:///vibrate");
  send("qmsg:///touch?tx=3&ty=4");
  send("qmsg:///close");
  send("quillon://closecanvas");
  touch();
  send("quillon://launch?url=http%3A%2F%2Fshop.example%2Fx");
  touch();
  send("qmsg:///click?u=" + quillon::QLNetworkUtilities::encodeURL(server.clickURL("c1")));
  ASSERT_TRUE(runUntil([&] { return server.requestsTo("/landing/c1").size() == 1; }));
  send("qmsg:///httpTrack?u=" + quillon::QLNetworkUtilities::encodeURL(server.clickURL("t1")));
  ASSERT_TRUE(runUntil([&] { return server.requestsTo("/landing/t1").size() == 1; }));
  send("quillon://unknown?x=1");

  EXPECT_EQ(log.lines(), (std::vector<std::string>{"%@ %n %s %%", "older", ""}));
  EXPECT_EQ(platform::SystemSounds::played(), std::vector<platform::SystemSoundID>{platform::kSystemSoundIDVibrate});
  EXPECT_EQ(controller->relinquished, 2);
  EXPECT_EQ(opener->calls,
            std::vector<std::string>{
                "open open " +
                Value(Dictionary{{"a", Value("browser")}, {"u", Value("http://shop.example/x")}}).description()});
  EXPECT_EQ(eval("page"), "first");
  std::vector<std::string> actions;
  for (const auto& n : notes) {
    EXPECT_EQ(n.name, "didReceiveWebAction");
    actions.push_back(n.userInfo["a"].isNull() ? "-" : n.userInfo["a"].string().str());
  }
  EXPECT_EQ(actions, (std::vector<std::string>{"log", "log", "log", "vibrate", "touch", "close", "close", "open",
                                               "click", "httpTrack", "-"}));
}

TEST_F(QLPageBridgeTest, OtherMessagesBecomeNotificationsWithLowerCaseKeys) {
  loadPage(webView, kPage);
  notes.clear();
  send("qmsg:///settings?URL=x%26y&Ratio=1;empty=&a=b=c");
  ASSERT_EQ(names(), (std::vector<std::string>{"didReceiveWebAction", "settings"}));
  EXPECT_EQ(notes[1].object, webView.get());
  EXPECT_EQ(notes[1].userInfo, Value(Dictionary{{"url", Value("x&y")}, {"ratio", Value("1")}, {"empty", Value("")}}));
}

TEST_F(QLPageBridgeTest, AnswersReachThePageIntactAsScriptLiterals) {
  loadPage(webView, kPage);
  send("qmsg:///canOpenURLs?urls=" + quillon::QLNetworkUtilities::encodeURL("tel:123,foo://bar,http://x/?a=1"));
  EXPECT_EQ(eval("JSON.stringify(received)"),
            "[[\"openableURLs\",{\"tel:123\":true,\"foo://bar\":false,\"http://x/?a=1\":true}]]");

  // Texts that would end a literal, a line or the script element arrive as they were sent.
  const std::string hostile = "'); alert(1); ('\"\\</script><script>alert(2)</script>\xE2\x80\xA8\xE2\x80\xA9\n\x01";
  eval("received = []");
  quillon::QLNotificationCenter::postJSNotificationUserInfoWebView(hostile, Value(Dictionary{{"t", Value(hostile)}}),
                                                                   *webView);
  quillon::QLNotificationCenter::postJSNotificationUserInfoWebView("bare", std::nullopt, *webView);
  EXPECT_EQ(eval("received.length"), "2");
  EXPECT_EQ(eval("received[0][0] === received[0][1].t && received[0][0].length"), "56");
  EXPECT_EQ(eval("encodeURIComponent(received[0][0])"),
            "')%3B%20alert(1)%3B%20('%22%5C%3C%2Fscript%3E%3Cscript%3Ealert(2)%3C%2Fscript%3E%E2%80%A8%E2%80%A9%0A%01");
  EXPECT_EQ(eval("received[1][0] + ':' + typeof received[1][1]"), "bare:undefined");
  EXPECT_TRUE(webView->alertsForTesting().empty());
}

TEST_F(QLPageBridgeTest, EvalInOpenerAnswersTheRequestingPage) {
  auto openingView = WebView::create();
  loadPage(openingView, "<script>var secret = 'from opener';</script>");
  loadPage(webView, kPage);
  send("qmsg:///evalInOpener?js=secret");
  EXPECT_EQ(eval("received.length"), "0");  // no opener: nothing happens

  delegate->setOpeningWebView(openingView);
  webView->stringByEvaluatingJavaScriptFromString("send('qmsg:///evalInOpener?js=secret%20%2B%20%22!%22')");
  mainLoop().runOnce(0);  // the navigation is decided
  EXPECT_EQ(eval("received.length"), "0");
  runUntilIdle();
  EXPECT_EQ(eval("JSON.stringify(received)"), "[[\"evalJavaScriptInOpenerResult\",{\"result\":\"from opener!\"}]]");
}

TEST_F(QLPageBridgeTest, NavigationsAreDecidedByScheme) {
  platform::Application::sharedApplication().setStatusBarOrientation(platform::kInterfaceOrientationLandscapeLeft);
  loadPage(webView, kPage);
  EXPECT_EQ(eval("window.orientation + '/' + turns"), "90/1");
  notes.clear();

  struct Case {
    std::string url;
    WebViewNavigationType type;
    bool allowed;
    bool posted;
    std::string opened;
  };
  const Case cases[] = {
      {"http://ads.example/", WebViewNavigationType::Other, true, false, ""},
      {"http://ads.example", WebViewNavigationType::Other, true, false, ""},
      {"http://ads.example/", WebViewNavigationType::LinkClicked, true, true, ""},
      {"https://ads.example/page", WebViewNavigationType::Other, true, true, ""},
      {"about:blank", WebViewNavigationType::Other, true, true, ""},
      {"file:///etc/passwd", WebViewNavigationType::LinkClicked, false, true, ""},
      {"tel:5551234", WebViewNavigationType::LinkClicked, false, true, "app tel:5551234"},
      {"itms-apps://itunes.example/app/id1", WebViewNavigationType::Other, false, true,
       "app itms-apps://itunes.example/app/id1"},
      {"MAILTO:ads@example.com", WebViewNavigationType::LinkClicked, false, true, "mail MAILTO:ads@example.com"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    notes.clear();
    opener->calls.clear();
    touch();
    auto allowed = delegate->webViewShouldStartLoadWithRequestNavigationType(webView, URLRequest(c.url), c.type);
    EXPECT_EQ(allowed, c.allowed);
    EXPECT_EQ(notes.size(), c.posted ? 1u : 0u);
    if (c.posted) {
      EXPECT_EQ(notes[0].userInfo, Value(Dictionary{{"u", Value(c.url)}}));
    }
    EXPECT_EQ(opener->calls, c.opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.opened});
  }

  // A real tap on a link of another scheme stays on the page.
  loadPage(webView, std::string(kPage) + "<a href=\"tel:777\">call</a>");
  opener->calls.clear();
  ASSERT_TRUE(webView->tapLinkWithURLForTesting("tel:777"));
  runUntilIdle();
  EXPECT_EQ(opener->calls, std::vector<std::string>{"app tel:777"});
  EXPECT_EQ(eval("page"), "first");
}

}  // namespace
