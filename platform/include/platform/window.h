#pragma once
// Windows: the roots of the view trees on the screen. A window is a view whose frame is in
// screen coordinates; it starts hidden, as the platform's do.
//
// Ownership: the application keeps every visible window alive (and forgets a window once
// it is hidden and nobody else holds it); a window retains its root view controller.
// Key window: one for the application; making another window key resigns the previous one
// (resignKeyWindow, then "UIWindowDidResignKeyNotification"), then the new one hears
// becomeKeyWindow and "UIWindowDidBecomeKeyNotification" (sender: the window).
// Main thread only.
#include <memory>

#include "platform/application.h"
#include "platform/view.h"

namespace platform {

class ViewController;

inline constexpr double kWindowLevelNormal = 0;
inline constexpr double kWindowLevelStatusBar = 1000;
inline constexpr double kWindowLevelAlert = 2000;

inline constexpr const char* kWindowDidBecomeKeyNotification = "UIWindowDidBecomeKeyNotification";
inline constexpr const char* kWindowDidResignKeyNotification = "UIWindowDidResignKeyNotification";
inline constexpr const char* kWindowDidBecomeVisibleNotification = "UIWindowDidBecomeVisibleNotification";
inline constexpr const char* kWindowDidBecomeHiddenNotification = "UIWindowDidBecomeHiddenNotification";

class Window : public View {
 public:
  explicit Window(const Rect& frame = Rect{});
  static std::shared_ptr<Window> create(const Rect& frame) { return std::make_shared<Window>(frame); }

  std::shared_ptr<Window> window() const override;
  void setHidden(bool hidden) override;

  void makeKeyAndVisible();
  void makeKeyWindow();
  bool isKeyWindow() const;
  virtual void becomeKeyWindow() {}
  virtual void resignKeyWindow() {}

  double windowLevel() const { return windowLevel_; }
  void setWindowLevel(double level) { windowLevel_ = level; }

  // Setting a root controller puts its view in the window (filling the window below the
  // status bar unless the controller wants full-screen layout) and removes the previous
  // root's view.
  std::shared_ptr<ViewController> rootViewController() const { return root_; }
  void setRootViewController(const std::shared_ptr<ViewController>& controller);

  std::shared_ptr<Responder> nextResponder() const override;

  // Device rotation, simulated: when the root controller (or, if one is presented, the top
  // presented controller) accepts `orientation`, every controller from the root to the top
  // hears willRotateToInterfaceOrientationDuration, the status bar takes the orientation,
  // their views are turned and sized to the window less the status bar, they hear
  // willAnimateRotationToInterfaceOrientationDuration, and didRotateFromInterfaceOrientation
  // arrives `duration` later on the main loop. Returns whether it rotated.
  bool rotateToInterfaceOrientation(InterfaceOrientation orientation, double duration = 0.3);

  // Touches (tests and the demo): hit tests `point` (window coordinates) and delivers the
  // touch to the gesture recognizers of the view hit and its superviews, then to the view hit,
  // which passes what it does not handle up the responder chain.
  // tapAtPoint sends began then ended; it returns the view hit (nullptr: nothing hit).
  std::shared_ptr<View> tapAtPoint(const Point& point);
  std::shared_ptr<View> touchDownAtPoint(const Point& point);
  void touchMovedToPoint(const Point& point);
  void touchUpAtPoint(const Point& point);
  void touchCancel();

 private:
  void deliver(Touch::Phase phase, const Point& point);
  double windowLevel_ = kWindowLevelNormal;
  std::shared_ptr<ViewController> root_;
  std::shared_ptr<Touch> touch_;
  // The recognizers that watch the current touch (see gesture_recognizer.h).
  std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;
};

}  // namespace platform
