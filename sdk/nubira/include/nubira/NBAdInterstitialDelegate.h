#pragma once
// What a Nubira interstitial tells its host. Every message is optional: a delegate names the
// ones it implements with respondedMessages() (all, unless it narrows them). Main thread.
#include "platform/error.h"

namespace nubira {

class NBAdInterstitial;

class NBAdInterstitialDelegate {
 public:
  enum Message : unsigned {
    kDidFinishRequest = 1u << 0,
    kDidFailToReceiveAd = 1u << 1,
    kDidFailToPresentScreen = 1u << 2,
    kWillPresentScreen = 1u << 3,
    kWillDismissScreen = 1u << 4,
    kDidDismissScreen = 1u << 5,
    kWillLeaveApplication = 1u << 6,
    kAllMessages = (1u << 7) - 1,
  };
  virtual ~NBAdInterstitialDelegate() = default;
  virtual unsigned respondedMessages() const { return kAllMessages; }

  // The ad has loaded: the interstitial is ready (state 2).
  virtual void interstitialDidFinishRequest(NBAdInterstitial& ad) { (void)ad; }
  // A load could not start or failed, or the ad was not ready to present. `error` is an
  // NBAdError: the message is its domain, the code an NBAdErrorCode.
  virtual void interstitialDidFailToReceiveAdWithError(NBAdInterstitial& ad, const platform::Error& error) {
    (void)ad;
    (void)error;
  }
  // No root view controller or no screen to present.
  virtual void interstitialDidFailToPresentScreenWithError(NBAdInterstitial& ad, const platform::Error& error) {
    (void)ad;
    (void)error;
  }
  virtual void interstitialWillPresentScreen(NBAdInterstitial& ad) { (void)ad; }
  virtual void interstitialWillDismissScreen(NBAdInterstitial& ad) { (void)ad; }
  // The ad screen has gone: the interstitial is back in state 0.
  virtual void interstitialDidDismissScreen(NBAdInterstitial& ad) { (void)ad; }
  virtual void interstitialWillLeaveApplication(NBAdInterstitial& ad) { (void)ad; }
};

}  // namespace nubira
