#pragma once
// The fixture of the tests that reach the client's worker threads, and callbacks that record
// what the workers deliver, in order.
#include <string>
#include <vector>

#include "HVCallbackContext.h"
#include "platform/thread.h"
#include "testing/sandbox_test.h"

namespace halvern::testsupport {

// The sandbox fixture, whose waits for loopback traffic also wait for the client's worker
// threads: a command they run takes real time, and virtual time must not move past it. A
// worker waiting in its loop for a wake-up still to come on the clock is at rest.
class HalvernSandboxTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    addSettledCondition("Halvern's worker threads at work", [] { return platform::Thread::busyCountForTesting() == 0; });
  }
};

struct Delivery {
  std::string label;
  HVCommandResult result;
  bool onMainThread = false;
};

class Recorder {
 public:
  std::shared_ptr<HVCallbackContext> context(std::string label, bool passResults = true) {
    return HVCallbackContext::contextWithCallbackInvocationPassResults(
        [this, label](const HVCommandResult& result) { deliveries.push_back({label, result, platform::Thread::isMainThread()}); },
        passResults);
  }
  std::vector<std::string> labels() const {
    std::vector<std::string> out;
    for (const auto& d : deliveries) out.push_back(d.label);
    return out;
  }
  std::vector<Delivery> deliveries;
};

}  // namespace halvern::testsupport
