#include "platform/bars.h"

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

std::shared_ptr<NavigationItem> NavigationBar::backItem() const {
  return items_.size() < 2 ? nullptr : items_[items_.size() - 2];
}

Toolbar::Toolbar(const Rect& frame) : Bar(frame) {}

}  // namespace platform
