// The MRAID bridge end to end: the page scripts run in the web view, command URLs reach the
// bridge, the delegate acts, and the answers release the page's queue.
#include <gtest/gtest.h>

#include "NBJSBridge.h"
#include "NBWebView.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/web_view.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBJSBridge;
using WebViewPtr = nubira::JSBridgeDelegate::WebViewPtr;

std::string orNil(const std::optional<std::string>& text) { return text ? *text : "(nil)"; }

// Owns a web view and a bridge as an ad surface does, and writes down what it is asked.
class Host : public platform::WebViewDelegate, public nubira::JSBridgeDelegate {
 public:
  std::unique_ptr<nubira::NBWebView> view;
  std::unique_ptr<NBJSBridge> bridge = NBJSBridge::create();
  std::vector<std::string> calls, navigations, answers;
  bool answerAtOnce = true;

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const WebViewPtr& webView,
                                                                      const platform::URLRequest& request,
                                                                      platform::WebViewNavigationType) override {
    const auto url = request.url();
    if (url.rfind("mraid://", 0) != 0) return true;
    navigations.push_back(url);
    bridge->processURLForWebView(url, webView);
    return false;
  }
  WebViewPtr webView() override { return view->webView(); }
  void adIsMRAIDEnabledForWebView(const WebViewPtr&) override { calls.push_back("mraid enabled"); }
  std::string usingWebViewExecuteJavascript(const WebViewPtr& webView, const std::string& script) override {
    answers.push_back(script);
    return answerAtOnce ? webView->stringByEvaluatingJavaScriptFromString(script) : "";
  }
  void showAd(const WebViewPtr&) override { calls.push_back("show"); }
  void hideAd(const WebViewPtr&) override { calls.push_back("hide"); }
  void closeAd(const WebViewPtr&) override { calls.push_back("close"); }
  void sendEMailToWithSubjectWithBodyIsHTML(const std::string& to, const std::string& subject,
                                            const std::string& body, bool html) override {
    calls.push_back("email " + to + "|" + subject + "|" + body + "|" + std::to_string(html));
  }
  void sendSMSToWithBody(const std::string& to, const std::string& body) override {
    calls.push_back("sms " + to + "|" + body);
  }
  void placeCallTo(const std::string& number) override { calls.push_back("call " + number); }
  void sendBeaconPingToUrl(const std::optional<std::string>& url) override { calls.push_back("ping " + orNil(url)); }
  void openBrowserWithUrlStringEnableBackEnableForwardEnableRefresh(const WebViewPtr&,
                                                                     const std::optional<std::string>& url, bool back,
                                                                     bool forward, bool refresh) override {
    calls.push_back(platform::format("open %@ %d%d%d", orNil(url), back, forward, refresh));
  }
  void openMapWithUrlStringAndFullScreen(const WebViewPtr&, const std::optional<std::string>& url,
                                         bool full) override {
    calls.push_back(platform::format("map %@ %d", orNil(url), full));
  }
  void resizeToWidthHeightInWebView(float w, float h, const WebViewPtr&) override {
    calls.push_back(platform::format("resize %g x %g", double(w), double(h)));
  }
  void expandToWithURLInWebViewBlockingColorBlockingOpacityLockOrientation(const platform::Rect& r,
                                                                           const std::optional<platform::URL>& url,
                                                                           const WebViewPtr&, const platform::Color& c,
                                                                           float opacity, bool lock) override {
    EXPECT_EQ(c, platform::Color::blackColor());
    EXPECT_FLOAT_EQ(opacity, 0.2f);
    calls.push_back(platform::format("expand %g,%g %gx%g %@ %d", r.origin.x, r.origin.y, r.size.width,
                                     r.size.height, url ? url->absoluteString() : "(nil)", lock));
  }
  std::optional<platform::Rect> getAdFrameInWindowCoordinates() override { return platform::Rect(1, 2, 30, 40); }
  std::optional<platform::Rect> rectAccordingToOrientation(const platform::Rect& r) override {
    return platform::Rect(r.origin.x, r.origin.y + 100, r.size.width, r.size.height);
  }
  void rotateExpandedWindowsToCurrentOrientation() override { calls.push_back("rotate"); }
};

class NBJSBridgeTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    host = std::make_shared<Host>();
    host->view = nubira::NBWebView::createWithFrameDelegate(platform::Rect(0, 0, 320, 50), host);
    host->bridge->setBridgeDelegate(host);
  }
  void load(const std::string& markup) {
    host->view->loadHtmlStringForRMAd(markup, true);
    settleTraffic();
    ASSERT_FALSE(host->view->webView()->isLoading());
    runUntilIdle();
  }
  std::string eval(const std::string& script) { return host->view->webView()->stringByEvaluatingJavaScriptFromString(script); }
  std::shared_ptr<Host> host;
};

TEST_F(NBJSBridgeTest, OnePageCallIsOutstandingUntilNativeAnswers) {
  host->answerAtOnce = false;
  load("<script>mraid.open('http://a'); mraid.log('x');</script>");
  EXPECT_EQ(eval("typeof window.mraidview"), "object");
  EXPECT_EQ(host->navigations, (std::vector<std::string>{"mraid://open?url=http%3A%2F%2Fa"}));
  EXPECT_EQ(host->calls, (std::vector<std::string>{"open http://a 000"}));
  ASSERT_EQ(host->answers, (std::vector<std::string>{"window.mraidview.nativeCallComplete( 'open' );"}));

  eval(host->answers[0]);
  runUntilIdle();
  EXPECT_EQ(host->navigations.back(), "mraid://log?message=x");
  eval(host->answers.back());
  runUntilIdle();
  EXPECT_EQ(host->navigations.size(), 2u);
  // With the queue empty the next call goes out at once.
  eval("mraid.close()");
  runUntilIdle();
  EXPECT_EQ(host->navigations.back(), "mraid://close");
}

TEST_F(NBJSBridgeTest, PageValuesArriveWhole) {
  load("");
  eval("mraid.sendMail('\\u00fc@x', 'Gr\\u00fc\\u00dfe & = ?', 'a\\nb'); mraid.sendSMS('1', '\\u4e2d');"
       "mraid.expand('http://e', {x: 5, width: null}); mraid.makeCall('');");
  runUntilIdle();
  EXPECT_EQ(host->calls, (std::vector<std::string>{"email \xC3\xBC@x|Gr\xC3\xBC\xC3\x9F" "e & = ?|a\nb|0",
                                                   "sms 1|\xE4\xB8\xAD", "expand 5,102 30x40 http://e 0"}));
}

TEST_F(NBJSBridgeTest, EveryCommandIsRecognisedAndAnswered) {
  load("");
  struct Case {
    std::string url, call, answered;
    bool result;
  };
  const Case cases[] = {
      {"mraid://close", "close", "close", true},
      {"mraid://Close", "", "Close", false},
      {"mraid://Close?x=1", "close", "close", true},
      {"mraid://MRAIDenabled", "mraid enabled", "MRAIDenabled", true},
      {"mraid://hide", "hide", "hide", true},
      {"mraid://show", "show", "show", true},
      {"mraid://resize?w=10.5&h=20", "resize 10.5 x 20", "resize", true},
      {"mraid://resize", "resize 0 x 0", "resize", true},
      {"mraid://addasset?a=1", "", "addasset", true},
      {"mraid://removeasset?a=1", "", "removeasset", true},
      {"mraid://removeallassets", "", "removeallassets", true},
      {"mraid://request?a=1", "", "request", true},
      {"mraid://open?url=http%3A%2F%2Fa&back=Y&forward=true&refresh=y", "open http://a 101", "open", true},
      {"mraid://open?url", "open (nil) 000", "open", true},
      {"mraid://open?url=%E9", "open (nil) 000", "open", true},
      {"mraid://openmap?url=m&fullscreen=1", "map m 0", "openmap", true},
      {"mraid://email?to=a&subject=s&body=b&html=Y", "email a|s|b|1", "email", true},
      {"mraid://email?to=a&body=b", "", "email", true},
      {"mraid://phone?number=%20%0A", "", "phone", true},
      {"mraid://phone?number=%2B1%20", "call +1", "phone", true},
      {"mraid://sms?to=a&body=b&body=c", "sms a|c", "sms", true},
      {"mraid://sms?to=a", "", "sms", true},
      {"mraid://log?message=x", "", "log", true},
      {"mraid://asyncPing?url=a%20b", "ping a b", "asyncping", true},
      {"mraid://asyncping", "ping (nil)", "asyncping", true},
      {"mraid://expand", "expand 1,102 30x40 (nil) 0", "expand", true},
      {"mraid://expand?x=5&h=7&url=http%3A%2F%2Fe&lockOrientation=Y", "expand 5,102 30x7 http://e 1", "expand", true},
      {"mraid://nothing?a=1", "", "nothing", false},
      {"mraid://');alert('x", "", "\\u0027);alert(\\u0027x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    host->calls.clear();
    host->answers.clear();
    EXPECT_EQ(host->bridge->processURLForWebView(c.url, host->view->webView()), c.result);
    EXPECT_EQ(host->calls, c.call.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.call});
    EXPECT_EQ(host->answers,
              std::vector<std::string>{"window.mraidview.nativeCallComplete( '" + c.answered + "' );"});
  }
  EXPECT_TRUE(host->view->webView()->alertsForTesting().empty());

  host->answers.clear();
  EXPECT_FALSE(host->bridge->processURLForWebView("http://a/mraid://close", host->view->webView()));
  EXPECT_TRUE(host->answers.empty());
}

