#include "HVAdManager.h"

#include <algorithm>

#include "HVAsyncCommand.h"
#include "HVAsyncCommandManager.h"
#include "HVCallbackContext.h"
#include "HVController.h"
#include "HVDatabase.h"
#include "HVFullScreenAdController.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/file_manager.h"
#include "platform/format.h"

namespace halvern {

using platform::FileManager;

std::shared_ptr<HVAdManager> HVAdManager::create(const std::vector<HVAdSlotDescription>& descriptions,
                                                 std::shared_ptr<HVDatabase> database,
                                                 std::weak_ptr<HVAsyncCommandManager> dbQueryManager) {
  auto manager = std::make_shared<HVAdManager>(platform::Passkey<HVAdManager>{}, std::move(database),
                                               std::move(dbQueryManager));
  auto controller = HVController::existingSharedController();
  for (const auto& description : descriptions) {
    if (!manager->m_slotDict.emplace(description.name(), HVAdSlot::slotWithDescription(description)).second) {
      throw platform::Exception("Halvern Initialization Failure", "All given slot names must be unique.");
    }
    // The full-screen controller hears of the slot's ads from the start: its delegate may be
    // set before any ad arrives, and the display page is made ready ahead of the showing.
    if (description.size() == HVAdSizeFullScreen && controller) {
      manager->registerListenerForSlotNamed(controller->fullScreenAdController(), description.name());
    }
  }
  manager->loadStoredAds();
  // No fetch starts here: the first comes when the driver reports its initialisation.
  for (const auto& description : descriptions) {
    if (!manager->m_slotDict.at(description.name())->isFetched()) manager->m_fetchQueue.push_back(description.name());
  }
  return manager;
}

HVAdManager::HVAdManager(platform::Passkey<HVAdManager>, std::shared_ptr<HVDatabase> database,
                         std::weak_ptr<HVAsyncCommandManager> dbQueryManager)
    : database_(std::move(database)), dbQueryManager_(std::move(dbQueryManager)) {}

HVAdManager::~HVAdManager() {
  for (const auto& timer : expiryTimers_) timer->invalidate();
  platform::RunLoop::main().cancelPerforms(this);
}

std::string HVAdManager::adRootDir() { return HVController::hvContentDir(); }

std::string HVAdManager::adBaseURL() { return adBaseURLForRootDir(adRootDir()); }

std::string HVAdManager::adBaseURLForRootDir(const std::string& root) {
  std::string escaped;
  for (char c : root) {
    if (c == '/') escaped += "//";
    else if (c == ' ') escaped += "%20";
    else escaped += c;
  }
  return platform::format("file:/%@//", escaped);
}

bool HVAdManager::expirationTimeHasPassed(int64_t expiration) {
  return static_cast<double>(expiration) < platform::Clock::current().now() * 1000.0;
}

void HVAdManager::loadStoredAds() {
  if (!database_) return;
  const auto rows = database_->sqlExecute("SELECT slotName, dlTime, expiration FROM ads ORDER BY dlTime");
  for (const auto& row : rows) {
    if (!row.isArray() || row.array().size() < 3) continue;
    const auto& columns = row.array();
    const std::string name = columns[0].stringValue();
    const int64_t dlTime = columns[1].integerValue();
    const int64_t expiration = columns[2].integerValue();
    auto slot = slotForName(name);
    if (!slot) {
      nukeSlotNamed(name);
      continue;
    }
    // Rows come oldest first, so each newer one replaces the ad kept so far.
    if (slot->hasNextAdDownloaded()) deleteAdForSlotNamedFetchReplacementAsync(slot->nextAdDlTime(), name, false, false);
    slot->setNextAdDlTime(dlTime);
    if (expirationTimeHasPassed(expiration)) {
      deleteAdForSlotNamedFetchReplacementAsync(dlTime, name, false, false);
    } else {
      scheduleExpirationForSlotNamedDlTimeExpiration(name, dlTime, expiration);
    }
  }
}

std::shared_ptr<HVAdSlot> HVAdManager::slotForName(const std::string& name) const {
  auto it = m_slotDict.find(name);
  return it == m_slotDict.end() ? nullptr : it->second;
}

bool HVAdManager::isAdFetchedForSlotNamed(const std::string& name) const {
  auto slot = slotForName(name);
  return slot && slot->isFetched();
}

bool HVAdManager::registerListenerForSlotNamed(std::shared_ptr<HVAdManagerListener> listener, const std::string& name) {
  auto slot = slotForName(name);
  if (!slot || !listener) return false;
  auto& listeners = m_listenerDict[name];
  bool present = false;
  for (const auto& l : listeners) present = present || l == listener;
  if (!present) listeners.push_back(std::move(listener));
  if (slot->hasNextAdDownloaded()) notifyListenersAdDownloadedForSlotNamed(name);
  return true;
}

void HVAdManager::notifyListenersAdDownloadedForSlotNamed(const std::string& name) {
  auto it = m_listenerDict.find(name);
  if (it == m_listenerDict.end()) return;
  auto self = shared_from_this();
  // A copy: a listener may register another while it is told.
  const auto listeners = it->second;
  for (const auto& listener : listeners) listener->adDownloadedForSlotNamed(name);
}

void HVAdManager::queueFetchForSlotNamed(const std::string& name) {
  m_fetchQueue.push_back(name);
  fetchNextAd();
}

void HVAdManager::fetchNextAd() {
  if (m_fetchQueue.empty() || !fetchRequest_) return;
  auto self = shared_from_this();
  const std::string first = m_fetchQueue.front();
  if (fetchRequest_(first) && !m_fetchQueue.empty() && m_fetchQueue.front() == first) m_fetchQueue.erase(m_fetchQueue.begin());
}

void HVAdManager::adDownloadedForSlotNamedDlTimeExpiration(const std::string& name, int64_t dlTime, int64_t expiration) {
  auto slot = slotForName(name);
  if (!slot) return;
  auto self = shared_from_this();
  const int64_t replaced = slot->nextAdDlTime();
  slot->setNextAdDlTime(dlTime);
  // A waiting ad replaced before anyone showed it would stay on disk, row and folder, until
  // the next launch.
  if (replaced != 0 && replaced != dlTime && replaced != slot->dlTime() && !isShowingAd(name, replaced))
    deleteAdForSlotNamedFetchReplacement(replaced, name, false);
  scheduleExpirationForSlotNamedDlTimeExpiration(name, dlTime, expiration);
  notifyListenersAdDownloadedForSlotNamed(name);
  fetchNextAd();
}

bool HVAdManager::isShowingAd(const std::string& name, int64_t dlTime) const {
  auto it = m_listenerDict.find(name);
  if (it == m_listenerDict.end()) return false;
  return std::any_of(it->second.begin(), it->second.end(),
                     [&](const auto& listener) { return listener->isShowingAdForSlotNamed(name, dlTime); });
}

void HVAdManager::adDownloadFailedForSlotNamed(const std::string& name) {
  fetchNextAd();
  const double delay = fetchReenqueueDelay();
  if (delay <= 0) return;
  std::weak_ptr<HVAdManager> weak = weak_from_this();
  platform::RunLoop::main().postAfter(
      delay,
      [weak, name] {
        if (auto self = weak.lock()) self->queueFetchForSlotNamed(name);
      },
      this);
}

void HVAdManager::scheduleExpirationForSlotNamedDlTimeExpiration(const std::string& name, int64_t dlTime,
                                                                 int64_t expiration) {
  std::erase_if(expiryTimers_, [](const auto& timer) { return !timer->isValid(); });
  const double interval = static_cast<double>(expiration) / 1000.0 - platform::Clock::current().now();
  std::weak_ptr<HVAdManager> weak = weak_from_this();
  expiryTimers_.push_back(platform::Timer::scheduledTimer(interval, false, [weak, name, dlTime](platform::Timer&) {
    if (auto self = weak.lock()) self->expireAdForSlotNamedDlTime(name, dlTime);
  }));
}

void HVAdManager::expireAdForSlotNamedDlTime(const std::string& name, int64_t dlTime) {
  auto slot = slotForName(name);
  // An ad already handed to a page lives on as the one shown: its end comes with its display.
  if (slot && slot->nextAdDlTime() == dlTime && !isShowingAd(name, dlTime))
    deleteAdForSlotNamedFetchReplacementAsync(dlTime, name, true, true);
}

bool HVAdManager::deleteAdForSlotNamedFetchReplacementAsync(int64_t dlTime, const std::string& name,
                                                            bool fetchReplacement, bool async) {
  auto slot = slotForName(name);
  if (!slot || slot->slotDescription().name() != name) return false;
  auto self = shared_from_this();
  if (slot->dlTime() == dlTime) {
    slot->setDlTime(0);
  } else if (slot->nextAdDlTime() == dlTime) {
    slot->setNextAdDlTime(0);
  }
  const std::string statement = "DELETE FROM ads WHERE slotName=? AND dlTime=?";
  platform::Array parameters{platform::Value(name), platform::Value(dlTime)};
  auto manager = dbQueryManager_.lock();
  if (async && manager && database_) {
    std::shared_ptr<HVCallbackContext> context;
    if (fetchReplacement) {
      std::weak_ptr<HVAdManager> weak = weak_from_this();
      context = HVCallbackContext::contextWithCallbackInvocationPassResults(
          [weak, name](const HVCommandResult&) {
            if (auto strong = weak.lock()) strong->deleteAdCallback(name);
          },
          false);
    }
    manager->sendAsyncCommand(HVDBQuery::queryWithQueryCallbackContext(database_, statement, parameters, context));
  } else {
    if (database_) database_->sqlExecuteWithParameters(statement, parameters);
    if (fetchReplacement) deleteAdCallback(name);
  }
  FileManager::removeItemAtPath(adRootDir() + "/" + name + "/" + platform::format("%qi", static_cast<long long>(dlTime)));
  return true;
}

bool HVAdManager::nukeSlotNamed(const std::string& name) {
  if (name.empty() || !isValidSlotName(name)) return false;
  if (database_) database_->sqlExecuteWithParameters("DELETE FROM ads WHERE slotName=?", {platform::Value(name)});
  FileManager::removeItemAtPath(adRootDir() + "/" + name);
  return true;
}

}  // namespace halvern
