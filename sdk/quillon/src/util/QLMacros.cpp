#include "QLMacros.h"

#include "QLJSON.h"
#include "platform/error.h"
#include "platform/log.h"

namespace quillon {

std::optional<platform::Value> QLMacros::readJson(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  auto value = QLJSON().objectWithStringError(text);
  if (!value || !value->isDictionary()) return std::nullopt;
  return value;
}

std::optional<std::string> QLMacros::jsonify(const std::optional<platform::Value>& value) {
  if (!value) return std::nullopt;
  platform::Error error;
  auto text = QLJSON().stringWithObjectError(*value, &error);
  if (text) return text;
  // Where it failed and why: the outermost error names the key, the innermost the value.
  const platform::Value* root = &error.userInfo;
  while ((*root)[platform::kUnderlyingErrorKey].isDictionary()) root = &(*root)[platform::kUnderlyingErrorKey]["userInfo"];
  std::string why(error.userInfo[platform::kLocalizedDescriptionKey].string());
  if (root != &error.userInfo) why.append(": ").append((*root)[platform::kLocalizedDescriptionKey].string());
  platform::log("<Quillon> Cannot write as JSON: " + why);
  return "";
}

}  // namespace quillon
