#include "HVFullScreenAdWindow.h"

#include "HVAdViewInternal.h"
#include "HVController.h"
#include "HVFullScreenAdController.h"
#include "HVUtil.h"
#include "platform/accelerometer.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/notification_center.h"
#include "platform/screen.h"

namespace halvern {

using platform::Application;
using platform::DeviceOrientation;
using platform::Rect;
using platform::View;

namespace {

// The view, starting at `view` and going down through first subviews, whose frame is the
// application frame: the one the application lays out below the status bar.
std::shared_ptr<View> findApplicationFrameView(std::shared_ptr<View> view) {
  const Rect appFrame = platform::Screen::mainScreen().applicationFrame();
  while (view) {
    auto superview = view->superview();
    const Rect expected = superview ? superview->convertRectFromView(appFrame, nullptr) : appFrame;
    if (view->frame() == expected) return view;
    view = view->subviews().empty() ? nullptr : view->subviews().front();
  }
  return nullptr;
}

// The application's status-bar window, reached by the property name the server gave; none
// for any other name, or where the platform does not let it be reached.
std::shared_ptr<platform::Window> statusBarWindow() {
  const auto& name = HVController::sharedController()->sbwPropName();
  if (!name || *name != HVFullScreenAdWindow::kStatusBarWindowKey) return nullptr;
  return Application::sharedApplication().statusBarWindow();
}

void fadeStatusBarWindow(platform::Window& bar, double alpha, bool animated) {
  if (animated) {
    View::animateWithDurationAnimations(HVFullScreenAdWindow::kStatusBarFadeDuration, [&] { bar.setAlpha(alpha); });
  } else {
    bar.setAlpha(alpha);
  }
}

bool isFlat(DeviceOrientation o) {
  return o == DeviceOrientation::Unknown || o == DeviceOrientation::FaceUp || o == DeviceOrientation::FaceDown;
}

}  // namespace

std::shared_ptr<HVFullScreenAdWindow> HVFullScreenAdWindow::create() { return std::make_shared<HVFullScreenAdWindow>(); }

HVFullScreenAdWindow::HVFullScreenAdWindow() : Window(platform::Screen::mainScreen().bounds()) {
  setBackgroundColor(platform::Color::blackColor());
  setAutoresizesSubviews(false);
}

HVFullScreenAdWindow::~HVFullScreenAdWindow() {
  if (m_clearDisplayingTimer) m_clearDisplayingTimer->invalidate();
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

bool HVFullScreenAdWindow::isDisplaying() const {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  return m_isDisplaying;
}

void HVFullScreenAdWindow::setIsDisplaying(bool displaying) {
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    // Content in the window holds the screen, whatever else asks: its close clears the mark.
    if (!displaying && m_contentController) return;
    if (m_isDisplaying == displaying) return;
    m_isDisplaying = displaying;
    // Every taking of the mark counts as a claim of its own, so an older claim cannot drop it.
    if (displaying) ++m_claims;
    if (!displaying) m_lastOwner = m_claimOwner;
    m_claimOwner = displaying && m_contentController ? m_contentController.get() : nullptr;
  }
  if (m_displayingObserver) m_displayingObserver(displaying);
}

const HVAdViewInternal* HVFullScreenAdWindow::lastOwner() const {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  return m_lastOwner;
}

uint64_t HVFullScreenAdWindow::claimForDisplay(const HVAdViewInternal* owner) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_isDisplaying) return 0;
  m_isDisplaying = true;
  m_claimOwner = owner;
  return ++m_claims;
}

void HVFullScreenAdWindow::releaseUnopenedClaimOf(const HVAdViewInternal* owner) {
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!m_isDisplaying || m_claimOwner != owner || m_contentController) return;
  }
  setIsDisplaying(false);
}

bool HVFullScreenAdWindow::releaseUnopenedClaim(uint64_t claim) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (!m_isDisplaying || claim != m_claims || m_contentController) return false;
  m_isDisplaying = false;
  // Nothing opened: every banner hears that the window is free.
  m_claimOwner = m_lastOwner = nullptr;
  return true;
}

