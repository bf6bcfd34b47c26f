#pragma once
// The process's random sources (random/srandom and arc4random style). Thread-safe.
// Tests seed them or script the exact numbers returned.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

class Random {
 public:
  // Like random(): 0 … 2^31-1.
  static long random();
  static void srandom(unsigned seed);
  // Like arc4random(): any 32-bit value.
  static uint32_t arc4random();

  // Tests: the next values of random() and arc4random() come from this list, in order,
  // before the generator resumes. reset() forgets the script and reseeds deterministically.
  static void script(std::vector<uint32_t> values);
  static void reset(uint64_t seed = 1);
};

}  // namespace platform
