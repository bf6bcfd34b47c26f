#include "HVController.h"

#include "HVClientManager.h"

#include <algorithm>
#include <cmath>

#include "HVAdManager.h"
#include "HVAdViewInternal.h"
#include "HVAudioEngine.h"
#include "HVClientDriver.h"
#include "HVFullScreenAdController.h"
#include "HVFullScreenAdWindow.h"
#include "halvern/HVAdView.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "HVReachability.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/format.h"
#include "platform/sandbox.h"
#include "platform/singleton.h"
#include "platform/url.h"

namespace halvern {

using platform::FileManager;
using platform::Value;

namespace {

platform::ResettableSingleton<HVController> gShared;

struct SessionFacts {
  std::optional<int64_t> sessionStart;
};

}  // namespace

std::shared_ptr<HVController> HVController::sharedController() {
  return gShared.get(
      [] {
        auto controller = std::make_shared<HVController>(platform::Passkey<HVController>{});
        controller->init();
        return controller;
      },
      // A test reset ends the threads of the controller it drops.
      [](HVController& old) {
        platform::NotificationCenter::defaultCenter().removeObserver(&old);
        old.stopWorkers();
      });
}

std::shared_ptr<HVController> HVController::existingSharedController() { return gShared.existing(); }

HVController::HVController(platform::Passkey<HVController>) { sessionStart(); }

// The observation is ended by shutdown and by a reset, not here: a controller still held at
// exit goes after the notification centre itself, and its callback holds it only weakly.
HVController::~HVController() { stopWorkers(); }

int64_t HVController::sessionStart() {
  return platform::processState<SessionFacts>().with([](SessionFacts& facts) {
    if (!facts.sessionStart)
      facts.sessionStart = static_cast<int64_t>(std::floor(platform::Clock::current().now()) * 1000.0);
    return *facts.sessionStart;
  });
}

std::string HVController::localFileBasePath() { return platform::Sandbox::documents(); }

std::string HVController::localFileBaseURL() {
  return platform::URL::fileURLWithPath(localFileBasePath(), true).absoluteString();
}

std::string HVController::hvBaseDir() { return FileManager::stringByAppendingPathComponent(localFileBasePath(), "HV"); }

std::string HVController::hvContentDir() { return FileManager::stringByAppendingPathComponent(hvBaseDir(), "Content"); }

std::string HVController::deviceUID() { return platform::Device::currentDevice().uniqueIdentifier(); }

std::string HVController::deviceName() {
  auto& device = platform::Device::currentDevice();
  std::string name = platform::format("%@ - %@", device.model(), device.systemVersion());
  std::erase(name, ' ');
  return name;
}

void HVController::init() {
  if (!FileManager::fileExistsAtPath(hvBaseDir())) FileManager::createDirectoryAtPath(hvBaseDir(), true);
  database_ = HVDatabase::create(hvBaseDir());
  // Read before the database thread exists.
  readSettings();
  std::weak_ptr<HVController> weak = weak_from_this();
  platform::NotificationCenter::defaultCenter().addObserver(
      this, "UIApplicationDidEnterBackgroundNotification", nullptr, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->applicationDidEnterBackground();
      });
  platform::NotificationCenter::defaultCenter().addObserver(
      this, "UIApplicationWillEnterForegroundNotification", nullptr, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->applicationWillEnterForeground();
      });
  // A ready ad is not shown while the server is out of reach: its return must be heard.
  HVReachability::sharedReachability()->setNetworkStatusNotificationsEnabled(true);
  platform::NotificationCenter::defaultCenter().addObserver(
      this, HVReachability::kNetworkReachabilityChangedNotification, nullptr, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->networkReachabilityChanged();
      });
  auto sequencer = std::make_shared<HVCallbackSequencer>();
  ioRequestManager_ =
      HVAsyncCommandManager::createWithCommandQueueThreadName(HVIORequestQueue::create(), kIOThreadName, sequencer);
  dbQueryManager_ =
      HVAsyncCommandManager::createWithCommandQueueThreadName(HVDBQueryQueue::create(), kDBThreadName, sequencer);
  database_->setDbQueryManager(dbQueryManager_);
  clientManager_ = HVClientManager::create();
}

