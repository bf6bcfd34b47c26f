#pragma once
// Keeps the registered slots by name, the downloaded ads the driver script recorded in the
// `ads` table and in one folder per ad under Content, and the order in which the driver is
// asked to fetch. Made once by the controller's start-up. Main thread.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HVAdSlot.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"

namespace halvern {

class HVAsyncCommandManager;
class HVDatabase;

// Told when a slot has an ad waiting. Held strongly: listeners are never removed.
class HVAdManagerListener {
 public:
  virtual ~HVAdManagerListener() = default;
  virtual void adDownloadedForSlotNamed(const std::string& name) = 0;
  // Whether the listener is showing the slot's ad of `dlTime` right now (handed to its page).
  virtual bool isShowingAdForSlotNamed(const std::string& name, int64_t dlTime) {
    (void)name;
    (void)dlTime;
    return false;
  }
};

class HVAdManager : public std::enable_shared_from_this<HVAdManager> {
 public:
  // Asks the client driver to fetch an ad for the slot; false when it is busy or not ready.
  using FetchRequest = std::function<bool(const std::string& slotName)>;

  // Throws platform::Exception ("Halvern Initialization Failure") when two descriptions share
  // a name. Reads the stored ads at once, keeping per slot only the newest unexpired one.
  static std::shared_ptr<HVAdManager> create(const std::vector<HVAdSlotDescription>& descriptions,
                                             std::shared_ptr<HVDatabase> database,
                                             std::weak_ptr<HVAsyncCommandManager> dbQueryManager);
  HVAdManager(platform::Passkey<HVAdManager>, std::shared_ptr<HVDatabase> database,
              std::weak_ptr<HVAsyncCommandManager> dbQueryManager);
  ~HVAdManager();

  static std::string adRootDir();
  static std::string adBaseURL();
  static std::string adBaseURLForRootDir(const std::string& root);
  static bool expirationTimeHasPassed(int64_t expiration);

  const std::map<std::string, std::shared_ptr<HVAdSlot>>& slotDict() const { return m_slotDict; }
  std::shared_ptr<HVAdSlot> slotForName(const std::string& name) const;
  bool isAdFetchedForSlotNamed(const std::string& name) const;
  bool registerListenerForSlotNamed(std::shared_ptr<HVAdManagerListener> listener, const std::string& name);
  void notifyListenersAdDownloadedForSlotNamed(const std::string& name);

  void setFetchRequest(FetchRequest request) { fetchRequest_ = std::move(request); }
  void queueFetchForSlotNamed(const std::string& name);
  void fetchNextAd();
  void clientDriverDidInitialize() { fetchNextAd(); }
  void adDownloadedForSlotNamedDlTimeExpiration(const std::string& name, int64_t dlTime, int64_t expiration);
  void adDownloadFailedForSlotNamed(const std::string& name);
  void scheduleExpirationForSlotNamedDlTimeExpiration(const std::string& name, int64_t dlTime, int64_t expiration);
  void expireAdForSlotNamedDlTime(const std::string& name, int64_t dlTime);

  bool deleteAdForSlotNamedFetchReplacementAsync(int64_t dlTime, const std::string& name, bool fetchReplacement,
                                                 bool async);
  bool deleteAdForSlotNamedFetchReplacement(int64_t dlTime, const std::string& name, bool fetchReplacement) {
    return deleteAdForSlotNamedFetchReplacementAsync(dlTime, name, fetchReplacement, true);
  }
  bool deleteAdForSlotNamed(int64_t dlTime, const std::string& name) {
    return deleteAdForSlotNamedFetchReplacementAsync(dlTime, name, true, true);
  }
  void deleteAdCallback(const std::string& name) { queueFetchForSlotNamed(name); }
  // Removes every row and the folder of a slot name. The rows are written by the driver
  // script, so a name that is no slot name (empty, "..", quotes, separators) touches
  // nothing: it could not have been registered, and as a path it would leave Content.
  // Answers whether the name was acted on.
  bool nukeSlotNamed(const std::string& name);
  void shutdown() {}

  // A failed slot is queued again no sooner than this: a page's tiny delay would turn every
  // failing download into a storm of retries.
  static constexpr double kMinFetchReenqueueDelay = 10.0;
  double fetchReenqueueDelay() const { return m_fetchReenqueueDelay.load(); }
  // 0 or less drops a failed slot until something else queues it; a positive delay below the
  // floor is raised to it; a value that is no number is ignored.
  void setFetchReenqueueDelay(double seconds) {
    if (std::isnan(seconds)) return;
    m_fetchReenqueueDelay.store(seconds > 0 && seconds < kMinFetchReenqueueDelay ? kMinFetchReenqueueDelay : seconds);
  }
  const std::vector<std::string>& fetchQueueForTesting() const { return m_fetchQueue; }

 private:
  void loadStoredAds();

  std::map<std::string, std::shared_ptr<HVAdSlot>> m_slotDict;
  bool isShowingAd(const std::string& name, int64_t dlTime) const;
  std::map<std::string, std::vector<std::shared_ptr<HVAdManagerListener>>> m_listenerDict;
  std::vector<std::string> m_fetchQueue;
  std::atomic<double> m_fetchReenqueueDelay{60.0};
  std::shared_ptr<HVDatabase> database_;
  std::weak_ptr<HVAsyncCommandManager> dbQueryManager_;
  FetchRequest fetchRequest_;
  std::vector<std::shared_ptr<platform::Timer>> expiryTimers_;
};

}  // namespace halvern
