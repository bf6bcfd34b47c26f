#include "platform/alert.h"

#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace platform {

namespace {

// Every one shown since the last reset, and the visible ones, which the platform keeps alive.
template <class T>
struct Shown {
  std::vector<std::shared_ptr<T>> all;
  std::vector<std::shared_ptr<T>> visible;
};

template <class T>
ProcessState<Shown<T>>& shown() {
  return processState<Shown<T>>();
}

// The delegate calls that differ between alert views and action sheets; the order in which they
// come is the same for both, and lives in present() and dismiss() below.
template <class T>
struct Calls;

template <>
struct Calls<AlertView> {
  using Delegate = AlertViewDelegate;
  static void willPresent(Delegate& d, AlertView& a) { d.willPresentAlertView(a); }
  static void didPresent(Delegate& d, AlertView& a) { d.didPresentAlertView(a); }
  static void clicked(Delegate& d, AlertView& a, long i) { d.alertViewClickedButtonAtIndex(a, i); }
  static void willDismiss(Delegate& d, AlertView& a, long i) { d.alertViewWillDismissWithButtonIndex(a, i); }
  static void didDismiss(Delegate& d, AlertView& a, long i) { d.alertViewDidDismissWithButtonIndex(a, i); }
};

template <>
struct Calls<ActionSheet> {
  using Delegate = ActionSheetDelegate;
  static void willPresent(Delegate& d, ActionSheet& s) { d.willPresentActionSheet(s); }
  static void didPresent(Delegate& d, ActionSheet& s) { d.didPresentActionSheet(s); }
  static void clicked(Delegate& d, ActionSheet& s, long i) { d.actionSheetClickedButtonAtIndex(s, i); }
  static void willDismiss(Delegate& d, ActionSheet& s, long i) { d.actionSheetWillDismissWithButtonIndex(s, i); }
  static void didDismiss(Delegate& d, ActionSheet& s, long i) { d.actionSheetDidDismissWithButtonIndex(s, i); }
};

// willPresent and didPresent reach the delegate during the call; between them it is recorded
// (after `placed`, which notes where it shows).
template <class T, class F>
void present(T& item, bool& visible, F&& placed) {
  if (visible) return;
  auto self = item.template sharedAs<T>();
  if (auto d = item.delegate()) Calls<T>::willPresent(*d, item);
  visible = true;
  placed();
  shown<T>().with([&self](Shown<T>& s) {
    s.all.push_back(self);
    s.visible.push_back(self);
  });
  if (auto d = item.delegate()) Calls<T>::didPresent(*d, item);
}

// clicked (for a finger on a button), willDismiss during the call, didDismiss on a later turn.
template <class T>
void dismiss(T& item, bool& visible, long index, bool clicked) {
  if (!visible) return;
  auto self = item.template sharedAs<T>();
  if (clicked)
    if (auto d = item.delegate()) Calls<T>::clicked(*d, item, index);
  // The delegate may have dismissed it from that callback already: it is told once.
  if (!visible) return;
  if (auto d = item.delegate()) Calls<T>::willDismiss(*d, item, index);
  visible = false;
  shown<T>().with([&item](Shown<T>& s) {
    std::erase_if(s.visible, [&item](const auto& p) { return p.get() == &item; });
  });
  std::weak_ptr<typename Calls<T>::Delegate> weakDelegate = item.delegate();
  RunLoop::main().post([self, weakDelegate, index] {
    if (auto d = weakDelegate.lock()) Calls<T>::didDismiss(*d, *self, index);
  });
}

// A finger on a button of a visible one; out-of-range indexes do nothing.
template <class T>
void click(T& item, bool& visible, long index) {
  if (!visible || index < 0 || index >= item.numberOfButtons()) return;
  dismiss(item, visible, index, true);
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
  present(*this, visible_, [] {});
}

void AlertView::dismissWithClickedButtonIndexAnimated(long index, bool) { dismiss(*this, visible_, index, false); }

void AlertView::clickButtonAtIndex(long index) { click(*this, visible_, index); }

std::vector<std::shared_ptr<AlertView>> AlertView::shownAlerts() { return shown<AlertView>().read(&Shown<AlertView>::all); }
std::vector<std::shared_ptr<AlertView>> AlertView::visibleAlerts() {
  return shown<AlertView>().read(&Shown<AlertView>::visible);
}

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
  present(*this, visible_, [this, &view] {
    shownIn_ = view;
    shownFromItem_.reset();
  });
}

void ActionSheet::showFromBarButtonItemAnimated(const std::shared_ptr<BarButtonItem>& item, bool) {
  present(*this, visible_, [this, &item] {
    shownIn_.reset();
    shownFromItem_ = item;
  });
}

void ActionSheet::dismissWithClickedButtonIndexAnimated(long index, bool) { dismiss(*this, visible_, index, false); }

void ActionSheet::clickButtonAtIndex(long index) { click(*this, visible_, index); }

std::vector<std::shared_ptr<ActionSheet>> ActionSheet::shownSheets() {
  return shown<ActionSheet>().read(&Shown<ActionSheet>::all);
}

}  // namespace platform
