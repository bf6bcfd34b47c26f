#pragma once
// Facts about the device and the application that ad requests and pages ask for.
#include <string>
#include <vector>

#include "platform/value.h"

namespace quillon {

class QLIdentifierUtilities {
 public:
  // Each URL text with whether the application can open it (a boolean).
  static platform::Dictionary canOpenURLs(const std::vector<std::string>& urls);
};

}  // namespace quillon
