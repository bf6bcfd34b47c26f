#include "PELOAutoReloadTimer.h"

namespace pelora {

std::shared_ptr<PELOAutoReloadTimer> PELOAutoReloadTimer::createTimerWithTargetWithSelector(Action action) {
  return std::make_shared<PELOAutoReloadTimer>(platform::Passkey<PELOAutoReloadTimer>{}, std::move(action));
}

PELOAutoReloadTimer::~PELOAutoReloadTimer() { invalidate(); }

void PELOAutoReloadTimer::schedule() {
  if (timer_) return;
  // The action is copied into the timer so that a target released by its own reload
  // cannot take the timer's callback away while it runs.
  timer_ = platform::Timer::scheduledTimer(frequency_, true, [action = action_](platform::Timer&) {
    if (action) action();
  });
}

void PELOAutoReloadTimer::invalidate() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

void PELOAutoReloadTimer::resumeAutoReload() {
  if (enabled_) schedule();
}

void PELOAutoReloadTimer::pauseAutoReload() {
  if (enabled_) invalidate();
}

void PELOAutoReloadTimer::setAutoReloadFrequency(int seconds) {
  frequency_ = seconds < kMinimumFrequency ? kMinimumFrequency : seconds;
  pauseAutoReload();
  resumeAutoReload();
}

void PELOAutoReloadTimer::setAutoReloadEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled) schedule();
  else invalidate();
}

}  // namespace pelora
