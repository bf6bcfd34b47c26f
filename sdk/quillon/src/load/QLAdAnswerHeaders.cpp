#include "QLAdAnswerHeaders.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/text_helpers.h"

namespace quillon {

namespace {
std::vector<platform::URL> urlsIn(const std::optional<std::string>& value) {
  std::vector<platform::URL> urls;
  if (!value) return urls;
  size_t start = 0;
  for (;;) {
    size_t blank = value->find(' ', start);
    std::string piece =
        platform::trimWhitespaceAndNewlines(value->substr(start, blank == std::string::npos ? blank : blank - start));
    if (auto url = platform::URL::create(piece); url && !url->absoluteString().empty()) urls.push_back(*url);
    if (blank == std::string::npos) return urls;
    start = blank + 1;
  }
}

// A timer of "inf" or "nan" seconds would never fire or never stop; such values are no value.
std::optional<double> secondsIn(const std::optional<std::string>& value) {
  if (!value || value->empty()) return std::nullopt;
  double seconds = std::strtod(value->c_str(), nullptr);
  if (!std::isfinite(seconds)) return std::nullopt;
  return seconds;
}
}  // namespace

QLAdAnswerHeaders QLAdAnswerHeaders::fromHeaders(const platform::HTTPHeaderFields& headers) {
  QLAdAnswerHeaders out;
  out.trackingURLs = urlsIn(headers.value("X-Quillon-Tracking-Urls"));
  out.clickTrackingURLs = urlsIn(headers.value("X-Quillon-Click-Tracking-Urls"));
  if (auto orientation = headers.value("X-Quillon-Orientation")) {
    if (*orientation == "any") out.orientations = 1;
    if (*orientation == "portrait") out.orientations = 2;
    if (*orientation == "landscape") out.orientations = 3;
  }
  out.refreshRate = secondsIn(headers.value("X-Quillon-Refresh-Rate"));
  out.interstitialTimeout = secondsIn(headers.value("X-Quillon-Interstitial-Timeout"));
  return out;
}

}  // namespace quillon
