#pragma once
// Watches whether the device reaches the network over Wi-Fi or the cellular network: the
// source of the request parameter "net". One shared checker, enabled when first asked for.
// Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include "platform/passkey.h"

namespace platform {
class Reachability;
}

namespace quillon {

class QLNetworkChecker : public std::enable_shared_from_this<QLNetworkChecker> {
 public:
  enum NetworkType : int { kUnknown = 0, kNotReachable = 1, kWiFi = 2, kCellular = 3 };

  static std::shared_ptr<QLNetworkChecker> sharedChecker();

  bool isEnabled() const { return networkRef_ != nullptr; }
  // Starts or stops watching when the state changes.
  void setEnabled(bool enabled);
  // Type back to unknown; a fresh target for the configured host reports on the main loop.
  void startNetworkChecking();
  // Unschedules and drops the target; the type goes back to unknown.
  void stopNetworkChecking();
  void setNetworkTypeFromFlags(uint32_t flags);

  int networkType() const { return networkType_; }
  int changeCount() const { return changeCount_; }
  // "wi" for Wi-Fi, "ed" for cellular, nothing while unknown or unreachable.
  std::optional<std::string> networkTypeString() const;

  using Passkey = platform::Passkey<QLNetworkChecker>;
  explicit QLNetworkChecker(Passkey) {}
  ~QLNetworkChecker();

 private:
  std::shared_ptr<platform::Reachability> networkRef_;
  int networkType_ = kUnknown;
  int changeCount_ = 0;
};

}  // namespace quillon
