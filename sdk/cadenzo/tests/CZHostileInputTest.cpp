// Hostile pages and server answers against the whole client, over loopback and in the real
// web view: each attempt must fail without harm to what the client holds, and be said once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CZAnalytics.h"
#include "CZJsonWriter.h"
#include "CZNativeMoreAppsTableViewCell.h"
#include "CZNativeMoreAppsView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/url_connection.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/singleton.h"
#include "platform/user_defaults.h"
#include "platform/web_view.h"
#include "views/CZHTMLAdTest.h"
#include "views/CZViewTestSupport.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;
using testkit::ScriptedAnswer;

// Characters that break out of quotes, scripts, lines and format strings.
const char* const kHostileText = "\"'\\</script><script>x()</script>\xE2\x80\xA8\xE2\x80\xA9\n%n%s%x%@";

// `text` (UTF-8, BMP only) as a script expression free of any quoting: a page builds the
// hostile text itself, so no escaping of ours stands between the text and the client.
std::string fromCharCodes(const std::string& text) {
  std::string out = "String.fromCharCode(";
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : 3;
    unsigned unit = length == 1 ? b : length == 2 ? b & 0x1F : b & 0x0F;
    for (int k = 1; k < length; ++k) unit = (unit << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    out += (i ? "," : "") + std::to_string(unit);
    i += length;
  }
  return out + ")";
}

ScriptedAnswer htmlPage(const std::string& body) {
  return ScriptedAnswer::html("<html><body>" + body + "</body></html>");
}

class CZHostileInputTest : public cztest::HTMLAdTest {
 protected:
  void SetUp() override {
    cztest::HTMLAdTest::SetUp();
    // A runaway page is stopped quickly; the guard is the same at any bound.
    platform::WebView::setScriptLimits({0.05, size_t{64} << 20});
    // Made after the sandbox, which puts the log back on standard error.
    log = std::make_unique<platform::LogCapture>();
  }
  void dismiss() {
    platform::NotificationCenter::defaultCenter().postNotificationName(cadenzo::Cadenzo::kForceDismissViewNotification);
    advance(0.3);
    runUntilIdle();
  }
  size_t logged(const std::string& fragment) const {
    const auto lines = log->lines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
  }
  std::unique_ptr<platform::LogCapture> log;
};

// The ad on screen tries to leave its folder, hands the bridge to a page it navigated to, or
// never stops running. The ad stays up and silent, a second cached ad is untouched, and the
// client shows that one afterwards as if nothing had happened.
TEST_F(CZHostileInputTest, HostilePagesReachNothingAndTheClientCarriesOn) {
  const std::string click = "location.href = 'cadenzo://link/' + encodeURIComponent('" + server->url("/store") + "');";
  server->http().setAnswer("/landing-click", htmlPage("<script>" + click + "</script>"));
  server->http().setAnswer("/landing-close",
                           htmlPage("<script>setInterval(function(){ location.href = 'cadenzo://close'; }, 10);</script>"));
  server->http().setAnswer("/hop", ScriptedAnswer::redirect(server->url("/landing-click")));
  // The ad's document, once loaded, is never replaced: a page it would leave for never gets to act.
  const std::string leaving = "navigation away from the ad without a touch";
  const std::string outside = "a file outside the application bundle";
  const std::string runaway = "ran past its time limit";
  struct Case { const char* name; std::string script; std::string said; };
  const Case cases[] = {
      {"landing page clicks", "location.href = '" + server->url("/landing-click") + "';", leaving},
      {"landing page closes on a timer", "location.href = '" + server->url("/landing-close") + "';", leaving},
      {"landing page behind a redirect", "location.href = '" + server->url("/hop") + "';", leaving},
      {"absolute file", "location.href = 'file:///etc/passwd';", outside},
      {"relative path", "location.href = '../../../../../../../../../etc/passwd';", outside},
      {"escaped dots", "location.href = '%2e%2e/%2e%2e/%2e%2e/%2e%2e/%2e%2e/%2e%2e/%2e%2e/etc/passwd';", outside},
      {"window.open of a file", "window.open('file:///etc/hosts');", outside},
      {"never stops", "for (;;) {}", runaway},
  };
  server->setInterstitial("Waiting", answer("var idle = true;"));
  facade->cacheInterstitial("Waiting");
  settleTraffic();
  ASSERT_TRUE(facade->hasCachedInterstitial("Waiting"));
  auto waiting = facade->cachedInterstitialForTesting("Waiting");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server->setInterstitial(c.name, answer(c.script));
    auto view = cacheAndShow(c.name);
    ASSERT_TRUE(view);
    auto shown = impression;
    listener->timeline.clear();
    log->clear();
    advance(5);
    // A landing page's timers run on the clock: a tenth of a second more for any second try.
    advanceUntil([&] { return logged(c.said) > 0; }, 2);
    advance(0.1);
    EXPECT_TRUE(listener->timeline.empty());
    EXPECT_EQ(facade->visibleImpression(), shown);
    EXPECT_EQ(shown->state(), cadenzo::CZImpressionStateShown);
    EXPECT_EQ(logged(c.said), 1u) << ::testing::PrintToString(log->lines());
    // A refused navigation leaves the ad's own document in place.
    if (c.said == outside) {
      EXPECT_NE(view->documentSourceForTesting().find("Play now"), std::string::npos);
    }
    dismiss();
  }
  EXPECT_TRUE(server->callsTo("click").empty());
  EXPECT_TRUE(platform::Application::sharedApplication().openedURLs().empty());
  EXPECT_FALSE(controller->loadingViewIsVisible());

  EXPECT_EQ(facade->cachedInterstitialForTesting("Waiting"), waiting);
  listener->timeline.clear();
  facade->showInterstitial("Waiting");
  ASSERT_EQ(facade->visibleImpression(), waiting);
  auto view = std::dynamic_pointer_cast<platform::WebView>(waiting->view());
  ASSERT_TRUE(view);
  EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("6 * 7"), "42");
  view->stringByEvaluatingJavaScriptFromString("location.href = 'cadenzo://close';");
  settleTraffic();
  ASSERT_EQ(listener->timeline.size(), 2u);
  EXPECT_EQ(listener->timeline, (cztest::Timeline{"didDismissInterstitial:Waiting", "didCloseInterstitial:Waiting"}));
  // The way out animates on the clock; it holds the ad's view until it ends.
  advance(1);
  runUntilIdle();
}

