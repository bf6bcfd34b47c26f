#include "analytics/OATracker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "OAGlobalStore.h"
#include "OATestSupport.h"
#include "platform/log.h"
#include "testing/analytics_collector.h"
#include "testing/sandbox_test.h"

namespace analytics {
namespace {

using test::SQLitePeer;
using testkit::AnalyticsCollector;

using Counts = std::pair<unsigned, unsigned>;  // (dispatched, failed)

class DelegateRecorder : public OATrackerDelegate {
 public:
  std::vector<Counts> reports;
  std::function<void()> onReport;
  void trackerDispatchDidCompleteEventsDispatchedEventsFailedDispatch(OATracker&, unsigned ok,
                                                                      unsigned failed) override {
    reports.emplace_back(ok, failed);
    if (onReport) onReport();
  }
};

class OATrackerTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    tracker = OATracker::sharedTracker();
    OATracker::setCollector({collector.host(), collector.port()});
  }
  void start(int32_t period = 0, const std::string& account = "OA-1234-5") {
    tracker->startTrackerWithAccountIDDispatchPeriodDelegate(account, period, delegate);
  }
  bool event(const std::string& action, std::optional<platform::Error>* error = nullptr) {
    return tracker->trackEventActionLabelValueWithError("c", action, std::nullopt, -1, error);
  }
  OAGlobalStore::TrackerIDs ids() const { return {tracker->accountID(), tracker->sessionID(), tracker->visitorID()}; }
  // Dispatches and lets the dispatch end: virtual time moves over a back-off or a silent
  // collector only once the answers on their way have been taken in. Call it with no period
  // timer running, or a new dispatch may start meanwhile.
  void dispatchAndSettle() {
    tracker->dispatch();
    EXPECT_TRUE(advanceUntil([&] { return tracker->inFlightForTesting() == 0; }, 1000));
  }
  // The delegate has heard its n-th report once the traffic has settled.
  bool reported(size_t n) { return settleTraffic() && delegate->reports.size() >= n; }
  // Dispatches and checks the delegate's n-th report.
  bool sent(size_t n) { return tracker->dispatch() && reported(n); }
  std::vector<std::string> collectedActions() {
    std::vector<std::string> out;
    for (const auto& hit : collector.hits()) out.push_back(hit.isPageview() ? *hit.param("ovap") : hit.event()->action);
    return out;
  }
  // Back to a well-behaved collector with no connection left over.
  void behave() {
    collector.setCloseAfterAnswers(0);
    collector.setStallAfter(std::nullopt);
    collector.setStatus(200);
    collector.setStyle(AnalyticsCollector::Style::Normal);
    collector.setWriteSize(0);
    collector.setChunked(false);
    collector.setRefusal(nullptr, 400);
    collector.closeConnections();
  }
  void emptyStore() { SQLitePeer(test::storePath()).exec("DELETE FROM events"); }
  AnalyticsCollector collector;
  std::shared_ptr<OATracker> tracker;
  std::shared_ptr<DelegateRecorder> delegate = std::make_shared<DelegateRecorder>();
};

TEST_F(OATrackerTest, InputChecksAndErrorCodes) {
  using Text = std::optional<std::string>;
  // A page view's path is its action; a code of nullopt means accepted.
  struct Case { const char* name; bool started, pageview; Text category, action, label; std::optional<long> code; };
  const Text none;
  const Case cases[] = {
      {"page view before start", false, true, none, "/home", none, 0xBADA55},
      {"event before start", false, false, "c", "a", none, 0xBADA55},
      {"path without slash", true, true, none, "home", none, 0xBADE7A9},
      {"empty path", true, true, none, "", none, 0xBADE7A9},
      {"no path", true, true, none, none, none, 0xBADE7A9},
      {"path", true, true, none, "/home", none, std::nullopt},
      {"no category", true, false, none, "a", none, 0xBADE7A9},
      {"no action", true, false, "c", none, "l", 0xBADE7A9},
      {"no label", true, false, "c", "a", none, std::nullopt},
      {"label", true, false, "c", "a", "l", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.started != tracker->isStarted()) c.started ? start() : tracker->stopTracker();
    std::optional<platform::Error> error = platform::Error{"stale", 1, {}};
    EXPECT_EQ(c.pageview ? tracker->trackPageviewWithError(c.action, &error)
                         : tracker->trackEventActionLabelValueWithError(c.category, c.action, c.label, 1, &error),
              !c.code);
    if (c.code) {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->domain, "com.orvane.analytics.OATrackerError");
      EXPECT_EQ(error->code, *c.code);
      EXPECT_TRUE(error->userInfo.isNull());
    } else {
      EXPECT_FALSE(error);
    }
  }
  EXPECT_EQ(tracker->storedEventsForTesting(), 3u);
}

