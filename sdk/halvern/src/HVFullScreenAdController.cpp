#include "HVFullScreenAdController.h"

#include "HVAdManager.h"
#include "HVAdSlot.h"
#include "HVAudioEngine.h"
#include "HVController.h"
#include "HVFullScreenAdWindow.h"
#include "HVCommandHandler.h"
#include "HVJavascriptBridge.h"
#include "HVResources.h"
#include "HVUtil.h"
#include "platform/application.h"
#include "platform/format.h"
#include "platform/notification_center.h"
#include "platform/screen.h"
#include "platform/text_helpers.h"

namespace halvern {

using platform::Rect;
using platform::URL;
using platform::View;

namespace {

// `text` made safe inside a double-quoted HTML attribute.
std::string escapedForAttribute(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string lowercased(const std::optional<std::string>& text) { return text ? platform::lowercase(*text) : ""; }

}  // namespace

std::shared_ptr<HVFullScreenAdController> HVFullScreenAdController::create() {
  auto controller = std::make_shared<HVFullScreenAdController>();
  controller->view();
  // The bridge stands in as the web view's delegate and passes every event on to this one.
  controller->m_webView->setDelegate(controller);
  controller->m_bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(0, controller->m_webView, nullptr);
  controller->makeBrowserBar();
  return controller;
}

HVFullScreenAdController::HVFullScreenAdController() = default;

HVFullScreenAdController::~HVFullScreenAdController() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  if (m_exitItemTimer) m_exitItemTimer->invalidate();
  if (m_menuTimer) m_menuTimer->invalidate();
  if (m_bridge) m_bridge->shutdown();
}

void HVFullScreenAdController::loadView() {
  auto view = std::make_shared<View>(platform::Screen::mainScreen().bounds());
  view->setOpaque(true);
  view->setBackgroundColor(platform::Color::blackColor());
  view->setAutoresizesSubviews(false);
  view->setClipsToBounds(true);
  m_webView = platform::WebView::create(view->bounds());
  m_webView->setClipsToBounds(true);
  view->addSubview(m_webView);
  setView(view);
}

bool HVFullScreenAdController::isDisplaying() const { return m_slot && m_slot->isDisplayed(); }

void HVFullScreenAdController::setExecMode(int mode) {
  if (mode == m_execMode) return;
  m_execMode = mode;
  if (m_bridge) m_bridge->handleExecModeUpdate(mode);
}

void HVFullScreenAdController::adContentWillLoad() {
  setExecMode(1);
  HVController::sharedController()->fullScreenAdWindow()->displayController(sharedAs<HVFullScreenAdController>());
  showAdLoadingIndicator();
}

void HVFullScreenAdController::adContentDidLoad() { hideAdLoadingIndicator(); }

void HVFullScreenAdController::showAdLoadingIndicator() {
  if (m_adLoadingIndicator) return;
  m_adLoadingIndicator = HVMessageBox::messageBox();
  auto indicator = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorViewStyle::WhiteLarge);
  indicator->startAnimating();
  m_adLoadingIndicator->addView(indicator);
  m_adLoadingIndicator->setMessage(kLoadingMessage);
  m_adLoadingIndicator->showInView(view());
  view()->setUserInteractionEnabled(false);
}

void HVFullScreenAdController::hideAdLoadingIndicator() {
  if (m_adLoadingIndicator) m_adLoadingIndicator->hide();
  m_adLoadingIndicator.reset();
  view()->setUserInteractionEnabled(true);
}

void HVFullScreenAdController::prepareActionSheet() {
  m_actionSheetButtons.clear();
  m_actionSheetButtons.reserve(4);
  scheduleMenuButtonAppearance();
}

void HVFullScreenAdController::addButtonToActionSheetCallback(const std::string& title, const std::string& callback) {
  m_actionSheetButtons.push_back({title, callback});
}

void HVFullScreenAdController::scheduleMenuButtonAppearance() {
  const double delay = HVController::sharedController()->menuDisplayTime();
  if (delay > 0) {
    if (m_menuTimer) m_menuTimer->invalidate();
    std::weak_ptr<HVFullScreenAdController> weak = sharedAs<HVFullScreenAdController>();
    m_menuTimer = platform::Timer::scheduledTimer(delay, false, [weak](platform::Timer&) {
      if (auto self = weak.lock()) self->showMenuButton();
    });
  } else if (delay == 0) {
    showMenuButton();
  } else {
    hideMenuButton();
  }
}

