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

// Equal but for the case of ASCII letters: A-Z and a-z match their other case, every other
// byte only itself, whatever locale the process runs in. For names the server writes in
// ASCII (element names, enumerated words), compared per element, so kept inline.
inline bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    // Only letters differ by the 0x20 bit alone and fold to a-z with it set.
    if ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z') return false;
  }
  return true;
}

// Lower case by the Unicode full mappings, independent of any locale ("ΣΟΦΟΣ" → "σοφος" with
// its final sigma, "İ" → "i̇").
std::string lowercase(std::string_view text);

// Length in UTF-16 code units: characters past U+FFFF count two.
size_t utf16Length(std::string_view text);
// The longest prefix of whole characters whose UTF-16 length is at most `units`: a character
// that needs two units is left out whole when only one remains.
std::string prefixUtf16(std::string_view text, size_t units);

}  // namespace platform
