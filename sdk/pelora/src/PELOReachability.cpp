#include "PELOReachability.h"

#include "platform/notification_center.h"
#include "platform/run_loop.h"

namespace pelora {

using Flags = platform::Reachability::Flags;

std::shared_ptr<PELOReachability> PELOReachability::make(std::shared_ptr<platform::Reachability> ref, bool localWiFi) {
  if (!ref) return nullptr;
  return std::make_shared<PELOReachability>(platform::Passkey<PELOReachability>{}, std::move(ref), localWiFi);
}

std::shared_ptr<PELOReachability> PELOReachability::reachabilityWithHostName(const std::string& hostName) {
  return make(platform::Reachability::createWithName(hostName), false);
}

std::shared_ptr<PELOReachability> PELOReachability::reachabilityWithAddress(const std::string& address) {
  return make(platform::Reachability::createWithAddress(address), false);
}

std::shared_ptr<PELOReachability> PELOReachability::reachabilityForInternetConnection() {
  return reachabilityWithAddress("0.0.0.0");
}

std::shared_ptr<PELOReachability> PELOReachability::reachabilityForLocalWiFi() {
  return make(platform::Reachability::createWithAddress("169.254.0.0"), true);
}

PELOReachability::~PELOReachability() { stopNotifier(); }

bool PELOReachability::startNotifier() {
  std::weak_ptr<PELOReachability> weak = weak_from_this();
  return reachabilityRef_->setCallback(
      [weak](platform::Reachability&, uint32_t) {
        if (auto self = weak.lock())
          platform::NotificationCenter::defaultCenter().postNotificationName(kReachabilityChangedNotification, self.get());
      },
      platform::RunLoop::current());
}

void PELOReachability::stopNotifier() { reachabilityRef_->unschedule(); }

int PELOReachability::currentReachabilityStatus() const {
  const uint32_t flags = reachabilityRef_->flags().value_or(0);
  return localWiFiRef_ ? localWiFiStatusForFlags(flags) : networkStatusForFlags(flags);
}

bool PELOReachability::connectionRequired() const {
  auto flags = reachabilityRef_->flags();
  return flags && (*flags & Flags::kConnectionRequired);
}

int PELOReachability::networkStatusForFlags(uint32_t flags) {
  return static_cast<int>(platform::Reachability::networkForFlags(flags));
}

int PELOReachability::localWiFiStatusForFlags(uint32_t flags) {
  return static_cast<int>(platform::Reachability::localWiFiNetworkForFlags(flags));
}

}  // namespace pelora
