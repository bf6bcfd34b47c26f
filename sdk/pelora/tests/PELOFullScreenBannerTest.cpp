// The full-screen overlay and the toast on the manual clock, with ads from the sandbox server.
#include <gtest/gtest.h>

#include <future>

#include "ORMMAConnector.h"
#include "PELOAdDownloader.h"
#include "PeloraTestSupport.h"
#include "pelora/PELOFullScreenBanner.h"
#include "pelora/PELOToastBannerView.h"
#include "platform/window.h"

namespace {

using pelora::PELOFullScreenBanner;
using pelora::PELOToastBannerView;
using platform::Rect;

class PELOFullScreenBannerTest : public pelora_test::PeloraTest {
 protected:
  void SetUp() override {
    PeloraTest::SetUp();
    window = platform::Window::create(Rect(0, 0, 320, 480));
  }
  std::shared_ptr<platform::Window> window;
};

TEST_F(PELOFullScreenBannerTest, WithoutAnAdTheOverlayGoesAtFiveSeconds) {
  testkit::ScriptedAnswer silence;
  silence.stall = true;
  const testkit::ScriptedAnswer answers[] = {
      silence, testkit::ScriptedAnswer::text(testkit::PeloraServer::answerXML(testkit::PeloraServer::errorAd("106", "none")))};
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer.stall ? "silence" : "error");
    server->http().setAnswer(testkit::PeloraServer::kRequestPath, answer);
    auto overlay = PELOFullScreenBanner::create();
    window->addSubview(overlay);
    EXPECT_EQ(overlay->bannerViewForTesting()->frame(), Rect(10, 115, 300, 250));
    advance(pelora::PELOAdDownloader::kStartDelay);
    if (!answer.stall) {
      ASSERT_TRUE(settleTraffic());
      ASSERT_NE(overlay->bannerViewForTesting()->lastReceivedBannerForTesting(), nullptr);
    }
    advance(4.89);
    EXPECT_TRUE(overlay->skipButtonForTesting()->isHidden());
    EXPECT_EQ(overlay->superview(), window);
    advance(0.1);
    EXPECT_EQ(overlay->superview(), nullptr);
  }
}

TEST_F(PELOFullScreenBannerTest, AnAdThatArrivesStaysUntilSkipped) {
  // The answer is held back until 3 s have passed, inside the five.
  auto answer = testkit::ScriptedAnswer::text(testkit::PeloraServer::answerXML(server->imageAd()));
  answer.hold = std::make_shared<testkit::AnswerHold>();
  server->http().setAnswer(testkit::PeloraServer::kRequestPath, answer);
  auto overlay = PELOFullScreenBanner::create();
  window->addSubview(overlay);
  advance(3.0);
  EXPECT_TRUE(overlay->skipButtonForTesting()->isHidden());
  answer.hold->release();
  ASSERT_TRUE(settleTraffic());
  ASSERT_FALSE(overlay->skipButtonForTesting()->isHidden());
  EXPECT_EQ(overlay->timer(), nullptr);
  EXPECT_FALSE(overlay->spinnerForTesting()->isAnimating());
  EXPECT_NE(server->adRequests().at(0).query.find("format=ALL"), std::string::npos);
  EXPECT_NE(server->adRequests().at(0).query.find("dimension=MEDRECT"), std::string::npos);
  advance(10.0);
  EXPECT_EQ(overlay->superview(), window);
  overlay->skipButtonForTesting()->sendActionsForControlEvents(platform::kControlEventTouchUpInside);
  EXPECT_EQ(overlay->superview(), nullptr);
}

TEST_F(PELOFullScreenBannerTest, TheToastSlidesInOnAnAdAndOutOnAnError) {
  server->setAds({server->imageAd("1"), server->imageAd("2"), testkit::PeloraServer::errorAd("106", "none")});
  auto toast = PELOToastBannerView::create();
  window->addSubview(toast);
  auto inner = toast->bannerViewForTesting();
  auto outsider = std::make_shared<pelora_test::RecordingListener>("outsider", &heard);
  auto own = std::make_shared<pelora_test::RecordingListener>("own", &heard);
  toast->addAdListener(outsider);
  toast->addToastListenerForTesting(own);
  EXPECT_TRUE(toast->isHidden());
  EXPECT_EQ(inner->frame(), Rect(0, 50, 320, 50));
  auto load = [&] {
    const size_t before = heard.size();
    toast->asyncLoadNewBanner();
    advance(pelora::PELOAdDownloader::kStartDelay);
    ASSERT_GE(heard.size(), before + 2);
  };

  load();
  EXPECT_FALSE(toast->isHidden());
  EXPECT_EQ(inner->frame(), Rect(0, 16, 320, 50));
  EXPECT_EQ(heard[heard.size() - 2].sender.lock(), toast);  // own listeners hear the toast
  EXPECT_EQ(heard.back().sender.lock(), inner);              // others hear the inner view
  advance(PELOToastBannerView::kSlideSeconds);
  EXPECT_EQ(inner->animationType(), 2);
  EXPECT_EQ(inner->animationDirection(), 3);

  load();  // a second good ad only swaps
  EXPECT_FALSE(toast->isHidden());
  load();  // the error slides it away
  advance(PELOToastBannerView::kSlideSeconds);
  EXPECT_TRUE(toast->isHidden());
  EXPECT_EQ(inner->frame(), Rect(0, 50, 320, 50));
  EXPECT_EQ(inner->animationType(), 5);
  load();  // an error while hidden keeps it hidden
  EXPECT_TRUE(toast->isHidden());
}

TEST_F(PELOFullScreenBannerTest, TheToastCloseButtonHidesIt) {
  auto toast = PELOToastBannerView::create();
  window->addSubview(toast);
  auto close = toast->closeButtonForTesting();
  EXPECT_EQ(close->frame().origin, (platform::Point{320 - close->frame().size.width, 0}));
  toast->showToast();
  advance(PELOToastBannerView::kSlideSeconds);
  close->sendActionsForControlEvents(platform::kControlEventTouchUpInside);
  EXPECT_EQ(close->alpha(), 0);
  advance(PELOToastBannerView::kSlideSeconds);
  EXPECT_TRUE(toast->isHidden());
}

}  // namespace
