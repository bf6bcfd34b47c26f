#include "platform/keyed_hash.h"

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

namespace platform {
namespace {
struct HashSecret {
  uint64_t k0, k1;
};

HashSecret drawHashSecret() {
  try {
    std::random_device device;
    auto word = [&device] { return (uint64_t{device()} << 32) ^ device(); };
    const uint64_t k0 = word();
    return {k0, word()};
  } catch (...) {
    // No source of randomness: what differs from run to run (addresses under ASLR, the time)
    // is still unknown to a server.
    static const int here = 0;
    const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto at = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&here));
    return {now ^ (at * 0x9E3779B97F4A7C15ull), std::rotl(at, 29) ^ (now * 0xBF58476D1CE4E5B9ull)};
  }
}

uint64_t littleEndianWord(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

struct SipState {
  uint64_t v0, v1, v2, v3;
  void round() {
    v0 += v1;
    v1 = std::rotl(v1, 13) ^ v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16) ^ v2;
    v0 += v3;
    v3 = std::rotl(v3, 21) ^ v0;
    v2 += v1;
    v1 = std::rotl(v1, 17) ^ v2;
    v2 = std::rotl(v2, 32);
  }
  void absorb(uint64_t word) {
    v3 ^= word;
    round();
    v0 ^= word;
  }
};
}  // namespace

size_t KeyedHash::operator()(std::string_view text) const noexcept {
  static const HashSecret secret = drawHashSecret();
  SipState s{secret.k0 ^ 0x736f6d6570736575ull, secret.k1 ^ 0x646f72616e646f6dull,
             secret.k0 ^ 0x6c7967656e657261ull, secret.k1 ^ 0x7465646279746573ull};
  const char* p = text.data();
  const size_t n = text.size();
  const char* const wholeEnd = p + (n & ~size_t{7});
  for (; p != wholeEnd; p += 8) s.absorb(littleEndianWord(p));
  // The last 0 to 7 bytes, under the size's low byte.
  uint64_t last = uint64_t{n & 0xFF} << 56;
  for (size_t i = 0; i < (n & 7); ++i) last |= uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  s.absorb(last);
  s.v2 ^= 0xFF;
  s.round();
  s.round();
  s.round();
  return static_cast<size_t>(s.v0 ^ s.v1 ^ s.v2 ^ s.v3);
}

}  // namespace platform
