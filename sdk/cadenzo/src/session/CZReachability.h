#pragma once
// Whether and how the internet (or the link-local network) is reachable, from the
// platform's reachability flags, and a notifier that posts
// "kNetworkReachabilityChangedNotification" (sender: this object) on every change.
//
// Status: 0 not reachable, 1 through Wi-Fi, 2 through the cellular network. Unreadable
// flags count as 0.
// Ownership: shared. A scheduled notifier holds this object only weakly; stopNotifier (or
// destruction) unschedules it.
// Thread safety: create and use on one thread; the notifier delivers on the run loop of the
// thread that started it.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/passkey.h"

namespace platform {
class Reachability;
}

namespace cadenzo {

enum CZNetworkStatus : long { CZNotReachable = 0, CZReachableViaWiFi = 1, CZReachableViaWWAN = 2 };

inline constexpr const char* kNetworkReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

class CZReachability : public std::enable_shared_from_this<CZReachability> {
 public:
  // nullptr when the platform target cannot be created.
  static std::shared_ptr<CZReachability> reachabilityWithHostName(const std::string& hostName);
  // An IPv4 or IPv6 address in text form.
  static std::shared_ptr<CZReachability> reachabilityWithAddress(const std::string& address);
  // 0.0.0.0
  static std::shared_ptr<CZReachability> reachabilityForInternetConnection();
  // 169.254.0.0, judged by the link-local rule.
  static std::shared_ptr<CZReachability> reachabilityForLocalWiFi();

  CZReachability(platform::Passkey<CZReachability>, std::shared_ptr<platform::Reachability> target, bool localWiFi);
  ~CZReachability();

  CZNetworkStatus currentReachabilityStatus() const;
  bool connectionRequired() const;
  bool startNotifier();
  void stopNotifier();

  // The internet connection's status is not 0 (what every request and load checks first).
  static bool isInternetReachable();

  static CZNetworkStatus networkStatusForFlags(uint32_t flags);
  static CZNetworkStatus localWiFiStatusForFlags(uint32_t flags);

 private:
  std::shared_ptr<platform::Reachability> reachabilityRef_;
  bool localWiFiRef_;
};

}  // namespace cadenzo
