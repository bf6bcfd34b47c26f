#pragma once
// The fixture every test starts from: a fresh sandbox home in a temporary folder, a
// ManualClock as the process clock, every platform fact and singleton reset, and the main
// run loop empty and ready to pump.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/run_loop.h"
#include "testing/loopback_traffic.h"

namespace testkit {

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::ManualClock& clock() { return *clock_; }
  platform::RunLoop& mainLoop() { return platform::RunLoop::main(); }
  const std::string& home() const { return home_; }

  // The longest real time one wait for loopback traffic may take before the test fails.
  static constexpr double kTrafficWaitSeconds = 10.0;

  // Moves virtual time forward, firing the main loop's timers in order. Before time moves,
  // after each instant's timers have fired and at the end, loopback traffic is let settle
  // (settleTraffic), so an answer on its way is taken in before a time-out can overtake it.
  void advance(double seconds);
  // Moves virtual time forward as advance() does, stopping at the first instant `done`
  // holds; answers false (time moved by `seconds`) when it never did.
  bool advanceUntil(const std::function<bool()>& done, double seconds);
  // Pumps the main loop in real time until the loopback traffic has settled: every request
  // sent to a kit server answered and taken in, or held (AnswerHold, stall, trickle), no URL
  // connection waiting on anything else, the background queue idle and every condition added
  // by addSettledCondition holding. Past kTrafficWaitSeconds it fails the test, naming what
  // was still under way, and answers false. "Nothing happened" is checked after this.
  bool settleTraffic();
  // A condition settleTraffic() also waits for (a client's own worker threads being idle).
  void addSettledCondition(std::string what, std::function<bool()> settled);
  // Pumps the main loop until `predicate` holds or `timeoutSeconds` of real time passed.
  bool runUntil(const std::function<bool()>& predicate, double timeoutSeconds = 5.0) {
    return mainLoop().runUntil(predicate, timeoutSeconds);
  }
  void runUntilIdle() { mainLoop().runUntilIdle(); }
  // Waits for the background queue to finish and pumps the main loop until both are quiet.
  void drainWorkers(double timeoutSeconds = 5.0);

 private:
  std::shared_ptr<platform::ManualClock> clock_;
  std::string home_;
  std::vector<SettledCondition> settledConditions_;
  bool trafficFailed_ = false;
};

}  // namespace testkit
