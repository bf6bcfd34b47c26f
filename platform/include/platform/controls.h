#pragma once
// Controls: target–action with the platform's event bits, and the small controls the
// clients place (button, label, image view, segmented control, activity indicator, text
// field).
//
// Targets are not retained: an action bound to a target that has gone is skipped (no call,
// no crash). Actions run synchronously, in the order they were added, with the sender kept
// alive for the call. Touches: a touch that begins inside an enabled control highlights it
// and sends touch-down; ending inside sends touch-up-inside, outside touch-up-outside.
// simulateTap() sends both without a window. Label metrics follow Font (graphics.h).
// Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/image.h"
#include "platform/view.h"

namespace platform {

enum ControlEvents : unsigned {
  kControlEventTouchDown = 1 << 0,
  kControlEventTouchDownRepeat = 1 << 1,
  kControlEventTouchDragInside = 1 << 2,
  kControlEventTouchDragOutside = 1 << 3,
  kControlEventTouchDragEnter = 1 << 4,
  kControlEventTouchDragExit = 1 << 5,
  kControlEventTouchUpInside = 1 << 6,
  kControlEventTouchUpOutside = 1 << 7,
  kControlEventTouchCancel = 1 << 8,
  kControlEventValueChanged = 1 << 12,
  kControlEventEditingDidBegin = 1 << 16,
  kControlEventEditingChanged = 1 << 17,
  kControlEventEditingDidEnd = 1 << 18,
  kControlEventEditingDidEndOnExit = 1 << 19,
  kControlEventAllTouchEvents = 0x00000FFF,
  kControlEventAllEditingEvents = 0x000F0000,
  kControlEventAllEvents = 0xFFFFFFFF,
};

enum ControlState : unsigned {
  kControlStateNormal = 0,
  kControlStateHighlighted = 1 << 0,
  kControlStateDisabled = 1 << 1,
  kControlStateSelected = 1 << 2,
};

enum class TextAlignment : int { Left = 0, Center = 1, Right = 2 };

class Control : public View {
 public:
  using Action = std::function<void(Control& sender)>;
  using View::View;

  // `target` identifies the registration and guards the call; nullptr means no target
  // (the action always runs).
  void addTargetActionForControlEvents(const std::shared_ptr<void>& target, Action action, unsigned events);
  // A member function of `target`, bound weakly.
  template <class T>
  void addTarget(const std::shared_ptr<T>& target, void (T::*method)(Control&), unsigned events) {
    std::weak_ptr<T> weak = target;
    addTargetActionForControlEvents(
        target, [weak, method](Control& sender) {
          if (auto t = weak.lock()) ((*t).*method)(sender);
        },
        events);
  }
  // Removes the registrations of `target` (every target for nullptr) for `events`.
  void removeTargetForControlEvents(const void* target, unsigned events);
  size_t targetCount() const { return targets_.size(); }
  void sendActionsForControlEvents(unsigned events);

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool e) { enabled_ = e; }
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool s) { selected_ = s; }
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool h) { highlighted_ = h; }
  unsigned state() const;

  // Test hook: touch down and up inside, as a finger would (nothing when disabled or not
  // interactive).
  void simulateTap();

  void touchesBeganWithEvent(const TouchSet& touches, const Event& event) override;
  void touchesMovedWithEvent(const TouchSet& touches, const Event& event) override;
  void touchesEndedWithEvent(const TouchSet& touches, const Event& event) override;
  void touchesCancelledWithEvent(const TouchSet& touches, const Event& event) override;

 private:
  struct Registration {
    const void* identity;
    std::weak_ptr<void> target;
    bool hasTarget;
    Action action;
    unsigned events;
  };
  std::vector<Registration> targets_;
  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  bool tracking_ = false;
};

class Label : public View {
 public:
  explicit Label(const Rect& frame = Rect{});
  const std::string& text() const { return text_; }
  void setText(std::string t);
  const Font& font() const { return font_; }
  void setFont(const Font& f);
  const Color& textColor() const { return textColor_; }
  void setTextColor(const Color& c) { textColor_ = c; }
  const std::optional<Color>& shadowColor() const { return shadowColor_; }
  void setShadowColor(std::optional<Color> c) { shadowColor_ = std::move(c); }
  Size shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(Size s) { shadowOffset_ = s; }
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a) { alignment_ = a; }
  // 0: as many lines as needed. Default 1.
  int numberOfLines() const { return numberOfLines_; }
  void setNumberOfLines(int n) { numberOfLines_ = n; }
  bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
  void setAdjustsFontSizeToFitWidth(bool a) { adjustsFontSize_ = a; }
  double minimumFontSize() const { return minimumFontSize_; }
  void setMinimumFontSize(double s) { minimumFontSize_ = s; }

  // One line: the text's measured size. Several lines: wrapped to the given width (the
  // current width when 0), at most numberOfLines lines.
  Size sizeThatFits(const Size& size) const override;
  // The font size actually used: the font's, or when adjusting, the largest size down to
  // the minimum whose one-line width fits the bounds.
  double effectiveFontSize() const;
  void drawRect(const Rect& rect) override;

 private:
  std::string text_;
  Font font_ = Font::systemFontOfSize(17);
  Color textColor_ = Color::blackColor();
  std::optional<Color> shadowColor_;
  Size shadowOffset_{0, -1};
  TextAlignment alignment_ = TextAlignment::Left;
  int numberOfLines_ = 1;
  bool adjustsFontSize_ = false;
  double minimumFontSize_ = 0;
};

