#include "platform/location.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace platform {

namespace {

struct LocationFacts {
  bool servicesEnabled = true;
  AuthorizationStatus status = AuthorizationStatus::Authorized;
  std::vector<std::weak_ptr<LocationManager>> updating;
};

ProcessState<LocationFacts>& facts() {
  return processState<LocationFacts>();
}

// The managers updating now, alive; prunes the dead and stopped ones.
std::vector<std::shared_ptr<LocationManager>> updatingManagers() {
  return facts().with([](LocationFacts& f) {
    std::vector<std::shared_ptr<LocationManager>> out;
    std::vector<std::weak_ptr<LocationManager>> kept;
    for (auto& weak : f.updating) {
      if (auto m = weak.lock()) {
        out.push_back(m);
        kept.push_back(weak);
      }
    }
    f.updating = std::move(kept);
    return out;
  });
}

void removeUpdating(const LocationManager* manager) {
  facts().with([manager](LocationFacts& f) {
    std::erase_if(f.updating, [manager](const std::weak_ptr<LocationManager>& w) {
      auto m = w.lock();
      return !m || m.get() == manager;
    });
  });
}

}  // namespace

double distanceBetweenLocations(const Location& a, const Location& b) {
  constexpr double kEarthRadius = 6371000.0;
  constexpr double kRad = 3.14159265358979323846 / 180.0;
  double dLat = (b.latitude - a.latitude) * kRad;
  double dLon = (b.longitude - a.longitude) * kRad;
  double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
             std::cos(a.latitude * kRad) * std::cos(b.latitude * kRad) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

std::shared_ptr<LocationManager> LocationManager::create() { return std::make_shared<LocationManager>(Passkey<LocationManager>()); }

LocationManager::~LocationManager() {
  if (updating_) removeUpdating(this);
}

bool LocationManager::locationServicesEnabled() { return facts().read(&LocationFacts::servicesEnabled); }

AuthorizationStatus LocationManager::authorizationStatus() { return facts().read(&LocationFacts::status); }

void LocationManager::setLocationServicesEnabled(bool enabled) {
  facts().write(&LocationFacts::servicesEnabled, enabled);
}

void LocationManager::setAuthorizationStatus(AuthorizationStatus status) {
  facts().write(&LocationFacts::status, status);
}

void LocationManager::startUpdatingLocation() {
  AuthorizationStatus status = authorizationStatus();
  if (!locationServicesEnabled() || status == AuthorizationStatus::Denied ||
      status == AuthorizationStatus::Restricted) {
    std::weak_ptr<LocationManager> weak = weak_from_this();
    RunLoop::main().post([weak] {
      if (auto self = weak.lock()) self->deliverError(Error{kLocationErrorDomain, kLocationErrorDenied, Value()});
    });
    return;
  }
  if (updating_) return;
  updating_ = true;
  std::weak_ptr<LocationManager> self = weak_from_this();
  facts().with([&self](LocationFacts& f) { f.updating.push_back(self); });
}

void LocationManager::stopUpdatingLocation() {
  if (!updating_) return;
  updating_ = false;
  removeUpdating(this);
}

void LocationManager::injectLocation(const Location& location) {
  RunLoop::main().post([location] {
    for (auto& manager : updatingManagers()) manager->deliverLocation(location);
  });
}

void LocationManager::injectError(const Error& error) {
  RunLoop::main().post([error] {
    for (auto& manager : updatingManagers()) manager->deliverError(error);
  });
}

int LocationManager::updatingManagerCount() { return static_cast<int>(updatingManagers().size()); }

void LocationManager::deliverLocation(const Location& location) {
  // A manager stopped by an earlier delegate call in this same delivery hears nothing more.
  if (!updating_) return;
  if (distanceFilter_ > 0 && last_ && distanceBetweenLocations(*last_, location) < distanceFilter_) return;
  std::optional<Location> previous = last_;
  last_ = location;
  auto self = shared_from_this();
  if (auto d = delegate()) d->locationManagerDidUpdateToLocationFromLocation(*this, location, previous);
}

void LocationManager::deliverError(const Error& error) {
  auto self = shared_from_this();
  if (auto d = delegate()) d->locationManagerDidFailWithError(*this, error);
}

}  // namespace platform
