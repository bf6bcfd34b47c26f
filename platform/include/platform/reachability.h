#pragma once
// Network reachability of an address or a host name, with the platform's flag bits.
//
// Where the flags come from (process-wide, one state for every target):
//   - the machine (the default): a target is reachable when an interface
//     other than loopback is up with an address and the routing table has a default route;
//     the link-local target 169.254.0.0 is reachable and direct when such an interface has
//     an IPv4 address; loopback addresses and "localhost" are always reachable, local and
//     direct. No name is ever resolved.
//   - a simulated network (setNetwork): none, Wi-Fi or cellular, applied by target kind:
//         target                 None   WiFi                    WWAN
//         link-local 169.254.x   0      reachable|direct        0
//         anything else          0      reachable               reachable|WWAN
//     Here loopback is not special: the tests' loopback servers stand for the internet.
//   - explicit flags (setFlags): every target reports exactly these.
// Test reset selects the simulated Wi-Fi network and drops every schedule, so tests start
// online and deterministic.
// Every change of the process-wide state is heard by every scheduled target whose flags it
// changed: its callback is posted to the run loop it was scheduled on (one call per change,
// in order). Nothing is delivered for a change that leaves a target's flags as they were.
//
// Thread safety: every member may be called from any thread. A target must be unscheduled
// (setCallback with an empty function, or destroyed) before the run loop it was scheduled on
// goes away. Callbacks run on that loop and may unschedule or destroy the target.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/passkey.h"

namespace platform {

class RunLoop;

class Reachability : public std::enable_shared_from_this<Reachability> {
 public:
  enum Flags : uint32_t {
    kTransientConnection = 1u << 0,
    kReachable = 1u << 1,
    kConnectionRequired = 1u << 2,
    kConnectionOnTraffic = 1u << 3,
    kInterventionRequired = 1u << 4,
    kConnectionOnDemand = 1u << 5,
    kIsLocalAddress = 1u << 16,
    kIsDirect = 1u << 17,
    kIsWWAN = 1u << 18,
  };
  // The numbers are the network status values the clients hand on (0 not reachable, 1 Wi-Fi,
  // 2 cellular).
  enum class Network { None = 0, WiFi = 1, WWAN = 2 };
  using Callback = std::function<void(Reachability& target, uint32_t flags)>;

  // An IPv4 or IPv6 address in text form ("0.0.0.0", "169.254.0.0"); nullptr when the text
  // is not an address.
  static std::shared_ptr<Reachability> createWithAddress(const std::string& address);
  // nullptr for an empty name.
  static std::shared_ptr<Reachability> createWithName(const std::string& hostName);
  ~Reachability();

  // The current flags; nullopt when they cannot be read (see setFlagsReadable).
  std::optional<uint32_t> flags() const;
  // The address or host name the target was made with.
  const std::string& target() const { return target_; }
  bool isAddress() const { return isAddress_; }

  // How the internet is reached under `flags`, the one reading every client uses:
  // None without kReachable; WWAN with kIsWWAN; otherwise WiFi when kConnectionRequired is
  // clear, or when kConnectionOnTraffic or kConnectionOnDemand is set and
  // kInterventionRequired is clear; else None.
  static Network networkForFlags(uint32_t flags);
  // The same for the link-local target (169.254.0.0): WiFi when both kReachable and kIsDirect
  // are set, else None.
  static Network localWiFiNetworkForFlags(uint32_t flags);

  // Schedules `callback` on `loop` (replacing an earlier schedule), or unschedules when the
  // callback is empty. Returns true.
  bool setCallback(Callback callback, RunLoop& loop);
  void unschedule();

  // --- Process-wide state (tests and the demo) ------------------------------------------
  static void setNetwork(Network network);
  static void setFlags(uint32_t flags);
  static void useMachineState();
  // When false, every target's flags() gives nullopt (the platform call failed).
  static void setFlagsReadable(bool readable);
  // Re-reads the machine state and tells scheduled targets about any change.
  static void refresh();

  // Made only by the factories above.
  Reachability(Passkey<Reachability>, std::string target, bool isAddress, int kind);

 private:
  struct Registry;
  std::string target_;
  bool isAddress_;
  int kind_;
};

}  // namespace platform
