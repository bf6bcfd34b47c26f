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

#include "platform/value.h"
#include "platform/value_stack.h"

namespace halvern {

class HVJSONParser {
 public:
  // An array or object nested deeper fails the parse. 0 means no limit of the caller's own;
  // the reader's stack still bounds nesting at platform::ValueStack::kMaxRecursionDepth,
  // which also caps any higher limit.
  unsigned maxDepth() const { return maxDepth_; }
  void setMaxDepth(unsigned depth) { maxDepth_ = depth; }

  // nullopt for bad text, text left over after the value, or (without allowScalar) a top
  // value that is neither an object nor an array.
  std::optional<platform::Value> objectWithStringAllowScalar(std::string_view text, bool allowScalar);

 private:
  // Each scan pushes what it read on the member stack; a container takes its members off
  // when it closes, and the document's value is what is left at the end.
  bool scanValue();
  bool scanRestOfDictionary();
  bool scanRestOfArray();
  // The string's text: the input's own bytes, or the scratch buffer when it held escapes
  // (valid until the next string is scanned).
  bool scanRestOfString(std::string_view& out);
  // The number's text as written.
  bool scanNumber(std::string_view& out);
  bool scanLiteral(std::string_view rest);
  bool scanUnicodeChar(std::string& out);
  bool scanHexQuad(unsigned& out);
  bool scanIsAtEnd();
  void skipWhitespace();
  bool enter();

  const unsigned char* c_ = nullptr;
  const unsigned char* end_ = nullptr;
  size_t depth_ = 0;
  // The limit in force during a parse.
  size_t depthLimit_ = 0;
  unsigned maxDepth_ = 0;
  // Members and keys of the open containers, shared by every depth and kept from parse to
  // parse.
  platform::ValueStack stack_;
  std::string scratch_;
};

}  // namespace halvern
