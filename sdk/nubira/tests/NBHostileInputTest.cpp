// Hostile pages and server answers against the Nubira banner and interstitial, over loopback
// and in the real web view: each attempt fails without harm, is said once in the log, and the
// banner goes on to its next ad as if nothing had happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "NBAdInterstitialPrivate.h"
#include "NBAdViewReports.h"
#include "NBEmbeddedWebViewController.h"
#include "NBHttpAdRequest.h"
#include "NBSDKUtil.h"
#include "NBWebView.h"
#include "nubira/NBAdError.h"
#include "nubira/NBAdInterstitial.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/composers.h"
#include "platform/device.h"
#include "platform/geometry.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/url_connection.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdView;
using platform::Rect;
using testkit::ScriptedAnswer;

// Characters that end quotes, scripts, lines and format strings.
const char* const kHostileText = "\"'\\</script><script>x()</script>\xE2\x80\xA8\xE2\x80\xA9\n%n%s%x%@";

// Every byte escaped, for the page to decode itself: no escaping of ours stands between the
// text and the client.
std::string percentEscaped(const std::string& text) {
  static const char* const hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) out += {'%', hex[c >> 4], hex[c & 15]};
  return out;
}

// An ad's page that writes down the error events it hears, as "<action>: <message>".
const char* const kHearsErrors =
    "<script>window.heard = [];"
    "mraid.addEventListener('error', function (m, a) { heard.push(a + ': ' + m); });</script>";

std::string richMedia(const std::string& markup) {
  return "<?xml version=\"1.0\"?><Response><Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\">"
         "<![CDATA[" + markup + "]]></Ad></Response>";
}

ScriptedAnswer htmlPage(const std::string& body) {
  ScriptedAnswer a = ScriptedAnswer::text("<html><body>" + body + "</body></html>");
  a.headers = {{"Content-Type", "text/html"}};
  return a;
}

class NBHostileInputTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    // A runaway page is stopped quickly; the guard is the same at any bound.
    platform::WebView::setScriptLimits({0.05, size_t{64} << 20});
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    root->view()->addSubview(container);
    view = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(Rect(0, 0, 320, 50), "site-1", 15, root);
    // Each ad is asked for by the test.
    view->setRefreshInterval(-1);
    view->setDelegate(heard);
    container->addSubview(view);
    nubira::NBSDKUtil::util()->setLogLevel(2);
    log = std::make_unique<platform::LogCapture>();
  }
  void TearDown() override {
    log.reset();
    nubira::NBSDKUtil::util()->setLogLevel(1);
    testkit::SandboxTest::TearDown();
  }
  // Asks for the next ad, answered with `reply`: the publisher's first report of it.
  std::string nextAd(const std::string& reply) {
    server.setAdReply(reply);
    advance(NBAdView::kMinimumSecondsBetweenAds + 1);
    heard->events.clear();
    view->loadNBAdRequest();
    loadPastSlowScript([&] { return !heard->events.empty(); });
    return heard->events.empty() ? std::string() : heard->events.front();
  }
  // Runs the clock until `done` holds. A page naming slow() keeps loading until its script
  // is let go, which happens only once everything the page started before it has been
  // handed over: a navigation it made is always handled while it is still loading.
  void loadPastSlowScript(const std::function<bool()>& done) {
    ScriptedAnswer script = htmlPage("");
    script.hold = std::make_shared<testkit::AnswerHold>();
    server.http().setAnswer("/slow.js", script);
    advanceUntil([&] { return done() || script.hold->waiting() > 0; }, 10);
    script.hold->release();
    advanceUntil(done, 10);
  }
  std::string run(const std::string& script) {
    auto result = onScreen()->stringByEvaluatingJavaScriptFromString(script);
    runUntilIdle();
    return result;
  }
  std::shared_ptr<platform::WebView> onScreen() const {
    // In the banner, or in the scroll view of an expanded one.
    auto one = view->webView1ForTesting();
    return one->isDescendantOfView(view) ? one : view->webView2ForTesting();
  }
  // The user's finger lifting from the ad on screen: what its page then asks for acts for the
  // user (once).
  void touchAd() {
    auto web = onScreen();
    const auto size = web->bounds().size;
    window->tapAtPoint(web->convertRectToView(Rect(size.width / 2, size.height / 2, 1, 1), window).origin);
  }
  size_t logged(const std::string& fragment) const {
    const auto lines = log->lines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
  }
  const std::vector<std::string>& opened() const { return platform::Application::sharedApplication().openedURLs(); }
  // A plain ad afterwards loads, and its own page still reaches the bridge.
  void expectTheBannerGoesOn() {
    ASSERT_EQ(nextAd(richMedia("<p>plain</p>")), "finish");
    const size_t before = opened().size();
    touchAd();
    onScreen()->stringByEvaluatingJavaScriptFromString("mraid.makeCall('5550000');");
    advanceUntil([&] { return opened().size() > before; }, 1);
    ASSERT_EQ(opened().size(), before + 1);
    EXPECT_EQ(opened().back(), "tel://5550000");
  }

  // Keeps the ad's page loading while a navigation it made is handed over (see
  // loadPastSlowScript).
  std::string slow() const { return "<script src=\"" + server.url("/slow.js") + "\"></script>"; }
  struct Attempt {
    const char* name;
    std::string markup;
    std::string said;
  };
  // Each ad in turn, touched by the user as soon as it is shown: nothing opened or shown, its
  // refusal said once, and the banner goes on.
  void expectEachRefused(const std::vector<Attempt>& attempts) {
    for (const auto& a : attempts) {
      SCOPED_TRACE(a.name);
      const size_t openedBefore = opened().size();
      log->clear();
      nextAd(richMedia(a.markup));
      touchAd();
      advanceUntil([&] { return logged(a.said) > 0; }, 2);
      advance(0.05);
      EXPECT_EQ(opened().size(), openedBefore);
      EXPECT_EQ(logged(a.said), 1u) << ::testing::PrintToString(log->lines());
      if (auto browserShown = view->browserForTesting()) {
        browserShown->closeMVC();
        advance(platform::kModalTransitionDuration);
        runUntilIdle();
      }
      EXPECT_FALSE(root->presentedViewController());
      expectTheBannerGoesOn();
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  testkit::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::View> container = std::make_shared<platform::View>(Rect(0, 100, 320, 50));
  std::shared_ptr<nubiratest::NBAdViewReports> heard = std::make_shared<nubiratest::NBAdViewReports>();
  std::shared_ptr<NBAdView> view;
  std::unique_ptr<platform::LogCapture> log;
};

// Pages that hand the bridge to a page the ad navigated to, or open the in-app browser on
// something other than the web: nothing is dialled or shown, and the refusal is said once.
TEST_F(NBHostileInputTest, PagesTheAdNavigatesToCannotDriveTheBanner) {
  const std::string dial = "location.href = 'mraid://phone?number=5551234';";
  server.http().setAnswer("/landing", htmlPage("<script>setInterval(function(){ " + dial + " }, 10);</script>"));
  server.http().setAnswer("/hop", ScriptedAnswer::redirect(server.url("/landing")));
  server.http().setAnswer("/dials", htmlPage("<script>" + dial + "</script>"));
  server.http().setAnswer("/store-file", htmlPage("<script>location.href = 'file://" +
                                                  std::string(nubira::NBEmbeddedWebViewController::kStoreWebHost) +
                                                  "/etc/passwd';</script>"));
  const std::string foreign = "a page other than the ad's own";
  const std::string browser = "in the browser";
  auto opening = [](const std::string& url) {
    return "<script>setTimeout(function(){ mraid.open('" + url + "'); }, 100);</script>";
  };
  expectEachRefused({
      {"landing page drives the bridge", "<script>location.href = '" + server.url("/landing") + "';</script>" + slow(),
       foreign},
      {"landing page behind a redirect", "<script>location.href = '" + server.url("/hop") + "';</script>" + slow(),
       foreign},
      {"browser on a local file", opening("file:///etc/passwd"), browser},
      // The browser lets the command load as any other scheme, where nothing answers it.
      {"browser page drives the bridge", opening(server.url("/dials")), "request url=mraid://phone?number=5551234"},
      {"browser page names the store in a file URL", opening(server.url("/store-file")),
       "not loading a local file: file://" + std::string(nubira::NBEmbeddedWebViewController::kStoreWebHost)},
  });
}

// The page of an ad the next one replaced keeps running off screen: it dials nothing, and its
// commands are said once however many it sends.
TEST_F(NBHostileInputTest, APageNoLongerOnScreenCannotDriveTheBanner) {
  ASSERT_EQ(nextAd(richMedia("<script>setInterval(function(){ if (window.go) "
                             "location.href = 'mraid://phone?number=5551234'; }, 10);</script>")),
            "finish");
  auto replaced = onScreen();
  ASSERT_EQ(nextAd(richMedia("<p>next</p>")), "finish");
  ASSERT_NE(onScreen(), replaced);
  log->clear();
  const size_t before = opened().size();
  replaced->stringByEvaluatingJavaScriptFromString("go = true;");
  advance(0.2);
  EXPECT_EQ(opened().size(), before);
  EXPECT_EQ(logged("ignoring a command from a page other than the ad's own: mraid://phone"), 1u)
      << ::testing::PrintToString(log->lines());
}

// Pages that load local files or never stop running: the file stays shut, the runaway script
// is stopped, each is said once, and the next ad works.
TEST_F(NBHostileInputTest, LocalFilesAndRunawayScriptsAreStopped) {
  const std::string file = "not loading a local file";
  expectEachRefused({
      {"local file", "<script>location.href = 'file:///etc/passwd';</script>" + slow(), file},
      {"escaped path", "<script>location.href = 'FILE:///%2e%2e/%2e%2e/etc/passwd';</script>" + slow(), file},
      {"never stops", "<script>for (;;) {}</script>", "ran past its time limit"},
  });
}

// What the page sends comes back into its scripts as data and reaches the log as text: the
// command's name in the bridge's answer and in the log, and a value the page asks to log.
TEST_F(NBHostileInputTest, ValuesThePageSendsComeBackAsData) {
  ASSERT_EQ(nextAd(richMedia("<script>window.heard = []; var complete = mraidview.nativeCallComplete;"
                             "mraidview.nativeCallComplete = function (c) { heard.push(c); return complete(c); };"
                             "</script>")),
            "finish");
  heard->events.clear();
  const std::string hostile = "x');window.pwned=1;('" + std::string(kHostileText);
  const std::string decoded = "decodeURIComponent('" + percentEscaped(hostile) + "')";
  struct Case {
    const char* name;
    std::string url;
    std::string said;  // "" : the command as the page heard it back, unknown to the bridge
  };
  const Case cases[] = {
      {"command name", "'mraid://' + " + decoded, ""},
      {"command name before parameters", "'mraid://' + " + decoded + " + '?a=1'", ""},
      {"logged value", "'mraid://log?message=' + encodeURIComponent(" + decoded + ")", "%n%s%x%@"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log->clear();
    run("heard = []; location.href = " + c.url + ";");
    advanceUntil([&] { return run("heard.length") != "0"; }, 1);
    ASSERT_EQ(run("heard.length"), "1");
    EXPECT_EQ(run("String(window.pwned)"), "undefined");
    const std::string command = run("heard[0]");
    if (c.said.empty()) {
      // The address keeps the quotes that would end the bridge's answer early.
      EXPECT_EQ(command.substr(0, 21), hostile.substr(0, 21));
      EXPECT_EQ(logged("Unknown Command: " + command), 1u) << ::testing::PrintToString(log->lines());
    } else {
      EXPECT_EQ(command, "log");
      const auto lines = log->lines();
      EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                              [&](const std::string& l) {
                                return l.rfind("MRAID_LOG:", 0) == 0 && l.find(c.said) != std::string::npos &&
                                       l.find("</script><script>x()</script>") != std::string::npos;
                              }),
                1)
          << ::testing::PrintToString(lines);
    }
  }
  // Numbers and messages the page asks the device for: a number that is none dials nothing,
  // and a message's fields reach the composer exactly as the page gave them.
  log->clear();
  const size_t before = opened().size();
  run("mraid.makeCall(" + decoded + ");");
  advanceUntil([&] { return logged("not a phone number: " + hostile) > 0; }, 1);
  EXPECT_EQ(logged("not a phone number: " + hostile), 1u) << ::testing::PrintToString(log->lines());
  EXPECT_EQ(opened().size(), before);
  touchAd();
  run("mraid.sendSMS('5551234', " + decoded + ");");
  auto sms = std::dynamic_pointer_cast<platform::MessageComposeViewController>(root->presentedViewController());
  ASSERT_TRUE(sms);
  EXPECT_EQ(sms->recipients(), std::vector<std::string>{"5551234"});
  EXPECT_EQ(sms->body(), hostile);
  EXPECT_TRUE(heard->events.empty());
}

