#pragma once
// Hosts the client is configured with. Process-wide; the demo and tests point them at their
// own servers. Thread-safe.
#include <string>

namespace quillon {

struct QLConfiguration {
  // The host whose reachability tells the network type ("net").
  std::string networkCheckHost = "ads.quillon.example";
  // The ad server (the builder page's base URL) and the host of the ad-URL builder script;
  // a port may follow the name.
  std::string adServerHost = "ads.quillon.example";
  std::string scriptHost = "scripts.quillon.example";
  // Seconds a load may take from its start to its page shown before it fails as timed out.
  double loadTimeout = 20.0;
  // Click-tracking hosts end with this; their paths carry the click's tracking id.
  std::string clickServerDomainSuffix = ".click.quillon.example";

  static QLConfiguration current();
  static void setCurrent(QLConfiguration configuration);
};

}  // namespace quillon
