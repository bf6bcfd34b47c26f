// Analytics, reachability and the URL opener.
#include <gtest/gtest.h>

#include <thread>

#include "CZAPIRequest.h"
#include "CZAnalytics.h"
#include "CZReachability.h"
#include "CZURLOpener.h"
#include "platform/application.h"
#include "platform/notification_center.h"
#include "platform/reachability.h"
#include "platform/singleton.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"
#include "CZSessionTest.h"

namespace {

using cadenzo::CZReachability;
using platform::Reachability;
using platform::Value;
using testkit::ScriptedAnswer;

TEST(CZReachabilityRules, StatusFromFlags) {
  const uint32_t R = Reachability::kReachable, C = Reachability::kConnectionRequired,
                 T = Reachability::kConnectionOnTraffic, D = Reachability::kConnectionOnDemand,
                 I = Reachability::kInterventionRequired, W = Reachability::kIsWWAN, L = Reachability::kIsDirect;
  struct Case { uint32_t flags; long internet; long local; };
  for (Case c : std::vector<Case>{{0, 0, 0},
                                  {R, 1, 0},
                                  {R | C, 0, 0},
                                  {R | C | T, 1, 0}, {R | C | D, 1, 0},
                                  {R | C | T | I, 0, 0}, {R | C | D | I, 0, 0},
                                  {R | W, 2, 0}, {R | W | C, 2, 0}, {W, 0, 0},
                                  {R | L, 1, 1}, {L, 0, 0},
                                  {C | T, 0, 0}}) {
    EXPECT_EQ(CZReachability::networkStatusForFlags(c.flags), c.internet) << std::hex << c.flags;
    EXPECT_EQ(CZReachability::localWiFiStatusForFlags(c.flags), c.local) << std::hex << c.flags;
  }
}

class ServicesTest : public cztest::CZSessionTest {};

TEST_F(ServicesTest, ReachabilityReadsThePlatformAndNotifiesChanges) {
  auto internet = CZReachability::reachabilityForInternetConnection();
  auto local = CZReachability::reachabilityForLocalWiFi();
  ASSERT_TRUE(internet && local);
  EXPECT_EQ(internet->currentReachabilityStatus(), cadenzo::CZReachableViaWiFi);
  EXPECT_EQ(local->currentReachabilityStatus(), cadenzo::CZReachableViaWiFi);
  Reachability::setNetwork(Reachability::Network::WWAN);
  EXPECT_EQ(internet->currentReachabilityStatus(), cadenzo::CZReachableViaWWAN);
  EXPECT_EQ(local->currentReachabilityStatus(), cadenzo::CZNotReachable);
  Reachability::setFlags(Reachability::kReachable | Reachability::kConnectionRequired);
  EXPECT_TRUE(internet->connectionRequired());
  Reachability::setFlagsReadable(false);
  EXPECT_EQ(internet->currentReachabilityStatus(), cadenzo::CZNotReachable);
  EXPECT_FALSE(internet->connectionRequired());
  Reachability::setFlagsReadable(true);
  EXPECT_FALSE(CZReachability::reachabilityWithAddress("not an address"));
  EXPECT_TRUE(CZReachability::reachabilityWithHostName("api.example"));
  Reachability::setNetwork(Reachability::Network::WiFi);
  int heard = 0;
  platform::NotificationCenter::defaultCenter().addObserver(
      this, cadenzo::kNetworkReachabilityChangedNotification, nullptr, [&](const platform::Notification& n) {
        EXPECT_EQ(n.object, internet.get());
        ++heard;
      });
  ASSERT_TRUE(internet->startNotifier());
  Reachability::setNetwork(Reachability::Network::None);
  settleTraffic();
  ASSERT_EQ(heard, 1);
  EXPECT_EQ(internet->currentReachabilityStatus(), cadenzo::CZNotReachable);
  internet->stopNotifier();
  Reachability::setNetwork(Reachability::Network::WiFi);
  runUntilIdle();
  EXPECT_EQ(heard, 1);
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

// Notes what the opener told and what the application had opened by then.
class OpenerDelegate : public cadenzo::CZUrlOpenerDelegate {
 public:
  void urlWillOpen(const std::string& url) override {
    told.push_back(url);
    openedBefore.push_back(platform::Application::sharedApplication().openedURLs().size());
  }
  std::vector<std::string> told;
  std::vector<size_t> openedBefore;
};

TEST_F(ServicesTest, OpenerEndsOnTheLastURLOfAChain) {
  auto& http = server->http();
  http.setRedirectChain({"/c/1", "/c/2", "/c/3"}, 302, ScriptedAnswer::text("landing"));
  http.setAnswer("/plain", ScriptedAnswer::text("landing"));
  http.setAnswer("/to-store", ScriptedAnswer::redirect("itms-apps://apps.store.example/app/id42"));
  http.setAnswer("/hop", ScriptedAnswer::redirect(server->url("/to-store"), 301));
  const std::string deadURL = [] { return testkit::LoopbackServer().url("/nothing-here"); }();
  struct Case { std::string url; std::string opened; size_t loads; };
  std::vector<Case> cases = {
      {"itms-apps://apps.store.example/app/id7", "itms-apps://apps.store.example/app/id7", 0},
      {server->url("/plain"), server->url("/plain"), 1},
      {server->url("/c/1"), server->url("/c/3"), 3},
      // The loader cannot fetch the store scheme: the load fails, the store still opens.
      {server->url("/hop"), "itms-apps://apps.store.example/app/id42", 2},
      // Nothing answers: the click still ends, on the URL it was given.
      {deadURL, deadURL, 0},
  };
  auto& app = platform::Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    auto delegate = std::make_shared<OpenerDelegate>();
    http.clearRequests();
    size_t openedBefore = app.openedURLs().size();
    {
      // Nobody keeps the opener: it must keep itself alive until it has opened something.
      auto opener = cadenzo::CZURLOpener::openerWithDelegate(delegate);
      opener->open(c.url);
    }
    settleTraffic();
    ASSERT_GT(app.openedURLs().size(), openedBefore);
    EXPECT_EQ(app.openedURLs().back(), c.opened);
    EXPECT_EQ(delegate->told, std::vector<std::string>{c.opened});
    EXPECT_EQ(delegate->openedBefore, std::vector<size_t>{openedBefore});
    EXPECT_EQ(http.requestCount(), c.loads);
  }
  EXPECT_EQ(platform::URLConnection::liveCount(), 0u);
}

// A landing server that never finishes cannot hold a click: the load ends by its deadline
// (not before) and the click ends on the address it was given; a landing page over the cap
// ends it at once.
TEST_F(ServicesTest, OpenerEndsAClickWhoseLandingPageNeverFinishes) {
  auto& http = server->http();
  ScriptedAnswer trickling = ScriptedAnswer::text(std::string(100000, 'x'));
  trickling.trickle = std::chrono::milliseconds(5);
  ScriptedAnswer stalled;
  stalled.stall = true;
  http.setAnswer("/trickle", trickling);
  http.setAnswer("/stall", stalled);
  http.setAnswer("/huge", ScriptedAnswer::text(std::string(platform::kURLDefaultMaximumContentLength + 1, 'x')));
  struct Case { std::string path; bool needsTheClock; };
  const Case cases[] = {{"/trickle", true}, {"/stall", true}, {"/huge", false}};
  auto& app = platform::Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string url = server->url(c.path);
    auto delegate = std::make_shared<OpenerDelegate>();
    const size_t openedBefore = app.openedURLs().size();
    const size_t loadsBefore = http.requestsTo(c.path).size();
    cadenzo::CZURLOpener::openerWithDelegate(delegate)->open(url);
    settleTraffic();
    ASSERT_GT(http.requestsTo(c.path).size(), loadsBefore);
    if (c.needsTheClock) {
      advance(platform::kURLDefaultDeadlineInterval - 1);
      EXPECT_EQ(app.openedURLs().size(), openedBefore);
      advance(1);
    }
    settleTraffic();
    ASSERT_GT(app.openedURLs().size(), openedBefore);
    EXPECT_EQ(app.openedURLs().back(), url);
    EXPECT_EQ(delegate->told, std::vector<std::string>{url});
    EXPECT_EQ(platform::URLConnection::liveCount(), 0u);
  }
}