// Expand and resize with sizes no screen has, and expansions that could not hold the whole
// close button inside the window (it is the player's only way back from an expanded ad): even
// just after the user's touch, the page hears one error, the log says it once, and the banner
// stays as it was.
TEST_F(NBHostileInputTest, AbsurdSizesAreRefusedAndTheAdStaysInPlace) {
  ASSERT_EQ(nextAd(richMedia(kHearsErrors)), "finish");
  heard->events.clear();
  view->setMaxSize({320, 250});
  const std::string expand = "expand: Cannot expand to a size that is not a positive number of points on a screen.";
  const std::string resize = "resize: Cannot resize an ad to a size below zero or not a number.";
  const std::string tooSmall = "expand: Cannot expand to a size smaller than the close button.";
  const std::pair<std::string, std::string> cases[] = {
      {"expand?w=NaN&h=NaN", expand},
      {"expand?w=1e30&h=1e30", expand},
      {"expand?w=-400&h=600", expand},
      {"expand?w=400&h=Infinity", expand},
      {"expand?w=0&h=0", expand},
      {"resize?w=NaN&h=10", resize},
      {"resize?w=-5&h=10", resize},
      {"resize?w=1e30&h=1e30", "resize: Cannot resize an ad larger than allowed."},
      {"expand?w=16&h=1", tooSmall},
      {"expand?w=0x10&h=1e", tooSmall},
      {"expand?w=24&h=400", tooSmall},
      {"expand?w=300&h=24", tooSmall},
      {"expand?x=-2000&y=-2000&w=300&h=300", "expand: Cannot expand to a place outside the window."},
  };
  for (const auto& [command, said] : cases) {
    SCOPED_TRACE(command);
    log->clear();
    touchAd();
    run("heard = []; location.href = 'mraid://" + command + "';");
    advanceUntil([&] { return run("heard.length") != "0"; }, 1);
    EXPECT_EQ(run("heard.join('|')"), said);
    EXPECT_EQ(logged(said), 1u) << ::testing::PrintToString(log->lines());
    EXPECT_EQ(view->currentStateForTesting(), 1);
    EXPECT_EQ(view->superview(), container);
    EXPECT_EQ(view->frame(), Rect(0, 0, 320, 50));
    EXPECT_EQ(onScreen()->frame(), Rect(0, 0, 320, 50));
  }
  EXPECT_EQ(view->blockingViewForTesting(), nullptr);
  EXPECT_TRUE(heard->events.empty());
  // A sound size still expands, for the user who touched the ad.
  advance(platform::kUserActivationSeconds);
  touchAd();
  run("mraid.expand(null, {width: 300, height: 400});");
  EXPECT_EQ(view->currentStateForTesting(), 5);
}

