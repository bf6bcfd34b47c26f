#include "halvern/HVAdView.h"

#include "HVAdViewInternal.h"
#include "HVClientDriver.h"
#include "HVClientManager.h"
#include "HVClientTestSupport.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
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
    EXPECT_TRUE(pump([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }));
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
  ASSERT_TRUE(pump([&] { return server.trackerHits("imp1") == 1 && server.trackerHits("imp2") == 1; }));
  EXPECT_EQ(page(banner, "HVDisplay.html"), "<b>first</b>");
  EXPECT_EQ(page(banner, "HVDisplay.shown"), "1");
  EXPECT_EQ(page(banner, "HVDisplay.size.join('x')"), "320x48");
  EXPECT_EQ(delegate->ready, std::vector<std::string>{"hvBanner"});
  EXPECT_EQ(slot("hvBanner")->dlTime(), first);
  EXPECT_TRUE(banner->controller()->isAdReady());
  EXPECT_TRUE(HVAdEngine::isAdReadyForSlotNamed("hvBanner"));

  // Showing the first ad queued the next fetch; once it is in, more draws of the banner
  // neither count it as shown nor touch the ad on screen.
  server.setAd("hvBanner", "<b>second</b>", 3600, {"imp3"});
  ASSERT_TRUE(pump([&] { return slot("hvBanner")->nextAdDlTime() != 0; }));
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
  ASSERT_TRUE(pump([&] { return server.trackerHits("imp3") == 1; }));
  EXPECT_EQ(page(banner, "HVDisplay.html"), "<b>second</b>");
  EXPECT_EQ(page(banner, "HVDisplay.shown"), "2");
  EXPECT_FALSE(banner->controller()->isRefreshing());
  EXPECT_EQ(banner->alpha(), 1.0);
  EXPECT_EQ(slot("hvBanner")->dlTime(), second);
  EXPECT_FALSE(adFolderExists(first));
  EXPECT_TRUE(adFolderExists(second));
  ASSERT_TRUE(pump([&] { return adRequestsFor("hvBanner") > requestsBefore; }));
  auto rows = HVController::sharedController()->database()->sqlExecute("SELECT dlTime FROM ads WHERE slotName='hvBanner'");
  for (const auto& row : rows) EXPECT_NE(row[size_t(0)].integerValue(), first);
  EXPECT_EQ(server.trackerHits("imp1"), 1u);
}

}  // namespace
}  // namespace halvern
