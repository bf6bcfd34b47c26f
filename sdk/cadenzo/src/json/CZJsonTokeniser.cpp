#include "CZJsonTokeniser.h"

#include <cstring>

#include "platform/utf8.h"
#include "platform/format.h"

namespace cadenzo {

namespace {

inline bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

inline int hexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Numbers with this many digits or more no longer fit the 64-bit mantissa exactly and are
// read from their text instead.
constexpr int kMaxMantissaDigits = 19;

// Explicit exponents stop accumulating here; anything this large is out of range anyway.
constexpr int64_t kExponentCap = 1000000;

// Writes into `out` the canonical text of the decimal number sign × digits × 10^exponent:
// no exponent form, no leading or trailing zeros, "0" for zero. False when the exponent
// (after moving trailing zeros into it) lies outside what a decimal number can hold.
// `out` keeps its memory from number to number, so a number's text costs no allocation.
bool writeDecimalText(bool negative, std::string_view digits, int64_t exponent, std::string& out) {
  size_t first = digits.find_first_not_of('0');
  if (first == std::string_view::npos) {
    out.assign(1, '0');
    return true;
  }
  digits.remove_prefix(first);
  while (digits.back() == '0') {
    digits.remove_suffix(1);
    ++exponent;
  }
  if (exponent < CZJsonTokeniser::kMinExponent || exponent > CZJsonTokeniser::kMaxExponent) {
    return false;
  }
  const int64_t point = static_cast<int64_t>(digits.size()) + exponent;
  const size_t size = (negative ? 1 : 0) +
                      (exponent >= 0 ? digits.size() + static_cast<size_t>(exponent)
                       : point > 0   ? digits.size() + 1
                                     : 2 + static_cast<size_t>(-point) + digits.size());
  out.resize(size);
  char* p = out.data();
  if (negative) *p++ = '-';
  auto put = [&p](std::string_view part) {
    std::memcpy(p, part.data(), part.size());
    p += part.size();
  };
  if (exponent >= 0) {
    put(digits);
    std::memset(p, '0', static_cast<size_t>(exponent));
  } else if (point > 0) {
    put(digits.substr(0, static_cast<size_t>(point)));
    *p++ = '.';
    put(digits.substr(static_cast<size_t>(point)));
  } else {
    *p++ = '0';
    *p++ = '.';
    std::memset(p, '0', static_cast<size_t>(-point));
    p += -point;
    put(digits);
  }
  return true;
}

// The same text as writeDecimalText() for digits that fit the mantissa, written straight from
// it: most decimals in a document are short, and this makes their text without a string or
// a copy. Answers the text's size, 0 when the exponent is out of range.
size_t writeMantissaText(bool negative, uint64_t mantissa, int64_t exponent,
                         char (&out)[CZJsonTokeniser::kMantissaTextSize]) {
  if (mantissa == 0) {
    out[0] = '0';
    return 1;
  }
  while (mantissa % 10 == 0) {
    mantissa /= 10;
    ++exponent;
  }
  if (exponent < CZJsonTokeniser::kMinExponent || exponent > CZJsonTokeniser::kMaxExponent) {
    return 0;
  }
  int64_t digits = 1;
  for (uint64_t power = 10; digits < 19 && mantissa >= power; power *= 10) ++digits;
  const int64_t point = digits + exponent;
  // Laid out as: sign, then "0." and zeros when the point comes before the digits, the
  // digits with the point among them, zeros when it comes after them.
  const int64_t lead = point > 0 ? 0 : 2 - point;
  const int64_t trail = exponent > 0 ? exponent : 0;
  const int64_t size = (negative ? 1 : 0) + lead + digits + (point > 0 && exponent < 0 ? 1 : 0) + trail;
  char* p = out;
  if (negative) *p++ = '-';
  if (lead) {
    *p++ = '0';
    *p++ = '.';
    for (int64_t k = 2; k < lead; ++k) *p++ = '0';
  }
  char* q = out + size - trail;
  for (int64_t k = 0; k < trail; ++k) q[k] = '0';
  // The digits from the last, with the point after `-exponent` of them when it falls inside.
  const int64_t fraction = point > 0 && exponent < 0 ? -exponent : -1;
  for (int64_t k = 0; mantissa; ++k) {
    if (k == fraction) *--q = '.';
    *--q = static_cast<char>('0' + mantissa % 10);
    mantissa /= 10;
  }
  return static_cast<size_t>(size);
}

}  // namespace

int CZJsonTokeniser::fail(std::string message) {
  error_ = std::move(message);
  return CZJsonTokenError;
}

int CZJsonTokeniser::getValueToken(uint8_t ch, CZJsonTokenValue* value) {
  switch (ch) {
    case '"': return getStringToken(value);
    case '+': return fail("Leading + is illegal in number");
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      return getNumberToken(value);
    case 't': return match("true", 4, CZJsonTokenTrue);
    case 'f': return match("false", 5, CZJsonTokenFalse);
    case 'n': return match("null", 4, CZJsonTokenNull);
    default:
      return fail(platform::format("Illegal start of token [%c]", static_cast<int>(ch)));
  }
}

int CZJsonTokeniser::match(const char* keyword, size_t length, int retval) {
  if (!stream_.haveRemainingCharacters(length)) return CZJsonTokenEOF;
  if (!stream_.skipCharacters(keyword, length)) {
    return fail(platform::format("Expected '%s' after initial '%.1s'", keyword, keyword));
  }
  return retval;
}

int CZJsonTokeniser::getStringToken(CZJsonTokenValue* value) {
  const size_t start = stream_.index();
  stream_.skip();  // the opening quote
  bool copied = false;  // true once the text lives in scratch_ (after the first escape)
  for (;;) {
    std::string_view run;
    bool high = false;
    if (!stream_.getRetainedStringFragment(&run, &high)) {
      stream_.setIndex(start);
      return CZJsonTokenEOF;
    }
    if (high && !platform::isValidUtf8(run)) {
      return fail("Broken Unicode encoding");
    }
    uint8_t ch = 0;
    stream_.getUnichar(&ch);
    if (ch == '"') {
      stream_.skip();
      if (copied) {
        scratch_.append(run);
        value->string = scratch_;
      } else {
        value->string = run;
      }
      return CZJsonTokenString;
    }
    if (copied) {
      scratch_.append(run);
    } else {
      scratch_.assign(run);
      copied = true;
    }
    if (ch == '\\') {
      uint8_t escape;
      if (!stream_.getNextUnichar(&escape)) {
        stream_.setIndex(start);
        return CZJsonTokenEOF;
      }
      int r = decodeEscape(escape, scratch_);
      if (r == 0) {
        stream_.setIndex(start);
        return CZJsonTokenEOF;
      }
      if (r < 0) return CZJsonTokenError;
    } else if (ch < 0x20) {
      return fail(platform::format("Unescaped control character [0x%0.2X]", static_cast<int>(ch)));
    } else {
      return fail(platform::format("Invalid UTF-8: '%x'", static_cast<int>(ch)));
    }
  }
}

int CZJsonTokeniser::decodeEscape(uint8_t ch, std::string& out) {
  // The read position is on the byte after the backslash.
  switch (ch) {
    case '"':
    case '\\':
    case '/': out.push_back(static_cast<char>(ch)); stream_.skip(); return 1;
    case 'b': out.push_back('\b'); stream_.skip(); return 1;
    case 'f': out.push_back('\f'); stream_.skip(); return 1;
    case 'n': out.push_back('\n'); stream_.skip(); return 1;
    case 'r': out.push_back('\r'); stream_.skip(); return 1;
    case 't': out.push_back('\t'); stream_.skip(); return 1;
    case 'u': break;
    default: fail("Illegal escape character"); return -1;
  }
  stream_.skip();  // the "u"
  uint32_t high;
  int r = decodeHexQuad(&high);
  if (r <= 0) return r;
  if (high >= 0xDC00 && high <= 0xDFFF) {
    fail("Invalid high character in surrogate pair");
    return -1;
  }
  if (high < 0xD800 || high > 0xDBFF) {
    platform::appendUtf8(out, high);
    return 1;
  }
  uint8_t c;
  if (!stream_.getUnichar(&c)) return 0;
  if (c != '\\') {
    fail("Missing low character in surrogate pair");
    return -1;
  }
  if (!stream_.getNextUnichar(&c)) return 0;
  if (c != 'u') {
    fail("Missing low character in surrogate pair");
    return -1;
  }
  stream_.skip();
  uint32_t low;
  r = decodeHexQuad(&low);
  if (r <= 0) return r;
  if (low < 0xDC00 || low > 0xDFFF) {
    fail("Invalid low character in surrogate pair");
    return -1;
  }
  platform::appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
  return 1;
}

int CZJsonTokeniser::decodeHexQuad(uint32_t* quad) {
  uint32_t v = 0;
  for (int k = 0; k < 4; ++k) {
    uint8_t c;
    if (!stream_.getUnichar(&c)) return 0;
    int h = hexValue(c);
    if (h < 0) {
      fail("Invalid hex quad");
      return -1;
    }
    v = (v << 4) | static_cast<uint32_t>(h);
    stream_.skip();
  }
  *quad = v;
  return 1;
}

int CZJsonTokeniser::getNumberToken(CZJsonTokenValue* value) {
  // Read from local copies of the buffer's bounds; the read position moves only once the
  // whole number is there, so a number cut by the end of the bytes is read again whole.
  const uint8_t* const bytes = stream_.bytes();
  const size_t start = stream_.index();
  const size_t end = stream_.length();
  size_t i = start;
  int ch = bytes[i];
  // Moves to the byte after a digit. At the end of the bytes so far the number may go on,
  // unless the input has ended: then a 0 stands for "no further byte" and ends the digits.
  auto nextAfterDigit = [&] {
    if (++i < end) {
      ch = bytes[i];
      return true;
    }
    ch = 0;
    return endOfInput_;
  };
  // Moves to the next byte where the number cannot end yet.
  auto next = [&] {
    if (++i >= end) return false;
    ch = bytes[i];
    return true;
  };
  bool negative = false;
  if (ch == '-') {
    negative = true;
    if (!next()) return CZJsonTokenEOF;
    if (!isDigit(ch)) return fail("No digits after initial minus");
  }
  uint64_t mantissa = 0;
  int digits = 0;
  if (ch == '0') {
    digits = 1;
    if (!nextAfterDigit()) return CZJsonTokenEOF;
    if (isDigit(ch)) return fail("Leading zero is illegal in number");
  } else {
    while (isDigit(ch)) {
      if (digits < kMaxMantissaDigits) mantissa = mantissa * 10 + static_cast<uint64_t>(ch - '0');
      ++digits;
      if (!nextAfterDigit()) return CZJsonTokenEOF;
    }
  }
  const size_t integerEnd = i;
  bool isFloat = false;
  int64_t exponent = 0;
  size_t fractionStart = integerEnd, fractionEnd = integerEnd;
  if (ch == '.') {
    isFloat = true;
    if (!next()) return CZJsonTokenEOF;
    if (!isDigit(ch)) return fail("No digits after decimal point");
    fractionStart = i;
    while (isDigit(ch)) {
      if (digits < kMaxMantissaDigits) mantissa = mantissa * 10 + static_cast<uint64_t>(ch - '0');
      ++digits;
      --exponent;
      if (!nextAfterDigit()) return CZJsonTokenEOF;
    }
    fractionEnd = i;
  }
  if (ch == 'e' || ch == 'E') {
    isFloat = true;
    if (!next()) return CZJsonTokenEOF;
    bool negativeExponent = false;
    if (ch == '+' || ch == '-') {
      negativeExponent = ch == '-';
      if (!next()) return CZJsonTokenEOF;
    }
    if (!isDigit(ch)) return fail("No digits in exponent");
    int64_t e = 0;
    while (isDigit(ch)) {
      if (e < kExponentCap) e = e * 10 + (ch - '0');
      if (!nextAfterDigit()) return CZJsonTokenEOF;
    }
    exponent += negativeExponent ? -e : e;
  }

  if (digits >= kMaxMantissaDigits) {
    // Too many digits for the mantissa: read them from the token's text.
    size_t intStart = start + (negative ? 1 : 0);
    scratch_.assign(stream_.stringWithRange(intStart, integerEnd - intStart));
    scratch_.append(stream_.stringWithRange(fractionStart, fractionEnd - fractionStart));
    if (!writeDecimalText(negative, scratch_, exponent, numberText_)) {
      return fail("Exponent out of range in number");
    }
    value->numberKind = CZJsonTokenValue::kDecimal;
    value->string = numberText_;
  } else if (isFloat && fractionEnd == i && mantissa % 10 != 0) {
    // A fraction with no exponent and no trailing zero is its own canonical text.
    value->numberKind = CZJsonTokenValue::kDecimal;
    value->string = stream_.stringWithRange(start, i - start);
  } else if (isFloat) {
    const size_t n = writeMantissaText(negative, mantissa, exponent, mantissaText_);
    if (!n) return fail("Exponent out of range in number");
    value->numberKind = CZJsonTokenValue::kDecimal;
    value->string = std::string_view(mantissaText_, n);
  } else if (negative) {
    value->numberKind = CZJsonTokenValue::kSigned;
    value->integer = static_cast<uint64_t>(-static_cast<int64_t>(mantissa));
  } else {
    value->numberKind = CZJsonTokenValue::kUnsigned;
    value->integer = mantissa;
  }
  stream_.setIndex(i);
  return CZJsonTokenNumber;
}

}  // namespace cadenzo