class ImageView : public View {
 public:
  explicit ImageView(const Rect& frame = Rect{});
  // Frame (0, 0, image size).
  static std::shared_ptr<ImageView> createWithImage(const std::shared_ptr<Image>& image);
  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> image);
  const std::shared_ptr<Image>& highlightedImage() const { return highlightedImage_; }
  void setHighlightedImage(std::shared_ptr<Image> image) { highlightedImage_ = std::move(image); }
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool h) { highlighted_ = h; }
  // The image's size in points; zero without one.
  Size sizeThatFits(const Size& size) const override;

 private:
  std::shared_ptr<Image> image_;
  std::shared_ptr<Image> highlightedImage_;
  bool highlighted_ = false;
};

enum class ButtonType : int { Custom = 0, RoundedRect = 1, DetailDisclosure = 2, InfoLight = 3, InfoDark = 4, ContactAdd = 5 };

// Per-state title, title colour, image and background image; a state without its own value
// shows the normal state's. sizeThatFits: custom buttons fit their content (image width +
// title width, the larger height, at least the background image); rounded-rectangle buttons
// add 24 points of width and 14 of height around the title. The detail and info types are
// 22 x 22, contact-add 29 x 29.
class Button : public Control {
 public:
  explicit Button(ButtonType type = ButtonType::Custom, const Rect& frame = Rect{});
  static std::shared_ptr<Button> buttonWithType(ButtonType type) { return std::make_shared<Button>(type); }
  ButtonType buttonType() const { return type_; }

  void setTitleForState(std::optional<std::string> title, unsigned state);
  std::optional<std::string> titleForState(unsigned state) const;
  void setTitleColorForState(std::optional<Color> color, unsigned state);
  void setImageForState(std::shared_ptr<Image> image, unsigned state);
  std::shared_ptr<Image> imageForState(unsigned state) const;
  void setBackgroundImageForState(std::shared_ptr<Image> image, unsigned state);
  std::shared_ptr<Image> backgroundImageForState(unsigned state) const;
  // For the current state().
  std::optional<std::string> currentTitle() const { return titleForState(state()); }
  std::shared_ptr<Image> currentImage() const { return imageForState(state()); }
  std::shared_ptr<Image> currentBackgroundImage() const { return backgroundImageForState(state()); }

  const std::shared_ptr<Label>& titleLabel() const { return titleLabel_; }
  bool showsTouchWhenHighlighted() const { return showsTouch_; }
  void setShowsTouchWhenHighlighted(bool s) { showsTouch_ = s; }
  bool adjustsImageWhenHighlighted() const { return adjustsImage_; }
  void setAdjustsImageWhenHighlighted(bool a) { adjustsImage_ = a; }
  EdgeInsets contentEdgeInsets() const { return contentInsets_; }
  void setContentEdgeInsets(EdgeInsets e) { contentInsets_ = e; }

  Size sizeThatFits(const Size& size) const override;

 private:
  template <class T>
  struct PerState {
    std::vector<std::pair<unsigned, T>> values;
    void set(unsigned state, T v);
    const T* get(unsigned state) const;
  };
  ButtonType type_;
  PerState<std::string> titles_;
  PerState<Color> titleColors_;
  PerState<std::shared_ptr<Image>> images_;
  PerState<std::shared_ptr<Image>> backgrounds_;
  std::shared_ptr<Label> titleLabel_;
  bool showsTouch_ = false;
  bool adjustsImage_ = true;
  EdgeInsets contentInsets_;
};

