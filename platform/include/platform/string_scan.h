#pragma once
// The scan at the heart of every JSON string reader: the bytes a string's text copies as they
// stand, passed a block at a time (sixteen with SSE2, else eight in a machine word).
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace platform {

// The first byte from `c` that is a quote, a backslash or a control character (below 0x20),
// or also any byte from 0x80 up unless `HighBytesPlain` (the start of a multi-byte character,
// for a reader that checks them itself); `end` when there is none.
template <bool HighBytesPlain>
inline const unsigned char* skipPlainStringBytes(const unsigned char* c, const unsigned char* end) {
#ifdef __SSE2__
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i lastControl = _mm_set1_epi8(0x1f);
  const __m128i highBit = _mm_set1_epi8(static_cast<char>(HighBytesPlain ? 0 : 0x80));
  while (end - c >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    // A control byte is one that min(b, 0x1f) leaves as it is (an unsigned comparison); the
    // high bytes that stop show through their own top bit, which is all movemask reads.
    const __m128i stops =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                     _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(bytes, lastControl), bytes), _mm_and_si128(bytes, highBit)));
    const int mask = _mm_movemask_epi8(stops);
    if (mask != 0) return c + __builtin_ctz(static_cast<unsigned>(mask));
    c += 16;
  }
#endif
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  while (end - c >= 8) {
    uint64_t word;
    std::memcpy(&word, c, 8);
    const uint64_t quote = word ^ (kOnes * '"');
    const uint64_t backslash = word ^ (kOnes * '\\');
    // A byte that is zero in `quote` or `backslash`, or below 0x20 in `word`, sets its high
    // bit here (borrows may mark bytes after it too; the byte loop settles where).
    uint64_t stops = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) | ((word - kOnes * 0x20) & ~word);
    if (!HighBytesPlain) stops |= word;
    if (stops & kHighs) break;
    c += 8;
  }
  for (; c < end; ++c) {
    const unsigned char b = *c;
    if (b < 0x20 || b == '"' || b == '\\' || (!HighBytesPlain && b >= 0x80)) break;
  }
  return c;
}

}  // namespace platform
