#pragma once
// Turns each event of a load or of a full-screen page into a call on the host's banner or
// interstitial delegate (and on the client's own window-takeover controller). Delegates are
// not retained; the manager and the ad stay alive for the whole call, so a delegate may drop
// the ad inside it. Once the host has let its banner or interstitial go, its delegate hears
// nothing more of it (a page of that ad may still be up and close later). Events raised off
// the main thread are delivered on it, waiting.
#include <functional>
#include <memory>

#include "platform/error.h"
#include "platform/passkey.h"
#include "quillon/QLBannerViewDelegate.h"

namespace quillon {

class QLInterstitial;
class QLInterstitialDelegate;

class QLDelegateManager : public std::enable_shared_from_this<QLDelegateManager> {
 public:
  static std::shared_ptr<QLDelegateManager> create();

  std::shared_ptr<QLBannerViewDelegate> bannerDelegate() const { return bannerDelegate_.lock(); }
  void setBannerDelegate(std::weak_ptr<QLBannerViewDelegate> d) { bannerDelegate_ = std::move(d); }
  std::shared_ptr<QLBannerView> adView() const { return adView_.lock(); }
  void setAdView(std::weak_ptr<QLBannerView> view) { adView_ = std::move(view); }
  std::shared_ptr<QLInterstitialDelegate> interstitialDelegate() const { return interstitialDelegate_.lock(); }
  void setInterstitialDelegate(std::weak_ptr<QLInterstitialDelegate> d) { interstitialDelegate_ = std::move(d); }
  std::shared_ptr<QLInterstitial> interstitial() const { return interstitial_.lock(); }
  void setInterstitial(std::weak_ptr<QLInterstitial> i) { interstitial_ = std::move(i); }
  std::shared_ptr<QLInterstitialDelegate> sdkInterstitialDelegate() const { return sdkInterstitialDelegate_.lock(); }
  void setSdkInterstitialDelegate(std::weak_ptr<QLInterstitialDelegate> d) { sdkInterstitialDelegate_ = std::move(d); }

  void didReceiveAd();
  void didFailToReceiveAdWithError(const platform::Error& error);
  void willPresentScreen();
  void willDismissScreen();
  void didDismissScreen();
  void willLeaveApplication();

  using Passkey = platform::Passkey<QLDelegateManager>;
  explicit QLDelegateManager(Passkey) {}

 private:
  using BannerCall = std::function<void(QLBannerViewDelegate&, const std::shared_ptr<QLBannerView>&)>;
  using InterstitialCall = std::function<void(QLInterstitialDelegate&, const std::shared_ptr<QLInterstitial>&)>;
  void deliver(const BannerCall& banner, const InterstitialCall& interstitial);

  std::weak_ptr<QLBannerViewDelegate> bannerDelegate_;
  std::weak_ptr<QLBannerView> adView_;
  std::weak_ptr<QLInterstitialDelegate> interstitialDelegate_;
  std::weak_ptr<QLInterstitial> interstitial_;
  std::weak_ptr<QLInterstitialDelegate> sdkInterstitialDelegate_;
};

}  // namespace quillon
