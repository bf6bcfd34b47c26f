// Every fetch the client makes is bounded, through its real request path over loopback: an
// ad page or a tracker that trickles, stalls, grows past the size cap or redirects for ever
// fails once and frees its connection, the banner goes on to its next load, and one ad
// cannot make the client fetch more than its tracking budget allows.
#include <gtest/gtest.h>

#include <algorithm>

#include "QLTestPrinters.h"

#include "QLConfiguration.h"
#include "QLShownBannerTest.h"
#include "QLWebAppViewController.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/request_budget.h"
#include "platform/url_connection.h"
#include "platform/web_view.h"
#include "quillon/QLBannerView.h"
#include "quillon/QLInterstitial.h"
#include "testing/quillon_server.h"

namespace {

using platform::URLConnection;
using quillon::QLBannerView;
using testkit::QuillonServer;
using testkit::ScriptedAnswer;

size_t count(const std::vector<std::string>& lines, const std::string& fragment) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                           [&](const std::string& l) { return l.find(fragment) != std::string::npos; }));
}

class QLRequestBoundsTest : public quillon_test::QLShownBannerTest {
 protected:
  size_t adRequests() { return server.requestsTo(QuillonServer::kAdPath).size(); }
  // The requests whose path starts with `prefix`.
  size_t hits(const std::string& prefix) {
    size_t total = 0;
    for (const auto& r : server.requests()) total += r.path.rfind(prefix, 0) == 0 ? 1 : 0;
    return total;
  }
};

TEST_F(QLRequestBoundsTest, EndlessOversizedAndLoopingAnswersFailOnceAndTheBannerGoesOn) {
  const size_t idle = URLConnection::liveCount();
  const std::string endless(4096, 'x');
  ScriptedAnswer trickling = ScriptedAnswer::text(endless);
  trickling.trickle = std::chrono::milliseconds(5);
  ScriptedAnswer stalled;
  stalled.stall = true;
  const ScriptedAnswer oversized = ScriptedAnswer::text(std::string(platform::kWebViewMaximumContentLength + 1, ' '));
  ScriptedAnswer oversizedInChunks = oversized;
  oversizedInChunks.chunked = true;
  oversizedInChunks.chunkSize = 64 * 1024;
  const std::string tracker = server.url("/tracker");
  const ScriptedAnswer looping = ScriptedAnswer::redirect(tracker);

  struct Case {
    const char* name;
    // The answer for the ad page, or else for the ad's one impression tracker.
    bool adPage;
    ScriptedAnswer answer;
    // Manual-clock seconds after which the fetch must be over.
    double bound;
    std::string outcome;
    std::string logged;
  };
  const double loadTimeout = quillon::QLConfiguration::current().loadTimeout;
  const double deadline = platform::kURLDefaultDeadlineInterval;
  const Case cases[] = {
      {"an ad page that trickles", true, trickling, loadTimeout, "fail 5", "<Quillon> The ad request timed out."},
      {"an ad page over the cap in chunks", true, oversizedInChunks, 0, "fail 2",
       "failed: resource exceeds maximum size"},
      {"a tracker that trickles", false, trickling, deadline, "receive",
       "<Quillon> The download of " + tracker + " failed: The request timed out."},
      {"a tracker that never answers", false, stalled, deadline, "receive",
       "<Quillon> The download of " + tracker + " failed: The request timed out."},
      {"a tracker that declares more than the cap", false, oversized, 0, "receive",
       "<Quillon> The download of " + tracker + " failed: resource exceeds maximum size"},
      {"a tracker that redirects to itself", false, looping, 0, "receive", "<Quillon> The download of " + tracker},
  };
  // A first, sound ad sets the refresh interval every later load keeps.
  server.setAdAnswer("<html><body>first</body></html>", {{"X-Quillon-Refresh-Rate", "100"}});
  banner->loadRequest(quillon::QLRequest::request());
  ASSERT_TRUE(runUntil([&] { return recorder->events == std::vector<std::string>{"receive"}; }));

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::LogCapture log;
    recorder->events.clear();
    server.http().clearRequests();
    if (c.adPage) {
      server.http().setAnswer(QuillonServer::kAdPath, c.answer);
    } else {
      server.http().setAnswer("/tracker", c.answer);
      server.setAdAnswer("<html><body>tracked</body></html>",
                         {{"X-Quillon-Tracking-Urls", tracker}, {"X-Quillon-Refresh-Rate", "100"}});
    }
    // The refresh timer starts this load; every bound below ends before the next one.
    advance(100);
    ASSERT_EQ(adRequests(), 1u);
    if (!c.adPage) {
      ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/tracker").empty(); }));
    }
    runUntilIdle();
    const double waited = c.bound > 0 ? c.bound + 1 : 0;
    if (waited > 0) {
      // Bytes keep coming or the server keeps silent: nothing ends it before the bound.
      EXPECT_GT(URLConnection::liveCount(), idle);
      if (c.answer.trickle) {
        // A second at a time, a byte arriving between each: the connection is never idle, so
        // only a bound on the whole load can end it. With the rest of the traffic settled,
        // the loop's next wake-up is the next byte of the trickle.
        for (int s = 0; s < waited; ++s) {
          advance(1);
          if (URLConnection::liveCount() == idle) continue;
          ASSERT_TRUE(settleTraffic());
          ASSERT_EQ(mainLoop().runOnce(1.0), platform::RunLoop::RunResult::HandledSource) << "no byte came";
        }
      } else {
        advance(waited);
      }
    }
    ASSERT_TRUE(runUntil([&] { return URLConnection::liveCount() == idle && count(log.lines(), c.logged) > 0; }));
    runUntilIdle();
    EXPECT_EQ(recorder->events, std::vector<std::string>{c.outcome});
    EXPECT_EQ(count(log.lines(), c.logged), 1u);

    // Failed or not, the banner keeps its interval and the next ad comes.
    server.setAdAnswer("<html><body>next</body></html>", {{"X-Quillon-Refresh-Rate", "100"}});
    recorder->events.clear();
    // A failed load counts the interval from its failure, a shown ad from its page's arrival.
    advance(c.adPage ? 100 : 100 - waited);
    ASSERT_TRUE(runUntil([&] { return recorder->events == std::vector<std::string>{"receive"}; }));
    EXPECT_EQ(adRequests(), 2u);
  }
}

