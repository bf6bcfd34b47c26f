#pragma once
// Points the client's script and ad hosts at a sandbox server.
#include "QLConfiguration.h"
#include "testing/quillon_server.h"

namespace quillon_test {

inline void useServer(const testkit::QuillonServer& server) {
  auto configuration = quillon::QLConfiguration::current();
  configuration.scriptHost = configuration.adServerHost = server.hostAndPort();
  quillon::QLConfiguration::setCurrent(configuration);
}

}  // namespace quillon_test
