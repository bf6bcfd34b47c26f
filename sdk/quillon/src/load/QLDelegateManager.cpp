#include "QLDelegateManager.h"

#include "platform/run_loop.h"
#include "platform/thread.h"
#include "quillon/QLInterstitialDelegate.h"

namespace quillon {

std::shared_ptr<QLDelegateManager> QLDelegateManager::create() {
  return std::make_shared<QLDelegateManager>(Passkey{});
}

void QLDelegateManager::deliver(const BannerCall& banner, const InterstitialCall& interstitial) {
  if (!platform::RunLoop::main().isCurrent()) {
    auto self = shared_from_this();
    platform::performOnMainThread([self, banner, interstitial] { self->deliver(banner, interstitial); }, true);
    return;
  }
  // Whoever hears the event may drop the ad, and with it this manager.
  auto self = shared_from_this();
  auto view = adView();
  auto ad = interstitial_.lock();
  // An ad the host has let go (set once, gone now) is not spoken of to it any more.
  const std::weak_ptr<QLBannerView> noView;
  const std::weak_ptr<QLInterstitial> noAd;
  const bool viewGone = !view && (adView_.owner_before(noView) || noView.owner_before(adView_));
  const bool adGone = !ad && (interstitial_.owner_before(noAd) || noAd.owner_before(interstitial_));
  if (auto d = bannerDelegate(); d && !viewGone) banner(*d, view);
  if (auto d = sdkInterstitialDelegate()) interstitial(*d, ad);
  if (auto d = interstitialDelegate(); d && !adGone) interstitial(*d, ad);
}

void QLDelegateManager::didReceiveAd() {
  deliver([](auto& d, const auto& v) { d.adViewDidReceiveAd(v); },
          [](auto& d, const auto& i) { d.interstitialDidReceiveAd(i); });
}

void QLDelegateManager::didFailToReceiveAdWithError(const platform::Error& error) {
  deliver([&error](auto& d, const auto& v) { d.adViewDidFailToReceiveAdWithError(v, error); },
          [&error](auto& d, const auto& i) { d.interstitialDidFailToReceiveAdWithError(i, error); });
}

void QLDelegateManager::willPresentScreen() {
  deliver([](auto& d, const auto& v) { d.adViewWillPresentScreen(v); },
          [](auto& d, const auto& i) { d.interstitialWillPresentScreen(i); });
}

void QLDelegateManager::willDismissScreen() {
  deliver([](auto& d, const auto& v) { d.adViewWillDismissScreen(v); },
          [](auto& d, const auto& i) { d.interstitialWillDismissScreen(i); });
}

void QLDelegateManager::didDismissScreen() {
  deliver([](auto& d, const auto& v) { d.adViewDidDismissScreen(v); },
          [](auto& d, const auto& i) { d.interstitialDidDismissScreen(i); });
}

void QLDelegateManager::willLeaveApplication() {
  deliver([](auto& d, const auto& v) { d.adViewWillLeaveApplication(v); },
          [](auto& d, const auto& i) { d.interstitialWillLeaveApplication(i); });
}

}  // namespace quillon
