#pragma once
// The object that holds the Halvern client together: the key/value database, the file and
// database worker threads, the few process-wide settings the scripts may read or change,
// and the file layout under Documents. Every part of the client reaches it through
// sharedController(). Main thread, except where a member says otherwise.
#include <atomic>
#include <map>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "HVAsyncCommandManager.h"
#include "HVDatabase.h"
#include "halvern/HVAdSlotDescription.h"
#include "halvern/HalvernDelegate.h"
#include "platform/accelerometer.h"
#include "platform/passkey.h"

namespace halvern {

class HVAdManager;
class HVAdView;
class HVClientManager;
class HVFullScreenAdController;
class HVFullScreenAdWindow;

class HVController : public std::enable_shared_from_this<HVController> {
 public:
  static constexpr const char* kIOThreadName = "HVIORequestManager thread";
  static constexpr const char* kDBThreadName = "HVDBQueryManager thread";
  static constexpr const char* kDefaultServerURL = "http://bridge.halvern.example/hvbridge";

  // Made on first use: the folder, the database (read at once), then both workers.
  static std::shared_ptr<HVController> sharedController();
  // The shared controller when one has been made (and not shut down), without making one.
  static std::shared_ptr<HVController> existingSharedController();
  explicit HVController(platform::Passkey<HVController>);
  ~HVController();

  // Milliseconds since 1970, taken when the class was first used.
  static int64_t sessionStart();
  static std::string hvSDKVersion() { return HVDatabase::kVersion; }
  static std::string localFileBasePath();
  static std::string localFileBaseURL();
  static std::string hvBaseDir();
  static std::string hvContentDir();
  static std::string deviceUID();
  // Model and system version joined by " - ", with every blank removed.
  static std::string deviceName();

  // An empty server URL means the default one.
  void startupWithAppIDServerURL(const std::string& applicationID, const std::string& serverURL);
  // As above, first making the ad manager from the descriptions (only on the first start).
  void startupWithAppIDServerURLSlotDescriptions(const std::string& applicationID, const std::string& serverURL,
                                                 const std::vector<HVAdSlotDescription>& descriptions);
  // False for an unknown slot, or before the start.
  bool isNextAdDownloadedForSlotNamed(const std::string& name) const;
  // A banner slot with a view: whether its display page is up; else whether an ad waits.
  // Logs and answers false for an unknown slot.
  bool isAdReadyForSlotNamed(const std::string& name);
  void setDriverPollingIntervalOverride(double seconds);

  // The banner view of each slot name, kept for the life of the controller.
  void registerViewForSlotNamed(std::shared_ptr<HVAdView> view, const std::string& name);
  std::shared_ptr<HVAdView> viewForSlotNamed(const std::string& name) const;
  // Made on first use.
  std::shared_ptr<HVFullScreenAdWindow> fullScreenAdWindow();
  void initializeFullScreenAdSupport();
  // Made on first use.
  std::shared_ptr<HVFullScreenAdController> fullScreenAdController();
  // Shows the slot's waiting ad in the full-screen window; false, with a log line, when
  // there is no network, no such slot, no ad, or another ad holds the screen (or the page
  // cannot be asked to show it: then the screen is given back at once).
  bool displayFullScreenAdForSlotNamed(const std::string& name);
  // Logs for an unknown slot; throws ("NSInternalInconsistencyException") for a slot that
  // is not full screen.
  void setFullScreenDelegateForSlotNamed(std::shared_ptr<HalvernDelegate> delegate, const std::string& name);
  void applicationDidEnterBackground();
  // When the window stops displaying, every banner view not shown in it hears of it.
  void fullScreenAdWindowIsDisplaying(bool displaying);
  void fullScreenAdDisplayWillClose();
  // The full-screen window first; every banner view while the window is not displaying; the
  // full-screen controller last.
  void applicationWillEnterForeground();
  // The network is back: each banner's waiting ad is offered to it as when it arrived.
  void networkReachabilityChanged();
  // Stops taking commands, runs what the workers still hold, joins both threads, and lets
  // go of the shared instance: the next sharedController() makes a new controller.
  void shutdown();

