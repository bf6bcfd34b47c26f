#pragma once
// Well-formed UTF-8, as the JSON tokeniser and the BSON writer both require it.
// Pure functions; thread-safe.
#include <cstddef>
#include <cstdint>
#include <string>

namespace cadenzo {

// True when `bytes` is well-formed UTF-8: continuation bytes 0x80-0xBF, no overlong forms
// (lead bytes 0xC0, 0xC1 refused, second byte after 0xE0 at least 0xA0, after 0xF0 at least
// 0x90), no encoded surrogates (second byte after 0xED at most 0x9F), nothing above
// U+10FFFF (second byte after 0xF4 at most 0x8F, lead bytes 0xF5 and above refused).
bool isValidUTF8(const uint8_t* bytes, size_t length);

// Appends the UTF-8 form of a code point (at most U+10FFFF) to `out`.
void appendUTF8(std::string& out, uint32_t codePoint);

}  // namespace cadenzo
