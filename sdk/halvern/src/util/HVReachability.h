#pragma once
// Whether the network can be used: the controller refuses full-screen ads without it and
// pages ask for it. Statuses: 0 not reachable, 1 through a transient (carrier) connection,
// 2 otherwise. Main thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/passkey.h"
#include "platform/reachability.h"

namespace halvern {

// One kept reachability target and the run loops it is scheduled on.
class HVReachabilityQuery {
 public:
  explicit HVReachabilityQuery(std::string hostNameOrAddress, std::shared_ptr<platform::Reachability> ref)
      : hostNameOrAddress_(std::move(hostNameOrAddress)), reachabilityRef_(std::move(ref)) {}
  ~HVReachabilityQuery();

  const std::string& hostNameOrAddress() const { return hostNameOrAddress_; }
  const std::shared_ptr<platform::Reachability>& reachabilityRef() const { return reachabilityRef_; }
  // Only while the shared reachability's notifications are enabled, once per run loop.
  void scheduleOnRunLoop(platform::RunLoop& loop);
  bool isScheduledOnRunLoop(const platform::RunLoop& loop) const;
  void unscheduleFromAllRunLoops();

 private:
  std::string hostNameOrAddress_;
  std::shared_ptr<platform::Reachability> reachabilityRef_;
  std::vector<platform::RunLoop*> runLoops_;
};

class HVReachability {
 public:
  enum NetworkStatus { kNotReachable = 0, kReachableViaCarrierDataNetwork = 1, kReachableViaWiFiNetwork = 2 };
  static constexpr const char* kNetworkReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

  static std::shared_ptr<HVReachability> sharedReachability();
  explicit HVReachability(platform::Passkey<HVReachability>) {}
  ~HVReachability();

  const std::string& hostName() const { return hostName_; }
  void setHostName(const std::string& name) { hostName_ = name; }
  const std::string& address() const { return address_; }
  void setAddress(const std::string& address) { address_ = address; }
  bool networkStatusNotificationsEnabled() const { return networkStatusNotificationsEnabled_; }
  void setNetworkStatusNotificationsEnabled(bool enabled) { networkStatusNotificationsEnabled_ = enabled; }

  // From the default route; the host name plays no part.
  int internetConnectionStatus();
  // 2 when the link-local network is reachable without a connection and direct, else 0.
  int localWiFiConnectionStatus();
  // For the host name, else the address; 0 when neither is set or the flags cannot be read.
  int remoteHostStatus();
  // A one-off check of the name, not kept.
  bool isHostReachable(const std::string& hostName);

  bool isNetworkAvailableFlags(uint32_t* outFlags);
  bool isAdHocWiFiNetworkAvailableFlags(uint32_t* outFlags);
  static bool isReachableWithoutRequiringConnection(uint32_t flags);

  // The kept handle for that text, made and scheduled on the current run loop when missing;
  // nullptr for empty text or text that is no address.
  std::shared_ptr<platform::Reachability> reachabilityRefForHostName(const std::string& hostName);
  std::shared_ptr<platform::Reachability> reachabilityRefForAddress(const std::string& address);
  void stopListeningForReachabilityChanges();

 private:
  std::shared_ptr<platform::Reachability> keptRef(const std::string& text, bool isAddress);
  bool flagsForAddress(const std::string& address, uint32_t* outFlags);

  std::string address_;
  std::string hostName_;
  bool networkStatusNotificationsEnabled_ = false;
  std::map<std::string, std::unique_ptr<HVReachabilityQuery>> reachabilityQueries_;
};

}  // namespace halvern
