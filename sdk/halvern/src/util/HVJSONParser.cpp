#include "HVJSONParser.h"

#include <cstdint>
#include <cstring>

#include "platform/string_scan.h"
#include "platform/utf8.h"

namespace halvern {

using platform::Value;

namespace {

bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<Value> HVJSONParser::objectWithStringAllowScalar(std::string_view text, bool allowScalar) {
  c_ = reinterpret_cast<const unsigned char*>(text.data());
  end_ = c_ + text.size();
  depth_ = 0;
  depthLimit_ = platform::ValueStack::kMaxRecursionDepth;
  if (maxDepth_ && maxDepth_ < depthLimit_) depthLimit_ = maxDepth_;
  stack_.clear();
  stack_.expectText(text.size());
  if (!scanValue() || !scanIsAtEnd()) {
    stack_.clear();
    return std::nullopt;
  }
  std::optional<Value> value(stack_.take());
  if (!allowScalar && !value->isArray() && !value->isDictionary()) return std::nullopt;
  return value;
}

void HVJSONParser::skipWhitespace() {
  while (c_ < end_ && isSpace(*c_)) ++c_;
}

bool HVJSONParser::scanIsAtEnd() {
  skipWhitespace();
  return c_ == end_;
}

bool HVJSONParser::enter() { return ++depth_ <= depthLimit_; }

bool HVJSONParser::scanValue() {
  skipWhitespace();
  if (c_ == end_) return false;
  switch (*c_++) {
    case '"': {
      std::string_view text;
      if (!scanRestOfString(text)) return false;
      stack_.push(text);
      return true;
    }
    case '[': return scanRestOfArray();
    case '{': return scanRestOfDictionary();
    case 't':
      if (!scanLiteral("rue")) return false;
      stack_.push(true);
      return true;
    case 'f':
      if (!scanLiteral("alse")) return false;
      stack_.push(false);
      return true;
    case 'n':
      if (!scanLiteral("ull")) return false;
      stack_.push(nullptr);
      return true;
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9': {
      --c_;
      std::string_view text;
      if (!scanNumber(text)) return false;
      stack_.pushText(Value::Type::Decimal, text);
      return true;
    }
    default: return false;
  }
}

bool HVJSONParser::scanLiteral(std::string_view rest) {
  if (static_cast<size_t>(end_ - c_) < rest.size() || std::memcmp(c_, rest.data(), rest.size()) != 0) return false;
  c_ += rest.size();
  return true;
}

bool HVJSONParser::scanRestOfString(std::string_view& out) {
  const unsigned char* start = c_;
  c_ = platform::skipPlainStringBytes<true>(c_, end_);
  if (c_ < end_ && *c_ == '"') {
    // No escapes: the text is the input's own bytes.
    out = std::string_view(reinterpret_cast<const char*>(start), static_cast<size_t>(c_ - start));
    ++c_;
    return true;
  }
  scratch_.assign(reinterpret_cast<const char*>(start), static_cast<size_t>(c_ - start));
  for (;;) {
    if (c_ == end_) return false;
    const unsigned char c = *c_++;
    if (c == '"') {
      out = scratch_;
      return true;
    }
    if (c != '\\') return false;  // a control byte
    if (c_ == end_) return false;
    switch (*c_++) {
      case '"': scratch_ += '"'; break;
      case '/': scratch_ += '/'; break;
      case '\\': scratch_ += '\\'; break;
      case 'b': scratch_ += '\b'; break;
      case 'f': scratch_ += '\f'; break;
      case 'n': scratch_ += '\n'; break;
      case 'r': scratch_ += '\r'; break;
      case 't': scratch_ += '\t'; break;
      case 'u':
        if (!scanUnicodeChar(scratch_)) return false;
        break;
      default: return false;
    }
    const unsigned char* run = c_;
    c_ = platform::skipPlainStringBytes<true>(c_, end_);
    scratch_.append(reinterpret_cast<const char*>(run), static_cast<size_t>(c_ - run));
  }
}

bool HVJSONParser::scanHexQuad(unsigned& out) {
  if (end_ - c_ < 4) return false;
  out = 0;
  for (int i = 0; i < 4; ++i) {
    const unsigned char h = *c_++;
    unsigned digit;
    if (isDigit(h)) digit = h - '0';
    else if (h >= 'a' && h <= 'f') digit = h - 'a' + 10;
    else if (h >= 'A' && h <= 'F') digit = h - 'A' + 10;
    else return false;
    out = out * 16 + digit;
  }
  return true;
}

bool HVJSONParser::scanUnicodeChar(std::string& out) {
  unsigned hi;
  if (!scanHexQuad(hi)) return false;
  if (hi >= 0xDC00 && hi <= 0xDFFF) return false;
  if (hi >= 0xD800 && hi <= 0xDBFF) {
    unsigned lo;
    if (end_ - c_ < 2 || c_[0] != '\\' || c_[1] != 'u') return false;
    c_ += 2;
    if (!scanHexQuad(lo) || lo < 0xDC00 || lo > 0xDFFF) return false;
    platform::appendUtf8(out, 0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00));
    return true;
  }
  platform::appendUtf8(out, hi);
  return true;
}

