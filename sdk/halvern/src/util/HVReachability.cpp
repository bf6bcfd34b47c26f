#include "HVReachability.h"

#include <algorithm>

#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace halvern {

using platform::Reachability;

namespace {
platform::ResettableSingleton<HVReachability> gShared;
}  // namespace

HVReachabilityQuery::~HVReachabilityQuery() { unscheduleFromAllRunLoops(); }

void HVReachabilityQuery::scheduleOnRunLoop(platform::RunLoop& loop) {
  if (!HVReachability::sharedReachability()->networkStatusNotificationsEnabled() || isScheduledOnRunLoop(loop)) return;
  reachabilityRef_->setCallback(
      [](Reachability&, uint32_t) {
        platform::NotificationCenter::defaultCenter().postNotificationName(
            HVReachability::kNetworkReachabilityChangedNotification, nullptr);
      },
      loop);
  runLoops_.push_back(&loop);
}

bool HVReachabilityQuery::isScheduledOnRunLoop(const platform::RunLoop& loop) const {
  return std::find(runLoops_.begin(), runLoops_.end(), &loop) != runLoops_.end();
}

void HVReachabilityQuery::unscheduleFromAllRunLoops() {
  if (!runLoops_.empty()) reachabilityRef_->unschedule();
  runLoops_.clear();
}

std::shared_ptr<HVReachability> HVReachability::sharedReachability() {
  return gShared.get([] { return std::make_shared<HVReachability>(platform::Passkey<HVReachability>{}); },
                     [](HVReachability& old) { old.stopListeningForReachabilityChanges(); });
}

HVReachability::~HVReachability() { stopListeningForReachabilityChanges(); }

bool HVReachability::isReachableWithoutRequiringConnection(uint32_t flags) {
  const bool reachable = flags & Reachability::kReachable;
  const bool noConnectionRequired = !(flags & Reachability::kConnectionRequired);
  return reachable && (noConnectionRequired || (flags & Reachability::kIsWWAN));
}

std::shared_ptr<Reachability> HVReachability::keptRef(const std::string& text, bool isAddress) {
  if (text.empty()) return nullptr;
  auto it = reachabilityQueries_.find(text);
  if (it == reachabilityQueries_.end()) {
    auto ref = isAddress ? Reachability::createWithAddress(text) : Reachability::createWithName(text);
    if (!ref) return nullptr;
    it = reachabilityQueries_.emplace(text, std::make_unique<HVReachabilityQuery>(text, std::move(ref))).first;
  }
  it->second->scheduleOnRunLoop(platform::RunLoop::current());
  return it->second->reachabilityRef();
}

std::shared_ptr<Reachability> HVReachability::reachabilityRefForHostName(const std::string& hostName) {
  return keptRef(hostName, false);
}

std::shared_ptr<Reachability> HVReachability::reachabilityRefForAddress(const std::string& address) {
  return keptRef(address, true);
}

bool HVReachability::flagsForAddress(const std::string& address, uint32_t* outFlags) {
  auto ref = reachabilityRefForAddress(address);
  auto flags = ref ? ref->flags() : std::nullopt;
  if (!flags) return false;
  if (outFlags) *outFlags = *flags;
  return isReachableWithoutRequiringConnection(*flags);
}

bool HVReachability::isNetworkAvailableFlags(uint32_t* outFlags) { return flagsForAddress("0.0.0.0", outFlags); }

bool HVReachability::isAdHocWiFiNetworkAvailableFlags(uint32_t* outFlags) {
  return flagsForAddress("169.254.0.0", outFlags);
}

int HVReachability::internetConnectionStatus() {
  uint32_t flags = 0;
  if (!isNetworkAvailableFlags(&flags)) return kNotReachable;
  // A direct link (an ad-hoc network) is no way to the Internet.
  if (flags & Reachability::kIsDirect) return kNotReachable;
  if (flags & Reachability::kTransientConnection) return kReachableViaCarrierDataNetwork;
  return kReachableViaWiFiNetwork;
}

int HVReachability::localWiFiConnectionStatus() {
  uint32_t flags = 0;
  if (isAdHocWiFiNetworkAvailableFlags(&flags) && (flags & Reachability::kIsDirect)) return kReachableViaWiFiNetwork;
  return kNotReachable;
}

int HVReachability::remoteHostStatus() {
  std::shared_ptr<Reachability> ref;
  if (!hostName_.empty()) ref = reachabilityRefForHostName(hostName_);
  else if (!address_.empty()) ref = reachabilityRefForAddress(address_);
  auto flags = ref ? ref->flags() : std::nullopt;
  if (!flags || !isReachableWithoutRequiringConnection(*flags)) return kNotReachable;
  return (*flags & Reachability::kTransientConnection) ? kReachableViaCarrierDataNetwork : kReachableViaWiFiNetwork;
}

bool HVReachability::isHostReachable(const std::string& hostName) {
  auto ref = Reachability::createWithName(hostName);
  auto flags = ref ? ref->flags() : std::nullopt;
  return flags && isReachableWithoutRequiringConnection(*flags);
}

void HVReachability::stopListeningForReachabilityChanges() {
  for (auto& [text, query] : reachabilityQueries_) query->unscheduleFromAllRunLoops();
}

}  // namespace halvern
