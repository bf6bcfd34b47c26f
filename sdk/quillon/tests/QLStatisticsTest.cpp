// Statistics and timings as the next ad request carries them, their persistence and the
// session identifier.
#include <gtest/gtest.h>

#include "QLTestPrinters.h"

#include "QLConfiguration.h"
#include "QLSpamSignals.h"
#include "QLStatistics.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "platform/singleton.h"
#include "platform/user_defaults.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Dictionary;
using platform::URL;
using platform::Value;
using quillon::QLStatistics;
using quillon::QLTiming;

class QLStatisticsTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    stats = QLStatistics::sharedStatistics();
  }
  std::shared_ptr<QLStatistics> stats;
  Value session() { return Value(stats->sessionId()); }
};

TEST_F(QLStatisticsTest, ParametersReportOnceExceptRequestCountAndProcessTime) {
  stats->startTimingNamed("ptime");
  stats->incrementAdRequestCount();
  clock().advance(1.0);
  EXPECT_EQ(stats->urlForClick(*URL::create("http://h/c?ai=AD7")).absoluteString(), "http://h/c?ai=AD7");
  EXPECT_EQ(stats->urlForClick(*URL::create("http://h/c?x=1&ai=AD8")).absoluteString(), "http://h/c?x=1&ai=AD8");
  // Messages and blank pages are not clicks.
  stats->urlForClick(*URL::create("qmsg:///click?u=x"));
  stats->urlForClick(*URL::create("about:blank"));
  EXPECT_TRUE(stats->isTimingClick());
  clock().advance(0.25);
  stats->setBreakOutToSafari();
  stats->incrementPageNavigationCount();
  stats->setAppOpenInterstitialNoFill();

  const Dictionary expected{{"session_id", session()}, {"pcl", Value("250")},    {"pai", Value("AD8")},
                            {"pcrl", Value("0")},      {"ptime", Value("1250")}, {"preqs", Value(1)},
                            {"pcc", Value(2)},         {"plpnc", Value(1)},      {"pcbo", Value(1)},
                            {"aoi_nofill", Value(1)}};
  // A snapshot (for an error report) reports the same and uses nothing up.
  EXPECT_EQ(stats->snapshotParameters(), expected);
  EXPECT_EQ(stats->parameters(), expected);

  EXPECT_EQ(stats->incrementAdRequestCount(), 2);
  EXPECT_EQ(stats->parameters(),
            (Dictionary{{"session_id", session()}, {"ptime", Value("1250")}, {"preqs", Value(2)}}));
}

TEST_F(QLStatisticsTest, ShowToClickTimingNeedsAClick) {
  stats->startTimingNamed("ppcl");
  clock().advance(2);
  EXPECT_EQ(stats->snapshotParameters(), (Dictionary{{"session_id", session()}}));
  EXPECT_EQ(stats->parameters(), (Dictionary{{"session_id", session()}}));
  EXPECT_EQ(stats->timingNamed("ppcl"), nullptr);

  stats->startTimingNamed("ppcl");
  clock().advance(3);
  stats->urlForClick(*URL::create("http://h/c"));
  EXPECT_EQ(stats->parameters(), (Dictionary{{"session_id", session()},
                                             {"pcl", Value("0")},
                                             {"ppcl", Value("3000")},
                                             {"pcrl", Value("0")},
                                             {"pcc", Value(1)}}));
}

TEST_F(QLStatisticsTest, ClickSignalAndTrackingId) {
  quillon::QLSpamSignals::setClickSourceForTesting([](const std::string& ai, std::string& signal) {
    signal = "sig" + ai;
    return true;
  });
  EXPECT_EQ(stats->urlForClick(*URL::create("http://h/c?ai=9#top")).absoluteString(), "http://h/c?ai=9&sig9#top");
  EXPECT_EQ(stats->urlForClick(*URL::create("http://h/c?b=1")).absoluteString(), "http://h/c?b=1");
  quillon::QLSpamSignals::setClickSourceForTesting({});

  auto config = quillon::QLConfiguration::current();
  config.clickServerDomainSuffix = ".clk.test";
  quillon::QLConfiguration::setCurrent(config);
  stats->addClickTrackingURL(*URL::create("http://other.test/aclk/77"));
  stats->addClickTrackingURL(*URL::create("http://a.clk.test/x"));
  EXPECT_EQ(stats->timingNamed("pcl")->valueForKey("pit"), Value());
  stats->addClickTrackingURL(*URL::create("http://a.clk.test/aclk/77"));
  EXPECT_EQ(stats->timingNamed("pcl")->valueForKey("pit"), Value("k/77"));
}

