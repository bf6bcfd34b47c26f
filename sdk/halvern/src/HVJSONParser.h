#pragma once
// The reader of the server's JSON. Lenient where the server has always been lenient (array
// values and object members need no comma between them), strict elsewhere: no trailing
// comma, no leading zeros, no lone surrogates, no control bytes in strings.
// Objects become dictionaries (a repeated key keeps its last value), numbers decimal numbers
// holding the text as written, true/false booleans, null the null value.
// One parser is used by one thread at a time.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/value.h"

namespace halvern {

class HVJSONParser {
 public:
  // 0 means no limit; otherwise an array or object nested deeper fails the parse.
  unsigned maxDepth() const { return maxDepth_; }
  void setMaxDepth(unsigned depth) { maxDepth_ = depth; }

  // nullopt for bad text, text left over after the value, or (without allowScalar) a top
  // value that is neither an object nor an array.
  std::optional<platform::Value> objectWithStringAllowScalar(std::string_view text, bool allowScalar);

 private:
  bool scanValue(platform::Value& out);
  // The string's text: the input's own bytes, or the scratch buffer when it held escapes
  // (valid until the next string is scanned).
  bool scanRestOfString(std::string_view& out);
  const unsigned char* skipPlainRun(const unsigned char* c) const;
  bool scanRestOfDictionary(platform::Value& out);
  bool scanRestOfArray(platform::Value& out);
  bool scanNumber(platform::Value& out);
  bool scanLiteral(std::string_view rest);
  bool scanUnicodeChar(std::string& out);
  bool scanHexQuad(unsigned& out);
  bool scanIsAtEnd();
  void skipWhitespace();

  const unsigned char* c_ = nullptr;
  const unsigned char* end_ = nullptr;
  unsigned depth_ = 0;
  unsigned maxDepth_ = 0;
  // Members of the open containers, shared by every depth: a container takes its own off
  // the top when it closes, so nested containers reuse one allocation.
  std::vector<platform::Value> values_;
  std::vector<platform::Dictionary::Entry> entries_;
  std::string scratch_;
};

}  // namespace halvern
