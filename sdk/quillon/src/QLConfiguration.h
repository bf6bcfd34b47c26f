#pragma once
// Hosts the client is configured with. Process-wide; the demo and tests point them at their
// own servers. Thread-safe.
#include <string>

namespace quillon {

struct QLConfiguration {
  // The host whose reachability tells the network type ("net").
  std::string networkCheckHost = "ads.quillon.example";
  // Click-tracking hosts end with this; their paths carry the click's tracking id.
  std::string clickServerDomainSuffix = ".click.quillon.example";

  static QLConfiguration current();
  static void setCurrent(QLConfiguration configuration);
};

}  // namespace quillon
