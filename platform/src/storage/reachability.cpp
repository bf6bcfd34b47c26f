#include "platform/reachability.h"

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <vector>

#include "platform/run_loop.h"
#include "platform/system_info.h"
#include "platform/singleton.h"

namespace platform {
namespace {

enum Kind { kInternet = 0, kLinkLocal = 1, kLoopback = 2 };
enum class Mode { Machine, Simulated, Explicit };

// An application never resets and reads the machine. Once a test reset has run, a fresh
// registry starts from the simulated Wi-Fi network, so tests start online and deterministic
// whatever the machine's network. Registered when this file is linked in, so that it holds
// from the first test on.
std::atomic<bool> gTestReset{false};
const bool gTestResetRegistered = [] {
  onProcessReset([] { gTestReset = true; });
  return true;
}();

struct MachineSnapshot {
  bool active = false;    // an interface other than loopback is up with an address
  bool activeV4 = false;  // ... with an IPv4 address
  bool defaultRoute = false;

  static MachineSnapshot read() {
    MachineSnapshot m;
    for (const auto& i : SystemInfo::networkInterfaces()) {
      if (!i.up || i.loopback) continue;
      if (!i.ipv4Addresses.empty()) m.activeV4 = true;
      if (!i.ipv4Addresses.empty() || !i.ipv6Addresses.empty()) m.active = true;
    }
    m.defaultRoute = SystemInfo::hasDefaultRoute();
    return m;
  }
};

}  // namespace

struct Reachability::Registry {
  struct Scheduled {
    std::weak_ptr<Reachability> target;
    RunLoop* loop = nullptr;
    std::shared_ptr<Callback> callback;
    std::optional<uint32_t> last;
  };

  Mode mode = gTestReset ? Mode::Simulated : Mode::Machine;
  Network network = Network::WiFi;
  uint32_t explicitFlags = 0;
  bool readable = true;
  std::map<const Reachability*, Scheduled> scheduled;

  static ProcessState<Registry>& get() {
    return processState<Registry>();
  }

  // Called under the registry's lock. The machine is read only in machine mode (the system facts
  // have their own lock and never call back here).
  std::optional<uint32_t> flagsFor(int kind, std::optional<MachineSnapshot>& machine) const {
    if (!readable) return std::nullopt;
    switch (mode) {
      case Mode::Explicit: return explicitFlags;
      case Mode::Simulated:
        if (network == Network::None) return 0u;
        if (kind == kLinkLocal) return network == Network::WiFi ? kReachable | kIsDirect : 0u;
        return network == Network::WiFi ? kReachable : kReachable | kIsWWAN;
      case Mode::Machine:
        if (kind == kLoopback) return kReachable | kIsLocalAddress | kIsDirect;
        if (!machine) machine = MachineSnapshot::read();
        if (kind == kLinkLocal) return machine->activeV4 ? kReachable | kIsDirect : 0u;
        return machine->active && machine->defaultRoute ? kReachable : 0u;
    }
    return 0u;
  }

  // Applies `change` to the state and posts each scheduled target whose flags moved.
  template <class Change>
  static void update(Change change) {
    // Another thread may drop its last reference to a target while it is held here; that
    // destructor takes the lock, so the references are let go only after unlocking.
    std::vector<std::shared_ptr<Reachability>> held;
    get().with([&](Registry& r) {
      change(r);
      std::optional<MachineSnapshot> machine;
      for (auto& [key, entry] : r.scheduled) {
        auto target = entry.target.lock();
        if (!target) continue;
        held.push_back(target);
        std::optional<uint32_t> now = r.flagsFor(target->kind_, machine);
        if (now == entry.last) continue;
        entry.last = now;
        std::weak_ptr<Reachability> weak = target;
        std::shared_ptr<Callback> callback = entry.callback;
        uint32_t delivered = now.value_or(0);
        entry.loop->post([weak, callback, delivered] {
          auto self = weak.lock();
          if (!self) return;
          // Only the schedule that was current when the change happened may hear it.
          bool current = get().with([&](Registry& now) {
            auto found = now.scheduled.find(self.get());
            return found != now.scheduled.end() && found->second.callback == callback;
          });
          if (current) (*callback)(*self, delivered);
        });
      }
    });
  }
};

Reachability::Reachability(Passkey<Reachability>, std::string target, bool isAddress, int kind)
    : target_(std::move(target)), isAddress_(isAddress), kind_(kind) {}

Reachability::~Reachability() { unschedule(); }

std::shared_ptr<Reachability> Reachability::createWithAddress(const std::string& address) {
  in_addr v4;
  in6_addr v6;
  int kind = kInternet;
  if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) {
    uint32_t host = ntohl(v4.s_addr);
    if ((host >> 16) == 0xA9FE) kind = kLinkLocal;  // 169.254.0.0/16
    if ((host >> 24) == 127) kind = kLoopback;
  } else if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
    if (IN6_IS_ADDR_LOOPBACK(&v6)) kind = kLoopback;
    if (IN6_IS_ADDR_LINKLOCAL(&v6)) kind = kLinkLocal;
  } else {
    return nullptr;
  }
  return std::make_shared<Reachability>(Passkey<Reachability>(), address, true, kind);
}

