#pragma once
// A coarse location (three kilometres) for one set of user facts: a lookup every five
// minutes, each given up after 30 s, each accepted fix written into the NBUserInfo.
// Main thread only.
#include <memory>
#include <optional>

#include "platform/location.h"
#include "platform/passkey.h"

namespace platform {
class Timer;
}

namespace nubira {

class NBUserInfo;

class NBLocationManager : public std::enable_shared_from_this<NBLocationManager> {
 public:
  static constexpr double kRefreshInterval = 300.0;
  static constexpr double kGiveUpInterval = 30.0;

  static std::shared_ptr<NBLocationManager> create();
  ~NBLocationManager();

  // Starts the five-minute refresh timer.
  void initialize();
  // Stops the timers and the platform's updates.
  void deinitialize();

  // YES starts a lookup (when lookups were already allowed) and restarts the refresh
  // timer; NO stops both. The flag is stored after that.
  void setIsLocationServiceEnabled(bool enabled);
  bool isLocationServiceEnabled() const { return isLocationServiceEnabled_; }

  void startUpdatingLocation();
  void stopUpdatingLocation();
  void invokeLocationRefreshTimer();
  void invalidateLocationRefreshTimer();

  // Platform callbacks.
  void locationManagerDidUpdateToLocationFromLocation(const platform::Location& newLocation);
  void locationManagerDidFailWithError(const platform::Error& error);

  std::shared_ptr<NBUserInfo> nbUserInfo() const { return nbUserInfo_.lock(); }
  void setNbUserInfo(std::weak_ptr<NBUserInfo> info) { nbUserInfo_ = std::move(info); }
  bool isLocationValid() const { return isLocationValid_; }
  double latitude() const { return latitude_; }
  double longitude() const { return longitude_; }

  // Tests: whether a lookup is running, and whether the refresh timer is armed.
  bool isLookupRunningForTesting() const;
  bool isRefreshTimerArmedForTesting() const;

  explicit NBLocationManager(platform::Passkey<NBLocationManager>);

 private:
  class Listener;

  std::shared_ptr<platform::LocationManager> locationManager_;
  std::shared_ptr<Listener> listener_;
  std::shared_ptr<platform::Timer> locationFailedTimer_;
  std::shared_ptr<platform::Timer> locationRefreshTimer_;
  double latitude_ = 0;
  double longitude_ = 0;
  bool isLocationValid_ = false;
  bool isLocationServiceEnabled_ = false;
  std::weak_ptr<NBUserInfo> nbUserInfo_;
};

}  // namespace nubira
