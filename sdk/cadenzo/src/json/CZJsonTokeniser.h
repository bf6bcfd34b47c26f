#pragma once
// Cuts the bytes of a CZJsonUTF8Stream into JSON tokens. A token that needs more bytes than
// are present (a cut string, number or keyword) answers "need more input" with the read
// position back on the token's first byte, so the whole token is read again after the next
// append. Not thread-safe: one stream parser owns it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "CZJsonUTF8Stream.h"
#include "platform/value.h"

namespace cadenzo {

// Token codes of getToken().
enum CZJsonToken : int {
  CZJsonTokenError = -1,
  CZJsonTokenEOF = 0,
  CZJsonTokenArrayStart = 1,
  CZJsonTokenArrayEnd = 2,
  CZJsonTokenObjectStart = 3,
  CZJsonTokenObjectEnd = 4,
  CZJsonTokenValueSeparator = 5,
  CZJsonTokenKeyValueSeparator = 6,
  CZJsonTokenNumber = 7,
  CZJsonTokenString = 8,
  CZJsonTokenTrue = 9,
  CZJsonTokenFalse = 10,
  CZJsonTokenNull = 11,
};

// What a string or number token carries. `string` views either the stream's buffer or the
// tokeniser's scratch text; it is valid until the next getToken() or appendData(). A number
// is kept as its parts rather than as a value, so a reader that stores it where it goes
// makes no value in between.
struct CZJsonTokenValue {
  enum NumberKind : uint8_t { kUnsigned, kSigned, kDecimal };
  // A string's text, or a decimal number's canonical text.
  std::string_view string;
  NumberKind numberKind = kUnsigned;
  uint64_t integer = 0;  // an unsigned number, or a signed one's two's complement bits

  platform::Value number() const {
    switch (numberKind) {
      case kUnsigned: return platform::Value(integer);
      case kSigned: return platform::Value(static_cast<int64_t>(integer));
      default: return platform::Value::decimal(string);
    }
  }
};

class CZJsonTokeniser {
 public:
  CZJsonTokeniser() = default;

  // The bytes are read in place until retainRemainder(), which the owner calls before they
  // may go away (see CZJsonUTF8Stream).
  void appendData(const uint8_t* bytes, size_t length) { stream_.appendData(bytes, length); }
  void retainRemainder() { stream_.retainRemainder(); }
  // The next token's code; for numbers and strings `value` receives what they carry.
  // On -1, error() holds the reason.
  // Inline for the one-byte tokens, which are most of a document's; the rest are read by
  // getValueToken().
  int getToken(CZJsonTokenValue* value) {
    stream_.skipWhitespace();
    uint8_t ch;
    if (!stream_.getUnichar(&ch)) return CZJsonTokenEOF;
    switch (ch) {
      case '[': stream_.skip(); return CZJsonTokenArrayStart;
      case ']': stream_.skip(); return CZJsonTokenArrayEnd;
      case '{': stream_.skip(); return CZJsonTokenObjectStart;
      case '}': stream_.skip(); return CZJsonTokenObjectEnd;
      case ',': stream_.skip(); return CZJsonTokenValueSeparator;
      case ':': stream_.skip(); return CZJsonTokenKeyValueSeparator;
      default: return getValueToken(ch, value);
    }
  }
  // The code of a separator at the read position itself (no whitespace before it), else 0,
  // for a caller that expects one: skipSeparator() takes it, as getToken() would have.
  int peekSeparator() const {
    uint8_t ch;
    if (!stream_.getUnichar(&ch)) return 0;
    return ch == ',' ? CZJsonTokenValueSeparator : ch == ':' ? CZJsonTokenKeyValueSeparator : 0;
  }
  void skipSeparator() { stream_.skip(); }
  const std::string& error() const { return error_; }
  // No more bytes will come: a number running to the very end is complete as it stands.
  // Before this, such a number waits for more bytes (its next digit might be on the way).
  void setEndOfInput(bool end) { endOfInput_ = end; }
  // Bytes not yet taken as tokens (after a 0 answer: the start of a token that was cut).
  bool hasUnreadBytes() const { return stream_.index() < stream_.length(); }

  // Numbers whose decimal exponent (after dropping trailing zeros) lies outside this range
  // are refused rather than overflowing: the range a decimal number can hold.
  static constexpr int kMinExponent = -128;
  static constexpr int kMaxExponent = 127;
  // Room for the text of any decimal whose digits fit the mantissa.
  static constexpr size_t kMantissaTextSize = 160;

 private:
  // A string, number or keyword token starting with `ch`, or the error for any other byte.
  int getValueToken(uint8_t ch, CZJsonTokenValue* value);
  int getStringToken(CZJsonTokenValue* value);
  int getNumberToken(CZJsonTokenValue* value);
  int match(const char* keyword, size_t length, int retval);
  // After a backslash at the read position: 1 decoded into `out`, 0 need more, -1 error.
  int decodeEscape(uint8_t ch, std::string& out);
  // Four hex digits at the read position: 1 decoded, 0 need more, -1 error.
  int decodeHexQuad(uint32_t* quad);
  int fail(std::string message);

  CZJsonUTF8Stream stream_;
  std::string error_;
  std::string scratch_;
  std::string numberText_;  // the last long decimal number's text, reused from number to number
  char mantissaText_[kMantissaTextSize];  // the last short decimal number's text
  bool endOfInput_ = false;
};

}  // namespace cadenzo
