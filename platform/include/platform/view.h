#pragma once
// Views: the rectangle tree the clients place their ads in. No pixels are drawn; geometry,
// ordering, hooks, conversion, hit testing, touches and the deferred layout and display
// passes behave as the platform's.
//
// Ownership: views are made with std::make_shared (subclasses too) and own their subviews;
// the superview is a back-pointer the superview clears when it goes, so subviews may be
// added inside a constructor. A view's geometry lives in its layer().
//
// Deferred passes: setNeedsLayout() and setNeedsDisplay() mark the view; at the end of the
// main run loop's turn every marked view that is in a window is laid out (layoutSubviews,
// superviews before subviews), then drawn (drawRect with a recording GraphicsContext whose
// operations lastDrawing() keeps). A marked view outside any window waits until it enters
// one. layoutIfNeeded() and displayIfNeeded() run the pass for one view at once.
//
// Animations: the view-animation class methods (begin/commit and block forms) change model
// values at once; the completion runs on the main loop after delay + duration on the Clock,
// always with finished = true (a zero duration or disabled animations: on the next turn).
//
// Thread safety: main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/graphics.h"
#include "platform/layer.h"

namespace platform {

class View;
class Window;
class Responder;
class ViewController;
class GestureRecognizer;

enum AutoresizingMask : unsigned {
  kAutoresizingNone = 0,
  kAutoresizingFlexibleLeftMargin = 1 << 0,
  kAutoresizingFlexibleWidth = 1 << 1,
  kAutoresizingFlexibleRightMargin = 1 << 2,
  kAutoresizingFlexibleTopMargin = 1 << 3,
  kAutoresizingFlexibleHeight = 1 << 4,
  kAutoresizingFlexibleBottomMargin = 1 << 5,
};

enum class ContentMode {
  ScaleToFill = 0, ScaleAspectFit, ScaleAspectFill, Redraw, Center, Top, Bottom, Left, Right,
  TopLeft, TopRight, BottomLeft, BottomRight
};

// One finger. Locations are kept in window coordinates; the view is the one the finger first
// touched (hit testing at the start) and stays so until it lifts.
struct Touch {
  enum class Phase { Began, Moved, Stationary, Ended, Cancelled };
  Phase phase = Phase::Began;
  Point locationInWindow;
  Point previousLocationInWindow;
  int tapCount = 1;
  double timestamp = 0;
  std::weak_ptr<View> view;
  std::weak_ptr<Window> window;
  // The location in `inView`'s coordinates (window coordinates for nullptr).
  Point locationInView(const std::shared_ptr<View>& inView) const;
  Point previousLocationInView(const std::shared_ptr<View>& inView) const;
};
using TouchSet = std::vector<std::shared_ptr<Touch>>;
// What the hit test of a touch is given: a touch event holding the touch, so that a view can
// tell a finger from a programmatic hitTestWithEvent call (which passes nullptr or an event
// of its own).
struct Event {
  enum class Type { Touches, Motion, RemoteControl };
  Type type = Type::Touches;
  TouchSet touches;
  double timestamp = 0;
};

// The responder chain: a view's next responder is its view controller when it is that
// controller's view, else its superview; a window's is the application. Unhandled touches
// go up the chain.
class Responder : public std::enable_shared_from_this<Responder> {
 public:
  virtual ~Responder() = default;
  virtual std::shared_ptr<Responder> nextResponder() const { return nullptr; }
  virtual void touchesBeganWithEvent(const TouchSet& touches, const Event& event);
  virtual void touchesMovedWithEvent(const TouchSet& touches, const Event& event);
  virtual void touchesEndedWithEvent(const TouchSet& touches, const Event& event);
  virtual void touchesCancelledWithEvent(const TouchSet& touches, const Event& event);

