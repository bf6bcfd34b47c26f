#include "testing/sandbox_test.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "platform/dispatch.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/random.h"
#include "platform/sandbox.h"
#include "platform/singleton.h"

namespace testing {

void SandboxTest::SetUp() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path() /
              ("adc-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
  std::filesystem::create_directories(base);
  home_ = base.string();
  platform::Sandbox::setHome(home_);
  clock_ = std::make_shared<platform::ManualClock>();
  platform::Clock::setCurrent(clock_);
  platform::Random::reset();
  platform::setLogSink(nullptr);
  platform::RunLoop::main().resetForTesting();
  platform::NotificationCenter::defaultCenter().resetForTesting();
  platform::resetForTesting();
}

void SandboxTest::TearDown() {
  drainWorkers(2.0);
  platform::resetForTesting();
  platform::NotificationCenter::defaultCenter().resetForTesting();
  platform::RunLoop::main().resetForTesting();
  platform::setLogSink(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(home_, ec);
}

void SandboxTest::drainWorkers(double timeoutSeconds) {
  const double deadline = platform::realMonotonicSeconds() + timeoutSeconds;
  for (;;) {
    double left = std::max(0.0, deadline - platform::realMonotonicSeconds());
    bool idle = platform::DispatchQueue::waitForGlobalIdle(left);
    mainLoop().runUntilIdle();
    // Main-loop work may have queued more background work; stop once both stay quiet.
    if ((idle && platform::DispatchQueue::waitForGlobalIdle(0)) || left <= 0) break;
  }
}

}  // namespace testing
