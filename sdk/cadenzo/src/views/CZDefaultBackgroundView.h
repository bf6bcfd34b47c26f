#pragma once
// The dimming background behind interstitials and the loading overlay: a black radial
// gradient from the centre to the corners, lighter in the middle (alpha 0.4 to 0.6), or,
// reversed, darker in the middle (0.9 to 0.8). Not opaque, clear background.
// Main thread only.
#include <memory>

#include "platform/view.h"

namespace cadenzo {

class CZDefaultBackgroundView : public platform::View {
 public:
  static std::shared_ptr<CZDefaultBackgroundView> createWithFrame(const platform::Rect& frame) {
    return std::make_shared<CZDefaultBackgroundView>(frame);
  }
  explicit CZDefaultBackgroundView(const platform::Rect& frame);

  bool isGradientReversed() const { return gradientReversed_; }
  // Stores the flag and asks for a redraw.
  void setGradientReversed(bool reversed);

  void drawRect(const platform::Rect& rect) override;

 private:
  bool gradientReversed_ = false;
};

}  // namespace cadenzo
