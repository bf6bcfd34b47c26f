// The rich-media side of the banner: showing and hiding the ad, expanding it over the whole
// window with a close button and putting it back, the resize check, and keeping an expanded
// ad upright when the device turns.
#include <algorithm>
#include <cmath>

#include "NBJSBridge.h"
#include "NBSDKUtil.h"
#include "NBUtilities.h"
#include "NBWebView.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/controls.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/geometry.h"
#include "platform/random.h"
#include "platform/run_loop.h"
#include "platform/scroll_view.h"
#include "platform/web_view.h"
#include "platform/view_controller.h"
#include "platform/window.h"

namespace nubira {

namespace {

// The page's states as NBAdView numbers them; loading (0) is never acted on here.
constexpr int kStateDefault = 1;
constexpr int kStateResized = 2;
constexpr int kStateHidden = 4;
constexpr int kStateExpanded = NBAdView::kMRAIDStateExpanded;

constexpr double kCloseButtonSize = 25;
constexpr long kTagRange = 25000;
constexpr int kStatusBarHeight = 20;
constexpr double kMaxExpandedSide = 100000;

std::shared_ptr<platform::Window> keyWindow() { return platform::Application::sharedApplication().keyWindow(); }

}  // namespace

std::string NBAdView::runScript(const std::shared_ptr<platform::WebView>& webView, const std::string& script) {
  NBSDKUtil::util()->logAbove(2, "Executing Javascript: %@", script);
  return webView ? webView->stringByEvaluatingJavaScriptFromString(script) : std::string();
}

// The messages are fixed texts without quotes, so they go into the script as they are.
void NBAdView::fireErrorEvent(const std::shared_ptr<platform::WebView>& webView, const char* message,
                              const char* action) {
  logLine("%s: %s", action, message);
  runScript(webView, platform::format("window.mraidview.fireErrorEvent( '%s', '%s' );", message, action));
}

void NBAdView::showAd(const std::shared_ptr<platform::WebView>& webView) {
  currentState_ = kStateDefault;
  runScript(webView, "window.mraidview.fireViewableChangeEvent(true);");
  runScript(webView, platform::format("window.mraidview.fireStateChangeEvent('%@');", "default"));
  runScript(webView, "window.mraidview.fireReadyEvent();");
}

void NBAdView::hideAd(const std::shared_ptr<platform::WebView>& webView) {
  if (currentState_ == kStateHidden) {
    runScript(webView, NBJSBridge::kHideErrorScript);
    return;
  }
  // Hiding closes the ad first. Only an expanded ad has a presentation to end and a place to
  // go back to; from any other state the close has nothing to undo, and telling the publisher
  // of a dismissal it never heard presented, or moving the banner into the view that the
  // never-drawn tag finds, would be wrong.
  collapse(webView);
  currentState_ = kStateHidden;
}

// From any state the ad ends in its place, in the default state; only an expanded ad has a
// presentation to end and a place to go back to (collapse), so a close from the default or
// hidden state neither moves the banner nor tells the publisher of a dismissal.
void NBAdView::closeAd(const std::shared_ptr<platform::WebView>& webView) { collapse(webView); }

void NBAdView::closeAd() {
  if (currentState_ != kStateExpanded) return;
  auto self = shared_from_this();
  auto& onScreen = shouldLoadWebView1_ ? *nbWebView2_ : *nbWebView1_;
  onScreen.injectJavascript("window.mraidview.fireStateChangeEvent('default');");
  closeAd(onScreen.webView());
  if (adCloseButton_) adCloseButton_->removeFromSuperview();
  invokeAdRefreshTimer();
}

std::shared_ptr<platform::View> NBAdView::formerSuperview() const {
  if (auto window = keyWindow()) {
    if (auto found = window->viewWithTag(parentTag_); found && parentTag_ != 0) return found;
  }
  // Taken out of the window meanwhile: it can still have its ad back.
  return parent_.lock();
}

// A resized ad never left its place: only an expanded one has a presentation to end and a
// place to go back to.
void NBAdView::collapse(const std::shared_ptr<platform::WebView>& webView) {
  if (currentState_ == kStateExpanded && !collapsing_) {
    auto self = shared_from_this();
    collapsing_ = true;
    performAdWillDismissNotification();
    performAdDidDismissNotification();
    setTransform(originalTransform_);
    // Back where the host had it when the expansion began, not where it was made.
    setFrame(defaultFrame_);
    touchedDownOnAd_ = false;
    // Closed under the browser or composer it opened, the ad is back in its place, shown
    // unless the host hid it.
    platform::View::setHidden(hostHidden_);
    // A request under way goes on: its ad is shown once loaded, or its failure reported.
    if (adCloseButton_) {
      // The close button may be in the middle of delivering its own tap.
      platform::RunLoop::main().keepAliveUntilEndOfTurn(adCloseButton_);
      adCloseButton_->removeFromSuperview();
    }
    adCloseButton_.reset();
    if (blockingView_) blockingView_->removeFromSuperview();
    blockingView_.reset();
    if (frontTimer_) frontTimer_->invalidate();
    frontTimer_.reset();
    // Back only into a container the host still has and only when the host left the banner
    // to the expansion (it may have taken it out, also from inside the dismissal messages);
    // with no place to go back to it leaves the window.
    auto parent = formerSuperview();
    if (parent) parent->setTag(originalTag_);
    if (hostTookOut_ || superview() != keyWindow()) {
      // The host put it where it wants it.
    } else if (parent) {
      parent->addSubview(std::static_pointer_cast<platform::View>(self));
    } else {
      removeFromSuperview();
    }
    hostTookOut_ = false;
    parentTag_ = 0;
    parent_.reset();
    if (webView) {
      webView->setFrame(platform::Rect(0, 0, bounds().size.width, bounds().size.height));
      addSubview(webView);
    }
    if (scrollView_) scrollView_->removeFromSuperview();
    scrollView_.reset();
    collapsing_ = false;
    showWaitingAdLater();
  }
  currentState_ = kStateDefault;
}

void NBAdView::didMoveToSuperview() {
  if (currentState_ != kStateExpanded || collapsing_ || superview() == keyWindow()) return;
  hostTookOut_ = true;
  closeAd();
}

void NBAdView::setHidden(bool hidden) {
  hostHidden_ = hidden;
  platform::View::setHidden(hidden);
  if (hidden && currentState_ == kStateExpanded && !collapsing_) closeAd();
}

void NBAdView::expandToWithURLInWebView(const platform::Rect& r, const std::shared_ptr<platform::WebView>& webView) {
  auto window = keyWindow();
  auto parent = superview();
  if (currentState_ != kStateDefault && currentState_ != kStateResized) {
    fireErrorEvent(webView, "Cannot expand an ad that is not in the default or resized state.", "expand");
    return;
  }
  if (!window || !parent || !webView) {
    fireErrorEvent(webView, "Cannot expand an ad that is not in a window.", "expand");
    return;
  }
  // The placing below works in whole points: a side that is no positive number, or one far
  // past any screen, has no place there (and would not fit an int).
  const auto sideOK = [](double side) { return side > 0 && side <= kMaxExpandedSide; };
  if (!sideOK(r.size.width) || !sideOK(r.size.height)) {
    fireErrorEvent(webView, "Cannot expand to a size that is not a positive number of points on a screen.", "expand");
    return;
  }
  // The expanded ad covers the window with a view that takes every touch, so its close button
  // is the player's only way back: an expansion that could not hold the whole button inside
  // the window is refused.
  const int orientation = currentInterfaceOrientation();
  const platform::Rect ending = convertedRectAccordingToOrientation(r);
  if (!platform::rectIntersectsRect(ending, window->bounds())) {
    fireErrorEvent(webView, "Cannot expand to a place outside the window.", "expand");
    return;
  }
  const platform::Rect placed = placedExpandedFrame(parent->convertRectToView(frame(), window), ending, orientation);
  if (placed.size.width < kCloseButtonSize || placed.size.height < kCloseButtonSize) {
    fireErrorEvent(webView, "Cannot expand to a size smaller than the close button.", "expand");
    return;
  }
  // One full-screen page at a time, and only for the user who just touched the ad.
  if (auto root = rootViewController(); root && root->presentedViewController()) {
    fireErrorEvent(webView, "Cannot expand while another screen is shown.", "expand");
    return;
  }
  if (!holderOf(webView).userActivationForAct("expand")) return;
  auto self = shared_from_this();
  auto me = std::static_pointer_cast<platform::View>(self);
  performAdClickNotification();
  invalidateAdRefreshTimer();
  // The host took the banner out or hid it while told of the screen: the expansion ends there.
  if (superview() != parent || !platform::View::window() || isHidden()) {
    performAdWillDismissNotification();
    performAdDidDismissNotification();
    return;
  }
  logLine("expand to:(%f,%f,%f,%f)", r.origin.x, r.origin.y, r.size.width, r.size.height);
  defaultFrame_ = frame();
  startClick();

  if (blockingView_) blockingView_->removeFromSuperview();
  // Takes every touch outside the ad while it is expanded.
  blockingView_ = std::make_shared<platform::View>(window->frame());
  blockingView_->setBackgroundColor(platform::Color::clearColor());
  blockingView_->setAlpha(1);
  window->addSubview(blockingView_);

  originalTransform_ = transform();
  expandedFrame_ = r;
  rotateExpandedWindowsToOrientation(orientation);

  // The former superview is marked with a tag no other view in the window has, to be found
  // again on close.
  originalTag_ = parent->tag();
  do {
    parentTag_ = long(platform::Random::arc4random() % kTagRange);
  } while (window->viewWithTag(parentTag_));
  parent->setTag(parentTag_);
  parent_ = parent;

  translatedFrame_ = parent->convertRectToView(defaultFrame_, window);
  setFrame(translatedFrame_);
  window->addSubview(me);

  scrollView_ = std::make_shared<platform::ScrollView>(platform::Rect{});
  scrollView_->setAutoresizesSubviews(true);
  scrollView_->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
  scrollView_->setClipsToBounds(true);
  addSubview(scrollView_);
  scrollView_->addSubview(webView);

  adCloseButton_ = std::make_shared<platform::Button>(platform::ButtonType::Custom,
                                                      platform::Rect(0, 0, kCloseButtonSize, kCloseButtonSize));
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(self);
  adCloseButton_->addTargetActionForControlEvents(
      self,
      [weak](platform::Control&) {
        if (auto view = weak.lock()) view->closeAd();
      },
      platform::kControlEventTouchUpInside);
  addSubview(adCloseButton_);

  currentState_ = kStateExpanded;
  expandFrameEndingFrameOrientation(webView, ending, orientation);
  frontTimer_ = platform::Timer::scheduledTimer(0.1, true, [weak](platform::Timer&) {
    if (auto view = weak.lock()) view->keepExpandedInFront();
  });
}

// The presenter's view comes back to the front of the window when the host's own screen
// goes, over the expanded ad: the expanded ad goes back in front once no screen is up.
void NBAdView::keepExpandedInFront() {
  auto window = keyWindow();
  auto root = rootViewController();
  if (currentState_ != kStateExpanded || isHidden() || !window || superview() != window) return;
  // A screen on its way out no longer counts: the ad is in front by the time it has gone.
  if (auto up = root ? root->presentedViewController() : nullptr; up && !up->isBeingDismissed()) return;
  if (window->subviews().back().get() != this) setExpandedViewsHidden(false);
}

platform::Rect NBAdView::placedExpandedFrame(const platform::Rect& from, const platform::Rect& ending,
                                            int orientation) const {
  auto window = keyWindow();
  if (!window) return from;
  int x = int(from.origin.x), y = int(from.origin.y);
  int w = int(ending.size.width), h = int(ending.size.height);
  const int windowWidth = int(window->bounds().size.width), windowHeight = int(window->bounds().size.height);
  int W = windowWidth, H = windowHeight;
  const int S = platform::Application::sharedApplication().isStatusBarHidden() ? 0 : kStatusBarHeight;
  const int viewWidth = int(std::lround(from.size.width));
  const int viewHeight = int(std::lround(from.size.height));
  // Pulls the ad back inside [low, high] along one axis, shrinking it when it cannot fit.
  auto fit = [](int& at, int& length, int low, int high) {
    if (at + length <= high) return;
    at -= at + length - high;
    if (at < low) {
      length -= low - at;
      at = low;
    }
  };
  switch (orientation) {
    case 2: {
      H -= S;
      fit(x, w, 0, W);
      const int t = y + viewHeight - h;
      if (t < 0) {
        y = 0;
        h = std::min(h, H);
      } else {
        y = t - S;
      }
      break;
    }
    case 3:
    case 4: {
      W -= S;
      fit(y, h, 0, H);
      const int t = x + viewWidth - w;
      if (t < 0) {
        x = orientation == 3 ? S : 0;
        w = std::min(w, W);
      } else {
        x = orientation == 3 ? t : t - S;
      }
      break;
    }
    default:
      fit(x, w, 0, W);
      y = std::max(y, S);
      fit(y, h, S, H - S);
      break;
  }
  // Whatever the rules above give (an ad that starts off the window's edge, a turn that puts
  // it under the status bar's place), the expanded ad stays whole inside the window: its close
  // button sits at one of its corners.
  w = std::min(w, windowWidth);
  h = std::min(h, windowHeight);
  x = std::clamp(x, 0, windowWidth - w);
  y = std::clamp(y, 0, windowHeight - h);
  return platform::Rect(x, y, w, h);
}

void NBAdView::expandFrameEndingFrameOrientation(const std::shared_ptr<platform::WebView>& webView,
                                                 const platform::Rect& ending, int orientation) {
  if (!keyWindow()) return;
  const platform::Rect placed = placedExpandedFrame(translatedFrame_, ending, orientation);
  const int x = int(placed.origin.x), y = int(placed.origin.y), w = int(placed.size.width), h = int(placed.size.height);
  setFrame(platform::Rect(x, y, w, h));
  const platform::Rect web = webFrameAccordingToOrientation(ending);
  const bool landscape = platform::isLandscape(orientation);
  const platform::Rect scroll = landscape ? platform::Rect(0, 0, ending.size.height, w)
                                          : platform::Rect(0, 0, ending.size.width, h);
  const platform::Size content = landscape ? platform::Size{ending.size.height, ending.size.width}
                                           : platform::Size{ending.size.width, ending.size.height};
  if (scrollView_) {
    scrollView_->setFrame(scroll);
    scrollView_->setContentSize(content);
  }
  if (webView) webView->setFrame(web);
  logLine("self.frame:(%d,%d,%d,%d)", x, y, w, h);
  logLine("scrollRect frame:(%f,%f,%f,%f)", scroll.origin.x, scroll.origin.y, scroll.size.width, scroll.size.height);
  logLine("web frame:(%f,%f,%f,%f)", web.origin.x, web.origin.y, web.size.width, web.size.height);
  logLine("scroll size:(%f,%f)", content.width, content.height);
}

void NBAdView::resizeToWidthHeightInWebView(float width, float height,
                                            const std::shared_ptr<platform::WebView>& webView) {
  logLine("resize:%f,%f", double(width), double(height));
  if (currentState_ != kStateDefault) {
    fireErrorEvent(webView, "Cannot resize an ad that is not in the default state.", "resize");
    return;
  }
  // Written so that a size that is not a number (NaN) fails every comparison and is refused.
  if (!(width >= 0 && height >= 0)) {
    fireErrorEvent(webView, "Cannot resize an ad to a size below zero or not a number.", "resize");
    return;
  }
  if (height <= maxSize_.height && width <= maxSize_.width) {
    currentState_ = kStateResized;
    return;
  }
  fireErrorEvent(webView, "Cannot resize an ad larger than allowed.", "resize");
}

platform::Rect NBAdView::getAdFrameInWindowCoordinates() const {
  auto parent = superview();
  if (!parent) return frame();
  return parent->convertRectToView(frame(), nullptr);
}

platform::Rect NBAdView::rectAccordingToOrientation(const platform::Rect& r) const {
  auto window = keyWindow();
  const double W = window ? window->frame().size.width : 0, H = window ? window->frame().size.height : 0;
  const double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
  switch (currentInterfaceOrientation()) {
    case 4: return platform::Rect(H - y - h, x, h, w);
    case 3: return platform::Rect(y, W - x - w, h, w);
    case 2: return platform::Rect(W - x - w, H - y - h, w, h);
    default: return r;
  }
}

platform::Rect NBAdView::convertedRectAccordingToOrientation(const platform::Rect& r) const {
  auto window = keyWindow();
  const double W = window ? window->frame().size.width : 0, H = window ? window->frame().size.height : 0;
  const double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
  switch (currentInterfaceOrientation()) {
    case 4: return platform::Rect(y, H - x - w, h, w);
    case 3: return platform::Rect(W - y - h, x, h, w);
    case 2: return platform::Rect(W - x - w, H - y - h, w, h);
    default: return r;
  }
}

platform::Rect NBAdView::webFrameAccordingToOrientation(const platform::Rect& r) {
  if (platform::isLandscape(currentInterfaceOrientation())) return platform::Rect(0, 0, r.size.height, r.size.width);
  return platform::Rect(0, 0, r.size.width, r.size.height);
}

int NBAdView::statusBarSizeAccordingToOrientation(const platform::Size& size, int orientation) {
  return platform::isLandscape(orientation) ? int(size.width) : int(size.height);
}

int NBAdView::currentInterfaceOrientation() {
  auto swapLandscape = [](int o) { return o == 3 ? 4 : o == 4 ? 3 : o; };
  const int device = int(platform::Device::currentDevice().orientation());
  if (device >= 1 && device <= 4) return swapLandscape(device);
  return swapLandscape(platform::Application::sharedApplication().statusBarOrientation());
}

void NBAdView::rotateExpandedWindowsToOrientation(int orientation) {
  setTransform(rotationForInterfaceOrientation(orientation, M_PI / 2));
}

void NBAdView::rotateExpandedWindowsToCurrentOrientation() {
  if (currentState_ != kStateExpanded) return;
  auto window = keyWindow();
  if (!window) return;
  const int orientation = currentInterfaceOrientation();
  platform::View::beginAnimationsContext("rotate-expanded-ad");
  platform::View::setAnimationDuration(0.4);
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
  platform::View::setAnimationDidStopCallback([weak](const std::string& animationID, bool finished, void* context) {
    if (auto view = weak.lock()) view->animationDidStopFinishedContext(animationID, finished, context);
  });
  rotateExpandedWindowsToOrientation(orientation);
  platform::View::commitAnimations();
  // Where the ad stood, in its former superview, is where the expansion starts again from.
  auto parent = formerSuperview();
  translatedFrame_ = parent ? parent->convertRectToView(defaultFrame_, window) : defaultFrame_;
  setFrame(translatedFrame_);
  expandFrameEndingFrameOrientation(
      onScreenWebView(),
      convertedRectAccordingToOrientation(platform::Rect(0, 0, expandedFrame_.size.width, expandedFrame_.size.height)),
      orientation);
}

void NBAdView::mediaDidEnterFullScreen(const platform::Notification&) {
  if (currentState_ != kStateExpanded) return;
  logLine("<<Media will enter full screen>>>");
  setExpandedViewsHidden(true);
}

void NBAdView::mediaDidExitFullScreen(const platform::Notification&) {
  if (currentState_ != kStateExpanded) return;
  logLine("<<Media will exit full screen>>>");
  setExpandedViewsHidden(false);
}

// The did-stop callback of the expansion's view animations: none of them, a closing one
// ("closeExpanded") included, leaves anything to do once it has stopped.
void NBAdView::animationDidStopFinishedContext(const std::string& animationID, bool, void*) {
  if (animationID == "closeExpanded") return;
}

void NBAdView::setExpandedViewsHidden(bool hidden) {
  if (currentState_ != kStateExpanded) return;
  platform::View::setHidden(hidden);
  if (blockingView_) blockingView_->setHidden(hidden);
  // The presenter's view comes back to the front of the window when a presented screen
  // goes; the expanded ad and its blocking view belong above it.
  auto window = keyWindow();
  if (hidden || !window) return;
  if (blockingView_ && blockingView_->superview() == window) window->bringSubviewToFront(blockingView_);
  if (superview() == window) window->bringSubviewToFront(std::static_pointer_cast<platform::View>(shared_from_this()));
}

}  // namespace nubira
