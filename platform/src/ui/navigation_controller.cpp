#include "platform/navigation_controller.h"

namespace platform {

// The view controller's navigation pieces are here because they need the navigation controller.

std::shared_ptr<NavigationItem> ViewController::navigationItem() {
  if (!navigationItem_) navigationItem_ = std::make_shared<NavigationItem>(title_);
  return navigationItem_;
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
  for (auto p = parentViewController(); p; p = p->parentViewController())
    if (auto nav = std::dynamic_pointer_cast<NavigationController>(p)) return nav;
  return nullptr;
}

NavigationController::NavigationController(std::shared_ptr<ViewController> root) {
  navigationBar_ = std::make_shared<NavigationBar>();
  toolbar_ = std::make_shared<Toolbar>();
  toolbar_->setHidden(true);
  if (root) stack_.push_back(std::move(root));
}

std::shared_ptr<NavigationController> NavigationController::createWithRootViewController(
    std::shared_ptr<ViewController> root) {
  auto nav = std::make_shared<NavigationController>();
  if (root) nav->pushViewControllerAnimated(root, false);
  return nav;
}

void NavigationController::loadView() {
  ViewController::loadView();
  auto v = view();
  v->addSubview(navigationBar_);
  v->addSubview(toolbar_);
  for (auto& c : stack_)
    if (!c->parentViewController()) addChild(c);
  layoutBars();
  showTop();
}

void NavigationController::layoutBars() {
  if (!isViewLoaded()) return;
  Rect b = view()->bounds();
  navigationBar_->setHidden(navigationBarHidden_);
  toolbar_->setHidden(toolbarHidden_);
  navigationBar_->setFrame({0, 0, b.size.width, 44});
  navigationBar_->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleBottomMargin);
  toolbar_->setFrame({0, b.size.height - 44, b.size.width, 44});
  toolbar_->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleTopMargin);
  if (auto top = topViewController(); top && top->isViewLoaded()) {
    double y = navigationBarHidden_ ? 0 : 44;
    double bottom = toolbarHidden_ ? 0 : 44;
    top->view()->setFrame({0, y, b.size.width, b.size.height - y - bottom});
  }
}

void NavigationController::showTop() {
  auto top = topViewController();
  if (!top || !isViewLoaded()) return;
  auto content = top->view();
  content->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  view()->insertSubviewBelowSubview(content, navigationBar_);
  std::vector<std::shared_ptr<NavigationItem>> items;
  for (auto& c : stack_) items.push_back(c->navigationItem());
  navigationBar_->setItemsAnimated(items, false);
  toolbar_->setItems(top->toolbarItems());
  layoutBars();
}

void NavigationController::pushViewControllerAnimated(const std::shared_ptr<ViewController>& vc, bool animated) {
  if (!vc || vc->parentViewController()) return;
  auto previous = topViewController();
  bool onScreen = appeared_;
  addChild(vc);
  stack_.push_back(vc);
  if (!isViewLoaded()) return;
  vc->view();
  if (onScreen && previous) previous->appearance(2, animated);
  if (onScreen) vc->appearance(0, animated);
  if (previous && previous->isViewLoaded()) previous->view()->removeFromSuperview();
  showTop();
  if (onScreen && previous) previous->appearance(3, animated);
  if (onScreen) vc->appearance(1, animated);
}

std::shared_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
  if (stack_.size() < 2) return nullptr;
  auto popped = stack_.back();
  bool onScreen = appeared_;
  stack_.pop_back();
  auto top = topViewController();
  if (onScreen) popped->appearance(2, animated);
  if (onScreen) top->appearance(0, animated);
  if (popped->isViewLoaded()) popped->view()->removeFromSuperview();
  showTop();
  if (onScreen) popped->appearance(3, animated);
  if (onScreen) top->appearance(1, animated);
  removeChild(popped);
  return popped;
}

void NavigationController::setNavigationBarHiddenAnimated(bool hidden, bool) {
  navigationBarHidden_ = hidden;
  layoutBars();
}

void NavigationController::setToolbarHiddenAnimated(bool hidden, bool) {
  toolbarHidden_ = hidden;
  layoutBars();
}

bool NavigationController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) {
  auto top = topViewController();
  return top ? top->shouldAutorotateToInterfaceOrientation(o) : ViewController::shouldAutorotateToInterfaceOrientation(o);
}

void NavigationController::forwardAppearance(int phase, bool animated) {
  if (phase == 1) appeared_ = true;
  if (phase == 3) appeared_ = false;
  if (auto top = topViewController()) top->appearance(phase, animated);
}

}  // namespace platform
