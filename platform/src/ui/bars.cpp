#include "platform/bars.h"

#include "platform/navigation_controller.h"

namespace platform {

namespace {
std::shared_ptr<BarButtonItem> makeItem(const std::shared_ptr<void>& target, BarButtonItem::Action action) {
  auto item = std::make_shared<BarButtonItem>();
  item->setTargetAction(target, std::move(action));
  return item;
}
}  // namespace

std::shared_ptr<BarButtonItem> BarButtonItem::createWithBarButtonSystemItem(BarButtonSystemItem system,
                                                                           const std::shared_ptr<void>& target,
                                                                           Action action) {
  auto item = makeItem(target, std::move(action));
  item->systemItem_ = system;
  return item;
}

std::shared_ptr<BarButtonItem> BarButtonItem::createWithTitle(std::string title, BarButtonItemStyle style,
                                                             const std::shared_ptr<void>& target, Action action) {
  auto item = makeItem(target, std::move(action));
  item->title_ = std::move(title);
  item->style_ = style;
  return item;
}

std::shared_ptr<BarButtonItem> BarButtonItem::createWithImage(std::shared_ptr<Image> image, BarButtonItemStyle style,
                                                             const std::shared_ptr<void>& target, Action action) {
  auto item = makeItem(target, std::move(action));
  item->image_ = std::move(image);
  item->style_ = style;
  return item;
}

std::shared_ptr<BarButtonItem> BarButtonItem::createWithCustomView(std::shared_ptr<View> view) {
  auto item = std::make_shared<BarButtonItem>();
  item->customView_ = std::move(view);
  return item;
}

void BarButtonItem::setTargetAction(const std::shared_ptr<void>& target, Action action) {
  target_ = target;
  hasTarget_ = target != nullptr;
  action_ = std::move(action);
}

bool BarButtonItem::tap() {
  if (!enabled_ || !action_) return false;
  std::shared_ptr<void> alive = target_.lock();
  if (hasTarget_ && !alive) return false;
  auto self = shared_from_this();
  auto action = action_;
  action(*this);
  return true;
}

NavigationBar::NavigationBar(const Rect& frame) : Bar(frame) {}

void NavigationBar::setItemsAnimated(std::vector<std::shared_ptr<NavigationItem>> items, bool) {
  items_ = std::move(items);
}

void NavigationBar::pushNavigationItemAnimated(std::shared_ptr<NavigationItem> item, bool) {
  if (item) items_.push_back(std::move(item));
}

std::shared_ptr<NavigationItem> NavigationBar::popNavigationItemAnimated(bool) {
  if (items_.empty()) return nullptr;
  auto top = items_.back();
  items_.pop_back();
  return top;
}

std::shared_ptr<NavigationItem> NavigationBar::backItem() const {
  return items_.size() < 2 ? nullptr : items_[items_.size() - 2];
}

Toolbar::Toolbar(const Rect& frame) : Bar(frame) {}

// ---- ViewController pieces that need the bars

std::shared_ptr<NavigationItem> ViewController::navigationItem() {
  if (!navigationItem_) navigationItem_ = std::make_shared<NavigationItem>(title_);
  return navigationItem_;
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
  for (auto p = parentViewController(); p; p = p->parentViewController())
    if (auto nav = std::dynamic_pointer_cast<NavigationController>(p)) return nav;
  return nullptr;
}

// ---- NavigationController

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

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
  if (auto p = presentedViewController()) return p;
  return topViewController();
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
