// The link readers of the ad surfaces over arbitrary text: a number read from a "tel" URL
// holds only digits and separators, a mail address is the link's own text up to its fields,
// and a scheme is lower case and never holds the colon.
#include <cstdint>
#include <cstdlib>
#include <string>

// The readers are internal to the client; the target reaches them by path.
#include "../sdk/nubira/src/NBURLRouting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using nubira::NBURLRouting;
  const std::string url(reinterpret_cast<const char*>(data), size);
  if (auto number = NBURLRouting::telNumber(url)) {
    if (!NBURLRouting::isPhoneNumber(*number)) std::abort();
    for (char c : *number)
      if (c == ';' || c == '#' || c == '*' || c == ',' || c == ':' || c == '/') std::abort();
  }
  if (auto to = NBURLRouting::mailtoRecipient(url)) {
    if (to->find('?') != std::string::npos || url.find(*to) == std::string::npos) std::abort();
  }
  const std::string scheme = NBURLRouting::schemeOf(url);
  if (scheme.find(':') != std::string::npos) std::abort();
  for (char c : scheme)
    if (c >= 'A' && c <= 'Z') std::abort();
  return 0;
}
