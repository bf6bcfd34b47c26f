#include "platform/user_defaults.h"

#include <mutex>

#include "platform/bundle.h"
#include "platform/dispatch.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/property_list.h"
#include "platform/sandbox.h"
#include "platform/singleton.h"

namespace platform {

struct UserDefaults::State {
  std::mutex mutex;
  bool loaded = false;
  std::string path;
  Dictionary values;
  Dictionary registered;
  bool dirty = false;
  bool lastWriteFailed = false;
  bool flushScheduled = false;
  // Moves on every reset, so a flush queued for an earlier home never writes.
  uint64_t generation = 0;

  // Reads the file of the current home on first use after a reset. Caller holds the mutex.
  void ensureLoaded() {
    if (loaded) return;
    loaded = true;
    dirty = false;
    lastWriteFailed = false;
    values.clear();
    registered.clear();
    path = FileManager::stringByAppendingPathComponent(
        Sandbox::preferences(), Bundle::mainBundle().bundleIdentifier() + ".plist");
    auto bytes = FileManager::contentsAtPath(path);
    if (!bytes) return;
    auto decoded = PropertyList::read(*bytes);
    if (decoded && decoded->isDictionary()) {
      values = decoded->dictionary();
    } else {
      // A damaged file must not take the application down; it starts afresh and the next
      // write replaces the file.
      logf("UserDefaults: ignoring unreadable preferences file %s", path);
    }
  }

  const Value& lookup(const std::string& key) {
    ensureLoaded();
    if (const Value* v = values.find(key)) return *v;
    return registered.get(key);
  }

  // Caller holds the mutex.
  bool flush() {
    if (!dirty) return true;
    FileManager::createDirectoryAtPath(FileManager::stringByDeletingLastPathComponent(path), true);
    auto document = PropertyList::write(Value(values));
    if (document && FileManager::writeAtomically(path, *document)) {
      dirty = false;
      lastWriteFailed = false;
      return true;
    }
    if (!lastWriteFailed) logf("UserDefaults: could not write %s", path);
    lastWriteFailed = true;
    return false;
  }

  // Many changes in a row are written once, soon, from the background queue. Caller holds
  // the mutex.
  void scheduleFlush() {
    if (flushScheduled) return;
    flushScheduled = true;
    uint64_t queuedFor = generation;
    DispatchQueue::global().async([this, queuedFor] {
      std::lock_guard<std::mutex> lock(mutex);
      if (queuedFor != generation) return;
      flushScheduled = false;
      flush();
    });
  }

  void change(const std::string& key, const Value* value) {
    ensureLoaded();
    if (value && !value->isNull() && !PropertyList::write(Value(Dictionary{{key, *value}}))) {
      // One value or key the file cannot hold (a null inside a container, text that is not
      // UTF-8) would make every later write fail and lose all changes: refuse it alone.
      logf("UserDefaults: refusing a value for key %@ that a property list cannot hold", key);
      return;
    }
    if (value && !value->isNull()) {
      values.set(key, *value);
    } else if (!values.erase(key)) {
      return;
    }
    dirty = true;
    scheduleFlush();
  }
};

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults* shared = [] {
    auto* defaults = new UserDefaults();
    defaults->state();
    onProcessReset([defaults] {
      State& s = defaults->state();
      std::lock_guard<std::mutex> lock(s.mutex);
      s.loaded = false;
      s.flushScheduled = false;
      ++s.generation;
    });
    return defaults;
  }();
  return *shared;
}

UserDefaults::State& UserDefaults::state() {
  static State* s = new State();
  return *s;
}

Value UserDefaults::objectForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().lookup(key);
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  const Value& v = state().lookup(key);
  if (v.isString()) return v.string();
  if (v.isNumber() || v.isBoolean()) return v.stringValue();
  return std::nullopt;
}

int64_t UserDefaults::integerForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().lookup(key).integerValue();
}

bool UserDefaults::boolForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().lookup(key).boolValue();
}

double UserDefaults::doubleForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().lookup(key).doubleValue();
}

Value UserDefaults::dictionaryForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  const Value& v = state().lookup(key);
  return v.isDictionary() ? v : Value();
}

Value UserDefaults::arrayForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  const Value& v = state().lookup(key);
  return v.isArray() ? v : Value();
}

std::optional<Bytes> UserDefaults::dataForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  const Value& v = state().lookup(key);
  if (v.isData()) return v.data();
  return std::nullopt;
}

void UserDefaults::setObjectForKey(const Value& value, const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().change(key, &value);
}

void UserDefaults::setIntegerForKey(int64_t value, const std::string& key) {
  setObjectForKey(Value(static_cast<long long>(value)), key);
}

void UserDefaults::setBoolForKey(bool value, const std::string& key) { setObjectForKey(Value(value), key); }

void UserDefaults::setDoubleForKey(double value, const std::string& key) { setObjectForKey(Value(value), key); }

void UserDefaults::removeObjectForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().change(key, nullptr);
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().ensureLoaded();
  for (const auto& [key, value] : defaults) state().registered.set(key, value);
}

Dictionary UserDefaults::dictionaryRepresentation() {
  std::lock_guard<std::mutex> lock(state().mutex);
  State& s = state();
  s.ensureLoaded();
  Dictionary merged = s.registered;
  for (const auto& [key, value] : s.values) merged.set(key, value);
  return merged;
}

bool UserDefaults::synchronize() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().ensureLoaded();
  return state().flush();
}

void UserDefaults::reloadForTesting() {
  std::lock_guard<std::mutex> lock(state().mutex);
  // The application ends with its changes saved, as the platform saves them at termination.
  if (state().loaded) state().flush();
  state().loaded = false;
  state().ensureLoaded();
}

std::string UserDefaults::storagePath() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().ensureLoaded();
  return state().path;
}

}  // namespace platform
