// The click-through half of the display view: what happens when the user touches an ad.
#include <utility>

#include "HVAdSlot.h"
#include "HVAdViewInternal.h"
#include "HVCommandHandler.h"
#include "HVController.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "HVResources.h"
#include "HVUtil.h"
#include "platform/application.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/screen.h"
#include "platform/text_helpers.h"

namespace halvern {

using platform::Rect;
using platform::URL;
using platform::View;

namespace {

std::string lowercased(const std::optional<std::string>& text) { return text ? platform::lowercase(*text) : ""; }

std::shared_ptr<HVFullScreenAdWindow> fullScreenWindow() {
  return HVController::sharedController()->fullScreenAdWindow();
}

}  // namespace

void HVAdViewInternal::makeBrowserBar() {
  auto self = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  m_navigationBar = std::make_shared<platform::NavigationBar>(Rect(0, 0, view()->bounds().size.width, kBrowserBarHeight));
  m_navigationBar->setBarStyle(platform::BarStyle::Black);
  m_navigationBar->setHidden(true);
  m_navigationLoadingIndicator =
      std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorViewStyle::White);
  m_navigationItem = std::make_shared<platform::NavigationItem>();
  m_navigationBar->pushNavigationItemAnimated(m_navigationItem, false);
  showNavigationLoadingIndicatorItem();
  m_navigationControls = std::make_shared<platform::SegmentedControl>(
      std::vector<platform::SegmentedControl::Item>{{"", HVResources::backButtonDisabled()},
                                                    {"", HVResources::forwardButtonDisabled()}});
  m_navigationControls->setMomentary(true);
  m_navigationControls->setSegmentedControlStyle(2);
  for (size_t i = 0; i < 2; ++i) m_navigationControls->setWidthForSegmentAtIndex(kNavigationSegmentWidth, i);
  m_navigationControls->setTintColor(platform::Color::grayColor());
  m_navigationControls->addTarget(self, &HVAdViewInternal::segmentedControlValueChanged,
                                  platform::kControlEventValueChanged);
  m_navigationItem->setRightBarButtonItem(platform::BarButtonItem::createWithCustomView(m_navigationControls));
  view()->addSubview(m_navigationBar);
}

std::optional<bool> HVAdViewInternal::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>&, const platform::URLRequest& request,
    platform::WebViewNavigationType type) {
  auto url = URL::create(request.url());
  if (!url) return false;
  const std::string scheme = lowercased(url->scheme());
  if (scheme == "file") return true;
  if (scheme == "about") return false;
  auto self = shared_from_this();
  // The click's redirect, or its landing page going on while it first loads, leaves for the
  // touch that opened the browser, however long the server took and while the window still
  // fades in; anything else the page does needs a touch of its own.
  auto mayOpenForUser = [&] {
    if (m_webView->navigationInheritsUserActivation()) return m_webView->consumeUserActivation();
    return mayActForUser(UserAct::kOpening, "a link for another application");
  };
  if (scheme != "http" && scheme != "https") {
    if (scheme == "halvern") {
      if (lowercased(url->host()) == "ct" && mayActForUser(UserAct::kClick, "a click"))
        m_webView->stringByEvaluatingJavaScriptFromString("handleClickthrough(" +
                                                          platform::quoteScriptString(url->absoluteString()) + ");");
    } else if (mayOpenForUser()) {
      platform::Application::sharedApplication().openURL(url->absoluteString());
    }
    return false;
  }
  if (HVUtil::URLWillLoadExternalApp(*url)) {
    if (mayOpenForUser()) handleClickthroughToExternalAppURL(*url);
    return false;
  }
  // The page's own loads stay in its place; only a touched link opens the browser.
  if (type == platform::WebViewNavigationType::Other || m_isBrowserMode) return true;
  if (mayActForUser(UserAct::kPresentation, "opening the ad's browser")) requestPage(*url);
  return false;
}

void HVAdViewInternal::webViewDidStartLoad(const std::shared_ptr<platform::WebView>&) {
  if (m_isBrowserMode) markAsLoading(true);
}

void HVAdViewInternal::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>&) {
  if (!m_isBrowserMode) return;
  markAsLoading(false);
  enableNavigationControls();
}

void HVAdViewInternal::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>&, const platform::Error&) {
  markAsLoading(false);
}

void HVAdViewInternal::requestPage(const std::string& url) {
  if (auto parsed = URL::create(url)) requestPage(*parsed);
}