std::function<void(const std::string&, bool, void*)> HVFullScreenAdWindow::callback(
    void (HVFullScreenAdWindow::*method)(const std::string&)) {
  std::weak_ptr<HVFullScreenAdWindow> weak = sharedAs<HVFullScreenAdWindow>();
  return [weak, method](const std::string& animationID, bool, void*) {
    if (auto self = weak.lock()) ((*self).*method)(animationID);
  };
}

bool HVFullScreenAdWindow::contentIsFullScreen() const {
  return m_contentController && m_contentController->controlsFullScreenSlot();
}

bool HVFullScreenAdWindow::isBannerWithoutClickThrough() const {
  return m_contentController && !m_contentController->controlsFullScreenSlot() && !m_isClickThrough;
}

void HVFullScreenAdWindow::insertContentView(const std::shared_ptr<View>& view) {
  insertSubviewAtIndex(view, 0);
  layoutInterfaceWithAnimation(false);
}

void HVFullScreenAdWindow::rememberAppWindow() {
  auto key = Application::sharedApplication().keyWindow();
  if (key && key.get() != this) m_appWindow = key;
}

bool HVFullScreenAdWindow::displayController(const std::shared_ptr<HVAdViewInternal>& controller) {
  if (!controller) return false;
  bool marked = false;
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    // Content on its way out is still the window's until it has gone.
    if (m_isClosing) return false;
    if (m_contentController && m_contentController != controller) return false;
    // The last 0.4 s of a close keep the mark with nothing left in the window: a tap then opens
    // as any other would once the mark is cleared.
    const bool closingTail = m_isDisplaying && !m_contentController && m_clearDisplayingTimer &&
                             m_clearDisplayingTimer->isValid();
    if (m_isDisplaying && !m_contentController && m_claimOwner != controller.get() && !closingTail) return false;
    // Taken anew, also from a tail: an older claim cannot drop the new content's mark.
    if (!m_isDisplaying || closingTail) ++m_claims;
    if (!m_isDisplaying) m_isDisplaying = marked = true;
    m_claimOwner = controller.get();
    m_contentController = controller;
  }
  // The mark is the new content's now: a clearing still due from the last close would drop it.
  if (m_clearDisplayingTimer) m_clearDisplayingTimer->invalidate();
  m_clearDisplayingTimer.reset();
  if (marked && m_displayingObserver) m_displayingObserver(true);
  setUserInteractionEnabled(false);
  auto view = controller->view();
  m_prevSuperview = view->superview();
  m_prevTransform = view->transform();
  m_prevFrame = view->frame();
  m_wasForceDismissed = false;
  m_isClosing = false;
  m_isOpening = true;
  ++m_opening;
  m_toldWillOpen = false;
  m_isClickThrough = false;
  beginListeningToDeviceOrientationNotifications();
  if (controller->controlsFullScreenSlot()) {
    rememberAppWindow();
    tellWillOpen();
    hideStatusBarAnimated(true);
    const Rect screen = platform::Screen::mainScreen().bounds();
    setFrame(Rect(screen.origin.x, screen.size.height, screen.size.width, screen.size.height));
    setAlpha(0);
    insertContentView(view);
    slideIn();
    return true;
  }
  // A banner's content leaves its place first; it moves in when the fade ends.
  View::beginAnimationsContext(kContentFadeOutAnimation);
  View::setAnimationDuration(kAnimationDuration);
  View::setAnimationDidStopCallback(openingCallback());
  if (auto container = controller->containerView()) container->setAlpha(0);
  View::commitAnimations();
  return true;
}

void HVFullScreenAdWindow::slideIn() {
  View::beginAnimationsContext(kExpandAnimation);
  View::setAnimationDuration(kAnimationDuration);
  View::setAnimationDidStopCallback(openingCallback());
  setAlpha(1);
  setFrame(platform::Screen::mainScreen().bounds());
  makeKeyAndVisible();
  View::commitAnimations();
}

