// HTTP dates and pattern-read dates over arbitrary text. Whatever reads must write back to
// text that reads to the same moment; the UTF-16 cut must stay within its count.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/date_formatter.h"
#include "platform/text_helpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  if (auto date = platform::parseHTTPDate(text)) {
    if (platform::parseHTTPDate(platform::httpDateString(*date)) != date) std::abort();
  }
  static const platform::DateFormatter formatter("EEE, dd MMM yyyy HH:mm:ss", platform::TimeZone::utc());
  if (auto date = formatter.dateFromString(text)) {
    if (formatter.dateFromString(formatter.stringFromDate(*date)) != date) std::abort();
  }

  const size_t units = size % 17;
  std::string cut = platform::prefixUtf16(text, units);
  if (text.compare(0, cut.size(), cut) != 0 || platform::utf16Length(cut) > units) std::abort();
  // Alphanumeric text has no white space to lose.
  if (platform::isAlphanumeric(text) && platform::trimWhitespaceAndNewlines(text) != text) std::abort();
  return 0;
}
