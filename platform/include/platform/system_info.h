#pragma once
// Facts about the machine that the clients read by name or walk through: system value
// probes ("hw.machine" …), the boot time, the network interfaces and the default route.
//
// Defaults come from the running Linux system, read on every call:
//   text probes     "hw.machine" (uname's machine), "hw.model" (the DMI product name, when the
//                   system publishes one), "kern.hostname", "kern.ostype", "kern.osrelease"
//   integer probes  "hw.memsize" (bytes of RAM), "hw.ncpu", "hw.cpufrequency" and
//                   "hw.cpufrequency_max" (Hz, when the system publishes them),
//                   "kern.boottime" (seconds since 1970)
//   anything else is absent ("hw.cputype" and "hw.cpusubtype" have no Linux counterpart).
// Interfaces come from getifaddrs (link-level addresses from the packet family).
// Tests and the demo override any fact, including making a probe absent; test reset drops
// every override. Thread safety: every function may be called from any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/value.h"

namespace platform {

struct NetworkInterface {
  std::string name;                        // "eth0", "lo", "en0" …
  bool up = false;
  bool loopback = false;
  std::vector<std::string> ipv4Addresses;  // dotted quads
  std::vector<std::string> ipv6Addresses;  // textual, without scope
  std::optional<Bytes> hardwareAddress;    // the link-level address (6 bytes for Ethernet)
  bool operator==(const NetworkInterface&) const = default;
};

class SystemInfo {
 public:
  // A text probe's value; nullopt when absent or not text.
  static std::optional<std::string> stringProbe(const std::string& name);
  // An integer probe's value; nullopt when absent or not an integer.
  static std::optional<int64_t> integerProbe(const std::string& name);
  // Overrides a probe: a string or integer Value, or null to make it absent.
  static void setProbe(const std::string& name, const Value& value);
  static void removeProbeOverride(const std::string& name);

  // Seconds since 1970 at which the system started ("kern.boottime").
  static std::optional<int64_t> bootTime();

  // In the system's order; an interface with several addresses appears once.
  static std::vector<NetworkInterface> networkInterfaces();
  static std::optional<NetworkInterface> interfaceNamed(const std::string& name);
  // nullopt returns to the real list.
  static void setNetworkInterfaces(std::optional<std::vector<NetworkInterface>> interfaces);

  // Whether the routing table has a default route (IPv4 or IPv6).
  static bool hasDefaultRoute();
  static void setHasDefaultRoute(std::optional<bool> present);

  // Drops every override (also done on test reset).
  static void resetToDefaults();
};

}  // namespace platform