class AnalyticsTest : public cztest::CZSessionTest {
 protected:
  std::shared_ptr<cadenzo::CZAnalytics> analytics() {
    auto a = cadenzo::CZAnalytics::sharedAnalytics();
    EXPECT_TRUE(a);
    return a;
  }
  void waitForCalls(size_t n) {
    settleTraffic();
    ASSERT_GE(server->callCount(), n);
    ASSERT_EQ(analytics()->connectionForTesting()->activeConnectionCountForTesting(), 0u);
  }
  static size_t queuedEvents() {
    return platform::UserDefaults::standardUserDefaults().arrayForKey("CZQueuedRequests-CZAnalytics").size();
  }
  // Every singleton and fact starts again; the defaults are read back from disk. The server
  // answers normally and has heard nothing yet. The application configures the client again.
  void relaunch() {
    server->clearScripts();
    server->clearCalls();
    platform::resetForTesting();
    configureFacade();
  }
};

TEST_F(AnalyticsTest, EventsCarryOnlyTheGivenKeys) {
  auto a = analytics();
  a->trackEvent("start");
  a->trackEventWithValue("score", Value(1250));
  a->trackEventWithMetadata("menu", Value(platform::Dictionary{{"screen", Value("options")}}));
  a->trackEventWithValueAndMetadata("ratio", Value(0.5), Value(platform::Dictionary{{"k", Value(1)}}));
  waitForCalls(4);
  std::map<std::string, platform::Value> byKey;
  for (const auto& call : server->callsTo("event")) {
    EXPECT_TRUE(call.accepted()) << call.problems.front();
    byKey[call.body["key"].string()] = call.body;
  }
  ASSERT_EQ(byKey.size(), 4u);
  EXPECT_FALSE(byKey["start"].dictionary().contains("value"));
  EXPECT_FALSE(byKey["start"].dictionary().contains("meta"));
  EXPECT_EQ(byKey["score"]["value"], Value("1250"));
  EXPECT_FALSE(byKey["score"].dictionary().contains("meta"));
  EXPECT_EQ(byKey["menu"]["meta"]["screen"], Value("options"));
  EXPECT_EQ(byKey["ratio"]["value"], Value("0.5"));
  EXPECT_EQ(byKey["ratio"]["meta"]["k"].integerValue(), 1);
}