// An expanded ad lays a view that takes every touch over the whole window: its close button is
// the player's way back. In each orientation, and from a banner that starts off the window's
// edge, the button is whole on screen and on top, and one tap on it puts the ad back.
TEST_F(NBHostileInputTest, AnExpandedAdCanAlwaysBeClosed) {
  ASSERT_EQ(nextAd(richMedia("<p>expanding</p>")), "finish");
  heard->events.clear();
  using platform::DeviceOrientation;
  struct Case {
    const char* name;
    DeviceOrientation orientation;
    Rect place;  // of the publisher's view holding the banner
    int width, height;
  };
  const Case cases[] = {
      {"the smallest", DeviceOrientation::Portrait, Rect(0, 100, 320, 50), 25, 25},
      {"from off the left edge", DeviceOrientation::Portrait, Rect(-100, 100, 320, 50), 300, 200},
      {"from over the bottom edge", DeviceOrientation::Portrait, Rect(0, 420, 320, 50), 300, 200},
      {"upside down", DeviceOrientation::PortraitUpsideDown, Rect(0, 100, 320, 50), 300, 135},
      {"on its left side", DeviceOrientation::LandscapeLeft, Rect(0, 100, 320, 50), 300, 310},
      {"on its right side", DeviceOrientation::LandscapeRight, Rect(0, 100, 320, 50), 300, 310},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::Device::currentDevice().setOrientation(c.orientation);
    container->setFrame(c.place);
    touchAd();
    run("mraid.expand(null, {width: " + std::to_string(c.width) + ", height: " + std::to_string(c.height) + "});");
    ASSERT_EQ(view->currentStateForTesting(), NBAdView::kMRAIDStateExpanded);
    auto button = view->adCloseButtonForTesting();
    ASSERT_TRUE(button);
    const Rect inWindow = button->convertRectToView(button->bounds(), window);
    EXPECT_TRUE(platform::rectContainsRect(window->bounds(), inWindow)) << platform::stringFromRect(inWindow);
    EXPECT_EQ(std::lround(inWindow.size.width), 25);
    EXPECT_EQ(std::lround(inWindow.size.height), 25);
    // Tapped anywhere on it, the button is what the finger reaches.
    for (const platform::Point at : {platform::Point{rectGetMinX(inWindow) + 1, rectGetMinY(inWindow) + 1},
                                     platform::Point{rectGetMidX(inWindow), rectGetMidY(inWindow)},
                                     platform::Point{rectGetMaxX(inWindow) - 1, rectGetMaxY(inWindow) - 1}}) {
      EXPECT_EQ(window->hitTestWithEvent(at, nullptr).get(), button.get()) << platform::stringFromPoint(at);
    }
    window->tapAtPoint(platform::Point{rectGetMidX(inWindow), rectGetMidY(inWindow)});
    runUntilIdle();
    EXPECT_EQ(view->currentStateForTesting(), 1);
    EXPECT_EQ(view->superview(), container);
    EXPECT_EQ(view->blockingViewForTesting(), nullptr);
    EXPECT_EQ(heard->events, (std::vector<std::string>{"present", "will dismiss", "did dismiss"}));
    heard->events.clear();
    advance(platform::kUserActivationSeconds);
  }
}

// Answers that are no ad: each is one failure for the publisher, said once in the log; the
// ad on screen stays, and the next ad loads.
TEST_F(NBHostileInputTest, AnswersThatAreNoAdFailOnceAndTheShownAdStays) {
  ASSERT_EQ(nextAd(richMedia("<p>shown</p>")), "finish");
  const std::string noFill = std::to_string(nubira::NBAdErrorCodeNoFill) + " Server returned a no-fill.";
  // Ten entities, each ten of the one before: a billion characters once expanded.
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e0 \"aaaaaaaaaa\">";
  for (int level = 1; level < 10; ++level) {
    bomb += "<!ENTITY e" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) bomb += "&e" + std::to_string(level - 1) + ";";
    bomb += "\">";
  }
  bomb += "]><Response><Ad type=\"rm\"><![CDATA[<p>]]></Ad><TitleText>&e9;</TitleText></Response>";
  std::string deep;
  for (int i = 0; i < 50000; ++i) deep += "<Ad>";
  struct Case {
    const char* name;
    std::string reply;
    std::string report;
    std::string said;
  };
  const Case cases[] = {
      // Past the size cap the load fails as any failed load does.
      {"larger than an ad can be",
       richMedia("<p>" + std::string(platform::kURLDefaultMaximumContentLength, 'x') + "</p>"),
       std::to_string(nubira::NBAdErrorCodeNetworkError) + " " + platform::kURLErrorDomain,
       "connection failed while getting an ad request"},
      {"not XML", "%n%s%x%@<<>>", noFill, "res=%n%s%x%@"},
      {"cut short", "<?xml version=\"1.0\"?><Response><Ad type=\"rm\"><![CDATA[<p>cut", noFill, "res="},
      {"entity bomb", bomb, noFill, "res="},
      {"nested without end", deep, noFill, "res="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log->clear();
    const std::string report = nextAd(c.reply);
    advance(0.05);
    EXPECT_EQ(heard->events.size(), 1u);
    EXPECT_EQ(report.substr(0, c.report.size()), c.report);
    EXPECT_EQ(logged(c.said), 1u);
    EXPECT_NE(onScreen()->documentSourceForTesting().find("shown"), std::string::npos);
  }
  expectTheBannerGoesOn();
}

