#include "platform/runtime.h"

#include <set>

#include "platform/singleton.h"

namespace platform {
namespace {

// Everything is available unless a test or the demo took it away.
struct Unavailable {
  std::set<std::string> keys;
};

}  // namespace

bool Runtime::isAvailable(const std::string& key) {
  return processState<Unavailable>().with([&](const Unavailable& u) { return u.keys.count(key) == 0; });
}

void Runtime::setAvailable(const std::string& key, bool available) {
  processState<Unavailable>().with([&](Unavailable& u) {
    if (available) {
      u.keys.erase(key);
    } else {
      u.keys.insert(key);
    }
  });
}

void Runtime::resetToDefaults() { processState<Unavailable>().reset(); }

}  // namespace platform
