// Device, screen, locale, system and runtime facts: their defaults, overrides and reset.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include "platform/accelerometer.h"
#include "platform/advertising_identifier.h"
#include "platform/bundle.h"
#include "platform/device.h"
#include "platform/locale.h"
#include "platform/location.h"
#include "platform/notification_center.h"
#include "platform/reachability.h"
#include "platform/runtime.h"
#include "platform/screen.h"
#include "platform/system_info.h"
#include "platform/singleton.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Device;
using platform::DeviceOrientation;

class FactsTest : public testkit::SandboxTest {};

TEST_F(FactsTest, OrientationChangesPostTheNotificationOncePerChange) {
  Device& device = Device::currentDevice();
  std::vector<DeviceOrientation> seen;
  int observer = 0;
  platform::NotificationCenter::defaultCenter().addObserver(
      &observer, "UIDeviceOrientationDidChangeNotification", nullptr, [&](const platform::Notification& n) {
        EXPECT_EQ(n.object, &device);
        seen.push_back(device.orientation());  // already the new value
      });
  EXPECT_EQ(device.orientation(), DeviceOrientation::Portrait);
  device.setOrientation(DeviceOrientation::LandscapeLeft);
  device.setOrientation(DeviceOrientation::LandscapeLeft);
  device.setOrientation(DeviceOrientation::FaceDown);
  EXPECT_EQ(seen, (std::vector<DeviceOrientation>{DeviceOrientation::LandscapeLeft, DeviceOrientation::FaceDown}));
  EXPECT_EQ(static_cast<int>(device.orientation()), 6);
  platform::NotificationCenter::defaultCenter().removeObserver(&observer);
}

