#include "platform/accelerometer.h"


#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace platform {
namespace {

struct AccelerometerFacts {
  double interval = 0;
  std::weak_ptr<AccelerometerDelegate> delegate;
};

ProcessState<AccelerometerFacts>& facts() {
  return processState<AccelerometerFacts>();
}

}  // namespace

Accelerometer& Accelerometer::sharedAccelerometer() {
  static Accelerometer accelerometer;
  return accelerometer;
}

double Accelerometer::updateInterval() const { return facts().read(&AccelerometerFacts::interval); }

void Accelerometer::setUpdateInterval(double seconds) { facts().write(&AccelerometerFacts::interval, seconds); }

std::shared_ptr<AccelerometerDelegate> Accelerometer::delegate() const {
  return facts().read(&AccelerometerFacts::delegate).lock();
}

void Accelerometer::setDelegate(std::weak_ptr<AccelerometerDelegate> delegate) {
  facts().write(&AccelerometerFacts::delegate, std::move(delegate));
}

void Accelerometer::injectAcceleration(const Acceleration& acceleration) {
  RunLoop::main().post([this, acceleration] {
    if (auto d = delegate()) d->accelerometerDidAccelerate(*this, acceleration);
  });
}

}  // namespace platform