void HVFullScreenAdController::addMenuButton() {
  if (m_menuButton) m_menuButton->removeFromSuperview();
  m_menuButton.reset();
  if (m_isBrowserMode) return;
  m_menuButton = platform::Button::buttonWithType(platform::ButtonType::RoundedRect);
  m_menuButton->setTitleForState(kMenuTitle, platform::kControlStateNormal);
  std::weak_ptr<HVFullScreenAdController> weak = sharedAs<HVFullScreenAdController>();
  m_menuButton->addTargetActionForControlEvents(
      nullptr,
      [weak](platform::Control&) {
        if (auto self = weak.lock()) self->displayActionSheet();
      },
      platform::kControlEventTouchUpInside);
  m_menuButton->setHidden(true);
  view()->addSubview(m_menuButton);
  placeMenuButton();
}

void HVFullScreenAdController::placeMenuButton() {
  if (!m_menuButton) return;
  const double height = view()->bounds().size.height;
  m_menuButton->setFrame(Rect(kMenuMargin, height - 32, kMenuButtonSize.width, kMenuButtonSize.height));
}

void HVFullScreenAdController::showMenuButton() {
  addMenuButton();
  if (!m_menuButton) return;
  m_menuButton->setHidden(false);
  m_menuButton->setAlpha(0);
  auto button = m_menuButton;
  View::animateWithDurationAnimations(kMenuFadeDuration, [&] { button->setAlpha(1); });
}

void HVFullScreenAdController::hideMenuButton() {
  if (m_menuTimer) m_menuTimer->invalidate();
  m_menuTimer.reset();
  if (m_menuButton) m_menuButton->setHidden(true);
}

void HVFullScreenAdController::displayActionSheetWithDismissAnimation(bool animated) {
  if (m_isBrowserMode) return;
  hideMenuButton();
  if (m_actionSheet) {
    m_actionSheet->dismissWithClickedButtonIndexAnimated(-1, animated);
    m_actionSheet.reset();
  }
  auto sheet = std::make_shared<platform::ActionSheet>("", sharedAs<HVFullScreenAdController>(), std::nullopt,
                                                       std::nullopt, std::vector<std::string>{});
  sheet->setFrame(m_webView->bounds());
  for (const auto& entry : m_actionSheetButtons) sheet->addButtonWithTitle(entry.title);
  sheet->addButtonWithTitle(kSkipTitle);
  m_actionSheet = sheet;
  sheet->showInView(m_webView);
  sheet->setContentMode(platform::ContentMode::Redraw);
}

void HVFullScreenAdController::actionSheetDidDismissWithButtonIndex(platform::ActionSheet& sheet, long index) {
  // A sheet taken down to make way for another, or by the system.
  if (index == -1) return;
  auto self = sharedAs<HVFullScreenAdController>();
  if (index >= 0 && static_cast<size_t>(index) < m_actionSheetButtons.size()) {
    // The page's own script, handed back to it.
    m_bridge->sendJavascriptCommand(m_actionSheetButtons[static_cast<size_t>(index)].callback);
  } else if (m_webView->stringByEvaluatingJavaScriptFromString(kSkipScript) == "true") {
    dismiss();
  }
  if (m_actionSheet.get() == &sheet) m_actionSheet.reset();
}

void HVFullScreenAdController::applicationDidEnterBackground() {
  if (m_actionSheet) m_shouldDisplayActionSheetOnEnterForeground = true;
}

void HVFullScreenAdController::applicationWillEnterForeground() {
  if (!m_shouldDisplayActionSheetOnEnterForeground) return;
  m_shouldDisplayActionSheetOnEnterForeground = false;
  displayActionSheetWithDismissAnimation(false);
}

void HVFullScreenAdController::layout() {
  const Rect bounds = view()->bounds();
  const double bar = m_navigationBar->isHidden() ? 0 : kBrowserBarHeight;
  m_webView->setFrame(Rect(0, bar, bounds.size.width, bounds.size.height - bar));
  m_navigationBar->setFrame(Rect(0, 0, bounds.size.width, kBrowserBarHeight));
  if (m_adLoadingIndicator && m_adLoadingIndicator->boxView()->superview() == view())
    m_adLoadingIndicator->boxView()->setCenter({platform::rectGetMidX(bounds), platform::rectGetMidY(bounds)});
  placeMenuButton();
}


void HVFullScreenAdController::fullScreenAdWindowWillClose() {
  // The ad's sounds end with it.
  HVAudioEngine::teardown();
}

