#pragma once
// An image view that shows its picture with rounded corners (radius 10) and a thin dark
// outline: setting a picture keeps it as realImage and redraws the rounded version in an
// offscreen context of the bounds' size. The headless platform keeps that drawing
// (roundedDrawing) and shows a code-made image of the bounds' size at the screen scale.
// Main thread only.
#include <memory>

#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/image.h"

namespace cadenzo {

class CZNativeMoreAppsRoundedImageView : public platform::ImageView {
 public:
  static constexpr double kCornerRadius = 10;

  using platform::ImageView::ImageView;

  // Keeps `image` as realImage, then redraws. nullptr clears.
  void setImage(std::shared_ptr<platform::Image> image);
  void redrawImage();

  const std::shared_ptr<platform::Image>& realImage() const { return realImage_; }
  void setRealImage(std::shared_ptr<platform::Image> image) { realImage_ = std::move(image); }
  // The last offscreen drawing, nullptr before the first.
  std::shared_ptr<const platform::GraphicsContext> roundedDrawing() const { return roundedDrawing_; }

 private:
  std::shared_ptr<platform::Image> realImage_;
  std::shared_ptr<platform::GraphicsContext> roundedDrawing_;
};

}  // namespace cadenzo
