#pragma once
// Base64 (RFC 4648) in the standard and the URL-safe alphabets. Pure functions:
// thread-safe, nothing thrown.
#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"

namespace platform {

enum class Base64Alphabet {
  Standard,  // A-Z a-z 0-9 + /
  UrlSafe,   // A-Z a-z 0-9 - _
};

// No line breaks; "=" padding to a multiple of four characters when `padding`.
std::string base64Encode(const Bytes& bytes, Base64Alphabet alphabet = Base64Alphabet::Standard,
                         bool padding = true);
std::string base64Encode(std::string_view bytes, Base64Alphabet alphabet = Base64Alphabet::Standard,
                         bool padding = true);

// Spaces, tabs and line breaks are skipped; padding may be present (only at the end, and
// only as much as the length needs) or left out. nullopt for any other character, or a
// length that cannot be Base64 (one character left over).
std::optional<Bytes> base64Decode(std::string_view text,
                                  Base64Alphabet alphabet = Base64Alphabet::Standard);

}  // namespace platform
