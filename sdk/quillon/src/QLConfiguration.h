#pragma once
// What the client is configured with: the hosts a host application may set through its
// public call, and the settings only the client and its tests change. Process-wide; the
// demo and tests point the hosts at their own servers. Thread-safe.
#include <string>

#include "quillon/QLServerHosts.h"

namespace quillon {

struct QLConfiguration : QLServerHosts {
  // Seconds a load may take from its start to its page shown before it fails as timed out.
  double loadTimeout = 20.0;

  static QLConfiguration current();
  static void setCurrent(QLConfiguration configuration);
};

}  // namespace quillon
