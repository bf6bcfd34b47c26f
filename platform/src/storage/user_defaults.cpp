#include "platform/user_defaults.h"

#include <atomic>

#include "platform/bundle.h"
#include "platform/dispatch.h"
#include "platform/file_manager.h"
#include "platform/locale.h"
#include "platform/log.h"
#include "platform/property_list.h"
#include "platform/sandbox.h"
#include "platform/singleton.h"

namespace platform {

namespace {

// Every record gets its own number, so a flush queued for a record a reset dropped (an
// earlier home) finds a different one and never writes.
uint64_t nextGeneration() {
  static std::atomic<uint64_t> counter{0};
  return ++counter;
}

struct Preferences {
  bool loaded = false;
  std::string path;
  Dictionary values;
  Dictionary registered;
  bool dirty = false;
  bool lastWriteFailed = false;
  bool flushScheduled = false;
  uint64_t generation = nextGeneration();

  // Reads the file of the current home on first use after a reset.
  void ensureLoaded() {
    if (loaded) return;
    loaded = true;
    dirty = false;
    lastWriteFailed = false;
    values.clear();
    registered.clear();
    path = FileManager::stringByAppendingPathComponent(
        Sandbox::preferences(), Bundle::mainBundle().bundleIdentifier() + ".plist");
    // A run killed while writing left its temporary beside the file; it is never read.
    FileManager::removeAbandonedTemporaryFilesAtPath(Sandbox::preferences());
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

  // Many changes in a row are written once, soon, from the background queue.
  void scheduleFlush();

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

ProcessState<Preferences>& preferences() { return processState<Preferences>(); }

void Preferences::scheduleFlush() {
  if (flushScheduled) return;
  flushScheduled = true;
  uint64_t queuedFor = generation;
  DispatchQueue::global().async([queuedFor] {
    preferences().with([queuedFor](Preferences& p) {
      if (queuedFor != p.generation) return;
      p.flushScheduled = false;
      p.flush();
    });
  });
}

// The global domain's answer for a key the application neither set nor registered.
Value globalValue(const std::string& key) {
  if (key != kAppleLanguagesKey) return Value();
  Array languages;
  for (const auto& language : Locale::currentLocale().preferredLanguages()) languages.push_back(Value(language));
  return Value(std::move(languages));
}

// A copy of the stored value, or the registered default, or the global one, or null.
Value storedValue(const std::string& key) {
  Value v = preferences().with([&key](Preferences& p) { return p.lookup(key); });
  return v.isNull() ? globalValue(key) : v;
}

}  // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults defaults;
  return defaults;
}

Value UserDefaults::objectForKey(const std::string& key) { return storedValue(key); }

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) {
  Value v = storedValue(key);
  if (v.isString()) return v.string();
  if (v.isNumber() || v.isBoolean()) return v.stringValue();
  return std::nullopt;
}

int64_t UserDefaults::integerForKey(const std::string& key) {
  return storedValue(key).integerValue();
}

bool UserDefaults::boolForKey(const std::string& key) {
  return storedValue(key).boolValue();
}

double UserDefaults::doubleForKey(const std::string& key) {
  return storedValue(key).doubleValue();
}

Value UserDefaults::dictionaryForKey(const std::string& key) {
  Value v = storedValue(key);
  return v.isDictionary() ? v : Value();
}

Value UserDefaults::arrayForKey(const std::string& key) {
  Value v = storedValue(key);
  return v.isArray() ? v : Value();
}

std::optional<Bytes> UserDefaults::dataForKey(const std::string& key) {
  Value v = storedValue(key);
  if (v.isData()) return v.data();
  return std::nullopt;
}

void UserDefaults::setObjectForKey(const Value& value, const std::string& key) {
  preferences().with([&](Preferences& p) { p.change(key, &value); });
}

void UserDefaults::setIntegerForKey(int64_t value, const std::string& key) {
  setObjectForKey(Value(static_cast<long long>(value)), key);
}

void UserDefaults::setBoolForKey(bool value, const std::string& key) { setObjectForKey(Value(value), key); }

void UserDefaults::setDoubleForKey(double value, const std::string& key) { setObjectForKey(Value(value), key); }

void UserDefaults::removeObjectForKey(const std::string& key) {
  preferences().with([&](Preferences& p) { p.change(key, nullptr); });
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
  preferences().with([&defaults](Preferences& p) {
    p.ensureLoaded();
    for (const auto& [key, value] : defaults) p.registered.set(key, value);
  });
}

Dictionary UserDefaults::dictionaryRepresentation() {
  return preferences().with([](Preferences& p) {
    p.ensureLoaded();
    Dictionary merged = p.registered;
    for (const auto& [key, value] : p.values) merged.set(key, value);
    return merged;
  });
}

bool UserDefaults::synchronize() {
  return preferences().with([](Preferences& p) {
    p.ensureLoaded();
    return p.flush();
  });
}

void UserDefaults::reloadForTesting() {
  preferences().with([](Preferences& p) {
    // The application ends with its changes saved, as the platform saves them at termination.
    if (p.loaded) p.flush();
    p.loaded = false;
    p.ensureLoaded();
  });
}

std::string UserDefaults::storagePath() {
  return preferences().with([](Preferences& p) {
    p.ensureLoaded();
    return p.path;
  });
}

}  // namespace platform
