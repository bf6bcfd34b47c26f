#pragma once
// Callbacks that record what the workers deliver, in order, for the tests of this client.
#include <string>
#include <vector>

#include "HVCallbackContext.h"
#include "platform/thread.h"

namespace halvern::testsupport {

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