void HVController::readSettings() {
  auto rows = database_->sqlExecuteWithParameters("SELECT id,data from settings where id in(?,?)",
                                                  {Value("disabled"), Value("sbw")})
                  .rows;
  for (const auto& row : rows) {
    if (row.size() < 2) continue;
    if (row[size_t(0)].string() == "disabled") disabled_ = row[size_t(1)].boolValue();
    if (row[size_t(0)].string() == "sbw" && row[size_t(1)].isString()) sbwPropName_ = row[size_t(1)].string();
  }
}

void HVController::startupWithAppIDServerURL(const std::string& applicationID, const std::string& serverURL) {
  setServerURL(serverURL.empty() ? kDefaultServerURL : serverURL);
  setApplicationID(applicationID);
  if (!hasStartedUp_) clientManager_->startup();
  hasStartedUp_ = true;
}

void HVController::startupWithAppIDServerURLSlotDescriptions(const std::string& applicationID,
                                                             const std::string& serverURL,
                                                             const std::vector<HVAdSlotDescription>& descriptions) {
  if (!adManager_) {
    adManager_ = HVAdManager::create(descriptions, database_, dbQueryManager_);
    std::weak_ptr<HVClientDriver> driver = clientManager_->clientDriver();
    adManager_->setFetchRequest([driver](const std::string& name) {
      auto d = driver.lock();
      return d && d->fetchAdForSlotNamed(name);
    });
  }
  startupWithAppIDServerURL(applicationID, serverURL);
}

bool HVController::isNextAdDownloadedForSlotNamed(const std::string& name) const {
  return adManager_ && adManager_->isAdFetchedForSlotNamed(name);
}

bool HVController::isAdReadyForSlotNamed(const std::string& name) {
  auto slot = adManager_ ? adManager_->slotForName(name) : nullptr;
  if (!slot) {
    platform::log(platform::format("HVAdEngine: WARNING - call to isAdReadyForSlotNamed: for slot %@ which is a slot that "
                                   "has not been registered with the HVAdEngine.",
                                   name));
    return false;
  }
  auto view = viewForSlotNamed(name);
  if (slot->slotDescription().size() == HVAdSizeFullScreen || !view) return adManager_->isAdFetchedForSlotNamed(name);
  return view->controller()->isAdReady();
}

void HVController::setDriverPollingIntervalOverride(double seconds) {
  if (auto driver = clientManager_ ? clientManager_->clientDriver() : nullptr) driver->setBridgePollingIntervalOverride(seconds);
}

void HVController::registerViewForSlotNamed(std::shared_ptr<HVAdView> view, const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(viewsMutex_);
  m_viewDict[name] = std::move(view);
}

std::shared_ptr<HVAdView> HVController::viewForSlotNamed(const std::string& name) const {
  std::lock_guard<std::recursive_mutex> lock(viewsMutex_);
  auto it = m_viewDict.find(name);
  return it == m_viewDict.end() ? nullptr : it->second;
}

std::shared_ptr<HVFullScreenAdWindow> HVController::fullScreenAdWindow() {
  std::lock_guard<std::recursive_mutex> lock(viewsMutex_);
  if (!m_fullScreenAdWindow) {
    m_fullScreenAdWindow = std::make_shared<HVFullScreenAdWindow>();
    std::weak_ptr<HVController> weak = weak_from_this();
    m_fullScreenAdWindow->setDisplayingObserver([weak](bool displaying) {
      if (auto self = weak.lock()) self->fullScreenAdWindowIsDisplaying(displaying);
    });
  }
  return m_fullScreenAdWindow;
}

void HVController::initializeFullScreenAdSupport() { fullScreenAdController(); }

std::shared_ptr<HVFullScreenAdController> HVController::fullScreenAdController() {
  std::lock_guard<std::recursive_mutex> lock(viewsMutex_);
  if (!m_fullScreenAdController) m_fullScreenAdController = HVFullScreenAdController::create();
  return m_fullScreenAdController;
}

