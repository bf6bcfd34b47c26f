// The whole path of an HTML interstitial over loopback: the facade caches it from the
// Cadenzo sandbox server, shows it through the default view controller, and the ad page's
// own script closes it or clicks through.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CZAPIConnection.h"
#include "CZDefaultViewController.h"
#include "CZWebView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/window.h"
#include "testing/cadenzo_server.h"
#include "CZHTMLAdTest.h"
#include "CZViewTestSupport.h"

namespace {

using cadenzo::CZImpression;
using platform::Value;
using czviews_test::contains;

using HTMLInterstitialFlowTest = cztest::HTMLAdTest;

// The host sets credentials and a delegate and nothing else (as this fixture does): the
// client's own views and controller show the ad.
TEST_F(HTMLInterstitialFlowTest, AnAdIsShownWithoutAnyViewSetUpByTheHost) {
  server->setInterstitial("Level", answer("var idle = true;"));
  auto view = cacheAndShow("Level");
  ASSERT_TRUE(view);
  EXPECT_TRUE(contains(window, view));
  EXPECT_TRUE(controller->viewIsVisible());
  EXPECT_EQ(listener->timeline, cztest::Timeline{"didCacheInterstitial:Level"});
}

TEST_F(HTMLInterstitialFlowTest, ThePageClosesTheAdAndTheViewLeavesAfterItsExit) {
  server->setInterstitial("Level", answer("location.href = 'cadenzo://close';", ",\"animation\":5"));
  auto view = cacheAndShow("Level");
  ASSERT_TRUE(view);
  EXPECT_EQ(listener->timeline, cztest::Timeline{"didCacheInterstitial:Level"});
  settleTraffic();
  ASSERT_EQ(server->callsTo("show").size(), 1u);
  EXPECT_EQ(server->callsTo("show")[0].body["ad_id"], Value("ad-77"));
  // On the window above the dimming background, entering with the answer's slide.
  auto background = controller->backgroundView();
  ASSERT_TRUE(contains(window, background));
  EXPECT_EQ(window->subviews().back(), view);
  EXPECT_TRUE(view->layer()->animationForKey("position"));
  EXPECT_EQ(impression->state(), cadenzo::CZImpressionStateShown);
  advance(5);
  settleTraffic();
  ASSERT_EQ(listener->timeline.size(), 3u);
  EXPECT_EQ(listener->timeline, (cztest::Timeline{"didCacheInterstitial:Level", "didDismissInterstitial:Level",
                                                  "didCloseInterstitial:Level"}));
  EXPECT_EQ(impression->state(), cadenzo::CZImpressionStateDismissing);
  EXPECT_TRUE(contains(window, view));
  advance(0.3);
  runUntilIdle();
  EXPECT_FALSE(contains(window, view));
  EXPECT_EQ(impression->state(), cadenzo::CZImpressionStateIdle);
  EXPECT_TRUE(background->isHidden());
  // The web view failed to load the command afterwards: no failed load for a shown ad.
  EXPECT_EQ(listener->timeline.size(), 3u);
  EXPECT_FALSE(controller->viewIsVisible());
}

TEST_F(HTMLInterstitialFlowTest, ThePageClicksThroughWithItsData) {
  platform::Application::sharedApplication().setOpenURLAnswer(true);
  server->http().setAnswer("/store", testkit::ScriptedAnswer::text("store page"));
  server->setInterstitial(
      "Level", answer("location.href = 'cadenzo://link/' + encodeURIComponent('" + server->url("/store") +
                      "') + '/' + encodeURIComponent(JSON.stringify({cgn: 'from-page', creative: 'cr-9', type: "
                      "'interstitial', more_type: 'none'}));"));
  auto view = cacheAndShow("Level");
  ASSERT_TRUE(view);
  settleTraffic();
  ASSERT_EQ(server->callsTo("show").size(), 1u);
  userTouchesTheAdBeforeItsScript();
  settleTraffic();
  ASSERT_EQ(server->callsTo("click").size(), 1u);
  EXPECT_EQ(listener->timeline, (cztest::Timeline{"didCacheInterstitial:Level", "didDismissInterstitial:Level",
                                                  "didClickInterstitial:Level"}));
  auto click = server->callsTo("click")[0];
  EXPECT_TRUE(click.accepted()) << (click.problems.empty() ? "" : click.problems[0]);
  // The page's "cgn" wins over the answer's.
  for (const auto& [key, value] : std::vector<std::pair<std::string, Value>>{
           {"to", Value("t-1")}, {"ad_id", Value("ad-77")}, {"cgn", Value("from-page")}, {"creative", Value("cr-9")},
           {"type", Value("interstitial")}, {"more_type", Value("none")}, {"in_app_store", Value(false)}})
    EXPECT_EQ(click.body[key], value) << key;
  // The overlay is up until the opener hands the page's URL to the application.
  auto& app = platform::Application::sharedApplication();
  settleTraffic();
  ASSERT_FALSE(app.openedURLs().empty());
  EXPECT_EQ(app.openedURLs().back(), server->url("/store"));
  EXPECT_FALSE(controller->loadingViewIsVisible());
  advance(0.3);
  runUntilIdle();
  EXPECT_FALSE(contains(window, view));
  EXPECT_TRUE(controller->backgroundView()->isHidden());
}

TEST_F(HTMLInterstitialFlowTest, ASecondAdWhileOneIsOnScreenIsRefusedAndStaysCached) {
  server->setInterstitial("Level", answer("location.href = 'cadenzo://close';"));
  server->setInterstitial("Shop", answer("var idle = true;"));
  facade->cacheInterstitial("Shop");
  settleTraffic();
  ASSERT_TRUE(facade->hasCachedInterstitial("Shop"));
  auto first = cacheAndShow("Level");
  ASSERT_TRUE(first);
  auto waiting = facade->cachedInterstitialForTesting("Shop");
  ASSERT_TRUE(waiting);
  facade->showInterstitial("Shop");
  EXPECT_EQ(facade->visibleImpression(), impression);
  EXPECT_TRUE(facade->hasCachedInterstitial("Shop"));
  EXPECT_EQ(waiting->state(), cadenzo::CZImpressionStateCached);
  EXPECT_FALSE(contains(window, std::dynamic_pointer_cast<platform::View>(waiting->view())));
  runUntilIdle();
  settleTraffic();
  ASSERT_EQ(facade->connectionForTesting()->activeConnectionCountForTesting(), 0);
  EXPECT_EQ(server->callsTo("show").size(), 1u);  // only the ad really shown
  // Once the first has gone, the second is shown and announced.
  advance(5);
  settleTraffic();
  ASSERT_FALSE(controller->viewIsVisible());
  advance(0.3);
  facade->showInterstitial("Shop");
  EXPECT_EQ(facade->visibleImpression(), waiting);
  EXPECT_TRUE(contains(window, std::dynamic_pointer_cast<platform::View>(waiting->view())));
  settleTraffic();
  ASSERT_EQ(server->callsTo("show").size(), 2u);
  EXPECT_EQ(listener->timeline, (cztest::Timeline{"didCacheInterstitial:Shop", "didCacheInterstitial:Level",
                                                  "didDismissInterstitial:Level", "didCloseInterstitial:Level"}));
}

// A cached ad's page keeps running behind the ad on screen; what it asks for must leave the
// shown ad, and what the delegate hears, alone.
TEST_F(HTMLInterstitialFlowTest, OnlyTheAdOnScreenCanCloseOrClickIt) {
  struct Case { const char* name; std::string script; };
  const Case cases[] = {
      {"close", "location.href = 'cadenzo://close';"},
      {"click", "location.href = 'cadenzo://link/' + encodeURIComponent('" + server->url("/target") + "');"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string waiting = std::string("Shop-") + c.name, shown = std::string("Level-") + c.name;
    server->setInterstitial(waiting, answer(c.script));
    server->setInterstitial(shown, answer("var idle = true;"));
    facade->cacheInterstitial(waiting);
    settleTraffic();
    ASSERT_TRUE(facade->hasCachedInterstitial(waiting));
    ASSERT_TRUE(cacheAndShow(shown));
    listener->timeline.clear();
    advance(5);
    runUntilIdle();
    EXPECT_TRUE(listener->timeline.empty());
    EXPECT_EQ(facade->visibleImpression(), impression);
    EXPECT_FALSE(controller->loadingViewIsVisible());
    platform::NotificationCenter::defaultCenter().postNotificationName(cadenzo::Cadenzo::kForceDismissViewNotification);
    EXPECT_EQ(listener->timeline, (cztest::Timeline{"didDismissInterstitial:" + shown, "didCloseInterstitial:" + shown}));
    advance(0.3);
    runUntilIdle();
  }
  EXPECT_TRUE(server->callsTo("click").empty());
  EXPECT_TRUE(platform::Application::sharedApplication().openedURLs().empty());
}

// The user taps the page's close twice, the second time while the ad leaves: the delegate
// hears both, the ad leaves once. A page closing again on its own as it leaves is not heard.
TEST_F(HTMLInterstitialFlowTest, ATapOnTheLeavingAdIsHeardAndThePageOnItsOwnIsNot) {
  struct Case { const char* name; std::string onTap; bool tapAgain; long closes; };
  const Case cases[] = {
      {"tapped again", "", true, 2},
      {"closes again on its own", "setTimeout(function(){ location.href = 'cadenzo://close'; }, 100);", false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    listener->timeline.clear();
    server->setInterstitial(c.name, "{\"status\":200,\"type\":\"html\",\"link\":\"" + server->url("/target") +
                                        "\",\"html\":\"<html><body><a id='end' href='cadenzo://close' onclick=\\\"" +
                                        c.onTap + "\\\">Close</a></body></html>\"}");
    auto view = cacheAndShow(c.name);
    ASSERT_TRUE(view);
    ASSERT_TRUE(view->tapLinkWithElementIdForTesting("end"));
    advance(0.1);
    ASSERT_TRUE(contains(window, view));
    ASSERT_TRUE(!c.tapAgain || view->tapLinkWithElementIdForTesting("end"));
    advance(0.4);
    runUntilIdle();
    EXPECT_EQ(impression->state(), cadenzo::CZImpressionStateIdle);  // left once
    for (const char* notice : {"didDismissInterstitial:", "didCloseInterstitial:"})
      EXPECT_EQ(std::count(listener->timeline.begin(), listener->timeline.end(), notice + std::string(c.name)), c.closes);
  }
}

// Pages that keep firing commands: after one touch the shown ad's first click counts and
// the clicks sent while it leaves do not; a cached ad's timer of closes is ignored; each
// refusal is said once.
TEST_F(HTMLInterstitialFlowTest, APageFiringCommandsOnATimerIsHeardOnce) {
  platform::LogCapture log;
  auto& app = platform::Application::sharedApplication();
  app.setOpenURLAnswer(true);
  server->http().setAnswer("/store", testkit::ScriptedAnswer::text("store page"));
  server->setInterstitial("Shop", answer("setInterval(function(){ location.href = 'cadenzo://close'; }, 20);"));
  server->setInterstitial("Level", answer("setInterval(function(){ location.href = 'cadenzo://link/' + "
                                          "encodeURIComponent('" + server->url("/store") + "'); }, 10);"));
  facade->cacheInterstitial("Shop");
  settleTraffic();
  ASSERT_TRUE(facade->hasCachedInterstitial("Shop"));
  ASSERT_TRUE(cacheAndShow("Level"));
  userTouchesTheAdBeforeItsScript();  // one touch: one click, one opening
  advance(0.3);
  settleTraffic();
  ASSERT_FALSE(app.openedURLs().empty());
  ASSERT_EQ(facade->connectionForTesting()->activeConnectionCountForTesting(), 0);
  EXPECT_EQ(server->callsTo("click").size(), 1u);
  EXPECT_EQ(app.openedURLs().size(), 1u);
  EXPECT_EQ(listener->timeline, (cztest::Timeline{"didCacheInterstitial:Shop", "didCacheInterstitial:Level",
                                                  "didDismissInterstitial:Level", "didClickInterstitial:Level"}));
  // The cached ad's closes are ignored by the facade, the shown ad's later clicks by its
  // view (the one touch was spent): each said once.
  const auto lines = log.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("not on screen") != std::string::npos; }),
            1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("without a touch") != std::string::npos; }),
            1);
}

