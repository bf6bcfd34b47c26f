// The banner view end to end: ads from the sandbox server built into hidden web views whose
// pages really run, swapped in with their transition, listeners told in order, and the
// cases where nothing may be swapped.
#include <gtest/gtest.h>

#include <functional>

#include "ORMMAConnector.h"
#include "PELOAdDownloader.h"
#include "PELOAutoReloadTimer.h"
#include "PeloraTestSupport.h"
#include "pelora/PELOBannerView.h"
#include "platform/log.h"
#include "platform/random.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace {

using pelora::PELOBannerView;
using pelora_test::RecordingListener;
using platform::WebView;

class PELOBannerViewTest : public pelora_test::PeloraTest {
 protected:
  void SetUp() override {
    PeloraTest::SetUp();
    view = PELOBannerView::create();
    first = std::make_shared<RecordingListener>("first", &heard);
    second = std::make_shared<RecordingListener>("second", &heard);
    view->addAdListener(first);
    view->addAdListener(second);
    view->addAdListener(first);  // once only
  }

  void requestAd() {
    view->asyncLoadNewBanner();
    advance(pelora::PELOAdDownloader::kStartDelay);
  }
  // Asks for an ad and waits until the listeners have heard of it.
  void loadAd() {
    const size_t before = heard.size();
    requestAd();
    ASSERT_TRUE(runUntil([&] { return heard.size() >= before + 2; }));
  }
  // Runs `f` once, when the downloader next delivers, right after the view took the banner
  // (so while a new ad's page is being built).
  void whenDelivered(std::function<void()> f) {
    deliveries = std::make_shared<RecordingListener>("downloader", &delivered);
    deliveries->then = [this, f = std::move(f)] {
      auto run = f;
      deliveries->then = nullptr;
      run();
    };
    view->downloaderForTesting()->addAdListener(deliveries);
  }
  std::shared_ptr<WebView> current() const { return std::dynamic_pointer_cast<WebView>(view->currentViewForTesting()); }

  std::shared_ptr<PELOBannerView> view;
  std::shared_ptr<RecordingListener> first, second, deliveries;
  std::vector<pelora_test::Heard> delivered;
};

TEST_F(PELOBannerViewTest, ImageAdIsBuiltHiddenThenSwappedInWithItsTransition) {
  view->setAnimationType(1);
  view->setAnimationDirection(2);
  view->setBackgroundColor(platform::Color::rgba(1, 0.5, 0, 1));
  std::shared_ptr<WebView> building;
  whenDelivered([&] {
    EXPECT_TRUE(view->isLoadingForTesting());
    building = current();
    ASSERT_NE(building, nullptr);
    EXPECT_TRUE(building->isHidden());
    EXPECT_TRUE(heard.empty());
  });
  requestAd();
  ASSERT_TRUE(runUntil([&] { return heard.size() == 2; }));
  ASSERT_NE(building, nullptr);
  EXPECT_EQ(heard[0].who, "first");
  EXPECT_EQ(heard[1].who, "second");
  EXPECT_EQ(heard[0].sender.lock(), std::static_pointer_cast<pelora::PELOAdDownloaderProtocol>(view));
  EXPECT_EQ(heard[0].banner->adType(), 1);
  EXPECT_FALSE(view->isLoadingForTesting());
  EXPECT_FALSE(building->isHidden());
  EXPECT_EQ(building->superview(), view);
  EXPECT_EQ(building->frame(), platform::Rect(0, 0, 320, 50));
  EXPECT_EQ(building->autoresizingMask(), 18u);
  EXPECT_TRUE(building->scalesPageToFit());
  EXPECT_EQ(view->ormmaConnectorForTesting()->bannerState(), pelora::ORMMAConnector::kDefault);
  EXPECT_EQ(building->documentSourceForTesting(),
            "<html>\n<head>\n<META name=\"viewport\" content=\"initial-scale=1.0, user-scalable=no\" />\n"
            "<style>body { margin: 0px; padding: 0px;\n    background-color:#FF7F00;\n}\n</style>\n</head>\n<body>\n"
            "<a href=\"" + server->clickURL("1") + "\"><center><img src='" + server->imageURL("1") +
            "' border='0' vertical-align='top'></center></a></body>\n</html>\n");
  auto transition = std::dynamic_pointer_cast<platform::Transition>(view->layer()->animationForKey("transition"));
  ASSERT_NE(transition, nullptr);
  EXPECT_EQ(transition->type(), platform::kTransitionPush);
  EXPECT_EQ(transition->subtype(), platform::kTransitionFromTop);
  EXPECT_DOUBLE_EQ(transition->duration(), 0.3);
  const auto request = server->adRequests().at(0);
  EXPECT_EQ(request.queryItem("width"), "320");
  EXPECT_EQ(request.queryItem("height"), "50");

  // The next ad replaces it; type 5 adds no transition.
  view->layer()->removeAllAnimations();
  view->setAnimationType(5);
  server->setAd(server->textAd("Next", "2"));
  loadAd();
  EXPECT_EQ(building->superview(), nullptr);
  EXPECT_NE(current(), building);
  EXPECT_TRUE(view->layer()->animationKeys().empty());
}