TEST_F(OATrackerTest, NotStartedTrackerAnswersNothing) {
  EXPECT_FALSE(tracker->accountID());
  EXPECT_FALSE(tracker->visitorID());
  EXPECT_FALSE(tracker->sessionID());
  EXPECT_FALSE(tracker->dispatch());
  EXPECT_FALSE(tracker->getVisitorCustomVarAtIndex(1));
  std::optional<platform::Error> error;
  EXPECT_FALSE(tracker->setCustomVariableAtIndexNameValueWithError(1, "n", "v", &error));
  EXPECT_EQ(error->code, 0xBADA55);
  EXPECT_TRUE(OAGlobalStore::sharedGlobalStore().parameters(ids()).empty());
  start();
  auto parameters = OAGlobalStore::sharedGlobalStore().parameters(ids());
  EXPECT_EQ(parameters.keys(), (std::vector<std::string>{"oa_hid", "oa_sid", "oa_vid", "oa_fc", "oa_wpids"}));
  EXPECT_EQ(parameters.get("oa_hid").string(), OAGlobalStore::sharedGlobalStore().hitID());
  EXPECT_EQ(parameters.get("oa_sid").string(), *tracker->sessionID());
  EXPECT_EQ(parameters.get("oa_vid").string(), *tracker->visitorID());
  EXPECT_EQ(parameters.get("oa_fc").integerValue(), 1);
  EXPECT_EQ(parameters.get("oa_wpids").string(), "OA-1234-5");
}

// The store keeps a thousand hits at most. Every hit that passes the input checks counts
// against the 500 of a start, stored or not: a full store makes each of them fail cheaply, so
// the limit shows without storing 500 hits.
// Every hit of a start is stored until the 500th; the 501st is refused by the tracker, not
// the store. The store takes its 1000th hit and refuses the 1001st.
TEST_F(OATrackerTest, AThousandStoredAndFiveHundredPerStart) {
  start();
  tracker->stopTracker();
  SQLitePeer peer(test::storePath());
  peer.insertEvents(500);
  // One sync per stored hit instead of several: five hundred of them are stored here.
  peer.exec("PRAGMA journal_mode=WAL");
  start();
  std::optional<platform::Error> error;
  for (int i = 1; i <= 500; ++i) {
    ASSERT_TRUE(event("hit " + std::to_string(i), &error)) << i;
    ASSERT_FALSE(error) << i;
  }
  EXPECT_EQ(tracker->storedEventsForTesting(), 1000u);
  EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM events WHERE action = 'hit 500'"), 1);
  for (int i = 501; i <= 502; ++i) {
    EXPECT_FALSE(event("over", &error));
    EXPECT_EQ(error->domain, kOATrackerErrorDomain) << i;
    EXPECT_EQ(error->code, static_cast<int32_t>(0xBAD5704Eu)) << i;
  }
  tracker->stopTracker();
  start();
  EXPECT_FALSE(event("the 1001st", &error));
  EXPECT_EQ(error->domain, "com.orvane.analytics.OAPersistentEventStoreError");
  EXPECT_EQ(error->code, 0xBADE7A9);
  EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM events"), 1000);
  tracker->stopTracker();
  emptyStore();
  start();
  EXPECT_TRUE(event("counted afresh", &error));
  EXPECT_FALSE(error);
}

