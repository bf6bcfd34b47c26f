#include "CZDefaultBackgroundView.h"

#include <cmath>

#include "platform/graphics.h"

namespace cadenzo {

CZDefaultBackgroundView::CZDefaultBackgroundView(const platform::Rect& frame)
    : platform::View(frame) {
  setOpaque(false);
  setBackgroundColor(platform::Color::clearColor());
}

void CZDefaultBackgroundView::setGradientReversed(bool reversed) {
  gradientReversed_ = reversed;
  setNeedsDisplay();
}

void CZDefaultBackgroundView::drawRect(const platform::Rect& rect) {
  platform::GraphicsContext* context = platform::GraphicsContext::current();
  if (!context) return;
  const double w = rect.size.width, h = rect.size.height;
  platform::Gradient gradient;
  if (gradientReversed_) {
    gradient.colors = {platform::Color::rgba(0, 0, 0, 0.9), platform::Color::rgba(0, 0, 0, 0.8)};
  } else {
    gradient.colors = {platform::Color::rgba(0, 0, 0, 0.4), platform::Color::rgba(0, 0, 0, 0.6)};
  }
  const platform::Point center{w / 2, h / 2};
  const double radius = std::sqrt((w / 2) * (w / 2) + (h / 2) * (h / 2));
  context->drawRadialGradient(gradient, center, 0, center, radius, 0);
}

}  // namespace cadenzo