TEST_F(PELOBannerViewTest, RandomTransitionsDrawFromTheFourEntryLists) {
  const std::pair<uint32_t, const char*> types[] = {{0, platform::kTransitionMoveIn}, {5, platform::kTransitionPush},
                                                   {6, platform::kTransitionReveal}, {11, platform::kTransitionFade}};
  for (const auto& [draw, type] : types) {
    platform::Random::script({draw, 4});
    auto t = view->createAnimationWithDirection(0, 0);
    EXPECT_EQ(t->type(), type);
    EXPECT_EQ(t->subtype(), platform::kTransitionFromLeft);
  }
  EXPECT_EQ(view->createAnimationWithDirection(3, 3)->subtype(), platform::kTransitionFromBottom);
  EXPECT_EQ(view->createAnimationWithDirection(2, 1)->type(), platform::kTransitionReveal);
}

TEST_F(PELOBannerViewTest, TextAndRichMediaPagesRunWithAdTextKeptAsText) {
  platform::LogCapture log;
  pelora::PELOGlobalSettings::globalSettings()->setLogLevel(4);
  auto ad = server->textAd("<b>Sale</b> & more');alert('x");
  ad.clickUrl = server->clickURL("t") + "?q=';alert(1);'";
  server->setAd(ad);
  // The user taps the ad on screen.
  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  window->makeKeyAndVisible();
  window->addSubview(view);
  loadAd();
  auto page = current();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->stringByEvaluatingJavaScriptFromString("document.getElementsByTagName('b').length"), "0");
  EXPECT_NE(page->documentSourceForTesting().find("width:320px;"), std::string::npos);
  ASSERT_TRUE(page->tapLinkWithElementIdForTesting("place-name"));
  ASSERT_TRUE(runUntil([&] { return log.contains("Requested url: "); }));
  runUntilIdle();
  EXPECT_TRUE(page->alertsForTesting().empty());
  EXPECT_TRUE(log.contains("/pelora/click/t?q="));

  // The link opened a landing page; closing it asks for the next ad.
  server->setAd(server->richMediaAd("<div id=\"creative\">Rich</div>"));
  const size_t before = heard.size();
  view->ormmaConnectorForTesting()->closeViewWithAnimation(false);
  advance(pelora::PELOAdDownloader::kStartDelay);
  ASSERT_GE(heard.size(), before + 2);
  auto rich = current();
  ASSERT_NE(rich, nullptr);
  EXPECT_EQ(rich->dataDetectorTypes(), 0u);
  EXPECT_EQ(rich->stringByEvaluatingJavaScriptFromString("window.peloraScriptsLoaded"), "ormma_bridge;ormma;");
  EXPECT_EQ(rich->stringByEvaluatingJavaScriptFromString("document.getElementById('creative') ? 'yes' : 'no'"), "yes");
  EXPECT_EQ(rich->stringByEvaluatingJavaScriptFromString("typeof pelora_bridge.expand"), "function");
}

TEST_F(PELOBannerViewTest, ASecondLoadWhileBuildingIsDropped) {
  whenDelivered([&] { view->asyncLoadNewBanner(); });
  requestAd();
  advance(pelora::PELOAdDownloader::kStartDelay);
  ASSERT_EQ(heard.size(), 2u);
  runUntilIdle();
  EXPECT_EQ(server->adRequests().size(), 1u);
}

