#pragma once
// UTF-8 encoding shared by the readers of outside text.
#include <cstdint>
#include <string>

namespace platform {

// Appends the UTF-8 form of `codePoint`; a surrogate or a value past U+10FFFF becomes U+FFFD.
void appendUtf8(std::string& out, uint32_t codePoint);

}  // namespace platform
