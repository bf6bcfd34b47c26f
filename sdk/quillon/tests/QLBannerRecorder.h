#pragma once
// A banner delegate that writes down what it hears: "receive", or "fail <code>".
#include <memory>
#include <string>
#include <vector>

#include "quillon/QLBannerView.h"

namespace quillon_test {

struct BannerRecorder : quillon::QLBannerViewDelegate {
  std::vector<std::string> events;
  void adViewDidReceiveAd(const std::shared_ptr<quillon::QLBannerView>&) override { events.push_back("receive"); }
  void adViewDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLBannerView>&,
                                         const platform::Error& e) override {
    events.push_back("fail " + std::to_string(e.code));
  }
};

}  // namespace quillon_test
