#pragma once
// The close button of a full-screen ad: a white rounded square with a black inset and a
// white cross, drawn by the button itself. 25 x 25 points.
#include <memory>

#include "platform/controls.h"

namespace nubira {

class NBAdCloseButton : public platform::Button {
 public:
  static std::shared_ptr<NBAdCloseButton> buttonWithType(platform::ButtonType type) {
    return std::make_shared<NBAdCloseButton>(type);
  }
  explicit NBAdCloseButton(platform::ButtonType type) : platform::Button(type) {}

  void drawRect(const platform::Rect& rect) override;

 private:
  static void drawOuterRectFrame(platform::GraphicsContext& context, const platform::Rect& frame);
  static void drawInnerRectFrame(platform::GraphicsContext& context, const platform::Rect& frame);
};

}  // namespace nubira
