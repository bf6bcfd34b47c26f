#pragma once
// The servers the client talks to. Their names are the host's configuration: the defaults
// are the client's own servers, and a host that runs its own (or a test server on loopback)
// sets them before its first banner or interstitial loads. Process-wide; thread-safe.
#include <string>

namespace quillon {

struct QLServerHosts {
  // The ad server: the builder page's base URL, so the pages it leads to. A port may follow
  // the name ("127.0.0.1:8080").
  std::string adServerHost = "ads.quillon.example";
  // The host of the ad-URL builder script; a port may follow the name.
  std::string scriptHost = "scripts.quillon.example";
  // The host whose reachability tells the network type ("net").
  std::string networkCheckHost = "ads.quillon.example";
  // Click-tracking hosts end with this; their paths carry the click's tracking id.
  std::string clickServerDomainSuffix = ".click.quillon.example";

  // The hosts in use.
  static QLServerHosts current();
  // Replaces every host; the client's other settings stay. Each load reads the ad and script
  // hosts when it needs them, so a change reaches loads started after it; the network
  // checker takes its host once, when it is first used, and keeps it for the process.
  static void setCurrent(const QLServerHosts& hosts);
};

}  // namespace quillon
