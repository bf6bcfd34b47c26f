#include "platform/alert.h"

#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace platform {

namespace {
struct Shown {
  std::vector<std::shared_ptr<AlertView>> alerts;   // every alert shown
  std::vector<std::shared_ptr<AlertView>> visible;  // kept alive while shown
  std::vector<std::shared_ptr<ActionSheet>> sheets;
  std::vector<std::shared_ptr<ActionSheet>> visibleSheets;
};

Shown& shown() {
  static Shown* s = [] {
    auto* p = new Shown;
    onProcessReset([p] { *p = Shown{}; });
    return p;
  }();
  return *s;
}

template <class T>
void forget(std::vector<std::shared_ptr<T>>& list, const T* item) {
  std::erase_if(list, [item](const auto& p) { return p.get() == item; });
}
}  // namespace

// ---- AlertView

AlertView::AlertView(std::string title, std::string message, const std::shared_ptr<AlertViewDelegate>& delegate,
                     std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : View(Rect{0, 0, 284, 141}), title_(std::move(title)), message_(std::move(message)), delegate_(delegate) {
  if (cancelButtonTitle) {
    cancelIndex_ = 0;
    buttons_.push_back(*cancelButtonTitle);
  }
  for (auto& t : otherButtonTitles) buttons_.push_back(std::move(t));
}

long AlertView::addButtonWithTitle(const std::string& title) {
  buttons_.push_back(title);
  return static_cast<long>(buttons_.size()) - 1;
}

std::string AlertView::buttonTitleAtIndex(long i) const {
  return i >= 0 && i < numberOfButtons() ? buttons_[static_cast<size_t>(i)] : "";
}

long AlertView::firstOtherButtonIndex() const {
  for (long i = 0; i < numberOfButtons(); ++i)
    if (i != cancelIndex_) return i;
  return -1;
}

void AlertView::show() {
  if (visible_) return;
  auto self = sharedAs<AlertView>();
  if (auto d = delegate()) d->willPresentAlertView(*this);
  visible_ = true;
  shown().alerts.push_back(self);
  shown().visible.push_back(self);
  if (auto d = delegate()) d->didPresentAlertView(*this);
}

void AlertView::dismissWithClickedButtonIndexAnimated(long index, bool) { dismiss(index, false); }

void AlertView::clickButtonAtIndex(long index) {
  if (!visible_ || index < 0 || index >= numberOfButtons()) return;
  dismiss(index, true);
}

void AlertView::dismiss(long index, bool clicked) {
  if (!visible_) return;
  auto self = sharedAs<AlertView>();
  if (clicked)
    if (auto d = delegate()) d->alertViewClickedButtonAtIndex(*this, index);
  // The delegate may have dismissed it from that callback already: it is told once.
  if (!visible_) return;
  if (auto d = delegate()) d->alertViewWillDismissWithButtonIndex(*this, index);
  visible_ = false;
  forget(shown().visible, this);
  std::weak_ptr<AlertViewDelegate> weakDelegate = delegate_;
  RunLoop::main().post([self, weakDelegate, index] {
    if (auto d = weakDelegate.lock()) d->alertViewDidDismissWithButtonIndex(*self, index);
  });
}

std::vector<std::shared_ptr<AlertView>> AlertView::shownAlerts() { return shown().alerts; }
std::vector<std::shared_ptr<AlertView>> AlertView::visibleAlerts() { return shown().visible; }

// ---- ActionSheet

ActionSheet::ActionSheet(std::string title, const std::shared_ptr<ActionSheetDelegate>& delegate,
                         std::optional<std::string> cancelButtonTitle, std::optional<std::string> destructiveButtonTitle,
                         std::vector<std::string> otherButtonTitles)
    : View(Rect{0, 0, 320, 0}), title_(std::move(title)), delegate_(delegate) {
  if (destructiveButtonTitle) destructiveIndex_ = addButtonWithTitle(*destructiveButtonTitle);
  for (auto& t : otherButtonTitles) addButtonWithTitle(t);
  if (cancelButtonTitle) cancelIndex_ = addButtonWithTitle(*cancelButtonTitle);
}

long ActionSheet::addButtonWithTitle(const std::string& title) {
  buttons_.push_back(title);
  return static_cast<long>(buttons_.size()) - 1;
}

std::string ActionSheet::buttonTitleAtIndex(long i) const {
  return i >= 0 && i < numberOfButtons() ? buttons_[static_cast<size_t>(i)] : "";
}

long ActionSheet::firstOtherButtonIndex() const {
  for (long i = 0; i < numberOfButtons(); ++i)
    if (i != cancelIndex_ && i != destructiveIndex_) return i;
  return -1;
}

void ActionSheet::showInView(const std::shared_ptr<View>& view) {
  if (visible_) return;
  auto self = sharedAs<ActionSheet>();
  if (auto d = delegate()) d->willPresentActionSheet(*this);
  visible_ = true;
  shownIn_ = view;
  shown().sheets.push_back(self);
  shown().visibleSheets.push_back(self);
  if (auto d = delegate()) d->didPresentActionSheet(*this);
}

void ActionSheet::dismissWithClickedButtonIndexAnimated(long index, bool) { dismiss(index, false); }

void ActionSheet::clickButtonAtIndex(long index) {
  if (!visible_ || index < 0 || index >= numberOfButtons()) return;
  dismiss(index, true);
}

void ActionSheet::dismiss(long index, bool clicked) {
  if (!visible_) return;
  auto self = sharedAs<ActionSheet>();
  if (clicked)
    if (auto d = delegate()) d->actionSheetClickedButtonAtIndex(*this, index);
  // The delegate may have dismissed it from that callback already: it is told once.
  if (!visible_) return;
  if (auto d = delegate()) d->actionSheetWillDismissWithButtonIndex(*this, index);
  visible_ = false;
  forget(shown().visibleSheets, this);
  std::weak_ptr<ActionSheetDelegate> weakDelegate = delegate_;
  RunLoop::main().post([self, weakDelegate, index] {
    if (auto d = weakDelegate.lock()) d->actionSheetDidDismissWithButtonIndex(*self, index);
  });
}

std::vector<std::shared_ptr<ActionSheet>> ActionSheet::shownSheets() { return shown().sheets; }

}  // namespace platform
