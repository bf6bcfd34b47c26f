#include "CZReachability.h"

#include "platform/notification_center.h"
#include "platform/reachability.h"
#include "platform/run_loop.h"

namespace cadenzo {

using platform::Passkey;
using platform::Reachability;

CZReachability::CZReachability(Passkey<CZReachability>, std::shared_ptr<Reachability> target, bool localWiFi)
    : reachabilityRef_(std::move(target)), localWiFiRef_(localWiFi) {}

CZReachability::~CZReachability() { stopNotifier(); }

std::shared_ptr<CZReachability> CZReachability::reachabilityWithHostName(const std::string& hostName) {
  auto target = Reachability::createWithName(hostName);
  if (!target) return nullptr;
  return std::make_shared<CZReachability>(Passkey<CZReachability>{}, std::move(target), false);
}

std::shared_ptr<CZReachability> CZReachability::reachabilityWithAddress(const std::string& address) {
  auto target = Reachability::createWithAddress(address);
  if (!target) return nullptr;
  return std::make_shared<CZReachability>(Passkey<CZReachability>{}, std::move(target), false);
}

std::shared_ptr<CZReachability> CZReachability::reachabilityForInternetConnection() {
  return reachabilityWithAddress("0.0.0.0");
}

std::shared_ptr<CZReachability> CZReachability::reachabilityForLocalWiFi() {
  auto target = Reachability::createWithAddress("169.254.0.0");
  if (!target) return nullptr;
  return std::make_shared<CZReachability>(Passkey<CZReachability>{}, std::move(target), true);
}

bool CZReachability::isInternetReachable() {
  auto internet = reachabilityForInternetConnection();
  return internet && internet->currentReachabilityStatus() != CZNotReachable;
}

CZNetworkStatus CZReachability::networkStatusForFlags(uint32_t flags) {
  return static_cast<CZNetworkStatus>(Reachability::networkForFlags(flags));
}

CZNetworkStatus CZReachability::localWiFiStatusForFlags(uint32_t flags) {
  return static_cast<CZNetworkStatus>(Reachability::localWiFiNetworkForFlags(flags));
}

CZNetworkStatus CZReachability::currentReachabilityStatus() const {
  auto flags = reachabilityRef_->flags();
  if (!flags) return CZNotReachable;
  return localWiFiRef_ ? localWiFiStatusForFlags(*flags) : networkStatusForFlags(*flags);
}

bool CZReachability::connectionRequired() const {
  auto flags = reachabilityRef_->flags();
  return flags && (*flags & Reachability::kConnectionRequired);
}

bool CZReachability::startNotifier() {
  std::weak_ptr<CZReachability> weakSelf = weak_from_this();
  return reachabilityRef_->setCallback(
      [weakSelf](Reachability&, uint32_t) {
        if (auto self = weakSelf.lock())
          platform::NotificationCenter::defaultCenter().postNotificationName(kNetworkReachabilityChangedNotification,
                                                                             self.get());
      },
      platform::RunLoop::current());
}

void CZReachability::stopNotifier() { reachabilityRef_->unschedule(); }

}  // namespace cadenzo
