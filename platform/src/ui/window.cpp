#include "platform/window.h"

#include "platform/application.h"
#include "platform/gesture_recognizer.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/view_controller.h"

namespace platform {

Window::Window(const Rect& frame) : View(frame) { View::setHidden(true); }

std::shared_ptr<Window> Window::window() const {
  return std::static_pointer_cast<Window>(std::const_pointer_cast<Responder>(weak_from_this().lock()));
}

void Window::setHidden(bool hidden) {
  bool was = isHidden();
  View::setHidden(hidden);
  if (was == hidden) return;
  auto self = std::static_pointer_cast<Window>(shared_from_this());
  auto& app = Application::sharedApplication();
  if (hidden) {
    NotificationCenter::defaultCenter().postNotificationName(kWindowDidBecomeHiddenNotification, this);
    app.windowBecameHidden(self);
  } else {
    app.windowBecameVisible(self);
    NotificationCenter::defaultCenter().postNotificationName(kWindowDidBecomeVisibleNotification, this);
  }
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  makeKeyWindow();
}

void Window::makeKeyWindow() {
  Application::sharedApplication().windowBecameKey(std::static_pointer_cast<Window>(shared_from_this()));
}

bool Window::isKeyWindow() const { return Application::sharedApplication().keyWindow().get() == this; }

void Window::setRootViewController(const std::shared_ptr<ViewController>& controller) {
  if (controller == root_) return;
  if (root_ && root_->isViewLoaded() && root_->view()->superview().get() == this) root_->view()->removeFromSuperview();
  root_ = controller;
  if (!root_) return;
  auto v = root_->view();
  v->setFrame(root_->fullScreenFrameInWindow(std::static_pointer_cast<Window>(shared_from_this())));
  addSubview(v);
}

std::shared_ptr<Responder> Window::nextResponder() const {
  auto& app = Application::sharedApplication();
  return app.shared_from_this();
}

bool Window::rotateToInterfaceOrientation(InterfaceOrientation orientation, double duration) {
  if (!root_) return false;
  std::vector<std::shared_ptr<ViewController>> chain{root_};
  while (auto next = chain.back()->presentedViewController()) chain.push_back(next);
  if (!chain.back()->shouldAutorotateToInterfaceOrientation(orientation)) return false;
  auto& app = Application::sharedApplication();
  InterfaceOrientation from = app.statusBarOrientation();
  if (from == orientation) return false;
  for (auto& c : chain) c->rotate(orientation, duration, 0);
  app.setStatusBarOrientation(orientation);
  for (auto& c : chain) c->rotate(orientation, duration, 1);
  std::vector<std::weak_ptr<ViewController>> weakChain(chain.begin(), chain.end());
  RunLoop::main().postAfter(duration, [weakChain, from] {
    for (auto& w : weakChain)
      if (auto c = w.lock()) c->didRotateFromInterfaceOrientation(from);
  });
  return true;
}

// ---- Touches

std::shared_ptr<View> Window::tapAtPoint(const Point& point) {
  auto self = weak_from_this().lock();  // a tapped control may close and release its window
  auto hit = touchDownAtPoint(point);
  touchUpAtPoint(point);
  return hit;
}

std::shared_ptr<View> Window::touchDownAtPoint(const Point& point) {
  touch_ = std::make_shared<Touch>();
  touch_->window = std::static_pointer_cast<Window>(shared_from_this());
  touch_->locationInWindow = touch_->previousLocationInWindow = point;
  Event event;
  event.touches = {touch_};
  auto hit = hitTestWithEvent(point, &event);
  touch_->view = hit;
  recognizers_.clear();
  for (auto v = hit; v; v = v->superview()) {
    for (const auto& r : v->gestureRecognizers()) {
      if (r->isEnabled()) recognizers_.push_back(r);
    }
  }
  deliver(Touch::Phase::Began, point);
  return hit;
}

void Window::touchMovedToPoint(const Point& point) { deliver(Touch::Phase::Moved, point); }

void Window::touchUpAtPoint(const Point& point) {
  auto self = weak_from_this().lock();
  // The user's touch is told before anything reacts to it, so that what the lift sets off
  // (a recognizer's action, the view's own handling) already finds it.
  auto hit = touch_ ? touch_->view.lock() : nullptr;
  if (hit && hit->rootWindow() == this) {
    for (auto v = hit; v; v = v->superview()) v->userTouchEnded();
  }
  deliver(Touch::Phase::Ended, point);
  touch_.reset();
}

void Window::touchCancel() {
  auto self = weak_from_this().lock();
  if (touch_) deliver(Touch::Phase::Cancelled, touch_->locationInWindow);
  touch_.reset();
}

namespace {

// Views and gesture recognizers take the phases through methods of the same names.
template <class Receiver>
void send(Receiver& receiver, Touch::Phase phase, const TouchSet& set, const Event& event) {
  switch (phase) {
    case Touch::Phase::Began: receiver.touchesBeganWithEvent(set, event); break;
    case Touch::Phase::Moved:
    case Touch::Phase::Stationary: receiver.touchesMovedWithEvent(set, event); break;
    case Touch::Phase::Ended: receiver.touchesEndedWithEvent(set, event); break;
    case Touch::Phase::Cancelled: receiver.touchesCancelledWithEvent(set, event); break;
  }
}

}  // namespace

void Window::deliver(Touch::Phase phase, const Point& point) {
  if (!touch_) return;
  auto touch = touch_;
  touch->previousLocationInWindow = touch->locationInWindow;
  touch->locationInWindow = point;
  touch->phase = phase;
  Event event;
  event.touches = {touch};
  TouchSet set{touch};
  bool cancelView = false;
  auto recognizers = recognizers_;
  for (const auto& r : recognizers) {
    r->lastTouch_ = touch;
    send(*r, phase, set, event);
    if (r->state() == GestureRecognizer::State::Ended && r->cancelsTouchesInView()) cancelView = true;
  }
  if (phase == Touch::Phase::Ended || phase == Touch::Phase::Cancelled) {
    for (const auto& r : recognizers) {
      r->reset();
      r->state_ = GestureRecognizer::State::Possible;
    }
    recognizers_.clear();
  }
  auto target = touch->view.lock();
  if (!target) return;
  if (cancelView && phase == Touch::Phase::Ended) phase = touch->phase = Touch::Phase::Cancelled;
  send(*target, phase, set, event);
}

}  // namespace platform
