#include "HVJSONParser.h"

#include <cstdint>
#include <cstring>
#include <iterator>

#include "platform/utf8.h"

namespace halvern {

using platform::Value;

namespace {

// Bytes that end a plain run inside a string: the quote, the backslash and the controls
// 1-31. NUL counts too, so the scan also stops there and fails below.
struct StopTable {
  bool stop[256] = {};
  constexpr StopTable() {
    for (int i = 0; i < 32; ++i) stop[i] = true;
    stop[static_cast<unsigned char>('"')] = true;
    stop[static_cast<unsigned char>('\\')] = true;
  }
};
constexpr StopTable kStop;

bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<Value> HVJSONParser::objectWithStringAllowScalar(std::string_view text, bool allowScalar) {
  c_ = reinterpret_cast<const unsigned char*>(text.data());
  end_ = c_ + text.size();
  depth_ = 0;
  values_.clear();
  entries_.clear();
  Value value;
  if (!scanValue(value) || !scanIsAtEnd()) return std::nullopt;
  if (!allowScalar && !value.isArray() && !value.isDictionary()) return std::nullopt;
  return value;
}

void HVJSONParser::skipWhitespace() {
  while (c_ < end_ && isSpace(*c_)) ++c_;
}

bool HVJSONParser::scanIsAtEnd() {
  skipWhitespace();
  return c_ == end_;
}

bool HVJSONParser::scanValue(Value& out) {
  skipWhitespace();
  if (c_ == end_) return false;
  switch (*c_++) {
    case '"': {
      std::string_view text;
      if (!scanRestOfString(text)) return false;
      out = Value(text);
      return true;
    }
    case '[': return scanRestOfArray(out);
    case '{': return scanRestOfDictionary(out);
    case 't':
      if (!scanLiteral("rue")) return false;
      out = Value(true);
      return true;
    case 'f':
      if (!scanLiteral("alse")) return false;
      out = Value(false);
      return true;
    case 'n':
      if (!scanLiteral("ull")) return false;
      out = Value();
      return true;
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      --c_;
      return scanNumber(out);
    default: return false;
  }
}

bool HVJSONParser::scanLiteral(std::string_view rest) {
  if (static_cast<size_t>(end_ - c_) < rest.size() || std::memcmp(c_, rest.data(), rest.size()) != 0) return false;
  c_ += rest.size();
  return true;
}

// Skips the bytes of a plain run, eight at a time while no stop byte is among them.
const unsigned char* HVJSONParser::skipPlainRun(const unsigned char* c) const {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  while (end_ - c >= 8) {
    uint64_t word;
    std::memcpy(&word, c, 8);
    const uint64_t quote = word ^ (kOnes * '"');
    const uint64_t backslash = word ^ (kOnes * '\\');
    // A byte that is zero in `quote` or `backslash`, or below 0x20 in `word`, sets its high
    // bit here; the lowest one found is exact.
    const uint64_t stops = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                           ((word - kOnes * 0x20) & ~word);
    if (stops & kHighs) break;
    c += 8;
  }
  while (c < end_ && !kStop.stop[*c]) ++c;
  return c;
}

bool HVJSONParser::scanRestOfString(std::string_view& out) {
  const unsigned char* start = c_;
  c_ = skipPlainRun(c_);
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
    c_ = skipPlainRun(c_);
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

bool HVJSONParser::scanNumber(Value& out) {
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
  out = Value::decimal(std::string(reinterpret_cast<const char*>(start), static_cast<size_t>(c_ - start)));
  return true;
}

bool HVJSONParser::scanRestOfArray(Value& out) {
  if (maxDepth_ && ++depth_ > maxDepth_) return false;
  const size_t base = values_.size();
  for (;;) {
    skipWhitespace();
    if (c_ == end_) return false;
    if (*c_ == ']') {
      ++c_;
      if (maxDepth_) --depth_;
      platform::Array array(std::make_move_iterator(values_.begin() + static_cast<std::ptrdiff_t>(base)),
                            std::make_move_iterator(values_.end()));
      values_.resize(base);
      out = Value(std::move(array));
      return true;
    }
    // Nested containers leave the stack as they found it, so the member goes on after them.
    Value member;
    if (!scanValue(member)) return false;
    values_.push_back(std::move(member));
    skipWhitespace();
    if (c_ < end_ && *c_ == ',') {
      ++c_;
      skipWhitespace();
      if (c_ < end_ && *c_ == ']') return false;
    }
  }
}

bool HVJSONParser::scanRestOfDictionary(Value& out) {
  if (maxDepth_ && ++depth_ > maxDepth_) return false;
  const size_t base = entries_.size();
  for (;;) {
    skipWhitespace();
    if (c_ == end_) return false;
    if (*c_ == '}') {
      ++c_;
      if (maxDepth_) --depth_;
      platform::Dictionary dictionary(std::vector<platform::Dictionary::Entry>(
          std::make_move_iterator(entries_.begin() + static_cast<std::ptrdiff_t>(base)),
          std::make_move_iterator(entries_.end())));
      entries_.resize(base);
      out = Value(std::move(dictionary));
      return true;
    }
    if (*c_ != '"') return false;
    ++c_;
    std::string_view keyText;
    if (!scanRestOfString(keyText)) return false;
    std::string key(keyText);  // the scratch buffer serves the member's strings next
    skipWhitespace();
    if (c_ == end_ || *c_ != ':') return false;
    ++c_;
    Value member;
    if (!scanValue(member)) return false;
    entries_.emplace_back(std::move(key), std::move(member));
    skipWhitespace();
    if (c_ < end_ && *c_ == ',') {
      ++c_;
      skipWhitespace();
      if (c_ < end_ && *c_ == '}') return false;
    }
  }
}

}  // namespace halvern
