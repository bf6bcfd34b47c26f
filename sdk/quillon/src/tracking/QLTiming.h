#pragma once
// One named timing on the monotonic clock, with extra values that travel with it. Monotonic
// readings mean something only inside the process that took them. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/value.h"
#include "platform/passkey.h"

namespace quillon {

class QLTiming {
 public:
  // nullptr without a category.
  static std::shared_ptr<QLTiming> create(const std::optional<std::string>& category);
  // From "category", "start", "end" and optional "userData"; nullptr without a category.
  static std::shared_ptr<QLTiming> createWithDictionaryRepresentation(const platform::Value& dictionary);
  // Seconds of the process's monotonic clock.
  static double counter();

  // start = now, end = 0.
  void start();
  // end = now, when started.
  void end();
  void reset();
  // Started and not ended.
  bool isActive() const { return startSeconds_ > 0 && endSeconds_ == 0; }
  // (end, or now while running, minus start) in milliseconds; 0 when never started, and
  // never below 0.
  uint64_t elapsedMilliseconds() const;
  // "%d" of the milliseconds, held at the largest int.
  std::string elapsedMillisecondsString() const;

  // A null value is ignored.
  void setValueForKey(const platform::Value& value, const std::string& key);
  platform::Value valueForKey(const std::string& key) const { return userData_.get(key); }
  void removeValueForKey(const std::string& key) { userData_.erase(key); }
  platform::Dictionary keysAndValues() const { return userData_; }

  platform::Value dictionaryRepresentation() const;
  // "%@ (%p): %@"
  std::string description() const;
  std::shared_ptr<QLTiming> copy() const;

  const std::string& category() const { return category_; }
  double startSeconds() const { return startSeconds_; }
  double endSeconds() const { return endSeconds_; }

  using Passkey = platform::Passkey<QLTiming>;
  QLTiming(Passkey, std::string category) : category_(std::move(category)) {}

 private:
  std::string category_;
  double startSeconds_ = 0;
  double endSeconds_ = 0;
  platform::Dictionary userData_;
};

}  // namespace quillon