void HVFullScreenAdController::dismissAnimated(bool animated) {
  auto self = sharedAs<HVFullScreenAdController>();
  auto controller = HVController::sharedController();
  if (m_isLoading) {
    m_webView->stopLoading();
    // The bridge waits for the end of the load it saw start; this is it.
    m_bridge->webViewDidFailLoadWithError(m_webView, platform::Error{"NSURLErrorDomain", -1, {}});
    m_navigationLoadingIndicator->stopAnimating();
    m_isLoading = false;
  }
  controller->releaseAccelerometer();
  m_webView->setScalesPageToFit(false);
  m_isBrowserMode = false;
  controller->fullScreenAdWindow()->dismissAnimated(animated);
  setExecMode(0);
  hideNavigationExitItem();
  hideAdLoadingIndicator();
  if (!m_slot) return;
  m_slot->setIsDisplayed(false);
  if (auto manager = controller->adManager()) manager->queueFetchForSlotNamed(m_slot->slotDescription().name());
}

// ---- Click-through and the ad's own browser

void HVFullScreenAdController::makeBrowserBar() {
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
  m_navigationControls->addTarget(sharedAs<HVFullScreenAdController>(),
                                  &HVFullScreenAdController::segmentedControlValueChanged,
                                  platform::kControlEventValueChanged);
  m_navigationItem->setRightBarButtonItem(platform::BarButtonItem::createWithCustomView(m_navigationControls));
  view()->addSubview(m_navigationBar);
  view()->sendSubviewToBack(m_webView);
}

std::optional<bool> HVFullScreenAdController::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>&, const platform::URLRequest& request,
    platform::WebViewNavigationType type) {
  auto url = URL::create(request.url());
  if (!url) return false;
  const std::string scheme = lowercased(url->scheme());
  if (scheme == "file") return true;
  if (scheme == "about") return false;
  auto self = sharedAs<HVFullScreenAdController>();
  if (scheme != "http" && scheme != "https") {
    if (scheme == "halvern") {
      if (lowercased(url->host()) == "ct")
        m_webView->stringByEvaluatingJavaScriptFromString("handleClickthrough(" +
                                                          HVCommandHandler::quoted(url->absoluteString()) + ");");
    } else {
      platform::Application::sharedApplication().openURL(url->absoluteString());
    }
    return false;
  }
  if (HVUtil::URLWillLoadExternalApp(*url)) {
    handleClickthroughToExternalAppURL(*url);
    return false;
  }
  if (type == platform::WebViewNavigationType::Other || m_isBrowserMode) return true;
  requestPage(*url);
  return false;
}

void HVFullScreenAdController::webViewDidStartLoad(const std::shared_ptr<platform::WebView>&) {
  if (m_isBrowserMode) markAsLoading(true);
}

void HVFullScreenAdController::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>&) {
  if (!m_isBrowserMode) return;
  markAsLoading(false);
  enableNavigationControls();
}

void HVFullScreenAdController::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>&,
                                                           const platform::Error&) {
  markAsLoading(false);
}

void HVFullScreenAdController::requestPage(const URL& url) {
  m_shouldWipeContentOnDismiss = true;
  if (HVUtil::URLWillLoadExternalApp(url)) {
    handleClickthroughToExternalAppURL(url);
    return;
  }
  auto controller = HVController::sharedController();
  if (auto app = controller->fullScreenAdWindow()->appWindow()) app->setHidden(true);
  prepareAdViewBrowserMode(true);
  controller->releaseAccelerometer();
  markAsLoading(true);
  if (lowercased(url.host()) == kVideoHost) {
    const Rect screen = platform::Screen::mainScreen().bounds();
    const std::string html =
        platform::format(HVResources::youtubeTemplateHTML(), static_cast<int>(screen.size.width),
                         escapedForAttribute(url.absoluteString()), screen.size.width, screen.size.height);
    m_webView->loadDataMIMETypeTextEncodingNameBaseURL(platform::Bytes(html.begin(), html.end()), "text/html",
                                                       "utf-8", url);
    return;
  }
  m_webView->loadRequest(platform::URLRequest(url.absoluteString()));
  if (lowercased(url.scheme()) == "tel") showNavigationExitItem();
}

void HVFullScreenAdController::handleClickthroughToExternalAppURL(const URL& url) {
  std::weak_ptr<HVFullScreenAdController> weak = sharedAs<HVFullScreenAdController>();
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(this, platform::kApplicationDidEnterBackgroundNotification, nullptr,
                     [weak](const platform::Notification&) {
                       if (auto self = weak.lock()) self->applicationDidLoadExternalAppURL();
                     });
  if (platform::Application::sharedApplication().openURL(url.absoluteString())) return;
  // Nothing will take the application to the background: no wait for it.
  center.removeObserver(this, platform::kApplicationDidEnterBackgroundNotification);
}

