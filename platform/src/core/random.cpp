#include "platform/random.h"

#include <deque>
#include <mutex>
#include <random>

namespace platform {
namespace {
struct State {
  std::mutex mutex;
  std::mt19937_64 engine{1};
  std::deque<uint32_t> scripted;

  uint32_t next32() {
    if (!scripted.empty()) {
      uint32_t v = scripted.front();
      scripted.pop_front();
      return v;
    }
    return static_cast<uint32_t>(engine() >> 32);
  }
};
State& state() {
  static State s;
  return s;
}
}  // namespace

long Random::random() {
  auto& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return static_cast<long>(s.next32() & 0x7fffffffu);
}

void Random::srandom(unsigned seed) {
  auto& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.engine.seed(seed);
}

uint32_t Random::arc4random() {
  auto& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.next32();
}

void Random::script(std::vector<uint32_t> values) {
  auto& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.scripted.assign(values.begin(), values.end());
}

void Random::reset(uint64_t seed) {
  auto& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.scripted.clear();
  s.engine.seed(seed);
}

}  // namespace platform
