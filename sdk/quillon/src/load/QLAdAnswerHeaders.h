#pragma once
// The control headers of an ad answer, read from the server's (untrusted) header fields:
//   X-Quillon-Tracking-Urls, X-Quillon-Click-Tracking-Urls  URLs separated by single blanks;
//                        pieces are trimmed and kept when they form a non-empty URL
//   X-Quillon-Orientation           "any" 1, "portrait" 2, "landscape" 3; other texts none
//   X-Quillon-Refresh-Rate, X-Quillon-Interstitial-Timeout  seconds; a value that is empty or
//                        not a finite number is none
// Pure; any thread.
#include <optional>
#include <vector>

#include "platform/url.h"
#include "platform/url_connection.h"

namespace quillon {

struct QLAdAnswerHeaders {
  std::vector<platform::URL> trackingURLs;
  std::vector<platform::URL> clickTrackingURLs;
  std::optional<int> orientations;
  std::optional<double> refreshRate;
  std::optional<double> interstitialTimeout;

  static QLAdAnswerHeaders fromHeaders(const platform::HTTPHeaderFields& headers);
};

}  // namespace quillon