bool HVController::displayFullScreenAdForSlotNamed(const std::string& name) {
  if (serverReachability() == 0) {
    platform::log("HVAdEngine: Unable to display full screen ad due to no network connectivity.");
    return false;
  }
  auto slot = adManager_ ? adManager_->slotForName(name) : nullptr;
  if (!slot) {
    platform::log(platform::format("HVAdEngine: WARNING - Unable to display full screen ad for slot named %@ because no "
                                   "slot with that name has been registered with the HVAdEngine.",
                                   name));
    return false;
  }
  if (!adManager_->isAdFetchedForSlotNamed(name)) {
    platform::log(platform::format("HVAdEngine: Unable to display full screen ad for slot named %@ because no ad is "
                                   "ready to be displayed for that slot.",
                                   name));
    return false;
  }
  auto fullScreen = fullScreenAdController();
  if (fullScreen->isDisplaying()) {
    platform::log(platform::format("HVAdEngine: Attempt to display full-screen ad for slot named %@ when a full-screen "
                                   "ad is already displaying. Ignoring ad display request.",
                                   name));
    return false;
  }
  auto window = fullScreenAdWindow();
  uint64_t claim = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(window->lock());
    if (window->isDisplaying()) {
      platform::log(platform::format("HVAdEngine: Attempt to display full-screen ad for slot named %@ when another ad "
                                     "is already displaying.  Ignoring ad display request.",
                                     name));
      return false;
    }
    claim = window->claimForDisplay(fullScreen.get());
  }
  if (fullScreen->displayAdForSlot(slot)) return true;
  // Nothing will open under the mark: every other ad may have the screen again.
  if (window->releaseUnopenedClaim(claim)) fullScreenAdWindowIsDisplaying(false);
  return false;
}

void HVController::setFullScreenDelegateForSlotNamed(std::shared_ptr<HalvernDelegate> delegate, const std::string& name) {
  auto slot = adManager_ ? adManager_->slotForName(name) : nullptr;
  if (!slot) {
    platform::log(platform::format("HVAdEngine: WARNING - Unable to set full screen delegate for slot named %@ because no "
                                   "slot with that name has been registered with the HVAdEngine.",
                                   name));
    return;
  }
  if (slot->slotDescription().size() != HVAdSizeFullScreen) {
    throw platform::Exception("NSInternalInconsistencyException",
                              "Attempt to register full screen delegate for slot not having full screen size.");
  }
  fullScreenAdController()->setDelegateForSlotNamed(std::move(delegate), name);
}

void HVController::applicationDidEnterBackground() {
  std::shared_ptr<HVFullScreenAdController> fullScreen;
  {
    std::lock_guard<std::recursive_mutex> lock(viewsMutex_);
    fullScreen = m_fullScreenAdController;
  }
  if (fullScreen) fullScreen->applicationDidEnterBackground();
}

void HVController::fullScreenAdWindowIsDisplaying(bool displaying) {
  if (displaying) return;
  auto window = fullScreenAdWindow();
  std::map<std::string, std::shared_ptr<HVAdView>> views;
  {
    std::lock_guard<std::recursive_mutex> lock(viewsMutex_);
    views = m_viewDict;
  }
  // The banner that held the window comes back through its own dismissal, but for an ad that
  // arrived while it closed.
  const auto shown = window->contentController();
  const HVAdViewInternal* closed = window->lastOwner();
  for (const auto& [name, view] : views) {
    auto internal = view->controller();
    if (internal == shown || internal->controlsFullScreenSlot()) continue;
    if (internal.get() == closed)
      internal->retryDisplayRefusedWhileWindowBusy();
    else
      internal->fullScreenAdWindowDidClose();
  }
}

void HVController::fullScreenAdDisplayWillClose() { HVAudioEngine::teardown(); }

void HVController::networkReachabilityChanged() {
  if (!adManager_ || serverReachability() == 0) return;
  std::map<std::string, std::shared_ptr<HVAdView>> views;
  {
    std::lock_guard<std::recursive_mutex> lock(viewsMutex_);
    views = m_viewDict;
  }
  for (const auto& [name, view] : views) {
    auto slot = adManager_->slotForName(name);
    if (slot && slot->nextAdDlTime() != 0) view->controller()->adDownloadedForSlotNamed(name);
  }
}

