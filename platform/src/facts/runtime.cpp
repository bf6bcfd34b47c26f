#include "platform/runtime.h"

#include <set>

#include "platform/singleton.h"

namespace platform {
namespace {

// Everything is available unless a test or the demo took it away.
ProcessState<std::set<std::string>>& missing() {
  static ProcessState<std::set<std::string>> s;
  return s;
}

}  // namespace

bool Runtime::isAvailable(const std::string& key) {
  return missing().with([&](const std::set<std::string>& m) { return m.count(key) == 0; });
}

void Runtime::setAvailable(const std::string& key, bool available) {
  missing().with([&](std::set<std::string>& m) {
    if (available) {
      m.erase(key);
    } else {
      m.insert(key);
    }
  });
}

void Runtime::resetToDefaults() { missing().reset(); }

}  // namespace platform