TEST_F(QLStatisticsTest, TimingsMeasureOnTheMonotonicClock) {
  auto timing = QLTiming::create("t");
  EXPECT_EQ(QLTiming::create(std::nullopt), nullptr);
  EXPECT_EQ(timing->elapsedMillisecondsString(), "0");
  timing->end();
  EXPECT_FALSE(timing->isActive());
  timing->start();
  clock().advance(2);
  timing->end();
  clock().advance(5);
  EXPECT_EQ(timing->elapsedMillisecondsString(), "2000");
  timing->start();
  clock().advance(1.5);
  EXPECT_TRUE(timing->isActive());
  EXPECT_EQ(timing->elapsedMilliseconds(), 1500u);

  timing->setValueForKey(Value("v"), "k");
  timing->setValueForKey(Value(), "k");
  auto copy = QLTiming::createWithDictionaryRepresentation(timing->dictionaryRepresentation());
  EXPECT_EQ(copy->keysAndValues(), (Dictionary{{"k", Value("v")}}));
  EXPECT_EQ(copy->elapsedMilliseconds(), 1500u);

  // A start that lies ahead of the clock (taken by another process) never reads negative.
  auto foreign = QLTiming::createWithDictionaryRepresentation(
      Value(Dictionary{{"category", Value("f")}, {"start", Value(5000.0)}, {"end", Value(0.0)}}));
  EXPECT_EQ(foreign->elapsedMillisecondsString(), "0");
}

TEST_F(QLStatisticsTest, CountersPersistButTimingsDoNotCrossARelaunch) {
  stats->startTimingNamed("ptime");
  stats->incrementClickCount();
  stats->incrementAdRequestCount();
  stats->setAppOpenInterstitialTimeOut();
  clock().advance(10);
  // The process ends: nobody destroys the shared statistics or asks them to save.
  platform::Application::sharedApplication().terminate();
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  EXPECT_EQ(defaults.objectForKey("quillon_stats_shared"),
            Value(Dictionary{{"pcc", Value(1)}, {"preqs", Value(1)}, {"aoi_timedout", Value(1)}}));
  EXPECT_EQ(defaults.objectForKey("quillon_timing_shared")["ptime"]["start"], Value(1000.0));

  // A new process: its monotonic clock starts far below the saved readings.
  stats.reset();
  platform::resetForTesting();
  defaults.reloadForTesting();
  platform::Clock::setCurrent(std::make_shared<platform::ManualClock>(1.9e9, 3.0));
  auto relaunched = QLStatistics::sharedStatistics();
  EXPECT_EQ(relaunched->parameters(),
            (Dictionary{{"session_id", Value(relaunched->sessionId())},
                        {"preqs", Value(1)},
                        {"pcc", Value(1)},
                        {"aoi_timedout", Value(1)}}));
}

TEST_F(QLStatisticsTest, SessionIdStaysInsideItsRange) {
  // (r - 1) / (2^31 - 1) * (2^32 - 1), worked out by hand; r = 0 would be below zero.
  const std::pair<uint32_t, uint32_t> cases[] = {
      {0, 0}, {1, 0}, {2, 2}, {1u << 30, 2147483646u}, {2147483647u, 4294967293u}};
  for (const auto& [random, id] : cases) {
    platform::resetForTesting();
    platform::Random::script({random});
    EXPECT_EQ(QLStatistics::sharedStatistics()->sessionId(), id) << random;
  }
}

}  // namespace