void HVAdViewInternal::requestPage(const URL& url) {
  if (windowHoldsOtherContent()) return;
  auto self = shared_from_this();
  // A click-through the window refuses leaves the banner as it was.
  const bool wipeBefore = std::exchange(m_shouldWipeContentOnDismiss, true);
  if (HVUtil::URLWillLoadExternalApp(url)) {
    handleClickthroughToExternalAppURL(url);
    return;
  }
  auto controller = HVController::sharedController();
  if (!controlsFullScreenSlot() && !m_isExpanded) {
    if (!expand()) {
      m_shouldWipeContentOnDismiss = wipeBefore;
      return;
    }
    m_isBrowserMode = true;
    scheduleExitItem();
    disableNavigationControls();
  } else {
    if (auto app = fullScreenWindow()->appWindow()) app->setHidden(true);
    prepareAdViewBrowserMode(true);
  }
  controller->releaseAccelerometer();
  markAsLoading(true);
  if (lowercased(url.host()) == kVideoHost) {
    const Rect screen = platform::Screen::mainScreen().bounds();
    const std::string html =
        platform::format(HVResources::youtubeTemplateHTML(), static_cast<int>(screen.size.width),
                         platform::escapeHTML(url.absoluteString()), screen.size.width, screen.size.height);
    m_webView->loadDataMIMETypeTextEncodingNameBaseURL(platform::Bytes(html.begin(), html.end()), "text/html",
                                                       "utf-8", url);
    return;
  }
  platform::URLRequest landing(url.absoluteString());
  // A landing page that never finishes would keep the browser's indicator running for ever.
  landing.setDeadlineInterval(platform::kURLDefaultDeadlineInterval);
  // Only the user's act opens a page (the caller counted the touch): the click goes on to its
  // end, a store link its address redirects to included.
  m_webView->loadRequestWithUserActivation(landing);
  if (lowercased(url.scheme()) == "tel") showNavigationExitItem();
}

void HVAdViewInternal::handleClickthroughToExternalAppURL(const URL& url) {
  std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(this, platform::kApplicationDidEnterBackgroundNotification, nullptr,
                     [weak](const platform::Notification&) {
                       if (auto self = weak.lock()) self->applicationDidLoadExternalAppURL();
                     });
  if (platform::Application::sharedApplication().openURL(url.absoluteString())) return;
  // Nothing will take the application to the background: no wait for it, and a banner's
  // claim on the screen for the click-through ends here.
  center.removeObserver(this, platform::kApplicationDidEnterBackgroundNotification);
  if (!controlsFullScreenSlot() && !m_isExpanded) fullScreenWindow()->releaseUnopenedClaimOf(this);
}

void HVAdViewInternal::applicationDidLoadExternalAppURL() {
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kApplicationDidEnterBackgroundNotification);
  m_lastDisplayTime = 0;
  if (!controlsFullScreenSlot() && !m_isExpanded)
    fullScreenWindow()->releaseUnopenedClaimOf(this);
  else
    dismissAnimated(false);
}

void HVAdViewInternal::scheduleExitItem() {
  const double delay = HVController::sharedController()->exitItemDisplayTime();
  if (delay == 0) return;
  hideNavigationExitItem();
  std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  m_exitItemTimer = platform::Timer::scheduledTimer(delay, false, [weak](platform::Timer&) {
    if (auto self = weak.lock()) self->showNavigationExitItem();
  });
}

void HVAdViewInternal::prepareAdViewBrowserMode(bool browserMode) {
  m_webView->setScalesPageToFit(browserMode);
  if (browserMode && !m_isBrowserMode) {
    scheduleExitItem();
    disableNavigationControls();
  }
  m_isBrowserMode = browserMode;
  View::animateWithDurationAnimations(kBrowserBarAnimationDuration, [&] {
    if (browserMode)
      showNavigationBar();
    else
      hideNavigationBar();
  });
}

void HVAdViewInternal::showNavigationBar() {
  if (!m_navigationBar->isHidden()) return;
  m_navigationBar->setHidden(false);
  m_navigationBar->setAlpha(1);
  const Rect bounds = view()->bounds();
  m_webView->setFrame(Rect(0, kBrowserBarHeight, bounds.size.width, bounds.size.height - kBrowserBarHeight));
}

void HVAdViewInternal::hideNavigationBar() {
  if (m_navigationBar->isHidden()) return;
  m_navigationBar->setHidden(true);
  m_navigationBar->setAlpha(0);
  m_webView->setFrame(view()->bounds());
}

void HVAdViewInternal::markAsLoading(bool loading) {
  m_isLoading = loading;
  if (loading) {
    m_navigationLoadingIndicator->startAnimating();
    return;
  }
  m_navigationLoadingIndicator->stopAnimating();
  if (m_isBrowserMode) showNavigationExitItem();
}

