#pragma once
// JSON text that the sandbox servers write into their answers.
#include <string>
#include <string_view>

namespace testkit {

// `text` as a quoted JSON string: quotes, backslashes and control characters escaped, every
// other byte as it stands.
std::string jsonQuoted(std::string_view text);

}  // namespace testkit