  // 0 when the network cannot be used, else 1 (carrier) or 2.
  int serverReachability();
  // Takes the accelerometer for the client, remembering the application's delegate and
  // interval; releaseAccelerometer gives them back, and does nothing unless captured.
  void captureAccelerometer(std::shared_ptr<platform::AccelerometerDelegate> delegate);
  void releaseAccelerometer();
  // Gives the accelerometer back only when `delegate` is the one that took it.
  void releaseAccelerometerFrom(const platform::AccelerometerDelegate* delegate);
  // The shortest interval the client asks of the shared accelerometer: a page's tinier one
  // would flood the main thread with samples.
  static constexpr double kMinAccelerometerUpdateInterval = 1.0 / 60.0;
  double sdkAccelerometerUpdateInterval() const { return sdkAccelerometerUpdateInterval_; }
  // Raised to the floor when shorter; a value that is no positive number is ignored.
  void setSdkAccelerometerUpdateInterval(double seconds);

  // A non-empty name is stored (and kept in memory unless one is already held); an empty
  // one removes the stored setting.
  void setSbwPropName(const std::string& name);
  const std::optional<std::string>& sbwPropName() const { return sbwPropName_; }

  const std::shared_ptr<HVDatabase>& database() const { return database_; }
  std::string applicationID() const;
  void setApplicationID(const std::string& id);
  std::string serverURL() const;
  void setServerURL(const std::string& url);
  bool disabled() const { return disabled_; }
  void setDisabled(bool disabled) { disabled_ = disabled; }
  bool hasStartedUp() const { return hasStartedUp_; }
  int execMode() const { return execMode_; }
  void setExecMode(int mode) { execMode_ = mode; }
  double exitItemDisplayTime() const { return exitItemDisplayTime_; }
  void setExitItemDisplayTime(double seconds) { exitItemDisplayTime_ = seconds; }
  double menuDisplayTime() const { return menuDisplayTime_; }
  void setMenuDisplayTime(double seconds) { menuDisplayTime_ = seconds; }
  const std::shared_ptr<HVClientManager>& clientManager() const { return clientManager_; }
  const std::shared_ptr<HVAdManager>& adManager() const { return adManager_; }
  const std::shared_ptr<HVAsyncCommandManager>& ioRequestManager() const { return ioRequestManager_; }
  const std::shared_ptr<HVAsyncCommandManager>& dbQueryManager() const { return dbQueryManager_; }

 private:
  void init();
  void readSettings();
  void stopWorkers();

  std::shared_ptr<HVDatabase> database_;
  mutable std::mutex propertiesMutex_;
  std::string applicationID_;
  std::string serverURL_;
  bool disabled_ = false;
  bool hasStartedUp_ = false;
  int execMode_ = 0;
  std::atomic<double> exitItemDisplayTime_{4.0};
  std::atomic<double> menuDisplayTime_{10.0};
  std::shared_ptr<HVAsyncCommandManager> dbQueryManager_;
  std::shared_ptr<HVAsyncCommandManager> ioRequestManager_;
  std::shared_ptr<HVClientManager> clientManager_;
  std::shared_ptr<HVAdManager> adManager_;
  bool accelerometerCaptured_ = false;
  double appAccelerometerUpdateInterval_ = 0;
  std::weak_ptr<platform::AccelerometerDelegate> appAccelerometerDelegate_;
  const platform::AccelerometerDelegate* accelerometerCapturedBy_ = nullptr;  // compared, never followed
  double sdkAccelerometerUpdateInterval_ = 1000.0;
  std::optional<std::string> sbwPropName_;
  mutable std::recursive_mutex viewsMutex_;
  std::map<std::string, std::shared_ptr<HVAdView>> m_viewDict;
  std::shared_ptr<HVFullScreenAdWindow> m_fullScreenAdWindow;
  std::shared_ptr<HVFullScreenAdController> m_fullScreenAdController;
};

}  // namespace halvern