TEST_F(OATrackerTest, CustomVariableChecks) {
  start();
  const std::string n64(64, 'n'), n65(65, 'n');
  std::string e64, e65;
  for (int i = 0; i < 64; ++i) e64 += "\xc3\xa9";  // é: 64 characters, 128 bytes
  e65 = e64 + "\xc3\xa9";
  struct Case { int index; std::optional<std::string> name, value; int scope; bool accepted; };
  const Case cases[] = {
      {1, "n", "v", 1, true},           {5, "n", "v", 3, true},   {0, "n", "v", 3, false},
      {6, "n", "v", 3, false},          {-1, "n", "v", 3, false}, {1, n64, "v", 3, true},
      {1, n65, "v", 3, false},          {1, "n", n64, 3, true},   {1, "n", n65, 3, false},
      {1, e64, e64, 2, true},           {1, e65, "v", 2, false},  {1, std::nullopt, "v", 3, false},
      {1, "n", std::nullopt, 3, false}, {1, "n", "v", 0, false},  {1, "n", "v", 4, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.index << " " << c.name.value_or("nil").size() << " "
                                      << c.value.value_or("nil").size() << " " << c.scope);
    std::optional<platform::Error> error;
    EXPECT_EQ(tracker->setCustomVariableAtIndexNameValueScopeWithError(c.index, c.name, c.value, c.scope, &error),
              c.accepted);
    if (!c.accepted) { EXPECT_EQ(error->code, 0xBADE7A9); }
  }
}

TEST_F(OATrackerTest, CustomVariablesGoWithTheNextHitOnly) {
  start();
  ASSERT_TRUE(tracker->setCustomVariableAtIndexNameValueScopeWithError(1, "kind", "gold", 1));
  ASSERT_TRUE(tracker->setCustomVariableAtIndexNameValueWithError(2, "lvl", "3"));
  ASSERT_TRUE(event("with variables"));
  ASSERT_TRUE(event("without"));
  EXPECT_EQ(tracker->getVisitorCustomVarAtIndex(1), "gold");
  EXPECT_EQ(tracker->getVisitorCustomVarAtIndex(2), std::nullopt);  // page scope
  EXPECT_EQ(tracker->getVisitorCustomVarAtIndex(0), std::nullopt);
  ASSERT_TRUE(sent(1));
  auto hits = collector.hits();
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(*hits[0].param("ovae"), "5(c*with variables)8(1!kind*2!lvl)9(1!gold*2!3)11(1!1*2!3)");
  EXPECT_EQ(*hits[1].param("ovae"), "5(c*without)");
  // The next launch's first hit carries the visitor's variable.
  tracker->stopTracker();
  start();
  ASSERT_TRUE(tracker->trackPageviewWithError("/again"));
  ASSERT_TRUE(sent(2));
  EXPECT_EQ(*collector.hits().back().raw("ovae"), "8(1!kind)9(1!gold)11(1!1)");
}

TEST_F(OATrackerTest, DispatchPeriodTimerAndPowerSave) {
  start(10);
  EXPECT_EQ(tracker->dispatchPeriod(), 10);
  for (auto a : {"a1", "a2", "a3"}) ASSERT_TRUE(event(a));
  advance(9.9);
  runUntilIdle();
  EXPECT_EQ(collector.requests().size(), 0u);
  advance(0.2);  // t = 10.1: the timer's first dispatch
  ASSERT_TRUE(reported(1));
  EXPECT_EQ(delegate->reports.back(), Counts(3, 0));
  EXPECT_EQ(tracker->storedEventsForTesting(), 0u);
  advance(10);  // t = 20.1: nothing stored, the timer stops
  runUntilIdle();
  EXPECT_EQ(delegate->reports.size(), 1u);
  advance(5);  // t = 25.1: a hit starts the timer again, from now
  ASSERT_TRUE(event("a4"));
  advance(5.5);  // t = 30.6: a timer left running would have fired at 30.1
  runUntilIdle();
  EXPECT_EQ(collector.requests().size(), 3u);
  advance(4.6);  // t = 35.2
  ASSERT_TRUE(reported(2));
  EXPECT_EQ(collectedActions(), (std::vector<std::string>{"a1", "a2", "a3", "a4"}));
  tracker->setDispatchPeriod(0);  // no timer any more
  ASSERT_TRUE(event("a5"));
  advance(100);
  runUntilIdle();
  EXPECT_EQ(tracker->storedEventsForTesting(), 1u);
}

