#pragma once
// The fixture every test starts from: a fresh sandbox home in a temporary folder, a
// ManualClock as the process clock, every platform fact and singleton reset, and the main
// run loop empty and ready to pump.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/run_loop.h"

namespace testkit {

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::ManualClock& clock() { return *clock_; }
  platform::RunLoop& mainLoop() { return platform::RunLoop::main(); }
  const std::string& home() const { return home_; }

  // Moves virtual time forward, firing the main loop's timers in order.
  void advance(double seconds) { mainLoop().advance(seconds); }
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
};

}  // namespace testkit
