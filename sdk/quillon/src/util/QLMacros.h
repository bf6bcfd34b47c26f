#pragma once
// The two one-call JSON helpers the rest of the client uses.
#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"

namespace quillon {

class QLMacros {
 public:
  // The dictionary parsed from `text`; nothing when the text is missing, does not parse or is
  // not an object.
  static std::optional<platform::Value> readJson(std::optional<std::string_view> text);
  // The text written with default settings; nothing for nothing, "" when writing fails (a
  // number that is not finite), with a log line that says where and why.
  static std::optional<std::string> jsonify(const std::optional<platform::Value>& value);
};

}  // namespace quillon
