#include "NBUtilities.h"

#include <cmath>

#include "NBSDKUtil.h"
#include "platform/crypto.h"
#include "platform/text_helpers.h"

namespace nubira {

bool NBUtilities::delegateRespondsToSelector(bool hasDelegate, bool responds, std::string_view selector) {
  if (hasDelegate && responds) return true;
  auto util = NBSDKUtil::util();
  if (hasDelegate) {
    util->logAbove(1, "delegate does not respond to selector: %@", std::string(selector));
  } else {
    util->logAbove(1, "\ndelegate is nil!");
  }
  return false;
}

bool NBStringUtil::isEmpty(const std::string* text) {
  return !text || platform::trimWhitespaceAndNewlines(*text).empty();
}

std::string HashMD5::inputString(std::string_view text) { return platform::crypto::md5Hex(text); }

platform::AffineTransform rotationForInterfaceOrientation(int orientation, double landscapeLeftAngle) {
  switch (orientation) {
    case 2: return platform::AffineTransform::makeRotation(M_PI);
    case 3: return platform::AffineTransform::makeRotation(-landscapeLeftAngle);
    case 4: return platform::AffineTransform::makeRotation(landscapeLeftAngle);
    default: return platform::AffineTransform::identity();
  }
}

}  // namespace nubira
