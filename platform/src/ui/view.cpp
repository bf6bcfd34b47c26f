#include "platform/view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/run_loop.h"
#include "platform/singleton.h"
#include "platform/view_controller.h"
#include "platform/window.h"

namespace platform {

// ---- Responder

namespace {
struct FirstResponder {
  std::weak_ptr<Responder> responder;
};
ProcessState<FirstResponder>& firstResponderSlot() {
  return processState<FirstResponder>();
}
std::shared_ptr<Responder> firstResponder() { return firstResponderSlot().read(&FirstResponder::responder).lock(); }
}  // namespace

void Responder::touchesBeganWithEvent(const TouchSet& t, const Event& e) {
  if (auto n = nextResponder()) n->touchesBeganWithEvent(t, e);
}
void Responder::touchesMovedWithEvent(const TouchSet& t, const Event& e) {
  if (auto n = nextResponder()) n->touchesMovedWithEvent(t, e);
}
void Responder::touchesEndedWithEvent(const TouchSet& t, const Event& e) {
  if (auto n = nextResponder()) n->touchesEndedWithEvent(t, e);
}
void Responder::touchesCancelledWithEvent(const TouchSet& t, const Event& e) {
  if (auto n = nextResponder()) n->touchesCancelledWithEvent(t, e);
}

bool Responder::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder()) return false;
  if (auto current = firstResponder()) {
    if (!current->resignFirstResponder()) return false;
  }
  firstResponderSlot().write(&FirstResponder::responder, weak_from_this());
  return true;
}

bool Responder::resignFirstResponder() {
  if (isFirstResponder()) firstResponderSlot().reset();
  return true;
}

bool Responder::isFirstResponder() const {
  auto current = firstResponder();
  return current && current.get() == this;
}

Point Touch::locationInView(const std::shared_ptr<View>& inView) const {
  auto w = window.lock();
  if (!inView || !w) return locationInWindow;
  return inView->convertPointFromView(locationInWindow, w);
}

Point Touch::previousLocationInView(const std::shared_ptr<View>& inView) const {
  auto w = window.lock();
  if (!inView || !w) return previousLocationInWindow;
  return inView->convertPointFromView(previousLocationInWindow, w);
}

// ---- Deferred layout and display

// Views marked for a layout or display pass, run at the end of the main loop's turn. Main thread.
struct ViewPasses {
  std::vector<std::weak_ptr<View>> layout;
  std::vector<std::weak_ptr<View>> display;
  bool installed = false;

  static ProcessState<ViewPasses>& get() {
    return processState<ViewPasses>();
  }

  static void schedule(const std::shared_ptr<View>& view, bool forLayout, bool forDisplay) {
    bool install = get().with([&](ViewPasses& p) {
      if (forLayout) p.layout.push_back(view);
      if (forDisplay) p.display.push_back(view);
      return !std::exchange(p.installed, true);
    });
    if (install) RunLoop::main().addEndOfTurnObserver([] { ViewPasses::run(); });
    // A turn must handle something for the end-of-turn pass to run.
    RunLoop::main().post([] {});
  }

  static size_t depth(const View& v) {
    size_t d = 0;
    for (auto* s = v.superview_; s; s = s->superview_) ++d;
    return d;
  }

  // Views alive and in a window, shallowest first; the rest are dropped (they come back
  // when they enter a window).
  static std::vector<std::shared_ptr<View>> take(std::vector<std::weak_ptr<View>> ViewPasses::*list) {
    auto pending = get().with([list](ViewPasses& p) { return std::exchange(p.*list, {}); });
    std::vector<std::shared_ptr<View>> views;
    for (auto& w : pending)
      if (auto v = w.lock(); v && v->window()) views.push_back(v);
    std::stable_sort(views.begin(), views.end(),
                     [](const auto& a, const auto& b) { return depth(*a) < depth(*b); });
    return views;
  }

  static bool pending(std::vector<std::weak_ptr<View>> ViewPasses::*list) {
    return get().with([list](const ViewPasses& p) { return !(p.*list).empty(); });
  }

  static void run() {
    // Layout may mark more views; bounded so that a view that always re-marks itself
    // cannot hang the loop.
    for (int round = 0; round < 32 && pending(&ViewPasses::layout); ++round)
      for (auto& v : take(&ViewPasses::layout)) v->runLayout();
    for (int round = 0; round < 32 && pending(&ViewPasses::display); ++round)
      for (auto& v : take(&ViewPasses::display)) v->runDisplay();
  }
};

// ---- View

View::View(const Rect& frame) : layer_(std::make_shared<Layer>()) {
  layer_->view_ = this;
  layer_->setFrame(frame);
}

