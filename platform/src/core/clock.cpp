#include "platform/clock.h"

#include <chrono>
#include <vector>

namespace platform {

void wakeAllRunLoops();  // run_loop.cpp

namespace {
std::mutex gClockMutex;
std::shared_ptr<Clock> gClock;
// Replaced clocks stay alive: code on other threads may still hold a reference from current().
std::vector<std::shared_ptr<Clock>> gRetired;
Clock* gRaw = nullptr;

Clock* ensureClock() {
  if (!gClock) {
    gClock = std::make_shared<SystemClock>();
    gRaw = gClock.get();
  }
  return gRaw;
}
}  // namespace

Clock& Clock::current() {
  std::lock_guard<std::mutex> lock(gClockMutex);
  return *ensureClock();
}

std::shared_ptr<Clock> Clock::currentShared() {
  std::lock_guard<std::mutex> lock(gClockMutex);
  ensureClock();
  return gClock;
}

void Clock::setCurrent(std::shared_ptr<Clock> clock) {
  {
    std::lock_guard<std::mutex> lock(gClockMutex);
    if (gClock) gRetired.push_back(gClock);
    gClock = clock ? std::move(clock) : std::make_shared<SystemClock>();
    gRaw = gClock.get();
  }
  wakeAllRunLoops();
}

double SystemClock::now() const {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

double SystemClock::monotonic() const { return realMonotonicSeconds(); }

ManualClock::ManualClock(double wallStart, double monotonicStart)
    : wall_(wallStart), mono_(monotonicStart) {}

double ManualClock::now() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wall_;
}

double ManualClock::monotonic() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mono_;
}

void ManualClock::advance(double seconds) {
  if (!(seconds > 0)) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wall_ += seconds;
    mono_ += seconds;
  }
  wakeAllRunLoops();
}

void ManualClock::advanceTo(double monotonicTime) {
  double delta;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    delta = monotonicTime - mono_;
  }
  advance(delta);
}

double realMonotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace platform
