#pragma once
// The demo's scenes. Each returns true when everything it expected happened.
#include <string>

namespace adhost {

struct Options {
  // Empty: the embedded sandbox server on loopback.
  std::string cadenzoServer;
  std::string cadenzoAppId;
  std::string cadenzoAppSignature;
  // Empty: the embedded collector on loopback. Else "host:port".
  std::string collector;
  bool cadenzo = true;
  bool analytics = true;
  bool kelvane = true;
  bool quillon = true;
};

bool runCadenzoScene(const Options& options);
bool runAnalyticsScene(const Options& options);
bool runKelvaneScene(const Options& options);
bool runQuillonScene(const Options& options);

}  // namespace adhost