TEST_F(AnalyticsTest, PurchasesFormatPriceAndQuantity) {
  struct Case { double price; long quantity; const char* priceText; const char* quantityText; };
  const std::vector<Case> cases = {{0.99, 1, "0.99", "1"}, {1, 3, "1.00", "3"}, {12.5, 2, "12.50", "2"}};
  auto a = analytics();
  for (const auto& c : cases)
    a->recordPaymentTransactionForProductMeta({c.quantity}, {"com.game.music", "Music pack", c.price, "EUR"}, {});
  waitForCalls(cases.size());
  std::map<std::string, Value> byPrice;  // requests may cross on the wire
  for (const auto& call : server->callsTo("purchase")) {
    EXPECT_TRUE(call.accepted()) << call.problems.front();
    byPrice[call.body["price"].string()] = call.body;
  }
  ASSERT_EQ(byPrice.size(), cases.size());
  for (const auto& c : cases) {
    const Value& body = byPrice[c.priceText];
    EXPECT_EQ(body["quantity"], Value(c.quantityText)) << c.priceText;
    EXPECT_EQ(std::tie(body["currency"], body["title"], body["product_id"]),
              std::make_tuple(Value("EUR"), Value("Music pack"), Value("com.game.music")));
    EXPECT_FALSE(body.dictionary().contains("meta"));
  }
}

TEST_F(AnalyticsTest, WithoutCredentialsNothingIsSent) {
  facade->setAppSignature(std::nullopt);
  auto a = analytics();
  a->trackEvent("start");
  a->recordPaymentTransactionForProductMeta({1}, {"p", "t", 1, "USD"}, std::nullopt);
  runUntilIdle();
  EXPECT_EQ(server->callCount(), 0u);
  EXPECT_EQ(queuedEvents(), 0u);
}

