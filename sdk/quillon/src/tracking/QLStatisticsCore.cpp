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
  if (value.isString()) statistics_.set(key, value);
}

void QLStatisticsCore::setNumberForKey(const Value& value, const std::string& key) {
  if (value.isNumber()) statistics_.set(key, value);
}

void QLStatisticsCore::setDateForKey(const Value& value, const std::string& key) {
  if (value.isDate()) statistics_.set(key, value);
}

void QLStatisticsCore::setArrayForKey(const Value& value, const std::string& key) {
  if (value.isArray()) statistics_.set(key, value);
}

void QLStatisticsCore::setDictionaryForKey(const Value& value, const std::string& key) {
  if (value.isDictionary()) statistics_.set(key, value);
}

int64_t QLStatisticsCore::addValueNumberForKey(int64_t value, const std::string& key) {
  int64_t sum = numberForKey(key).integerValue() + value;
  statistics_.set(key, Value(sum));
  return sum;
}

void QLStatisticsCore::synchronize() {
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  defaults.setObjectForKey(Value(statistics_), userDefaultsKey());
  defaults.synchronize();
}

std::string QLStatisticsCore::userDefaultsKey() const { return platform::format("quillon_stats_%@", identifier_); }

}  // namespace quillon
