#pragma once
// What an interstitial tells its host. Every method is optional. The interstitial is kept
// alive for the whole call, so a delegate may drop its last reference to it inside any of them.
#include <memory>

#include "platform/error.h"

namespace quillon {

class QLInterstitial;

class QLInterstitialDelegate {
 public:
  virtual ~QLInterstitialDelegate() = default;
  // The ad page finished loading in the background: the interstitial is ready.
  virtual void interstitialDidReceiveAd(const std::shared_ptr<QLInterstitial>& ad) { (void)ad; }
  virtual void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<QLInterstitial>& ad,
                                                       const platform::Error& error) {
    (void)ad;
    (void)error;
  }
  virtual void interstitialWillPresentScreen(const std::shared_ptr<QLInterstitial>& ad) { (void)ad; }
  virtual void interstitialWillDismissScreen(const std::shared_ptr<QLInterstitial>& ad) { (void)ad; }
  virtual void interstitialDidDismissScreen(const std::shared_ptr<QLInterstitial>& ad) { (void)ad; }
  virtual void interstitialWillLeaveApplication(const std::shared_ptr<QLInterstitial>& ad) { (void)ad; }
};

}  // namespace quillon
