#pragma once
// Small helpers shared by the client: the delegate test, the blank test, the MD5 hash and
// the rotation for an interface orientation.
#include <string>
#include <string_view>

#include "platform/geometry.h"

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

// What turns a view upright for an interface orientation: a half turn for 2 (upside down),
// `landscapeLeftAngle` for 4, its opposite for 3, and no rotation otherwise.
platform::AffineTransform rotationForInterfaceOrientation(int orientation, double landscapeLeftAngle);

}  // namespace nubira
