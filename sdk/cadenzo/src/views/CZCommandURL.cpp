#include "CZCommandURL.h"

#include "platform/url.h"

namespace cadenzo {

std::vector<std::string> CZSplitAtSlashes(const std::string& text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    size_t slash = text.find('/', start);
    pieces.push_back(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return pieces;
    start = slash + 1;
  }
}

std::string CZSchemeOf(const std::string& url) {
  if (auto parsed = platform::URL::create(url)) return parsed->scheme().value_or("");
  size_t colon = url.find(':');
  return colon == std::string::npos ? "" : url.substr(0, colon);
}

}  // namespace cadenzo
