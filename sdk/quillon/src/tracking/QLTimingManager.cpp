#include "QLTimingManager.h"

#include <algorithm>

#include "platform/application.h"
#include "platform/format.h"
#include "platform/notification_center.h"
#include "platform/user_defaults.h"

namespace quillon {

using platform::Dictionary;
using platform::Value;

std::shared_ptr<QLTimingManager> QLTimingManager::create(const std::string& identifier) {
  auto manager = std::make_shared<QLTimingManager>(Passkey{}, identifier);
  std::weak_ptr<QLTimingManager> weak = manager;
  platform::NotificationCenter::defaultCenter().addObserver(
      manager.get(), platform::kApplicationWillTerminateNotification, nullptr, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->synchronize();
      });
  return manager;
}

QLTimingManager::~QLTimingManager() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  synchronize();
}

std::shared_ptr<QLTiming> QLTimingManager::addTimingWithCategory(const std::string& category) {
  auto timing = QLTiming::create(category);
  addTiming(timing);
  return timing;
}

void QLTimingManager::addTiming(const std::shared_ptr<QLTiming>& timing) {
  if (!timing) return;
  removeTimingForCategory(timing->category());
  timings_.push_back(timing);
}

std::shared_ptr<QLTiming> QLTimingManager::timingForCategory(const std::string& category) const {
  for (const auto& t : timings_)
    if (t->category() == category) return t;
  return nullptr;
}

void QLTimingManager::removeTiming(const std::shared_ptr<QLTiming>& timing) {
  if (timing) removeTimingForCategory(timing->category());
}

void QLTimingManager::removeTimingForCategory(const std::string& category) {
  std::erase_if(timings_, [&](const auto& t) { return t->category() == category; });
}

void QLTimingManager::removeTimingsForCategories(const std::vector<std::string>& categories) {
  for (const auto& c : categories) removeTimingForCategory(c);
}

void QLTimingManager::removeAllTimings() { timings_.clear(); }

std::vector<std::shared_ptr<QLTiming>> QLTimingManager::timings() const { return timings_; }

std::vector<std::string> QLTimingManager::categories() const {
  std::vector<std::string> out;
  for (const auto& t : timings_) out.push_back(t->category());
  return out;
}

void QLTimingManager::synchronize() {
  Dictionary saved;
  for (const auto& t : timings_) saved.set(t->category(), t->dictionaryRepresentation());
  platform::UserDefaults::standardUserDefaults().setObjectForKey(Value(std::move(saved)), userDefaultsKey());
}

std::string QLTimingManager::userDefaultsKey() const { return platform::format("quillon_timing_%@", identifier_); }

}  // namespace quillon