// The end of an opening animation reaches the opening it belongs to, and only while it goes on.
std::function<void(const std::string&, bool, void*)> HVFullScreenAdWindow::openingCallback() {
  std::weak_ptr<HVFullScreenAdWindow> weak = sharedAs<HVFullScreenAdWindow>();
  return [weak, opening = m_opening](const std::string& animationID, bool, void*) {
    auto self = weak.lock();
    if (self && self->m_opening == opening) self->presentControllerAnimationDidStop(animationID);
  };
}

void HVFullScreenAdWindow::tellWillOpen() {
  if (m_toldWillOpen) return;
  m_toldWillOpen = true;
  m_contentController->fullScreenAdWindowWillOpen();
}

void HVFullScreenAdWindow::presentControllerAnimationDidStop(const std::string& animationID) {
  // Any close meanwhile ends the opening here: what it would still do (move the content in,
  // take the screen and the status bar) is for content that is going.
  if (m_wasForceDismissed || !m_isOpening || !m_contentController) return;
  auto self = sharedAs<HVFullScreenAdWindow>();
  auto controller = m_contentController;
  if (animationID == kContentFadeOutAnimation) {
    rememberAppWindow();
    m_isClickThrough = controller->shouldWipeContentOnDismiss();
    tellWillOpen();
    hideStatusBarAnimated(true);
    const Rect screen = platform::Screen::mainScreen().bounds();
    setFrame(Rect(screen.origin.x, screen.size.height, screen.size.width, screen.size.height));
    setAlpha(0);
    insertContentView(controller->view());
    if (!m_isClickThrough) controller->adViewWillExpand();
    slideIn();
  } else if (animationID == kExpandAnimation) {
    m_isOpening = false;
    if (!controller->controlsFullScreenSlot() && m_isClickThrough) {
      controller->prepareAdViewBrowserMode(true);
      if (auto app = appWindow()) app->setHidden(true);
    }
    setUserInteractionEnabled(true);
  }
}

void HVFullScreenAdWindow::dismissAnimated(bool animated) {
  // Closed once: a second request while the window goes changes nothing.
  if (!m_contentController || m_isClosing) return;
  m_isClosing = true;
  m_isOpening = false;
  auto self = sharedAs<HVFullScreenAdWindow>();
  if (!animated) m_wasForceDismissed = true;
  setUserInteractionEnabled(false);
  stopListeningToDeviceOrientationNotifications();
  restoreStatusBarAnimated(animated);
  auto controller = m_contentController;
  // Closed before its opening told the host: the host hears the opening first, once.
  tellWillOpen();
  controller->fullScreenAdWindowWillClose();
  if (controller->controlsFullScreenSlot())
    fadeOut(frame().origin.y + frame().size.height, animated);
  else
    collapseAnimated(animated);
}

void HVFullScreenAdWindow::collapseAnimated(bool animated) { fadeOut(frame().size.height, animated); }

// The window fades out and drops to `frameTop` while the application window shows again
// under it.
void HVFullScreenAdWindow::fadeOut(double frameTop, bool animated) {
  auto app = appWindow();
  const double appAlpha = app ? app->alpha() : 1;
  if (app) {
    app->setAlpha(0);
    app->setHidden(false);
  }
  if (animated) {
    View::beginAnimationsContext(kWindowFadeOutAnimation);
    View::setAnimationDuration(kAnimationDuration);
    View::setAnimationDidStopCallback(callback(&HVFullScreenAdWindow::dismissControllerAnimationDidStop));
  }
  setAlpha(0);
  Rect moved = frame();
  moved.origin.y = frameTop;
  setFrame(moved);
  if (app) app->setAlpha(appAlpha);
  if (animated)
    View::commitAnimations();
  else
    didDisappearAnimated(false);
}

void HVFullScreenAdWindow::dismissControllerAnimationDidStop(const std::string& animationID) {
  if (animationID == kWindowFadeOutAnimation) didDisappearAnimated(true);
}

