#include "CZIndeterminateProgressBar.h"

#include "platform/graphics.h"

namespace cadenzo {

using platform::Passkey;

CZIndeterminateProgressBar::CZIndeterminateProgressBar(Passkey<CZIndeterminateProgressBar>, const platform::Rect& frame)
    : platform::View(frame) {
  setBackgroundColor(platform::Color::clearColor());
  setClearsContextBeforeDrawing(true);
}

std::shared_ptr<CZIndeterminateProgressBar> CZIndeterminateProgressBar::createWithFrame(
    const platform::Rect& frame) {
  auto bar = std::make_shared<CZIndeterminateProgressBar>(Passkey<CZIndeterminateProgressBar>{}, frame);
  bar->startTimer();
  return bar;
}

CZIndeterminateProgressBar::~CZIndeterminateProgressBar() { stopTimer(); }

void CZIndeterminateProgressBar::startTimer() {
  if (isAnimating()) return;
  std::weak_ptr<CZIndeterminateProgressBar> weakSelf = sharedAs<CZIndeterminateProgressBar>();
  timer_ = platform::Timer::scheduledTimer(kTickInterval, true, [weakSelf](platform::Timer& timer) {
    if (auto self = weakSelf.lock()) {
      self->step();
    } else {
      timer.invalidate();
    }
  });
}

void CZIndeterminateProgressBar::stopTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

void CZIndeterminateProgressBar::didMoveToWindow() {
  // A bar nobody can see has no reason to keep the main loop busy.
  if (window()) {
    startTimer();
  } else {
    stopTimer();
  }
}

void CZIndeterminateProgressBar::step() {
  offset_ += 1;
  float limit = static_cast<float>(bounds().size.height) - 9;
  if (limit <= 0) {
    offset_ = 0;  // too short for stripes
  } else if (offset_ > limit) {
    offset_ -= 2 * limit;
  }
  setNeedsDisplay();
}

void CZIndeterminateProgressBar::drawRect(const platform::Rect&) {
  platform::GraphicsContext* context = platform::GraphicsContext::current();
  if (!context) return;
  const platform::Rect b = bounds();
  const double x = b.origin.x, y = b.origin.y, w = b.size.width, h = b.size.height;
  context->setStrokeColor(platform::Color::whiteColor());
  context->setFillColor(platform::Color::whiteColor());

  context->setLineWidth(3);
  context->addRoundedRect(platform::Rect(x + 1.5, y + 1.5, w - 3, h - 3), (h - 3) / 2);
  context->strokePath();

  context->addRoundedRect(platform::Rect(x + 4.5, y + 4.5, w - 9, h - 9), (h - 9) / 2);
  context->clip();

  const double s = h - 9;
  if (s <= 0) return;  // no room for stripes (and no end to the loop below)
  for (double stripeX = offset_ - s; stripeX < (w - 9) + s; stripeX += 2 * s) {
    const double left = x + 4.5 + stripeX, top = y + 4.5;
    context->moveToPoint(left, top + s);
    context->addLineToPoint(left + s, top + s);
    context->addLineToPoint(left + 2 * s, top);
    context->addLineToPoint(left + s, top);
    context->closePath();
    context->fillPath();
  }
}

}  // namespace cadenzo
