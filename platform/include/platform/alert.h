#pragma once
// Alert views and action sheets. Nothing is shown; a shown one is recorded and kept alive
// (the platform retains what it shows) until a button dismisses it.
//
// Button indexes: an alert view numbers the cancel button 0 when it has one, then the other
// buttons in order; an action sheet numbers the destructive button first, then the others,
// then the cancel button last. addButtonWithTitle appends and returns the new index.
// Dismissing with a button (a test's clickButtonAtIndex, or the client's
// dismissWithClickedButtonIndexAnimated) tells the delegate, in order: clickedButtonAtIndex
// (only for a click), willDismissWithButtonIndex, then didDismissWithButtonIndex on the next
// turn of the main loop. Delegates are not retained. Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/view.h"

namespace platform {

class AlertView;
class ActionSheet;
class BarButtonItem;

class AlertViewDelegate {
 public:
  virtual ~AlertViewDelegate() = default;
  virtual void alertViewClickedButtonAtIndex(AlertView& alert, long index) { (void)alert; (void)index; }
  virtual void willPresentAlertView(AlertView& alert) { (void)alert; }
  virtual void didPresentAlertView(AlertView& alert) { (void)alert; }
  virtual void alertViewWillDismissWithButtonIndex(AlertView& alert, long index) { (void)alert; (void)index; }
  virtual void alertViewDidDismissWithButtonIndex(AlertView& alert, long index) { (void)alert; (void)index; }
  virtual void alertViewCancel(AlertView& alert) { (void)alert; }
};

class AlertView : public View {
 public:
  AlertView(std::string title, std::string message, const std::shared_ptr<AlertViewDelegate>& delegate,
            std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles);
  AlertView() : AlertView("", "", nullptr, std::nullopt, {}) {}

  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  const std::string& message() const { return message_; }
  void setMessage(std::string m) { message_ = std::move(m); }
  std::shared_ptr<AlertViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<AlertViewDelegate>& d) { delegate_ = d; }
  long addButtonWithTitle(const std::string& title);
  long numberOfButtons() const { return static_cast<long>(buttons_.size()); }
  // "" for an index out of range.
  std::string buttonTitleAtIndex(long index) const;
  long cancelButtonIndex() const { return cancelIndex_; }
  void setCancelButtonIndex(long i) { cancelIndex_ = i; }
  // -1 when there are no other buttons.
  long firstOtherButtonIndex() const;
  bool isVisible() const { return visible_; }

  // Records it as shown; willPresent and didPresent reach the delegate during the call.
  void show();
  void dismissWithClickedButtonIndexAnimated(long index, bool animated);

  // Test hook: a finger on a button of a visible alert. Out-of-range indexes do nothing.
  void clickButtonAtIndex(long index);
  // Every alert shown since the last test reset, in order (visible or not), and the visible ones.
  static std::vector<std::shared_ptr<AlertView>> shownAlerts();
  static std::vector<std::shared_ptr<AlertView>> visibleAlerts();

 private:
  std::string title_;
  std::string message_;
  std::weak_ptr<AlertViewDelegate> delegate_;
  std::vector<std::string> buttons_;
  long cancelIndex_ = -1;
  bool visible_ = false;
};

class ActionSheetDelegate {
 public:
  virtual ~ActionSheetDelegate() = default;
  virtual void actionSheetClickedButtonAtIndex(ActionSheet& sheet, long index) { (void)sheet; (void)index; }
  virtual void willPresentActionSheet(ActionSheet& sheet) { (void)sheet; }
  virtual void didPresentActionSheet(ActionSheet& sheet) { (void)sheet; }
  virtual void actionSheetWillDismissWithButtonIndex(ActionSheet& sheet, long index) { (void)sheet; (void)index; }
  virtual void actionSheetDidDismissWithButtonIndex(ActionSheet& sheet, long index) { (void)sheet; (void)index; }
  virtual void actionSheetCancel(ActionSheet& sheet) { (void)sheet; }
};

class ActionSheet : public View {
 public:
  ActionSheet(std::string title, const std::shared_ptr<ActionSheetDelegate>& delegate,
              std::optional<std::string> cancelButtonTitle, std::optional<std::string> destructiveButtonTitle,
              std::vector<std::string> otherButtonTitles);
  ActionSheet() : ActionSheet("", nullptr, std::nullopt, std::nullopt, {}) {}

  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  std::shared_ptr<ActionSheetDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<ActionSheetDelegate>& d) { delegate_ = d; }
  long addButtonWithTitle(const std::string& title);
  long numberOfButtons() const { return static_cast<long>(buttons_.size()); }
  std::string buttonTitleAtIndex(long index) const;
  long cancelButtonIndex() const { return cancelIndex_; }
  void setCancelButtonIndex(long i) { cancelIndex_ = i; }
  long destructiveButtonIndex() const { return destructiveIndex_; }
  void setDestructiveButtonIndex(long i) { destructiveIndex_ = i; }
  long firstOtherButtonIndex() const;
  int actionSheetStyle() const { return style_; }
  void setActionSheetStyle(int s) { style_ = s; }
  bool isVisible() const { return visible_; }
  // Where it was last shown from: a view (nullptr for a bar button item), or the bar button
  // item (nullptr for a view). Neither is retained.
  std::shared_ptr<View> shownInView() const { return shownIn_.lock(); }
  std::shared_ptr<BarButtonItem> shownFromBarButtonItem() const { return shownFromItem_.lock(); }

  void showInView(const std::shared_ptr<View>& view);
  void showFromToolbar(const std::shared_ptr<View>& toolbar) { showInView(toolbar); }
  // As showInView, anchored to a bar button item.
  void showFromBarButtonItemAnimated(const std::shared_ptr<BarButtonItem>& item, bool animated);
  void dismissWithClickedButtonIndexAnimated(long index, bool animated);
  void clickButtonAtIndex(long index);
  static std::vector<std::shared_ptr<ActionSheet>> shownSheets();

 private:
  std::string title_;
  std::weak_ptr<ActionSheetDelegate> delegate_;
  std::vector<std::string> buttons_;
  long cancelIndex_ = -1;
  long destructiveIndex_ = -1;
  int style_ = 0;
  bool visible_ = false;
  std::weak_ptr<View> shownIn_;
  std::weak_ptr<BarButtonItem> shownFromItem_;
};

}  // namespace platform
