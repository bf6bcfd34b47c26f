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
  // Writes `event` down; a host that acts on what it hears does so here, inside the callback.
  virtual void note(const std::string& event) { seen.push_back(event); }
  void adViewDidReceiveAd(const std::shared_ptr<quillon::QLBannerView>&) override { note("receive"); }
  void adViewDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLBannerView>&,
                                         const platform::Error& e) override {
    note("fail " + std::to_string(e.code));
  }
  void adViewWillPresentScreen(const std::shared_ptr<quillon::QLBannerView>&) override { note("willPresent"); }
  void adViewWillDismissScreen(const std::shared_ptr<quillon::QLBannerView>&) override { note("willDismiss"); }
  void adViewDidDismissScreen(const std::shared_ptr<quillon::QLBannerView>&) override { note("didDismiss"); }
  void adViewWillLeaveApplication(const std::shared_ptr<quillon::QLBannerView>&) override {
    note("willLeave");
  }
  void interstitialDidReceiveAd(const std::shared_ptr<quillon::QLInterstitial>&) override { note("receive"); }
  void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLInterstitial>&,
                                               const platform::Error& e) override {
    note("fail " + std::to_string(e.code));
  }
  void interstitialWillPresentScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    note("willPresent");
  }
  void interstitialWillDismissScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    note("willDismiss");
  }
  void interstitialDidDismissScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    note("didDismiss");
  }
  void interstitialWillLeaveApplication(const std::shared_ptr<quillon::QLInterstitial>&) override {
    note("willLeave");
  }
};

}  // namespace quillon_test
