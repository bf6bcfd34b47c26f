#include "platform/text_helpers.h"

#include <unicode/uchar.h>
#include <unicode/ucasemap.h>

#include <memory>
#include <utility>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The character at `pos` and its length in bytes; an ill-formed byte is U+FFFD of length 1
// (no overlong forms, no surrogates, nothing past U+10FFFF).
std::pair<char32_t, size_t> decodeAt(std::string_view s, size_t pos) {
  auto c = static_cast<unsigned char>(s[pos]);
  if (c < 0x80) return {c, 1};
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t cp;
  if (c >= 0xC2 && c <= 0xDF) n = 1, cp = c & 0x1F;
  else if (c == 0xE0) n = 2, lo = 0xA0, cp = c & 0x0F;
  else if (c == 0xED) n = 2, hi = 0x9F, cp = c & 0x0F;
  else if (c >= 0xE1 && c <= 0xEF) n = 2, cp = c & 0x0F;
  else if (c == 0xF0) n = 3, lo = 0x90, cp = c & 0x07;
  else if (c >= 0xF1 && c <= 0xF3) n = 3, cp = c & 0x07;
  else if (c == 0xF4) n = 3, hi = 0x8F, cp = c & 0x07;
  else return {kReplacement, 1};
  if (pos + n >= s.size()) return {kReplacement, 1};
  for (size_t k = 1; k <= n; ++k) {
    auto b = static_cast<unsigned char>(s[pos + k]);
    if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return {kReplacement, 1};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, n + 1};
}

// The only ASCII space separator is U+0020; the database is asked about the rest.
bool isWhitespace(char32_t cp) {
  if (cp < 0x80) return cp == 0x09 || cp == 0x20;
  return u_charType(static_cast<UChar32>(cp)) == U_SPACE_SEPARATOR;
}

bool isNewline(char32_t cp) { return (cp >= 0x0A && cp <= 0x0D) || cp == 0x85 || cp == 0x2028 || cp == 0x2029; }

template <class Pred>
std::string trimmed(std::string_view text, Pred drop) {
  size_t begin = 0;
  while (begin < text.size()) {
    auto [cp, len] = decodeAt(text, begin);
    if (!drop(cp)) break;
    begin += len;
  }
  // Only the tail needs classifying. No character's bytes include an ASCII byte, so a kept
  // ASCII byte is a character of its own and the forward scan lands on it: the last one
  // before the tail is where scanning forward can start.
  size_t end = begin;
  size_t from = text.size();
  while (from > begin) {
    const unsigned char c = static_cast<unsigned char>(text[from - 1]);
    if (c < 0x80 && !drop(c)) {
      end = from;
      break;
    }
    --from;
  }
  // Scanning forward keeps multi-byte characters whole; remember where the last kept one ends.
  for (size_t pos = from; pos < text.size();) {
    auto [cp, len] = decodeAt(text, pos);
    pos += len;
    if (!drop(cp)) end = pos;
  }
  return std::string(text.substr(begin, end - begin));
}

}  // namespace

bool isAlphanumeric(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    auto [cp, len] = decodeAt(text, pos);
    if (cp == kReplacement && len == 1) return false;
    if ((U_GET_GC_MASK(static_cast<UChar32>(cp)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) == 0) return false;
    pos += len;
  }
  return true;
}

std::string trimWhitespace(std::string_view text) { return trimmed(text, isWhitespace); }

std::string trimWhitespaceAndNewlines(std::string_view text) {
  return trimmed(text, [](char32_t cp) { return isWhitespace(cp) || isNewline(cp); });
}

std::string lowercase(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCaseMap, decltype(&ucasemap_close)> map(ucasemap_open("", U_FOLD_CASE_DEFAULT, &status),
                                                           &ucasemap_close);
  std::string out;
  // Well-formed runs go through the case mapping; ill-formed bytes are copied as they are.
  auto flush = [&](std::string_view run) {
    if (run.empty()) return;
    if (U_FAILURE(status)) {
      out += run;
      return;
    }
    std::string buf(run.size() * 3 + 16, '\0');
    UErrorCode s = U_ZERO_ERROR;
    int32_t n = ucasemap_utf8ToLower(map.get(), buf.data(), static_cast<int32_t>(buf.size()), run.data(),
                                     static_cast<int32_t>(run.size()), &s);
    if (s == U_BUFFER_OVERFLOW_ERROR) {
      buf.resize(static_cast<size_t>(n));
      s = U_ZERO_ERROR;
      n = ucasemap_utf8ToLower(map.get(), buf.data(), static_cast<int32_t>(buf.size()), run.data(),
                               static_cast<int32_t>(run.size()), &s);
    }
    if (U_FAILURE(s)) {
      out += run;
      return;
    }
    out.append(buf.data(), static_cast<size_t>(n));
  };
  size_t runStart = 0;
  for (size_t pos = 0; pos < text.size();) {
    auto [cp, len] = decodeAt(text, pos);
    if (cp == kReplacement && len == 1) {
      flush(text.substr(runStart, pos - runStart));
      out.push_back(text[pos]);
      runStart = pos + 1;
    }
    pos += len;
  }
  flush(text.substr(runStart));
  return out;
}

size_t utf16Length(std::string_view text) {
  size_t units = 0;
  for (size_t pos = 0; pos < text.size();) {
    auto [cp, len] = decodeAt(text, pos);
    units += cp > 0xFFFF ? 2 : 1;
    pos += len;
  }
  return units;
}

std::string prefixUtf16(std::string_view text, size_t units) {
  size_t pos = 0, used = 0;
  while (pos < text.size()) {
    auto [cp, len] = decodeAt(text, pos);
    size_t need = cp > 0xFFFF ? 2 : 1;
    if (used + need > units) break;
    used += need;
    pos += len;
  }
  return std::string(text.substr(0, pos));
}

}  // namespace platform
