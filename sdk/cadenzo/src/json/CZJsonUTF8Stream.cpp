#include "CZJsonUTF8Stream.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cadenzo {

namespace {

// Bytes that end a string run: control characters, the double quote and the backslash.
struct RunStopTable {
  bool stop[256];
  constexpr RunStopTable() : stop() {
    for (int i = 0; i < 0x20; ++i) stop[i] = true;
    stop[static_cast<int>('"')] = true;
    stop[static_cast<int>('\\')] = true;
  }
};
constexpr RunStopTable kRunStop;

// True when any byte of `w` is below 0x20, a quote, a backslash or at least 0x80.
inline bool wordHasStopOrHigh(uint64_t w) {
  constexpr uint64_t ones = 0x0101010101010101ULL;
  constexpr uint64_t highs = 0x8080808080808080ULL;
  uint64_t quote = w ^ (ones * '"');
  uint64_t slash = w ^ (ones * '\\');
  uint64_t t = ((w - ones * 0x20) | (quote - ones) | (slash - ones) | w) & highs;
  // (x - ones) & 0x80 flags a byte that was zero or above 0x80 before subtracting; the
  // trailing `| w` flags bytes with the high bit set. Either way the slow path decides.
  return t != 0;
}

}  // namespace

CZJsonUTF8Stream::CZJsonUTF8Stream() { data_.reserve(4096); }

void CZJsonUTF8Stream::appendData(const uint8_t* bytes, size_t length) {
  retainRemainder();
  if (index_ >= length_ && length) {
    // Nothing left over: read the new bytes in place.
    data_.clear();
    index_ = 0;
    bytes_ = bytes;
    length_ = length;
    borrowed_ = true;
    return;
  }
  if (index_ > 0) {
    data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(index_));
    index_ = 0;
  }
  if (length) data_.insert(data_.end(), bytes, bytes + length);
  bytes_ = data_.data();
  length_ = data_.size();
}

void CZJsonUTF8Stream::retainRemainder() {
  if (!borrowed_) return;
  data_.assign(bytes_ + index_, bytes_ + length_);
  borrowed_ = false;
  index_ = 0;
  bytes_ = data_.data();
  length_ = data_.size();
}

bool CZJsonUTF8Stream::getRetainedStringFragment(std::string_view* fragment, bool* sawHighBytes) {
  size_t i = index_;
  bool high = false;
#if defined(__SSE2__)
  // Sixteen bytes at a time: the first quote, backslash or control byte ends the run.
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i lastControl = _mm_set1_epi8(0x1F);
  while (i + 16 <= length_) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes_ + i));
    __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                                 _mm_cmpeq_epi8(_mm_max_epu8(v, lastControl), lastControl));
    unsigned stopMask = static_cast<unsigned>(_mm_movemask_epi8(stops));
    unsigned highMask = static_cast<unsigned>(_mm_movemask_epi8(v));
    if (stopMask) {
      unsigned k = static_cast<unsigned>(__builtin_ctz(stopMask));
      if (highMask & ((1u << k) - 1)) high = true;
      i += k;
      *fragment = stringWithRange(index_, i - index_);
      *sawHighBytes = high;
      index_ = i;
      return true;
    }
    if (highMask) high = true;
    i += 16;
  }
#endif
  for (;;) {
    while (i + 8 <= length_) {
      uint64_t w;
      std::memcpy(&w, bytes_ + i, 8);
      if (wordHasStopOrHigh(w)) break;
      i += 8;
    }
    if (i >= length_) return false;
    uint8_t c = bytes_[i];
    if (kRunStop.stop[c]) break;
    if (c >= 0x80) high = true;
    ++i;
  }
  *fragment = stringWithRange(index_, i - index_);
  *sawHighBytes = high;
  index_ = i;
  return true;
}

bool CZJsonUTF8Stream::skipCharacters(const char* chars, size_t length) {
  if (!haveRemainingCharacters(length)) return false;
  // Keywords are a few bytes long: a loop beats a call to a general compare.
  for (size_t k = 0; k < length; ++k)
    if (bytes_[index_ + k] != static_cast<uint8_t>(chars[k])) return false;
  index_ += length;
  return true;
}

}  // namespace cadenzo