// Passes every call on to the banner view's own delegate, and stops the load it hears start.
struct StopOnStart : platform::WebViewDelegate {
  std::shared_ptr<platform::WebViewDelegate> inner;
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const std::shared_ptr<WebView>& w,
                                                                      const platform::URLRequest& r,
                                                                      platform::WebViewNavigationType t) override {
    return inner->webViewShouldStartLoadWithRequestNavigationType(w, r, t);
  }
  void webViewDidStartLoad(const std::shared_ptr<WebView>& w) override {
    inner->webViewDidStartLoad(w);
    w->stopLoading();
  }
  void webViewDidFinishLoad(const std::shared_ptr<WebView>& w) override { inner->webViewDidFinishLoad(w); }
  void webViewDidFailLoadWithError(const std::shared_ptr<WebView>& w, const platform::Error& e) override {
    inner->webViewDidFailLoadWithError(w, e);
  }
};

TEST_F(PELOBannerViewTest, AFailedPageIsAnErrorAndTheShowingAdStays) {
  loadAd();
  auto showing = current();
  ASSERT_NE(showing, nullptr);
  heard.clear();
  server->setAd(server->textAd("Next", "2"));
  std::shared_ptr<WebView> failing;
  auto stopper = std::make_shared<StopOnStart>();
  whenDelivered([&] {
    failing = current();
    ASSERT_NE(failing, showing);
    // Only the page being built may swap: the showing page finishing again changes nothing.
    showing->delegate()->webViewDidFinishLoad(showing);
    EXPECT_TRUE(view->isLoadingForTesting());
    EXPECT_TRUE(heard.empty());
    // The page is stopped as soon as it starts: the platform fails it as cancelled.
    stopper->inner = failing->delegate();
    failing->setDelegate(stopper);
  });
  requestAd();
  ASSERT_TRUE(runUntil([&] { return heard.size() == 2; }));
  const auto& banner = heard[0].banner;
  EXPECT_EQ(banner->status(), 1);
  EXPECT_EQ(banner->errorCode(), 4);
  EXPECT_FALSE(banner->errorMessage().empty());
  EXPECT_FALSE(view->isLoadingForTesting());
  EXPECT_EQ(current(), showing);
  EXPECT_FALSE(showing->isHidden());
  EXPECT_EQ(showing->superview(), view);
  EXPECT_EQ(failing->superview(), nullptr);

  // The slot works on.
  server->setAd(server->textAd("Third", "3"));
  loadAd();
  EXPECT_EQ(heard.back().banner->adText(), "Third");
  EXPECT_EQ(showing->superview(), nullptr);
}

TEST_F(PELOBannerViewTest, ErrorAndEmptyBannersAreReported) {
  loadAd();
  auto showing = current();
  server->setAd(testkit::PeloraServer::errorAd("42", "No ad"));
  loadAd();
  EXPECT_TRUE(view->isHidden());
  EXPECT_EQ(heard.back().banner->errorCode(), 3);
  EXPECT_EQ(current(), showing);  // an error takes nothing down but the view's visibility

  auto all = server->imageAd();
  all.type = "ALL";
  server->setAd(all);
  loadAd();
  EXPECT_FALSE(view->isHidden());
  EXPECT_EQ(current(), nullptr);
  EXPECT_EQ(showing->superview(), nullptr);
  EXPECT_EQ(heard.back().banner->adType(), 0);
}