TEST_F(OATrackerTest, OneDispatchAtATimeAndTheDelegateHearsTheCounts) {
  start();
  EXPECT_FALSE(tracker->dispatch());  // nothing stored
  collector.setStallAfter(1);
  for (auto a : {"a1", "a2", "a3"}) ASSERT_TRUE(event(a));
  ASSERT_TRUE(tracker->dispatch());
  EXPECT_FALSE(tracker->dispatch());
  EXPECT_EQ(tracker->inFlightForTesting(), 3u);
  ASSERT_TRUE(settleTraffic());
  ASSERT_EQ(tracker->storedEventsForTesting(), 2u);  // the answered hit taken in, then silence
  advance(kOADefaultResponseTimeout);
  ASSERT_TRUE(reported(1));
  EXPECT_EQ(delegate->reports[0], Counts(1, 2));
  EXPECT_EQ(tracker->inFlightForTesting(), 0u);
  EXPECT_TRUE(OATracker::getPipelineMode());
  collector.setStallAfter(std::nullopt);
  ASSERT_TRUE(sent(2));
  EXPECT_EQ(delegate->reports[1], Counts(2, 0));
  EXPECT_EQ(collectedActions(), (std::vector<std::string>{"a1", "a2", "a3"}));
  // Pipeline mode is the one last reported; a new start's dispatcher pipelines again.
  collector.setStyle(AnalyticsCollector::Style::HTTP10);
  ASSERT_TRUE(event("a4"));
  ASSERT_TRUE(sent(3));
  EXPECT_FALSE(OATracker::getPipelineMode());
  tracker->stopTracker();
  collector.setStyle(AnalyticsCollector::Style::Normal);
  start();
  ASSERT_TRUE(event("a5"));
  ASSERT_TRUE(sent(4));
  EXPECT_TRUE(OATracker::getPipelineMode());
}

TEST_F(OATrackerTest, SecondStartKeepsStoreDispatcherAndItsAccount) {
  start(0, "OA-1-1");
  ASSERT_TRUE(event("a1"));
  const auto visitor = tracker->visitorID();
  start(0, "OA-2-2");
  EXPECT_EQ(tracker->accountID(), "OA-2-2");
  EXPECT_EQ(tracker->visitorID(), visitor);
  ASSERT_TRUE(event("a2"));
  ASSERT_TRUE(sent(1));
  auto hits = collector.hits();
  ASSERT_EQ(hits.size(), 2u);
  for (const auto& hit : hits) EXPECT_EQ(*hit.param("ovaac"), "OA-1-1");
}

