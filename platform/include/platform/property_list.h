#pragma once
// XML property lists to and from `Value`. Pure functions: thread-safe, nothing thrown.
//
// Element      Value
// <dict>       Dictionary (keys in document order; <key> then one value, repeated)
// <array>      Array
// <string>     string (entities and CDATA decoded, whitespace kept)
// <integer>    signed, or unsigned above the signed range; decimal, or hex with "0x"
// <real>       double ("nan", "+infinity", "-infinity" too); a Decimal is written as one
// <true/>      boolean (<false/> too)
// <date>       Date, ISO 8601 in UTC: "2013-04-05T10:20:30Z" (whole seconds)
// <data>       Bytes, standard Base64 (whitespace inside is skipped)
// The root may stand inside <plist> or alone. Reading goes through XMLParser, so external
// entities are never read and entity expansion is bounded.
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/value.h"

namespace platform {

// Domain and codes of the errors reported by PropertyList.
inline constexpr const char* kPropertyListErrorDomain = "NSCocoaErrorDomain";
inline constexpr long kPropertyListReadCorruptError = 3840;
inline constexpr long kPropertyListWriteInvalidError = 3851;

class PropertyList {
 public:
  // nullopt, with `error` set when given, for anything that is not a well-formed XML
  // property list (unknown element, text where a value belongs, a key without a value,
  // a number or date that does not read, invalid Base64, more than one root).
  static std::optional<Value> read(const Bytes& xml, Error* error = nullptr);
  static std::optional<Value> read(std::string_view xml, Error* error = nullptr);

  // The document, tab-indented, one element per line:
  //   <?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n...\n</plist>\n
  // nullopt (error set when given) for what a property list cannot hold: a null value,
  // text that is not valid UTF-8 or holds characters XML 1.0 forbids.
  static std::optional<std::string> write(const Value& value, Error* error = nullptr);
};

}  // namespace platform
