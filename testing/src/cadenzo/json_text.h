#pragma once
// A small strict JSON reader and string quoting for the Cadenzo sandbox server. It is kept
// apart from the client's own parser on purpose: the server checks what the client sends
// with code that shares nothing with it.
#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"

namespace testkit::cadenzo_json {

// The value of `text` (one value, surrounded by whitespace only), or nullopt. Integers
// become signed or unsigned numbers, other numbers doubles; objects keep member order.
std::optional<platform::Value> parse(std::string_view text);

// `text` as a quoted JSON string.
std::string quote(std::string_view text);

// `value` as JSON text: dictionaries in their order, data and dates as null.
std::string write(const platform::Value& value);

}  // namespace testkit::cadenzo_json
