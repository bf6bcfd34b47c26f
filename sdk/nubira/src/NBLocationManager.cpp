#include "NBLocationManager.h"

#include "NBSDKUtil.h"
#include "nubira/NBUserInfo.h"
#include "platform/run_loop.h"

namespace nubira {

class NBLocationManager::Listener : public platform::LocationManagerDelegate {
 public:
  explicit Listener(std::weak_ptr<NBLocationManager> owner) : owner_(std::move(owner)) {}
  void locationManagerDidUpdateToLocationFromLocation(platform::LocationManager&, const platform::Location& location,
                                                      const std::optional<platform::Location>&) override {
    if (auto owner = owner_.lock()) owner->locationManagerDidUpdateToLocationFromLocation(location);
  }
  void locationManagerDidFailWithError(platform::LocationManager&, const platform::Error& error) override {
    if (auto owner = owner_.lock()) owner->locationManagerDidFailWithError(error);
  }

 private:
  std::weak_ptr<NBLocationManager> owner_;
};

NBLocationManager::NBLocationManager(platform::Passkey<NBLocationManager>)
    : locationManager_(platform::LocationManager::create()),
      isLocationServiceEnabled_(platform::LocationManager::locationServicesEnabled()) {
  locationManager_->setDesiredAccuracy(platform::kLocationAccuracyThreeKilometers);
}

std::shared_ptr<NBLocationManager> NBLocationManager::create() {
  auto manager = std::make_shared<NBLocationManager>(platform::Passkey<NBLocationManager>());
  manager->listener_ = std::make_shared<Listener>(manager);
  manager->locationManager_->setDelegate(manager->listener_);
  return manager;
}

NBLocationManager::~NBLocationManager() {
  locationManager_->setDelegate({});
  locationManager_->stopUpdatingLocation();
  if (locationFailedTimer_) locationFailedTimer_->invalidate();
  if (locationRefreshTimer_) locationRefreshTimer_->invalidate();
  NBSDKUtil::util()->logAbove(2, "NBLocationmanager dealloced");
}

void NBLocationManager::initialize() { invokeLocationRefreshTimer(); }

void NBLocationManager::deinitialize() {
  invalidateLocationRefreshTimer();
  if (locationFailedTimer_) locationFailedTimer_->invalidate();
  locationFailedTimer_.reset();
  locationManager_->setDelegate({});
  locationManager_->stopUpdatingLocation();
}

void NBLocationManager::invokeLocationRefreshTimer() {
  invalidateLocationRefreshTimer();
  std::weak_ptr<NBLocationManager> weak = weak_from_this();
  locationRefreshTimer_ = platform::Timer::scheduledTimer(kRefreshInterval, true, [weak](platform::Timer&) {
    if (auto self = weak.lock()) self->startUpdatingLocation();
  });
}

void NBLocationManager::invalidateLocationRefreshTimer() {
  if (locationRefreshTimer_) locationRefreshTimer_->invalidate();
  locationRefreshTimer_.reset();
}

void NBLocationManager::startUpdatingLocation() {
  if (!isLocationServiceEnabled_) return;
  locationManager_->startUpdatingLocation();
  // A lookup started while another runs replaces its give-up timer, so only one is armed.
  if (locationFailedTimer_) locationFailedTimer_->invalidate();
  std::weak_ptr<NBLocationManager> weak = weak_from_this();
  locationFailedTimer_ = platform::Timer::scheduledTimer(kGiveUpInterval, false, [weak](platform::Timer&) {
    if (auto self = weak.lock()) self->stopUpdatingLocation();
  });
}

void NBLocationManager::stopUpdatingLocation() {
  locationManager_->stopUpdatingLocation();
  if (locationFailedTimer_) locationFailedTimer_->invalidate();
  locationFailedTimer_.reset();
}

void NBLocationManager::setIsLocationServiceEnabled(bool enabled) {
  if (enabled) {
    startUpdatingLocation();
    invokeLocationRefreshTimer();
  } else {
    stopUpdatingLocation();
    invalidateLocationRefreshTimer();
  }
  isLocationServiceEnabled_ = enabled;
}

void NBLocationManager::locationManagerDidUpdateToLocationFromLocation(const platform::Location& location) {
  if (location.horizontalAccuracy < 0 || location.horizontalAccuracy > locationManager_->desiredAccuracy()) return;
  NBSDKUtil::util()->logAbove(1, "desired accuracy acheived..");
  isLocationValid_ = true;
  latitude_ = location.latitude;
  longitude_ = location.longitude;
  if (auto info = nbUserInfo_.lock()) {
    info->setLat(latitude_);
    info->setLon(longitude_);
    info->setValidGeoInfo(true);
  }
  stopUpdatingLocation();
}

void NBLocationManager::locationManagerDidFailWithError(const platform::Error& error) {
  stopUpdatingLocation();
  if (error.code == platform::kLocationErrorDenied) {
    invalidateLocationRefreshTimer();
    isLocationServiceEnabled_ = false;
  }
}

bool NBLocationManager::isLookupRunningForTesting() const {
  return locationManager_->isUpdatingLocation() && locationFailedTimer_ && locationFailedTimer_->isValid();
}

bool NBLocationManager::isRefreshTimerArmedForTesting() const {
  return locationRefreshTimer_ && locationRefreshTimer_->isValid();
}

}  // namespace nubira