// Stopping while a delayed start, an open connection or a time-out is pending must leave
// nothing that later reaches the released store or dispatcher; the hits stay stored.
TEST_F(OATrackerTest, StopWithWorkPending) {
  struct Case { const char* name; std::function<void()> prepare; };
  const Case cases[] = {
      {"back-off pending", [&] {
         collector.setStatus(503);
         ASSERT_TRUE(tracker->dispatch());
         ASSERT_TRUE(reported(delegate->reports.size() + 1));
         ASSERT_TRUE(tracker->dispatch());  // waits up to 2 s before connecting
       }},
      {"answer pending", [&] {
         collector.setStallAfter(0);
         const size_t before = collector.requests().size();
         ASSERT_TRUE(tracker->dispatch());
         ASSERT_TRUE(settleTraffic());
         ASSERT_EQ(collector.requests().size(), before + 2);  // both hits sent, none answered
       }},
      {"timer pending", [&] { tracker->setDispatchPeriod(10); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start();
    for (auto a : {"a1", "a2"}) ASSERT_TRUE(event(a));
    c.prepare();
    const size_t reports = delegate->reports.size();
    const size_t requests = collector.requests().size();
    tracker->stopTracker();
    advance(kOADefaultResponseTimeout + 300);
    runUntilIdle();
    EXPECT_EQ(delegate->reports.size(), reports);
    EXPECT_EQ(collector.requests().size(), requests);
    behave();
    start();
    EXPECT_EQ(tracker->storedEventsForTesting(), 2u);
    tracker->stopTracker();
    emptyStore();
  }
}

// Whatever the collector does, every hit reaches it once it behaves again. (A hit may arrive
// twice: the collector can take a request whose answer the tracker never reads.)
// Every hit reaches the collector once: hits answered 200 behind a refusal, or with a chunked
// body, are not sent again.
TEST_F(OATrackerTest, MisbehavingCollectorLosesNothing) {
  struct Case { const char* name; std::function<void()> misbehave; };
  auto everySeventh = [&] {
    auto seen = std::make_shared<std::atomic<int>>(0);
    collector.setRefusal([seen](const testkit::AnalyticsHit&) { return ++*seen % 7 == 0; }, 500);
  };
  const Case cases[] = {
      {"answers 500 to every seventh request", everySeventh},
      {"sends chunked bodies", [&] { collector.setChunked(true); }},
      {"closes after 5 answers", [&] { collector.setCloseAfterAnswers(5); }},
      {"stalls after 4 answers", [&] { collector.setStallAfter(4); }},
      {"answers 503", [&] { collector.setStatus(503); }},
      {"answers without reason phrase", [&] { collector.setStyle(AnalyticsCollector::Style::NoReasonPhrase); }},
      {"splits answers into bytes", [&] { collector.setWriteSize(1); }},
  };
  start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = collector.hitCount();
    c.misbehave();
    std::set<std::string> names;
    for (int i = 1; i <= 12; ++i) {
      const std::string name = std::string(c.name) + " " + std::to_string(i);
      names.insert(name);
      ASSERT_TRUE(event(name));
    }
    for (int round = 0; round < 2; ++round) dispatchAndSettle();
    behave();
    for (int i = 0; i < 20 && tracker->storedEventsForTesting() > 0; ++i) dispatchAndSettle();
    ASSERT_EQ(tracker->storedEventsForTesting(), 0u);
    EXPECT_EQ(SQLitePeer(test::storePath()).scalar("SELECT COUNT(*) FROM events"), 0);
    auto hits = collector.hits();
    std::multiset<std::string> got;
    for (size_t i = before; i < hits.size(); ++i) got.insert(hits[i].event()->action);
    EXPECT_EQ(got, std::multiset<std::string>(names.begin(), names.end()));
  }
}

TEST_F(OATrackerTest, DelegateMayStopTheTrackerInsideItsCallback) {
  start();
  delegate->onReport = [&] { tracker->stopTracker(); };
  ASSERT_TRUE(event("a1"));
  ASSERT_TRUE(sent(1));
  EXPECT_FALSE(tracker->isStarted());
  runUntilIdle();
}

// A wrong path or a proxy (401, 403, 404, 407) refuses every hit: none is lost. A hit the
// collector itself refuses (400, 414) leaves the store only after three refusals in separate
// dispatches, with a log line, so it cannot hold its place for ever.
TEST_F(OATrackerTest, OnlyAHitRefusedInThreeDispatchesLeavesTheStore) {
  struct Case { int status; bool everyHit; std::vector<unsigned> storedAfterEachDispatch; };
  const Case cases[] = {
      {401, true, {3, 3, 3, 3}}, {403, true, {3, 3, 3, 3}}, {404, true, {3, 3, 3, 3}},
      {407, true, {3, 3, 3, 3}}, {400, false, {1, 1, 0, 0}}, {414, false, {1, 1, 0, 0}},
  };
  start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    const size_t before = collector.hitCount();
    const bool everyHit = c.everyHit;
    collector.setRefusal([everyHit](const testkit::AnalyticsHit& h) { return everyHit || h.event()->action == "bad"; },
                         c.status);
    for (auto a : {"ok1", "bad", "ok2"}) ASSERT_TRUE(event(a));
    platform::LogCapture log;
    for (unsigned stored : c.storedAfterEachDispatch) {
      dispatchAndSettle();
      EXPECT_EQ(tracker->storedEventsForTesting(), stored);
    }
    EXPECT_EQ(log.contains("hit refused with status " + std::to_string(c.status) + " in 3 dispatches, dropped"),
              !c.everyHit);
    behave();
    dispatchAndSettle();
    EXPECT_EQ(tracker->storedEventsForTesting(), 0u);
    auto actions = collectedActions();
    std::vector<std::string> expected = {"ok1", "bad", "ok2"};
    if (!c.everyHit) expected = {"ok1", "ok2"};
    EXPECT_EQ(std::vector<std::string>(actions.begin() + before, actions.end()), expected);
  }
}

