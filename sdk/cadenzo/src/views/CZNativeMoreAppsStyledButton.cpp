#include "CZNativeMoreAppsStyledButton.h"

#include <algorithm>

#include "platform/graphics.h"

namespace cadenzo {

using platform::Color;
using platform::Rect;

CZNativeMoreAppsStyledButton::CZNativeMoreAppsStyledButton(const Rect& frame)
    : platform::Button(platform::ButtonType::Custom, frame) {
  titleLabel()->setFont(platform::Font::boldSystemFontOfSize(13));
  titleLabel()->setTextAlignment(platform::TextAlignment::Center);
  titleLabel()->setShadowColor(Color::rgba(0, 0.29296875, 0.44921875, 1));
  titleLabel()->setShadowOffset({1, 1});
}

void CZNativeMoreAppsStyledButton::setHighlighted(bool highlighted) {
  const bool changed = highlighted != isHighlighted();
  platform::Button::setHighlighted(highlighted);
  if (changed) setNeedsDisplay();
}

void CZNativeMoreAppsStyledButton::layoutSubviews() {
  platform::Button::layoutSubviews();
  titleLabel()->setFrame(bounds());
}

void CZNativeMoreAppsStyledButton::drawRect(const Rect& rect) {
  (void)rect;
  auto* context = platform::GraphicsContext::current();
  if (!context) return;
  const Rect b = bounds();
  const bool highlighted = isHighlighted();
  std::vector<Color> colors{Color::rgba(0.99609375, 0.76171875, 0.1640625, 1), Color::rgba(0.99609375, 0.6328125, 0, 1),
                            Color::rgba(0.99609375, 0.515625, 0, 1)};
  if (highlighted) std::reverse(colors.begin(), colors.end());

  platform::BezierPath::pathWithRoundedRect(b, kCornerRadius).addClip();
  context->drawLinearGradient(platform::Gradient{colors, {0, 0.5, 1}}, {0, 0}, {0, b.size.height}, 0);

  const Rect inset(b.origin.x + 0.5, b.origin.y + 0.5, b.size.width - 1, b.size.height - 1);
  if (!highlighted) {
    auto light = platform::BezierPath::pathWithRoundedRect(Rect(inset.origin.x, inset.origin.y + 1, inset.size.width,
                                                                inset.size.height),
                                                           kCornerRadius);
    light.setLineWidth(1);
    context->setStrokeColor(Color::whiteColor());
    light.stroke();
  }
  auto edge = platform::BezierPath::pathWithRoundedRect(inset, kCornerRadius);
  edge.setLineWidth(1);
  context->setStrokeColor(Color::rgba(0.734375, 0.390625, 0, 1));
  edge.stroke();
}

}  // namespace cadenzo
