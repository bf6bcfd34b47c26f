#pragma once
// Values nested far deeper than a thread's stack would take a frame per level, for tests of
// code that walks them, with the JSON text they are.
#include <string>
#include <string_view>
#include <utility>

#include "platform/value.h"

namespace testkit {

// `leaf` inside `levels` containers: a dictionary {"k": <inner>, "n": level} at even levels
// and an array [<inner>, level] at odd ones, level 0 outermost.
inline platform::Value deepValue(int levels, platform::Value leaf) {
  for (int level = levels - 1; level >= 0; --level) {
    platform::Value outer;
    if (level % 2 == 0) {
      outer.mutableDictionary().set("k", std::move(leaf));
      outer.mutableDictionary().set("n", level);
    } else {
      outer.mutableArray().push_back(std::move(leaf));
      outer.mutableArray().push_back(level);
    }
    leaf = std::move(outer);
  }
  return leaf;
}

// The compact JSON text of deepValue(levels, leaf), `leafText` being the leaf's; keys quoted,
// or bare as a script reads them.
inline std::string deepValueText(int levels, std::string_view leafText, bool bareKeys = false) {
  const std::string quote = bareKeys ? "" : "\"";
  std::string text;
  for (int level = 0; level < levels; ++level) text += level % 2 == 0 ? "{" + quote + "k" + quote + ":" : "[";
  text += leafText;
  for (int level = levels - 1; level >= 0; --level)
    text += (level % 2 == 0 ? "," + quote + "n" + quote + ":" : ",") + std::to_string(level) + (level % 2 == 0 ? "}" : "]");
  return text;
}

}  // namespace testkit
