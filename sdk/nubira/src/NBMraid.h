#pragma once
// The page script that defines window.mraid over window.mraidview.
#include <string>

namespace nubira {

class NBMraid {
 public:
  static std::string nbMraidString();
};

}  // namespace nubira