View::~View() {
  layer_->view_ = nullptr;
  for (auto& s : subviews_) s->superview_ = nullptr;
}

void View::setFrame(const Rect& f) {
  Size old = bounds().size;
  layer_->setFrame(f);
  sizeChanged(old);
}

void View::setBounds(const Rect& b) {
  Size old = bounds().size;
  layer_->setBounds(b);
  sizeChanged(old);
}

void View::sizeChanged(const Size& old) {
  Size now = bounds().size;
  if (old == now) return;
  if (autoresizesSubviews_) {
    auto subs = subviews_;
    for (auto& s : subs) s->resizeWithOldSuperviewSize(old, now);
  }
  setNeedsLayout();
  if (contentMode_ == ContentMode::Redraw) setNeedsDisplay();
}

namespace {
// Shares `delta` among the flexible parts of one axis in proportion to their sizes.
void resizeAxis(double& origin, double& length, double oldParent, double delta, bool flexStart,
                bool flexLength, bool flexEnd) {
  if (!flexStart && !flexLength && !flexEnd) return;
  double start = origin, end = oldParent - origin - length;
  double sum = (flexStart ? start : 0) + (flexLength ? length : 0) + (flexEnd ? end : 0);
  int count = int(flexStart) + int(flexLength) + int(flexEnd);
  auto share = [&](double part) { return sum != 0 ? delta * part / sum : delta / count; };
  double dStart = flexStart ? share(start) : 0;
  double dLength = flexLength ? share(length) : 0;
  origin += dStart;
  length += dLength;
}
}  // namespace

void View::resizeWithOldSuperviewSize(const Size& oldSize, const Size& newSize) {
  unsigned m = autoresizingMask_;
  if (m == kAutoresizingNone) return;
  Rect f = frame();
  resizeAxis(f.origin.x, f.size.width, oldSize.width, newSize.width - oldSize.width,
             m & kAutoresizingFlexibleLeftMargin, m & kAutoresizingFlexibleWidth,
             m & kAutoresizingFlexibleRightMargin);
  resizeAxis(f.origin.y, f.size.height, oldSize.height, newSize.height - oldSize.height,
             m & kAutoresizingFlexibleTopMargin, m & kAutoresizingFlexibleHeight,
             m & kAutoresizingFlexibleBottomMargin);
  setFrame(f);
}

void View::setHidden(bool h) { layer_->setHidden(h); }

std::shared_ptr<View> View::viewWithTag(long t) {
  if (tag_ == t) return sharedView();
  for (auto& s : subviews_)
    if (auto found = s->viewWithTag(t)) return found;
  return nullptr;
}

namespace {
// The owning pointer when there is one yet; else a pointer that owns nothing (a superview
// still inside its constructor), valid for the call it is passed to.
template <class T>
std::shared_ptr<T> sharedOrBorrowed(T* p) {
  if (!p) return nullptr;
  if (auto owned = p->weak_from_this().lock()) return std::static_pointer_cast<T>(owned);
  return std::shared_ptr<T>(std::shared_ptr<void>(), p);
}
}  // namespace

std::shared_ptr<View> View::superview() const {
  if (!superview_) return nullptr;
  return std::static_pointer_cast<View>(superview_->weak_from_this().lock());
}

Window* View::rootWindow() const {
  const View* v = this;
  while (v->superview_) v = v->superview_;
  return dynamic_cast<Window*>(const_cast<View*>(v));
}

std::shared_ptr<Window> View::window() const {
  Window* w = rootWindow();
  if (!w) return nullptr;
  return std::static_pointer_cast<Window>(w->weak_from_this().lock());
}

bool View::isShownOnScreen() const {
  for (const View* v = this;; v = v->superview_) {
    if (v->isHidden() || v->alpha() < 0.01) return false;
    if (!v->superview_) return dynamic_cast<const Window*>(v) != nullptr;
  }
}

bool View::isDescendantOfView(const std::shared_ptr<View>& view) const {
  if (!view) return false;
  for (const View* v = this; v; v = v->superview_)
    if (v == view.get()) return true;
  return false;
}

void View::propagateWillMoveToWindow(Window* w) {
  willMoveToWindow(sharedOrBorrowed(w));
  auto subs = subviews_;
  for (auto& s : subs) s->propagateWillMoveToWindow(w);
}

void View::propagateDidMoveToWindow() {
  didMoveToWindow();
  windowChanged();
  scheduleIfInWindow();
  auto subs = subviews_;
  for (auto& s : subs) s->propagateDidMoveToWindow();
}

