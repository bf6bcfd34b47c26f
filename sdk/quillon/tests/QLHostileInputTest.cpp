// Hostile pages and server answers over loopback, run in the real web view: pages that are
// not the ad's own sending messages, oversized and endless answers, scripts that never stop
// and format directives in what the builder says. Each attempt fails, is logged once, keeps
// the cached builder script, and the banner takes its next load.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "QLTestPrinters.h"

#include "QLCachedFile.h"
#include "QLConfiguration.h"
#include "QLNetworkUtilities.h"
#include "QLObjectPrivate.h"
#include "QLViewController.h"
#include "QLWebAppViewController.h"
#include "QLShownBannerTest.h"
#include "platform/application.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/request_budget.h"
#include "platform/sandbox.h"
#include "platform/user_defaults.h"
#include "platform/web_view.h"
#include "quillon/QLBannerView.h"
#include "quillon/QLInterstitial.h"
#include "testing/quillon_server.h"
#include "testing/runaway_scripts.h"

namespace {

using platform::Rect;
using quillon::QLBannerView;
using testkit::QuillonServer;
using testkit::ScriptedAnswer;

size_t count(const std::vector<std::string>& lines, const std::string& fragment) {
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(fragment) != std::string::npos; }));
}

ScriptedAnswer html(const std::string& body) { return ScriptedAnswer::html("<html><body>" + body + "</body></html>"); }

class QLHostileInputTest : public quillon_test::QLShownBannerTest {
 protected:
  // Loads and waits until the load is over; the last event the delegate heard.
  std::string load() {
    const size_t before = recorder->events.size();
    banner->loadRequest(quillon::QLRequest::request());
    settleTraffic();
    return recorder->events.size() > before ? recorder->events.back() : "none";
  }
  std::optional<std::string> cachedBuilder() {
    auto url = platform::URL::create("http://" + server.hostAndPort() + QuillonServer::kBuilderPath);
    return quillon::QLCachedFile::create({}, *url)->content();
  }
};

TEST_F(QLHostileInputTest, OnlyTheAdsOwnPagesSendMessages) {
  testkit::LoopbackServer elsewhere;  // another site: another origin
  const std::string leave = "qmsg:///open?a=app&u=tel%3A5550199";
  const std::string sends = "<script>window.location = '" + leave + "';</script>";
  elsewhere.setAnswer("/page", html(sends));
  server.http().setAnswer("/landing", html(sends));
  auto interstitial = quillon::QLInterstitial::create();
  struct Case {
    const char* name;
    std::function<void()> attempt;
    bool obeyed = false;
  };
  const Case cases[] = {
      {"the ad page itself, on the user's tap",
       [&] {
         server.setAdPage("<html><body><div id=\"go\" onclick=\"window.location = '" + leave + "';\">go</div></body></html>");
         load();
         ASSERT_TRUE(banner->webView()->tapLinkWithElementIdForTesting("go"));
       },
       true},
      {"a page of another site the ad went to in its place",
       [&] {
         server.setAdPage("<html><body><script>window.location = '" + elsewhere.url("/page") + "';</script></body></html>");
         load();
         ASSERT_TRUE(runUntil([&] { return elsewhere.requestCount() > 0 && !banner->webView()->isLoading(); }));
       }},
      {"an interstitial's page loading out of sight",
       [&] {
         server.setAdPage("<html><body>" + sends + "<script>window.location = 'tel:5550199';</script></body></html>");
         interstitial->loadRequest(quillon::QLRequest::request());
         ASSERT_TRUE(runUntil([&] { return interstitial->isReady(); }));
       }},
      {"a landing page in the in-app browser",
       [&] {
         server.setAdPage("<html><body><a href=\"" + server.url("/landing") + "\">go</a></body></html>");
         load();
         window->touchDownAtPoint({5, 5});
         window->touchUpAtPoint({5, 5});
         advance(0.2);
         ASSERT_TRUE(banner->webView()->tapLinkWithURLForTesting(server.url("/landing")));
         ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/landing").empty(); }));
         advance(1);
       }},
  };
  auto& app = platform::Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t opened = app.openedURLs().size();
    platform::LogCapture log;
    c.attempt();
    // The page's message comes once its page has arrived, over the network.
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(app.openedURLs().size(), opened + (c.obeyed ? 1 : 0));
    EXPECT_EQ(count(log.lines(), "<Quillon> Ignoring the page message " + leave), c.obeyed ? 0u : 1u);
    if (auto page = std::dynamic_pointer_cast<quillon::QLViewController>(root->presentedViewController())) {
      page->relinquishScreen();
      page.reset();
      advance(1);
    }
  }
}

