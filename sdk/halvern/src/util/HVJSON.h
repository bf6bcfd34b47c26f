#pragma once
// JSON for the pages' scripts and from the server. The writer's text is evaluated by the
// pages, so object keys are written bare; the class entry points parse with a nesting bound.
#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"

namespace halvern {

class HVJSON {
 public:
  // Nesting bound of objectWithString: server text deeper than this fails like bad text.
  static constexpr unsigned kServerMaxDepth = 512;

  HVJSON() { string_.reserve(256); }

  // The JSON text of `object` (what addObject wrote, whatever it answered).
  static std::string stringWithObject(const platform::Value& object);
  // Parses `text` (scalars allowed at the top); nullopt for bad or too deeply nested text.
  static std::optional<platform::Value> objectWithString(std::string_view text);
  static std::string stringByEscapingCharacters(std::string_view text);
  static std::string stringByUnescapingCharacters(std::string_view text);

  // Containers answer YES whatever they hold; values that have no JSON form (data, dates)
  // are written as null and answer NO. Writing takes no stack per level of nesting.
  bool addObject(const platform::Value& object);
  // The conjunction of the members' answers.
  bool addArray(const platform::Array& array);
  bool addDictionary(const platform::Dictionary& dictionary);
  bool addString(std::string_view text);
  bool addNumber(const platform::Value& number);
  bool addNull();

  const std::string& string() const { return string_; }

 private:
  // A dictionary's `entries` or an array's `items` (the other null), written with all they
  // hold; the conjunction of the container's own members' answers.
  bool addContainer(bool dictionary, const platform::Value* items, size_t count,
                    const platform::Dictionary::Entry* entries);

  std::string string_;
};

}  // namespace halvern
