#pragma once
// A banner of the screen tests' controller, in their shown window, with a delegate that
// writes down what it hears: "receive", "fail <code>", "willPresent", "didDismiss".
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QLScreenTest.h"
#include "quillon/QLBannerView.h"

namespace quillon_test {

struct BannerRecorder : quillon::QLBannerViewDelegate {
  std::vector<std::string> events;
  void adViewDidReceiveAd(const std::shared_ptr<quillon::QLBannerView>&) override { events.push_back("receive"); }
  void adViewDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLBannerView>&,
                                         const platform::Error& e) override {
    events.push_back("fail " + std::to_string(e.code));
  }
  void adViewWillPresentScreen(const std::shared_ptr<quillon::QLBannerView>&) override {
    events.push_back("willPresent");
  }
  void adViewDidDismissScreen(const std::shared_ptr<quillon::QLBannerView>&) override {
    events.push_back("didDismiss");
  }
};

class QLShownBannerTest : public QLScreenTest {
 protected:
  void SetUp() override {
    QLScreenTest::SetUp();
    banner = quillon::QLBannerView::create(platform::Rect(0, 0, 320, 50));
    banner->setDelegate(recorder);
    banner->setRootViewController(root);
    window->addSubview(banner);
  }
  // The banner loads `page` as its ad, which must arrive.
  void loadBanner(const std::string& page) {
    server.setAdPage(page);
    banner->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return banner->stateForTesting() == 6 || banner->stateForTesting() == 7; }));
    ASSERT_EQ(banner->stateForTesting(), 6);
  }

  std::shared_ptr<BannerRecorder> recorder = std::make_shared<BannerRecorder>();
  std::shared_ptr<quillon::QLBannerView> banner;
};

}  // namespace quillon_test
