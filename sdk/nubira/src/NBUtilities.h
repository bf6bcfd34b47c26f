#pragma once
// Small helpers shared by the client: the delegate test, the blank test and the MD5 hash.
#include <string>
#include <string_view>

namespace nubira {

class NBUtilities {
 public:
  // True when there is a delegate and it implements the message; otherwise false, with a
  // diagnostic naming the message (or the missing delegate) above log level 1.
  static bool delegateRespondsToSelector(bool hasDelegate, bool responds, std::string_view selector);
};

class NBStringUtil {
 public:
  // True for no string, or one that is nothing but white space and line breaks.
  static bool isEmpty(const std::string* text);
  static bool isEmpty(const std::string& text) { return isEmpty(&text); }
};

class HashMD5 {
 public:
  // The MD5 of the text's UTF-8 bytes as 32 lower-case hexadecimal digits.
  static std::string inputString(std::string_view text);
};

}  // namespace nubira
