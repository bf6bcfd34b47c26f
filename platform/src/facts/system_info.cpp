#include "platform/system_info.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "platform/singleton.h"

namespace platform {
namespace {

// Overrides set by tests and the demo; what is not overridden is read from the system.
struct SystemOverrides {
  std::map<std::string, Value> probes;  // a null Value means absent
  std::optional<std::vector<NetworkInterface>> interfaces;
  std::optional<bool> defaultRoute;
};

ProcessState<SystemOverrides>& overrides() {
  return processState<SystemOverrides>();
}

std::optional<std::string> firstLineOf(const char* path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.empty()) return std::nullopt;
  return line;
}

std::optional<int64_t> integerFile(const char* path, int64_t scale) {
  auto line = firstLineOf(path);
  if (!line) return std::nullopt;
  try {
    return std::stoll(*line) * scale;
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<int64_t> systemBootTime() {
  std::ifstream in("/proc/stat");
  std::string key;
  while (in >> key) {
    if (key == "btime") {
      int64_t seconds = 0;
      if (in >> seconds) return seconds;
      return std::nullopt;
    }
    in.ignore(1 << 20, '\n');
  }
  return std::nullopt;
}

// The system's own reading of a probe; null when the system has no such value.
Value systemProbe(const std::string& name) {
  struct utsname u;
  bool haveUname = ::uname(&u) == 0;
  if (name == "hw.machine") return haveUname ? Value(u.machine) : Value();
  if (name == "kern.hostname") return haveUname ? Value(u.nodename) : Value();
  if (name == "kern.ostype") return haveUname ? Value(u.sysname) : Value();
  if (name == "kern.osrelease") return haveUname ? Value(u.release) : Value();
  if (name == "hw.model") {
    auto product = firstLineOf("/sys/devices/virtual/dmi/id/product_name");
    return product ? Value(*product) : Value();
  }
  if (name == "hw.memsize") {
    long pages = ::sysconf(_SC_PHYS_PAGES);
    long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? Value(static_cast<long long>(pages) * pageSize) : Value();
  }
  if (name == "hw.ncpu") {
    long n = ::sysconf(_SC_NPROCESSORS_CONF);
    return n > 0 ? Value(static_cast<long long>(n)) : Value();
  }
  if (name == "hw.cpufrequency" || name == "hw.cpufrequency_max") {
    // The kernel publishes kHz.
    const char* file = name == "hw.cpufrequency" ? "/sys/devices/system/cpu/cpu0/cpufreq/base_frequency"
                                                 : "/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq";
    auto hz = integerFile(file, 1000);
    if (!hz && name == "hw.cpufrequency") hz = integerFile("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", 1000);
    return hz ? Value(static_cast<long long>(*hz)) : Value();
  }
  if (name == "kern.boottime") {
    auto boot = systemBootTime();
    return boot ? Value(static_cast<long long>(*boot)) : Value();
  }
  return Value();
}

Value probe(const std::string& name) {
  auto set = overrides().with([&](const SystemOverrides& o) -> std::optional<Value> {
    auto found = o.probes.find(name);
    if (found == o.probes.end()) return std::nullopt;
    return found->second;
  });
  return set ? *set : systemProbe(name);
}

std::vector<NetworkInterface> systemInterfaces() {
  std::vector<NetworkInterface> list;
  struct ifaddrs* all = nullptr;
  if (::getifaddrs(&all) != 0) return list;
  auto entry = [&](const char* name) -> NetworkInterface& {
    for (auto& i : list) {
      if (i.name == name) return i;
    }
    list.push_back(NetworkInterface{});
    list.back().name = name;
    return list.back();
  };
  for (auto* a = all; a; a = a->ifa_next) {
    if (!a->ifa_name) continue;
    NetworkInterface& i = entry(a->ifa_name);
    i.up = i.up || (a->ifa_flags & IFF_UP);
    i.loopback = i.loopback || (a->ifa_flags & IFF_LOOPBACK);
    if (!a->ifa_addr) continue;
    char text[INET6_ADDRSTRLEN] = {};
    switch (a->ifa_addr->sa_family) {
      case AF_INET: {
        auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) i.ipv4Addresses.emplace_back(text);
        break;
      }
      case AF_INET6: {
        auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ifa_addr);
        if (::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text)) i.ipv6Addresses.emplace_back(text);
        break;
      }
      case AF_PACKET: {
        auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
        if (ll->sll_halen > 0 && ll->sll_halen <= sizeof ll->sll_addr) {
          i.hardwareAddress = Bytes(ll->sll_addr, ll->sll_addr + ll->sll_halen);
        }
        break;
      }
      default: break;
    }
  }
  ::freeifaddrs(all);
  return list;
}

bool systemHasDefaultRoute() {
  {
    std::ifstream in("/proc/net/route");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string iface, destination, gateway;
      unsigned flags = 0;
      if (fields >> iface >> destination >> gateway >> std::hex >> flags && destination == "00000000" &&
          (flags & 0x1)) {  // RTF_UP
        return true;
      }
    }
  }
  std::ifstream in6("/proc/net/ipv6_route");
  std::string line;
  while (std::getline(in6, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, sourcePrefix, nextHop, metric, refs, use, flags, iface;
    if (fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >> refs >> use >> flags >>
            iface &&
        destination == std::string(32, '0') && prefix == "00" && iface != "lo") {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> SystemInfo::stringProbe(const std::string& name) {
  Value v = probe(name);
  if (!v.isString()) return std::nullopt;
  return v.string();
}

std::optional<int64_t> SystemInfo::integerProbe(const std::string& name) {
  Value v = probe(name);
  if (v.type() != Value::Type::Integer && v.type() != Value::Type::Unsigned) return std::nullopt;
  return v.integerValue();
}

void SystemInfo::setProbe(const std::string& name, const Value& value) {
  overrides().with([&](SystemOverrides& o) { o.probes[name] = value; });
}

void SystemInfo::removeProbeOverride(const std::string& name) {
  overrides().with([&](SystemOverrides& o) { o.probes.erase(name); });
}

std::optional<int64_t> SystemInfo::bootTime() { return integerProbe("kern.boottime"); }

std::vector<NetworkInterface> SystemInfo::networkInterfaces() {
  auto set = overrides().read(&SystemOverrides::interfaces);
  return set ? *set : systemInterfaces();
}

std::optional<NetworkInterface> SystemInfo::interfaceNamed(const std::string& name) {
  for (auto& i : networkInterfaces()) {
    if (i.name == name) return i;
  }
  return std::nullopt;
}

void SystemInfo::setNetworkInterfaces(std::optional<std::vector<NetworkInterface>> interfaces) {
  overrides().write(&SystemOverrides::interfaces, std::move(interfaces));
}

bool SystemInfo::hasDefaultRoute() {
  auto set = overrides().read(&SystemOverrides::defaultRoute);
  return set ? *set : systemHasDefaultRoute();
}

void SystemInfo::setHasDefaultRoute(std::optional<bool> present) {
  overrides().write(&SystemOverrides::defaultRoute, present);
}

void SystemInfo::resetToDefaults() { overrides().reset(); }

}  // namespace platform
