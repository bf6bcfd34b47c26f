// The shared pieces: blank test, MD5, error objects, reachability statuses and their
// notification, and the one-time conversion ping over loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>

#include "NBReachabilityPrivate.h"
#include "NBSDKUtil.h"
#include "NBUtilities.h"
#include "nubira/NBAdError.h"
#include "platform/calendar.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/reachability.h"
#include "platform/user_defaults.h"
#include "platform/url_connection.h"
#include "testing/loopback_server.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBReachabilityPrivate;
using platform::Reachability;

class NBUtilitiesTest : public testkit::SandboxTest {};

TEST_F(NBUtilitiesTest, BlankTextAndErrors) {
  EXPECT_TRUE(nubira::NBStringUtil::isEmpty(nullptr));
  EXPECT_TRUE(nubira::NBStringUtil::isEmpty(std::string(" \n\t\r  ")));
  EXPECT_FALSE(nubira::NBStringUtil::isEmpty(std::string(" a ")));
  auto error = nubira::NBAdError::errorWithDomainCodeUserInfo("An ad click is in progress.", 2);
  EXPECT_EQ(error.localizedDescription(), "An ad click is in progress.");
}

TEST_F(NBUtilitiesTest, StatusFromFlags) {
  auto internet = NBReachabilityPrivate::reachabilityForInternetConnection();
  auto wifi = NBReachabilityPrivate::reachabilityForLocalWiFi();
  ASSERT_TRUE(internet && wifi);
  const uint32_t R = Reachability::kReachable, t = Reachability::kTransientConnection,
                 c = Reachability::kConnectionRequired, C = Reachability::kConnectionOnTraffic,
                 D = Reachability::kConnectionOnDemand, i = Reachability::kInterventionRequired,
                 l = Reachability::kIsLocalAddress, d = Reachability::kIsDirect, W = Reachability::kIsWWAN;
  struct Case {
    uint32_t flags;
    int internetStatus;
    int wifiStatus;
  };
  const Case cases[] = {
      {0, 0, 0},       {R, 2, 0},         {R | C, 0, 0},     {R | W, 1, 0},     {R | t | c, 0, 0},
      {R | c, 2, 0},   {R | t, 2, 0},     {R | d, 2, 2},     {R | l | d, 2, 2}, {W | d, 0, 0},
      {R | i, 0, 0},   {R | c | D, 2, 0}, {R | W | d, 1, 2},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.flags);
    Reachability::setFlags(k.flags);
    EXPECT_EQ(internet->currentReachabilityStatus(), k.internetStatus);
    EXPECT_EQ(wifi->currentReachabilityStatus(), k.wifiStatus);
    EXPECT_EQ(internet->isReachable(), k.internetStatus != 0);
  }

  Reachability::setFlags(R | c | C);
  EXPECT_TRUE(internet->isConnectionRequired());
  EXPECT_TRUE(internet->isConnectionOnDemand());
  EXPECT_FALSE(internet->isInterventionRequired());
  Reachability::setFlags(R | i);
  EXPECT_FALSE(internet->isInterventionRequired());  // intervention counts only with connection required
  Reachability::setFlags(W | R | c);
  EXPECT_EQ(internet->description(), "InternetConnection\n\tReachability Flags: WR c------");
  Reachability::setFlags(R | t | i | C | D | l | d);
  EXPECT_EQ(wifi->description(), "LocalWiFiConnection\n\tReachability Flags: -R -tiCDld");

  Reachability::setFlagsReadable(false);
  EXPECT_EQ(internet->reachabilityFlags(), 0u);
  EXPECT_EQ(internet->currentReachabilityStatus(), 0);
  EXPECT_FALSE(internet->isConnectionRequired());

  EXPECT_EQ(NBReachabilityPrivate::reachabilityWithAddress(htonl(0x0A000102))->key(), "10.0.1.2");
  EXPECT_EQ(NBReachabilityPrivate::reachabilityWithHostName(""), nullptr);
}

TEST_F(NBUtilitiesTest, ChangesArePostedOnTheMainLoop) {
  auto internet = NBReachabilityPrivate::reachabilityForInternetConnection();
  std::vector<int> statuses;
  platform::NotificationCenter::defaultCenter().addObserver(
      this, nubira::kNBReachabilityChangedNotification, nullptr, [&](const platform::Notification& n) {
        ASSERT_EQ(n.object, internet.get());
        statuses.push_back(internet->currentReachabilityStatus());
      });
  ASSERT_TRUE(internet->startNotifier());
  Reachability::setNetwork(Reachability::Network::WWAN);
  EXPECT_TRUE(statuses.empty());  // never inside the change itself
  settleTraffic();
  ASSERT_EQ(statuses.size(), 1u);
  Reachability::setNetwork(Reachability::Network::None);
  settleTraffic();
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses, (std::vector<int>{1, 0}));

  internet->stopNotifier();
  Reachability::setNetwork(Reachability::Network::WiFi);
  runUntilIdle();
  EXPECT_EQ(statuses.size(), 2u);
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

class NBConversionPingTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    nubira::NBSDKUtil::setAppTrackerServer(server.url(""));
    platform::TimeZone::setLocal(platform::TimeZone::utc());
    platform::Device::currentDevice().setUniqueIdentifier("device-1234");
  }
  void ping(const std::string& advertiser = "adv 1&x=y", const std::string& store = "42") {
    util->startAppTrackerConversionITunesId(advertiser, store);
    settleTraffic();
    ASSERT_FALSE(nubira::NBSDKUtil::isAppTrackerInProgress());
  }
  testkit::NubiraServer server;
  std::shared_ptr<nubira::NBSDKUtil> util = nubira::NBSDKUtil::util();
};

TEST_F(NBConversionPingTest, OneSuccessfulPingPerInstallation) {
  platform::LogCapture log;
  util->startAppTrackerConversionITunesId("adv 1&x=y", "42");
  util->startAppTrackerConversionITunesId("adv 1&x=y", "42");
  EXPECT_TRUE(log.contains("An app tracker request is already in progress"));
  settleTraffic();
  ASSERT_FALSE(nubira::NBSDKUtil::isAppTrackerInProgress());
  EXPECT_TRUE(util->isAppTrackerSuccessful());
  EXPECT_TRUE(log.contains("request was successful.. saving state"));

  auto requests = server.requestsTo(testkit::NubiraServer::kConvertPath);
  ASSERT_EQ(requests.size(), 1u);
  // 1.8e9 s after 1970 is 2027-01-15 08:00:00 UTC; the udid is the MD5 of "device-1234".
  EXPECT_EQ(requests[0].query,
            "adv_id=adv%201%26x%3Dy&udid=e45389ddcea0cb1de1039e3d5b5e7129&app_id=42&platform=iphone"
            "&timestamp=2027-01-15%2008:00:00");
  EXPECT_EQ(requests[0].queryItem("adv_id"), "adv 1&x=y");

  ping();
  EXPECT_TRUE(log.contains("successful ping already made, returning."));
  EXPECT_EQ(server.requestsTo(testkit::NubiraServer::kConvertPath).size(), 1u);
  EXPECT_EQ(platform::UserDefaults::standardUserDefaults().stringForKey(nubira::NBSDKUtil::kPrefsKey),
            "nubira_prefs_value");
}

TEST_F(NBConversionPingTest, FailuresLeaveRoomForAnotherPing) {
  platform::LogCapture log;
  util->startAppTrackerConversionITunesId(" \n", "42");
  util->startAppTrackerConversionITunesId("adv", "");
  EXPECT_TRUE(log.contains("advertiser-id must be not null!"));
  EXPECT_TRUE(log.contains("itunes-id must be not null!"));

  // An entity naming a file that says "true" must not be read into the reply.
  std::string secret = home() + "/status.txt";
  ASSERT_TRUE(platform::FileManager::writeAtomically(secret, std::string_view("true")));
  server.setConversionReply("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY s SYSTEM \"file://" + secret +
                            "\">]><r><status>&s;</status></r>");
  ping();
  EXPECT_FALSE(util->isAppTrackerSuccessful());
  EXPECT_TRUE(log.contains("request failed.."));

  // No connection could be made to a server named with a space: nothing stays in progress.
  nubira::NBSDKUtil::setAppTrackerServer("http://bad host");
  util->startAppTrackerConversionITunesId("adv", "42");
  EXPECT_FALSE(nubira::NBSDKUtil::isAppTrackerInProgress());

  // A refused connection ends the ping as well.
  testkit::NubiraServer gone;
  nubira::NBSDKUtil::setAppTrackerServer(gone.url(""));
  gone.stop();
  ping("adv", "42");

  // A server that keeps trickling its answer ends the ping at the deadline, not before.
  testkit::LoopbackServer slow;
  auto trickle = testkit::ScriptedAnswer::text(std::string(100000, ' '));
  trickle.trickle = std::chrono::milliseconds(5);
  slow.setAnswer(testkit::NubiraServer::kConvertPath, trickle);
  nubira::NBSDKUtil::setAppTrackerServer(slow.baseURL());
  util->startAppTrackerConversionITunesId("adv", "42");
  const double started = clock().monotonic();
  EXPECT_TRUE(advanceUntil([] { return !nubira::NBSDKUtil::isAppTrackerInProgress(); },
                           2 * platform::kURLDefaultDeadlineInterval));
  EXPECT_GE(clock().monotonic() - started, platform::kURLDefaultDeadlineInterval);
  EXPECT_EQ(platform::URLConnection::liveCount(), 0u);
  slow.stop();

  nubira::NBSDKUtil::setAppTrackerServer(server.url(""));
  server.setConversionReply("<r><status>TRUE</status></r>");
  ping("adv", "42");
  EXPECT_TRUE(util->isAppTrackerSuccessful());
}

}  // namespace