TEST_F(QLHostileInputTest, PagesTheAdWentOnToGetNoBridgeEvenOnItsOwnSite) {
  // A page that asks, once it is on screen, what the bridge gives without a touch: which
  // applications are installed, and a value read from the page that opened it. It writes
  // down each answer it hears.
  const std::string asks =
      "<script>var heard = [];"
      "function QL_ReceiveMessage(name, data) {"
      "  if (name == 'openableURLs' || name == 'onshow' || name == 'onhide') heard.push(name);"
      "  if (name == 'evalJavaScriptInOpenerResult') heard.push(data.result);"
      "}"
      "setTimeout(function() {"
      "  window.location = 'qmsg:///canOpenURLs?urls=tel%3A1';"
      "  window.location = 'qmsg:///evalInOpener?js=secret';"
      "}, 1500);</script>";
  const std::string secret = "<script>var secret = 'from the ad';</script>";
  server.http().setAnswer("/landing", html(asks));
  const std::string refusal = "the page is not the ad's own.";
  auto shownPage = [&] {
    auto page = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(root->presentedViewController());
    return page ? std::shared_ptr<platform::WebView>(page->webView()) : nullptr;
  };
  auto interstitial = quillon::QLInterstitial::create();
  // The ad page opens `target` as its web-app page on the user's tap; the page it shows once
  // the asking page has arrived.
  server.http().setAnswer("/to-webapp", ScriptedAnswer::redirect(server.url("/webapp")));
  server.http().setAnswer("/webapp", html(asks));
  server.http().setAnswer("/webapp-leaves",
                          html("<script>setTimeout(function() { window.location = '" + server.url("/landing") +
                               "'; }, 0);</script>"));
  auto openWebAppByURL = [&](const std::string& target) {
    server.setAdPage("<html><body>" + secret + "<div id=\"go\" onclick=\"window.location = 'qmsg:///open?a=webapp&u=" +
                     quillon::QLNetworkUtilities::encodeURL(target) + "';\">go</div></body></html>");
    EXPECT_EQ(load(), "receive");
    EXPECT_TRUE(banner->webView()->tapLinkWithElementIdForTesting("go"));
    EXPECT_TRUE(runUntil([&] {
      return shownPage() && !shownPage()->isLoading() &&
             shownPage()->documentSourceForTesting().find("QL_ReceiveMessage") != std::string::npos;
    }));
    return shownPage();
  };
  struct Case {
    const char* name;
    // Brings the asking page up; answers the web view it is in.
    std::function<std::shared_ptr<platform::WebView>()> open;
    std::string heard;
  };
  const Case cases[] = {
      {"the landing page a tap opened in the web-app page, click trackers pending",
       [&] {
         server.setAdAnswer("<html><body>" + secret + "<a href=\"" + server.url("/landing") + "\">go</a></body></html>",
                            {{"X-Quillon-Click-Tracking-Urls", server.addClick("c")}});
         EXPECT_EQ(load(), "receive");
         window->touchDownAtPoint({5, 5});
         window->touchUpAtPoint({5, 5});
         advance(0.2);
         EXPECT_TRUE(banner->webView()->tapLinkWithURLForTesting(server.url("/landing")));
         EXPECT_TRUE(runUntil([&] { return shownPage() && !shownPage()->isLoading(); }));
         return shownPage();
       },
       ""},
      {"a page of the ad's site the banner went to by itself",
       [&] {
         server.setAdPage("<html><body>" + secret + "<script>setTimeout(function() { window.location = '" +
                          server.url("/landing") + "'; }, 0);</script></body></html>");
         EXPECT_EQ(load(), "receive");
         EXPECT_TRUE(runUntil([&] { return !server.requestsTo("/landing").empty() && !banner->webView()->isLoading(); }));
         return std::shared_ptr<platform::WebView>(banner->webView());
       },
       ""},
      {"the interstitial's own markup in the web-app page",
       [&] {
         server.setAdPage("<html><body>" + asks + "</body></html>");
         interstitial->loadRequest(quillon::QLRequest::request());
         EXPECT_TRUE(runUntil([&] { return interstitial->isReady(); }));
         interstitial->presentFromRootViewController(root);
         EXPECT_TRUE(runUntil([&] { return shownPage() && !shownPage()->isLoading(); }));
         return shownPage();
       },
       "onshow,openableURLs"},
      {"the ad's own web-app page it asked for by URL, through a redirect",
       [&] { return openWebAppByURL(server.url("/to-webapp")); }, "onshow,openableURLs,from the ad"},
      {"a page the ad's web-app page went on to", [&] { return openWebAppByURL(server.url("/webapp-leaves")); },
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::LogCapture log;
    auto view = c.open();
    ASSERT_TRUE(view);
    advance(2);
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("heard.join()"), c.heard);
    // Both asks refused, the refusal written down once.
    EXPECT_EQ(count(log.lines(), refusal), c.heard.empty() ? 1u : 0u);
    if (auto page = std::dynamic_pointer_cast<quillon::QLViewController>(root->presentedViewController())) {
      page->relinquishScreen();
      page.reset();
      advance(1);
      // Only a page with the bridge hears that it went.
      EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("heard.join()"),
                c.heard.empty() ? c.heard : c.heard + ",onhide");
      advance(2);
    }
  }
}

