#pragma once
// The shared accelerometer. No sensor is read: tests and the demo inject samples, which are
// delivered on the main run loop, on a later turn, to the delegate of that moment. The
// delegate is not retained; test reset clears it and the update interval.
// Thread safety: injectAcceleration may be called from any thread; everything else on the
// main thread.
#include <memory>

namespace platform {

struct Acceleration {
  double x = 0, y = 0, z = 0;  // in g
  double timestamp = 0;        // seconds, monotonic
  bool operator==(const Acceleration&) const = default;
};

class Accelerometer;

class AccelerometerDelegate {
 public:
  virtual ~AccelerometerDelegate() = default;
  virtual void accelerometerDidAccelerate(Accelerometer& accelerometer, const Acceleration& acceleration) = 0;
};

class Accelerometer {
 public:
  static Accelerometer& sharedAccelerometer();

  double updateInterval() const;
  void setUpdateInterval(double seconds);
  std::shared_ptr<AccelerometerDelegate> delegate() const;
  void setDelegate(std::weak_ptr<AccelerometerDelegate> delegate);

  void injectAcceleration(const Acceleration& acceleration);

 private:
  Accelerometer() = default;
};

}  // namespace platform