void View::moveTo(View* newSuper, const std::shared_ptr<View>& self, size_t index) {
  View* oldSuper = superview_;
  if (oldSuper == newSuper) {
    auto& v = newSuper->subviews_;
    auto it = std::find(v.begin(), v.end(), self);
    size_t from = static_cast<size_t>(it - v.begin());
    v.erase(it);
    if (index > from) --index;
    index = std::min(index, v.size());
    v.insert(v.begin() + static_cast<long>(index), self);
    layer_->removeFromSuperlayer();
    newSuper->layer_->insertSublayerAtIndex(layer_, index);
    return;
  }
  Window* oldWindow = rootWindow();
  Window* newWindow = newSuper->rootWindow();
  bool windowChanges = oldWindow != newWindow;
  willMoveToSuperview(sharedOrBorrowed(newSuper));
  if (windowChanges) propagateWillMoveToWindow(newWindow);
  if (oldSuper) {
    oldSuper->willRemoveSubview(self);
    auto& v = oldSuper->subviews_;
    v.erase(std::remove(v.begin(), v.end(), self), v.end());
  }
  layer_->removeFromSuperlayer();
  index = std::min(index, newSuper->subviews_.size());
  newSuper->subviews_.insert(newSuper->subviews_.begin() + static_cast<long>(index), self);
  newSuper->layer_->insertSublayerAtIndex(layer_, index);
  superview_ = newSuper;
  if (windowChanges) propagateDidMoveToWindow();
  didMoveToSuperview();
  newSuper->didAddSubview(self);
  newSuper->setNeedsLayout();
}

void View::addSubview(const std::shared_ptr<View>& view) {
  if (!view) return;
  insertSubviewAtIndex(view, subviews_.size());
}

void View::insertSubviewAtIndex(const std::shared_ptr<View>& view, size_t index) {
  if (!view || view.get() == this || isDescendantOfView(view)) return;
  view->moveTo(this, view, index);
}

void View::insertSubviewAboveSubview(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
  auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
  if (it == subviews_.end()) return addSubview(view);
  insertSubviewAtIndex(view, static_cast<size_t>(it - subviews_.begin()) + 1);
}

void View::insertSubviewBelowSubview(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
  auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
  if (it == subviews_.end()) return addSubview(view);
  insertSubviewAtIndex(view, static_cast<size_t>(it - subviews_.begin()));
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
  if (view && view->superview_ == this) view->moveTo(this, view, subviews_.size());
}

void View::sendSubviewToBack(const std::shared_ptr<View>& view) {
  if (view && view->superview_ == this) view->moveTo(this, view, 0);
}

void View::exchangeSubviewAtIndexWithSubviewAtIndex(size_t a, size_t b) {
  if (a >= subviews_.size() || b >= subviews_.size() || a == b) return;
  std::swap(subviews_[a], subviews_[b]);
  auto& sl = layer_->sublayers_;
  auto ia = std::find(sl.begin(), sl.end(), subviews_[a]->layer_);
  auto ib = std::find(sl.begin(), sl.end(), subviews_[b]->layer_);
  if (ia != sl.end() && ib != sl.end()) std::iter_swap(ia, ib);
}

void View::removeFromSuperview() {
  View* super = superview_;
  if (!super) return;
  // Whoever held the view only through its superview keeps it until the turn ends.
  auto self = std::static_pointer_cast<View>(weak_from_this().lock());
  if (self) RunLoop::main().keepAliveUntilEndOfTurn(self);
  bool hadWindow = rootWindow() != nullptr;
  willMoveToSuperview(nullptr);
  if (hadWindow) propagateWillMoveToWindow(nullptr);
  if (self) super->willRemoveSubview(self);
  auto& v = super->subviews_;
  v.erase(std::remove_if(v.begin(), v.end(), [this](const auto& p) { return p.get() == this; }), v.end());
  layer_->removeFromSuperlayer();
  superview_ = nullptr;
  if (hadWindow) propagateDidMoveToWindow();
  didMoveToSuperview();
  super->setNeedsLayout();
}

// ---- Conversion

Point View::toParent(const Point& p) const {
  Rect b = layer_->bounds();
  Point a = layer_->anchorPoint();
  Point anchorInBounds{b.origin.x + a.x * b.size.width, b.origin.y + a.y * b.size.height};
  Point q = layer_->affineTransform().apply(Point{p.x - anchorInBounds.x, p.y - anchorInBounds.y});
  return {layer_->position().x + q.x, layer_->position().y + q.y};
}

Point View::fromParent(const Point& p) const {
  Rect b = layer_->bounds();
  Point a = layer_->anchorPoint();
  Point anchorInBounds{b.origin.x + a.x * b.size.width, b.origin.y + a.y * b.size.height};
  Point q = layer_->affineTransform().inverted().apply(
      Point{p.x - layer_->position().x, p.y - layer_->position().y});
  return {anchorInBounds.x + q.x, anchorInBounds.y + q.y};
}

