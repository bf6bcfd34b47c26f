// Orders of events around a dispatch under way: a stop and a new start (a relaunch: the store
// reopened from its file and a new dispatcher), a second start, the period timer, hits tracked
// meanwhile, a collector that goes silent, drops the connection or asks to back off. After every
// row one helper lets a well-behaved collector take what is stored and checks that each hit
// arrived exactly once, that nothing stays in flight, and that the delegate heard one report
// per dispatch that ran to its end, counting each delivered hit once (a stop silences the
// dispatch it ends). Real sockets to the
// loopback collector, a real SQLite store.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analytics/OATracker.h"
#include "testing/analytics_collector.h"
#include "testing/sandbox_test.h"

namespace analytics {
namespace {

using testkit::AnalyticsCollector;

enum class Step {
  Track,       // two new hits
  Silence,     // the collector reads requests and answers none
  AnswerOne,   // the collector answers one more request, then is silent
  BackOff,     // the collector answers 503
  Dispatch,    // the host asks for a dispatch and the traffic settles
  Stop,
  Start,       // a start (a second one when started), period 10
  Timer,       // ten seconds pass: the period timer fires
  TimeOut,     // a silent collector's time-out passes
  Drop,        // the collector drops its connections
};

struct Row {
  const char* name;
  std::vector<Step> steps;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Reports : public OATrackerDelegate {
 public:
  void trackerDispatchDidCompleteEventsDispatchedEventsFailedDispatch(OATracker&, unsigned ok, unsigned) override {
    ++count;
    delivered += ok;
  }
  size_t count = 0;
  size_t delivered = 0;
};

class OAEventOrderRow : public testkit::SandboxTest, public ::testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    tracker = OATracker::sharedTracker();
    OATracker::setCollector({collector.host(), collector.port()});
  }

  void start() { tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 10, reports); }
  void dispatch() {
    if (tracker->dispatch()) ++dispatches;
    settleTraffic();
  }

  void run(Step step) {
    switch (step) {
      case Step::Track:
        for (int i = 0; i < 2; ++i) {
          const std::string action = "h" + std::to_string(tracked.size());
          if (tracker->trackEventActionLabelValueWithError("c", action, std::nullopt, -1)) tracked.push_back(action);
        }
        break;
      case Step::Silence: collector.setStallAfter(0); break;
      case Step::AnswerOne: collector.setStallAfter(1); break;
      case Step::BackOff: collector.setStatus(503); break;
      case Step::Dispatch: dispatch(); break;
      case Step::Stop:
        // A dispatch under way ends unreported: the host stopped it.
        if (tracker->inFlightForTesting() > 0) ++cut;
        tracker->stopTracker();
        break;
      case Step::Start: start(); break;
      case Step::Timer: advance(10); ++ticks; break;
      case Step::TimeOut:
        advance(kOADefaultResponseTimeout);
        ticks += static_cast<size_t>(kOADefaultResponseTimeout / 10) + 1;
        break;
      case Step::Drop: collector.closeConnections(); settleTraffic(); break;
    }
  }

  // What must hold whatever came before: a well-behaved collector takes every stored hit.
  void checkInvariants() {
    collector.setStallAfter(std::nullopt);
    collector.setStatus(200);
    collector.closeConnections();
    if (!tracker->isStarted()) start();
    tracker->setDispatchPeriod(0);  // only the dispatches below from now on
    for (int tries = 0; tries < 4 && tracker->storedEventsForTesting() > 0; ++tries) {
      if (tracker->inFlightForTesting() == 0) dispatch();
      // Past a back-off's delay and a time-out of anything left from before.
      advanceUntil([&] { return tracker->inFlightForTesting() == 0; }, 300);
      settleTraffic();
    }
    // Nothing in flight for good, nothing left behind.
    EXPECT_EQ(tracker->inFlightForTesting(), 0u);
    EXPECT_EQ(tracker->storedEventsForTesting(), 0u);
    // Every accepted hit reached the collector once: none lost, none doubled.
    std::map<std::string, int> arrived;
    for (const auto& hit : collector.hits()) ++arrived[hit.event()->action];
    for (const auto& action : tracked) EXPECT_EQ(arrived[action], 1) << action;
    EXPECT_EQ(arrived.size(), tracked.size());
    // One report per dispatch that ran to its end (a tick starts one at most), each delivered
    // hit counted once.
    EXPECT_GE(reports->count, dispatches - cut);
    EXPECT_LE(reports->count, dispatches - cut + ticks);
    // A stop silences the dispatch it ends, with the hits it had delivered so far.
    if (cut == 0) {
      EXPECT_EQ(reports->delivered, collector.hitCount());
    } else {
      EXPECT_LE(reports->delivered, collector.hitCount());
    }
  }

  AnalyticsCollector collector;
  std::shared_ptr<OATracker> tracker;
  std::shared_ptr<Reports> reports = std::make_shared<Reports>();
  std::vector<std::string> tracked;
  size_t dispatches = 0;
  size_t cut = 0;
  size_t ticks = 0;
};

using S = Step;
const Row kRows[] = {
    {"stopped mid-dispatch, relaunched", {S::Start, S::Track, S::Silence, S::Dispatch, S::Stop, S::Start, S::Track, S::Dispatch}},
    {"relaunched with one hit answered", {S::Start, S::Track, S::Track, S::AnswerOne, S::Dispatch, S::Stop, S::Start, S::Dispatch}},
    {"second start mid-dispatch", {S::Start, S::Track, S::Silence, S::Dispatch, S::Start, S::Dispatch, S::TimeOut, S::Dispatch}},
    {"timer mid-dispatch, hits tracked meanwhile", {S::Start, S::Track, S::Silence, S::Dispatch, S::Track, S::Timer, S::Drop, S::Timer}},
    {"connection dropped mid-dispatch, dispatched again", {S::Start, S::Track, S::AnswerOne, S::Dispatch, S::Drop, S::Dispatch}},
    {"stopped during a back-off, relaunched", {S::Start, S::Track, S::BackOff, S::Dispatch, S::Dispatch, S::Stop, S::Start, S::Dispatch}},
    {"stopped with nothing stored, hits, timer", {S::Start, S::Dispatch, S::Stop, S::Start, S::Track, S::Timer}},
};

TEST_P(OAEventOrderRow, KeepsTheInvariants) {
  for (Step step : GetParam().steps) run(step);
  checkInvariants();
}

INSTANTIATE_TEST_SUITE_P(Tracker, OAEventOrderRow, ::testing::ValuesIn(kRows));

}  // namespace
}  // namespace analytics