  // One first responder for the whole application (the platform has one per window; the
  // clients never hold two). becomeFirstResponder fails when canBecomeFirstResponder is false.
  virtual bool canBecomeFirstResponder() const { return false; }
  virtual bool becomeFirstResponder();
  virtual bool resignFirstResponder();
  bool isFirstResponder() const;

  template <class T>
  std::shared_ptr<T> sharedAs() {
    return std::static_pointer_cast<T>(shared_from_this());
  }
  template <class T>
  std::shared_ptr<const T> sharedAs() const {
    return std::static_pointer_cast<const T>(shared_from_this());
  }
};

class View : public Responder {
 public:
  explicit View(const Rect& frame = Rect{});
  ~View() override;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  std::shared_ptr<View> sharedView() { return sharedAs<View>(); }
  const std::shared_ptr<Layer>& layer() const { return layer_; }

  // Geometry. frame is derived from center, bounds and transform (see Layer::frame);
  // setting frame or bounds to another size autoresizes the subviews (when
  // autoresizesSubviews) and marks the view for layout (and display, in ContentMode::Redraw).
  Rect frame() const { return layer_->frame(); }
  void setFrame(const Rect& f);
  Rect bounds() const { return layer_->bounds(); }
  void setBounds(const Rect& b);
  Point center() const { return layer_->position(); }
  void setCenter(const Point& c) { layer_->setPosition(c); }
  AffineTransform transform() const { return layer_->affineTransform(); }
  void setTransform(const AffineTransform& t) { layer_->setAffineTransform(t); }

