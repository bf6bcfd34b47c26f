#pragma once
// Number texts for screen facts: "%f" without trailing zeros or a trailing point.
#include <string>

namespace quillon {

class QLNumberUtilities {
 public:
  // 2.0 → "2", 1.5 → "1.5", 320.0 → "320".
  static std::string stringWithFloat(double value);
};

}  // namespace quillon