TEST_F(PELOBannerViewTest, VideoAdPlaysInTheViewWhileTheReloadWaits) {
  auto video = server->imageAd("v");
  video.type = "VIDEO";
  video.mediaFile = server->url("/pelora/media/v.mp4");
  server->setAd(video);
  view->setAutoReloadEnabled(true);
  loadAd();
  auto player = view->moviePlayerForTesting();
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->contentURL(), server->url("/pelora/media/v.mp4"));
  EXPECT_TRUE(player->isPreparedToPlay());
  ASSERT_NE(view->activityIndicatorForTesting(), nullptr);
  EXPECT_TRUE(view->activityIndicatorForTesting()->isAnimating());
  EXPECT_DOUBLE_EQ(view->activityIndicatorForTesting()->layer()->shadowOpacity(), 0.5);
  EXPECT_FALSE(view->reloadTimerForTesting()->isRunningForTesting());

  player->setNaturalSizeForTesting({640, 360});
  player->setLoadStateForTesting(platform::kMovieLoadStatePlayable);
  EXPECT_TRUE(view->isPlayingVideoForTesting());
  EXPECT_EQ(view->activityIndicatorForTesting(), nullptr);
  EXPECT_EQ(player->playbackState(), platform::MoviePlaybackState::Playing);
  EXPECT_EQ(player->controlStyle(), 0);
  EXPECT_EQ(player->view()->superview(), view);
  EXPECT_EQ(view->frame(), platform::Rect(0, 0, 320, 180));
  EXPECT_EQ(player->view()->frame(), platform::Rect(0, 0, 320, 180));

  player->finishPlaybackForTesting();
  EXPECT_EQ(view->moviePlayerForTesting(), nullptr);
  EXPECT_EQ(player->view()->superview(), nullptr);
  EXPECT_FALSE(view->isPlayingVideoForTesting());
  EXPECT_TRUE(view->reloadTimerForTesting()->isRunningForTesting());

  // A view that goes while its next movie plays stops it; the movie's later news finds no one.
  loadAd();
  auto next = view->moviePlayerForTesting();
  ASSERT_NE(next, nullptr);
  next->setLoadStateForTesting(platform::kMovieLoadStatePlayable);
  view.reset();
  EXPECT_EQ(next->playbackState(), platform::MoviePlaybackState::Stopped);
  next->finishPlaybackForTesting();
}

TEST_F(PELOBannerViewTest, AListenerMayReleaseTheViewInsideItsCallback) {
  std::weak_ptr<PELOBannerView> weak = view;
  first->then = [&] { view.reset(); };
  requestAd();
  ASSERT_TRUE(runUntil([&] { return heard.size() == 2; }));
  runUntilIdle();
  EXPECT_TRUE(weak.expired());
}

TEST_F(PELOBannerViewTest, AutoReloadIsClampedAndRunsOnTheClock) {
  view->setAutoReloadFrequency(10);
  EXPECT_EQ(view->autoReloadFrequency(), 30);
  advance(60);
  EXPECT_EQ(server->adRequests().size(), 0u);  // created disabled

  view->setAutoReloadEnabled(true);
  advance(29.9);
  runUntilIdle();
  EXPECT_EQ(server->adRequests().size(), 0u);
  advance(0.1 + pelora::PELOAdDownloader::kStartDelay);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(server->adRequests().size(), 1u);

  // A new period restarts the running timer at once.
  advance(20);
  view->setAutoReloadFrequency(45);
  advance(44.9);
  runUntilIdle();
  EXPECT_EQ(server->adRequests().size(), 1u);
  advance(0.1 + pelora::PELOAdDownloader::kStartDelay);
  ASSERT_EQ(heard.size(), 4u);

  view->pauseAutomaticReload();
  advance(100);
  runUntilIdle();
  EXPECT_EQ(server->adRequests().size(), 2u);
  view->setAutoReloadEnabled(false);
  view->resumeAutomaticReload();  // disabled: stays off
  advance(100);
  runUntilIdle();
  EXPECT_EQ(server->adRequests().size(), 2u);
}

TEST_F(PELOBannerViewTest, DimensionsAndPageColours) {
  const std::pair<int, platform::Rect> frames[] = {{0, {0, 0, 320, 50}},   {7, {0, 0, 320, 50}},  {1, {0, 0, 300, 250}},
                                                   {2, {0, 0, 728, 90}}, {3, {0, 0, 120, 600}}};
  for (const auto& [dimension, frame] : frames) {
    auto v = PELOBannerView::createWithDimension(dimension);
    EXPECT_EQ(v->frame(), frame) << dimension;
    EXPECT_EQ(v->adSettings()->adDimension(), dimension);
  }
  const std::pair<platform::Color, const char*> colours[] = {
      {platform::Color::whiteColor(), "FFFFFF"},
      {platform::Color::clearColor(), "000000"},
      {platform::Color::rgba(0.5, 0.25, 1.5, 1), "7F3FFF"},
      {platform::Color::rgba(-1, 0.1, 1.0, 1), "0019FF"},
      {platform::Color::white(0.5, 1), "7F7F7F"},
      {platform::Color::groupTableViewBackgroundColor(), "000000"},
      {platform::Color{0.2, 0.4, 0.6, 1, platform::ColorSpaceModel::CMYK}, "000000"},
  };
  for (const auto& [colour, hex] : colours) EXPECT_EQ(PELOBannerView::hexStringFromColor(colour), hex);
}

}  // namespace
