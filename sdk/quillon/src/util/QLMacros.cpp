#include "QLMacros.h"

#include "QLJSON.h"

namespace quillon {

std::optional<platform::Value> QLMacros::readJson(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  auto value = QLJSON().objectWithStringError(text);
  if (!value || !value->isDictionary()) return std::nullopt;
  return value;
}

std::optional<std::string> QLMacros::jsonify(const std::optional<platform::Value>& value) {
  if (!value) return std::nullopt;
  return QLJSON().stringWithObjectError(*value).value_or("");
}

}  // namespace quillon