TEST_F(QLHostileInputTest, TheClientsDownloadsKeepTheLastCleanUserAgent) {
  platform::WebView::setUserAgent("Game/1.0 (clean)");
  ASSERT_EQ(load(), "receive");
  const std::string bad[] = {"Game/1.0\r\nX-Injected: 1", "Game/1.0\nX-Injected: 1", "Game/1.0\x7f",
                             "Game/1.0 \xc2\x85 next", std::string("Game/1.0\0X", 10)};
  for (const auto& agent : bad) {
    SCOPED_TRACE(::testing::PrintToString(agent));
    platform::LogCapture log;
    // The page's navigation presents the user agent the client learns from.
    platform::URLRequest request(server.url("/elsewhere"));
    request.setValueForHTTPHeaderField(agent, "User-Agent");
    banner->webView()->injectNavigationForTesting(request, platform::WebViewNavigationType::Other);
    banner->webView()->injectNavigationForTesting(request, platform::WebViewNavigationType::Other);
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(count(log.lines(), "<Quillon> Ignoring a user agent with control characters"), 1u);
    // The next download of the client's own: the builder script, once a day.
    server.http().clearRequests();
    advance(86401);
    ASSERT_EQ(load(), "receive");
    auto scripts = server.requestsTo(QuillonServer::kBuilderPath);
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0].header("User-Agent"), "Game/1.0 (clean)");
  }
}

TEST_F(QLHostileInputTest, PageMessagesDoNotPassForOtherNotifications) {
  // Names the platform, the client itself and another client post on the same center.
  const std::string names[] = {"UIApplicationDidEnterBackgroundNotification", "QLViewControllerWillPresentFullScreen",
                               "onClickAd"};
  std::string script;
  for (const auto& name : names) script += "window.location = 'qmsg:///" + name + "';";
  server.setAdAnswer("<html><body><script>" + script + "</script></body></html>", {{"X-Quillon-Refresh-Rate", "30"}});
  std::vector<std::string> heard;
  for (const auto& name : names)
    platform::NotificationCenter::defaultCenter().addObserver(
        this, name, nullptr, [&](const platform::Notification& n) { heard.push_back(n.name); });
  platform::LogCapture log;
  ASSERT_EQ(load(), "receive");
  ASSERT_TRUE(settleTraffic());
  EXPECT_TRUE(heard.empty());
  for (const auto& name : names)
    EXPECT_EQ(count(log.lines(), "<Quillon> Ignoring the page message qmsg:///" + name + ":"), 1u) << name;
  // Neither a background nor a full-screen page was believed: the refresh comes.
  advance(30);
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 2u);
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

TEST_F(QLHostileInputTest, SettingsThatAreNoNumberChangeNothing) {
  // The interstitial hears the settings of every shown ad page, here the banner's.
  auto interstitial = quillon::QLInterstitial::create();
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  defaults.setObjectForKey(platform::Value("kept"), "host_setting");
  for (const char* value : {"nan", "inf", "-inf", "1e999"}) {
    SCOPED_TRACE(value);
    server.setAdPage(std::string("<html><body><script>window.location = 'qmsg:///settings?applicationTimeout=") + value +
                     "';</script></body></html>");
    platform::LogCapture log;
    ASSERT_EQ(load(), "receive");
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(count(log.lines(), "<Quillon> Ignoring the time-out " + std::string(value)), 1u);
    EXPECT_EQ(defaults.doubleForKey("applicationTimeout"), 5.0);
  }
  // What the host stored reads back from disk as it was.
  defaults.synchronize();
  defaults.reloadForTesting();
  EXPECT_EQ(defaults.objectForKey("host_setting"), platform::Value("kept"));
}

