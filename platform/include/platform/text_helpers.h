#pragma once
// Unicode-aware checks and cuts of UTF-8 text, the way the clients' platform string class
// answers them: classification and case from the Unicode character database (as packaged by
// Debian's ICU), lengths counted in UTF-16 code units.
//
// Bytes that are not well-formed UTF-8 count as one U+FFFD each: not alphanumeric, not white
// space, one UTF-16 unit, kept unchanged by lowercase() and never split by a cut.
// Thread safety: pure functions; any thread.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// True when every character is a letter, a mark or a number of any script (general
// categories L*, M*, N*): "Straße", "ναι", "٣٤", "e\u0301" and "" are; "a b", "a_b", "a.b" not.
bool isAlphanumeric(std::string_view text);

// Without the white space at both ends: U+0009 and the space separators (U+0020, U+00A0,
// U+1680, U+2000-U+200A, U+202F, U+205F, U+3000).
std::string trimWhitespace(std::string_view text);
// The same, also trimming line ends: U+000A-U+000D, U+0085, U+2028, U+2029.
std::string trimWhitespaceAndNewlines(std::string_view text);

// Lower case by the Unicode full mappings, independent of any locale ("ΣΟΦΟΣ" → "σοφος" with
// its final sigma, "İ" → "i̇").
std::string lowercase(std::string_view text);

// Length in UTF-16 code units: characters past U+FFFF count two.
size_t utf16Length(std::string_view text);
// The longest prefix of whole characters whose UTF-16 length is at most `units`: a character
// that needs two units is left out whole when only one remains.
std::string prefixUtf16(std::string_view text, size_t units);

}  // namespace platform
