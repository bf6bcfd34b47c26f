#pragma once
// Built-in pictures of the in-ad browser's buttons (8 x 10 pixels) and an HTML template.
#include <memory>

#include "platform/image.h"

namespace halvern {

class HVResources {
 public:
  static std::shared_ptr<platform::Image> backButton();
  static std::shared_ptr<platform::Image> backButtonDisabled();
  static std::shared_ptr<platform::Image> forwardButton();
  static std::shared_ptr<platform::Image> forwardButtonDisabled();
  // A format taking the viewport width (%d), the video URL (%@) and the embed's width and
  // height (%0.0f each).
  static const char* youtubeTemplateHTML();
};

}  // namespace halvern
