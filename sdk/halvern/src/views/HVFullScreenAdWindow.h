#pragma once
// The window of its own, laid over the application's key window, that shows a full-screen
// ad or a banner's expanded content. It takes the content controller's view, hides the
// status bar, follows the device's orientation, and gives everything back when it closes.
//
// The displaying mark says that an ad holds the screen; the full-screen request and the
// banners' click-throughs take and test it under the window's lock so that at most one ad
// at a time holds it. A mark taken ahead of the content names the ad it was taken for, and
// only that ad's content may open under it. After an animated close it is cleared 0.4 s later;
// any ad's content may open meanwhile, as nothing is left in the window.
//
// The window is made once and kept for the life of the client. Main thread only, apart from
// the mark, which any thread may read and set.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/run_loop.h"
#include "platform/window.h"

namespace halvern {

class HVAdViewInternal;

class HVFullScreenAdWindow : public platform::Window {
 public:
  static constexpr double kAnimationDuration = 0.8;
  static constexpr double kOrientationDuration = 0.3;
  static constexpr double kClearDisplayingDelay = 0.4;
  static constexpr double kStatusBarFadeDuration = 1.0;
  static constexpr const char* kExpandAnimation = "HVFullScreenAdWindow_expand";
  static constexpr const char* kContentFadeOutAnimation = "HVFullSreenAdWindow_contentFadeOut";
  static constexpr const char* kWindowFadeOutAnimation = "HVFullScreenAdWindow_windowFadeOut";
  static constexpr const char* kContentFadeInAnimation = "HVFullScreenAdWindow_contentFadeIn";
  // The application property that leads to its status-bar window.
  static constexpr const char* kStatusBarWindowKey = "statusBarWindow";

  // The screen's bounds, black, not displaying.
  static std::shared_ptr<HVFullScreenAdWindow> create();
  HVFullScreenAdWindow();
  ~HVFullScreenAdWindow() override;

  std::recursive_mutex& lock() { return m_lock; }
  bool isDisplaying() const;
  // A changed value is stored and, once the lock is left, handed to the observer.
  void setIsDisplaying(bool displaying);
  // Marks the window displaying for `owner` unless it already is; answers the claim's number,
  // 0 when refused. A mark taken for content that never opens is given back with
  // releaseUnopenedClaim, which drops it only when it is still that claim's and nothing was
  // opened under it (false otherwise). Neither tells the observer.
  uint64_t claimForDisplay(const HVAdViewInternal* owner);
  bool releaseUnopenedClaim(uint64_t claim);
  // The same for whatever mark `owner` holds with nothing opened under it; the observer hears
  // of a mark dropped.
  void releaseUnopenedClaimOf(const HVAdViewInternal* owner);
  // The ad whose mark was dropped last (compare only): the observer tells the others.
  const HVAdViewInternal* lastOwner() const;
  // Who hears that the mark changed (the client's controller).
  void setDisplayingObserver(std::function<void(bool)> observer) { m_displayingObserver = std::move(observer); }

  // Shows `controller`: a full-screen controller slides in at once; a banner's content
  // first fades out of its place, then moves into the window. The window serves one ad at a
  // time: it is refused (false, nothing changes) while another ad's content is in the window
  // or the mark is another ad's; otherwise the window is marked displaying for it.
  bool displayController(const std::shared_ptr<HVAdViewInternal>& controller);
  void dismiss() { dismissAnimated(true); }
  void dismissAnimated(bool animated);
  void collapse() { collapseAnimated(true); }
  void collapseAnimated(bool animated);
  void didDisappearAnimated(bool animated);

  void layoutInterfaceWithAnimation(bool animated);
  void deviceOrientationDidChange();
  void beginListeningToDeviceOrientationNotifications();
  void stopListeningToDeviceOrientationNotifications();
  void hideStatusBarAnimated(bool animated);
  void restoreStatusBarAnimated(bool animated);
  void applicationWillEnterForeground();

  std::shared_ptr<platform::Window> appWindow() const { return m_appWindow.lock(); }
  const std::shared_ptr<HVAdViewInternal>& contentController() const { return m_contentController; }

 private:
  void insertContentView(const std::shared_ptr<platform::View>& view);
  void rememberAppWindow();
  void slideIn();
  void fadeOut(double frameTop, bool animated);
  void presentControllerAnimationDidStop(const std::string& animationID);
  std::function<void(const std::string&, bool, void*)> openingCallback();
  void tellWillOpen();
  void dismissControllerAnimationDidStop(const std::string& animationID);
  bool contentIsFullScreen() const;
  bool isBannerWithoutClickThrough() const;
  std::function<void(const std::string&, bool, void*)> callback(
      void (HVFullScreenAdWindow::*method)(const std::string&));

  mutable std::recursive_mutex m_lock;
  std::function<void(bool)> m_displayingObserver;
  std::weak_ptr<platform::Window> m_appWindow;
  std::weak_ptr<platform::View> m_prevSuperview;
  std::shared_ptr<HVAdViewInternal> m_contentController;
  bool m_isDisplaying = false;
  uint64_t m_claims = 0;
  const HVAdViewInternal* m_claimOwner = nullptr;  // compared, never followed
  const HVAdViewInternal* m_lastOwner = nullptr;   // compared, never followed
  platform::AffineTransform m_prevTransform;
  platform::Rect m_prevFrame;
  bool m_prevStatusBarHidden = true;
  std::weak_ptr<platform::View> m_hostAppFrameViewToRestore;
  bool m_prevGeneratingDeviceOrientationNotifications = false;
  bool m_listeningToOrientation = false;
  bool m_wasForceDismissed = false;
  bool m_isClosing = false;
  // From the showing of a controller until its slide-in ends (or a close stops it).
  bool m_isOpening = false;
  // Counts the openings, so that an animation's end reaches only its own.
  uint64_t m_opening = 0;
  // The host heard this showing open: once, and before its close.
  bool m_toldWillOpen = false;
  // The banner content shown was a click-through page (noted when it moved in).
  bool m_isClickThrough = false;
  std::shared_ptr<platform::Timer> m_clearDisplayingTimer;
};

}  // namespace halvern
