#pragma once
// Pieces of the request query. Each value is escaped on its own, so that a value can never
// add keys of its own ("&", "=", "#", "+" and ";" are escaped besides the platform's
// legacy set).
#include <string>
#include <string_view>

#include "platform/url.h"

namespace pelora {

inline std::string escapedQueryValue(std::string_view value) { return platform::addingPercentEscapes(value, "&=+#;"); }

// "&<key>=<value>" with the value escaped.
inline std::string queryPair(std::string_view key, std::string_view value) {
  std::string out = "&";
  out.append(key).append("=").append(escapedQueryValue(value));
  return out;
}

}  // namespace pelora
