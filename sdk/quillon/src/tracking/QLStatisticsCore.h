#pragma once
// A named store of values kept in the user defaults under "quillon_stats_<id>": read when
// made, handed to the user defaults at every change (the shared store is never destroyed, and
// a process ends without warning), written to disk when synchronized and when the store goes
// away. Each typed setter stores only
// a value of its own kind. Main thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/value.h"
#include "platform/passkey.h"

namespace quillon {

class QLStatisticsCore {
 public:
  static std::shared_ptr<QLStatisticsCore> create(const std::string& identifier);
  ~QLStatisticsCore();

  // Null unless the stored value has the getter's kind.
  platform::Value stringForKey(const std::string& key) const { return matching(key, platform::Value::Type::String); }
  platform::Value numberForKey(const std::string& key) const;
  platform::Value dateForKey(const std::string& key) const { return matching(key, platform::Value::Type::Date); }
  platform::Value arrayForKey(const std::string& key) const { return matching(key, platform::Value::Type::Array); }
  platform::Value dictionaryForKey(const std::string& key) const {
    return matching(key, platform::Value::Type::Dictionary);
  }

  void setStringForKey(const platform::Value& value, const std::string& key);
  void setNumberForKey(const platform::Value& value, const std::string& key);
  void setDateForKey(const platform::Value& value, const std::string& key);
  void setArrayForKey(const platform::Value& value, const std::string& key);
  void setDictionaryForKey(const platform::Value& value, const std::string& key);

  // Adds `value` to the stored integer (0 when absent), stores and answers the sum.
  int64_t addValueNumberForKey(int64_t value, const std::string& key);
  void removeObjectForKey(const std::string& key);
  void removeAllObjects();

  // Saves to the user defaults and synchronizes them.
  void synchronize();
  std::string userDefaultsKey() const;
  const std::string& identifier() const { return identifier_; }

  using Passkey = platform::Passkey<QLStatisticsCore>;
  QLStatisticsCore(Passkey, std::string identifier);

 private:
  platform::Value matching(const std::string& key, platform::Value::Type type) const;
  void set(const std::string& key, const platform::Value& value);
  void store() const;

  std::string identifier_;
  platform::Dictionary statistics_;
};

}  // namespace quillon
