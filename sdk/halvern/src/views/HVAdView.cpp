#include "halvern/HVAdView.h"

#include "HVAdManager.h"
#include "HVAdViewInternal.h"
#include "HVController.h"
#include "platform/error.h"
#include "platform/screen.h"

namespace halvern {

std::shared_ptr<HVAdView> HVAdView::adViewForSlotNamedDelegate(const std::string& name,
                                                               std::shared_ptr<HalvernDelegate> delegate) {
  return adViewForSlotNamedDelegateRefreshInterval(name, std::move(delegate), 0.0);
}

std::shared_ptr<HVAdView> HVAdView::adViewForSlotNamedDelegateRefreshInterval(const std::string& name,
                                                                              std::shared_ptr<HalvernDelegate> delegate,
                                                                              double refreshInterval) {
  auto controller = HVController::sharedController();
  auto slot = controller->adManager() ? controller->adManager()->slotForName(name) : nullptr;
  if (!slot) {
    throw platform::Exception("HVAdView retrieval failure.",
                              "Attempt to retrieve a HVAdView instance using a slot name which has not been "
                              "registered with the HVAdEngine.");
  }
  if (auto view = controller->viewForSlotNamed(name)) {
    view->setDelegate(std::move(delegate));
    view->setRefreshInterval(refreshInterval);
    return view;
  }
  auto view = std::make_shared<HVAdView>(platform::Passkey<HVAdView>{}, slot);
  view->m_adViewInternal = HVAdViewInternal::create(slot, std::move(delegate), refreshInterval);
  view->addSubview(view->m_adViewInternal->view());
  controller->registerViewForSlotNamed(view, name);
  return view;
}

platform::Size HVAdView::sizeForHVAdSize(HVAdSize size) {
  switch (size) {
    case HVAdSizeBanner: return {320, 48};
    case HVAdSizeFullScreen: return platform::Screen::mainScreen().bounds().size;
    case HVAdSizeMediumRectangle: return {300, 250};
    case HVAdSizeLeaderboard: return {728, 90};
    case HVAdSizeWideSkyscraper: return {160, 600};
    default: throw platform::Exception("NSInvalidArgumentException", "Attempt to use unrecognized HVAdSize");
  }
}

HVAdView::HVAdView(platform::Passkey<HVAdView>, const std::shared_ptr<HVAdSlot>& slot)
    : platform::View(platform::Rect(platform::Point{0, 0}, sizeForHVAdSize(slot->slotDescription().size()))) {
  setAutoresizesSubviews(false);
}

void HVAdView::refresh() { m_adViewInternal->refresh(); }

void HVAdView::setDelegate(std::shared_ptr<HalvernDelegate> delegate) { m_adViewInternal->setDelegate(std::move(delegate)); }

void HVAdView::setRefreshInterval(double seconds) { m_adViewInternal->setRefreshInterval(seconds); }

void HVAdView::applicationWillEnterForeground() { m_adViewInternal->applicationWillEnterForeground(); }

void HVAdView::drawRect(const platform::Rect&) {
  // An ad counts as shown when its host is actually drawn.
  m_adViewInternal->adDisplayed();
}

}  // namespace halvern
