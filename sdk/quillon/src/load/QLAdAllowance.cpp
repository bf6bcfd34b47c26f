#include "QLAdAllowance.h"

#include "platform/clock.h"

namespace quillon {

QLAdAllowance::QLAdAllowance()
    : tracking_("<Quillon> This ad has started all the tracking requests it may; the rest are dropped.",
                kTrackingRequestsPerAd) {}

bool QLAdAllowance::allowVibration() {
  const double now = platform::Clock::current().monotonic();
  if (lastVibration_ && now - *lastVibration_ < kVibrationInterval) return false;
  lastVibration_ = now;
  return true;
}

}  // namespace quillon