TEST_F(QLHostileInputTest, TheTakeoverTimeoutTakesSecondsUpToItsCeilingFromPagesAndAnswers) {
  auto interstitial = quillon::QLInterstitial::create();  // hears the shown banner's settings
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  auto fromPage = [&](const std::string& value) {
    server.setAdPage("<html><body><script>window.location = 'qmsg:///settings?applicationTimeout=" + value +
                     "';</script></body></html>");
  };
  auto fromAnswer = [&](const std::string& value) {
    server.setAdAnswer("<html><body>ad</body></html>", {{"X-Quillon-Interstitial-Timeout", value}});
  };
  struct Case {
    const char* value;
    std::optional<double> stored;  // none: refused, the time-out stays as it was
  };
  // Zero or less is the server turning takeovers off; past the ceiling, or no number, is refused.
  const Case cases[] = {{"12", 12},     {"-1", -1},      {"0", 0},     {"1e300", {}}, {"31", {}},
                        {"0.5", 0.5},   {"soon", {}},    {"1", 1},     {"30", 30},    {"-0", 0},
                        {"30.01", {}},  {"-1e300", -1e300}};
  for (const auto& sender : {std::pair{"a page", std::function<void(const std::string&)>(fromPage)},
                             std::pair{"the ad answer", std::function<void(const std::string&)>(fromAnswer)}}) {
    defaults.setDoubleForKey(7, "applicationTimeout");
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(sender.first) + " sending " + c.value);
      const double before = defaults.doubleForKey("applicationTimeout");
      sender.second(c.value);
      platform::LogCapture log;
      ASSERT_EQ(load(), "receive");
      ASSERT_TRUE(settleTraffic());
      EXPECT_EQ(defaults.doubleForKey("applicationTimeout"), c.stored.value_or(before));
      EXPECT_EQ(count(log.lines(), "<Quillon> Ignoring the time-out " + std::string(c.value) + " from " + sender.first),
                c.stored ? 0u : 1u);
    }
  }
}

