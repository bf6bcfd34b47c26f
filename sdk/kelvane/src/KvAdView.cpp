#include "KvAdView.h"

#include <algorithm>
#include <cmath>

#include "KvAdViewController.h"
#include "kelvane/KelvaneAd.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/notification_center.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace kelvane {

std::shared_ptr<KvAdView> KvAdView::create(const platform::Rect& frame) {
  auto view = std::make_shared<KvAdView>(platform::Passkey<KvAdView>{}, frame);
  view->attachWebView();
  view->observeOrientation([](KvPageView& v) { static_cast<KvAdView&>(v).didRotate(); });
  std::weak_ptr<KvAdView> weak = view;
  auto& center = platform::NotificationCenter::defaultCenter();
  auto on = [&](const char* name, void (KvAdView::*method)()) {
    center.addObserver(view.get(), name, nullptr, [weak, method](const platform::Notification&) {
      if (auto self = weak.lock()) ((*self).*method)();
    });
  };
  on(platform::kApplicationDidBecomeActiveNotification, &KvAdView::applicationDidBecomeActive);
  on(platform::kApplicationWillEnterForegroundNotification, &KvAdView::applicationDidBecomeActive);
  on(platform::kApplicationWillResignActiveNotification, &KvAdView::applicationWillResignActive);
  on(platform::kApplicationDidEnterBackgroundNotification, &KvAdView::applicationWillResignActive);
  return view;
}

KvAdView::KvAdView(platform::Passkey<KvAdView>, const platform::Rect& frame) : KvPageView(frame) {
  kvWebView_->scrollView()->setScrollEnabled(false);
}

KvAdView::~KvAdView() { stopReload(); }

void KvAdView::applicationDidBecomeActive() { screenActive_ = true; }

void KvAdView::applicationWillResignActive() { screenActive_ = false; }

std::optional<double> KvAdView::pendingReloadIntervalForTesting() const {
  if (!kvTimer_ || !kvTimer_->isValid()) return std::nullopt;
  return kvTimer_->interval();
}

void KvAdView::stopReload() {
  if (kvTimer_) kvTimer_->invalidate();
  kvTimer_.reset();
}

void KvAdView::scheduleReloadAfter(double seconds) {
  // Whatever armed a reload before, this one replaces it: one cycle per view.
  stopReload();
  std::weak_ptr<KvAdView> weak = sharedAs<KvAdView>();
  kvTimer_ = platform::Timer::scheduledTimer(seconds, false, [weak](platform::Timer& timer) {
    if (auto self = weak.lock()) self->reload(timer);
  });
}

void KvAdView::scheduleNextReload() {
  auto controller = kvAdViewController();
  scheduleReloadAfter(controller ? controller->kvReload() : 300);
}

void KvAdView::initReload() { scheduleReloadAfter(1); }

bool KvAdView::isInSuperview() const {
  auto parent = superview();
  if (!parent) return false;
  const auto& siblings = parent->subviews();
  return std::any_of(siblings.begin(), siblings.end(), [this](const auto& v) { return v.get() == this; });
}

void KvAdView::endCycle() {
  stopReload();
  if (auto controller = kvAdViewController()) controller->placementCycleDidEnd();
}

bool KvAdView::isVisible() const {
  // P lives in the parent's coordinates at every level: the frame's origin to start with, then
  // carried into each next parent through the parent it is in.
  platform::Point p = frame().origin;
  const double h = frame().size.height;
  bool covered = isHidden();
  double lastAlpha = alpha();
  std::shared_ptr<const platform::View> child = sharedAs<platform::View>();
  std::shared_ptr<platform::View> parent = superview();
  while (!(covered && lastAlpha == 0) && parent) {
    lastAlpha = parent->alpha();
    if (parent->isHidden() || parent->alpha() == 0) {
      covered = true;
    } else {
      const auto& siblings = parent->subviews();
      auto it = std::find(siblings.begin(), siblings.end(), child);
      if (it != siblings.end()) ++it;
      for (; it != siblings.end() && !covered; ++it) {
        platform::Rect f = (*it)->frame();
        if (f.size.height > 0 && f.origin.y + f.size.height > p.y && f.origin.y < p.y + h) covered = true;
      }
      if (auto grandparent = parent->superview()) p = parent->convertPointToView(p, grandparent);
    }
    child = parent;
    parent = parent->superview();
  }
  auto w = window();
  return !covered && w && !w->isHidden() && w->alpha() != 0;
}

