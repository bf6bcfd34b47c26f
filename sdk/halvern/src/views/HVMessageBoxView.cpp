#include "HVMessageBoxView.h"

#include <algorithm>

#include "platform/screen.h"

namespace halvern {

using platform::Color;
using platform::Rect;
using platform::Size;

std::shared_ptr<HVMessageBoxView> HVMessageBoxView::create(const Rect& frame) {
  auto view = std::make_shared<HVMessageBoxView>(frame);
  view->initialize();
  return view;
}

HVMessageBoxView::HVMessageBoxView(const Rect& frame) : View(frame) {}

void HVMessageBoxView::initialize() {
  updateBackgroundLayerForSize(bounds().size);
  layoutViews();
  contentView_ = std::make_shared<platform::ScrollView>(platform::rectInset(bounds(), cornerRadius_, cornerRadius_));
  contentView_->setBackgroundColor(Color::clearColor());
  contentView_->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
  addSubview(contentView_);
}

double HVMessageBoxView::centreX() const { return contentView_->bounds().size.width / 2; }

void HVMessageBoxView::setContentHeight(double height) {
  contentSize_.height = height;
  contentView_->setContentSize(contentSize_);
}

void HVMessageBoxView::addView(const std::shared_ptr<platform::View>& view) {
  if (!view || !contentView_) return;
  contentView_->addSubview(view);
  const double height = view->frame().size.height;
  view->setCenter({centreX(), contentSize_.height + height / 2});
  setContentHeight(contentSize_.height + height);
}

void HVMessageBoxView::removeView(const std::shared_ptr<platform::View>& view) {
  if (!view || !contentView_ || view->superview() != contentView_) return;
  const double height = view->frame().size.height;
  const auto stacked = contentView_->subviews();
  auto at = std::find(stacked.begin(), stacked.end(), view);
  for (auto later = at + 1; later < stacked.end(); ++later) {
    auto centre = (*later)->center();
    (*later)->setCenter({centre.x, centre.y - height});
  }
  view->removeFromSuperview();
  setContentHeight(contentSize_.height - height);
}

void HVMessageBoxView::layoutViews() {
  if (!contentView_) return;
  double height = 0;
  for (const auto& view : contentView_->subviews()) {
    const double h = view->frame().size.height;
    view->setCenter({centreX(), height + h / 2});
    height += h;
  }
  setContentHeight(height);
}

void HVMessageBoxView::sizeToFit() {
  if (!contentView_ || contentView_->subviews().empty()) return;
  Rect all = contentView_->subviews().front()->frame();
  for (const auto& view : contentView_->subviews()) all = platform::rectUnion(all, view->frame());
  Size size = platform::rectInset(all, -2 * cornerRadius_, -2 * cornerRadius_).size;
  size.height = std::min(size.height, kMaximumHeight);
  setBounds(Rect(0, 0, size.width, size.height));
  updateBackgroundLayerForSize(size);
  layoutViews();
}

void HVMessageBoxView::updateBackgroundLayerForSize(Size size) {
  cornerRadius_ = platform::Screen::mainScreen().bounds().size.width / 20.0;
  bgLayer_ = platform::DrawingLayer::createWithContext(platform::GraphicsContext::current(), size);
  auto& context = bgLayer_->context();
  const double w = size.width, h = size.height, r = cornerRadius_;
  // Corners of cubic curves rather than arcs: softer than a quarter circle.
  const auto outline = [&] {
    context.beginPath();
    context.moveToPoint(r, 0);
    context.addLineToPoint(w - r, 0);
    context.addCurveToPoint(w - r / 2, 0, w, r / 2, w, r);
    context.addLineToPoint(w, h - r);
    context.addCurveToPoint(w, h - r / 2, w - r / 2, h, w - r, h);
    context.addLineToPoint(r, h);
    context.addCurveToPoint(r / 2, h, 0, h - r / 2, 0, h - r);
    context.addLineToPoint(0, r);
    context.addCurveToPoint(0, r / 2, r / 2, 0, r, 0);
    context.closePath();
  };
  outline();
  context.clip();
  const platform::Gradient gradient{
      {Color::rgba(0.5, 0.5, 0.5, 0.75), Color::rgba(0.25, 0.25, 0.25, 0.75), Color::rgba(0, 0, 0, 0.75)},
      {0.0, 0.1, 1.0}};
  context.drawLinearGradient(gradient, {0, 0}, {0, h}, 0);
  // Inside the clip, so only the inner half of the line shows.
  outline();
  context.setStrokeColor(Color::rgba(1, 1, 1, 1));
  context.setLineWidth(kBorderWidth);
  context.strokePath();
  setOpaque(false);
  setBackgroundColor(Color::clearColor());
  setNeedsDisplay();
}

void HVMessageBoxView::drawRect(const Rect&) {
  if (auto* context = platform::GraphicsContext::current(); context && bgLayer_)
    context->drawLayerAtPoint(bgLayer_, {0, 0});
}

}  // namespace halvern
