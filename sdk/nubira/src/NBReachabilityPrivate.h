#pragma once
// Watches whether an address or a host can be reached, and over what: the network state the
// ad page is told. A started watcher posts "NetworkNBReachabilityChangedNotification", with
// itself as the sender, on the run loop it was started on at every change. Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/passkey.h"

namespace platform {
class Reachability;
}

namespace nubira {

inline constexpr const char* kNBReachabilityChangedNotification = "NetworkNBReachabilityChangedNotification";

enum NBNetworkStatus : int { NBNotReachable = 0, NBReachableViaWWAN = 1, NBReachableViaWiFi = 2 };

class NBReachabilityPrivate : public std::enable_shared_from_this<NBReachabilityPrivate> {
 public:
  static constexpr const char* kInternetKey = "InternetConnection";
  static constexpr const char* kLocalWiFiKey = "LocalWiFiConnection";

  // nullptr where the platform refuses the target.
  static std::shared_ptr<NBReachabilityPrivate> reachabilityForInternetConnection();
  static std::shared_ptr<NBReachabilityPrivate> reachabilityForLocalWiFi();
  static std::shared_ptr<NBReachabilityPrivate> reachabilityWithHostName(const std::string& hostName);
  // An IPv4 address as its four bytes in network order.
  static std::shared_ptr<NBReachabilityPrivate> reachabilityWithAddress(uint32_t ipv4NetworkOrder);
  static std::string makeAddressKey(uint32_t ipv4NetworkOrder);

  ~NBReachabilityPrivate();

  const std::string& key() const { return key_; }
  bool startNotifier();
  void stopNotifier();

  NBNetworkStatus currentReachabilityStatus() const;
  NBNetworkStatus networkStatusForFlags(uint32_t flags) const;
  bool isReachable() const { return currentReachabilityStatus() != NBNotReachable; }
  bool isReachableViaWWAN() const { return currentReachabilityStatus() == NBReachableViaWWAN; }
  bool isReachableViaWiFi() const { return currentReachabilityStatus() == NBReachableViaWiFi; }
  bool isConnectionRequired() const;
  bool connectionRequired() const { return isConnectionRequired(); }
  bool isConnectionOnDemand() const;
  bool isInterventionRequired() const;
  // The raw flags, 0 when they cannot be read.
  uint32_t reachabilityFlags() const;

  bool isEqual(const NBReachabilityPrivate& other) const { return key_ == other.key_; }
  std::string description() const;

  NBReachabilityPrivate(platform::Passkey<NBReachabilityPrivate>, std::shared_ptr<platform::Reachability> ref,
                        std::string key);

 private:
  static std::shared_ptr<NBReachabilityPrivate> make(std::shared_ptr<platform::Reachability> ref, std::string key);
  std::optional<uint32_t> flags() const;

  std::string key_;
  std::shared_ptr<platform::Reachability> reachabilityRef_;
};

}  // namespace nubira
