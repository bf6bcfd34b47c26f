#include "platform/runtime.h"

#include <mutex>
#include <set>

#include "platform/singleton.h"

namespace platform {
namespace {

struct RuntimeState {
  std::mutex mutex;
  std::set<std::string> missing;
};

RuntimeState& state() {
  static RuntimeState* s = [] {
    auto* created = new RuntimeState();
    onProcessReset([] { Runtime::resetToDefaults(); });
    return created;
  }();
  return *s;
}

}  // namespace

bool Runtime::isAvailable(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().missing.count(key) == 0;
}

void Runtime::setAvailable(const std::string& key, bool available) {
  std::lock_guard<std::mutex> lock(state().mutex);
  if (available) {
    state().missing.erase(key);
  } else {
    state().missing.insert(key);
  }
}

void Runtime::resetToDefaults() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().missing.clear();
}

}  // namespace platform
