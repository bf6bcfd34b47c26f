#include "halvern/HVAdView.h"

#include "HVAdViewInternal.h"
#include "HVClientDriver.h"
#include "HVClientManager.h"
#include "HVClientTestSupport.h"
#include "HVDisplayCommandHandler.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "platform/accelerometer.h"
#include "platform/error.h"
#include "platform/file_manager.h"
#include "platform/log.h"

namespace halvern {
namespace {

using platform::FileManager;
using testsupport::RecordingDelegate;

class HVAdViewTest : public testsupport::HalvernClientTest {
 protected:
  // Started, the banner's first ad downloaded, its view made and put on screen.
  std::shared_ptr<HVAdView> showBanner(double refreshInterval = 0) {
    start();
    EXPECT_TRUE(advanceUntil([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 120));
    auto banner = HVAdView::adViewForSlotNamedDelegateRefreshInterval("hvBanner", delegate, refreshInterval);
    window->addSubview(banner);
    return banner;
  }
  std::string page(const std::shared_ptr<HVAdView>& banner, const std::string& script) {
    return banner->controller()->webView()->stringByEvaluatingJavaScriptFromString(script);
  }
  bool adFolderExists(int64_t dlTime) {
    return FileManager::fileExistsAtPath(HVAdManager::adRootDir() + "/hvBanner/" + std::to_string(dlTime) + "/ad.html");
  }
  size_t adRequestsFor(const std::string& slot) {
    size_t count = 0;
    for (const auto& request : server.adRequests()) count += request.queryItem("slot") == slot;
    return count;
  }

  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(HVAdViewTest, BannerShowsItsAdOnceTracksItAndTheNextAdReplacesIt) {
  server.setAd("hvBanner", "<b>first</b>", 3600, {"imp1", "imp2"});
  server.setAd("hvFullScreen", "<b>full</b>", 3600, {});
  auto banner = showBanner();
  EXPECT_EQ(server.updateRequests().size(), 1u);
  auto again = [this] { start(); };
  EXPECT_THROW(again(), platform::Exception);

  const int64_t first = slot("hvBanner")->nextAdDlTime();
  // What the fetch queued by the first display will find.
  server.setAd("hvBanner", "<b>second</b>", 3600, {"imp3"});
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp1") == 1 && server.trackerHits("imp2") == 1; }, 120));
  EXPECT_EQ(page(banner, "HVDisplay.html"), "<b>first</b>");
  EXPECT_EQ(page(banner, "HVDisplay.shown"), "1");
  EXPECT_EQ(page(banner, "HVDisplay.size.join('x')"), "320x48");
  EXPECT_EQ(delegate->ready, std::vector<std::string>{"hvBanner"});
  EXPECT_EQ(slot("hvBanner")->dlTime(), first);
  EXPECT_TRUE(banner->controller()->isAdReady());
  EXPECT_TRUE(HVAdEngine::isAdReadyForSlotNamed("hvBanner"));

  // Showing the first ad queued the next fetch; once it is in, more draws of the banner
  // neither count it as shown nor touch the ad on screen.
  ASSERT_TRUE(advanceUntil([&] { return slot("hvBanner")->nextAdDlTime() != 0; }, 120));
  const int64_t second = slot("hvBanner")->nextAdDlTime();
  for (int i = 0; i < 3; ++i) {
    banner->setNeedsDisplay();
    runUntilIdle();
  }
  EXPECT_EQ(page(banner, "HVDisplay.shown"), "1");
  EXPECT_EQ(slot("hvBanner")->dlTime(), first);
  EXPECT_EQ(slot("hvBanner")->nextAdDlTime(), second);
  EXPECT_TRUE(adFolderExists(first));

  // The host refreshes: too early is ignored; five seconds on the second ad shows, the
  // first goes with its row and a fetch follows through the deletion.
  const size_t requestsBefore = adRequestsFor("hvBanner");
  banner->refresh();
  runUntilIdle();
  EXPECT_EQ(page(banner, "HVDisplay.html"), "<b>first</b>");
  advance(5.0);
  banner->refresh();
  EXPECT_TRUE(banner->controller()->isRefreshing());
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp3") == 1; }, 120));
  EXPECT_EQ(page(banner, "HVDisplay.html"), "<b>second</b>");
  EXPECT_EQ(page(banner, "HVDisplay.shown"), "2");
  EXPECT_FALSE(banner->controller()->isRefreshing());
  EXPECT_EQ(banner->alpha(), 1.0);
  EXPECT_EQ(slot("hvBanner")->dlTime(), second);
  EXPECT_FALSE(adFolderExists(first));
  EXPECT_TRUE(adFolderExists(second));
  ASSERT_TRUE(advanceUntil([&] { return adRequestsFor("hvBanner") > requestsBefore; }, 120));
  auto rows = HVController::sharedController()->database()->sqlExecute("SELECT dlTime FROM ads WHERE slotName='hvBanner'");
  for (const auto& row : rows) EXPECT_NE(row[size_t(0)].integerValue(), first);
  EXPECT_EQ(server.trackerHits("imp1"), 1u);
}

TEST_F(HVAdViewTest, ADisplayThatFailsOrNeverCompletesGivesTheSlotBackWithANewAd) {
  server.setAd("hvBanner", "<b>first</b>", 3600, {"imp1"});
  start();
  ASSERT_TRUE(advanceUntil([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 120));
  // The page cannot find the ad's files and says so.
  const int64_t broken = slot("hvBanner")->nextAdDlTime();
  ASSERT_TRUE(FileManager::removeItemAtPath(HVAdManager::adRootDir() + "/hvBanner/" + std::to_string(broken) + "/ad.html"));
  server.setAd("hvBanner", "<b>second</b>", 3600, {"imp2"});
  auto banner = HVAdView::adViewForSlotNamedDelegate("hvBanner", delegate);
  window->addSubview(banner);
  // The report frees the slot at once, well before the display's time limit.
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp2") == 1; }, HVAdViewInternal::kDisplayTimeLimit / 2));
  EXPECT_EQ(page(banner, "HVDisplay.html"), "<b>second</b>");
  EXPECT_NE(slot("hvBanner")->dlTime(), broken);
  EXPECT_EQ(server.trackerHits("imp1"), 0u);
  EXPECT_TRUE(HVController::sharedController()
                  ->database()
                  ->sqlExecuteWithParameters("SELECT 1 FROM ads WHERE dlTime=?", {platform::Value(broken)})
                  .rows.empty());

  // A page that takes the next ad and never shows it holds the banner for a while only.
  server.setAd("hvBanner", "<b>third</b>", 3600, {"imp3"});
  ASSERT_TRUE(advanceUntil([&] { return slot("hvBanner")->nextAdDlTime() != 0; }, 120));
  const int64_t silent = slot("hvBanner")->nextAdDlTime();
  page(banner, "displayAd = function() {}");
  advance(5.0);
  const size_t requestsBefore = adRequestsFor("hvBanner");
  banner->refresh();
  ASSERT_TRUE(banner->controller()->isRefreshing());
  EXPECT_EQ(banner->alpha(), 0.0);
  advance(HVAdViewInternal::kDisplayTimeLimit - 1);
  EXPECT_TRUE(banner->controller()->isRefreshing());
  advance(1);
  EXPECT_FALSE(banner->controller()->isRefreshing());
  EXPECT_EQ(banner->alpha(), 1.0);
  EXPECT_TRUE(banner->controller()->view()->isUserInteractionEnabled());
  EXPECT_FALSE(adFolderExists(silent));
  ASSERT_TRUE(advanceUntil([&] { return adRequestsFor("hvBanner") > requestsBefore; }, 120));
}

TEST_F(HVAdViewTest, RefreshIntervalsThrottleAndRescheduleDisplays) {
  struct Case {
    double interval;
    std::optional<double> stored;  // nullopt: refused
  };
  const Case cases[] = {{3.0, std::nullopt}, {5.0, 5.0}, {-1.0, 0.0}, {0.0, 0.0}, {30.0, 30.0}};
  server.setAd("hvBanner", "<b>first</b>", 3600, {"imp1"});
  auto banner = showBanner();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.interval);
    if (!c.stored) {
      try {
        banner->setRefreshInterval(c.interval);
        ADD_FAILURE() << "accepted";
      } catch (const platform::Exception& e) {
        EXPECT_EQ(e.reason, "Attempt to set refresh interval for slot named hvBanner less than the minimum value of 5 seconds");
      }
      continue;
    }
    banner->setRefreshInterval(c.interval);
    EXPECT_EQ(banner->controller()->refreshInterval(), *c.stored);
  }
  server.setAd("hvBanner", "<b>second</b>", 3600, {"imp2"});
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp1") == 1; }, 120));
  const double shownAt = banner->controller()->lastDisplayTime();

  // Manual refreshes within five seconds of a display are refused, and said so.
  platform::LogCapture log;
  banner->refresh();
  EXPECT_TRUE(log.contains("HVAdEngine: Ignoring refresh attempt because the interval of 5 seconds has not yet passed "
                           "before the previous display."));

  // The next ad arrives early and waits for the end of the 30 seconds.
  ASSERT_TRUE(advanceUntil([&] { return slot("hvBanner")->nextAdDlTime() != 0; }, 20.0));
  advance(shownAt + 30.0 - clock().now() - 0.5);
  runUntilIdle();
  EXPECT_EQ(page(banner, "HVDisplay.shown"), "1");
  advance(0.6);
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp2") == 1; }, 120));
  EXPECT_GE(banner->controller()->lastDisplayTime(), shownAt + 30.0);
  EXPECT_EQ(page(banner, "HVDisplay.html"), "<b>second</b>");
}

TEST_F(HVAdViewTest, TheFullScreenMarkKeepsBannersAndOtherClickThroughsOut) {
  server.setAd("hvBanner", "<b>first</b>", 3600, {"imp1"});
  auto banner = showBanner();
  server.setAd("hvBanner", "<b>second</b>", 3600, {"imp2"});
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp1") == 1; }, 120));
  auto window = HVController::sharedController()->fullScreenAdWindow();
  auto bridge = banner->controller()->bridge();
  ASSERT_TRUE(tapOn(banner));
  page(banner, "BridgeDisplay.requestClickthroughWithCallback('HVDisplay.clicks = (HVDisplay.clicks || 0) + 1')");
  bridge->poll();
  EXPECT_EQ(page(banner, "HVDisplay.clicks"), "1");
  EXPECT_TRUE(window->isDisplaying());

  // While the mark stands, a second request does nothing and the waiting ad stays waiting.
  ASSERT_TRUE(advanceUntil([&] { return slot("hvBanner")->nextAdDlTime() != 0; }, 5.0));
  const int64_t waiting = slot("hvBanner")->nextAdDlTime();
  ASSERT_TRUE(tapOn(banner));
  page(banner, "BridgeDisplay.requestClickthroughWithCallback('HVDisplay.clicks = 99')");
  bridge->poll();
  EXPECT_EQ(page(banner, "HVDisplay.clicks"), "1");
  advance(5.0);
  EXPECT_FALSE(banner->controller()->display());
  EXPECT_EQ(slot("hvBanner")->nextAdDlTime(), waiting);
  EXPECT_FALSE(banner->controller()->isRefreshing());

  // Nothing opened under the mark: it is given back, and the banner may show again.
  advance(HVDisplayCommandHandler::kClickthroughClaimTimeLimit);
  EXPECT_FALSE(window->isDisplaying());
  banner->refresh();
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp2") == 1; }, 120));
}

TEST_F(HVAdViewTest, PageRequestsAreAnsweredThroughTheirCallbacks) {
  server.setAd("hvBanner", "<b>first</b>", 3600, {"imp1", "ping"});
  auto banner = showBanner();
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp1") == 1; }, 120));
  server.loopback().setHandler("/slow", [](const testkit::RecordedRequest&) {
    testkit::ScriptedAnswer answer = testkit::ScriptedAnswer::text("late");
    answer.stall = true;
    return answer;
  });
  page(banner,
       "BridgeDisplay.getViewBoundsWithCallback('HVDisplay.bounds = [%f, %f]');"
       "BridgeDisplay.pingURLTimeoutCallback('" + server.trackerURL("ping") + "', '5', 'HVDisplay.ok = %d');"
       "BridgeDisplay.pingURLTimeoutCallback('" + server.loopback().url("/slow") + "', '2', 'HVDisplay.slow = %d');"
       "BridgeDisplay.pingURL('" + server.trackerURL("plain") + "');"
       "BridgeDisplay.sendDriverCommand('HVDriver.told = 1');"
       "BridgeDisplay.notifyAdReadyDelayed('hvFullScreen');");
  ASSERT_TRUE(advanceUntil([&] { return page(banner, "HVDisplay.slow") == "0"; }, 10.0));
  EXPECT_EQ(page(banner, "HVDisplay.bounds.join(',')"), "320,48");
  EXPECT_EQ(page(banner, "HVDisplay.ok"), "1");
  EXPECT_EQ(server.trackerHits("plain"), 1u);
  auto driver = HVController::sharedController()->clientManager()->clientDriver();
  EXPECT_EQ(driver->webView()->stringByEvaluatingJavaScriptFromString("HVDriver.told"), "1");
  // A page speaks for its own slot only.
  EXPECT_EQ(delegate->ready, std::vector<std::string>{"hvBanner"});
  server.loopback().stop();
}

class GameListener final : public platform::AccelerometerDelegate {
 public:
  void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration&) override { ++samples; }
  int samples = 0;
};

// What a display ad may set beyond its own slot is bounded, and the accelerometer it took
// goes back to the game once the ad has gone.
TEST_F(HVAdViewTest, DisplayAdsCannotStormTheDriverOrKeepTheGamesAccelerometer) {
  server.setAd("hvBanner", "<b>first</b>", 3600, {});
  auto& accelerometer = platform::Accelerometer::sharedAccelerometer();
  auto game = std::make_shared<GameListener>();
  accelerometer.setDelegate(game);
  accelerometer.setUpdateInterval(0.05);
  auto banner = showBanner();
  ASSERT_TRUE(advanceUntil([&] { return page(banner, "HVDisplay.shown") == "1"; }, 120));
  auto manager = HVController::sharedController()->adManager();
  page(banner, "BridgeDisplay.captureAccelerometer('1e-7');"
               "BridgeDisplay.sendDriverCommand(\"BridgeDriver.setAdManagerPropertyValue('fetchReenqueueDelay', '1e-6')\")");
  ASSERT_TRUE(advanceUntil([&] { return accelerometer.delegate() != game && manager->fetchReenqueueDelay() != 60.0; }, 5));
  // No faster than sixty samples a second, no retry sooner than seconds later.
  EXPECT_GE(accelerometer.updateInterval(), 1.0 / 60.0 - 1e-12);
  EXPECT_GE(manager->fetchReenqueueDelay(), 1.0);
  EXPECT_EQ(accelerometer.delegate(), banner->controller());

  // Off the screen the ad has gone: its next sample gives the game its listener and pace back.
  banner->removeFromSuperview();
  accelerometer.injectAcceleration({0.1, 0.2, 0.3, 0});
  ASSERT_TRUE(advanceUntil([&] { return accelerometer.delegate() == game; }, 1));
  EXPECT_EQ(accelerometer.updateInterval(), 0.05);
  // An ad off screen does not take it again.
  page(banner, "BridgeDisplay.captureAccelerometer('0.5')");
  advance(1);
  EXPECT_EQ(accelerometer.delegate(), game);
  accelerometer.injectAcceleration({0.1, 0.2, 0.3, 0});
  // The sample that found the ad gone was its last; the game hears the next one.
  ASSERT_TRUE(advanceUntil([&] { return game->samples == 1; }, 1));
}

TEST_F(HVAdViewTest, ViewsAreOnePerRegisteredSlotWithTheSizeOfTheirCode) {
  EXPECT_THROW(HVAdView::adViewForSlotNamedDelegate("hvBanner", delegate), platform::Exception);
  start();
  try {
    HVAdView::adViewForSlotNamedDelegate("nope", delegate);
    ADD_FAILURE() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name, "HVAdView retrieval failure.");
  }
  auto banner = HVAdView::adViewForSlotNamedDelegate("hvBanner", delegate);
  EXPECT_EQ(HVAdView::adViewForSlotNamedDelegateRefreshInterval("hvBanner", nullptr, 10), banner);
  EXPECT_EQ(banner->controller()->delegate(), nullptr);
  EXPECT_EQ(banner->controller()->refreshInterval(), 10.0);
  EXPECT_EQ(banner->frame().size.width, 320);
  EXPECT_EQ(banner->frame().size.height, 48);
  struct Case {
    HVAdSize code;
    double width, height;
  };
  const Case cases[] = {{HVAdSizeMediumRectangle, 300, 250}, {HVAdSizeLeaderboard, 728, 90}, {HVAdSizeWideSkyscraper, 160, 600}};
  for (const auto& c : cases) {
    EXPECT_EQ(HVAdView::sizeForHVAdSize(c.code).width, c.width);
    EXPECT_EQ(HVAdView::sizeForHVAdSize(c.code).height, c.height);
  }
  EXPECT_THROW(HVAdView::sizeForHVAdSize(7), platform::Exception);
  platform::LogCapture log;
  EXPECT_FALSE(HVAdEngine::isAdReadyForSlotNamed("nope"));
  EXPECT_TRUE(log.contains("HVAdEngine: WARNING - call to isAdReadyForSlotNamed: for slot nope"));
}

}  // namespace
}  // namespace halvern
