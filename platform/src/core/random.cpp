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

uint32_t Random::arc4randomUniform(uint32_t upperBound) {
  if (upperBound < 2) return 0;
  // Rejection sampling keeps the result uniform.
  uint32_t min = static_cast<uint32_t>(-upperBound) % upperBound;
  for (;;) {
    uint32_t r = arc4random();
    if (r >= min) return r % upperBound;
  }
}

void Random::arc4randomBuf(void* out, size_t count) {
  auto* bytes = static_cast<uint8_t*>(out);
  for (size_t i = 0; i < count; i += 4) {
    uint32_t r = arc4random();
    for (size_t k = 0; k < 4 && i + k < count; ++k) bytes[i + k] = static_cast<uint8_t>(r >> (8 * k));
  }
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