Point View::toScreen(const Point& p) const {
  Point q = p;
  for (const View* v = this; v; v = v->superview_) q = v->toParent(q);
  return q;
}

Point View::fromScreen(const Point& p) const {
  std::vector<const View*> chain;
  for (const View* v = this; v; v = v->superview_) chain.push_back(v);
  Point q = p;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) q = (*it)->fromParent(q);
  return q;
}

Point View::convertPointToView(const Point& p, const std::shared_ptr<const View>& other) const {
  Point s = toScreen(p);
  std::shared_ptr<const View> target = other;
  if (!target) {
    if (dynamic_cast<const Window*>(this)) return s;
    target = window();
    if (!target) return s;
  }
  return target->fromScreen(s);
}

Point View::convertPointFromView(const Point& p, const std::shared_ptr<const View>& other) const {
  std::shared_ptr<const View> source = other;
  if (!source && !dynamic_cast<const Window*>(this)) source = window();
  Point s = source ? source->toScreen(p) : p;
  return fromScreen(s);
}

namespace {
template <class Convert>
Rect convertCorners(const Rect& r, Convert convert) {
  if (rectIsNull(r)) return rectNull();
  Rect s = rectStandardize(r);
  double x2 = s.origin.x + s.size.width, y2 = s.origin.y + s.size.height;
  return rectEnclosingPoints(convert(s.origin), convert(Point{x2, s.origin.y}), convert(Point{s.origin.x, y2}),
                             convert(Point{x2, y2}));
}
}  // namespace

Rect View::convertRectToView(const Rect& r, const std::shared_ptr<const View>& other) const {
  return convertCorners(r, [&](const Point& p) { return convertPointToView(p, other); });
}

Rect View::convertRectFromView(const Rect& r, const std::shared_ptr<const View>& other) const {
  return convertCorners(r, [&](const Point& p) { return convertPointFromView(p, other); });
}

// ---- Hit testing

bool View::pointInsideWithEvent(const Point& p, const Event*) const { return rectContainsPoint(bounds(), p); }

std::shared_ptr<View> View::hitTestWithEvent(const Point& p, const Event* event) {
  if (isHidden() || !userInteractionEnabled_ || alpha() < 0.01) return nullptr;
  if (!pointInsideWithEvent(p, event)) return nullptr;
  auto subs = subviews_;
  for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
    Point q = (*it)->fromParent(p);
    if (auto hit = (*it)->hitTestWithEvent(q, event)) return hit;
  }
  return sharedView();
}

std::shared_ptr<Responder> View::nextResponder() const {
  if (auto c = controller_.lock()) return c;
  return superview();
}

// ---- Layout and display

void View::scheduleIfInWindow() {
  if (!needsLayout_ && !needsDisplay_) return;
  if (!rootWindow()) return;
  auto self = std::static_pointer_cast<View>(weak_from_this().lock());
  if (!self) return;  // not owned yet (inside a constructor): marked, scheduled when it moves
  ViewPasses::schedule(self, needsLayout_, needsDisplay_);
}

void View::setNeedsLayout() {
  if (needsLayout_) return;
  needsLayout_ = true;
  scheduleIfInWindow();
}

void View::layoutIfNeeded() {
  if (needsLayout_) runLayout();
  auto subs = subviews_;
  for (auto& s : subs) s->layoutIfNeeded();
}

void View::runLayout() {
  if (!needsLayout_) return;
  needsLayout_ = false;
  auto self = weak_from_this().lock();
  ++layoutCount_;
  layoutSubviews();
}

void View::setNeedsDisplay() {
  if (needsDisplay_) return;
  needsDisplay_ = true;
  scheduleIfInWindow();
}

void View::displayIfNeeded() {
  if (needsDisplay_) runDisplay();
}

void View::runDisplay() {
  if (!needsDisplay_) return;
  needsDisplay_ = false;
  auto self = weak_from_this().lock();
  auto context = std::make_shared<GraphicsContext>(bounds().size);
  if (clearsContextBeforeDrawing_) context->clearRect(bounds());
  GraphicsContext::pushContext(context.get());
  drawRect(bounds());
  GraphicsContext::popContext();
  ++drawCount_;
  lastDrawing_ = context;
}

Size View::sizeThatFits(const Size&) const { return bounds().size; }

void View::sizeToFit() {
  Size s = sizeThatFits(bounds().size);
  Rect f = frame();
  setFrame({f.origin, s});
}

}  // namespace platform
