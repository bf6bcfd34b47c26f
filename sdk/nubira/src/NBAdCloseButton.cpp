#include "NBAdCloseButton.h"

#include "platform/graphics.h"

namespace nubira {

void NBAdCloseButton::drawRect(const platform::Rect&) {
  auto* context = platform::GraphicsContext::current();
  if (!context) return;
  const auto frame = bounds();
  drawOuterRectFrame(*context, frame);
  drawInnerRectFrame(*context, frame);
}

void NBAdCloseButton::drawOuterRectFrame(platform::GraphicsContext& context, const platform::Rect& frame) {
  context.saveGState();
  context.setFillColor(platform::Color::whiteColor());
  context.beginPath();
  context.addRoundedRect(frame, 12);
  context.fillPath();
  context.restoreGState();
}

void NBAdCloseButton::drawInnerRectFrame(platform::GraphicsContext& context, const platform::Rect& frame) {
  const platform::Rect inner(frame.origin.x + 2.5, frame.origin.y + 2.5, frame.size.width - 5, frame.size.height - 5);
  context.saveGState();
  context.setFillColor(platform::Color::blackColor());
  context.beginPath();
  context.addRoundedRect(inner, 10);
  context.fillPath();
  context.setStrokeColor(platform::Color::whiteColor());
  context.setLineWidth(3.0);
  context.beginPath();
  context.moveToPoint(8.5, 8);
  context.addLineToPoint(16.5, 16);
  context.moveToPoint(16.5, 8);
  context.addLineToPoint(8.5, 16);
  context.strokePath();
  context.restoreGState();
}

}  // namespace nubira
