#include "QLStatisticsCore.h"

#include "platform/format.h"
#include "platform/user_defaults.h"

namespace quillon {

using platform::Value;

std::shared_ptr<QLStatisticsCore> QLStatisticsCore::create(const std::string& identifier) {
  return std::make_shared<QLStatisticsCore>(Passkey{}, identifier);
}

QLStatisticsCore::QLStatisticsCore(Passkey, std::string identifier) : identifier_(std::move(identifier)) {
  Value saved = platform::UserDefaults::standardUserDefaults().dictionaryForKey(userDefaultsKey());
  if (saved.isDictionary()) statistics_ = saved.dictionary();
}

QLStatisticsCore::~QLStatisticsCore() { synchronize(); }

Value QLStatisticsCore::matching(const std::string& key, Value::Type type) const {
  const Value& v = statistics_.get(key);
  return v.type() == type ? v : Value();
}

Value QLStatisticsCore::numberForKey(const std::string& key) const {
  const Value& v = statistics_.get(key);
  return v.isNumber() ? v : Value();
}

void QLStatisticsCore::setStringForKey(const Value& value, const std::string& key) {
  if (value.isString()) set(key, value);
}

void QLStatisticsCore::setNumberForKey(const Value& value, const std::string& key) {
  if (value.isNumber()) set(key, value);
}

void QLStatisticsCore::setDateForKey(const Value& value, const std::string& key) {
  if (value.isDate()) set(key, value);
}

void QLStatisticsCore::setArrayForKey(const Value& value, const std::string& key) {
  if (value.isArray()) set(key, value);
}

void QLStatisticsCore::setDictionaryForKey(const Value& value, const std::string& key) {
  if (value.isDictionary()) set(key, value);
}

int64_t QLStatisticsCore::addValueNumberForKey(int64_t value, const std::string& key) {
  int64_t sum = numberForKey(key).integerValue() + value;
  set(key, Value(sum));
  return sum;
}

void QLStatisticsCore::removeObjectForKey(const std::string& key) {
  statistics_.erase(key);
  store();
}

void QLStatisticsCore::removeAllObjects() {
  statistics_.clear();
  store();
}

void QLStatisticsCore::set(const std::string& key, const Value& value) {
  statistics_.set(key, value);
  store();
}

void QLStatisticsCore::store() const {
  platform::UserDefaults::standardUserDefaults().setObjectForKey(Value(statistics_), userDefaultsKey());
}

void QLStatisticsCore::synchronize() {
  store();
  platform::UserDefaults::standardUserDefaults().synchronize();
}

std::string QLStatisticsCore::userDefaultsKey() const { return platform::format("quillon_stats_%@", identifier_); }

}  // namespace quillon
