#include "HVJSON.h"

#include "HVJSONParser.h"

#include <vector>

namespace halvern {

using platform::Value;

namespace {

bool needsEscaping(unsigned char c) { return c < 32 || c == '"' || c == '\\'; }

}  // namespace

std::string HVJSON::stringWithObject(const Value& object) {
  HVJSON writer;
  writer.addObject(object);
  return std::move(writer.string_);
}

std::optional<Value> HVJSON::objectWithString(std::string_view text) {
  // A parser per call: the worker thread and the main thread both parse.
  HVJSONParser parser;
  parser.setMaxDepth(kServerMaxDepth);
  return parser.objectWithStringAllowScalar(text, true);
}

std::string HVJSON::stringByEscapingCharacters(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && !needsEscaping(static_cast<unsigned char>(text[i]))) ++i;
  if (i == text.size()) return std::string(text);
  std::string out(text.substr(0, i));
  out.reserve(text.size() + 16);
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case 8: out += "\\b"; break;
      case 9: out += "\\t"; break;
      case 10: out += "\\n"; break;
      case 12: out += "\\f"; break;
      case 13: out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 32) {
          static const char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string HVJSON::stringByUnescapingCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      // A backslash that ends the text has nothing to escape and is dropped.
      if (text[i] != '\\') out += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      default: out += next;
    }
  }
  return out;
}

bool HVJSON::addObject(const Value& object) {
  switch (object.type()) {
    case Value::Type::Array:
      addArray(object.array());
      return true;
    case Value::Type::Dictionary:
      addDictionary(object.dictionary());
      return true;
    case Value::Type::Boolean:
    case Value::Type::Integer:
    case Value::Type::Unsigned:
    case Value::Type::Double:
    case Value::Type::Decimal:
      return addNumber(object);
    case Value::Type::String:
      return addString(object.string());
    case Value::Type::Null:
      return addNull();
    default:
      addNull();
      return false;
  }
}

bool HVJSON::addArray(const platform::Array& array) {
  return addContainer(false, array.begin(), array.size(), nullptr);
}

bool HVJSON::addDictionary(const platform::Dictionary& dictionary) {
  return addContainer(true, nullptr, dictionary.size(), dictionary.begin());
}

bool HVJSON::addContainer(bool dictionary, const Value* items, size_t count,
                          const platform::Dictionary::Entry* entries) {
  // The containers open around the member being written, rather than a stack frame per
  // level: a value nested hundreds of thousands deep is written like any other.
  // An empty dictionary holds no entries at all, so what a container is is kept beside them.
  struct Open {
    bool dictionary;
    const Value* items;
    const platform::Dictionary::Entry* entries;
    size_t count;
    size_t next;
  };
  std::vector<Open> open{{dictionary, items, entries, count, 0}};
  string_ += dictionary ? '{' : '[';
  // The answer is this container's: a container inside answers for its own members only.
  bool ok = true;
  while (!open.empty()) {
    Open& container = open.back();
    if (container.next == container.count) {
      string_ += container.dictionary ? '}' : ']';
      open.pop_back();
      continue;
    }
    if (container.next > 0) string_ += ',';
    const Value* member;
    if (container.dictionary) {
      // Keys are always strings here, so every key can be written.
      string_ += container.entries[container.next].key();
      string_ += ':';
      member = &container.entries[container.next].second;
    } else {
      member = container.items + container.next;
    }
    ++container.next;
    if (member->isArray()) {
      string_ += '[';
      open.push_back({false, member->array().begin(), nullptr, member->array().size(), 0});
    } else if (member->isDictionary()) {
      string_ += '{';
      open.push_back({true, nullptr, member->dictionary().begin(), member->dictionary().size(), 0});
    } else if (!addObject(*member) && open.size() == 1) {
      ok = false;
    }
  }
  return ok;
}

bool HVJSON::addString(std::string_view text) {
  string_ += '"';
  string_ += stringByEscapingCharacters(text);
  string_ += '"';
  return true;
}

bool HVJSON::addNumber(const Value& number) {
  string_ += number.stringValue();
  return true;
}

bool HVJSON::addNull() {
  string_ += "null";
  return true;
}

}  // namespace halvern
