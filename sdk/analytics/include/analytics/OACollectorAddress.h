#pragma once
// Where hits go, as the host sets it on the tracker.
#include <cstdint>
#include <string>

namespace analytics {

// The host goes into the Host header ("host:port" when the port is not 80).
struct OACollectorAddress {
  std::string host = "collect.orvane.com";
  uint16_t port = 80;
};

// Seconds of silence (no connection, no answer bytes) after which a dispatch is given up.
inline constexpr double kOADefaultResponseTimeout = 30.0;

}  // namespace analytics