TEST_F(QLRequestBoundsTest, OneAdSpendsItsTrackingBudgetAndTheNextAdHasItsOwn) {
  const size_t limit = platform::RequestBudget::kDefaultLimit;
  // The page pings a new URL every tenth of a second, far past what one ad may ask.
  const std::string page =
      "<html><body><script>var n = 0; function ping() { window.location = 'qmsg:///httpTrack?u=' + "
      "encodeURIComponent('" + server.url("/impression/") + "' + n); n++; if (n < " + std::to_string(limit + 20) +
      ") setTimeout(ping, 100); } ping();</script></body></html>";
  const std::string budgetLine = "<Quillon> This ad has started all the tracking requests it may; the rest are dropped.";
  for (int ad = 0; ad < 2; ++ad) {
    SCOPED_TRACE(ad);
    platform::LogCapture log;
    server.http().clearRequests();
    server.setAdAnswer(page, {});
    banner->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return recorder->events.size() == static_cast<size_t>(ad + 1); }));
    for (size_t i = 0; i < limit + 20; ++i) {
      // Each ping finishes before the next replaces it.
      ASSERT_TRUE(settleTraffic());
      ASSERT_EQ(hits("/impression/"), std::min(i + 1, limit)) << i;
      advance(0.1);
    }
    EXPECT_EQ(hits("/impression/"), limit);
    EXPECT_EQ(count(log.lines(), budgetLine), 1u);
  }
}

TEST_F(QLRequestBoundsTest, AnInterstitialsImpressionsCountOnceAndLeaveItsClickTrackersTheirShare) {
  const size_t limit = platform::RequestBudget::kDefaultLimit;
  // Impressions that leave the ad two requests of its budget.
  const size_t impressions = limit - 2;
  std::string trackers;
  for (size_t i = 0; i < impressions; ++i) trackers += server.impressionURL("i" + std::to_string(i)) + " ";
  // On the user's tap the page opens another application, which fetches the click tracker.
  const std::string page =
      "<html><body><div id=\"go\" onclick=\"window.location = 'qmsg:///open?a=app&u=tel%3A5550100';\">go</div>"
      "</body></html>";
  const std::string budgetLine = "<Quillon> This ad has started all the tracking requests it may; the rest are dropped.";
  auto& app = platform::Application::sharedApplication();
  for (int presentations : {1, 2}) {
    SCOPED_TRACE(presentations);
    server.http().clearRequests();
    platform::LogCapture log;
    server.setAdAnswer(page, {{"X-Quillon-Tracking-Urls", trackers},
                              {"X-Quillon-Click-Tracking-Urls", server.impressionURL("click-tracker")}});
    auto interstitial = quillon::QLInterstitial::create();
    interstitial->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return interstitial->isReady(); }));
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(hits("/impression/i"), impressions);

    // Each showing tracks every impression again.
    std::shared_ptr<quillon::QLWebAppViewController> shown;
    for (int p = 0; p < presentations; ++p) {
      if (shown) {
        shown->relinquishScreen();
        advance(1);
      }
      interstitial->presentFromRootViewController(root);
      advance(1);
      shown = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(root->presentedViewController());
      ASSERT_TRUE(shown);
      ASSERT_TRUE(settleTraffic());
      EXPECT_EQ(hits("/impression/i"), impressions * static_cast<size_t>(p + 2));
    }

    // The user's tap: the application opens and the click tracker is fetched.
    const size_t opened = app.openedURLs().size();
    ASSERT_TRUE(runUntil([&] { return !shown->webView()->isLoading(); }));
    ASSERT_TRUE(shown->webView()->tapLinkWithElementIdForTesting("go"));
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(app.openedURLs().size(), opened + 1);
    EXPECT_EQ(hits("/impression/click-tracker"), 1u);
    EXPECT_EQ(count(log.lines(), budgetLine), 0u);

    // The page's own pings still stop at the budget: one left of it.
    for (int i = 0; i < 5; ++i) {
      shown->webView()->stringByEvaluatingJavaScriptFromString("window.location = 'qmsg:///httpTrack?u=" +
                                                               server.impressionURL("ping" + std::to_string(i)) + "';");
      ASSERT_TRUE(settleTraffic());
    }
    EXPECT_EQ(hits("/impression/ping"), 1u);
    EXPECT_EQ(count(log.lines(), budgetLine), 1u);
    shown->relinquishScreen();
    shown.reset();
    advance(3);
  }
}

}  // namespace