void HVAdViewInternal::enableNavigationControls() {
  const bool back = m_webView->canGoBack() &&
                    !m_webView->stringByEvaluatingJavaScriptFromString("document.referrer").empty();
  const bool forward = m_webView->canGoForward();
  m_navigationControls->setEnabledForSegmentAtIndex(back, 0);
  m_navigationControls->setImageForSegmentAtIndex(back ? HVResources::backButton() : HVResources::backButtonDisabled(), 0);
  m_navigationControls->setEnabledForSegmentAtIndex(forward, 1);
  m_navigationControls->setImageForSegmentAtIndex(
      forward ? HVResources::forwardButton() : HVResources::forwardButtonDisabled(), 1);
}

void HVAdViewInternal::disableNavigationControls() {
  m_navigationControls->setEnabledForSegmentAtIndex(false, 0);
  m_navigationControls->setImageForSegmentAtIndex(HVResources::backButtonDisabled(), 0);
  m_navigationControls->setEnabledForSegmentAtIndex(false, 1);
  m_navigationControls->setImageForSegmentAtIndex(HVResources::forwardButtonDisabled(), 1);
}

void HVAdViewInternal::segmentedControlValueChanged(platform::Control&) {
  if (m_navigationControls->selectedSegmentIndex() == 0)
    m_webView->goBack();
  else
    m_webView->goForward();
}

void HVAdViewInternal::showNavigationExitItem() {
  if (m_navigationItem->leftBarButtonItem()) return;
  std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  m_navigationItem->setLeftBarButtonItemAnimated(
      platform::BarButtonItem::createWithBarButtonSystemItem(platform::BarButtonSystemItem::Done, shared_from_this(),
                                                             [weak](platform::BarButtonItem&) {
                                                               if (auto self = weak.lock()) self->dismiss();
                                                             }),
      true);
}

void HVAdViewInternal::hideNavigationExitItem() {
  if (m_exitItemTimer) m_exitItemTimer->invalidate();
  m_exitItemTimer.reset();
  m_navigationItem->setLeftBarButtonItemAnimated(nullptr, true);
}

void HVAdViewInternal::showNavigationLoadingIndicatorItem() {
  View::animateWithDurationAnimations(0, [&] { m_navigationItem->setTitleView(m_navigationLoadingIndicator); });
}

void HVAdViewInternal::hideNavigationLoadingIndicatorItem() {
  View::animateWithDurationAnimations(0, [&] { m_navigationItem->setTitleView(nullptr); });
}

// The window shows someone else's content: a page may not take it over or close it.
bool HVAdViewInternal::windowHoldsOtherContent() const {
  auto content = fullScreenWindow()->contentController();
  return content && content.get() != this;
}

bool HVAdViewInternal::expand() {
  // One full-screen window, once: an expanded banner does not expand again.
  if (controlsFullScreenSlot() || m_isExpanded) return false;
  if (!fullScreenWindow()->displayController(std::static_pointer_cast<HVAdViewInternal>(shared_from_this()))) {
    platform::log("HVAdEngine: the full-screen window serves another ad; the banner stays in its place.");
    return false;
  }
  m_isExpanded = true;
  m_lastDisplayTime = 0;
  setExecMode(1);
  return true;
}

void HVAdViewInternal::dismissAnimated(bool animated) {
  if (windowHoldsOtherContent()) return;
  // A full-screen ad closes once its window shows it: a word from its page before that (the
  // script of the ad it showed last, say) would end the display the host was promised before
  // it opened, and leave the window marked for it.
  if (controlsFullScreenSlot() && !fullScreenWindow()->contentController()) return;
  auto self = shared_from_this();
  auto controller = HVController::sharedController();
  if (m_isLoading) {
    m_webView->stopLoading();
    // The bridge waits for the end of the load it saw start; this is it.
    m_bridge->webViewDidFailLoadWithError(m_webView, platform::Error{"NSURLErrorDomain", -1, {}});
    m_navigationLoadingIndicator->stopAnimating();
    m_isLoading = false;
  }
  controller->releaseAccelerometer();
  // The page may come back to its banner place with the ad still in it: without its bar.
  prepareAdViewBrowserMode(false);
  fullScreenWindow()->dismissAnimated(animated);
  setExecMode(0);
  hideNavigationExitItem();
  dismissedFromWindow(animated);
}

void HVAdViewInternal::dismissedFromWindow(bool animated) {
  m_isExpanded = false;
  // Back with its ad still in the page (its landing page failed, never came or sent the user
  // to another application): the click-through is over, and the next expansion is one.
  if (pageShowsItsAd()) m_shouldWipeContentOnDismiss = false;
  if (!animated || !m_slot || m_slot->nextAdDlTime() == 0) return;
  std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  m_delayedDisplay.cancel();
  m_delayedDisplay = platform::RunLoop::main().postAfter(kRedisplayDelay, [weak] {
    if (auto self = weak.lock()) self->display();
  });
}

}  // namespace halvern
