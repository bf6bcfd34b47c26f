// The shared pieces: the levelled log, the location feed into the targeting data, and a
// replacement factory.
#include <gtest/gtest.h>

#include "PELOAdDownloader.h"
#include "PELOLocationManager.h"
#include "PELOLogger.h"
#include "PELOReachability.h"
#include "PeloraTestSupport.h"
#include "pelora/PELOBannerView.h"
#include "pelora/PELODefaultFactory.h"
#include "platform/application.h"
#include "platform/location.h"
#include "platform/log.h"
#include "platform/notification_center.h"

namespace {

using pelora::PELOGlobalSettings;
using pelora::PELOLocationManager;
using pelora::PELOLogger;

class PELOSettingsTest : public pelora_test::PeloraTest {};

TEST_F(PELOSettingsTest, LoggerWritesByLevel) {
  const std::vector<std::string> all = {"[iPELO ERROR] e", "[iPELO  WARN] w", "[iPELO  INFO] i", "[iPELO DEBUG] d"};
  for (int level = 0; level <= 5; ++level) {
    platform::LogCapture log;
    PELOGlobalSettings::globalSettings()->setLogLevel(level);
    PELOLogger::error("e");
    PELOLogger::warn("w");
    PELOLogger::info("i");
    PELOLogger::debug("d");
    const std::vector<std::string> expected(all.begin(), all.begin() + std::min(level, 4));
    EXPECT_EQ(log.lines(), expected) << "level " << level;
  }
  // Text from outside is never a format.
  platform::LogCapture log;
  PELOLogger::error("100%d %@ done");
  EXPECT_EQ(log.lines(), std::vector<std::string>{"[iPELO ERROR] 100%d %@ done"});
}

TEST_F(PELOSettingsTest, LocationFeedGoesIntoTheNextRequestAndLeavesWhenSwitchedOff) {
  auto downloader = pelora::PELOAdDownloader::create();
  auto listener = std::make_shared<pelora_test::RecordingListener>("host", &heard);
  downloader->addAdListener(listener);
  auto load = [&] {
    const size_t before = heard.size();
    downloader->asyncLoadNewBanner();
    advance(pelora::PELOAdDownloader::kStartDelay);
    EXPECT_GT(heard.size(), before);
    return server->adRequests().back();
  };

  downloader->setLocationUpdateEnabled(true);
  downloader->setLocationUpdateEnabled(true);
  EXPECT_TRUE(downloader->isLocationUpdateEnabled());
  EXPECT_EQ(platform::LocationManager::updatingManagerCount(), 1);
  platform::Location fix;
  fix.latitude = 48.1371;
  fix.longitude = 11.5754;
  fix.horizontalAccuracy = 100;
  platform::LocationManager::injectLocation(fix);
  runUntilIdle();
  EXPECT_EQ(load().queryItem("gps"), "48.137100,11.575400");

  // Inactive: no updates; active again: updates resume.
  platform::Application::sharedApplication().resignActive();
  EXPECT_EQ(platform::LocationManager::updatingManagerCount(), 0);
  platform::Application::sharedApplication().becomeActive();
  EXPECT_EQ(platform::LocationManager::updatingManagerCount(), 1);

  downloader->setLocationUpdateEnabled(false);
  EXPECT_EQ(platform::LocationManager::updatingManagerCount(), 0);
  EXPECT_FALSE(load().queryItem("gps"));

  // Access denied turns the feed off; services off never let it on.
  downloader->setLocationUpdateEnabled(true);
  platform::LocationManager::injectError(platform::Error{platform::kLocationErrorDomain, platform::kLocationErrorDenied, {}});
  runUntilIdle();
  EXPECT_FALSE(downloader->isLocationUpdateEnabled());
  platform::LogCapture log;
  PELOGlobalSettings::globalSettings()->setLogLevel(2);
  platform::LocationManager::setLocationServicesEnabled(false);
  downloader->setLocationUpdateEnabled(true);
  EXPECT_FALSE(downloader->isLocationUpdateEnabled());
  EXPECT_TRUE(log.contains("[iPELO  WARN] Location service is not enabled"));
}

TEST_F(PELOSettingsTest, ReachabilityStatusFromFlags) {
  using R = pelora::PELOReachability;
  const std::pair<uint32_t, int> internet[] = {
      {0x0, 0},     {0x2, 1},  {0x40002, 2}, {0x40000, 0}, {0x6, 0},
      {0xE, 1},     {0x26, 1}, {0x36, 0},    {0x1E, 0},
  };
  for (const auto& [flags, status] : internet) EXPECT_EQ(R::networkStatusForFlags(flags), status) << std::hex << flags;
  EXPECT_EQ(R::localWiFiStatusForFlags(0x20002), 1);
  EXPECT_EQ(R::localWiFiStatusForFlags(0x2), 0);
  EXPECT_EQ(R::localWiFiStatusForFlags(0x20000), 0);

  // A scheduled object tells of every change by notification, with itself as sender.
  auto host = R::reachabilityWithHostName("ads.example.net");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(R::reachabilityWithHostName(""), nullptr);
  int told = 0;
  platform::NotificationCenter::defaultCenter().addObserver(this, R::kReachabilityChangedNotification, host.get(),
                                                            [&](const platform::Notification&) { ++told; });
  EXPECT_TRUE(host->startNotifier());
  platform::Reachability::setNetwork(platform::Reachability::Network::WWAN);
  runUntilIdle();
  EXPECT_EQ(told, 1);
  EXPECT_EQ(host->currentReachabilityStatus(), 2);
  platform::Reachability::setFlagsReadable(false);
  EXPECT_EQ(host->currentReachabilityStatus(), 0);
  EXPECT_FALSE(host->connectionRequired());
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

// A host's factory whose downloader answers every load with a banner of its own.
struct CannedDownloader : pelora::PELOAdDownloaderProtocol {
  std::vector<std::weak_ptr<pelora::PELOAdListenerProtocol>> listeners;
  std::shared_ptr<pelora::PELOAdSettings> settings = std::make_shared<pelora::PELOAdSettings>();
  int loads = 0;
  void addAdListener(const std::weak_ptr<pelora::PELOAdListenerProtocol>& l) override { listeners.push_back(l); }
  void removeAdListener(const std::shared_ptr<pelora::PELOAdListenerProtocol>&) override {}
  void asyncLoadNewBanner() override { ++loads; }
  void setLocationUpdateEnabled(bool) override {}
  bool isLocationUpdateEnabled() const override { return false; }
  std::shared_ptr<pelora::PELOAdSettings> adSettings() const override { return settings; }
  void setAdSettings(std::shared_ptr<pelora::PELOAdSettings> s) override { settings = std::move(s); }
  bool autoReloadEnabled() const override { return false; }
  void setAutoReloadEnabled(bool) override {}
  int autoReloadFrequency() const override { return 0; }
  void setAutoReloadFrequency(int) override {}
};

struct HostFactory : pelora::PELODefaultFactory {
  std::shared_ptr<CannedDownloader> made;
  std::shared_ptr<pelora::PELOAdDownloaderProtocol> createPELOAdDownloader() override {
    made = std::make_shared<CannedDownloader>();
    return made;
  }
};

TEST_F(PELOSettingsTest, ANewViewUsesTheReplacementFactorysDownloader) {
  auto before = pelora::PELOBannerView::create();
  auto factory = std::make_shared<HostFactory>();
  pelora::PELODefaultFactory::setPELODefaultFactory(factory);
  auto view = pelora::PELOBannerView::createWithDimension(1);
  ASSERT_NE(factory->made, nullptr);
  EXPECT_EQ(view->downloaderForTesting(), factory->made);
  EXPECT_NE(before->downloaderForTesting(), factory->made);
  EXPECT_EQ(factory->made->settings->adDimension(), 1);
  view->asyncLoadNewBanner();
  EXPECT_EQ(factory->made->loads, 1);
  EXPECT_EQ(factory->made->settings->bannerWidth(), 300);
  EXPECT_EQ(factory->made->listeners.size(), 1u);
  EXPECT_EQ(server->adRequests().size(), 0u);
}

}  // namespace
