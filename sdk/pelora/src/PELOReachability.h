#pragma once
// Network reachability of a host or address as the client reads it: 0 not reachable,
// 1 through Wi-Fi, 2 through the cellular network. startNotifier posts
// "kNetworkReachabilityChangedNotification" (sender: this object) on every change.
// Main thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/passkey.h"
#include "platform/reachability.h"

namespace pelora {

class PELOReachability : public std::enable_shared_from_this<PELOReachability> {
 public:
  enum NetworkStatus : int { kNotReachable = 0, kReachableViaWiFi = 1, kReachableViaWWAN = 2 };
  static constexpr const char* kReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

  // nullptr when the platform cannot make the target.
  static std::shared_ptr<PELOReachability> reachabilityWithHostName(const std::string& hostName);
  static std::shared_ptr<PELOReachability> reachabilityWithAddress(const std::string& address);
  static std::shared_ptr<PELOReachability> reachabilityForInternetConnection();
  static std::shared_ptr<PELOReachability> reachabilityForLocalWiFi();
  PELOReachability(platform::Passkey<PELOReachability>, std::shared_ptr<platform::Reachability> ref, bool localWiFi)
      : reachabilityRef_(std::move(ref)), localWiFiRef_(localWiFi) {}
  ~PELOReachability();

  bool startNotifier();
  void stopNotifier();
  int currentReachabilityStatus() const;
  bool connectionRequired() const;
  static int networkStatusForFlags(uint32_t flags);
  static int localWiFiStatusForFlags(uint32_t flags);

 private:
  static std::shared_ptr<PELOReachability> make(std::shared_ptr<platform::Reachability> ref, bool localWiFi);
  std::shared_ptr<platform::Reachability> reachabilityRef_;
  bool localWiFiRef_;
};

}  // namespace pelora