TEST_F(FactsTest, DefaultsDescribeAPhoneWithThisMachinesFacts) {
  Device& device = Device::currentDevice();
  EXPECT_EQ(device.model(), "iPhone");
  EXPECT_EQ(device.userInterfaceIdiom(), platform::UserInterfaceIdiom::Phone);
  EXPECT_EQ(device.uniqueIdentifier().size(), 40u);
  EXPECT_EQ(device.uniqueIdentifier().find_first_not_of("0123456789abcdef"), std::string::npos);
  std::string vendor = device.identifierForVendor();
  ASSERT_EQ(vendor.size(), 36u);
  for (size_t dash : {8u, 13u, 18u, 23u}) EXPECT_EQ(vendor[dash], '-');

  auto& ads = platform::AdvertisingIdentifierManager::sharedManager();
  EXPECT_EQ(ads.advertisingIdentifierBytes().size(), 16u);
  EXPECT_TRUE(ads.isAdvertisingTrackingEnabled());
  ads.setAdvertisingIdentifierBytes(platform::Bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0, 1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(ads.advertisingIdentifier(), "01234567-89AB-CDEF-0001-020304050607");

  auto& screen = platform::Screen::mainScreen();
  EXPECT_EQ(screen.bounds(), platform::Rect(0, 0, 320, 480));
  EXPECT_EQ(screen.applicationFrame(), platform::Rect(0, 20, 320, 460));
  screen.setStatusBarHeight(0);
  EXPECT_EQ(screen.applicationFrame(), platform::Rect(0, 0, 320, 480));

  struct utsname u;
  ASSERT_EQ(::uname(&u), 0);
  EXPECT_EQ(platform::SystemInfo::stringProbe("hw.machine"), std::string(u.machine));
  EXPECT_GT(platform::SystemInfo::integerProbe("hw.memsize").value_or(0), 0);
  EXPECT_FALSE(platform::SystemInfo::stringProbe("hw.memsize").has_value());  // an integer, not text
  EXPECT_FALSE(platform::SystemInfo::integerProbe("hw.cputype").has_value());
  EXPECT_FALSE(platform::SystemInfo::stringProbe("no.such.probe").has_value());
  // Every Linux system has the loopback interface with its address.
  auto lo = platform::SystemInfo::interfaceNamed("lo");
  ASSERT_TRUE(lo.has_value());
  EXPECT_TRUE(lo->loopback);
  EXPECT_EQ(lo->ipv4Addresses, (std::vector<std::string>{"127.0.0.1"}));
}

TEST_F(FactsTest, LocaleSplitsItsIdentifier) {
  auto& locale = platform::Locale::currentLocale();
  const std::tuple<const char*, const char*, const char*> rows[] = {
      {"fr_CA", "fr", "CA"}, {"de", "de", ""}, {"zh_Hans_CN", "zh", "CN"}, {"pt-BR", "pt", "BR"}};
  for (const auto& [identifier, language, country] : rows) {
    locale.setLocaleIdentifier(identifier);
    EXPECT_EQ(locale.languageCode(), language);
    EXPECT_EQ(locale.countryCode(), country);
  }
}

// Every fact a test changes is back to its default in the next test.
TEST_F(FactsTest, TestResetRestoresEveryFact) {
  Device& device = Device::currentDevice();
  const std::string defaultName = device.name();
  const std::string defaultUdid = device.uniqueIdentifier();
  const auto defaultLocale = platform::Locale::currentLocale().localeIdentifier();
  const auto defaultAdId = platform::AdvertisingIdentifierManager::sharedManager().advertisingIdentifier();
  const auto machine = platform::SystemInfo::stringProbe("hw.machine");

  device.setModel("iPad");
  device.setName("Test Pad");
  device.setUniqueIdentifier("x");
  device.setUserInterfaceIdiom(std::nullopt);
  device.setOrientation(DeviceOrientation::LandscapeRight);
  device.setBatteryState(std::nullopt);
  platform::Screen::mainScreen().setScale(2);
  platform::Screen::mainScreen().setBounds({0, 0, 768, 1024});
  platform::Screen::mainScreen().setApplicationFrame(platform::Rect(1, 2, 3, 4));
  platform::Locale::currentLocale().setLocaleIdentifier("ja_JP");
  platform::Locale::currentLocale().setPreferredLanguages({"ja"});
  platform::Runtime::setAvailable("SKStoreProductViewController", false);
  platform::SystemInfo::setProbe("hw.machine", platform::Value("iPhone5,2"));
  platform::SystemInfo::setProbe("hw.memsize", platform::Value());
  platform::SystemInfo::setNetworkInterfaces(std::vector<platform::NetworkInterface>{});
  platform::AdvertisingIdentifierManager::sharedManager().setAdvertisingTrackingEnabled(false);
  platform::AdvertisingIdentifierManager::sharedManager().setAdvertisingIdentifierBytes(platform::Bytes(16, 7));
  platform::Bundle::mainBundle().setInfoValue("CFBundleIdentifier", platform::Value("com.other"));
  platform::LocationManager::setLocationServicesEnabled(false);
  platform::LocationManager::setAuthorizationStatus(platform::AuthorizationStatus::Denied);
  platform::Accelerometer::sharedAccelerometer().setUpdateInterval(0.5);
  platform::Reachability::setFlags(0);

  EXPECT_EQ(platform::SystemInfo::stringProbe("hw.machine"), "iPhone5,2");
  EXPECT_FALSE(platform::SystemInfo::integerProbe("hw.memsize").has_value());
  EXPECT_FALSE(platform::Runtime::classExists("SKStoreProductViewController"));
  EXPECT_TRUE(platform::Runtime::classExists("MFMailComposeViewController"));
  EXPECT_FALSE(platform::Runtime::respondsToSelector("SKStoreProductViewController", "loadProductWithParameters:"));

  platform::resetForTesting();

  EXPECT_EQ(device.model(), "iPhone");
  EXPECT_EQ(device.name(), defaultName);
  EXPECT_EQ(device.uniqueIdentifier(), defaultUdid);
  EXPECT_EQ(device.userInterfaceIdiom(), platform::UserInterfaceIdiom::Phone);
  EXPECT_EQ(device.orientation(), DeviceOrientation::Portrait);
  EXPECT_EQ(device.batteryState(), platform::DeviceBatteryState::Unknown);
  EXPECT_EQ(platform::Screen::mainScreen().scale(), 1);
  EXPECT_EQ(platform::Screen::mainScreen().applicationFrame(), platform::Rect(0, 20, 320, 460));
  EXPECT_EQ(platform::Locale::currentLocale().localeIdentifier(), defaultLocale);
  EXPECT_TRUE(platform::Runtime::classExists("SKStoreProductViewController"));
  EXPECT_EQ(platform::SystemInfo::stringProbe("hw.machine"), machine);
  EXPECT_TRUE(platform::SystemInfo::integerProbe("hw.memsize").has_value());
  EXPECT_TRUE(platform::SystemInfo::interfaceNamed("lo").has_value());
  EXPECT_TRUE(platform::AdvertisingIdentifierManager::sharedManager().isAdvertisingTrackingEnabled());
  EXPECT_EQ(platform::AdvertisingIdentifierManager::sharedManager().advertisingIdentifier(), defaultAdId);
  EXPECT_EQ(platform::Bundle::mainBundle().bundleIdentifier(), "com.quendarosk.Zavrellion");
  EXPECT_TRUE(platform::LocationManager::locationServicesEnabled());
  EXPECT_EQ(platform::LocationManager::authorizationStatus(), platform::AuthorizationStatus::Authorized);
  EXPECT_EQ(platform::Accelerometer::sharedAccelerometer().updateInterval(), 0);
  EXPECT_EQ(platform::Reachability::createWithAddress("0.0.0.0")->flags(), platform::Reachability::kReachable);
}

}  // namespace