TEST_F(QLHostileInputTest, PagesAndBuilderScriptsAsLargeAsTheWebViewTakesLoad) {
  ASSERT_EQ(load(), "receive");
  const auto builder = cachedBuilder();
  ASSERT_TRUE(builder);
  const uint64_t cap = platform::kWebViewMaximumContentLength;
  // Markup and script padded to `size` bytes with a comment, so the page stays cheap to run.
  auto page = [](size_t size) {
    std::string text = "<html><body>large<!--";
    text.append(size - text.size() - 17, 'p');
    return text + "--></body></html>";
  };
  auto script = [&](size_t size) {
    std::string text = *builder + "\n/*";
    text.append(size - text.size() - 2, 's');
    return text + "*/";
  };
  struct Case {
    const char* name;
    std::optional<std::string> ad, builderScript;
    std::string outcome;
    bool failedDownload;
  };
  const Case cases[] = {
      {"an ad page of 2 MiB", page(2 << 20), {}, "receive", false},
      {"an ad page of just the web view's cap", page(cap), {}, "receive", false},
      {"an ad page a byte over it", page(cap + 1), {}, "fail 2", true},
      {"a builder script of 1.5 MiB", {}, script(3 << 19), "receive", false},
      // The kept copy builds in its place.
      {"a builder script a byte over the cap", {}, script(cap + 1), "receive", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::LogCapture log;
    server.setAdPage(c.ad.value_or("<html><body>small</body></html>"));
    if (c.builderScript) {
      advance(86401);  // the script's daily check
      server.http().setAnswer(QuillonServer::kBuilderPath, ScriptedAnswer::text(*c.builderScript));
    }
    EXPECT_EQ(load(), c.outcome);
    EXPECT_EQ(count(log.lines(), "failed: resource exceeds maximum size"), c.failedDownload ? 1u : 0u);
    if (c.outcome == "receive") {
      EXPECT_NE(banner->webView()->documentSourceForTesting().find(c.ad ? "large" : "small"), std::string::npos);
    }
    if (c.builderScript) {
      EXPECT_EQ(cachedBuilder(), c.failedDownload ? *builder : *c.builderScript);
      advance(86401);
      server.http().setAnswer(QuillonServer::kBuilderPath, ScriptedAnswer::text(*builder));
      EXPECT_EQ(load(), "receive");
    }
  }
}

TEST_F(QLHostileInputTest, HostileAnswersFailOnceAndTheBannerGoesOn) {
  const bool guardWorks = testkit::shortenScriptTimeLimit();
  ASSERT_EQ(load(), "receive");
  const auto builder = cachedBuilder();
  ASSERT_TRUE(builder);
  const std::string oversized(platform::kWebViewMaximumContentLength + 1, ' ');
  const std::string tooLarge = "failed: resource exceeds maximum size";
  auto chunked = ScriptedAnswer::text(oversized);
  chunked.chunked = true;
  chunked.chunkSize = 256 * 1024;
  struct Case {
    const char* name;
    // What the server answers next for the ad page or, at the script's daily check, for the
    // builder script.
    std::optional<ScriptedAnswer> ad, script;
    std::string outcome;
    std::string logged;
    bool keepsScript = true;
    std::function<void()> then = [] {};
  };
  std::string impressions;
  for (int i = 0; i < 40; ++i) impressions += server.impressionURL(std::to_string(i)) + " ";
  auto impressionHits = [&] {
    size_t hits = 0;
    for (int i = 0; i < 40; ++i) hits += server.requestsTo("/impression/" + std::to_string(i)).size();
    return hits;
  };
  auto withTrackers = ScriptedAnswer::text("<html><body>tracked</body></html>");
  withTrackers.headers = {{"Content-Type", "text/html"}, {"X-Quillon-Tracking-Urls", impressions}};
  const Case cases[] = {
      {"an ad page declaring more than the client takes", ScriptedAnswer::text(oversized), {}, "fail 2",
       tooLarge},
      {"an oversized ad page in chunks", chunked, {}, "fail 2", tooLarge},
      {"an ad page redirected to itself for ever", ScriptedAnswer::redirect(server.url(QuillonServer::kAdPath)), {},
       "fail 2", "<Quillon> The download of " + server.url(QuillonServer::kAdPath)},
      {"an ad page whose script never ends", html("<script>for (;;) {}</script>"), {}, guardWorks ? "receive" : "skip",
       "web view: a page script ran past its time limit"},
      {"an ad answer naming more trackers than the ad may fetch", withTrackers, {}, "receive",
       "<Quillon> This ad has started all the tracking requests it may; the rest are dropped.", true,
       [&] {
         ASSERT_TRUE(settleTraffic());
         EXPECT_EQ(impressionHits(), platform::RequestBudget::kDefaultLimit);
       }},
      {"an oversized builder script: the kept copy builds", {}, ScriptedAnswer::text(oversized), "receive",
       tooLarge},
      {"an ad URL whose host climbs out of the caches folder", {},
       ScriptedAnswer::text("function QL_buildAdURL(p) { window.location = 'qmsg:///loadAdURL?url=' + "
                            "encodeURIComponent('http://../quillon/ad.html'); }"),
       "fail 2", "<Quillon> The download of http://../quillon/ad.html failed:", false},
      {"format directives from the builder", {},
       ScriptedAnswer::text("function QL_buildAdURL(p) { window.location = 'qmsg:///invalidRequest?reason=%25n%25s%25x%25@'; }"),
       "fail 0", "%n%s%x%@", false},
  };
  const auto library = platform::FileManager::contentsOfDirectoryAtPath(platform::Sandbox::library());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.outcome == "skip") continue;
    platform::LogCapture log;
    if (c.ad) server.http().setAnswer(QuillonServer::kAdPath, *c.ad);
    if (c.script) {
      advance(86401);
      server.http().setAnswer(QuillonServer::kBuilderPath, *c.script);
    }
    EXPECT_EQ(load(), c.outcome);
    EXPECT_EQ(count(log.lines(), c.logged), 1u);
    if (c.keepsScript) {
      EXPECT_EQ(cachedBuilder(), builder);
    }
    EXPECT_EQ(platform::FileManager::contentsOfDirectoryAtPath(platform::Sandbox::library()), library);
    c.then();

    server.setAdPage("<html><body>next</body></html>");
    if (c.script) {
      advance(86401);
      server.http().setAnswer(QuillonServer::kBuilderPath, ScriptedAnswer::text(*builder));
    }
    EXPECT_EQ(load(), "receive");
  }

  // A builder that never answers: the load times out, once, and the banner still takes loads.
  if (!guardWorks) return;
  advance(86401);
  server.http().setAnswer(QuillonServer::kBuilderPath, ScriptedAnswer::text("for (;;) {}"));
  platform::LogCapture log;
  banner->loadRequest(quillon::QLRequest::request());
  ASSERT_TRUE(runUntil([&] { return count(log.lines(), "web view: a page script ran past its time limit") == 1; }));
  advance(quillon::QLConfiguration::current().loadTimeout + 1);
  ASSERT_EQ(recorder->events.back(), "fail 5");
  EXPECT_EQ(count(log.lines(), "<Quillon> The ad request timed out."), 1u);
  banner->loadRequest(quillon::QLRequest::request());
  EXPECT_TRUE(runUntil([&] { return count(log.lines(), "web view: a page script ran past its time limit") == 2; }));
}

}  // namespace