TEST_F(AnalyticsTest, QueuedEventsComeBackWithTheBodyTheyFirstHad) {
  // Metadata a property list cannot hold as such: a null, a control character, a decimal
  // whose exact text matters.
  std::vector<std::pair<std::string, Value>> metas = {
      {"null", Value(platform::Dictionary{{"level", Value()}})},
      {"control", Value(platform::Dictionary{{"name", Value("tab\x01end")}})},
      {"decimal", Value(platform::Dictionary{{"score", Value::decimal("0.1")}})},
      {"plain", Value(platform::Dictionary{{"n", Value(3)}, {"s", Value("x")}})},
  };
  server->scriptAlways("event", ScriptedAnswer::text("unavailable", 503));
  auto a = analytics();
  for (const auto& [key, meta] : metas) a->trackEventWithMetadata(key, meta);
  a->trackEventWithValue("value", Value(3));
  a->recordPaymentTransactionForProductMeta({1}, {"p", "t", 1, "USD"}, std::nullopt);  // not kept for a resend
  waitForCalls(metas.size() + 2);
  std::map<std::string, std::string> firstBodies;
  for (const auto& call : server->callsTo("event")) firstBodies[call.body["key"].string()] = call.request.body;
  ASSERT_EQ(firstBodies.size(), metas.size() + 1);
  EXPECT_EQ(queuedEvents(), metas.size() + 1);
  a.reset();
  relaunch();
  EXPECT_EQ(queuedEvents(), metas.size() + 1);
  analytics();  // created: resends the queue once, signed afresh
  waitForCalls(metas.size() + 1);
  auto resent = server->callsTo("event");
  ASSERT_EQ(resent.size(), metas.size() + 1);
  EXPECT_EQ(server->callsTo("purchase").size(), 0u);
  EXPECT_EQ(queuedEvents(), 0u);
  for (const auto& call : resent) {
    SCOPED_TRACE(call.body["key"].string());
    EXPECT_TRUE(call.accepted()) << call.problems.front();
    EXPECT_EQ(call.request.body, firstBodies[call.body["key"].string()]);
    if (call.body["key"] != Value("null")) continue;
    const Value* level = call.body["meta"].dictionary().find("level");
    ASSERT_TRUE(level);
    EXPECT_TRUE(level->isNull());
  }
}

// A resent event stays on disk until its answer comes, wherever that answer finds it, and is
// sent once per launch.
TEST_F(AnalyticsTest, AResentEventStaysOnDiskUntilItsAnswerSettlesIt) {
  struct Case { const char* name; ScriptedAnswer answer; bool processEnds; size_t left; };
  const Case cases[] = {
      {"ends_in_flight", ScriptedAnswer::json("{\"status\":200}"), true, 1},
      {"refused_again", ScriptedAnswer::text("unavailable", 503), false, 1},
      {"accepted", ScriptedAnswer::json("{\"status\":200}"), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    relaunch();
    platform::UserDefaults::standardUserDefaults().removeObjectForKey("CZQueuedRequests-CZAnalytics");
    server->scriptNext("event", ScriptedAnswer::text("unavailable", 503));
    analytics()->trackEvent(c.name);
    waitForCalls(1);
    ASSERT_EQ(queuedEvents(), 1u);
    relaunch();
    ScriptedAnswer held = c.answer;
    held.hold = std::make_shared<testkit::AnswerHold>();
    server->scriptNext("event", held);
    auto connection = analytics()->connectionForTesting();  // created: resends the queue
    settleTraffic();
    ASSERT_EQ(server->callsTo("event").size(), 1u);
    EXPECT_EQ(queuedEvents(), 1u);
    connection->retryDeliveries();  // the entry is on its way already
    settleTraffic();
    EXPECT_EQ(server->callsTo("event").size(), 1u);
    if (!c.processEnds) {
      held.hold->release();
      settleTraffic();
      ASSERT_EQ(connection->activeConnectionCountForTesting(), 0u);
    }
    EXPECT_EQ(queuedEvents(), c.left);
    relaunch();
    held.hold->release();
    analytics();
    waitForCalls(c.left);
    auto resent = server->callsTo("event");
    ASSERT_EQ(resent.size(), c.left);
    for (const auto& call : resent) {
      EXPECT_TRUE(call.accepted()) << call.problems.front();
      EXPECT_EQ(call.body["key"], Value(c.name));
    }
    EXPECT_EQ(queuedEvents(), 0u);
  }
}

TEST_F(AnalyticsTest, CreatedOffTheMainThreadItResendsOnTheMainLoop) {
  server->scriptAlways("event", ScriptedAnswer::text("unavailable", 503));
  analytics()->trackEvent("level_won");
  waitForCalls(1);
  relaunch();
  ASSERT_EQ(queuedEvents(), 1u);
  std::shared_ptr<cadenzo::CZAnalytics> created;
  std::thread worker([&] { created = cadenzo::CZAnalytics::sharedAnalytics(); });
  worker.join();
  ASSERT_TRUE(created);
  waitForCalls(1);
  // The watchdog of the resent call comes due on the main loop; it must find nothing to do.
  advance(30);
  auto calls = server->callsTo("event");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].accepted()) << calls[0].problems.front();
  EXPECT_EQ(queuedEvents(), 0u);
}

}  // namespace
