#include "QLTiming.h"

#include <climits>

#include "platform/clock.h"
#include "platform/format.h"

namespace quillon {

using platform::Dictionary;
using platform::Value;

std::shared_ptr<QLTiming> QLTiming::create(const std::optional<std::string>& category) {
  if (!category) return nullptr;
  return std::make_shared<QLTiming>(Passkey{}, *category);
}

std::shared_ptr<QLTiming> QLTiming::createWithDictionaryRepresentation(const Value& dictionary) {
  const Value& category = dictionary["category"];
  if (!category.isString()) return nullptr;
  auto timing = create(category.string());
  timing->startSeconds_ = dictionary["start"].doubleValue();
  timing->endSeconds_ = dictionary["end"].doubleValue();
  if (dictionary["userData"].isDictionary()) timing->userData_ = dictionary["userData"].dictionary();
  return timing;
}

double QLTiming::counter() { return platform::Clock::current().monotonic(); }

void QLTiming::start() {
  startSeconds_ = counter();
  endSeconds_ = 0;
}

void QLTiming::end() {
  if (startSeconds_ > 0) endSeconds_ = counter();
}

void QLTiming::reset() { startSeconds_ = endSeconds_ = 0; }

uint64_t QLTiming::elapsedMilliseconds() const {
  if (startSeconds_ <= 0) return 0;
  double until = endSeconds_ != 0 ? endSeconds_ : counter();
  double ms = (until - startSeconds_) * 1000;
  if (!(ms > 0)) return 0;
  if (ms >= 1.8e19) return UINT64_MAX;
  return static_cast<uint64_t>(ms);
}

std::string QLTiming::elapsedMillisecondsString() const {
  uint64_t ms = elapsedMilliseconds();
  return platform::format("%d", static_cast<int>(ms > INT_MAX ? INT_MAX : ms));
}

void QLTiming::setValueForKey(const Value& value, const std::string& key) {
  if (value.isNull()) return;
  userData_.set(key, value);
}

Value QLTiming::dictionaryRepresentation() const {
  Dictionary d{{"category", Value(category_)}, {"start", Value(startSeconds_)}, {"end", Value(endSeconds_)}};
  if (!userData_.empty()) d.set("userData", Value(userData_));
  return Value(std::move(d));
}

std::string QLTiming::description() const {
  return platform::format("%@ (%p): %@", "QLTiming", static_cast<const void*>(this), dictionaryRepresentation());
}

std::shared_ptr<QLTiming> QLTiming::copy() const { return std::make_shared<QLTiming>(*this); }

}  // namespace quillon