void HVFullScreenAdWindow::didDisappearAnimated(bool animated) {
  auto controller = m_contentController;
  if (!controller) return;
  auto self = sharedAs<HVFullScreenAdWindow>();
  // Only a page taken away from its ad leaves the banner blank until its next ad: a landing
  // page that failed or never came leaves the ad where it was.
  const bool restoreBanner =
      !controller->controlsFullScreenSlot() &&
      ((!m_isClickThrough && !controller->shouldWipeContentOnDismiss()) || controller->pageShowsItsAd());
  if (isBannerWithoutClickThrough()) controller->adViewDidCollapse();
  auto view = controller->view();
  if (view->superview().get() == this) {
    auto previous = m_prevSuperview.lock();
    if (!controller->controlsFullScreenSlot() && previous) {
      view->setTransform(m_prevTransform);
      view->setFrame(m_prevFrame);
      previous->insertSubviewAtIndex(view, 0);
      if (auto container = controller->containerView()) container->setAlpha(0);
    } else {
      view->removeFromSuperview();
    }
  }
  if (auto app = appWindow()) app->makeKeyAndVisible();
  if (restoreBanner) {
    if (auto container = controller->containerView()) {
      if (animated) {
        View::beginAnimationsContext(kContentFadeInAnimation);
        View::setAnimationDuration(kAnimationDuration);
        View::setAnimationDidStopCallback(callback(&HVFullScreenAdWindow::dismissControllerAnimationDidStop));
      }
      container->setAlpha(1);
      if (animated) View::commitAnimations();
    }
  }
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_contentController.reset();
  }
  m_appWindow.reset();
  m_isClosing = false;
  setUserInteractionEnabled(true);
  if (m_clearDisplayingTimer) m_clearDisplayingTimer->invalidate();
  m_clearDisplayingTimer.reset();
  if (!animated) {
    setIsDisplaying(false);
    return;
  }
  std::weak_ptr<HVFullScreenAdWindow> weak = self;
  m_clearDisplayingTimer = platform::Timer::scheduledTimer(kClearDisplayingDelay, false, [weak](platform::Timer&) {
    if (auto window = weak.lock()) window->setIsDisplaying(false);
  });
}

void HVFullScreenAdWindow::beginListeningToDeviceOrientationNotifications() {
  if (m_listeningToOrientation) return;
  m_listeningToOrientation = true;
  auto& device = platform::Device::currentDevice();
  m_prevGeneratingDeviceOrientationNotifications = device.isGeneratingDeviceOrientationNotifications();
  if (!m_prevGeneratingDeviceOrientationNotifications) device.beginGeneratingDeviceOrientationNotifications();
  std::weak_ptr<HVFullScreenAdWindow> weak = sharedAs<HVFullScreenAdWindow>();
  platform::NotificationCenter::defaultCenter().addObserver(
      this, platform::kDeviceOrientationDidChangeNotification, nullptr, [weak](const platform::Notification&) {
        if (auto window = weak.lock()) window->deviceOrientationDidChange();
      });
}

void HVFullScreenAdWindow::stopListeningToDeviceOrientationNotifications() {
  if (!m_listeningToOrientation) return;
  m_listeningToOrientation = false;
  if (!m_prevGeneratingDeviceOrientationNotifications)
    platform::Device::currentDevice().endGeneratingDeviceOrientationNotifications();
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kDeviceOrientationDidChangeNotification);
}

void HVFullScreenAdWindow::deviceOrientationDidChange() {
  if (!m_contentController || isFlat(platform::Device::currentDevice().orientation())) return;
  // An ad that reads the accelerometer turns itself.
  auto listener = platform::Accelerometer::sharedAccelerometer().delegate();
  if (listener && listener.get() == dynamic_cast<platform::AccelerometerDelegate*>(m_contentController.get())) return;
  if (auto fullScreen = std::dynamic_pointer_cast<HVFullScreenAdController>(m_contentController);
      fullScreen && fullScreen->actionSheet()) {
    if (fullScreen->actionSheet()->isVisible()) fullScreen->displayActionSheetWithDismissAnimation(false);
    return;
  }
  layoutInterfaceWithAnimation(true);
}

