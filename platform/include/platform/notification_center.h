#pragma once
// Named notifications, delivered synchronously on the posting thread to the observers of that
// name, in registration order. Thread-safe. An observer removed while a notification is being
// delivered is not called after its removal.
#include <functional>
#include <string>

#include "platform/value.h"

namespace platform {

struct Notification {
  std::string name;
  const void* object = nullptr;  // the sender, compared by identity
  Value userInfo;
};

class NotificationCenter {
 public:
  using Callback = std::function<void(const Notification&)>;
  static NotificationCenter& defaultCenter();

  // `observer` identifies the registration (usually `this`), for removal. An empty `name`
  // observes every notification; a non-null `object` only those posted by that sender.
  void addObserver(const void* observer, std::string name, const void* object, Callback callback);
  // Removes `observer` from every name at once.
  void removeObserver(const void* observer);
  // Removes `observer` for one name (and sender, when not null).
  void removeObserver(const void* observer, const std::string& name, const void* object = nullptr);

  void postNotification(const Notification& notification);
  void postNotificationName(std::string name, const void* object = nullptr, Value userInfo = {});

  void resetForTesting();

 private:
  NotificationCenter() = default;
  struct Impl;
  Impl* impl();
};

}  // namespace platform