// A page clicking on a timer acts for the user only after the user touched the shown ad:
// untouched it is refused (said once per page); one touch gives one click, one opening;
// an ad that is not on screen (cached and never shown, hidden, off its window) gets no
// touch at all, and clicks nothing.
TEST_F(HTMLInterstitialFlowTest, APageActsForTheUserOnlyAfterATouchOnTheShownAd) {
  platform::LogCapture log;
  auto& app = platform::Application::sharedApplication();
  app.setOpenURLAnswer(true);
  server->http().setAnswer("/store", testkit::ScriptedAnswer::text("store page"));
  const std::string clicking =
      "setInterval(function(){ location.href = 'cadenzo://link/' + encodeURIComponent('" + server->url("/store") +
      "'); }, 50);";
  enum class Where { Shown, Cached, Hidden, OffItsWindow };
  struct Case { const char* name; Where where; bool touched; size_t acts; };
  const Case cases[] = {
      {"shown, untouched", Where::Shown, false, 0},
      {"shown, one touch", Where::Shown, true, 1},
      {"cached, never shown", Where::Cached, true, 0},
      {"shown, then hidden", Where::Hidden, true, 0},
      {"shown, then off its window", Where::OffItsWindow, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    listener->timeline.clear();
    server->setInterstitial(c.name, answer(clicking));
    std::shared_ptr<cadenzo::CZWebView> view;
    if (c.where == Where::Cached) {
      facade->cacheInterstitial(c.name);
      settleTraffic();
      ASSERT_TRUE(facade->hasCachedInterstitial(c.name));
      view = std::dynamic_pointer_cast<cadenzo::CZWebView>(facade->cachedInterstitialForTesting(c.name)->view());
    } else {
      view = cacheAndShow(c.name);
    }
    ASSERT_TRUE(view);
    settleTraffic();
    ASSERT_EQ(facade->connectionForTesting()->activeConnectionCountForTesting(), 0);
    const size_t clicksBefore = server->callsTo("click").size();
    const size_t openedBefore = app.openedURLs().size();
    advance(5 - 0.5);
    if (c.where == Where::Hidden) view->setHidden(true);
    if (c.where == Where::OffItsWindow) view->removeFromSuperview();
    if (c.touched) {
      if (c.where == Where::Shown) {
        EXPECT_TRUE(window->tapAtPoint(platform::Point{160, 240}));
      } else {
        EXPECT_TRUE(view->tapLinkWithElementIdForTesting("play"));  // the finger finds no shown ad
      }
    }
    advance(0.5);
    advance(1.5);  // sixty clicks of the page
    settleTraffic();
    ASSERT_EQ(facade->connectionForTesting()->activeConnectionCountForTesting(), 0);
    if (c.acts) {
      settleTraffic();
      ASSERT_GT(app.openedURLs().size(), openedBefore);
    }
    runUntilIdle();
    EXPECT_EQ(server->callsTo("click").size() - clicksBefore, c.acts);
    EXPECT_EQ(app.openedURLs().size() - openedBefore, c.acts);
    EXPECT_EQ(std::count(listener->timeline.begin(), listener->timeline.end(),
                         std::string("didClickInterstitial:") + c.name),
              static_cast<long>(c.acts));
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("without a touch") != std::string::npos; }),
              1)
        << ::testing::PrintToString(lines);
    // Whatever is still up goes, as the host would take it down.
    if (facade->visibleImpression())
      platform::NotificationCenter::defaultCenter().postNotificationName(cadenzo::Cadenzo::kForceDismissViewNotification);
    advance(0.3);
    runUntilIdle();
  }
}

