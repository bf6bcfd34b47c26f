#include "QLJSON.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/format.h"
#include "platform/string_scan.h"
#include "platform/utf8.h"
#include "platform/value_stack.h"

namespace quillon {

using platform::Array;
using platform::Dictionary;
using platform::Error;
using platform::Value;

namespace {

// The error trace: every new error wraps the one before it. The nested error is made only
// when it is reported, so that a deep document failing at its bottom costs no more than it.
class ErrorTrace {
 public:
  void add(long code, std::string message) { errors_.emplace_back(code, std::move(message)); }
  bool report(Error* out) {
    if (!out || errors_.empty()) return false;
    Value underlying;
    for (auto& [code, message] : errors_) {
      Dictionary info;
      info.set(platform::kLocalizedDescriptionKey, Value(std::move(message)));
      if (!underlying.isNull()) info.set(platform::kUnderlyingErrorKey, std::move(underlying));
      if (&message == &errors_.back().second) {
        *out = Error{QLJSON::kErrorDomain, code, Value(std::move(info))};
        break;
      }
      // Set one by one: an initializer list would copy the whole chain below.
      Dictionary wrapped;
      wrapped.set("domain", Value(QLJSON::kErrorDomain));
      wrapped.set("code", Value(code));
      wrapped.set("userInfo", Value(std::move(info)));
      underlying = Value(std::move(wrapped));
    }
    errors_.clear();
    return false;
  }

 private:
  std::vector<std::pair<long, std::string>> errors_;
};

inline bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

int hexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the valid UTF-8 sequence starting at `p` (which holds a byte >= 0x80), or 0.
size_t utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
  unsigned char b = *p;
  size_t n;
  uint32_t cp;
  if ((b & 0xE0) == 0xC0) {
    n = 2, cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3, cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4, cp = b & 0x07;
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < n) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// The value of a number with a fraction or an exponent as plain decimal text ("1.50e1" →
// "15"); false when its exponent lies outside what a decimal number holds (-128 … 127).
bool decimalText(const unsigned char* begin, const unsigned char* end, std::string& digits, std::string& out) {
  const unsigned char* p = begin;
  bool negative = *p == '-';
  if (negative) ++p;
  digits.clear();
  long exponent = 0;
  const unsigned char* run = p;
  for (; p < end && isDigit(*p); ++p) {
  }
  digits.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
  if (p < end && *p == '.') {
    run = ++p;
    for (; p < end && isDigit(*p); ++p) --exponent;
    digits.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
  }
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negativeExponent = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long e = 0;
    for (; p < end; ++p) e = std::min(e * 10 + (*p - '0'), 100000000L);
    exponent += negativeExponent ? -e : e;
  }
  size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) {
    out.assign(1, '0');
    return true;
  }
  size_t last = digits.find_last_not_of('0');
  exponent += static_cast<long>(digits.size() - 1 - last);
  const std::string_view significant(digits.data() + first, last + 1 - first);
  if (exponent < -128 || exponent > 127) return false;
  // Written straight into the result, so a short number stays within its inline storage.
  out.clear();
  if (negative) out += '-';
  if (exponent >= 0) {
    out += significant;
    out.append(static_cast<size_t>(exponent), '0');
  } else if (static_cast<long>(significant.size()) > -exponent) {
    size_t point = significant.size() - static_cast<size_t>(-exponent);
    out += significant.substr(0, point);
    out += '.';
    out += significant.substr(point);
  } else {
    out += "0.";
    out.append(static_cast<size_t>(-exponent) - significant.size(), '0');
    out += significant;
  }
  return true;
}

}  // namespace

class QLJSON::Reader {
 public:
  Reader(std::string_view text, size_t maxDepth)
      : c_(reinterpret_cast<const unsigned char*>(text.data())), end_(c_ + text.size()),
        maxDepth_(std::min(maxDepth, platform::ValueStack::kMaxRecursionDepth)) {
    // Room for the members of a typical answer's open containers, so the stacks rarely grow.
    stack_.reserve(32);
    stack_.expectText(text.size());
  }

  bool scanValue(Value& out) {
    if (!scanMember()) return false;
    out = stack_.take();
    return true;
  }