bool HVJSONParser::scanNumber(std::string_view& out) {
  const unsigned char* start = c_;
  if (*c_ == '-') ++c_;
  if (c_ == end_ || !isDigit(*c_)) return false;
  if (*c_ == '0') {
    ++c_;
    if (c_ < end_ && isDigit(*c_)) return false;
  } else {
    while (c_ < end_ && isDigit(*c_)) ++c_;
  }
  if (c_ < end_ && *c_ == '.') {
    ++c_;
    if (c_ == end_ || !isDigit(*c_)) return false;
    while (c_ < end_ && isDigit(*c_)) ++c_;
  }
  if (c_ < end_ && (*c_ == 'e' || *c_ == 'E')) {
    ++c_;
    if (c_ < end_ && (*c_ == '+' || *c_ == '-')) ++c_;
    if (c_ == end_ || !isDigit(*c_)) return false;
    while (c_ < end_ && isDigit(*c_)) ++c_;
  }
  out = std::string_view(reinterpret_cast<const char*>(start), static_cast<size_t>(c_ - start));
  return true;
}

bool HVJSONParser::scanRestOfArray() {
  if (!enter()) return false;
  const platform::ValueStack::Mark members = stack_.mark();
  for (;;) {
    skipWhitespace();
    if (c_ == end_) return false;
    if (*c_ == ']') {
      ++c_;
      --depth_;
      stack_.closeArray(members);
      return true;
    }
    // Nested containers leave the stack as they found it, so the member goes on after them.
    if (!scanValue()) return false;
    skipWhitespace();
    if (c_ < end_ && *c_ == ',') {
      ++c_;
      skipWhitespace();
      if (c_ < end_ && *c_ == ']') return false;
    }
  }
}

bool HVJSONParser::scanRestOfDictionary() {
  if (!enter()) return false;
  const platform::ValueStack::Mark members = stack_.mark();
  for (;;) {
    skipWhitespace();
    if (c_ == end_) return false;
    if (*c_ == '}') {
      ++c_;
      --depth_;
      stack_.closeDictionary(members);
      return true;
    }
    if (*c_ != '"') return false;
    ++c_;
    std::string_view key;
    if (!scanRestOfString(key)) return false;
    // The scratch buffer serves the member's strings next.
    stack_.pushKey(key);
    skipWhitespace();
    if (c_ == end_ || *c_ != ':') return false;
    ++c_;
    if (!scanValue()) return false;
    skipWhitespace();
    if (c_ < end_ && *c_ == ',') {
      ++c_;
      skipWhitespace();
      if (c_ < end_ && *c_ == '}') return false;
    }
  }
}

}  // namespace halvern