void HVFullScreenAdController::applicationDidLoadExternalAppURL() {
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kApplicationDidEnterBackgroundNotification);
  dismissAnimated(false);
}

void HVFullScreenAdController::scheduleExitItem() {
  const double delay = HVController::sharedController()->exitItemDisplayTime();
  if (delay == 0) return;
  hideNavigationExitItem();
  if (m_exitItemTimer) m_exitItemTimer->invalidate();
  std::weak_ptr<HVFullScreenAdController> weak = sharedAs<HVFullScreenAdController>();
  m_exitItemTimer = platform::Timer::scheduledTimer(delay, false, [weak](platform::Timer&) {
    if (auto self = weak.lock()) self->showNavigationExitItem();
  });
}

void HVFullScreenAdController::prepareAdViewBrowserMode(bool browserMode) {
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

void HVFullScreenAdController::showNavigationBar() {
  if (!m_navigationBar->isHidden()) return;
  m_navigationBar->setHidden(false);
  m_navigationBar->setAlpha(1);
  const Rect bounds = view()->bounds();
  m_webView->setFrame(Rect(0, kBrowserBarHeight, bounds.size.width, bounds.size.height - kBrowserBarHeight));
}

void HVFullScreenAdController::hideNavigationBar() {
  if (m_navigationBar->isHidden()) return;
  m_navigationBar->setHidden(true);
  m_navigationBar->setAlpha(0);
  m_webView->setFrame(view()->bounds());
}

void HVFullScreenAdController::markAsLoading(bool loading) {
  m_isLoading = loading;
  if (loading) {
    m_navigationLoadingIndicator->startAnimating();
    return;
  }
  m_navigationLoadingIndicator->stopAnimating();
  if (m_isBrowserMode) showNavigationExitItem();
}

void HVFullScreenAdController::enableNavigationControls() {
  const bool back = m_webView->canGoBack() &&
                    !m_webView->stringByEvaluatingJavaScriptFromString("document.referrer").empty();
  const bool forward = m_webView->canGoForward();
  m_navigationControls->setEnabledForSegmentAtIndex(back, 0);
  m_navigationControls->setImageForSegmentAtIndex(back ? HVResources::backButton() : HVResources::backButtonDisabled(), 0);
  m_navigationControls->setEnabledForSegmentAtIndex(forward, 1);
  m_navigationControls->setImageForSegmentAtIndex(
      forward ? HVResources::forwardButton() : HVResources::forwardButtonDisabled(), 1);
}

void HVFullScreenAdController::disableNavigationControls() {
  m_navigationControls->setEnabledForSegmentAtIndex(false, 0);
  m_navigationControls->setImageForSegmentAtIndex(HVResources::backButtonDisabled(), 0);
  m_navigationControls->setEnabledForSegmentAtIndex(false, 1);
  m_navigationControls->setImageForSegmentAtIndex(HVResources::forwardButtonDisabled(), 1);
}

void HVFullScreenAdController::segmentedControlValueChanged(platform::Control&) {
  if (m_navigationControls->selectedSegmentIndex() == 0)
    m_webView->goBack();
  else
    m_webView->goForward();
}

void HVFullScreenAdController::showNavigationExitItem() {
  if (m_navigationItem->leftBarButtonItem()) return;
  std::weak_ptr<HVFullScreenAdController> weak = sharedAs<HVFullScreenAdController>();
  m_navigationItem->setLeftBarButtonItemAnimated(
      platform::BarButtonItem::createWithBarButtonSystemItem(platform::BarButtonSystemItem::Done, shared_from_this(),
                                                             [weak](platform::BarButtonItem&) {
                                                               if (auto self = weak.lock()) self->dismiss();
                                                             }),
      true);
}

void HVFullScreenAdController::hideNavigationExitItem() {
  if (m_exitItemTimer) m_exitItemTimer->invalidate();
  m_navigationItem->setLeftBarButtonItemAnimated(nullptr, true);
}

void HVFullScreenAdController::showNavigationLoadingIndicatorItem() {
  View::animateWithDurationAnimations(0, [&] { m_navigationItem->setTitleView(m_navigationLoadingIndicator); });
}

void HVFullScreenAdController::hideNavigationLoadingIndicatorItem() {
  View::animateWithDurationAnimations(0, [&] { m_navigationItem->setTitleView(nullptr); });
}

}  // namespace halvern
