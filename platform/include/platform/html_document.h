#pragma once
// A forgiving HTML reader, good enough for ad pages: it builds the element tree the web view
// hands to scripts (tags, ids, attributes in source order) and finds the scripts to run.
// No layout, no text nodes outside raw-text elements, no error reporting: any input gives a
// document with <html>, <head> and <body>. Text inside <script> and <style> is kept verbatim;
// attribute values and the text of <title> and <textarea> have their character references
// decoded. Elements nest at most kMaxDepth deep (deeper ones become siblings at that depth),
// so a hostile page cannot exhaust the stack of whoever walks the tree.
//
// Thread safety: the type is a plain value; parse() and decodeEntities() are reentrant.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

struct HtmlElement {
  std::string tag;  // lower case
  // Names lower case, values decoded; a repeated name keeps its first value.
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;  // raw text of script/style; decoded text of title/textarea
  std::vector<HtmlElement> children;

  // The attribute's value, or nullptr when absent.
  const std::string* attribute(std::string_view name) const;
};

class HtmlDocument {
 public:
  static constexpr int kMaxDepth = 200;

  // Parses a whole document; <html>, <head> and <body> are made when the text lacks them.
  static HtmlDocument parse(std::string_view html);
  // Parses text written into an existing document (document.write): the elements in order.
  // Reading stops once `maxElements` elements (nested ones included) have been made.
  static std::vector<HtmlElement> parseFragment(std::string_view html,
                                                size_t maxElements = SIZE_MAX);
  // Replaces named (the common ones) and numeric character references; unknown or malformed
  // references are kept as they are.
  static std::string decodeEntities(std::string_view text);

  const HtmlElement& root() const { return root_; }
  const HtmlElement& head() const { return root_.children[0]; }
  const HtmlElement& body() const { return root_.children[1]; }
  // The decoded text of the first <title>, or "".
  std::string title() const;
  // Every <script> element in document order.
  std::vector<const HtmlElement*> scripts() const;

 private:
  // Only parse() makes a document: head() and body() rely on the two children it adds.
  HtmlDocument() = default;
  HtmlElement root_;
};

}  // namespace platform
