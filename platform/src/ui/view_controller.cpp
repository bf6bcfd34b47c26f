#include "platform/view_controller.h"

#include "platform/log.h"
#include "platform/run_loop.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace platform {

namespace {
double rotationAngle(InterfaceOrientation o) {
  switch (o) {
    case 2: return kPi;
    case 3: return kPi / 2;
    case 4: return -kPi / 2;
    default: return 0;
  }
}

void afterTransition(bool animated, std::function<void()> fn) {
  if (animated)
    RunLoop::main().postAfter(kModalTransitionDuration, std::move(fn));
  else
    RunLoop::main().post(std::move(fn));
}
}  // namespace

ViewController::ViewController() = default;

ViewController::~ViewController() {
  if (view_) view_->controller_.reset();
}

std::shared_ptr<View> ViewController::view() {
  if (!view_) {
    loadView();
    if (!view_) ViewController::loadView();
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(const std::shared_ptr<View>& v) {
  if (view_ == v) return;
  if (view_) view_->controller_.reset();
  view_ = v;
  if (view_) view_->controller_ = std::static_pointer_cast<ViewController>(weak_from_this().lock());
}

void ViewController::loadView() {
  auto v = std::make_shared<View>(Screen::mainScreen().applicationFrame());
  v->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  setView(v);
}

std::shared_ptr<Responder> ViewController::nextResponder() const {
  if (view_) return view_->superview();
  return nullptr;
}

Rect ViewController::fullScreenFrameInWindow(const std::shared_ptr<Window>& window) const {
  if (!window) return Screen::mainScreen().applicationFrame();
  Rect b = window->bounds();
  auto& app = Application::sharedApplication();
  if (wantsFullScreenLayout_ || app.isStatusBarHidden()) return b;
  double t = 20;
  switch (app.statusBarOrientation()) {
    case 2: return {b.origin.x, b.origin.y, b.size.width, b.size.height - t};
    case 3: return {b.origin.x, b.origin.y, b.size.width - t, b.size.height};
    case 4: return {b.origin.x + t, b.origin.y, b.size.width - t, b.size.height};
    default: return {b.origin.x, b.origin.y + t, b.size.width, b.size.height - t};
  }
}

void ViewController::placeFullScreen(const std::shared_ptr<Window>& window) {
  auto v = view();
  v->setTransform(AffineTransform::makeRotation(rotationAngle(Application::sharedApplication().statusBarOrientation())));
  v->setFrame(fullScreenFrameInWindow(window));
}

void ViewController::appearance(int phase, bool animated) {
  auto self = shared_from_this();
  switch (phase) {
    case 0: viewWillAppear(animated); break;
    case 1: viewDidAppear(animated); break;
    case 2: viewWillDisappear(animated); break;
    default: viewDidDisappear(animated); break;
  }
  forwardAppearance(phase, animated);
}

void ViewController::rotate(InterfaceOrientation to, double duration, int step) {
  if (step == 0) {
    willRotateToInterfaceOrientationDuration(to, duration);
    return;
  }
  interfaceOrientation_ = to;
  if (view_) {
    if (auto w = view_->window(); w && view_->superview() == w) placeFullScreen(w);
  }
  willAnimateRotationToInterfaceOrientationDuration(to, duration);
}

void ViewController::presentViewControllerAnimatedCompletion(const std::shared_ptr<ViewController>& vc, bool animated,
                                                             std::function<void()> completion) {
  if (!vc) return;
  // A controller that presents one of its own presenters would own itself through the chain.
  if (presented_ || beingPresented_ || beingDismissed_ || vc->presentingViewController() || vc->presented_ ||
      vc.get() == this) {
    log("Warning: Attempt to present a view controller while a presentation is in progress!");
    return;
  }
  auto self = std::static_pointer_cast<ViewController>(shared_from_this());
  presented_ = vc;
  vc->presenting_ = self;
  vc->beingPresented_ = true;
  vc->interfaceOrientation_ = Application::sharedApplication().statusBarOrientation();
  vc->view();
  RunLoop::main().post([self, vc, animated, completion = std::move(completion)]() mutable {
    if (self->presented_ != vc) return;
    std::shared_ptr<Window> window = self->isViewLoaded() ? self->view_->window() : nullptr;
    if (!window) window = Application::sharedApplication().keyWindow();
    self->appearance(2, animated);
    vc->appearance(0, animated);
    if (window) {
      vc->placeFullScreen(window);
      window->addSubview(vc->view_);
    }
    afterTransition(animated, [self, vc, animated, completion = std::move(completion)] {
      if (self->presented_ != vc) return;
      if (self->isViewLoaded() && self->view_->window()) {
        self->restoreSuperview_ = self->view_->superview();
        self->view_->removeFromSuperview();
      }
      self->appearance(3, animated);
      vc->beingPresented_ = false;
      vc->appearance(1, animated);
      if (completion) completion();
    });
  });
}

void ViewController::dismissViewControllerAnimatedCompletion(bool animated, std::function<void()> completion) {
  auto self = std::static_pointer_cast<ViewController>(shared_from_this());
  std::shared_ptr<ViewController> presenter, presented;
  if (presented_) {
    presenter = self;
    presented = presented_;
  } else if (auto p = presenting_.lock()) {
    presenter = p;
    presented = self;
  } else {
    return;
  }
  bool inTransition = false;
  for (auto c = presented; c; c = c->presented_) inTransition = inTransition || c->beingPresented_ || c->beingDismissed_;
  if (inTransition) {
    log("Warning: Attempt to dismiss from view controller while a presentation or dismiss is in progress!");
    return;
  }
  presented->beingDismissed_ = true;
  RunLoop::main().post([presenter, presented, animated, completion = std::move(completion)]() mutable {
    auto window = presented->isViewLoaded() ? presented->view_->window() : nullptr;
    presented->appearance(2, animated);
    presenter->appearance(0, animated);
    if (presenter->isViewLoaded() && !presenter->view_->superview()) {
      if (auto back = presenter->restoreSuperview_.lock()) {
        if (presented->view_->superview() == back)
          back->insertSubviewBelowSubview(presenter->view_, presented->view_);
        else
          back->addSubview(presenter->view_);
      }
    }
    afterTransition(animated, [presenter, presented, animated, completion = std::move(completion)] {
      // Controllers presented on top of the dismissed one go with it, links and all.
      for (auto below = presented, top = presented->presented_; top; below = top, top = top->presented_) {
        if (top->isViewLoaded()) top->view_->removeFromSuperview();
        below->presented_.reset();
        top->presenting_.reset();
      }
      if (presented->isViewLoaded()) presented->view_->removeFromSuperview();
      presented->appearance(3, animated);
      presenter->appearance(1, animated);
      presenter->presented_.reset();
      presented->presenting_.reset();
      presented->beingDismissed_ = false;
      if (completion) completion();
    });
  });
}

void ViewController::addChild(const std::shared_ptr<ViewController>& child) {
  if (!child) return;
  child->parent_ = std::static_pointer_cast<ViewController>(shared_from_this());
  children_.push_back(child);
}

void ViewController::removeChild(const std::shared_ptr<ViewController>& child) {
  for (auto it = children_.begin(); it != children_.end(); ++it) {
    if (*it == child) {
      child->parent_.reset();
      children_.erase(it);
      return;
    }
  }
}

}  // namespace platform
