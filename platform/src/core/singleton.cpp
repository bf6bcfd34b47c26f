#include "platform/singleton.h"

#include <mutex>
#include <vector>

namespace platform {
namespace {
std::mutex gMutex;
std::vector<std::function<void()>>& forgetters() {
  static std::vector<std::function<void()>> r;
  return r;
}
}  // namespace

void onProcessReset(std::function<void()> forget) {
  std::lock_guard<std::mutex> lock(gMutex);
  forgetters().push_back(std::move(forget));
}

void resetForTesting() {
  std::vector<std::function<void()>> copy;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    copy = forgetters();
  }
  for (auto& f : copy) f();
}

void keepUntilExit(std::shared_ptr<void> object) {
  // Never destroyed, and reachable to the end, so a leak checker sees nothing lost.
  static auto* keptMutex = new std::mutex();
  static auto* kept = new std::vector<std::shared_ptr<void>>();
  std::lock_guard<std::mutex> lock(*keptMutex);
  kept->push_back(std::move(object));
}

}  // namespace platform
