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
// tokeniser's scratch text; it is valid until the next getToken() or appendData().
struct CZJsonTokenValue {
  std::string_view string;
  platform::Value number;
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
  int getToken(CZJsonTokenValue* value);
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

 private:
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
  bool endOfInput_ = false;
};

}  // namespace cadenzo
