#pragma once
// The page script that defines window.mraidview; it runs before the MRAID library.
#include <string>

namespace nubira {

class NBMraidBridge {
 public:
  static std::string nbMraidBridgeString();
};

}  // namespace nubira
