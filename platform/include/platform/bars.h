#pragma once
// Bar button items, navigation items, navigation bars and toolbars. Items are plain
// retained objects; their actions are bound like control actions (targets not retained:
// an action whose target has gone is skipped). Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/image.h"
#include "platform/view.h"

namespace platform {

enum class BarButtonSystemItem : int {
  Done = 0, Cancel = 1, Edit = 2, Save = 3, Add = 4, FlexibleSpace = 5, FixedSpace = 6, Compose = 7,
  Reply = 8, Action = 9, Organize = 10, Bookmarks = 11, Search = 12, Refresh = 13, Stop = 14, Camera = 15,
  Trash = 16, Play = 17, Pause = 18, Rewind = 19, FastForward = 20
};
enum class BarButtonItemStyle : int { Plain = 0, Bordered = 1, Done = 2 };

class BarButtonItem : public std::enable_shared_from_this<BarButtonItem> {
 public:
  using Action = std::function<void(BarButtonItem& sender)>;
  static std::shared_ptr<BarButtonItem> createWithBarButtonSystemItem(BarButtonSystemItem item,
                                                                      const std::shared_ptr<void>& target, Action action);
  static std::shared_ptr<BarButtonItem> createWithTitle(std::string title, BarButtonItemStyle style,
                                                        const std::shared_ptr<void>& target, Action action);
  static std::shared_ptr<BarButtonItem> createWithImage(std::shared_ptr<Image> image, BarButtonItemStyle style,
                                                        const std::shared_ptr<void>& target, Action action);
  static std::shared_ptr<BarButtonItem> createWithCustomView(std::shared_ptr<View> view);

  std::optional<BarButtonSystemItem> systemItem() const { return systemItem_; }
  bool isFlexibleSpace() const { return systemItem_ == BarButtonSystemItem::FlexibleSpace; }
  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> i) { image_ = std::move(i); }
  BarButtonItemStyle style() const { return style_; }
  void setStyle(BarButtonItemStyle s) { style_ = s; }
  const std::shared_ptr<View>& customView() const { return customView_; }
  void setCustomView(std::shared_ptr<View> v) { customView_ = std::move(v); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool e) { enabled_ = e; }
  double width() const { return width_; }
  void setWidth(double w) { width_ = w; }
  long tag() const { return tag_; }
  void setTag(long t) { tag_ = t; }
  // What assistive technology reads for the item (stored only; "" for none).
  const std::string& accessibilityLabel() const { return accessibilityLabel_; }
  void setAccessibilityLabel(std::string l) { accessibilityLabel_ = std::move(l); }
  // Replaces the target and action.
  void setTargetAction(const std::shared_ptr<void>& target, Action action);
  bool hasAction() const { return static_cast<bool>(action_); }

  // Test hook: a finger on the item. Nothing when disabled, without an action, or when the
  // target has gone. Returns whether the action ran.
  bool tap();

  BarButtonItem() = default;

 private:
  std::optional<BarButtonSystemItem> systemItem_;
  std::string title_;
  std::shared_ptr<Image> image_;
  BarButtonItemStyle style_ = BarButtonItemStyle::Plain;
  std::shared_ptr<View> customView_;
  bool enabled_ = true;
  double width_ = 0;
  long tag_ = 0;
  std::string accessibilityLabel_;
  std::weak_ptr<void> target_;
  bool hasTarget_ = false;
  Action action_;
};

class NavigationItem {
 public:
  explicit NavigationItem(std::string title = "") : title_(std::move(title)) {}
  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  const std::shared_ptr<View>& titleView() const { return titleView_; }
  void setTitleView(std::shared_ptr<View> v) { titleView_ = std::move(v); }
  const std::shared_ptr<BarButtonItem>& leftBarButtonItem() const { return left_; }
  void setLeftBarButtonItem(std::shared_ptr<BarButtonItem> i) { left_ = std::move(i); }
  void setLeftBarButtonItemAnimated(std::shared_ptr<BarButtonItem> i, bool) { left_ = std::move(i); }
  const std::shared_ptr<BarButtonItem>& rightBarButtonItem() const { return right_; }
  void setRightBarButtonItem(std::shared_ptr<BarButtonItem> i) { right_ = std::move(i); }
  void setRightBarButtonItemAnimated(std::shared_ptr<BarButtonItem> i, bool) { right_ = std::move(i); }
  const std::shared_ptr<BarButtonItem>& backBarButtonItem() const { return back_; }
  void setBackBarButtonItem(std::shared_ptr<BarButtonItem> i) { back_ = std::move(i); }
  bool hidesBackButton() const { return hidesBack_; }
  void setHidesBackButton(bool h) { hidesBack_ = h; }
  const std::string& prompt() const { return prompt_; }
  void setPrompt(std::string p) { prompt_ = std::move(p); }

 private:
  std::string title_;
  std::shared_ptr<View> titleView_;
  std::shared_ptr<BarButtonItem> left_, right_, back_;
  bool hidesBack_ = false;
  std::string prompt_;
};

enum class BarStyle : int { Default = 0, Black = 1, BlackTranslucent = 2 };

// What the navigation bar and the toolbar share: a style, a tint, translucency, and a
// height of 44 points whatever size is asked for.
class Bar : public View {
 public:
  explicit Bar(const Rect& frame) : View(frame) {}
  BarStyle barStyle() const { return barStyle_; }
  void setBarStyle(BarStyle s) { barStyle_ = s; }
  std::optional<Color> tintColor() const { return tint_; }
  void setTintColor(std::optional<Color> c) { tint_ = std::move(c); }
  bool isTranslucent() const { return translucent_; }
  void setTranslucent(bool t) { translucent_ = t; }
  Size sizeThatFits(const Size& size) const override { return {size.width > 0 ? size.width : bounds().size.width, 44}; }

 private:
  BarStyle barStyle_ = BarStyle::Default;
  std::optional<Color> tint_;
  bool translucent_ = false;
};

// A bar 44 points high by default; a stack of navigation items, the top one shown.
class NavigationBar : public Bar {
 public:
  explicit NavigationBar(const Rect& frame = Rect{0, 0, 320, 44});
  const std::vector<std::shared_ptr<NavigationItem>>& items() const { return items_; }
  void setItemsAnimated(std::vector<std::shared_ptr<NavigationItem>> items, bool animated);
  void pushNavigationItemAnimated(std::shared_ptr<NavigationItem> item, bool animated);
  std::shared_ptr<NavigationItem> topItem() const { return items_.empty() ? nullptr : items_.back(); }
  std::shared_ptr<NavigationItem> backItem() const;

 private:
  std::vector<std::shared_ptr<NavigationItem>> items_;
};

// A bar 44 points high by default holding bar button items left to right.
class Toolbar : public Bar {
 public:
  explicit Toolbar(const Rect& frame = Rect{0, 0, 320, 44});
  const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return items_; }
  void setItems(std::vector<std::shared_ptr<BarButtonItem>> items) { items_ = std::move(items); }
  void setItemsAnimated(std::vector<std::shared_ptr<BarButtonItem>> items, bool) { items_ = std::move(items); }

 private:
  std::vector<std::shared_ptr<BarButtonItem>> items_;
};

}  // namespace platform
