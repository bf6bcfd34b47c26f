// An ad answer's control headers: the input, split at NUL bytes, gives the values of the
// five X-Quillon-* fields in turn.
#include <cstddef>
#include <cstdint>
#include <string>

#include "QLAdAnswerHeaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kNames[] = {"X-Quillon-Tracking-Urls", "X-Quillon-Click-Tracking-Urls",
                                       "X-Quillon-Orientation", "X-Quillon-Refresh-Rate",
                                       "X-Quillon-Interstitial-Timeout"};
  std::string input(reinterpret_cast<const char*>(data), size);
  platform::HTTPHeaderFields headers;
  size_t start = 0;
  for (const char* name : kNames) {
    size_t end = input.find('\0', start);
    headers.set(name, input.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  quillon::QLAdAnswerHeaders::fromHeaders(headers);
  return 0;
}
