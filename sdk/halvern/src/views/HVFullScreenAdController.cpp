#include "HVFullScreenAdController.h"

#include <utility>

#include "HVAdManager.h"
#include "HVAdSlot.h"
#include "HVController.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "platform/screen.h"

namespace halvern {

using platform::Rect;
using platform::View;


std::shared_ptr<HVFullScreenAdController> HVFullScreenAdController::create() {
  auto controller = std::make_shared<HVFullScreenAdController>(platform::Passkey<HVFullScreenAdController>{});
  // No slot, no delegate and no interval: no listener is registered and the view fills the
  // screen.
  controller->init(nullptr, 0);
  return controller;
}

HVFullScreenAdController::HVFullScreenAdController(platform::Passkey<HVFullScreenAdController>)
    : HVAdViewInternal(nullptr) {}

HVFullScreenAdController::~HVFullScreenAdController() {
  if (m_menuTimer) m_menuTimer->invalidate();
}

void HVFullScreenAdController::setDelegateForSlotNamed(std::shared_ptr<HalvernDelegate> delegate,
                                                       const std::string& name) {
  m_toldDlTimeDict.erase(name);
  if (!delegate) {
    m_delegateDict.erase(name);
    return;
  }
  m_delegateDict[name] = std::move(delegate);
  if (HVController::sharedController()->isAdReadyForSlotNamed(name)) adDownloadedForSlotNamed(name);
}

bool HVFullScreenAdController::notifyDelegateAdReadyForSlotNamed(const std::string& name) {
  auto it = m_delegateDict.find(name);
  if (it == m_delegateDict.end() || !(it->second->respondedMessages() & HalvernDelegate::kAdReadyForSlotNamed))
    return false;
  // One ad can be announced twice: by the page made ready ahead and, when the delegate is
  // set while that page still loads, by the delegate's own start. The delegate hears once.
  auto manager = HVController::sharedController()->adManager();
  auto slot = manager ? manager->slotForName(name) : nullptr;
  const int64_t waiting = slot ? slot->nextAdDlTime() : 0;
  if (waiting != 0) {
    auto& told = m_toldDlTimeDict[name];
    if (told == waiting) return true;
    told = waiting;
  }
  auto delegate = it->second;
  auto self = shared_from_this();
  delegate->halvernAdReadyForSlotNamed(name);
  return true;
}

bool HVFullScreenAdController::displayAdForSlot(const std::shared_ptr<HVAdSlot>& slot) {
  m_slot = slot;
  auto it = slot ? m_delegateDict.find(slot->slotDescription().name()) : m_delegateDict.end();
  m_delegate = it == m_delegateDict.end() ? nullptr : it->second;
  return display();
}

bool HVFullScreenAdController::isDisplaying() const { return m_slot && m_slot->isDisplayed(); }

bool HVFullScreenAdController::isAdReady() { return m_slot && m_slot->hasNextAdDownloaded(); }

void HVFullScreenAdController::adContentWillLoad() {
  // Only the display the host asked for takes the screen, once: a page waiting in the cache,
  // or one already shown, asks in vain.
  auto window = HVController::sharedController()->fullScreenAdWindow();
  if (!m_slot || !m_slot->isDisplayed() || window->contentController()) return;
  auto self = sharedAs<HVFullScreenAdController>();
  if (!window->displayController(self)) return;
  setExecMode(1);
  adDisplayed();
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
  // A menu belongs to an ad on screen: a page that got its menu after its close shows none.
  if (HVController::sharedController()->fullScreenAdWindow()->contentController().get() != this) return;
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
  sheet->setFrame(webView()->bounds());
  for (const auto& entry : m_actionSheetButtons) sheet->addButtonWithTitle(entry.title);
  sheet->addButtonWithTitle(kSkipTitle);
  m_actionSheet = sheet;
  sheet->showInView(webView());
  sheet->setContentMode(platform::ContentMode::Redraw);
}

void HVFullScreenAdController::actionSheetDidDismissWithButtonIndex(platform::ActionSheet& sheet, long index) {
  // A sheet taken down to make way for another, or by the system.
  if (index == -1) return;
  auto self = sharedAs<HVFullScreenAdController>();
  if (index >= 0 && static_cast<size_t>(index) < m_actionSheetButtons.size()) {
    // The page's own script, handed back to it: the user chose it, so the page may act on it.
    grantActsForNativeTouch();
    bridge()->sendJavascriptCommand(m_actionSheetButtons[static_cast<size_t>(index)].callback);
  } else if (webView()->stringByEvaluatingJavaScriptFromString(kSkipScript) == "true") {
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
  HVAdViewInternal::layout();
  const Rect bounds = view()->bounds();
  if (m_adLoadingIndicator && m_adLoadingIndicator->boxView()->superview() == view())
    m_adLoadingIndicator->boxView()->setCenter({platform::rectGetMidX(bounds), platform::rectGetMidY(bounds)});
  placeMenuButton();
}

void HVFullScreenAdController::dismissedFromWindow(bool) {
  hideAdLoadingIndicator();
  // The ad's menu goes with it: a timer still running, or a sheet still up, would come over
  // the next ad (or over nothing) rather than this one.
  hideMenuButton();
  m_shouldDisplayActionSheetOnEnterForeground = false;
  if (auto sheet = std::exchange(m_actionSheet, nullptr); sheet && sheet->isVisible())
    sheet->dismissWithClickedButtonIndexAnimated(-1, false);
  // A second close of the same ad gives nothing back twice.
  if (!m_slot || !m_slot->isDisplayed()) return;
  m_slot->setIsDisplayed(false);
  if (auto manager = HVController::sharedController()->adManager())
    manager->queueFetchForSlotNamed(m_slot->slotDescription().name());
}

}  // namespace halvern
