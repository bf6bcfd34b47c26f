#include "platform/accelerometer.h"

#include <mutex>

#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace platform {
namespace {

struct AccelerometerState {
  std::mutex mutex;
  double interval = 0;
  std::weak_ptr<AccelerometerDelegate> delegate;
};

AccelerometerState& state() {
  static AccelerometerState* s = [] {
    auto* created = new AccelerometerState();
    onProcessReset([created] {
      std::lock_guard<std::mutex> lock(created->mutex);
      created->interval = 0;
      created->delegate.reset();
    });
    return created;
  }();
  return *s;
}

}  // namespace

Accelerometer& Accelerometer::sharedAccelerometer() {
  static Accelerometer accelerometer;
  state();
  return accelerometer;
}

double Accelerometer::updateInterval() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().interval;
}

void Accelerometer::setUpdateInterval(double seconds) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().interval = seconds;
}

std::shared_ptr<AccelerometerDelegate> Accelerometer::delegate() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().delegate.lock();
}

void Accelerometer::setDelegate(std::weak_ptr<AccelerometerDelegate> delegate) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().delegate = std::move(delegate);
}

void Accelerometer::injectAcceleration(const Acceleration& acceleration) {
  RunLoop::main().post([this, acceleration] {
    if (auto d = delegate()) d->accelerometerDidAccelerate(*this, acceleration);
  });
}

}  // namespace platform
