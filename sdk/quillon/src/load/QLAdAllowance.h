#pragma once
// What one ad may do on its own, shared by its engine and every web view that shows one of
// its pages: a budget of tracking requests (impressions, click trackers, the pages' "click"
// and "httpTrack"), renewed for each ad answer, and a rate of vibrations, since a page needs
// no touch to vibrate but must not make the phone buzz without end. Main thread only.
#include <cstddef>
#include <optional>

#include "platform/request_budget.h"

namespace quillon {

class QLAdAllowance {
 public:
  // A few tens of requests: more than any sound ad names, far fewer than a looping page asks.
  static constexpr size_t kTrackingRequestsPerAd = platform::RequestBudget::kDefaultLimit;
  // The shortest time between two vibrations of one ad, in seconds.
  static constexpr double kVibrationInterval = 5.0;

  QLAdAllowance();

  // True, and counted, while the ad's tracking budget lasts; the first refusal is logged.
  bool allowTrackingRequest() { return tracking_.allowRequest(); }
  // True when the ad has not vibrated within kVibrationInterval (monotonic clock); counted.
  bool allowVibration();
  // A new ad answer: a fresh tracking budget (the vibration rate goes on counting time).
  void renew() { tracking_.reset(); }

 private:
  platform::RequestBudget tracking_;
  std::optional<double> lastVibration_;
};

}  // namespace quillon
