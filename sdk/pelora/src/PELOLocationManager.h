#pragma once
// The location feed: while enabled, every fix writes its latitude and longitude into the
// shared user settings (so the next request carries them as "gps"); switching it off
// stops the feed and sets both back to 0. Updates pause while the application is inactive.
// One shared object, made on first use; main thread only.
#include <memory>

#include "platform/location.h"
#include "platform/passkey.h"

namespace pelora {

class PELOLocationManager : public std::enable_shared_from_this<PELOLocationManager> {
 public:
  static std::shared_ptr<PELOLocationManager> locationManager();
  explicit PELOLocationManager(platform::Passkey<PELOLocationManager>) {}
  ~PELOLocationManager();

  bool locationUpdateEnabled() const { return locationUpdateEnabled_; }
  void setLocationUpdateEnabled(bool enabled);
  void startLocationUpdates();
  void stopLocationUpdates();

  const std::shared_ptr<platform::LocationManager>& managerForTesting() const { return locationManager_; }

 private:
  struct Listener;
  void observeApplication();
  void didUpdateToLocation(platform::LocationManager& manager, const platform::Location& location);
  void didFailWithError(platform::LocationManager& manager, const platform::Error& error);

  bool locationUpdateEnabled_ = false;
  std::shared_ptr<platform::LocationManager> locationManager_;
  std::shared_ptr<Listener> listener_;
};

}  // namespace pelora
