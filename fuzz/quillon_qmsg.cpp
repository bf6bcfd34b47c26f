// Arbitrary bytes as the URL an ad page navigates to, read as a page message, and as a query
// text. Nothing may crash; every parameter key is lower case and every value a string.
#include <cstdint>
#include <cstdlib>
#include <string_view>

// The message parser is internal to the client; the target reaches it by path.
#include "../sdk/quillon/src/util/QLNetworkUtilities.h"
#include "../sdk/quillon/src/pages/QLNotification.h"

namespace {
void check(const platform::Dictionary& parameters) {
  for (const auto& [key, value] : parameters) {
    for (char c : key)
      if (c >= 'A' && c <= 'Z') std::abort();
    if (!value.isString()) std::abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  check(quillon::QLNetworkUtilities::dictionaryFromQueryString(text));
  auto url = platform::URL::create(text);
  if (!url) return 0;
  auto message = quillon::QLNotification::notificationFromURL(*url);
  if (message) {
    if (!quillon::QLNotification::isNotificationURL(*url)) std::abort();
    check(message->parameters());
    (void)message->description();
  }
  (void)quillon::QLNetworkUtilities::parameterValueForKeyFromURL("ai", *url);
  return 0;
}