void KvAdView::reload(platform::Timer& timer) {
  auto self = sharedAs<KvAdView>();
  timer.invalidate();
  if (kvTimer_.get() == &timer) kvTimer_.reset();
  if (!isInSuperview()) {
    endCycle();
    return;
  }
  auto w = window();
  if (!screenActive_ || !w || w != platform::Application::sharedApplication().keyWindow()) {
    scheduleNextReload();
    return;
  }
  auto controller = kvAdViewController();
  if (controller && isVisible()) {
    auto url = controller->getRequestUrl();
    loadUrl(url ? platform::URL::create(*url) : std::nullopt);
  } else {
    scheduleNextReload();
  }
}

void KvAdView::answerDidFail() {
  post(kKvOnFailedToReceiveAdNotification);
  scheduleNextReload();
}

std::optional<bool> KvAdView::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
    platform::WebViewNavigationType navigationType) {
  if (webView != kvWebView_) return true;
  // Without a tap the page moves on in place (its redirects, frames, form posts); a tap
  // leads to the browser.
  if (navigationType != platform::WebViewNavigationType::LinkClicked) return admitsLoad(request);
  auto self = sharedAs<KvAdView>();
  if (!mayClick()) return false;
  post(kKvOnClickAdNotification);
  stopReload();
  auto controller = kvAdViewController();
  clickThrough(request, controller ? controller->aid() : std::string());
  initReload();
  return false;
}

void KvAdView::showBrowser(const platform::URL& url) {
  if (auto controller = kvAdViewController()) controller->showBrowser(url);
}

bool KvAdView::canShowBrowser() const {
  auto controller = kvAdViewController();
  return controller && controller->canShowBrowser();
}

void KvAdView::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) {
  if (webView != kvWebView_ || !takeAnswerPage()) return;
  auto self = sharedAs<KvAdView>();
  // The page is the ad up now, told or not: a tap on it once it is back counts for it.
  const char* outcome = readPage();
  if (!isInSuperview()) {
    endCycle();
    return;
  }
  auto controller = kvAdViewController();
  auto root = controller ? controller->rootView() : nullptr;
  // Without its root the banner is kept within the screen.
  const platform::Size limit = root ? root->bounds().size : platform::Screen::mainScreen().bounds().size;
  double width = KvMeasuredSide(kvWebView_->stringByEvaluatingJavaScriptFromString("document.images[0].width"),
                              limit.width);
  double height = 0;
  if (width > 0) {
    height = KvMeasuredSide(kvWebView_->stringByEvaluatingJavaScriptFromString("document.images[0].height"),
                          limit.height);
  } else {
    width = root ? std::max(root->bounds().size.width, 0.0) : 0;
    height = std::min(width < 480 ? width / 6 : width / 12, std::max(limit.height, 0.0));
  }
  wvFrame_ = platform::Rect(0, 0, width, height);
  kvWebView_->setFrame(wvFrame_);
  setFrame(wvFrame_);
  if (outcome) post(outcome);
  scheduleNextReload();
}

void KvAdView::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                           const platform::Error&) {
  if (webView != kvWebView_) return;
  scheduleNextReload();
}

void KvAdView::didRotate() {
  int bar = platform::Application::sharedApplication().statusBarOrientation();
  int device = static_cast<int>(platform::Device::currentDevice().orientation());
  bool agree = (bar == 1 && device == 1) || (bar == 2 && device == 2) || (bar == 4 && device == 3) ||
               (bar == 3 && device == 4);
  if (agree) setFrame(platform::Rect(platform::Point{0, 0}, wvFrame_.size));
}

}  // namespace kelvane
