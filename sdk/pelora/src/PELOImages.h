#pragma once
// The client's own button pictures, held as Base64 PNG text and decoded once each: the
// 30 x 30 close button of expanded ads and the toast, and the 132 x 29 "Skip Ad" background.
#include <memory>

#include "platform/image.h"

namespace pelora {

class PELOImages {
 public:
  static std::shared_ptr<platform::Image> closeButton();
  static std::shared_ptr<platform::Image> skipButtonBackground();
};

}  // namespace pelora
