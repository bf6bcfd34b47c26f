#include "platform/html_document.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>

#include "platform/keyed_hash.h"
#include "platform/utf8.h"

namespace platform {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isAlpha(c) || isDigit(c); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

// HTML reads a NUL character reference as U+FFFD too.
void appendCodePoint(std::string& out, uint32_t cp) { appendUtf8(out, cp == 0 ? 0xFFFD : cp); }

struct NamedEntity {
  const char* name;
  uint32_t codePoint;
  bool legacy;  // also recognised without the closing semicolon
};

constexpr NamedEntity kEntities[] = {
    {"amp", '&', true},      {"lt", '<', true},        {"gt", '>', true},
    {"quot", '"', true},     {"nbsp", 0xA0, true},     {"apos", '\'', false},
    {"copy", 0xA9, true},    {"reg", 0xAE, true},      {"trade", 0x2122, false},
    {"hellip", 0x2026, false}, {"mdash", 0x2014, false}, {"ndash", 0x2013, false},
    {"lsquo", 0x2018, false}, {"rsquo", 0x2019, false}, {"ldquo", 0x201C, false},
    {"rdquo", 0x201D, false}, {"laquo", 0xAB, false},   {"raquo", 0xBB, false},
    {"middot", 0xB7, false}, {"bull", 0x2022, false},  {"euro", 0x20AC, false},
    {"pound", 0xA3, false},  {"yen", 0xA5, false},     {"cent", 0xA2, false},
    {"deg", 0xB0, false},    {"times", 0xD7, false},   {"divide", 0xF7, false},
};

// Decodes one reference starting at text[i] == '&'; returns the characters consumed (0 when
// the text is not a reference and the '&' stays literal).
size_t decodeReference(std::string_view text, size_t i, bool inAttribute, std::string& out) {
  size_t j = i + 1;
  if (j < text.size() && text[j] == '#') {
    ++j;
    bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
    if (hex) ++j;
    size_t start = j;
    uint32_t cp = 0;
    while (j < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[j])) != 0
                                   : isDigit(text[j]))) {
      char c = text[j];
      uint32_t digit = isDigit(c) ? c - '0' : (lower(c) - 'a' + 10);
      if (cp <= 0x10FFFF) cp = cp * (hex ? 16 : 10) + digit;
      ++j;
    }
    if (j == start) return 0;
    if (j < text.size() && text[j] == ';') ++j;
    appendCodePoint(out, cp);
    return j - i;
  }
  size_t start = j;
  while (j < text.size() && isAlnum(text[j]) && j - start < 10) ++j;
  std::string_view name = text.substr(start, j - start);
  bool semicolon = j < text.size() && text[j] == ';';
  for (const auto& e : kEntities) {
    if (name != e.name) continue;
    if (!semicolon) {
      if (!e.legacy) return 0;
      if (inAttribute && j < text.size() && (isAlnum(text[j]) || text[j] == '=')) return 0;
    }
    appendCodePoint(out, e.codePoint);
    return (semicolon ? j + 1 : j) - i;
  }
  return 0;
}

