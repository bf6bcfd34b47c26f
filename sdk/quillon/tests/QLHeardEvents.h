#pragma once
// A banner and interstitial delegate that writes down what it hears: "receive",
// "fail <code>", "willPresent", "willDismiss", "didDismiss", "willLeave".
#include <memory>
#include <string>
#include <vector>

#include "quillon/QLBannerView.h"
#include "quillon/QLInterstitial.h"

namespace quillon_test {

struct HeardEvents : quillon::QLBannerViewDelegate, quillon::QLInterstitialDelegate {
  std::vector<std::string> seen;
  void adViewDidReceiveAd(const std::shared_ptr<quillon::QLBannerView>&) override { seen.push_back("receive"); }
  void adViewDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLBannerView>&,
                                         const platform::Error& e) override {
    seen.push_back("fail " + std::to_string(e.code));
  }
  void adViewWillPresentScreen(const std::shared_ptr<quillon::QLBannerView>&) override { seen.push_back("willPresent"); }
  void adViewWillDismissScreen(const std::shared_ptr<quillon::QLBannerView>&) override { seen.push_back("willDismiss"); }
  void adViewDidDismissScreen(const std::shared_ptr<quillon::QLBannerView>&) override { seen.push_back("didDismiss"); }
  void adViewWillLeaveApplication(const std::shared_ptr<quillon::QLBannerView>&) override {
    seen.push_back("willLeave");
  }
  void interstitialDidReceiveAd(const std::shared_ptr<quillon::QLInterstitial>&) override { seen.push_back("receive"); }
  void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLInterstitial>&,
                                               const platform::Error& e) override {
    seen.push_back("fail " + std::to_string(e.code));
  }
  void interstitialWillPresentScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    seen.push_back("willPresent");
  }
  void interstitialWillDismissScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    seen.push_back("willDismiss");
  }
  void interstitialDidDismissScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    seen.push_back("didDismiss");
  }
  void interstitialWillLeaveApplication(const std::shared_ptr<quillon::QLInterstitial>&) override {
    seen.push_back("willLeave");
  }
};

}  // namespace quillon_test
