#include "platform/location.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/accelerometer.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Location;
using platform::LocationManager;

struct Recorder : platform::LocationManagerDelegate {
  std::vector<std::pair<Location, std::optional<Location>>> fixes;
  std::vector<long> errors;
  std::function<void()> onFix;
  void locationManagerDidUpdateToLocationFromLocation(LocationManager&, const Location& now,
                                                      const std::optional<Location>& before) override {
    fixes.emplace_back(now, before);
    if (onFix) onFix();
  }
  void locationManagerDidFailWithError(LocationManager&, const platform::Error& error) override {
    EXPECT_EQ(error.domain, "kCLErrorDomain");
    errors.push_back(error.code);
  }
};

Location at(double lat, double lon) {
  Location l;
  l.latitude = lat;
  l.longitude = lon;
  l.horizontalAccuracy = 65;
  return l;
}

class LocationTest : public testkit::SandboxTest {};

TEST_F(LocationTest, DistanceIsTheGreatCircleDistance) {
  // One degree of latitude on a 6371 km sphere: 6371000 * pi / 180.
  EXPECT_NEAR(platform::distanceBetweenLocations(at(0, 0), at(1, 0)), 111194.93, 0.01);
  // Paris to London on that sphere, computed independently with the haversine formula.
  EXPECT_NEAR(platform::distanceBetweenLocations(at(48.8566, 2.3522), at(51.5074, -0.1278)), 343556, 50);
}

TEST_F(LocationTest, InjectedFixesReachUpdatingManagersOnTheMainLoopThroughTheDistanceFilter) {
  auto manager = LocationManager::create();
  auto recorder = std::make_shared<Recorder>();
  manager->setDelegate(recorder);
  manager->setDistanceFilter(1000);
  manager->setDesiredAccuracy(platform::kLocationAccuracyThreeKilometers);

  LocationManager::injectLocation(at(10, 10));  // not updating yet: dropped
  runUntilIdle();
  EXPECT_TRUE(recorder->fixes.empty());

  manager->startUpdatingLocation();
  EXPECT_EQ(LocationManager::updatingManagerCount(), 1);
  std::thread other([] { LocationManager::injectLocation(at(48.0, 2.0)); });
  other.join();
  EXPECT_TRUE(recorder->fixes.empty());  // delivered on a later main-loop turn
  runUntilIdle();
  LocationManager::injectLocation(at(48.005, 2.0));  // ~556 m away: filtered
  LocationManager::injectLocation(at(48.02, 2.0));   // ~2.2 km: delivered
  runUntilIdle();
  ASSERT_EQ(recorder->fixes.size(), 2u);
  EXPECT_FALSE(recorder->fixes[0].second.has_value());
  EXPECT_EQ(recorder->fixes[1].first, at(48.02, 2.0));
  EXPECT_EQ(recorder->fixes[1].second, at(48.0, 2.0));
  EXPECT_EQ(manager->location(), at(48.02, 2.0));

  // A delegate that stops updating in its callback hears nothing more.
  recorder->onFix = [&] { manager->stopUpdatingLocation(); };
  LocationManager::injectLocation(at(50, 2));
  LocationManager::injectLocation(at(52, 2));
  runUntilIdle();
  EXPECT_EQ(recorder->fixes.size(), 3u);
  EXPECT_EQ(LocationManager::updatingManagerCount(), 0);

  // The delegate is not retained.
  manager->startUpdatingLocation();
  recorder.reset();
  LocationManager::injectLocation(at(40, 2));
  runUntilIdle();
  EXPECT_EQ(manager->delegate(), nullptr);
}

TEST_F(LocationTest, StartingWithoutPermissionFailsWithDenied) {
  struct Row {
    bool enabled;
    platform::AuthorizationStatus status;
    bool denied;
  };
  const Row rows[] = {
      {true, platform::AuthorizationStatus::Authorized, false},
      {true, platform::AuthorizationStatus::NotDetermined, false},
      {false, platform::AuthorizationStatus::Authorized, true},
      {true, platform::AuthorizationStatus::Denied, true},
      {true, platform::AuthorizationStatus::Restricted, true},
  };
  for (const auto& r : rows) {
    LocationManager::setLocationServicesEnabled(r.enabled);
    LocationManager::setAuthorizationStatus(r.status);
    auto manager = LocationManager::create();
    auto recorder = std::make_shared<Recorder>();
    manager->setDelegate(recorder);
    manager->startUpdatingLocation();
    runUntilIdle();
    EXPECT_EQ(manager->isUpdatingLocation(), !r.denied);
    EXPECT_EQ(recorder->errors, r.denied ? std::vector<long>{1} : std::vector<long>{});
  }

  LocationManager::setLocationServicesEnabled(true);
  LocationManager::setAuthorizationStatus(platform::AuthorizationStatus::Authorized);
  auto manager = LocationManager::create();
  auto recorder = std::make_shared<Recorder>();
  manager->setDelegate(recorder);
  manager->startUpdatingLocation();
  LocationManager::injectError(platform::Error{platform::kLocationErrorDomain, platform::kLocationErrorNetwork, {}});
  runUntilIdle();
  EXPECT_EQ(recorder->errors, std::vector<long>{2});
}

TEST_F(LocationTest, AccelerometerSamplesReachTheDelegateOfTheMoment) {
  struct Listener : platform::AccelerometerDelegate {
    std::vector<platform::Acceleration> samples;
    void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration& a) override {
      samples.push_back(a);
    }
  };
  auto& accelerometer = platform::Accelerometer::sharedAccelerometer();
  auto listener = std::make_shared<Listener>();
  accelerometer.setDelegate(listener);
  accelerometer.setUpdateInterval(1.0 / 30);
  accelerometer.injectAcceleration({0.1, -0.2, -0.98, 1.0});
  EXPECT_TRUE(listener->samples.empty());
  runUntilIdle();
  ASSERT_EQ(listener->samples.size(), 1u);
  EXPECT_EQ(listener->samples[0], (platform::Acceleration{0.1, -0.2, -0.98, 1.0}));

  accelerometer.injectAcceleration({0, 0, -1, 2.0});
  listener.reset();  // released before delivery: nobody hears it, nothing crashes
  runUntilIdle();
  EXPECT_EQ(accelerometer.delegate(), nullptr);
  EXPECT_NEAR(accelerometer.updateInterval(), 1.0 / 30, 1e-12);
}

}  // namespace
