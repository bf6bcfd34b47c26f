#include "CZNativeMoreAppsRoundedImageView.h"

#include <cmath>

#include "platform/screen.h"

namespace cadenzo {

using platform::Rect;

void CZNativeMoreAppsRoundedImageView::setImage(std::shared_ptr<platform::Image> image) {
  realImage_ = std::move(image);
  redrawImage();
}

void CZNativeMoreAppsRoundedImageView::redrawImage() {
  const Rect b = bounds();
  const Rect area(0, 0, b.size.width, b.size.height);
  auto context = std::make_shared<platform::GraphicsContext>(area.size);
  platform::GraphicsContext::pushContext(context.get());
  context->saveGState();
  platform::BezierPath::pathWithRoundedRect(area, kCornerRadius).addClip();
  if (realImage_) context->drawImage(realImage_, area);
  context->restoreGState();
  auto outline = platform::BezierPath::pathWithRoundedRect(Rect(0.5, 0.5, area.size.width - 1, area.size.height - 1),
                                                           kCornerRadius);
  outline.setLineWidth(1);
  context->setStrokeColor(platform::Color::rgba(0, 0, 0, 0.65));
  outline.stroke();
  platform::GraphicsContext::popContext();
  roundedDrawing_ = context;

  const double scale = platform::Screen::mainScreen().scale();
  platform::ImageView::setImage(
      realImage_ ? platform::Image::imageWithPixelSize(static_cast<int>(std::lround(area.size.width * scale)),
                                                      static_cast<int>(std::lround(area.size.height * scale)), scale)
                 : nullptr);
}

}  // namespace cadenzo