// A more-apps row's page that navigates away: the page it reached cannot tap the row.
TEST_F(CZHostileInputTest, AMoreAppsRowsLandingPageCannotTapIt) {
  testkit::LoopbackServer images;
  server->http().setAnswer("/landing-tap", htmlPage("<script>location.href = 'cadenzo://click/any';</script>"));
  const Dictionary row{{"type", Value("webview")}, {"link", Value(server->url("/target"))},
                       {"html", Value("<script>location.href = '" + server->url("/landing-tap") + "';</script>")}};
  const Dictionary assets{{"close", czviews_test::servedPicture(images, "close.png", 50, 30)},
                          {"header-portrait", czviews_test::servedPicture(images, "header.png", 320, 50)}};
  server->setMoreApps(cadenzo::JSONRepresentation(Value(Dictionary{{"status", Value(200)}, {"type", Value("native")},
                                                                    {"ad_id", Value("m-1")}, {"assets", Value(assets)},
                                                                    {"cells", Value(Array{Value(row)})}}))
                          .value_or(""));
  facade->showMoreApps();
  settleTraffic();
  ASSERT_NE(facade->visibleImpression(), nullptr);
  auto view = std::dynamic_pointer_cast<cadenzo::CZNativeMoreAppsView>(facade->visibleImpression()->view());
  ASSERT_TRUE(view);
  view->layoutIfNeeded();
  view->tableView()->layoutIfNeeded();
  ASSERT_TRUE(std::dynamic_pointer_cast<cadenzo::CZNativeMoreAppsWebViewCell>(
      view->tableView()->cellForRowAtIndexPath({0, 0})));
  const std::string said = "CZNativeMoreAppsWebViewCell: a command from a page other than the ad's own";
  settleTraffic();
  EXPECT_EQ(logged(said), 1u);
  EXPECT_TRUE(listener->timeline.empty());
  EXPECT_TRUE(server->callsTo("click").empty());
}