  // Reads one value and pushes it on the member stack.
  bool scanMember() {
    skipWhitespace();
    if (c_ == end_) return fail(kEndOfInput, "Unexpected end of string");
    switch (*c_++) {
      case '{': return scanRestOfDictionary();
      case '[': return scanRestOfArray();
      case '"': {
        std::string_view text;
        if (!scanRestOfString(text)) return false;
        stack_.push(text);
        return true;
      }
      case 't': return scanLiteral("rue", "Expected 'true'") && (stack_.push(true), true);
      case 'f': return scanLiteral("alse", "Expected 'false'") && (stack_.push(false), true);
      case 'n': return scanLiteral("ull", "Expected 'null'") && (stack_.push(nullptr), true);
      case '-':
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9': {
        --c_;
        std::string_view number;
        if (!scanNumber(number)) return false;
        stack_.pushText(Value::Type::Decimal, number);
        return true;
      }
      case '+': return fail(kBadNumber, "Leading + disallowed in number");
      default: return fail(kParse, "Unrecognised leading character");
    }
  }

  bool atEnd() {
    skipWhitespace();
    return c_ == end_;
  }

  bool fail(long code, std::string message) {
    trace.add(code, std::move(message));
    return false;
  }

  ErrorTrace trace;

 private:
  void skipWhitespace() {
    while (c_ < end_ && isSpace(*c_)) ++c_;
  }
  bool at(unsigned char ch) const { return c_ < end_ && *c_ == ch; }

  bool scanLiteral(std::string_view rest, const char* message) {
    if (static_cast<size_t>(end_ - c_) < rest.size() || std::memcmp(c_, rest.data(), rest.size()) != 0)
      return fail(kParse, message);
    c_ += rest.size();
    return true;
  }

  bool enter() {
    if (++depth_ > maxDepth_) return fail(kDepth, "Nested too deep");
    return true;
  }

  // A container's members go on the shared stack; it takes them off when it closes and
  // hands itself straight to its parent.
  bool scanRestOfArray() {
    if (!enter()) return false;
    const platform::ValueStack::Mark members = stack_.mark();
    while (c_ < end_) {
      skipWhitespace();
      if (at(']')) {
        ++c_;
        --depth_;
        stack_.closeArray(members);
        return true;
      }
      if (!scanMember())
        return fail(kParse, "Expected value while parsing array");
      skipWhitespace();
      if (at(',')) {
        ++c_;
        skipWhitespace();
        if (at(']')) return fail(kTrailingComma, "Trailing comma disallowed in array");
      } else if (c_ < end_ && !at(']')) {
        return fail(kParse, "Expected ',' separating values in array");
      }
    }
    return fail(kEndOfInput, "End of input while parsing array");
  }

  bool scanRestOfDictionary() {
    if (!enter()) return false;
    const platform::ValueStack::Mark members = stack_.mark();
    while (c_ < end_) {
      skipWhitespace();
      if (at('}')) {
        ++c_;
        --depth_;
        stack_.closeDictionary(members);
        return true;
      }
      std::string_view key;
      if (!at('"')) return fail(kParse, "Object key string expected");
      ++c_;
      if (!scanRestOfString(key)) return fail(kParse, "Object key string expected");
      const size_t slot = stack_.pushKey(key);
      skipWhitespace();
      if (!at(':')) return fail(kParse, "Expected ':' separating key and value");
      ++c_;
      if (!scanMember())
        return fail(kParse, platform::format("Object value expected for key: %@", stack_.key(slot)));
      skipWhitespace();
      if (at(',')) {
        ++c_;
        skipWhitespace();
        if (at('}')) return fail(kTrailingComma, "Trailing comma disallowed in object");
      } else if (c_ < end_ && !at('}')) {
        return fail(kParse, "Expected ',' separating members in object");
      }
    }
    return fail(kEndOfInput, "End of input while parsing object");
  }

  // The string's text: a view into the input when it holds no escape (most do), else into
  // a buffer the reader reuses. Valid until the next string is read.
  bool scanRestOfString(std::string_view& text) {
    std::string& out = buffer_;
    out.clear();
    bool first = true;
    while (c_ < end_) {
      // The run up to the next quote, backslash or control byte goes in at once; multi-byte
      // characters inside it are checked as they are passed.
      const unsigned char* run = c_;
      for (;;) {
        c_ = platform::skipPlainStringBytes<false>(c_, end_);
        if (c_ == end_ || *c_ < 0x80) break;
        size_t n = utf8SequenceLength(c_, end_);
        if (n == 0) return fail(kUnicode, "Broken unicode character");
        c_ += n;
      }
      if (first && c_ < end_ && *c_ == '"') {
        text = std::string_view(reinterpret_cast<const char*>(run), static_cast<size_t>(c_ - run));
        ++c_;
        return true;
      }
      first = false;
      out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(c_ - run));
      if (c_ == end_) break;
      unsigned char ch = *c_;
      if (ch == '"') {
        ++c_;
        text = out;
        return true;
      }
      if (ch == '\\') {
        if (++c_ == end_) break;
        unsigned char e = *c_++;
        switch (e) {
          case '"':
          case '\\':
          case '/': out += static_cast<char>(e); break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'n': out += '\n'; break;
          case 'r': out += '\r'; break;
          case 't': out += '\t'; break;
          case 'u': {
            uint32_t cp;
            if (!scanUnicodeChar(cp)) return fail(kUnicode, "Broken unicode character");
            platform::appendUtf8(out, cp);
            break;
          }
          default: return fail(kEscape, platform::format("Illegal escape sequence '0x%x'", e));
        }
      } else {
        return fail(kControlCharacter, platform::format("Unescaped control character '0x%x'", ch));
      }
    }
    return fail(kEndOfInput, "Unexpected EOF while parsing string");
  }

  bool scanHexQuad(uint32_t& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
      int d = c_ < end_ ? hexDigit(*c_) : -1;
      if (d < 0) return fail(kUnicode, "Missing hex digit in quad");
      ++c_;
      out = out * 16 + static_cast<uint32_t>(d);
    }
    return true;
  }

  bool scanUnicodeChar(uint32_t& out) {
    uint32_t hi, lo;
    if (!scanHexQuad(hi)) return fail(kUnicode, "Missing hex quad");
    if (hi >= 0xD800 && hi < 0xDC00) {
      if (!(at('\\') && ++c_ && at('u') && ++c_ && scanHexQuad(lo)))
        return fail(kUnicode, "Missing low character in surrogate pair");
      if (lo < 0xDC00 || lo > 0xDFFF) return fail(kUnicode, "Invalid low surrogate char");
      hi = (hi - 0xD800) * 0x400 + (lo - 0xDC00) + 0x10000;
    } else if (hi >= 0xDC00 && hi < 0xE000) {
      return fail(kUnicode, "Invalid high character in surrogate pair");
    }
    out = hi;
    return true;
  }

  // The number as a decimal's text: an integer's own text, or the plain text of one with a
  // fraction or an exponent in a buffer the reader reuses.
  bool scanNumber(std::string_view& number) {
    const unsigned char* start = c_;
    if (at('-')) ++c_;
    if (at('0')) {
      ++c_;
      if (c_ < end_ && isDigit(*c_)) return fail(kBadNumber, "Leading 0 disallowed in number");
    } else if (!(c_ < end_ && isDigit(*c_))) {
      return fail(kBadNumber, "No digits after initial minus");
    } else {
      skipDigits();
    }
    bool plain = true;
    bool ownText = true;
    if (at('.')) {
      plain = false;
      ++c_;
      const unsigned char* fraction = c_;
      if (!(c_ < end_ && isDigit(*c_))) return fail(kBadNumber, "No digits after decimal point");
      skipDigits();
      // A fraction that ends in a digit other than 0, with no exponent, is already its own
      // plain text, while its digits stay within a decimal's exponent.
      ownText = c_[-1] != '0' && c_ - fraction <= 128;
    }
    if (at('e') || at('E')) {
      ownText = false;
      plain = false;
      ++c_;
      if (at('-') || at('+')) ++c_;
      if (!(c_ < end_ && isDigit(*c_))) return fail(kBadNumber, "No digits after exponent");
      skipDigits();
    }
    if (!plain && !ownText) {
      if (!decimalText(start, c_, digits_, number_)) return fail(kBadNumber, "Failed creating decimal instance");
      number = number_;
    } else if (c_ - start == 2 && start[0] == '-' && start[1] == '0') {
      number = "0";  // "-0"
    } else {
      number = std::string_view(reinterpret_cast<const char*>(start), static_cast<size_t>(c_ - start));
    }
    return true;
  }

  void skipDigits() {
    while (c_ < end_ && isDigit(*c_)) ++c_;
  }

  const unsigned char* c_;
  const unsigned char* end_;
  size_t maxDepth_;
  size_t depth_ = 0;
  std::string buffer_;
  std::string digits_;
  std::string number_;
  platform::ValueStack stack_;
};

