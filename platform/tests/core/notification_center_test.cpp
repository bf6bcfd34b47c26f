#include "platform/notification_center.h"

#include <string>
#include <vector>

#include "testing/sandbox_test.h"

namespace {

using platform::Notification;
using platform::NotificationCenter;

class NotificationCenterTest : public testkit::SandboxTest {};

TEST_F(NotificationCenterTest, DeliveryFollowsRegistrationOrderAndSenderFilters) {
  auto& nc = NotificationCenter::defaultCenter();
  std::vector<std::string> log;
  int senderA, senderB, o1, o2, o3, o4;
  nc.addObserver(&o1, "Ping", nullptr, [&](const Notification& n) { log.push_back("o1:" + n.userInfo["k"].string()); });
  nc.addObserver(&o2, "Ping", &senderA, [&](const Notification&) { log.push_back("o2"); });
  nc.addObserver(&o3, "", nullptr, [&](const Notification& n) { log.push_back("all:" + n.name); });
  nc.addObserver(&o4, "Pong", nullptr, [&](const Notification&) { log.push_back("o4"); });

  nc.postNotificationName("Ping", &senderB, platform::Dictionary{{"k", "v"}});
  nc.postNotificationName("Ping", &senderA);
  EXPECT_EQ(log, (std::vector<std::string>{"o1:v", "all:Ping", "o1:", "o2", "all:Ping"}));

  log.clear();
  nc.removeObserver(&o3);
  nc.removeObserver(&o1, "Ping");
  nc.postNotificationName("Ping", &senderA);
  nc.postNotificationName("Pong");
  EXPECT_EQ(log, (std::vector<std::string>{"o2", "o4"}));
}

TEST_F(NotificationCenterTest, ObserverRemovedDuringDeliveryIsNotCalledAfterwards) {
  auto& nc = NotificationCenter::defaultCenter();
  int first, second;
  int secondCalls = 0;
  nc.addObserver(&first, "Go", nullptr, [&](const Notification&) { nc.removeObserver(&second); });
  nc.addObserver(&second, "Go", nullptr, [&](const Notification&) { ++secondCalls; });
  nc.postNotificationName("Go");
  nc.postNotificationName("Go");
  EXPECT_EQ(secondCalls, 0);
}

}  // namespace