// Hits deleted behind the store's back are not counted twice when the collector answers.
TEST_F(OATrackerTest, AnsweredHitsAlreadyGoneChangeNoCounter) {
  start();
  for (auto a : {"a1", "a2"}) ASSERT_TRUE(event(a));
  const std::string path = test::storePath();
  collector.setRefusal([path](const testkit::AnalyticsHit&) {
    SQLitePeer(path).exec("DELETE FROM events");
    return false;
  }, 400);
  ASSERT_TRUE(sent(1));
  EXPECT_EQ(delegate->reports[0], Counts(0, 2));
  EXPECT_EQ(tracker->storedEventsForTesting(), 2u);
}

// A thread may start the tracker, track, begin a dispatch and end. Its loop ends with it; the
// tracker must not be left on it: the timer and the hits go on from the main loop.
TEST_F(OATrackerTest, StartingThreadMayEnd) {
  std::thread([&] {
    auto shared = OATracker::sharedTracker();
    shared->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 10, delegate);
    EXPECT_TRUE(shared->trackPageviewWithError("/from/worker"));
    EXPECT_TRUE(shared->dispatch());  // under way when the thread ends
  }).join();
  ASSERT_TRUE(tracker->isStarted());
  EXPECT_EQ(tracker->inFlightForTesting(), 0u);
  ASSERT_TRUE(event("a1"));
  advance(10);
  EXPECT_EQ(tracker->storedEventsForTesting(), 0u);
  EXPECT_EQ(tracker->inFlightForTesting(), 0u);
  EXPECT_EQ(collectedActions(), (std::vector<std::string>{"/from/worker", "a1"}));
  EXPECT_EQ(delegate->reports, std::vector<Counts>{Counts(2, 0)});
  EXPECT_EQ(collector.requests().size(), 2u);
}

TEST_F(OATrackerTest, SeveralThreadsTrackingAtOnceLoseNothing) {
  start();
  constexpr int kThreads = 4, kHitsEach = 12;
  std::atomic<int> running{kThreads}, refused{0};
  std::vector<std::thread> threads;
  std::multiset<std::string> expected;  // odd hits are page views, whose path is collected
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kHitsEach; ++i) {
      expected.insert((i % 2 ? "/t" : "t") + std::to_string(t) + "-" + std::to_string(i));
    }
    threads.emplace_back([&, t] {
      auto shared = OATracker::sharedTracker();
      for (int i = 0; i < kHitsEach; ++i) {
        std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
        bool ok = i % 2 ? shared->trackPageviewWithError("/" + name)
                        : shared->trackEventActionLabelValueWithError("c", name, std::nullopt, i);
        if (!ok) ++refused;
        if (i % 10 == 0) shared->setCustomVariableAtIndexNameValueWithError(1 + t, "t", name);
      }
      --running;
    });
  }
  // The main loop keeps dispatching while they track.
  while (running > 0) {
    tracker->dispatch();
    ASSERT_TRUE(settleTraffic());
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(refused, 0);
  ASSERT_TRUE(settleTraffic());
  ASSERT_EQ(tracker->inFlightForTesting(), 0u);
  while (tracker->storedEventsForTesting() > 0) {
    ASSERT_TRUE(tracker->dispatch());
    ASSERT_TRUE(settleTraffic());
    ASSERT_EQ(tracker->inFlightForTesting(), 0u);
  }
  auto actions = collectedActions();
  EXPECT_EQ(std::multiset<std::string>(actions.begin(), actions.end()), expected);
}

}  // namespace
}  // namespace analytics
