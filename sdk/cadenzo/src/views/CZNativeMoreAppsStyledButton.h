#pragma once
// The call-to-action button of a regular more-apps row: an orange rounded gradient (radius
// 6) with a bold 13-point centred title that has a dark-blue shadow. Highlighted, the
// gradient runs the other way and the white inner line is left out. Every change of the
// highlighted state redraws it. Main thread only.
#include "platform/controls.h"

namespace cadenzo {

class CZNativeMoreAppsStyledButton : public platform::Button {
 public:
  static constexpr double kCornerRadius = 6;

  explicit CZNativeMoreAppsStyledButton(const platform::Rect& frame = platform::Rect{});

  void setHighlighted(bool highlighted) override;
  // The title label fills the bounds.
  void layoutSubviews() override;
  void drawRect(const platform::Rect& rect) override;
};

}  // namespace cadenzo
