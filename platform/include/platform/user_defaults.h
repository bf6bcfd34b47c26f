#pragma once
// The application's small persistent settings: a dictionary of Values kept as an XML
// property list in Library/Preferences/<bundle identifier>.plist under the sandbox home.
// Only what a property list holds survives a relaunch as it was set: a decimal comes back
// as a double, an unsigned number within the signed range as a signed one, a date to the
// whole second. A value a property list cannot hold at all (a null inside a container, text
// that is not UTF-8), or a key that is not UTF-8, is refused with a log line and the key
// keeps its old value.
//
// Thread safety: every member may be called from any thread; one mutex guards the whole
// object, so each call sees and leaves a consistent dictionary.
// Persistence: changes are written soon after they are made, from the background queue
// (several changes in a row make one write), and at once by synchronize(), which reports
// whether the file now matches memory. Writes are atomic: a reader of the file sees the
// state before or after a write, never a mix. A failed write is logged once per run of
// failures and retried on the next change or synchronize. Call synchronize() before the
// process ends (the application does when it terminates).
// Registered defaults answer lookups for keys the application never set; they are not
// persisted and are forgotten on a relaunch.
// Below the registered defaults lies the global domain the platform shares with every
// application; of it, only kAppleLanguagesKey is modelled: an array of the current locale's
// preferred languages (Locale::preferredLanguages), most preferred first.
// Lookups never fail: a missing key or a value of another type gives the type's empty value,
// converted as the platform does (a string "12" answers integerForKey with 12, a number
// answers stringForKey with its text).
#include <cstdint>
#include <optional>
#include <string>

#include "platform/value.h"

namespace platform {

inline constexpr const char* kAppleLanguagesKey = "AppleLanguages";

class UserDefaults {
 public:
  // The shared object, created on first use; its state is forgotten on test reset and
  // re-read from the (new) sandbox home when next used.
  static UserDefaults& standardUserDefaults();

  // The stored value, or the registered default, or null.
  Value objectForKey(const std::string& key);
  // The string, or a number's text; nullopt for anything else or a missing key.
  std::optional<std::string> stringForKey(const std::string& key);
  int64_t integerForKey(const std::string& key);
  bool boolForKey(const std::string& key);
  double doubleForKey(const std::string& key);
  // Null unless the value has that type.
  Value dictionaryForKey(const std::string& key);
  Value arrayForKey(const std::string& key);
  std::optional<Bytes> dataForKey(const std::string& key);

  // Setting a null Value removes the key, as setting nil does.
  void setObjectForKey(const Value& value, const std::string& key);
  void setIntegerForKey(int64_t value, const std::string& key);
  void setBoolForKey(bool value, const std::string& key);
  void setDoubleForKey(double value, const std::string& key);
  void removeObjectForKey(const std::string& key);

  // Adds answers for keys never set (merging with earlier registrations). Not persisted.
  void registerDefaults(const Dictionary& defaults);
  // The stored values merged over the registered defaults.
  Dictionary dictionaryRepresentation();

  // Writes the stored values now if needed; true when the file on disk matches them.
  bool synchronize();

  // Tests: simulates a relaunch — saves pending changes as termination does, forgets memory
  // and registered defaults, and re-reads the file of the current sandbox home.
  void reloadForTesting();
  // The file the values live in (for tests and diagnostics).
  std::string storagePath();

 private:
  UserDefaults() = default;
};

}  // namespace platform