// Links the user taps in the ad, with hostile content: a number that is none dials nothing,
// a file stays shut, other schemes get the text exactly as the page wrote it, a mail link
// only its address,
// and a referral that redirects for ever ends once, opening nothing.
TEST_F(NBHostileInputTest, HostileLinksTheUserTapsAreRoutedAsWritten) {
  server.http().setAnswer("/loop", ScriptedAnswer::redirect(server.url("/loop")));
  const std::string sms = "sms:5551234?body=%25n%25s%25%40%3C/script%3E%0A";
  const std::string mailto = "mailto:ann@x.example?subject=" + percentEscaped(kHostileText) + "&body=%25n%25s%25x";
  struct Case {
    std::string href;
    std::string said;
    size_t opened;
  };
  const Case cases[] = {
      {"tel:5551234%0Ahttp://x.example/%25n", "not a phone number", 0},
      {"tel:5551234;ext=%25n%25s", "not a phone number", 0},
      {"file:///etc/passwd", "not loading a local file", 0},
      {"FILE://" + std::string(nubira::NBEmbeddedWebViewController::kStoreWebHost) + "/x", "not loading a local file",
       0},
      {sms, "opening url externally:" + sms, 1},
      {mailto, "MAILTO: " + mailto, 0},
      {server.url("/loop"), "too many redirects, not opening " + server.url("/loop"), 0},
  };
  std::string links;
  for (const auto& c : cases) links += "<a href=\"" + c.href + "\">link</a>";
  ASSERT_EQ(nextAd(richMedia(links)), "finish");
  heard->events.clear();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.href);
    log->clear();
    const size_t before = opened().size();
    ASSERT_TRUE(onScreen()->tapLinkWithURLForTesting(c.href));
    advanceUntil([&] { return logged(c.said) > 0 && opened().size() == before + c.opened; }, 2);
    EXPECT_EQ(logged(c.said), 1u) << ::testing::PrintToString(log->lines());
    ASSERT_EQ(opened().size(), before + c.opened);
    if (c.opened) {
      EXPECT_EQ(opened().back().substr(0, 4), c.href.substr(0, 4));
    }
    if (c.href == sms) {
      EXPECT_EQ(opened().back(), sms);
    }
    if (auto mail = std::dynamic_pointer_cast<platform::MailComposeViewController>(root->presentedViewController())) {
      EXPECT_EQ(mail->toRecipients(), std::vector<std::string>{"ann@x.example"});
      EXPECT_EQ(mail->subject(), "");
      EXPECT_EQ(mail->body(), "");
      advance(platform::kModalTransitionDuration);
      mail->finishWithResult(platform::MailComposeResult::Cancelled);
      runUntilIdle();
      advance(platform::kModalTransitionDuration);
      runUntilIdle();
    }
    EXPECT_FALSE(root->presentedViewController());
  }
  EXPECT_TRUE(heard->events.empty());
}

// The interstitial's page on screen after it navigated away while loading, or after a form
// it sent: the page it reached dials nothing.
TEST_F(NBHostileInputTest, TheInterstitialsLandingPagesCannotDriveIt) {
  struct Ready : nubira::NBAdInterstitialDelegate {
    int reports = 0;
    void interstitialDidFinishRequest(nubira::NBAdInterstitial&) override { ++reports; }
    void interstitialDidFailToReceiveAdWithError(nubira::NBAdInterstitial&, const platform::Error&) override {
      ++reports;
    }
  };
  const std::string dial = "location.href = 'mraid://phone?number=5551234';";
  server.http().setAnswer("/landing", htmlPage("<script>setInterval(function(){ " + dial + " }, 10);</script>"));
  const std::string landing = server.url("/landing");
  const std::pair<const char*, std::string> cases[] = {
      {"navigated away while loading", "<script>location.href = '" + landing + "';</script>" + slow()},
      {"form sent once shown", "<p>form</p>"},
  };
  for (const auto& [name, markup] : cases) {
    SCOPED_TRACE(name);
    auto ready = std::make_shared<Ready>();
    auto ad = nubira::NBAdInterstitial::create();
    ad->setNbAppId("site-1");
    ad->setDelegate(ready);
    server.setInterstitialReply("<?xml version=\"1.0\"?><Response><Ad type=\"rm\" actionType=\"2\" width=\"320\" "
                                "height=\"480\"><![CDATA[" + markup + "]]></Ad></Response>");
    log->clear();
    const size_t before = opened().size();
    ad->loadRequest(nubira::NBAdRequest::request());
    loadPastSlowScript([&] { return ready->reports > 0; });
    ASSERT_EQ(ad->state(), 2);
    ad->presentFromRootViewController(root);
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
    auto page = ad->viewControllerForTesting()->webView();
    if (markup == "<p>form</p>")
      page->injectNavigationForTesting(platform::URLRequest(landing), platform::WebViewNavigationType::FormSubmitted);
    advanceUntil([&] { return logged("a page other than the ad's own") > 0; }, 2);
    advance(0.05);
    EXPECT_EQ(opened().size(), before);
    EXPECT_EQ(logged("a page other than the ad's own"), 1u) << ::testing::PrintToString(log->lines());
    root->dismissModalViewControllerAnimated(false);
    runUntilIdle();
  }
}

