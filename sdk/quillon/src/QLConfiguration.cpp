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

}  // namespace quillon
