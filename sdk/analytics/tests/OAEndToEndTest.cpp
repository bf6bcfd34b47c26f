// The tracker, its SQLite file and the collector on loopback, driven as the application does:
// hits tracked, the virtual clock moved through dispatch periods.
#include <gtest/gtest.h>

#include <set>

#include "analytics/OATracker.h"
#include "OATestSupport.h"
#include "testing/analytics_collector.h"
#include "testing/sandbox_test.h"

namespace analytics {
namespace {

using testing::AnalyticsCollector;

class OAEndToEndTest : public testing::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    tracker = OATracker::sharedTracker();
    OATracker::setCollector({collector.host(), collector.port()});
    tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 10, {});
  }
  std::vector<std::string> track(int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) {
      names.push_back("hit " + std::to_string(i));
      EXPECT_TRUE(tracker->trackEventActionLabelValueWithError("game", names.back(), "l", i));
    }
    return names;
  }
  // Lets the dispatch under way end: real I/O is given real time, and virtual time moves on
  // only while the loop waits for the clock (a back-off, a silent collector). Call it with
  // no period timer running, or a new dispatch may start meanwhile.
  void settle() {
    for (int i = 0; i < 200 && tracker->inFlightForTesting() > 0; ++i) {
      if (runUntil([&] { return tracker->inFlightForTesting() == 0; }, 0.05)) return;
      advance(5);
    }
  }
  int64_t rowsInFile() {
    return test::SQLitePeer(test::storePath()).scalar("SELECT COUNT(*) FROM events");
  }

  AnalyticsCollector collector;
  std::shared_ptr<OATracker> tracker;
};

TEST_F(OAEndToEndTest, FortyFiveHitsGoThirtyThenFifteenOnOneConnection) {
  auto names = track(45);
  EXPECT_EQ(rowsInFile(), 45);
  advance(10);
  ASSERT_TRUE(runUntil([&] { return tracker->storedEventsForTesting() == 0 && tracker->inFlightForTesting() == 0; }));
  auto hits = collector.hits();
  ASSERT_EQ(hits.size(), 45u);
  EXPECT_EQ(collector.connectionCount(), 1u);
  for (size_t i = 0; i < hits.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(hits[i].event()->action, names[i]);
    EXPECT_EQ(hits[i].event()->value, static_cast<long>(i + 1));
    // Thirty requests were read before any answer; the other fifteen after the thirtieth.
    EXPECT_EQ(hits[i].requestsReadWhenAnswered, i < 30 ? 30u : 45u);
  }
  EXPECT_EQ(rowsInFile(), 0);
}

// Whatever the collector does, every hit reaches it once it behaves again. (A hit may arrive
// twice: the collector can take a request whose answer the tracker never reads.)
TEST_F(OAEndToEndTest, MisbehavingCollectorLosesNothing) {
  struct Case {
    const char* name;
    std::function<void()> misbehave;
  };
  const Case cases[] = {
      {"closes after 5 answers", [&] { collector.setCloseAfterAnswers(5); }},
      {"stalls after 4 answers", [&] { collector.setStallAfter(4); }},
      {"answers 503", [&] { collector.setStatus(503); }},
      {"answers without reason phrase",
       [&] { collector.setStyle(AnalyticsCollector::Style::NoReasonPhrase); }},
      {"splits answers into bytes", [&] { collector.setWriteSize(1); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = collector.hitCount();
    tracker->setDispatchPeriod(0);  // dispatches one after the other, each let to end
    c.misbehave();
    auto names = track(12);
    for (int round = 0; round < 2; ++round) {
      tracker->dispatch();
      settle();
    }
    collector.setCloseAfterAnswers(0);
    collector.setStallAfter(std::nullopt);
    collector.setStatus(200);
    collector.setStyle(AnalyticsCollector::Style::Normal);
    collector.setWriteSize(0);
    collector.closeConnections();
    for (int i = 0; i < 20 && tracker->storedEventsForTesting() > 0; ++i) {
      tracker->dispatch();
      settle();
    }
    ASSERT_EQ(tracker->storedEventsForTesting(), 0u);
    EXPECT_EQ(rowsInFile(), 0);
    auto hits = collector.hits();
    std::set<std::string> got;
    for (size_t i = before; i < hits.size(); ++i) got.insert(hits[i].event()->action);
    EXPECT_EQ(got, std::set<std::string>(names.begin(), names.end()));
  }
}

TEST_F(OAEndToEndTest, RelaunchSendsWhatTheLastRunLeft) {
  collector.setStatus(503);
  track(3);
  advance(10);
  // All three pipelined requests refused (the tracker stops reading after the first).
  ASSERT_TRUE(runUntil([&] { return collector.answerCount() == 3 && tracker->inFlightForTesting() == 0; }));
  tracker->stopTracker();  // the application ends with its hits unsent
  collector.setStatus(200);
  clock().advance(3600);
  tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 10, {});
  EXPECT_EQ(tracker->storedEventsForTesting(), 3u);
  advance(10);
  ASSERT_TRUE(runUntil([&] { return tracker->storedEventsForTesting() == 0 && tracker->inFlightForTesting() == 0; }));
  EXPECT_EQ(collector.hitCount(), 3u);
}

}  // namespace
}  // namespace analytics
