#pragma once
// The application object: state, windows, status bar, URL opening, background tasks and a
// simulation of the life cycle that posts the platform's notifications.
//
// sharedApplication() lives for the whole process; test reset makes a fresh one: state
// active, no windows, status bar shown in portrait (orientation 1) with style 0, idle timer
// and activity indicator off, openable schemes http, https, mailto, tel, sms, itms and
// itms-apps, no scripted answer, no delegate.
//
// Life cycle: each simulation method changes the state, calls the delegate's method, then
// posts the notification (sender: the application), as the platform does. A call that
// does not change the state does nothing.
// The delegate is not retained. Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/passkey.h"
#include "platform/value.h"
#include "platform/view.h"

namespace platform {

class Window;
class Application;

inline constexpr const char* kApplicationDidFinishLaunchingNotification = "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* kApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillEnterForegroundNotification = "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";
inline constexpr const char* kApplicationDidReceiveMemoryWarningNotification = "UIApplicationDidReceiveMemoryWarningNotification";
inline constexpr const char* kApplicationWillChangeStatusBarOrientationNotification = "UIApplicationWillChangeStatusBarOrientationNotification";
inline constexpr const char* kApplicationDidChangeStatusBarOrientationNotification = "UIApplicationDidChangeStatusBarOrientationNotification";
inline constexpr const char* kApplicationStatusBarOrientationUserInfoKey = "UIApplicationStatusBarOrientationUserInfoKey";

enum class ApplicationState : int { Active = 0, Inactive = 1, Background = 2 };

// 1 portrait, 2 upside down, 3 landscape left, 4 landscape right (home button left).
using InterfaceOrientation = int;
inline constexpr InterfaceOrientation kInterfaceOrientationPortrait = 1;
inline constexpr InterfaceOrientation kInterfaceOrientationPortraitUpsideDown = 2;
inline constexpr InterfaceOrientation kInterfaceOrientationLandscapeRight = 3;
inline constexpr InterfaceOrientation kInterfaceOrientationLandscapeLeft = 4;
inline bool isLandscape(InterfaceOrientation o) { return o == 3 || o == 4; }

using BackgroundTaskIdentifier = unsigned long;
inline constexpr BackgroundTaskIdentifier kBackgroundTaskInvalid = 0;

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  // The delegate's window, or nullptr when it has none.
  virtual std::shared_ptr<Window> window() { return nullptr; }
  virtual bool applicationDidFinishLaunchingWithOptions(Application& app, const Value& options) {
    (void)app;
    (void)options;
    return true;
  }
  virtual void applicationDidBecomeActive(Application& app) { (void)app; }
  virtual void applicationWillResignActive(Application& app) { (void)app; }
  virtual void applicationDidEnterBackground(Application& app) { (void)app; }
  virtual void applicationWillEnterForeground(Application& app) { (void)app; }
  virtual void applicationWillTerminate(Application& app) { (void)app; }
  virtual void applicationDidReceiveMemoryWarning(Application& app) { (void)app; }
};

class Application : public Responder {
 public:
  static Application& sharedApplication();