TEST_F(NBJSBridgeTest, LibraryChecksAndEvents) {
  load("<script>var seen = [];"
       "mraid.addEventListener('error', function (m, a) { seen.push(a + ': ' + m); });"
       "mraid.addEventListener('stateChange', function (s) { seen.push('state ' + s); });"
       "mraid.addEventListener('stateChange', function (s) { seen.push('again ' + s); });"
       "mraid.addEventListener('ready', function () { throw 'boom'; });"
       "</script>");
  eval("mraid.resize(10, 10); mraid.resize(-1, 0); mraid.resize(0, 0); mraid.open(); mraid.sendSMS('  ', 'b');"
       "mraid.addEventListener('tap', function () {}); mraid.removeEventListener('ready', function () { nope(); });");
  eval(NBJSBridge::kHideErrorScript);
  eval("window.mraidview.fireReadyEvent(); window.mraidview.fireStateChangeEvent('default');");
  EXPECT_EQ(eval("seen.join('\\n')"),
            "resize: Request (10 x 10) exceeds maximum allowable size of (0 x 0)\n"
            "resize: Requested size must be numeric values between 0 and maxSize.\n"
            "resize: Requested size equals current size.\n"
            "open: URL is required.\n"
            "sendSMS: Request must specify a recipient.\n"
            "addEventListener: Unknown event: tap\n"
            "removeEventListener: Listener not currently registered for event\n"
            "hide: Cannot hide if we're already hidden.\n"
            "state default\n"
            "again default");
  EXPECT_EQ(eval("mraid.getState()"), "default");
  runUntilIdle();
  EXPECT_TRUE(host->navigations.empty());
}

TEST_F(NBJSBridgeTest, DeviceTurnsRotateTheExpandedWindows) {
  auto& device = platform::Device::currentDevice();
  device.setOrientation(platform::DeviceOrientation::LandscapeLeft);
  device.setOrientation(platform::DeviceOrientation::FaceUp);
  device.setOrientation(platform::DeviceOrientation::Portrait);
  EXPECT_EQ(host->calls, (std::vector<std::string>{"rotate", "rotate"}));
}

TEST(NBWebViewPage, MarkupIsWrappedWithTheScriptsOnlyForRichMedia) {
  const std::string head =
      "<html><head><meta http-equiv=\"Content-Type\"content=\"text/html charset=utf-16le\">"
      "<style>body{margin:0px;}</style></head><body>";
  EXPECT_EQ(nubira::NBWebView::pageForMarkup("<b>x</b>", false), head + "<b>x</b></body></html>");
  const auto rich = nubira::NBWebView::pageForMarkup("<b>x</b>", true);
  const auto bridgeAt = rich.find("window.mraidview =");
  const auto libraryAt = rich.find("window.mraid =");
  EXPECT_EQ(rich.rfind(head + "<script>", 0), 0u);
  EXPECT_LT(bridgeAt, libraryAt);
  EXPECT_NE(rich.find("</script><b>x</b></body></html>"), std::string::npos);
  EXPECT_EQ(rich.find("<script>", head.size() + 1), std::string::npos);
}

}  // namespace