  double alpha() const { return layer_->opacity(); }
  void setAlpha(double a) { layer_->setOpacity(a); }
  bool isHidden() const { return layer_->isHidden(); }
  virtual void setHidden(bool h);
  bool isOpaque() const { return layer_->isOpaque(); }
  void setOpaque(bool o) { layer_->setOpaque(o); }
  const std::optional<Color>& backgroundColor() const { return layer_->backgroundColor(); }
  void setBackgroundColor(std::optional<Color> c) { layer_->setBackgroundColor(std::move(c)); }
  bool clipsToBounds() const { return layer_->masksToBounds(); }
  void setClipsToBounds(bool c) { layer_->setMasksToBounds(c); }
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool e) { userInteractionEnabled_ = e; }
  bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }
  void setMultipleTouchEnabled(bool e) { multipleTouchEnabled_ = e; }
  bool clearsContextBeforeDrawing() const { return clearsContextBeforeDrawing_; }
  void setClearsContextBeforeDrawing(bool c) { clearsContextBeforeDrawing_ = c; }
  ContentMode contentMode() const { return contentMode_; }
  void setContentMode(ContentMode m) { contentMode_ = m; }
  long tag() const { return tag_; }
  void setTag(long t) { tag_ = t; }
  // What assistive technology reads for the view (stored only; "" for none).
  const std::string& accessibilityLabel() const { return accessibilityLabel_; }
  void setAccessibilityLabel(std::string l) { accessibilityLabel_ = std::move(l); }

  // Autoresizing: when this view's bounds size changes, every subview is moved and resized
  // by its mask. Per axis, the change is shared among the flexible parts (left margin,
  // width, right margin; top margin, height, bottom margin) in proportion to their current
  // sizes (equally when those are all 0); with no flexible part the far margin absorbs it.
  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned m) { autoresizingMask_ = m; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool a) { autoresizesSubviews_ = a; }

  // The receiver itself when its tag matches, else the first match depth-first (pre-order)
  // through the subviews in order.
  std::shared_ptr<View> viewWithTag(long tag);

  // Tree. addSubview on the view's own superview only brings it to the front. A view cannot
  // be added to itself or to one of its descendants (ignored).
  // nullptr without a superview (and while the superview is still being constructed).
  std::shared_ptr<View> superview() const;
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  // The window the view is in (itself for a window), or nullptr.
  virtual std::shared_ptr<Window> window() const;
  void addSubview(const std::shared_ptr<View>& view);
  void insertSubviewAtIndex(const std::shared_ptr<View>& view, size_t index);
  void insertSubviewAboveSubview(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  void insertSubviewBelowSubview(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  void bringSubviewToFront(const std::shared_ptr<View>& view);
  void sendSubviewToBack(const std::shared_ptr<View>& view);
  void exchangeSubviewAtIndexWithSubviewAtIndex(size_t a, size_t b);
  void removeFromSuperview();
  bool isDescendantOfView(const std::shared_ptr<View>& view) const;

  // Hooks, each called only when the superview or the window really changes. Order when a
  // view moves: willMoveToSuperview, willMoveToWindow (whole subtree, parents first), the
  // old superview's willRemoveSubview, the move, didMoveToWindow (subtree), didMoveToSuperview,
  // the new superview's didAddSubview.
  // The pointers given to the will-move hooks are valid for the call (inside a superview's
  // constructor they do not own it).
  virtual void willMoveToSuperview(const std::shared_ptr<View>& newSuperview) { (void)newSuperview; }
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(const std::shared_ptr<Window>& newWindow) { (void)newWindow; }
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(const std::shared_ptr<View>& subview) { (void)subview; }
  virtual void willRemoveSubview(const std::shared_ptr<View>& subview) { (void)subview; }

  // Conversion between this view and `other` (nullptr: this view's window; for a window,
  // nullptr means the screen). Views in different windows convert through the screen; a
  // view outside any window converts through its topmost superview's frame space.
  Point convertPointToView(const Point& p, const std::shared_ptr<const View>& other) const;
  Point convertPointFromView(const Point& p, const std::shared_ptr<const View>& other) const;
  // The bounding box of the converted corners.
  Rect convertRectToView(const Rect& r, const std::shared_ptr<const View>& other) const;
  Rect convertRectFromView(const Rect& r, const std::shared_ptr<const View>& other) const;

  // Gesture recognizers (gesture_recognizer.h), retained, in the order added. Adding one that
  // is on another view moves it here; adding it twice keeps one.
  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return gestureRecognizers_; }

  // Whether the user can see the view now: it is in a window, and neither the view, any of
  // its superviews nor the window is hidden or has an alpha below 0.01 (the bound hit testing
  // uses). A window is hidden until made visible. Position is not considered: a view covered
  // by another or outside its window's bounds still counts as shown.
  bool isShownOnScreen() const;

  // Hit testing: nullptr when hidden, not interactive, alpha below 0.01 or the point is not
  // inside; otherwise the front-most subview's hit, else this view.
  virtual std::shared_ptr<View> hitTestWithEvent(const Point& p, const Event* event);
  virtual bool pointInsideWithEvent(const Point& p, const Event* event) const;
  std::shared_ptr<Responder> nextResponder() const override;
  // The controller whose view this is (weak), set by ViewController.
  std::shared_ptr<ViewController> viewController() const { return controller_.lock(); }

  // Layout and drawing.
  void setNeedsLayout();
  void layoutIfNeeded();
  bool needsLayout() const { return needsLayout_; }
  virtual void layoutSubviews() {}
  void setNeedsDisplay();
  void displayIfNeeded();
  bool needsDisplay() const { return needsDisplay_; }
  virtual void drawRect(const Rect& rect) { (void)rect; }
  // The operations recorded by the last drawing pass, or nullptr before the first.
  std::shared_ptr<const GraphicsContext> lastDrawing() const { return lastDrawing_; }
  int drawCount() const { return drawCount_; }
  int layoutCount() const { return layoutCount_; }

  // The size that fits: the current bounds size unless a subclass knows better.
  virtual Size sizeThatFits(const Size& size) const;
  // Resizes to sizeThatFits(bounds size), keeping the frame's origin.
  void sizeToFit();

  // View animations, begin/commit form. `context` is handed back untouched.
  using AnimationDidStop = std::function<void(const std::string& animationID, bool finished, void* context)>;
  using AnimationWillStart = std::function<void(const std::string& animationID, void* context)>;
  static void beginAnimationsContext(const std::string& animationID, void* context = nullptr);
  // Outside begin/commit these setters do nothing. Duration defaults to 0.2 s.
  static void setAnimationDuration(double seconds);
  static void setAnimationDelay(double seconds);
  static void setAnimationCurve(int curve);  // 0 ease in-out, 1 ease in, 2 ease out, 3 linear
  static void setAnimationRepeatCount(double count);
  static void setAnimationBeginsFromCurrentState(bool b);
  // transition: 0 none, 1 flip from left, 2 flip from right, 3 curl up, 4 curl down.
  static void setAnimationTransitionForViewCache(int transition, const std::shared_ptr<View>& view, bool cache);
  // The delegate and its did-stop selector, as one callback (bind the target weakly).
  static void setAnimationDidStopCallback(AnimationDidStop callback);
  static void setAnimationWillStartCallback(AnimationWillStart callback);
  static void commitAnimations();
  // Block form.
  static void animateWithDurationAnimations(double duration, const std::function<void()>& animations);
  static void animateWithDurationAnimationsCompletion(double duration, const std::function<void()>& animations,
                                                      std::function<void(bool finished)> completion);
  static void animateWithDurationDelayOptionsAnimationsCompletion(double duration, double delay, unsigned options,
                                                                  const std::function<void()>& animations,
                                                                  std::function<void(bool finished)> completion);
  static void setAnimationsEnabled(bool enabled);
  static bool areAnimationsEnabled();
  // True between begin and commit, or inside an animations block.
  static bool isAnimating();

  // A record of every committed view animation (tests read it; reset with the platform).
  struct CommittedAnimation {
    std::string identifier;  // "" for the block form
    double duration = 0;
    double delay = 0;
    int curve = 0;
    int transition = 0;
    unsigned options = 0;
  };
  static std::vector<CommittedAnimation> committedAnimations();

 protected:
  // Called for every view of a subtree that moved between windows (after the hooks).
  virtual void windowChanged() {}
  // A user's finger lifted from the screen after touching this view or one of its subviews
  // (the view hit when it came down, still in that window). The window calls it on that view
  // and each superview, innermost first, before the touch's end is delivered to anyone;
  // never for a cancelled touch nor for touchesEndedWithEvent calls made by code.
  virtual void userTouchEnded() {}

 private:
  friend class ViewController;
  friend class Window;
  friend struct ViewPasses;
  void moveTo(View* newSuper, const std::shared_ptr<View>& self, size_t index);
  Window* rootWindow() const;
  void propagateWillMoveToWindow(Window* w);
  void propagateDidMoveToWindow();
  void sizeChanged(const Size& oldSize);
  void resizeWithOldSuperviewSize(const Size& oldSize, const Size& newSize);
  // Maps a point in this view's bounds to its superview's (or, at the root, frame) space.
  Point toParent(const Point& p) const;
  Point fromParent(const Point& p) const;
  Point toScreen(const Point& p) const;
  Point fromScreen(const Point& p) const;
  void runLayout();
  void runDisplay();
  void scheduleIfInWindow();

  std::shared_ptr<Layer> layer_;
  View* superview_ = nullptr;
  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<ViewController> controller_;
  std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers_;
  bool userInteractionEnabled_ = true;
  bool multipleTouchEnabled_ = false;
  bool clearsContextBeforeDrawing_ = true;
  ContentMode contentMode_ = ContentMode::ScaleToFill;
  long tag_ = 0;
  std::string accessibilityLabel_;
  unsigned autoresizingMask_ = kAutoresizingNone;
  bool autoresizesSubviews_ = true;
  bool needsLayout_ = false;
  bool needsDisplay_ = false;
  std::shared_ptr<const GraphicsContext> lastDrawing_;
  int drawCount_ = 0;
  int layoutCount_ = 0;
};

}  // namespace platform
