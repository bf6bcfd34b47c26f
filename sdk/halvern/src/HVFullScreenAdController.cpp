#include "HVFullScreenAdController.h"

#include "HVAdManager.h"
#include "HVAdSlot.h"
#include "HVAudioEngine.h"
#include "HVController.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "platform/screen.h"

namespace halvern {

using platform::Rect;
using platform::View;

std::shared_ptr<HVFullScreenAdController> HVFullScreenAdController::create() {
  auto controller = std::make_shared<HVFullScreenAdController>();
  controller->view();
  controller->m_bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(0, controller->m_webView, nullptr);
  return controller;
}

HVFullScreenAdController::HVFullScreenAdController() = default;

HVFullScreenAdController::~HVFullScreenAdController() {
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
  m_webView->setFrame(bounds);
  if (m_adLoadingIndicator && m_adLoadingIndicator->boxView()->superview() == view())
    m_adLoadingIndicator->boxView()->setCenter({platform::rectGetMidX(bounds), platform::rectGetMidY(bounds)});
  placeMenuButton();
}

void HVFullScreenAdController::prepareAdViewBrowserMode(bool browserMode) {
  m_webView->setScalesPageToFit(browserMode);
  m_isBrowserMode = browserMode;
}

void HVFullScreenAdController::fullScreenAdWindowWillClose() {
  // The ad's sounds end with it.
  HVAudioEngine::teardown();
}

void HVFullScreenAdController::dismissAnimated(bool animated) {
  auto self = sharedAs<HVFullScreenAdController>();
  auto controller = HVController::sharedController();
  controller->releaseAccelerometer();
  m_webView->setScalesPageToFit(false);
  m_isBrowserMode = false;
  controller->fullScreenAdWindow()->dismissAnimated(animated);
  setExecMode(0);
  hideAdLoadingIndicator();
  if (!m_slot) return;
  m_slot->setIsDisplayed(false);
  if (auto manager = controller->adManager()) manager->queueFetchForSlotNamed(m_slot->slotDescription().name());
}

}  // namespace halvern