// Segments of titles or images. selectedSegmentIndex is -1 when none is selected. Selecting
// by a tap (tapSegment) sends value-changed; setting the index in code does not. A momentary
// control does not keep the selection after the tap.
class SegmentedControl : public Control {
 public:
  struct Item {
    std::string title;
    std::shared_ptr<Image> image;
  };
  explicit SegmentedControl(std::vector<Item> items = {});
  size_t numberOfSegments() const { return segments_.size(); }
  void setImageForSegmentAtIndex(std::shared_ptr<Image> image, size_t index);
  bool isEnabledForSegmentAtIndex(size_t index) const;
  void setEnabledForSegmentAtIndex(bool enabled, size_t index);
  void setWidthForSegmentAtIndex(double width, size_t index);
  long selectedSegmentIndex() const { return selected_; }
  void setSelectedSegmentIndex(long index);
  bool isMomentary() const { return momentary_; }
  void setMomentary(bool m) { momentary_ = m; }
  int segmentedControlStyle() const { return style_; }
  void setSegmentedControlStyle(int s) { style_ = s; }
  std::optional<Color> tintColor() const { return tint_; }
  void setTintColor(std::optional<Color> c) { tint_ = std::move(c); }
  // Test hook: a finger on a segment. Disabled segments and controls ignore it.
  void tapSegment(size_t index);

 private:
  struct Segment {
    Item item;
    bool enabled = true;
    double width = 0;
  };
  std::vector<Segment> segments_;
  long selected_ = -1;
  bool momentary_ = false;
  int style_ = 0;
  std::optional<Color> tint_;
};

enum class ActivityIndicatorViewStyle : int { WhiteLarge = 0, White = 1, Gray = 2 };

// 37 x 37 for the large style, 20 x 20 otherwise. Hidden while stopped when
// hidesWhenStopped (the default).
class ActivityIndicatorView : public View {
 public:
  explicit ActivityIndicatorView(ActivityIndicatorViewStyle style = ActivityIndicatorViewStyle::White);
  ActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return animating_; }
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool h);
  Size sizeThatFits(const Size& size) const override;

 private:
  ActivityIndicatorViewStyle style_;
  bool animating_ = false;
  bool hidesWhenStopped_ = true;
};

class TextField;

class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  virtual std::optional<bool> textFieldShouldBeginEditing(TextField& field) { (void)field; return std::nullopt; }
  virtual void textFieldDidBeginEditing(TextField& field) { (void)field; }
  virtual std::optional<bool> textFieldShouldEndEditing(TextField& field) { (void)field; return std::nullopt; }
  virtual void textFieldDidEndEditing(TextField& field) { (void)field; }
  virtual std::optional<bool> textFieldShouldChangeCharactersInRangeReplacementString(
      TextField& field, size_t location, size_t length, const std::string& replacement) {
    (void)field; (void)location; (void)length; (void)replacement;
    return std::nullopt;
  }
  virtual std::optional<bool> textFieldShouldReturn(TextField& field) { (void)field; return std::nullopt; }
};

// Editing is the first-responder state. typeText appends as a keyboard would (asking the
// delegate first, then sending editing-changed); pressReturn asks textFieldShouldReturn.
// The delegate is not retained.
class TextField : public Control {
 public:
  using Control::Control;
  const std::string& text() const { return text_; }
  void setText(std::string t) { text_ = std::move(t); }
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string p) { placeholder_ = std::move(p); }
  const Font& font() const { return font_; }
  void setFont(const Font& f) { font_ = f; }
  const Color& textColor() const { return textColor_; }
  void setTextColor(const Color& c) { textColor_ = c; }
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a) { alignment_ = a; }
  int borderStyle() const { return borderStyle_; }
  void setBorderStyle(int s) { borderStyle_ = s; }
  int keyboardType() const { return keyboardType_; }
  void setKeyboardType(int k) { keyboardType_ = k; }
  int returnKeyType() const { return returnKeyType_; }
  void setReturnKeyType(int r) { returnKeyType_ = r; }
  int autocorrectionType() const { return autocorrectionType_; }
  void setAutocorrectionType(int a) { autocorrectionType_ = a; }
  int autocapitalizationType() const { return autocapitalizationType_; }
  void setAutocapitalizationType(int a) { autocapitalizationType_ = a; }
  bool isSecureTextEntry() const { return secure_; }
  void setSecureTextEntry(bool s) { secure_ = s; }
  std::shared_ptr<TextFieldDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<TextFieldDelegate>& d) { delegate_ = d; }
  bool isEditing() const { return isFirstResponder(); }

  bool canBecomeFirstResponder() const override { return isEnabled(); }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;

  void typeText(const std::string& text);
  // The delegate's answer to textFieldShouldReturn (true without one); when it allows,
  // editing-did-end-on-exit is sent.
  bool pressReturn();

 private:
  std::string text_;
  std::string placeholder_;
  Font font_ = Font::systemFontOfSize(12);
  Color textColor_ = Color::blackColor();
  TextAlignment alignment_ = TextAlignment::Left;
  int borderStyle_ = 0;
  int keyboardType_ = 0;
  int returnKeyType_ = 0;
  int autocorrectionType_ = 0;
  int autocapitalizationType_ = 0;
  bool secure_ = false;
  std::weak_ptr<TextFieldDelegate> delegate_;
};

}  // namespace platform
