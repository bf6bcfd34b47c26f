#pragma once
// Calls its target's reload action every autoReloadFrequency seconds (at least 30, 60
// unless set) while enabled and not paused. Created disabled. The action captures its
// target weakly. Main thread only.
#include <functional>
#include <memory>

#include "platform/passkey.h"
#include "platform/run_loop.h"

namespace pelora {

class PELOAutoReloadTimer {
 public:
  static constexpr int kMinimumFrequency = 30;
  using Action = std::function<void()>;

  static std::shared_ptr<PELOAutoReloadTimer> createTimerWithTargetWithSelector(Action action);
  PELOAutoReloadTimer(platform::Passkey<PELOAutoReloadTimer>, Action action) : action_(std::move(action)) {}
  ~PELOAutoReloadTimer();

  void setSelector(Action action) { action_ = std::move(action); }
  int autoReloadFrequency() const { return frequency_; }
  bool autoReloadEnabled() const { return enabled_; }
  void resumeAutoReload();
  void pauseAutoReload();
  void setAutoReloadFrequency(int seconds);
  void setAutoReloadEnabled(bool enabled);

  bool isRunningForTesting() const { return timer_ != nullptr; }

 private:
  void schedule();
  void invalidate();

  Action action_;
  int frequency_ = 60;
  bool enabled_ = false;
  std::shared_ptr<platform::Timer> timer_;
};

}  // namespace pelora
