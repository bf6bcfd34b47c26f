// The facts gathered for a request: defaults of a request, the device id, the user agent
// learned without traffic, missing facts, disk size and Wi-Fi.
#include <gtest/gtest.h>

#include <regex>

#include "NBWebViewPrivate.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBUserInfo.h"
#include "platform/bundle.h"
#include "platform/device.h"
#include "platform/sandbox.h"
#include "platform/system_info.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"
#include "platform/web_view.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBUserInfo;
using platform::SystemInfo;

class NBUserInfoTest : public testkit::SandboxTest {};

TEST_F(NBUserInfoTest, FreshRequestAndDeviceId) {
  auto request = nubira::NBAdRequest::request();
  EXPECT_TRUE(request->isLocationEnquiryAllowed());
  EXPECT_TRUE(request->UDIDHashingAllowed());
  EXPECT_FALSE(request->testMode());
  EXPECT_FALSE(request->postalCode() || request->keywords() || request->paramsDictionary());
  EXPECT_EQ(request->gender() + request->income() + request->age(), 0u);

  platform::Device::currentDevice().setUniqueIdentifier("device-1234");
  auto info = NBUserInfo::create();
  EXPECT_EQ(info->deviceId(), "e45389ddcea0cb1de1039e3d5b5e7129");
  info->setUseHashedUDID(false);
  EXPECT_EQ(info->deviceId(), "device-1234");
  info->setUseHashedUDID(true);
  EXPECT_EQ(info->deviceId(), "e45389ddcea0cb1de1039e3d5b5e7129");
}

TEST_F(NBUserInfoTest, UserAgentIsLearnedOnceWithoutTraffic) {
  platform::WebView::setUserAgent("Mozilla/5.0 (iPhone; Nubira test)");
  auto info = NBUserInfo::create();
  EXPECT_FALSE(info->phoneUserAgent());
  settleTraffic();
  ASSERT_TRUE(info->phoneUserAgent().has_value());
  EXPECT_EQ(info->phoneUserAgent(), "Mozilla/5.0 (iPhone; Nubira test)");
  EXPECT_EQ(platform::UserDefaults::standardUserDefaults().stringForKey(NBUserInfo::kUserAgentKey),
            "Mozilla/5.0 (iPhone; Nubira test)");
  EXPECT_EQ(platform::URLConnection::liveCount(), 0u);
  EXPECT_EQ(info->nbWebViewPrivate()->webViewForTesting(), nullptr);
  info->nbWebViewPrivate()->fetchUserAgent();  // the holder has done its work
  runUntilIdle();

  auto second = NBUserInfo::create();
  EXPECT_EQ(second->phoneUserAgent(), "Mozilla/5.0 (iPhone; Nubira test)");
  EXPECT_EQ(second->nbWebViewPrivate(), nullptr);
}

TEST_F(NBUserInfoTest, AMissingFactLeavesTheOthers) {
  SystemInfo::setProbe("hw.machine", platform::Value());
  SystemInfo::setProbe("hw.model", platform::Value(""));
  SystemInfo::setProbe("hw.memsize", platform::Value(536870912));
  SystemInfo::setProbe("hw.cputype", platform::Value(12));
  SystemInfo::setProbe("kern.boottime", platform::Value(1764583200));
  platform::Device::currentDevice().setModel("iPad");
  platform::Device::currentDevice().setSystemVersion("5.1");
  platform::Sandbox::setBundlePath(home() + "/Game.app");
  platform::Bundle::mainBundle().setInfoValue("CFBundleVersion", "2.0b4");

  auto info = NBUserInfo::create();
  EXPECT_FALSE(info->deviceMachineHW());
  EXPECT_FALSE(info->deviceModelHW());
  EXPECT_EQ(info->deviceRAMHW(), "536870912");
  EXPECT_EQ(info->deviceCpuTypeHW(), "12");
  EXPECT_EQ(info->deviceBTHW(), "2025-12-01 10:00:00 +0000");
  EXPECT_EQ(info->userAgent(), "nubira_iossdk=3.0.2 (iPad; iPhone OS 5.1; HW )");
  EXPECT_EQ(info->appBId(), "com.quendarosk.Zavrellion");
  EXPECT_TRUE(info->localization().has_value());
  EXPECT_EQ(info->appDisplayName(), "Game");
  EXPECT_EQ(info->appVer(), "2006004");  // "2.0b4" packed: 0x02006004
  EXPECT_TRUE(std::regex_match(*info->deviceStorageSize(), std::regex("[0-9]+\\.[0-9][0-9]( KB| MB| GB)?")))
      << *info->deviceStorageSize();

  SystemInfo::setProbe("kern.boottime", platform::Value());
  EXPECT_FALSE(NBUserInfo::boottime());
}

TEST_F(NBUserInfoTest, DiskSizeAndWiFi) {
  const std::pair<double, const char*> sizes[] = {
      {17179869184.0, "16.00 GB"}, {1024, "1024.00"}, {1536, "1.50 KB"},
      {1048577, "1.00 MB"},        {5497558138880.0, "5120.00 GB"},
  };
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(NBUserInfo::diskSizeText(bytes), text) << bytes;

  auto I = [](std::string name, bool loopback, std::vector<std::string> v4, std::vector<std::string> v6 = {}) {
    platform::NetworkInterface i;
    i.name = std::move(name);
    i.up = true;
    i.loopback = loopback;
    i.ipv4Addresses = std::move(v4);
    i.ipv6Addresses = std::move(v6);
    return i;
  };
  struct Case {
    std::vector<platform::NetworkInterface> interfaces;
    bool wifi;
  };
  const Case cases[] = {
      {{I("lo", true, {"127.0.0.1"}), I("en0", false, {"192.168.1.4"})}, true},
      {{I("en0", false, {}, {"fe80::1"})}, false},
      {{I("eth0", false, {"10.0.0.2"})}, false},
      {{I("en0", true, {"127.0.0.1"})}, false},
      {{}, false},
  };
  for (const auto& c : cases) {
    SystemInfo::setNetworkInterfaces(c.interfaces);
    EXPECT_EQ(NBUserInfo::localWiFiAvailable(), c.wifi);
  }
}

}  // namespace
