#include "NBReachabilityPrivate.h"

#include "platform/format.h"
#include "platform/notification_center.h"
#include "platform/reachability.h"
#include "platform/run_loop.h"

namespace nubira {

using platform::Reachability;

NBReachabilityPrivate::NBReachabilityPrivate(platform::Passkey<NBReachabilityPrivate>,
                                             std::shared_ptr<Reachability> ref, std::string key)
    : key_(std::move(key)), reachabilityRef_(std::move(ref)) {}

NBReachabilityPrivate::~NBReachabilityPrivate() {
  stopNotifier();
  reachabilityRef_.reset();
  key_.clear();
}

std::shared_ptr<NBReachabilityPrivate> NBReachabilityPrivate::make(std::shared_ptr<Reachability> ref, std::string key) {
  if (!ref) return nullptr;
  return std::make_shared<NBReachabilityPrivate>(platform::Passkey<NBReachabilityPrivate>(), std::move(ref),
                                                 std::move(key));
}

std::shared_ptr<NBReachabilityPrivate> NBReachabilityPrivate::reachabilityForInternetConnection() {
  return make(Reachability::createWithAddress("0.0.0.0"), kInternetKey);
}

std::shared_ptr<NBReachabilityPrivate> NBReachabilityPrivate::reachabilityForLocalWiFi() {
  return make(Reachability::createWithAddress("169.254.0.0"), kLocalWiFiKey);
}

std::shared_ptr<NBReachabilityPrivate> NBReachabilityPrivate::reachabilityWithHostName(const std::string& hostName) {
  return make(Reachability::createWithName(hostName), hostName);
}

std::string NBReachabilityPrivate::makeAddressKey(uint32_t address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  return platform::format("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

std::shared_ptr<NBReachabilityPrivate> NBReachabilityPrivate::reachabilityWithAddress(uint32_t address) {
  std::string key = makeAddressKey(address);
  return make(Reachability::createWithAddress(key), key);
}

bool NBReachabilityPrivate::startNotifier() {
  if (!reachabilityRef_) return false;
  std::weak_ptr<NBReachabilityPrivate> weak = weak_from_this();
  return reachabilityRef_->setCallback(
      [weak](Reachability&, uint32_t) {
        if (auto self = weak.lock()) {
          platform::NotificationCenter::defaultCenter().postNotificationName(kNBReachabilityChangedNotification,
                                                                             self.get());
        }
      },
      platform::RunLoop::current());
}

void NBReachabilityPrivate::stopNotifier() {
  if (reachabilityRef_) reachabilityRef_->unschedule();
}

std::optional<uint32_t> NBReachabilityPrivate::flags() const {
  if (!reachabilityRef_) return std::nullopt;
  return reachabilityRef_->flags();
}

uint32_t NBReachabilityPrivate::reachabilityFlags() const { return flags().value_or(0); }

NBNetworkStatus NBReachabilityPrivate::networkStatusForFlags(uint32_t flags) const {
  if (!(flags & Reachability::kReachable)) return NBNotReachable;
  if (key_ == kLocalWiFiKey) return (flags & Reachability::kIsDirect) ? NBReachableViaWiFi : NBNotReachable;
  if (flags & Reachability::kIsWWAN) return NBReachableViaWWAN;
  uint32_t rest = flags & ~(Reachability::kReachable | Reachability::kIsLocalAddress | Reachability::kIsDirect);
  if (rest == (Reachability::kTransientConnection | Reachability::kConnectionRequired)) return NBNotReachable;
  if ((rest & Reachability::kTransientConnection) || rest == 0 || (rest & Reachability::kConnectionRequired)) {
    return NBReachableViaWiFi;
  }
  return NBNotReachable;
}

NBNetworkStatus NBReachabilityPrivate::currentReachabilityStatus() const {
  auto f = flags();
  return f ? networkStatusForFlags(*f) : NBNotReachable;
}

bool NBReachabilityPrivate::isConnectionRequired() const {
  return (reachabilityFlags() & Reachability::kConnectionRequired) != 0;
}

bool NBReachabilityPrivate::isConnectionOnDemand() const {
  uint32_t f = reachabilityFlags();
  return (f & Reachability::kConnectionRequired) &&
         (f & (Reachability::kConnectionOnTraffic | Reachability::kConnectionOnDemand));
}

bool NBReachabilityPrivate::isInterventionRequired() const {
  uint32_t f = reachabilityFlags();
  return (f & Reachability::kConnectionRequired) && (f & Reachability::kInterventionRequired);
}

std::string NBReachabilityPrivate::description() const {
  uint32_t f = reachabilityFlags();
  auto bit = [f](uint32_t mask, char letter) { return (f & mask) ? letter : '-'; };
  return key_ + "\n\t" +
         platform::format("Reachability Flags: %c%c %c%c%c%c%c%c%c", bit(Reachability::kIsWWAN, 'W'),
                          bit(Reachability::kReachable, 'R'), bit(Reachability::kConnectionRequired, 'c'),
                          bit(Reachability::kTransientConnection, 't'), bit(Reachability::kInterventionRequired, 'i'),
                          bit(Reachability::kConnectionOnTraffic, 'C'), bit(Reachability::kConnectionOnDemand, 'D'),
                          bit(Reachability::kIsLocalAddress, 'l'), bit(Reachability::kIsDirect, 'd'));
}

}  // namespace nubira
