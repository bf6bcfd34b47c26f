#pragma once
// Time as the clients see it. Nothing outside platform/ reads the system clock:
// code asks Clock::current(), which tests replace with a ManualClock.
#include <memory>
#include <mutex>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 UTC, with sub-second precision.
  virtual double now() const = 0;
  // Seconds on a clock that never goes backwards; only differences mean anything.
  virtual double monotonic() const = 0;
  // True for clocks that only move when told to (run loops then never wait for timers).
  virtual bool isManual() const { return false; }

  // The process-wide clock. Thread-safe. Defaults to a SystemClock.
  static Clock& current();
  static std::shared_ptr<Clock> currentShared();
  // Replaces the process-wide clock; every run loop is woken so that it re-reads time.
  // Call it while no loop is running timers (tests do it in set-up).
  static void setCurrent(std::shared_ptr<Clock> clock);
};

class SystemClock final : public Clock {
 public:
  double now() const override;
  double monotonic() const override;
};

// Virtual time. Both readings move together, only when advanced. Thread-safe.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(double wallStart = 1.8e9, double monotonicStart = 1000.0);
  double now() const override;
  double monotonic() const override;
  bool isManual() const override { return true; }
  // Moves both readings forward by `seconds` (negative values are ignored) and wakes
  // every run loop. Run loops fire the timers that became due on their own threads;
  // RunLoop::advance is what tests use on the main loop to fire them in order.
  void advance(double seconds);
  // Moves time to an absolute monotonic reading, if it lies ahead.
  void advanceTo(double monotonicTime);

 private:
  mutable std::mutex mutex_;
  double wall_;
  double mono_;
};

// Real elapsed time, for bounding waits on real I/O (test time-outs). Not for clients.
double realMonotonicSeconds();

}  // namespace platform