// A click whose data and target are hostile: the data reaches the service exactly as the
// page gave it, the target that may not be opened is named in the log as it stands (never
// read as a format), and a target that redirects for ever ends the click once, opening
// nothing (the address the loop stopped on is no landing) and taking the overlay down.
TEST_F(CZHostileInputTest, HostileClicksAreSentVerbatimAndEndOnce) {
  auto& app = platform::Application::sharedApplication();
  app.setOpenURLAnswer(true);
  server->http().setAnswer("/loop", ScriptedAnswer::redirect("/loop"));
  struct Case { const char* name; std::string target; std::string said; size_t opened; };
  const Case cases[] = {
      {"target that is no URL", "javascript:%n%s%x%@", "an ad may not open javascript:%n%s%x%@", 0},
      {"script target", "javascript:%25n%25s%25x", "an ad may not open javascript:%25n%25s%25x", 0},
      {"file target", "file:///%25n%25s/../../etc/passwd", "an ad may not open file:///%25n%25s/../../etc/passwd", 0},
      {"endless redirect", server->url("/loop"),
       "CZURLOpener: the click's redirects went past the limit at " + server->url("/loop") + "; nothing is opened", 0},
  };
  size_t clicks = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The data goes through JSON.stringify (the command's JSON is ASCII: the page writes
    // \u escapes for the rest) and the page's escaping, as a page would send it.
    const std::string data = "JSON.stringify({cgn: " + fromCharCodes(kHostileText) + ", creative: " +
                             fromCharCodes(kHostileText) + "}).replace(/[^ -~]/g, function(c) { return "
                             "String.fromCharCode(92) + 'u' + ('000' + c.charCodeAt(0).toString(16)).slice(-4); })";
    server->setInterstitial(c.name, answer("location.href = 'cadenzo://link/' + encodeURIComponent('" + c.target +
                                           "') + '/' + encodeURIComponent(" + data + ");"));
    ASSERT_TRUE(cacheAndShow(c.name));
    log->clear();
    const size_t openedBefore = app.openedURLs().size();
    letThePageClick(clicks);
    if (HasFatalFailure()) return;
    const auto call = server->callsTo("click").back();
    EXPECT_TRUE(call.accepted());
    EXPECT_EQ(call.body["cgn"], Value(kHostileText));
    EXPECT_EQ(call.body["creative"], Value(kHostileText));
    EXPECT_EQ(logged(c.said), 1u) << ::testing::PrintToString(log->lines());
    EXPECT_EQ(app.openedURLs().size(), openedBefore + c.opened);
    dismiss();
  }
}

// Answers that never arrive whole: the events waiting on them stay queued on disk, each
// failure is said once, and the next launch delivers every one of them unchanged.
TEST_F(CZHostileInputTest, HostileAnswersKeepEventsQueuedUntilTheyArrive) {
  server->http().setAnswer("/loop", ScriptedAnswer::redirect("/loop"));
  ScriptedAnswer dropped;
  dropped.dropBeforeHead = true;
  dropped.dropAfterBodyBytes = 0;
  struct Case { const char* name; ScriptedAnswer answer; std::string said; };
  const Case cases[] = {
      {"endless redirect", ScriptedAnswer::redirect(server->url("/loop"), 307), "/api/event failed"},
      {"connection dropped", dropped, "/api/event failed"},
      {"oversized answer",
       ScriptedAnswer::json("{\"status\":200,\"pad\":\"" +
                            std::string(platform::kURLDefaultMaximumContentLength, 'x') + "\"}"),
       "-1103)"},
  };
  auto analytics = cadenzo::CZAnalytics::sharedAnalytics();
  ASSERT_TRUE(analytics);
  auto queued = [] {
    return platform::UserDefaults::standardUserDefaults().arrayForKey("CZQueuedRequests-CZAnalytics").size();
  };
  std::vector<std::string> keys;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log->clear();
    // Every try gets the same answer: the transport may retry a connection that dropped.
    server->scriptAlways("event", c.answer);
    keys.push_back(std::string(c.name) + kHostileText);
    analytics->trackEventWithMetadata(keys.back(), Value(platform::Dictionary{{kHostileText, Value(kHostileText)}}));
    settleTraffic();
    ASSERT_EQ(queued(), keys.size());
    EXPECT_EQ(logged(c.said), 1u) << ::testing::PrintToString(log->lines());
    server->clearScripts();
  }
  analytics.reset();
  server->clearCalls();
  platform::resetForTesting();
  configureFacade();
  cadenzo::CZAnalytics::sharedAnalytics();
  settleTraffic();
  ASSERT_EQ(server->callsTo("event").size(), keys.size());
  std::vector<std::string> heard;
  for (const auto& call : server->callsTo("event")) {
    EXPECT_TRUE(call.accepted());
    heard.push_back(call.body["key"].string());
    EXPECT_EQ(call.body["meta"][kHostileText], Value(kHostileText));
  }
  std::sort(heard.begin(), heard.end());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(heard, keys);
  EXPECT_EQ(queued(), 0u);
}

}  // namespace