std::string decode(std::string_view text, bool inAttribute) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '&') {
      size_t used = decodeReference(text, i, inAttribute, out);
      if (used) {
        i += used;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

bool isVoid(std::string_view tag) {
  static constexpr std::string_view kVoid[] = {"area", "base",  "br",    "col",   "embed",
                                               "hr",   "img",   "input", "link",  "meta",
                                               "param", "source", "track", "wbr", "keygen"};
  return std::find(std::begin(kVoid), std::end(kVoid), tag) != std::end(kVoid);
}

bool isRawText(std::string_view tag) {
  return tag == "script" || tag == "style" || tag == "xmp" || tag == "iframe" ||
         tag == "noembed" || tag == "noframes";
}

bool isEscapableRawText(std::string_view tag) { return tag == "title" || tag == "textarea"; }

bool belongsInHead(std::string_view tag) {
  return tag == "title" || tag == "meta" || tag == "link" || tag == "script" || tag == "style" ||
         tag == "base" || tag == "noscript";
}

struct Tag {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  bool end = false;
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : s_(text) {}

  // Calls `onTag` for every start and end tag until it answers false; the raw text of
  // raw-text elements is read here and handed over in the start tag's callback.
  void run(const std::function<bool(Tag&, std::string*)>& onTag) {
    while (i_ < s_.size()) {
      size_t lt = s_.find('<', i_);
      if (lt == std::string_view::npos) break;
      i_ = lt;
      if (s_.compare(i_, 4, "<!--") == 0) {
        size_t end = s_.find("-->", i_ + 4);
        i_ = end == std::string_view::npos ? s_.size() : end + 3;
      } else if (i_ + 1 < s_.size() && (s_[i_ + 1] == '!' || s_[i_ + 1] == '?')) {
        size_t end = s_.find('>', i_ + 2);
        i_ = end == std::string_view::npos ? s_.size() : end + 1;
      } else if (i_ + 2 < s_.size() && s_[i_ + 1] == '/' && isAlpha(s_[i_ + 2])) {
        i_ += 2;
        Tag tag;
        tag.end = true;
        tag.name = readName();
        size_t end = s_.find('>', i_);
        i_ = end == std::string_view::npos ? s_.size() : end + 1;
        if (!onTag(tag, nullptr)) return;
      } else if (i_ + 1 < s_.size() && isAlpha(s_[i_ + 1])) {
        ++i_;
        Tag tag;
        tag.name = readName();
        readAttributes(tag);
        if (isRawText(tag.name) || isEscapableRawText(tag.name)) {
          std::string text = readRawText(tag.name);
          if (isEscapableRawText(tag.name)) text = decode(text, false);
          if (!onTag(tag, &text)) return;
        } else if (!onTag(tag, nullptr)) {
          return;
        }
      } else {
        ++i_;  // a lone '<' is text
      }
    }
  }

 private:
  std::string readName() {
    size_t start = i_;
    while (i_ < s_.size() && !isSpace(s_[i_]) && s_[i_] != '/' && s_[i_] != '>') ++i_;
    return lowered(s_.substr(start, i_ - start));
  }

  void skipSpace() {
    while (i_ < s_.size() && isSpace(s_[i_])) ++i_;
  }

  void readAttributes(Tag& tag) {
    // Names seen so far, so that a tag with a great many attributes stays linear.
    KeyedTextSet seen;
    while (i_ < s_.size()) {
      while (i_ < s_.size() && (isSpace(s_[i_]) || s_[i_] == '/')) ++i_;
      if (i_ >= s_.size()) return;
      if (s_[i_] == '>') {
        ++i_;
        return;
      }
      size_t start = i_++;
      while (i_ < s_.size() && !isSpace(s_[i_]) && s_[i_] != '/' && s_[i_] != '>' &&
             s_[i_] != '=')
        ++i_;
      std::string name = lowered(s_.substr(start, i_ - start));
      std::string value;
      skipSpace();
      if (i_ < s_.size() && s_[i_] == '=') {
        ++i_;
        skipSpace();
        if (i_ < s_.size() && (s_[i_] == '"' || s_[i_] == '\'')) {
          char quote = s_[i_++];
          size_t end = s_.find(quote, i_);
          if (end == std::string_view::npos) end = s_.size();
          value = decode(s_.substr(i_, end - i_), true);
          i_ = std::min(end + 1, s_.size());
        } else {
          size_t vstart = i_;
          while (i_ < s_.size() && !isSpace(s_[i_]) && s_[i_] != '>') ++i_;
          value = decode(s_.substr(vstart, i_ - vstart), true);
        }
      }
      if (seen.insert(name).second) tag.attributes.emplace_back(std::move(name), std::move(value));
    }
  }

  // Text up to the matching end tag (case-insensitive), which is consumed.
  std::string readRawText(const std::string& name) {
    size_t from = i_;
    for (size_t p = s_.find("</", from); p != std::string_view::npos; p = s_.find("</", p + 2)) {
      size_t q = p + 2;
      if (q + name.size() > s_.size()) break;
      if (lowered(s_.substr(q, name.size())) != name) continue;
      q += name.size();
      if (q < s_.size() && !isSpace(s_[q]) && s_[q] != '/' && s_[q] != '>') continue;
      size_t end = s_.find('>', q);
      i_ = end == std::string_view::npos ? s_.size() : end + 1;
      return std::string(s_.substr(from, p - from));
    }
    i_ = s_.size();
    return std::string(s_.substr(from));
  }

  std::string_view s_;
  size_t i_ = 0;
};

// `names` holds the names `into` already has (repeated <body> tags merge into one element).
void mergeAttributes(HtmlElement& into, KeyedTextSet& names, Tag& tag) {
  for (auto& a : tag.attributes) {
    if (names.insert(a.first).second) into.attributes.push_back(std::move(a));
  }
}

// Adds `tag` under the top of `stack` and opens it when it can have children.
void addElement(std::vector<HtmlElement*>& stack, Tag& tag, std::string* text) {
  HtmlElement& parent = *stack.back();
  parent.children.push_back(HtmlElement{tag.name, std::move(tag.attributes), {}, {}});
  HtmlElement& element = parent.children.back();
  if (text) {
    element.text = std::move(*text);
  } else if (!isVoid(tag.name) && static_cast<int>(stack.size()) < HtmlDocument::kMaxDepth) {
    stack.push_back(&element);
  }
}

// Closes the innermost open element named `name`, never the container at the bottom.
void closeElement(std::vector<HtmlElement*>& stack, const std::string& name) {
  for (size_t k = stack.size(); k-- > 1;) {
    if (stack[k]->tag == name) {
      stack.resize(k);
      return;
    }
  }
}

void collectScripts(const HtmlElement& e, std::vector<const HtmlElement*>& out) {
  for (const auto& child : e.children) {
    if (child.tag == "script") out.push_back(&child);
    collectScripts(child, out);
  }
}

const HtmlElement* findFirst(const HtmlElement& e, std::string_view tag) {
  for (const auto& child : e.children) {
    if (child.tag == tag) return &child;
    if (const HtmlElement* found = findFirst(child, tag)) return found;
  }
  return nullptr;
}

}  // namespace

const std::string* HtmlElement::attribute(std::string_view name) const {
  for (const auto& a : attributes) {
    if (a.first == name) return &a.second;
  }
  return nullptr;
}

std::string HtmlDocument::decodeEntities(std::string_view text) { return decode(text, false); }

HtmlDocument HtmlDocument::parse(std::string_view html) {
  HtmlDocument doc;
  doc.root_.tag = "html";
  doc.root_.children.resize(2);
  HtmlElement& head = doc.root_.children[0];
  HtmlElement& body = doc.root_.children[1];
  head.tag = "head";
  body.tag = "body";
  bool inBody = false;
  KeyedTextSet rootNames, headNames, bodyNames;
  std::vector<HtmlElement*> stack{&head};
  auto enterBody = [&] {
    if (!inBody) {
      inBody = true;
      stack.assign(1, &body);
    }
  };
  Tokenizer(html).run([&](Tag& tag, std::string* text) {
    const std::string& name = tag.name;
    if (tag.end) {
      if (name != "head" && name != "body" && name != "html") closeElement(stack, name);
      return true;
    }
    if (name == "html") {
      mergeAttributes(doc.root_, rootNames, tag);
    } else if (name == "head") {
      if (!inBody) mergeAttributes(head, headNames, tag);
    } else if (name == "body") {
      mergeAttributes(body, bodyNames, tag);
      enterBody();
    } else {
      if (!inBody && !belongsInHead(name)) enterBody();
      addElement(stack, tag, text);
    }
    return true;
  });
  return doc;
}

std::vector<HtmlElement> HtmlDocument::parseFragment(std::string_view html, size_t maxElements) {
  HtmlElement container;
  std::vector<HtmlElement*> stack{&container};
  size_t made = 0;
  Tokenizer(html).run([&](Tag& tag, std::string* text) {
    if (tag.name == "html" || tag.name == "head" || tag.name == "body") return true;
    if (tag.end) {
      closeElement(stack, tag.name);
      return true;
    }
    if (made >= maxElements) return false;
    addElement(stack, tag, text);
    ++made;
    return true;
  });
  return std::move(container.children);
}

std::string HtmlDocument::title() const {
  const HtmlElement* t = findFirst(root_, "title");
  return t ? t->text : std::string();
}

std::vector<const HtmlElement*> HtmlDocument::scripts() const {
  std::vector<const HtmlElement*> out;
  collectScripts(root_, out);
  return out;
}

}  // namespace platform