void HVController::applicationWillEnterForeground() {
  auto window = fullScreenAdWindow();
  window->applicationWillEnterForeground();
  std::map<std::string, std::shared_ptr<HVAdView>> views;
  std::shared_ptr<HVFullScreenAdController> fullScreen;
  {
    std::lock_guard<std::recursive_mutex> lock(viewsMutex_);
    views = m_viewDict;
    fullScreen = m_fullScreenAdController;
  }
  if (!window->isDisplaying())
    for (const auto& [name, view] : views) view->applicationWillEnterForeground();
  if (fullScreen) fullScreen->applicationWillEnterForeground();
}

void HVController::stopWorkers() {
  // File work first, as the client has always stopped them; each drains and joins.
  if (ioRequestManager_) ioRequestManager_->shutdown();
  if (dbQueryManager_) dbQueryManager_->shutdown();
}

void HVController::shutdown() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  setExecMode(1);
  if (clientManager_) clientManager_->shutdown();
  stopWorkers();
  // Only the shared instance lets go of itself; a new controller comes with the next call.
  auto released = gShared.existing() == shared_from_this() ? gShared.release() : nullptr;
  if (released) platform::RunLoop::main().keepAliveUntilEndOfTurn(released);
}

int HVController::serverReachability() {
  auto url = platform::URL::create(serverURL());
  auto reachability = HVReachability::sharedReachability();
  reachability->setHostName(url && url->host() ? *url->host() : std::string());
  return reachability->internetConnectionStatus();
}

void HVController::captureAccelerometer(std::shared_ptr<platform::AccelerometerDelegate> delegate) {
  auto& accelerometer = platform::Accelerometer::sharedAccelerometer();
  if (accelerometer.delegate() != delegate) {
    // A second capture keeps what the application had, not the client's own settings.
    if (!accelerometerCaptured_) {
      appAccelerometerDelegate_ = accelerometer.delegate();
      appAccelerometerUpdateInterval_ = accelerometer.updateInterval();
    }
    accelerometerCaptured_ = true;
  }
  accelerometerCapturedBy_ = delegate.get();
  accelerometer.setDelegate(delegate);
  accelerometer.setUpdateInterval(sdkAccelerometerUpdateInterval_);
}

void HVController::releaseAccelerometerFrom(const platform::AccelerometerDelegate* delegate) {
  if (accelerometerCaptured_ && accelerometerCapturedBy_ == delegate) releaseAccelerometer();
}

void HVController::setSdkAccelerometerUpdateInterval(double seconds) {
  if (!(seconds > 0) || !std::isfinite(seconds)) return;
  sdkAccelerometerUpdateInterval_ = std::max(seconds, kMinAccelerometerUpdateInterval);
}

void HVController::releaseAccelerometer() {
  // Without a capture there is nothing of the application's to put back.
  if (!accelerometerCaptured_) return;
  accelerometerCaptured_ = false;
  accelerometerCapturedBy_ = nullptr;
  auto& accelerometer = platform::Accelerometer::sharedAccelerometer();
  accelerometer.setDelegate(appAccelerometerDelegate_);
  accelerometer.setUpdateInterval(appAccelerometerUpdateInterval_);
  appAccelerometerDelegate_.reset();
}

void HVController::setSbwPropName(const std::string& name) {
  if (name.empty()) {
    database_->removeRecordIDTableCallbackContext("sbw", "settings", nullptr);
    return;
  }
  if (!sbwPropName_) sbwPropName_ = name;
  database_->setRecordIDTableStringCallbackContext("sbw", "settings", name, nullptr);
}

std::string HVController::applicationID() const {
  std::lock_guard<std::mutex> lock(propertiesMutex_);
  return applicationID_;
}

void HVController::setApplicationID(const std::string& id) {
  std::lock_guard<std::mutex> lock(propertiesMutex_);
  applicationID_ = id;
}

std::string HVController::serverURL() const {
  std::lock_guard<std::mutex> lock(propertiesMutex_);
  return serverURL_;
}

void HVController::setServerURL(const std::string& url) {
  std::lock_guard<std::mutex> lock(propertiesMutex_);
  serverURL_ = url;
}

}  // namespace halvern