class QLJSON::Writer {
 public:
  Writer(bool humanReadable, bool sortKeys) : humanReadable_(humanReadable), sortKeys_(sortKeys) {
    // Room for what an answer usually nests, so that a small one is written without regrowing.
    json.reserve(128);
    open_.reserve(16);
    entries_.reserve(64);
  }

  // Written from a list of the containers open around the member being written, not a stack
  // frame per level: a value nested hundreds of thousands deep is written like any other.
  bool appendValue(const Value& value) {
    if (!appendMember(value)) return false;
    while (!open_.empty()) {
      if (!appendMembers()) {
        wrapFailure();
        return false;
      }
    }
    return true;
  }

  std::string json;
  ErrorTrace trace;

 private:
  struct Open {
    const Value* items;  // an array's values
    size_t entriesAt;    // where a dictionary's entries, in the order written, begin in entries_
    size_t count;
    size_t next;
    bool isDictionary;
  };

  void indent(size_t depth) {
    json += '\n';
    json.append(2 * depth, ' ');
  }

  // A scalar is written whole; a container is opened, for appendMembers to write its members.
  bool appendMember(const Value& value) {
    switch (value.type()) {
      case Value::Type::Dictionary: openDictionary(value.dictionary()); break;
      case Value::Type::Array: openArray(value.array()); break;
      case Value::Type::String: appendString(value.string()); break;
      case Value::Type::Boolean: json += value.boolValue() ? "true" : "false"; break;
      case Value::Type::Integer:
      case Value::Type::Unsigned: json += value.stringValue(); break;
      case Value::Type::Double:
      case Value::Type::Decimal:
        // Only what a reader can read: a number that is not finite makes the writing fail
        // rather than leave "nan" or "inf" in the text.
        if (const char* why = notJSONNumber(value)) {
          trace.add(kBadNumber, why);
          return false;
        }
        json += value.stringValue();
        break;
      case Value::Type::Null: json += "null"; break;
      // Any other object is written as a string: its description, as it has no string value.
      case Value::Type::Data:
      case Value::Type::Date: appendString(value.description()); break;
    }
    return true;
  }

