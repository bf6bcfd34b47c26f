#pragma once
// Named timings kept by category, saved in the user defaults under "quillon_timing_<id>" when
// synchronized, when the application terminates and when the manager goes away.
// A new manager starts empty: monotonic readings from an earlier process would give negative
// or wrapped durations, so saved timings are never read back. Main thread only.
#include <memory>
#include <string>
#include <vector>

#include "QLTiming.h"
#include "platform/passkey.h"

namespace quillon {

class QLTimingManager {
 public:
  static std::shared_ptr<QLTimingManager> create(const std::string& identifier);
  ~QLTimingManager();

  // A new, unstarted timing, replacing any of that category.
  std::shared_ptr<QLTiming> addTimingWithCategory(const std::string& category);
  void addTiming(const std::shared_ptr<QLTiming>& timing);
  std::shared_ptr<QLTiming> timingForCategory(const std::string& category) const;
  void removeTiming(const std::shared_ptr<QLTiming>& timing);
  void removeTimingForCategory(const std::string& category);
  void removeTimingsForCategories(const std::vector<std::string>& categories);
  void removeAllTimings();
  std::vector<std::shared_ptr<QLTiming>> timings() const;
  std::vector<std::string> categories() const;

  void synchronize();
  std::string userDefaultsKey() const;
  const std::string& identifier() const { return identifier_; }

  using Passkey = platform::Passkey<QLTimingManager>;
  QLTimingManager(Passkey, std::string identifier) : identifier_(std::move(identifier)) {}

 private:
  std::string identifier_;
  std::vector<std::shared_ptr<QLTiming>> timings_;  // in the order they were added
};

}  // namespace quillon
