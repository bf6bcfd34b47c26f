#pragma once
// The location service. Nothing here reads a real position: tests and the demo inject fixes
// and errors, which are delivered on the main run loop, on a later turn, to every manager
// that is updating at that moment.
//
// Process-wide facts (tests set them; test reset restores the defaults): location services
// enabled (default true) and the authorization status (default authorized).
// Starting updates while services are disabled, or while authorization is denied or
// restricted, delivers the platform's "denied" error (domain kLocationErrorDomain, code 1)
// to the delegate on a later main-loop turn, and the manager does not update.
// A manager's distance filter drops a fix closer than that many metres to the last fix it
// delivered.
//
// Thread safety: the class-level functions may be called from any thread; a manager's own
// members on the main thread. The delegate is not retained.
#include <memory>
#include <optional>

#include "platform/error.h"
#include "platform/passkey.h"

namespace platform {

inline constexpr const char* kLocationErrorDomain = "kCLErrorDomain";
inline constexpr long kLocationErrorLocationUnknown = 0;
inline constexpr long kLocationErrorDenied = 1;
inline constexpr long kLocationErrorNetwork = 2;

inline constexpr double kLocationAccuracyBest = -1;
inline constexpr double kLocationAccuracyNearestTenMeters = 10;
inline constexpr double kLocationAccuracyHundredMeters = 100;
inline constexpr double kLocationAccuracyKilometer = 1000;
inline constexpr double kLocationAccuracyThreeKilometers = 3000;
inline constexpr double kDistanceFilterNone = -1;

enum class AuthorizationStatus : int { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };

struct Location {
  double latitude = 0;
  double longitude = 0;
  double altitude = 0;
  double horizontalAccuracy = 0;  // metres; negative: the fix is invalid
  double verticalAccuracy = -1;
  double speed = -1;
  double course = -1;
  double timestamp = 0;           // seconds since 1970
  bool operator==(const Location&) const = default;
};

// Great-circle distance in metres (mean Earth radius 6371 km).
double distanceBetweenLocations(const Location& a, const Location& b);

class LocationManager;

class LocationManagerDelegate {
 public:
  virtual ~LocationManagerDelegate() = default;
  // `oldLocation` is the previous fix delivered to this manager, if any.
  virtual void locationManagerDidUpdateToLocationFromLocation(LocationManager& /*manager*/,
                                                              const Location& /*newLocation*/,
                                                              const std::optional<Location>& /*oldLocation*/) {}
  virtual void locationManagerDidFailWithError(LocationManager& /*manager*/, const Error& /*error*/) {}
};

class LocationManager : public std::enable_shared_from_this<LocationManager> {
 public:
  static std::shared_ptr<LocationManager> create();
  ~LocationManager();

  static bool locationServicesEnabled();
  static AuthorizationStatus authorizationStatus();

  double desiredAccuracy() const { return desiredAccuracy_; }
  void setDesiredAccuracy(double metres) { desiredAccuracy_ = metres; }
  double distanceFilter() const { return distanceFilter_; }
  void setDistanceFilter(double metres) { distanceFilter_ = metres; }
  std::shared_ptr<LocationManagerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) { delegate_ = std::move(delegate); }

  void startUpdatingLocation();
  void stopUpdatingLocation();
  bool isUpdatingLocation() const { return updating_; }
  // The last fix delivered to this manager.
  std::optional<Location> location() const { return last_; }

  // --- Tests and the demo ---------------------------------------------------------------
  static void setLocationServicesEnabled(bool enabled);
  static void setAuthorizationStatus(AuthorizationStatus status);
  // Any thread: queued to the main loop and delivered there.
  static void injectLocation(const Location& location);
  static void injectError(const Error& error);
  // How many managers are updating now.
  static int updatingManagerCount();

  // Made only by create().
  explicit LocationManager(Passkey<LocationManager>) {}

 private:
  void deliverLocation(const Location& location);
  void deliverError(const Error& error);
  double desiredAccuracy_ = kLocationAccuracyBest;
  double distanceFilter_ = kDistanceFilterNone;
  std::weak_ptr<LocationManagerDelegate> delegate_;
  bool updating_ = false;
  std::optional<Location> last_;
};

}  // namespace platform
