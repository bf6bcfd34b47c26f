#include "QLConfiguration.h"

#include "platform/singleton.h"

namespace quillon {
namespace {
platform::ProcessState<QLConfiguration>& state() {
  static platform::ProcessState<QLConfiguration> s;
  return s;
}
}  // namespace

QLConfiguration QLConfiguration::current() {
  return state().with([](QLConfiguration& c) { return c; });
}

void QLConfiguration::setCurrent(QLConfiguration configuration) {
  state().with([&](QLConfiguration& c) { c = std::move(configuration); });
}

QLServerHosts QLServerHosts::current() { return QLConfiguration::current(); }

void QLServerHosts::setCurrent(const QLServerHosts& hosts) {
  state().with([&](QLConfiguration& c) { static_cast<QLServerHosts&>(c) = hosts; });
}

}  // namespace quillon