  static const char* notJSONNumber(const Value& number) {
    if (number.type() == Value::Type::Double) {
      const double d = number.doubleValue();
      if (std::isnan(d)) return "NaN is not a valid number in JSON";
      if (std::isinf(d)) return d > 0 ? "+Infinity is not a valid number in JSON" : "-Infinity is not a valid number in JSON";
      return nullptr;
    }
    // A decimal's text is written as it stands, so it must read back as a number.
    const std::string_view text = number.decimalText();
    Reader reader(text, 0);
    Value read;
    const bool isNumber = !text.empty() && (text[0] == '-' || (text[0] >= '0' && text[0] <= '9')) &&
                          reader.scanValue(read) && reader.atEnd();
    return isNumber ? nullptr : "NaN is not a valid number in JSON";
  }

  // The members of the innermost open container, up to one that is a container itself (opened,
  // so that its own members come next) or to the end (the container is closed). False when a
  // member cannot be written.
  bool appendMembers() {
    Open& container = open_.back();
    while (container.next < container.count) {
      const size_t at = container.next++;
      if (at > 0) json += ',';
      if (humanReadable_) indent(open_.size());
      const Value* member;
      if (container.isDictionary) {
        const Dictionary::Entry& entry = *entries_[container.entriesAt + at];
        appendString(entry.key());
        json += humanReadable_ ? " : " : ":";
        member = &entry.second;
      } else {
        member = &container.items[at];
      }
      if (!appendMember(*member)) return false;
      // Opening a container may have moved open_, so nothing of this one is read after.
      if (member->isArray() || member->isDictionary()) return true;
    }
    close();
    return true;
  }