  std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<ApplicationDelegate>& d) { delegate_ = d; }
  ApplicationState applicationState() const { return state_; }

  // Windows: every live window that has been shown, by level (stable for equal levels).
  std::shared_ptr<Window> keyWindow() const;
  std::vector<std::shared_ptr<Window>> windows() const;

  // Status bar. Hiding or showing it updates the screen's application frame. Changing the
  // orientation posts the will/did change notifications with the new orientation as a
  // number under kApplicationStatusBarOrientationUserInfoKey.
  InterfaceOrientation statusBarOrientation() const { return statusBarOrientation_; }
  void setStatusBarOrientation(InterfaceOrientation o);
  void setStatusBarOrientationAnimated(InterfaceOrientation o, bool animated);
  bool isStatusBarHidden() const { return statusBarHidden_; }
  void setStatusBarHidden(bool hidden);
  // animation: 0 none, 1 fade, 2 slide.
  void setStatusBarHiddenWithAnimation(bool hidden, int animation);
  void setStatusBarHiddenAnimated(bool hidden, bool animated);
  int statusBarStyle() const { return statusBarStyle_; }
  void setStatusBarStyle(int style) { statusBarStyle_ = style; }
  void setStatusBarStyleAnimated(int style, bool animated);
  // In screen coordinates: zero while hidden; a 20-point strip along the top edge as the
  // user sees it (portrait: {0, 0, W, 20}; 2: the bottom; 3: the right edge; 4: the left).
  Rect statusBarFrame() const;
  // The window the status bar lives in, for a caller that fades it by hand: made on first use
  // at kWindowLevelStatusBar with the portrait status bar's frame; never key, never among
  // windows(), and its alpha changes nothing else. nullptr while the runtime key
  // "UIApplication.statusBarWindow" is unavailable (Runtime), as where it cannot be reached:
  // callers then hide the status bar with setStatusBarHiddenWithAnimation instead.
  std::shared_ptr<Window> statusBarWindow();

  bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
  void setIdleTimerDisabled(bool d) { idleTimerDisabled_ = d; }
  bool isNetworkActivityIndicatorVisible() const { return networkActivityIndicatorVisible_; }
  void setNetworkActivityIndicatorVisible(bool v) { networkActivityIndicatorVisible_ = v; }
  long applicationIconBadgeNumber() const { return badge_; }
  void setApplicationIconBadgeNumber(long n) { badge_ = n; }

  // URLs. canOpenURL: the URL's scheme (before the first ':', compared without case) is in
  // the registry. openURL records the URL and answers the scripted answer, or canOpenURL
  // without one. When leaving is switched on, an open that succeeded sends the application
  // to the background on the next turn (resign active, then enter background).
  // The record keeps the latest kOpenedURLsKept URLs, oldest first (the oldest is dropped
  // to make room), so a long-running process does not grow with every open; openURLCalls()
  // counts every call since the reset, for a reader that wants to know how many came after
  // a point.
  static constexpr size_t kOpenedURLsKept = 64;
  bool canOpenURL(const std::string& url) const;
  bool openURL(const std::string& url);
  void registerOpenableScheme(const std::string& scheme);
  void unregisterOpenableScheme(const std::string& scheme);
  void setOpenURLAnswer(std::optional<bool> answer) { openURLAnswer_ = answer; }
  void setOpenURLLeavesApplication(bool leaves) { openURLLeaves_ = leaves; }
  const std::vector<std::string>& openedURLs() const { return openedURLs_; }
  size_t openURLCalls() const { return openURLCalls_; }

  // Background tasks: identifiers from 1. The expiration handler runs only when a test
  // calls expireBackgroundTasks(), and only for a task still running when its turn comes.
  // Ending an unknown identifier does nothing.
  BackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
  void endBackgroundTask(BackgroundTaskIdentifier identifier);
  double backgroundTimeRemaining() const;
  void setBackgroundTimeRemaining(double seconds) { backgroundTimeRemaining_ = seconds; }
  std::vector<BackgroundTaskIdentifier> activeBackgroundTasks() const;
  void expireBackgroundTasks();

  // Life cycle simulation.
  // finishLaunchingWithOptions: state inactive, the delegate's didFinishLaunching, then the
  // notice; launch counts as finished from the notice on (false after a reset, and while the
  // delegate's didFinishLaunching runs), whoever was listening when it was posted.
  void finishLaunchingWithOptions(const Value& options = {});
  bool isLaunchFinished() const { return launchFinished_; }
  void becomeActive();      // "UIApplicationDidBecomeActiveNotification"
  void resignActive();      // "UIApplicationWillResignActiveNotification"
  void enterBackground();   // resigns first when active; "UIApplicationDidEnterBackgroundNotification"
  void enterForeground();   // "UIApplicationWillEnterForegroundNotification", then becomes active
  void terminate();         // "UIApplicationWillTerminateNotification"
  void receiveMemoryWarning();

  std::shared_ptr<Responder> nextResponder() const override { return nullptr; }

  // Window bookkeeping (Window calls these).
  void windowBecameVisible(const std::shared_ptr<Window>& w);
  void windowBecameHidden(const std::shared_ptr<Window>& w);
  void windowBecameKey(const std::shared_ptr<Window>& w);

  // Made only by sharedApplication().
  explicit Application(Passkey<Application>);

 private:
  void post(const char* name, Value userInfo = {});
  std::weak_ptr<ApplicationDelegate> delegate_;
  std::shared_ptr<Window> statusBarWindow_;
  ApplicationState state_ = ApplicationState::Active;
  bool launchFinished_ = false;
  struct WindowEntry {
    std::weak_ptr<Window> weak;
    std::shared_ptr<Window> strong;  // while visible
  };
  std::vector<WindowEntry> windows_;
  std::weak_ptr<Window> keyWindow_;
  InterfaceOrientation statusBarOrientation_ = 1;
  bool statusBarHidden_ = false;
  int statusBarStyle_ = 0;
  bool idleTimerDisabled_ = false;
  bool networkActivityIndicatorVisible_ = false;
  long badge_ = 0;
  std::vector<std::string> schemes_{"http", "https", "mailto", "tel", "sms", "itms", "itms-apps"};
  std::optional<bool> openURLAnswer_;
  bool openURLLeaves_ = false;
  std::vector<std::string> openedURLs_;
  size_t openURLCalls_ = 0;
  struct Task {
    BackgroundTaskIdentifier id;
    std::function<void()> handler;
  };
  std::vector<Task> tasks_;
  BackgroundTaskIdentifier nextTask_ = 1;
  double backgroundTimeRemaining_ = 600;
};

}  // namespace platform