// A click opens web and store addresses only, also where a redirect chain ends; whatever
// else a page names is refused, and the overlay comes down all the same.
TEST_F(HTMLInterstitialFlowTest, APageClickOpensOnlyWebAndStoreAddresses) {
  auto& app = platform::Application::sharedApplication();
  app.registerOpenableScheme("zavrellion");
  const std::string store = "itms-apps://apps.store.example/app/id42";
  server->http().setAnswer("/to-call", testkit::ScriptedAnswer::redirect("tel:5551234"));
  server->http().setAnswer("/to-store", testkit::ScriptedAnswer::redirect(store));
  struct Case { const char* name; std::string target; std::optional<std::string> opened; };
  const Case cases[] = {
      {"script", "javascript:alert(1)", std::nullopt},
      {"file", "file:///etc/passwd", std::nullopt},
      {"call", "tel:5551234", std::nullopt},
      {"message", "sms:5551234", std::nullopt},
      {"data", "data:text/html,hi", std::nullopt},
      {"another application", "zavrellion://level/3", std::nullopt},
      {"redirect to a call", server->url("/to-call"), std::nullopt},
      {"store", store, store},
      {"redirect to the store", server->url("/to-store"), store},
  };
  size_t clicks = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server->setInterstitial(c.name, answer("location.href = 'cadenzo://link/' + encodeURIComponent('" + c.target + "');"));
    ASSERT_TRUE(cacheAndShow(c.name));
    const size_t openedBefore = app.openedURLs().size();
    letThePageClick(clicks);
    if (HasFatalFailure()) return;
    EXPECT_EQ(app.openedURLs().size(), openedBefore + (c.opened ? 1 : 0));
    if (c.opened && app.openedURLs().size() > openedBefore) {
      EXPECT_EQ(app.openedURLs().back(), *c.opened);
    }
    advance(0.3);
    runUntilIdle();
  }
}

TEST_F(HTMLInterstitialFlowTest, APageThatFailsAfterItWasShownIsNoFailedLoad) {
  // The page goes to a command nobody handles, which the web view cannot load.
  server->setInterstitial("Level", answer("location.href = 'cadenzo://unknown';"));
  auto view = cacheAndShow("Level");
  ASSERT_TRUE(view);
  advance(5);
  runUntilIdle();
  EXPECT_EQ(listener->timeline, cztest::Timeline{"didCacheInterstitial:Level"});
  EXPECT_TRUE(contains(window, view));
  EXPECT_EQ(impression->state(), cadenzo::CZImpressionStateShown);
  EXPECT_EQ(facade->visibleImpression(), impression);
}

}  // namespace