// Clicks whose redirects never end, or end at a local file: each click ends once, and the
// banner can be clicked again.
TEST_F(NBHostileInputTest, ClicksThatRedirectForEverOrToAFileEndOnce) {
  const std::string self = server.addSelfRedirect("self");
  server.http().setAnswer("/cycle/a", ScriptedAnswer::redirect(server.url("/cycle/b?x=1&y=2")));
  server.http().setAnswer("/cycle/b", ScriptedAnswer::redirect(server.url("/cycle/a")));
  server.http().setAnswer("/to-file", ScriptedAnswer::redirect("file:///etc/passwd"));
  struct Case {
    const char* name;
    std::string target;
    int actionType;
    std::vector<std::string> events;
    size_t opened;
    std::string said;
  };
  const Case cases[] = {
      // A chain with no end is a failed click: nothing is opened or told, in the browser or
      // outside.
      {"redirects to itself", self, 1, {}, 0, "too many redirects!"},
      {"two addresses in a cycle", server.url("/cycle/a"), 1, {}, 0, "ad click data failed to load"},
      {"a cycle, for the browser", server.url("/cycle/a"), 2, {}, 0, "ad click data failed to load"},
      {"to a file, in the browser", server.url("/to-file"), 2, {}, 0,
       "not opening file:///etc/passwd in the browser"},
      {"to a file, outside", server.url("/to-file"), 1, {}, 0, "unable to open external url:file:///etc/passwd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string target = c.target;
    for (size_t at = target.find('&'); at != std::string::npos; at = target.find('&', at + 1))
      target.replace(at, 1, "&amp;");
    ASSERT_EQ(nextAd("<?xml version=\"1.0\"?><Response><Ad type=\"banner\" actionType=\"" +
                     std::to_string(c.actionType) + "\" width=\"320\" height=\"50\"><AdURL>" + target +
                     "</AdURL><![CDATA[<p>banner</p>]]></Ad></Response>"),
              "finish");
    heard->events.clear();
    log->clear();
    const size_t before = opened().size();
    window->tapAtPoint(view->convertRectToView(Rect(10, 10, 1, 1), window).origin);
    advanceUntil([&] { return logged(c.said) > 0 && !view->isTouchedDownOnAdForTesting(); }, 2);
    EXPECT_EQ(logged(c.said), 1u) << ::testing::PrintToString(log->lines());
    EXPECT_EQ(heard->events, c.events);
    EXPECT_EQ(opened().size(), before + c.opened);
    EXPECT_FALSE(view->isTouchedDownOnAdForTesting());
    EXPECT_FALSE(root->presentedViewController());
  }
  // Each cycle is walked once, by the click alone, up to the redirect limit.
  EXPECT_LE(server.requestsTo("/cycle/a").size(), size_t(platform::URLConnection::kMaxRedirects + 2));
}

// Answers that trickle, never come, or bring too much, for the ad and for a click: each load
// fails once within its bounds (not before the deadline when bytes keep moving), its
// connection is let go, and the banner goes on to its next ad.
TEST_F(NBHostileInputTest, EndlessAndOversizedLoadsFailOnceAndTheBannerGoesOn) {
  ASSERT_EQ(nextAd(richMedia("<p>shown</p>")), "finish");
  const size_t connectionsBefore = platform::URLConnection::liveCount();
  ScriptedAnswer trickle = ScriptedAnswer::text(std::string(100000, 'x'));
  trickle.trickle = std::chrono::milliseconds(5);
  ScriptedAnswer stalled = ScriptedAnswer::text("");
  stalled.stall = true;
  ScriptedAnswer declaredTooLarge = ScriptedAnswer::text(std::string(platform::kURLDefaultMaximumContentLength + 1, 'x'));
  ScriptedAnswer chunkedTooLarge = declaredTooLarge;
  chunkedTooLarge.chunked = true;
  chunkedTooLarge.chunkSize = 64 * 1024;
  server.http().setAnswer("/trickle", trickle);
  server.http().setAnswer("/stall", stalled);
  server.http().setAnswer("/large", chunkedTooLarge);
  for (const char* hop : {"trickle", "stall", "large"})
    server.http().setAnswer(std::string("/to-") + hop, ScriptedAnswer::redirect(server.url(std::string("/") + hop + "?a=1&b=2")));
  // The virtual time until `done` held. Every answer that can end does so before time moves;
  // a trickle or a stall is left to its bounds.
  auto runFor = [&](const std::function<bool()>& done) {
    const double started = clock().monotonic();
    advanceUntil(done, 3 * nubira::NBHttpAdRequest::kTimeout);
    return clock().monotonic() - started;
  };
  const std::string failed = std::to_string(nubira::NBAdErrorCodeNetworkError) + " " + platform::kURLErrorDomain;
  struct AdCase {
    const char* name;
    ScriptedAnswer answer;
    bool slow;  // ends only at the deadline
  };
  const AdCase adCases[] = {
      {"trickling answer", trickle, true},
      {"answer that never comes", stalled, true},
      {"declared too large", declaredTooLarge, false},
      {"chunked too large", chunkedTooLarge, false},
      {"redirected into a trickle", ScriptedAnswer::redirect(server.url("/trickle")), true},
  };
  for (const auto& c : adCases) {
    SCOPED_TRACE(c.name);
    server.setAdAnswer(c.answer);
    advance(NBAdView::kMinimumSecondsBetweenAds + 1);
    heard->events.clear();
    log->clear();
    view->loadNBAdRequest();
    const double waited = runFor([&] { return !heard->events.empty(); });
    EXPECT_EQ(heard->events, std::vector<std::string>{failed});
    if (c.slow)
      EXPECT_GE(waited, nubira::NBHttpAdRequest::kTimeout);
    else
      EXPECT_LT(waited, nubira::NBHttpAdRequest::kTimeout);
    EXPECT_EQ(logged("connection failed while getting an ad request"), 1u);
    EXPECT_EQ(platform::URLConnection::liveCount(), connectionsBefore);
    EXPECT_NE(onScreen()->documentSourceForTesting().find("shown"), std::string::npos);
  }
  // A click whose landing never ends, or brings too much, ends as a failed click load does:
  // with the redirect it reached (cut at its first "&") or with nothing, never "in progress".
  struct ClickCase {
    const char* name;
    std::string target;
    std::vector<std::string> events;
    std::optional<std::string> opens;
    bool slow;
  };
  const ClickCase clickCases[] = {
      {"landing trickles", server.url("/to-trickle"), {"leave"}, server.url("/trickle?a=1"), true},
      {"landing too large", server.url("/to-large"), {"leave"}, server.url("/large?a=1"), false},
      {"landing never answers", server.url("/to-stall"), {"leave"}, server.url("/stall?a=1"), true},
      {"click never answers", server.url("/stall"), {}, std::nullopt, true},
  };
  for (const auto& c : clickCases) {
    SCOPED_TRACE(c.name);
    server.setAdAnswer(ScriptedAnswer::text(
        "<?xml version=\"1.0\"?><Response><Ad type=\"banner\" actionType=\"1\" width=\"320\" height=\"50\"><AdURL>" +
        c.target + "</AdURL><![CDATA[<p>banner</p>]]></Ad></Response>"));
    advance(NBAdView::kMinimumSecondsBetweenAds + 1);
    heard->events.clear();
    view->loadNBAdRequest();
    advanceUntil([&] { return !heard->events.empty(); }, 10);
    ASSERT_EQ(heard->events, std::vector<std::string>{"finish"});
    heard->events.clear();
    const size_t before = opened().size();
    window->tapAtPoint(view->convertRectToView(Rect(10, 10, 1, 1), window).origin);
    ASSERT_TRUE(view->isTouchedDownOnAdForTesting());
    const double waited = runFor([&] { return !view->isTouchedDownOnAdForTesting(); });
    EXPECT_FALSE(view->isTouchedDownOnAdForTesting());
    if (c.slow)
      EXPECT_GE(waited, nubira::NBHttpAdRequest::kTimeout);
    else
      EXPECT_LT(waited, nubira::NBHttpAdRequest::kTimeout);
    EXPECT_EQ(heard->events, c.events);
    EXPECT_EQ(opened().size(), before + (c.opens ? 1 : 0));
    if (c.opens && opened().size() > before) {
      EXPECT_EQ(opened().back(), *c.opens);
    }
    EXPECT_EQ(platform::URLConnection::liveCount(), connectionsBefore);
  }
  expectTheBannerGoesOn();
}

// One ad may start a few tens of requests of its own: a page pinging in a loop gets that many
// out, the rest are dropped and said once; the next ad has its own allowance.
TEST_F(NBHostileInputTest, AnAdsOwnRequestsAreBounded) {
  ASSERT_EQ(nextAd(richMedia("<p>pinging</p>")), "finish");
  const size_t limit = nubira::NBWebView::kRequestsPerAd;
  log->clear();
  run("for (var i = 0; i < " + std::to_string(limit + 20) + "; i++) mraid.asyncPing('" + server.url("/ping") +
      "?i=' + i);");
  advanceUntil([&] { return server.requestsTo("/ping").size() >= limit; }, 10);
  advance(0.2);
  EXPECT_EQ(server.requestsTo("/ping").size(), limit);
  EXPECT_EQ(logged(nubira::NBWebView::kRequestBudgetLine), 1u);
  ASSERT_EQ(nextAd(richMedia("<p>next</p>")), "finish");
  run("mraid.asyncPing('" + server.url("/ping") + "?next=1');");
  advanceUntil([&] { return server.requestsTo("/ping").size() > limit; }, 10);
  EXPECT_EQ(server.requestsTo("/ping").size(), limit + 1);
  EXPECT_EQ(server.requestsTo("/ping").back().query, "next=1");
}

// A page acts for the user only just after the user touched the ad on screen: each act a page
// asks for (three times over) does (a) nothing without a touch, said once, (b) exactly one
// thing after one touch, and (c) nothing when the ad is not on screen, touched or not.
TEST_F(NBHostileInputTest, APageActsForTheUserOnlyOnceAfterATouchAndNeverOffScreen) {
  server.http().setAnswer("/ref", ScriptedAnswer::redirect(server.url("/final")));
  server.http().setAnswer("/final", htmlPage("<p>final</p>"));
  server.http().setAnswer("/landing", htmlPage("<p>landing</p>"));
  ASSERT_EQ(nextAd(richMedia("<p>acting</p>")), "finish");
  heard->events.clear();
  const std::string store = std::string("http://") + nubira::NBEmbeddedWebViewController::kStoreWebHost + "/app/1";
  struct Case {
    const char* act;     // as the refusal names it
    std::string script;  // what the page asks for, once
    std::vector<std::string> told;  // what the publisher hears of the one act
  };
  const Case cases[] = {
      {"dial", "mraid.makeCall('5551234');", {}},
      {"dial", "location.href = 'tel:5551234';", {}},
      {"open another application", "location.href = 'sms:5551234';", {}},
      {"open the store", "location.href = '" + store + "';", {}},
      {"open a link", "location.href = '" + server.url("/ref") + "';", {}},
      {"open the browser", "mraid.open('" + server.url("/landing") + "');", {}},
      {"compose a message", "mraid.sendSMS('5551234', 'hi');", {}},
      {"compose mail", "mraid.sendMail('a@x.example', 's', 'b');", {}},
      {"expand", "mraid.expand(null, {width: 300, height: 300});", {"present"}},
  };
  // What the page got done for the user: addresses opened, screens presented, expansions.
  size_t openedBefore = 0;
  auto actsDone = [&] {
    return opened().size() - openedBefore + (root->presentedViewController() ? 1 : 0) +
           (view->currentStateForTesting() == NBAdView::kMRAIDStateExpanded ? 1 : 0);
  };
  // The page's asks are handed over on the loop's turns; an act refused starts nothing, not
  // even a connection, so only an act allowed needs real time for its loads.
  size_t connectionsBefore = 0;
  auto askThrice = [&](const Case& c, bool acts) {
    connectionsBefore = platform::URLConnection::liveCount();
    run("for (var i = 0; i < 3; i++) { " + c.script + " }");
    if (acts) advanceUntil([&] { return actsDone() > 0; }, 2);
    advance(0.02);
  };
  auto nothingDone = [&] { return actsDone() == 0 && platform::URLConnection::liveCount() == connectionsBefore; };
  auto putBack = [&] {
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
    if (view->currentStateForTesting() == NBAdView::kMRAIDStateExpanded) run("mraid.close();");
    if (auto browser = view->browserForTesting()) {
      browser->closeMVC();
    } else if (root->presentedViewController()) {
      root->dismissModalViewControllerAnimated(false);
    }
    runUntilIdle();
    advance(platform::kModalTransitionDuration + platform::kUserActivationSeconds);
    runUntilIdle();
    heard->events.clear();
  };
  std::set<std::string> said;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    // (a) No touch: nothing, and the refusal said once for the page (for each act).
    log->clear();
    openedBefore = opened().size();
    askThrice(c, false);
    EXPECT_TRUE(nothingDone());
    EXPECT_TRUE(heard->events.empty());
    EXPECT_EQ(logged(platform::format(nubira::NBWebView::kNoTouchRefusal, c.act)), said.insert(c.act).second ? 1u : 0u)
        << ::testing::PrintToString(log->lines());
    // (b) One touch: one act, however often the page asks.
    touchAd();
    askThrice(c, true);
    EXPECT_EQ(actsDone(), 1u);
    EXPECT_EQ(heard->events, c.told);
    putBack();
    // (c) Not on screen: touched, then hidden or taken out of its window, the ad acts for
    // nobody; shown again once the touch is over, it is as it was.
    for (const char* away : {"hidden", "out of the window"}) {
      SCOPED_TRACE(away);
      openedBefore = opened().size();
      touchAd();
      if (std::string(away) == "hidden")
        view->setHidden(true);
      else
        view->removeFromSuperview();
      askThrice(c, false);
      EXPECT_TRUE(nothingDone());
      EXPECT_TRUE(heard->events.empty());
      advance(platform::kUserActivationSeconds);
      view->setHidden(false);
      if (!view->superview()) container->addSubview(view);
      putBack();
    }
  }
  // A ping needs no touch, but an ad not on screen sends none.
  const size_t pings = server.requestsTo("/ping").size();
  view->setHidden(true);
  connectionsBefore = platform::URLConnection::liveCount();
  run("mraid.asyncPing('" + server.url("/ping") + "');");
  EXPECT_EQ(platform::URLConnection::liveCount(), connectionsBefore);
  view->setHidden(false);
  run("mraid.asyncPing('" + server.url("/ping") + "');");
  advanceUntil([&] { return server.requestsTo("/ping").size() > pings; }, 5);
  EXPECT_EQ(server.requestsTo("/ping").size(), pings + 1);
}

