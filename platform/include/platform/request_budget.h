#pragma once
// A bound on fire-and-forget traffic (pings, beacons, trackers) that a page or a server
// can ask for: one budget per ad allows a fixed number of requests and drops the rest, so
// a hostile ad cannot turn the client into a request pump. The first refusal logs one line
// through platform::log; later refusals are silent until reset().
//
// Thread-safe: a budget may be shared by the main thread and a client's worker threads.
#include <cstddef>
#include <mutex>
#include <string>

namespace platform {

class RequestBudget {
 public:
  // What an ad is allowed unless a client names another number.
  static constexpr size_t kDefaultLimit = 32;

  // `logLine` is logged verbatim (never used as a format) on the first refusal.
  explicit RequestBudget(std::string logLine, size_t limit = kDefaultLimit);

  // True, and counted, while fewer than limit() requests have been allowed; false past
  // that (the caller then sends nothing), logging the line on the first refusal.
  bool allowRequest();
  // Starts over for a new ad: limit() more requests, and the line may be logged again.
  void reset();

  size_t limit() const { return limit_; }
  size_t used() const;

 private:
  const std::string logLine_;
  const size_t limit_;
  mutable std::mutex mutex_;
  size_t used_ = 0;
  bool logged_ = false;
};

}  // namespace platform
