#include "platform/test_reset.h"

#include <mutex>
#include <vector>

namespace platform {
namespace {
std::mutex gMutex;
std::vector<std::function<void()>>& resets() {
  static std::vector<std::function<void()>> r;
  return r;
}
}  // namespace

void onTestReset(std::function<void()> reset) {
  std::lock_guard<std::mutex> lock(gMutex);
  resets().push_back(std::move(reset));
}

void resetForTesting() {
  std::vector<std::function<void()>> copy;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    copy = resets();
  }
  for (auto& r : copy) r();
}

}  // namespace platform