std::shared_ptr<Reachability> Reachability::createWithName(const std::string& hostName) {
  if (hostName.empty()) return nullptr;
  std::string lower = hostName;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  int kind = lower == "localhost" || lower == "localhost." ? kLoopback : kInternet;
  return std::make_shared<Reachability>(Passkey<Reachability>(), hostName, false, kind);
}

std::optional<uint32_t> Reachability::flags() const {
  return Registry::get().with([this](const Registry& r) {
    std::optional<MachineSnapshot> machine;
    return r.flagsFor(kind_, machine);
  });
}

Reachability::Network Reachability::networkForFlags(uint32_t flags) {
  if (!(flags & kReachable)) return Network::None;
  if (flags & kIsWWAN) return Network::WWAN;
  if (!(flags & kConnectionRequired)) return Network::WiFi;
  // A connection that comes up by itself when traffic or a request needs it counts as there.
  if ((flags & (kConnectionOnTraffic | kConnectionOnDemand)) && !(flags & kInterventionRequired)) return Network::WiFi;
  return Network::None;
}

Reachability::Network Reachability::localWiFiNetworkForFlags(uint32_t flags) {
  return (flags & kReachable) && (flags & kIsDirect) ? Network::WiFi : Network::None;
}

bool Reachability::setCallback(Callback callback, RunLoop& loop) {
  if (!callback) {
    unschedule();
    return true;
  }
  // The replaced callback may own the last reference to a target, whose destructor takes
  // the lock: it goes after unlocking.
  std::shared_ptr<Callback> replaced;
  std::weak_ptr<Reachability> self = weak_from_this();
  Registry::get().with([&](Registry& r) {
    std::optional<MachineSnapshot> machine;
    std::optional<uint32_t> now = r.flagsFor(kind_, machine);
    Registry::Scheduled& entry = r.scheduled[this];
    entry.target = self;
    entry.loop = &loop;
    replaced = std::move(entry.callback);
    entry.callback = std::make_shared<Callback>(std::move(callback));
    entry.last = now;
  });
  return true;
}

void Reachability::unschedule() {
  std::shared_ptr<Callback> removed;  // released after unlocking, as above
  Registry::get().with([&](Registry& r) {
    auto found = r.scheduled.find(this);
    if (found == r.scheduled.end()) return;
    removed = std::move(found->second.callback);
    r.scheduled.erase(found);
  });
}

void Reachability::setNetwork(Network network) {
  Registry::update([network](Registry& r) {
    r.mode = Mode::Simulated;
    r.network = network;
  });
}

void Reachability::setFlags(uint32_t flags) {
  Registry::update([flags](Registry& r) {
    r.mode = Mode::Explicit;
    r.explicitFlags = flags;
  });
}

void Reachability::useMachineState() {
  Registry::update([](Registry& r) { r.mode = Mode::Machine; });
}

void Reachability::setFlagsReadable(bool readable) {
  Registry::update([readable](Registry& r) { r.readable = readable; });
}

void Reachability::refresh() {
  Registry::update([](Registry&) {});
}

}  // namespace platform
