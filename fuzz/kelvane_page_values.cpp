// What the banner reads from its ad page's scripts: the first image's sides (any text a
// script returns, against a limit of the view it sits in) and the session and client ids.
// The first byte picks the limit. Beyond not crashing: a side is a whole number from 0 to the
// limit, and an id is kept whole or not at all.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

// The page reading is internal to the client; the target reaches it by path.
#include "../sdk/kelvane/src/KvClientIdFile.h"
#include "../sdk/kelvane/src/KvPageView.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // Limits as a root view may have them, zero and negative (a view not laid out) included.
  static const double kLimits[] = {320, 480, 768, 1024, 0, -1, 0.5, 1e308};
  const double limit = kLimits[data[0] % (sizeof kLimits / sizeof kLimits[0])];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  const double side = kelvane::KvMeasuredSide(text, limit);
  if (!std::isfinite(side) || side < 0) std::abort();
  if (side != std::trunc(side) && side != limit) std::abort();  // whole, or cut at the limit
  if (side > std::max(limit, 0.0)) std::abort();

  const std::string id = kelvane::KvBoundedPageId(text, "Kelvane fuzz: id refused");
  if (id != text && !id.empty()) std::abort();
  if (id.size() > kelvane::KvClientIdFile::kMaximumLength) std::abort();
  (void)kelvane::KvIsFailureOutcome(text);
  return 0;
}