// An interstitial loaded and not yet shown acts for nobody: its page pings, dials, opens,
// composes and sends forms in vain, and the application's status bar stays as it is.
TEST_F(NBHostileInputTest, AnInterstitialNotYetShownActsForNobody) {
  struct Ready : nubira::NBAdInterstitialDelegate {
    int reports = 0;
    void interstitialDidFinishRequest(nubira::NBAdInterstitial&) override { ++reports; }
  };
  auto ready = std::make_shared<Ready>();
  auto ad = nubira::NBAdInterstitial::create();
  ad->setNbAppId("site-1");
  ad->setDelegate(ready);
  ad->loadRequest(nubira::NBAdRequest::request());
  advanceUntil([&] { return ready->reports > 0; }, 5);
  ASSERT_EQ(ad->state(), 2);
  auto& app = platform::Application::sharedApplication();
  app.setStatusBarHidden(false);
  auto controller = ad->viewControllerForTesting();
  auto page = controller->webView();
  const size_t before = opened().size();
  page->stringByEvaluatingJavaScriptFromString(
      "mraid.asyncPing('" + server.url("/ping") + "'); mraid.makeCall('5551234'); mraid.open('" +
      server.url("/landing") + "'); mraid.sendSMS('5551234', 'hi'); location.href = 'tel:5551234';");
  page->injectNavigationForTesting(platform::URLRequest(server.url("/form")), platform::WebViewNavigationType::FormSubmitted);
  page->injectNavigationForTesting(platform::URLRequest("about:blank"), platform::WebViewNavigationType::Other);
  advance(0.3);
  EXPECT_EQ(opened().size(), before);
  EXPECT_TRUE(server.requestsTo("/ping").empty());
  EXPECT_TRUE(server.requestsTo("/form").empty());
  EXPECT_EQ(controller->presentedViewController(), nullptr);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_FALSE(app.isStatusBarHidden());
  EXPECT_FALSE(app.isNetworkActivityIndicatorVisible());
  EXPECT_EQ(ad->state(), 2);
}

}  // namespace
