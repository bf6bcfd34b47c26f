#include "platform/notification_center.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

struct NotificationCenter::Impl {
  struct Registration {
    const void* observer;
    std::string name;
    const void* object;
    Callback callback;
    bool alive = true;
  };
  std::recursive_mutex mutex;
  std::vector<std::shared_ptr<Registration>> registrations;
};

NotificationCenter::Impl* NotificationCenter::impl() {
  // Never destroyed: objects that stop observing as the process exits still find it.
  static auto* impl = new Impl();
  return impl;
}

NotificationCenter& NotificationCenter::defaultCenter() {
  static auto* center = new NotificationCenter();
  return *center;
}

void NotificationCenter::addObserver(const void* observer, std::string name, const void* object, Callback callback) {
  auto reg = std::make_shared<Impl::Registration>();
  reg->observer = observer;
  reg->name = std::move(name);
  reg->object = object;
  reg->callback = std::move(callback);
  std::lock_guard<std::recursive_mutex> lock(impl()->mutex);
  impl()->registrations.push_back(std::move(reg));
}

void NotificationCenter::removeObserver(const void* observer) {
  std::lock_guard<std::recursive_mutex> lock(impl()->mutex);
  auto& regs = impl()->registrations;
  for (auto& r : regs)
    if (r->observer == observer) r->alive = false;
  regs.erase(std::remove_if(regs.begin(), regs.end(), [](auto& r) { return !r->alive; }), regs.end());
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name, const void* object) {
  std::lock_guard<std::recursive_mutex> lock(impl()->mutex);
  auto& regs = impl()->registrations;
  for (auto& r : regs)
    if (r->observer == observer && r->name == name && (!object || r->object == object)) r->alive = false;
  regs.erase(std::remove_if(regs.begin(), regs.end(), [](auto& r) { return !r->alive; }), regs.end());
}

void NotificationCenter::postNotification(const Notification& notification) {
  std::vector<std::shared_ptr<Impl::Registration>> targets;
  {
    std::lock_guard<std::recursive_mutex> lock(impl()->mutex);
    for (auto& r : impl()->registrations) {
      if (!r->name.empty() && r->name != notification.name) continue;
      if (r->object && r->object != notification.object) continue;
      targets.push_back(r);
    }
  }
  for (auto& r : targets) {
    bool alive;
    {
      std::lock_guard<std::recursive_mutex> lock(impl()->mutex);
      alive = r->alive;
    }
    if (alive) r->callback(notification);
  }
}

void NotificationCenter::postNotificationName(std::string name, const void* object, Value userInfo) {
  postNotification(Notification{std::move(name), object, std::move(userInfo)});
}

void NotificationCenter::resetForTesting() {
  std::lock_guard<std::recursive_mutex> lock(impl()->mutex);
  for (auto& r : impl()->registrations) r->alive = false;
  impl()->registrations.clear();
}

}  // namespace platform