  void openArray(const Array& array) {
    json += '[';
    open_.push_back({array.begin(), 0, array.size(), 0, false});
  }

  void openDictionary(const Dictionary& dictionary) {
    json += '{';
    const size_t at = entries_.size();
    for (const auto& entry : dictionary) entries_.push_back(&entry);
    if (sortKeys_)
      std::sort(entries_.begin() + static_cast<std::ptrdiff_t>(at), entries_.end(),
                [](auto* a, auto* b) { return a->key() < b->key(); });
    open_.push_back({nullptr, at, dictionary.size(), 0, true});
  }

  void close() {
    const Open container = open_.back();
    open_.pop_back();
    if (container.isDictionary) entries_.resize(container.entriesAt);
    if (humanReadable_ && container.count > 0) indent(open_.size());
    json += container.isDictionary ? '}' : ']';
  }

  // Every dictionary around a member that cannot be written wraps its error, innermost first,
  // naming the key it was writing.
  void wrapFailure() {
    for (auto container = open_.rbegin(); container != open_.rend(); ++container)
      if (container->isDictionary)
        trace.add(kUnsupported, platform::format("Unsupported value for key %@ in object",
                                                 entries_[container->entriesAt + container->next - 1]->key()));
  }

  void appendString(const std::string& s) {
    json += '"';
    size_t run = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      auto ch = static_cast<unsigned char>(s[i]);
      if (ch >= 0x20 && ch != '"' && ch != '\\') continue;
      json.append(s, run, i - run);
      run = i + 1;
      switch (ch) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\t': json += "\\t"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\b': json += "\\b"; break;
        case '\f': json += "\\f"; break;
        default: json += platform::format("\\u%04x", ch); break;
      }
    }
    json.append(s, run, std::string::npos);
    json += '"';
  }

  bool humanReadable_;
  bool sortKeys_;
  std::vector<Open> open_;
  std::vector<const Dictionary::Entry*> entries_;
};

std::optional<Value> QLJSON::objectWithStringError(std::optional<std::string_view> text, Error* error) {
  return objectWithStringAllowScalarError(text, false, error);
}

std::optional<Value> QLJSON::fragmentWithStringError(std::optional<std::string_view> text, Error* error) {
  return objectWithStringAllowScalarError(text, true, error);
}

std::optional<Value> QLJSON::objectWithStringAllowScalarError(std::optional<std::string_view> text, bool allowScalar,
                                                              Error* error) {
  if (!text) {
    ErrorTrace trace;
    trace.add(kNoInput, "Input was 'nil'");
    trace.report(error);
    return std::nullopt;
  }
  Reader reader(*text, maxDepth_);
  Value value;
  if (!reader.scanValue(value)) {
    reader.trace.report(error);
    return std::nullopt;
  }
  if (!reader.atEnd()) {
    reader.fail(kTrailingGarbage, "Garbage after JSON");
    reader.trace.report(error);
    return std::nullopt;
  }
  if (!allowScalar && !value.isDictionary() && !value.isArray()) {
    reader.fail(kFragment, "Valid fragment, but not JSON");
    reader.trace.report(error);
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> QLJSON::stringWithObjectError(const Value& value, Error* error) {
  return stringWithObjectAllowScalarError(value, false, error);
}

std::optional<std::string> QLJSON::stringWithFragmentError(const Value& value, Error* error) {
  return stringWithObjectAllowScalarError(value, true, error);
}

std::optional<std::string> QLJSON::stringWithObjectAllowScalarError(const Value& value, bool allowScalar,
                                                                    Error* error) {
  Writer writer(humanReadable_, sortKeys_);
  if (!allowScalar && !value.isDictionary() && !value.isArray()) {
    writer.trace.add(kFragment, "Not valid type for JSON");
    writer.trace.report(error);
    return std::nullopt;
  }
  if (!writer.appendValue(value)) {
    writer.trace.report(error);
    return std::nullopt;
  }
  return std::move(writer.json);
}

}  // namespace quillon
