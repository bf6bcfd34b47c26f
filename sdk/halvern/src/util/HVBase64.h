#pragma once
// Base64 of the standard alphabet with "=" padding and no line breaks, as the database and
// the pages' file commands store binary values. Decoding skips what is not in the alphabet
// (line breaks, blanks, bytes above 0x7F) and ignores trailing "=". Thread-safe.
#include <string>
#include <string_view>

#include "platform/value.h"

namespace halvern {

class HVBase64 {
 public:
  static std::string base64StringWithData(const platform::Bytes& data);
  static std::string base64StringWithString(std::string_view text);
  static platform::Bytes dataWithBase64String(std::string_view text);
  static platform::Bytes dataWithBase64Data(const platform::Bytes& data);
  // The decoded bytes taken as UTF-8 text.
  static std::string stringWithBase64String(std::string_view text);
  static std::string stringWithBase64Data(const platform::Bytes& data);
};

}  // namespace halvern