void HVFullScreenAdWindow::layoutInterfaceWithAnimation(bool animated) {
  // A banner's content still fading out of its place (or back in it) is not the window's to
  // turn: laid out full screen there, it would come back too big for its banner.
  if (!m_contentController || m_contentController->view()->superview().get() != this) return;
  const DeviceOrientation orientation = platform::Device::currentDevice().orientation();
  platform::AffineTransform transform = HVUtil::transformForOrientation(orientation);
  // Lying flat says nothing of how the user holds it: keep the application's own turn.
  auto app = appWindow();
  if (isFlat(orientation) && app && !app->subviews().empty()) transform = app->subviews().front()->transform();
  auto view = m_contentController->view();
  if (animated) {
    View::animateWithDurationAnimations(kOrientationDuration, [&] { view->setTransform(transform); });
  } else {
    view->setTransform(transform);
  }
  view->setFrame(platform::Screen::mainScreen().bounds());
  m_contentController->layout();
}

void HVFullScreenAdWindow::hideStatusBarAnimated(bool animated) {
  // Hidden by this window already (a return to the foreground with the ad up): what the bar
  // was before stays remembered, or the close would leave it hidden for good.
  if (!m_prevStatusBarHidden) return;
  auto& app = Application::sharedApplication();
  m_prevStatusBarHidden = app.isStatusBarHidden();
  if (m_prevStatusBarHidden) return;
  if (auto bar = statusBarWindow()) {
    fadeStatusBarWindow(*bar, 0, animated);
    return;
  }
  auto key = app.keyWindow();
  m_hostAppFrameViewToRestore =
      key && !key->subviews().empty() ? findApplicationFrameView(key->subviews().front()) : nullptr;
  app.setStatusBarHiddenWithAnimation(true, animated ? 1 : 0);
}

void HVFullScreenAdWindow::restoreStatusBarAnimated(bool animated) {
  if (m_prevStatusBarHidden) return;
  auto& app = Application::sharedApplication();
  if (auto bar = statusBarWindow()) {
    fadeStatusBarWindow(*bar, 1, animated);
  } else {
    app.setStatusBarHiddenWithAnimation(false, animated ? 1 : 0);
    if (auto view = m_hostAppFrameViewToRestore.lock()) {
      const Rect appFrame = platform::Screen::mainScreen().applicationFrame();
      auto superview = view->superview();
      view->setFrame(superview ? superview->convertRectFromView(appFrame, nullptr) : appFrame);
    }
    m_hostAppFrameViewToRestore.reset();
  }
  m_prevStatusBarHidden = true;
}

void HVFullScreenAdWindow::applicationWillEnterForeground() {
  auto fullScreen = std::dynamic_pointer_cast<HVFullScreenAdController>(m_contentController);
  // Content on its way in or out is displaying too, though the window is not key (yet, or
  // any more): its animation gives the screen its final state, so it is left to finish.
  if (m_contentController && (m_isOpening || m_isClosing)) {
    setIsDisplaying(true);
    return;
  }
  const bool displaying = isKeyWindow() || m_contentController ||
                          (fullScreen && fullScreen->shouldDisplayActionSheetOnEnterForeground());
  bool claimedAhead = false;
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    claimedAhead = m_isDisplaying && !m_contentController && m_claimOwner;
  }
  // A display asked for and not opened yet keeps the screen: its opening, or its failure, ends
  // the claim, and a banner taking the window meanwhile would leave the host's yes unkept.
  if (displaying || !claimedAhead) setIsDisplaying(displaying);
  auto app = appWindow();
  if (displaying) {
    if (app) app->setHidden(true);
    makeKeyAndVisible();
    hideStatusBarAnimated(false);
  } else {
    if (app) {
      app->setHidden(false);
      app->makeKeyAndVisible();
    }
    restoreStatusBarAnimated(false);
  }
}

}  // namespace halvern
