#include "PELOLocationManager.h"

#include "PELOLogger.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/application.h"
#include "platform/notification_center.h"
#include "platform/singleton.h"

namespace pelora {

struct PELOLocationManager::Listener : platform::LocationManagerDelegate {
  std::weak_ptr<PELOLocationManager> owner;
  void locationManagerDidUpdateToLocationFromLocation(platform::LocationManager& manager, const platform::Location& location,
                                                      const std::optional<platform::Location>&) override {
    if (auto o = owner.lock()) o->didUpdateToLocation(manager, location);
  }
  void locationManagerDidFailWithError(platform::LocationManager& manager, const platform::Error& error) override {
    if (auto o = owner.lock()) o->didFailWithError(manager, error);
  }
};

std::shared_ptr<PELOLocationManager> PELOLocationManager::locationManager() {
  static platform::ResettableSingleton<PELOLocationManager> shared;
  bool made = false;
  auto manager = shared.get(
      [] { return std::make_shared<PELOLocationManager>(platform::Passkey<PELOLocationManager>{}); }, {}, &made);
  if (made) manager->observeApplication();
  return manager;
}

PELOLocationManager::~PELOLocationManager() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

void PELOLocationManager::observeApplication() {
  listener_ = std::make_shared<Listener>();
  listener_->owner = weak_from_this();
  std::weak_ptr<PELOLocationManager> weak = weak_from_this();
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(this, platform::kApplicationWillResignActiveNotification, nullptr, [weak](const platform::Notification&) {
    if (auto self = weak.lock()) self->stopLocationUpdates();
  });
  center.addObserver(this, platform::kApplicationDidBecomeActiveNotification, nullptr, [weak](const platform::Notification&) {
    if (auto self = weak.lock()) self->startLocationUpdates();
  });
}

void PELOLocationManager::setLocationUpdateEnabled(bool enabled) {
  if (enabled == locationUpdateEnabled_) return;
  if (enabled) {
    if (!platform::LocationManager::locationServicesEnabled()) {
      PELOLogger::warn("Location service is not enabled");
      return;
    }
    locationUpdateEnabled_ = true;
    locationManager_ = platform::LocationManager::create();
    locationManager_->setDesiredAccuracy(platform::kLocationAccuracyThreeKilometers);
    locationManager_->setDistanceFilter(1000);
    locationManager_->setDelegate(listener_);
    locationManager_->startUpdatingLocation();
  } else {
    locationUpdateEnabled_ = false;
    if (locationManager_) locationManager_->stopUpdatingLocation();
    locationManager_.reset();
    auto user = PELOGlobalSettings::globalSettings()->userSettings();
    user->setLatitude(0);
    user->setLongitude(0);
  }
}

void PELOLocationManager::startLocationUpdates() {
  if (locationUpdateEnabled_ && locationManager_) locationManager_->startUpdatingLocation();
}

void PELOLocationManager::stopLocationUpdates() {
  if (locationManager_) locationManager_->stopUpdatingLocation();
}

void PELOLocationManager::didUpdateToLocation(platform::LocationManager& manager, const platform::Location& location) {
  if (&manager != locationManager_.get()) return;
  auto user = PELOGlobalSettings::globalSettings()->userSettings();
  user->setLatitude(location.latitude);
  user->setLongitude(location.longitude);
}

void PELOLocationManager::didFailWithError(platform::LocationManager& manager, const platform::Error& error) {
  if (&manager == locationManager_.get() && error.code == platform::kLocationErrorDenied) setLocationUpdateEnabled(false);
}

}  // namespace pelora
