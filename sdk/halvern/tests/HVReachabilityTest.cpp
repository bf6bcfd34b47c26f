#include "HVReachability.h"

#include "HVResources.h"
#include "platform/notification_center.h"
#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::Reachability;

class HVReachabilityTest : public testkit::SandboxTest {};

TEST_F(HVReachabilityTest, InternetStatusFromTheDefaultRouteFlags) {
  struct Case {
    uint32_t flags;
    int status;
  } cases[] = {
      {0, 0},
      {Reachability::kReachable, 2},
      {Reachability::kReachable | Reachability::kTransientConnection, 1},
      {Reachability::kReachable | Reachability::kConnectionRequired, 0},
      {Reachability::kReachable | Reachability::kConnectionRequired | Reachability::kIsWWAN, 2},
      {Reachability::kReachable | Reachability::kIsDirect, 0},
  };
  auto reachability = HVReachability::sharedReachability();
  for (const auto& c : cases) {
    Reachability::setFlags(c.flags);
    EXPECT_EQ(reachability->internetConnectionStatus(), c.status) << c.flags;
  }
  Reachability::setFlagsReadable(false);
  EXPECT_EQ(reachability->internetConnectionStatus(), 0);
}

TEST_F(HVReachabilityTest, SimulatedNetworks) {
  auto reachability = HVReachability::sharedReachability();
  reachability->setHostName("ads.example");
  Reachability::setNetwork(Reachability::Network::WiFi);
  EXPECT_EQ(reachability->internetConnectionStatus(), 2);
  EXPECT_EQ(reachability->localWiFiConnectionStatus(), 2);
  EXPECT_EQ(reachability->remoteHostStatus(), 2);
  EXPECT_TRUE(reachability->isHostReachable("other.example"));

  Reachability::setNetwork(Reachability::Network::WWAN);
  EXPECT_EQ(reachability->internetConnectionStatus(), 2);
  EXPECT_EQ(reachability->localWiFiConnectionStatus(), 0);

  Reachability::setNetwork(Reachability::Network::None);
  EXPECT_EQ(reachability->internetConnectionStatus(), 0);
  EXPECT_EQ(reachability->remoteHostStatus(), 0);
  EXPECT_FALSE(reachability->isHostReachable("other.example"));
  EXPECT_EQ(reachability->reachabilityRefForAddress("not an address"), nullptr);
}

TEST_F(HVReachabilityTest, ChangesAreAnnouncedOnlyWhenEnabled) {
  int heard = 0;
  platform::NotificationCenter::defaultCenter().addObserver(
      this, HVReachability::kNetworkReachabilityChangedNotification, nullptr,
      [&](const platform::Notification&) { ++heard; });
  auto reachability = HVReachability::sharedReachability();
  reachability->internetConnectionStatus();
  Reachability::setNetwork(Reachability::Network::None);
  runUntilIdle();
  EXPECT_EQ(heard, 0);

  reachability->setNetworkStatusNotificationsEnabled(true);
  reachability->reachabilityRefForHostName("ads.example");
  Reachability::setNetwork(Reachability::Network::WiFi);
  runUntilIdle();
  EXPECT_EQ(heard, 1);
  reachability->stopListeningForReachabilityChanges();
  Reachability::setNetwork(Reachability::Network::None);
  runUntilIdle();
  EXPECT_EQ(heard, 1);
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

TEST_F(HVReachabilityTest, BuiltInResources) {
  for (auto image : {HVResources::backButton(), HVResources::backButtonDisabled(), HVResources::forwardButton(),
                     HVResources::forwardButtonDisabled()}) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size().width, 8);
    EXPECT_EQ(image->size().height, 10);
  }
  EXPECT_NE(std::string(HVResources::youtubeTemplateHTML()).find("width: 100%%;"), std::string::npos);
}

}  // namespace
}  // namespace halvern
