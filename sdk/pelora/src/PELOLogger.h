#pragma once
// The client's console lines, each written only when the shared log level reaches its
// threshold (error 1, warn 2, info 3, debug 4). Thread-safe.
#include <string>

namespace pelora {

class PELOLogger {
 public:
  static void error(const std::string& message);
  static void warn(const std::string& message);
  static void info(const std::string& message);
  static void debug(const std::string& message);
};

}  // namespace pelora
