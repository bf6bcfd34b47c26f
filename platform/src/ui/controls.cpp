#include "platform/controls.h"

#include <algorithm>
#include <cmath>

namespace platform {

// ---- Control

void Control::addTargetActionForControlEvents(const std::shared_ptr<void>& target, Action action, unsigned events) {
  if (!action || !events) return;
  targets_.push_back({target.get(), target, target != nullptr, std::move(action), events});
}

void Control::removeTargetForControlEvents(const void* target, unsigned events) {
  for (auto& r : targets_)
    if (!target || r.identity == target) r.events &= ~events;
  targets_.erase(std::remove_if(targets_.begin(), targets_.end(), [](const Registration& r) { return r.events == 0; }),
                 targets_.end());
}

void Control::sendActionsForControlEvents(unsigned events) {
  auto self = shared_from_this();
  // An action may add or remove registrations; work on the list as it was.
  auto regs = targets_;
  for (auto& r : regs) {
    if (!(r.events & events)) continue;
    if (r.hasTarget) {
      auto alive = r.target.lock();
      if (!alive) continue;
      r.action(*this);
    } else {
      r.action(*this);
    }
  }
}

unsigned Control::state() const {
  unsigned s = kControlStateNormal;
  if (highlighted_) s |= kControlStateHighlighted;
  if (!enabled_) s |= kControlStateDisabled;
  if (selected_) s |= kControlStateSelected;
  return s;
}

void Control::simulateTap() {
  if (!enabled_ || !isUserInteractionEnabled()) return;
  auto self = shared_from_this();
  setHighlighted(true);
  sendActionsForControlEvents(kControlEventTouchDown);
  setHighlighted(false);
  sendActionsForControlEvents(kControlEventTouchUpInside);
}

void Control::touchesBeganWithEvent(const TouchSet& touches, const Event&) {
  if (!enabled_ || touches.empty()) return;
  tracking_ = true;
  setHighlighted(true);
  sendActionsForControlEvents(touches.front()->tapCount > 1 ? kControlEventTouchDownRepeat : kControlEventTouchDown);
}

void Control::touchesMovedWithEvent(const TouchSet& touches, const Event&) {
  if (!tracking_ || touches.empty()) return;
  bool inside = pointInsideWithEvent(touches.front()->locationInView(sharedView()), nullptr);
  bool wasInside = pointInsideWithEvent(touches.front()->previousLocationInView(sharedView()), nullptr);
  setHighlighted(inside);
  unsigned ev = inside ? kControlEventTouchDragInside : kControlEventTouchDragOutside;
  if (inside != wasInside) ev |= inside ? kControlEventTouchDragEnter : kControlEventTouchDragExit;
  sendActionsForControlEvents(ev);
}

void Control::touchesEndedWithEvent(const TouchSet& touches, const Event&) {
  if (!tracking_ || touches.empty()) return;
  tracking_ = false;
  setHighlighted(false);
  bool inside = pointInsideWithEvent(touches.front()->locationInView(sharedView()), nullptr);
  sendActionsForControlEvents(inside ? kControlEventTouchUpInside : kControlEventTouchUpOutside);
}

void Control::touchesCancelledWithEvent(const TouchSet&, const Event&) {
  if (!tracking_) return;
  tracking_ = false;
  setHighlighted(false);
  sendActionsForControlEvents(kControlEventTouchCancel);
}

// ---- Label

Label::Label(const Rect& frame) : View(frame) {
  setBackgroundColor(Color::whiteColor());
  setOpaque(true);
  setUserInteractionEnabled(false);
  setContentMode(ContentMode::Redraw);
}

void Label::setText(std::string t) {
  text_ = std::move(t);
  setNeedsDisplay();
}

void Label::setFont(const Font& f) {
  font_ = f;
  setNeedsDisplay();
}

Size Label::sizeThatFits(const Size& size) const {
  if (text_.empty()) return {0, 0};
  if (numberOfLines_ == 1) {
    // Only the first line counts on a one-line label.
    return {sizeWithFont(wrapText(text_, font_, 0).front(), font_).width, std::ceil(font_.lineHeight())};
  }
  double width = size.width > 0 ? size.width : bounds().size.width;
  auto lines = wrapText(text_, font_, width);
  size_t n = numberOfLines_ > 0 ? std::min<size_t>(lines.size(), static_cast<size_t>(numberOfLines_)) : lines.size();
  double w = 0;
  for (size_t i = 0; i < n; ++i) w = std::max(w, sizeWithFont(lines[i], font_).width);
  return {w, std::ceil(n * font_.lineHeight())};
}

double Label::effectiveFontSize() const {
  if (!adjustsFontSize_ || numberOfLines_ != 1) return font_.pointSize;
  double available = bounds().size.width;
  // The first of pointSize, pointSize - 1, ... (never below the minimum) whose line fits.
  // A line only narrows as the size drops, so the step is found by halving: a huge size
  // costs a few dozen measurements instead of one per point.
  auto sizeAfter = [&](double steps) { return std::max(minimumFontSize_, font_.pointSize - steps); };
  auto stops = [&](double steps) {
    Font f = font_;
    if (steps > 0) f.pointSize = sizeAfter(steps);
    return !(f.pointSize > minimumFontSize_) || !(sizeWithFont(text_, f).width > available);
  };
  if (stops(0)) return font_.pointSize;
  double fits = std::ceil(font_.pointSize - minimumFontSize_);  // at the minimum
  if (!std::isfinite(fits)) return minimumFontSize_;
  double tooWide = 0;
  while (fits - tooWide > 1) {
    double mid = std::floor(tooWide + (fits - tooWide) / 2);
    if (mid <= tooWide || mid >= fits) break;
    (stops(mid) ? fits : tooWide) = mid;
  }
  return sizeAfter(fits);
}

void Label::drawRect(const Rect& rect) {
  auto* ctx = GraphicsContext::current();
  if (!ctx || text_.empty()) return;
  Font f = font_;
  f.pointSize = effectiveFontSize();
  ctx->setFillColor(textColor_);
  ctx->drawText(text_, rect, f);
}

// ---- ImageView

ImageView::ImageView(const Rect& frame) : View(frame) { setUserInteractionEnabled(false); }

std::shared_ptr<ImageView> ImageView::createWithImage(const std::shared_ptr<Image>& image) {
  Size s = image ? image->size() : Size{};
  auto v = std::make_shared<ImageView>(Rect{0, 0, s.width, s.height});
  v->setImage(image);
  return v;
}

void ImageView::setImage(std::shared_ptr<Image> image) {
  image_ = std::move(image);
  setNeedsDisplay();
}

Size ImageView::sizeThatFits(const Size&) const { return image_ ? image_->size() : Size{}; }

// ---- Button

template <class T>
void Button::PerState<T>::set(unsigned state, T v) {
  for (auto& [s, value] : values) {
    if (s == state) {
      value = std::move(v);
      return;
    }
  }
  values.emplace_back(state, std::move(v));
}

template <class T>
const T* Button::PerState<T>::get(unsigned state) const {
  const T* normal = nullptr;
  for (const auto& [s, value] : values) {
    if (s == state) return &value;
    if (s == kControlStateNormal) normal = &value;
  }
  return normal;
}

Button::Button(ButtonType type, const Rect& frame) : Control(frame), type_(type) {
  titleLabel_ = std::make_shared<Label>();
  titleLabel_->setBackgroundColor(std::nullopt);
  titleLabel_->setOpaque(false);
  titleLabel_->setFont(Font::boldSystemFontOfSize(Font::buttonFontSize()));
  Size fixed{0, 0};
  if (type == ButtonType::DetailDisclosure || type == ButtonType::InfoLight || type == ButtonType::InfoDark)
    fixed = {22, 22};
  else if (type == ButtonType::ContactAdd)
    fixed = {29, 29};
  if (fixed.width > 0 && frame.size.width == 0) setFrame({frame.origin, fixed});
  addSubview(titleLabel_);
}

void Button::setTitleForState(std::optional<std::string> title, unsigned state) {
  if (title) {
    titles_.set(state, *title);
  } else {
    titles_.values.erase(std::remove_if(titles_.values.begin(), titles_.values.end(),
                                        [state](const auto& e) { return e.first == state; }),
                         titles_.values.end());
  }
  titleLabel_->setText(currentTitle().value_or(""));
  setNeedsLayout();
}

std::optional<std::string> Button::titleForState(unsigned state) const {
  if (auto* t = titles_.get(state)) return *t;
  return std::nullopt;
}

void Button::setTitleColorForState(std::optional<Color> color, unsigned state) {
  if (color) titleColors_.set(state, *color);
}

void Button::setImageForState(std::shared_ptr<Image> image, unsigned state) {
  images_.set(state, std::move(image));
  setNeedsLayout();
}

std::shared_ptr<Image> Button::imageForState(unsigned state) const {
  auto* i = images_.get(state);
  return i ? *i : nullptr;
}

void Button::setBackgroundImageForState(std::shared_ptr<Image> image, unsigned state) {
  backgrounds_.set(state, std::move(image));
  setNeedsDisplay();
}

std::shared_ptr<Image> Button::backgroundImageForState(unsigned state) const {
  auto* i = backgrounds_.get(state);
  return i ? *i : nullptr;
}

Size Button::sizeThatFits(const Size&) const {
  switch (type_) {
    case ButtonType::DetailDisclosure:
    case ButtonType::InfoLight:
    case ButtonType::InfoDark: return {22, 22};
    case ButtonType::ContactAdd: return {29, 29};
    default: break;
  }
  Size title{0, 0};
  if (auto t = currentTitle(); t && !t->empty()) title = sizeWithFont(*t, titleLabel_->font());
  Size image = currentImage() ? currentImage()->size() : Size{};
  Size content{image.width + title.width, std::max(image.height, title.height)};
  if (type_ == ButtonType::RoundedRect) {
    content.width += 24;
    content.height += 14;
  }
  if (auto bg = currentBackgroundImage()) {
    content.width = std::max(content.width, bg->size().width);
    content.height = std::max(content.height, bg->size().height);
  }
  content.width += contentInsets_.left + contentInsets_.right;
  content.height += contentInsets_.top + contentInsets_.bottom;
  return content;
}

// ---- SegmentedControl

SegmentedControl::SegmentedControl(std::vector<Item> items) : Control(Rect{}) {
  for (auto& i : items) segments_.push_back({std::move(i), true, 0});
  // The platform's natural size: 44 points high, segments of their content's width.
  double w = 0;
  for (auto& s : segments_) w += std::max(sizeWithFont(s.item.title, Font::boldSystemFontOfSize(13)).width + 20, 44.0);
  setFrame({0, 0, w, 44});
}

void SegmentedControl::setImageForSegmentAtIndex(std::shared_ptr<Image> image, size_t i) {
  if (i < segments_.size()) segments_[i].item.image = std::move(image);
}
bool SegmentedControl::isEnabledForSegmentAtIndex(size_t i) const { return i < segments_.size() && segments_[i].enabled; }
void SegmentedControl::setEnabledForSegmentAtIndex(bool e, size_t i) {
  if (i < segments_.size()) segments_[i].enabled = e;
}
void SegmentedControl::setWidthForSegmentAtIndex(double w, size_t i) {
  if (i < segments_.size()) segments_[i].width = w;
}

void SegmentedControl::setSelectedSegmentIndex(long index) {
  selected_ = (index >= 0 && index < static_cast<long>(segments_.size())) ? index : -1;
}

void SegmentedControl::tapSegment(size_t index) {
  if (!isEnabled() || !isUserInteractionEnabled() || !isEnabledForSegmentAtIndex(index)) return;
  auto self = shared_from_this();
  long before = selected_;
  selected_ = static_cast<long>(index);
  if (momentary_ || before != selected_) sendActionsForControlEvents(kControlEventValueChanged);
  if (momentary_) selected_ = -1;
}

// ---- ActivityIndicatorView

ActivityIndicatorView::ActivityIndicatorView(ActivityIndicatorViewStyle style) : style_(style) {
  Size s = sizeThatFits({});
  setFrame({0, 0, s.width, s.height});
  setUserInteractionEnabled(false);
  setHidden(true);
}

Size ActivityIndicatorView::sizeThatFits(const Size&) const {
  return style_ == ActivityIndicatorViewStyle::WhiteLarge ? Size{37, 37} : Size{20, 20};
}

void ActivityIndicatorView::startAnimating() {
  animating_ = true;
  setHidden(false);
}

void ActivityIndicatorView::stopAnimating() {
  animating_ = false;
  if (hidesWhenStopped_) setHidden(true);
}

void ActivityIndicatorView::setHidesWhenStopped(bool h) {
  hidesWhenStopped_ = h;
  if (!animating_) setHidden(h);
}

// ---- TextField

bool TextField::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  auto self = weak_from_this().lock();  // the delegate may release the field
  auto d = delegate();
  if (d && !d->textFieldShouldBeginEditing(*this).value_or(true)) return false;
  if (!Control::becomeFirstResponder()) return false;
  if (d) d->textFieldDidBeginEditing(*this);
  sendActionsForControlEvents(kControlEventEditingDidBegin);
  return true;
}

bool TextField::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  auto self = weak_from_this().lock();  // the delegate may release the field
  auto d = delegate();
  if (d && !d->textFieldShouldEndEditing(*this).value_or(true)) return false;
  Control::resignFirstResponder();
  if (d) d->textFieldDidEndEditing(*this);
  sendActionsForControlEvents(kControlEventEditingDidEnd);
  return true;
}

void TextField::typeText(const std::string& text) {
  auto self = weak_from_this().lock();  // the delegate may release the field
  if (!isFirstResponder() && !becomeFirstResponder()) return;
  auto d = delegate();
  if (d && !d->textFieldShouldChangeCharactersInRangeReplacementString(*this, text_.size(), 0, text).value_or(true))
    return;
  text_ += text;
  sendActionsForControlEvents(kControlEventEditingChanged);
}

bool TextField::pressReturn() {
  auto self = shared_from_this();
  auto d = delegate();
  bool ok = d ? d->textFieldShouldReturn(*this).value_or(true) : true;
  if (ok) sendActionsForControlEvents(kControlEventEditingDidEndOnExit);
  return ok;
}

}  // namespace platform
