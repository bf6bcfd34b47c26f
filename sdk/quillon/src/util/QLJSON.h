#pragma once
// The client's JSON reader and writer. Reading gives dictionaries (document order; a repeated
// key keeps its first place and its last value), arrays, strings, decimal numbers (exact, as
// plain decimal text: "1.50" reads as 1.5 and "1E2" as 100), booleans (distinct from numbers)
// and nulls. Writing takes the same values, optionally with sorted keys and indentation.
//
// Failure: std::nullopt, and the error (domain kErrorDomain, a code of ErrorCode, the message
// as localized description) in the optional out-parameter. An error raised inside a container
// is wrapped by the container's own error, the inner one becoming its underlying error
// (platform::kUnderlyingErrorKey, as a dictionary of "domain", "code" and "userInfo"), so
// "[tru]" fails with "Expected value while parsing array" over "Expected 'true'".
// Nothing is thrown. One parse or write at a time per object.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/value.h"

namespace quillon {

class QLJSON {
 public:
  static constexpr const char* kErrorDomain = "org.pelvorine.JSON.ErrorDomain";
  enum ErrorCode : long {
    kUnsupported = 1,
    kBadNumber = 2,
    kParse = 3,
    kFragment = 4,
    kControlCharacter = 5,
    kUnicode = 6,
    kDepth = 7,
    kEscape = 8,
    kTrailingComma = 9,
    kTrailingGarbage = 10,
    kEndOfInput = 11,
    kNoInput = 12,
  };

  // The top value must be an object or an array. A missing text is "Input was 'nil'".
  std::optional<platform::Value> objectWithStringError(std::optional<std::string_view> text,
                                                       platform::Error* error = nullptr);
  // Any value at the top.
  std::optional<platform::Value> fragmentWithStringError(std::optional<std::string_view> text,
                                                         platform::Error* error = nullptr);
  std::optional<platform::Value> objectWithStringAllowScalarError(std::optional<std::string_view> text,
                                                                  bool allowScalar, platform::Error* error = nullptr);

  // A dictionary or an array.
  std::optional<std::string> stringWithObjectError(const platform::Value& value, platform::Error* error = nullptr);
  // Any value.
  std::optional<std::string> stringWithFragmentError(const platform::Value& value, platform::Error* error = nullptr);
  std::optional<std::string> stringWithObjectAllowScalarError(const platform::Value& value, bool allowScalar,
                                                              platform::Error* error = nullptr);

  bool humanReadable() const { return humanReadable_; }
  void setHumanReadable(bool v) { humanReadable_ = v; }
  bool sortKeys() const { return sortKeys_; }
  void setSortKeys(bool v) { sortKeys_ = v; }
  // Containers nested deeper than this fail to parse (512 by default). A higher limit stops
  // at platform::ValueStack::kMaxRecursionDepth, where the reader's stack ends. Writing is
  // not limited.
  size_t maxDepth() const { return maxDepth_; }
  void setMaxDepth(size_t v) { maxDepth_ = v; }

 private:
  class Reader;
  class Writer;

  bool humanReadable_ = false;
  bool sortKeys_ = false;
  size_t maxDepth_ = 512;
};

}  // namespace quillon
