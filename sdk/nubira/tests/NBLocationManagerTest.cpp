// Lookups on the manual clock: the five-minute refresh, the 30 s give-up, which fixes count,
// and what a denial and a withdrawn permission stop.
#include <gtest/gtest.h>

#include "NBLocationManager.h"
#include "nubira/NBUserInfo.h"
#include "platform/location.h"
#include "testing/sandbox_test.h"

namespace {

using platform::LocationManager;

class NBLocationManagerTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    info = nubira::NBUserInfo::create();
    manager = info->nbLocationManager();
  }
  void fix(double lat, double lon, double accuracy) {
    LocationManager::injectLocation(platform::Location{lat, lon, 0, accuracy});
    runUntilIdle();
  }
  bool updating() const { return LocationManager::updatingManagerCount() == 1; }

  std::shared_ptr<nubira::NBUserInfo> info;
  std::shared_ptr<nubira::NBLocationManager> manager;
};

TEST_F(NBLocationManagerTest, RefreshEveryFiveMinutesGiveUpAfterThirtySeconds) {
  advance(299);
  EXPECT_FALSE(updating());
  advance(1);
  EXPECT_TRUE(updating());
  fix(48.1, 11.5, 5000);  // too coarse
  fix(48.1, 11.5, -1);    // invalid
  EXPECT_TRUE(updating());
  EXPECT_FALSE(info->validGeoInfo());
  advance(29.9);
  EXPECT_TRUE(updating());
  advance(0.1);
  EXPECT_FALSE(updating());

  advance(270);  // 600 s: the second tick
  EXPECT_TRUE(updating());
  fix(-33.8688, 151.2093, 3000);
  EXPECT_FALSE(updating());
  EXPECT_FALSE(manager->isLookupRunningForTesting());
  EXPECT_TRUE(info->validGeoInfo());
  EXPECT_DOUBLE_EQ(info->lat(), -33.8688);
  EXPECT_DOUBLE_EQ(info->lon(), 151.2093);
  EXPECT_TRUE(manager->isLocationValid());
}

TEST_F(NBLocationManagerTest, ASecondStartKeepsOneGiveUpTimer) {
  manager->startUpdatingLocation();
  advance(10);
  manager->startUpdatingLocation();
  advance(25);  // 35 s after the first start, 25 s after the second
  EXPECT_TRUE(updating());
  advance(5);
  EXPECT_FALSE(updating());
}

TEST_F(NBLocationManagerTest, DenialAndWithdrawalStopLookups) {
  info->setLocationInquiryAllowed(true);  // the double call of a request: a lookup at once
  EXPECT_TRUE(updating());
  LocationManager::injectError(platform::Error{platform::kLocationErrorDomain, platform::kLocationErrorDenied, {}});
  runUntilIdle();
  EXPECT_FALSE(updating());
  EXPECT_FALSE(manager->isLocationServiceEnabled());
  EXPECT_FALSE(manager->isRefreshTimerArmedForTesting());
  advance(900);
  EXPECT_FALSE(updating());

  manager->setIsLocationServiceEnabled(true);  // a single call only re-arms the timer
  EXPECT_FALSE(updating());
  EXPECT_TRUE(manager->isRefreshTimerArmedForTesting());
  info->setLocationInquiryAllowed(true);
  EXPECT_TRUE(updating());
  fix(10, 20, 100);
  EXPECT_TRUE(info->validGeoInfo());

  info->setLocationInquiryAllowed(false);
  EXPECT_FALSE(info->validGeoInfo());
  EXPECT_DOUBLE_EQ(manager->latitude(), 10);
  EXPECT_FALSE(manager->isRefreshTimerArmedForTesting());
  advance(900);
  EXPECT_FALSE(updating());
}

}  // namespace
