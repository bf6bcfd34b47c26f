#pragma once
// The client's own button pictures (a 50 x 50 pixel close button, 54 x 54 pixel back and
// forward arrows), held as Base64 PNG text and shown at scale 2. Each is decoded once.
#include <memory>

#include "platform/image.h"

namespace quillon {

class QLIntrinsicImages {
 public:
  static std::shared_ptr<platform::Image> closeButton();
  static std::shared_ptr<platform::Image> browserBackButton();
  static std::shared_ptr<platform::Image> browserForwardButton();
};

}  // namespace quillon
