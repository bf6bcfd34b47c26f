#include "json_text.h"

#include "testing/json_quote.h"

#include "platform/format.h"
#include "platform/utf8.h"

#include <cstdio>
#include <cstdlib>

namespace testkit::cadenzo_json {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view t) : t_(t) {}

  std::optional<platform::Value> document() {
    auto v = value(0);
    skipSpace();
    if (!v || i_ != t_.size()) return std::nullopt;
    return v;
  }

 private:
  static constexpr int kMaxDepth = 64;

  void skipSpace() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r')) ++i_;
  }
  bool eat(char c) {
    skipSpace();
    if (i_ < t_.size() && t_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool literal(std::string_view word) {
    if (t_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }

  std::optional<platform::Value> value(int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    skipSpace();
    if (i_ >= t_.size()) return std::nullopt;
    char c = t_[i_];
    if (c == '{') return object(depth);
    if (c == '[') return array(depth);
    if (c == '"') {
      auto s = string();
      if (!s) return std::nullopt;
      return platform::Value(*s);
    }
    if (literal("true")) return platform::Value(true);
    if (literal("false")) return platform::Value(false);
    if (literal("null")) return platform::Value();
    return number();
  }

  std::optional<platform::Value> object(int depth) {
    ++i_;
    platform::Dictionary d;
    if (eat('}')) return platform::Value(std::move(d));
    for (;;) {
      skipSpace();
      if (i_ >= t_.size() || t_[i_] != '"') return std::nullopt;
      auto key = string();
      if (!key || !eat(':')) return std::nullopt;
      auto v = value(depth + 1);
      if (!v) return std::nullopt;
      d.set(*key, std::move(*v));
      if (eat('}')) return platform::Value(std::move(d));
      if (!eat(',')) return std::nullopt;
    }
  }

  std::optional<platform::Value> array(int depth) {
    ++i_;
    platform::Array a;
    if (eat(']')) return platform::Value(std::move(a));
    for (;;) {
      auto v = value(depth + 1);
      if (!v) return std::nullopt;
      a.push_back(std::move(*v));
      if (eat(']')) return platform::Value(std::move(a));
      if (!eat(',')) return std::nullopt;
    }
  }

  std::optional<unsigned> hex4() {
    if (i_ + 4 > t_.size()) return std::nullopt;
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = t_[i_++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= unsigned(c - '0');
      else if (c >= 'a' && c <= 'f') v |= unsigned(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= unsigned(c - 'A' + 10);
      else return std::nullopt;
    }
    return v;
  }

  std::optional<std::string> string() {
    ++i_;  // opening quote
    std::string out;
    while (i_ < t_.size()) {
      unsigned char c = static_cast<unsigned char>(t_[i_++]);
      if (c == '"') return out;
      if (c < 0x20) return std::nullopt;
      if (c != '\\') {
        out += char(c);
        continue;
      }
      if (i_ >= t_.size()) return std::nullopt;
      char e = t_[i_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          auto hi = hex4();
          if (!hi) return std::nullopt;
          unsigned cp = *hi;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!literal("\\u")) return std::nullopt;
            auto lo = hex4();
            if (!lo || *lo < 0xDC00 || *lo > 0xDFFF) return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*lo - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return std::nullopt;
          }
          platform::appendUtf8(out, cp);
          break;
        }
        default: return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::optional<platform::Value> number() {
    size_t start = i_;
    bool negative = false, integral = true;
    if (i_ < t_.size() && t_[i_] == '-') {
      negative = true;
      ++i_;
    }
    auto digits = [&] {
      size_t d = i_;
      while (i_ < t_.size() && t_[i_] >= '0' && t_[i_] <= '9') ++i_;
      return i_ - d;
    };
    size_t intStart = i_;
    size_t n = digits();
    if (n == 0 || (n > 1 && t_[intStart] == '0')) return std::nullopt;
    if (i_ < t_.size() && t_[i_] == '.') {
      ++i_;
      integral = false;
      if (digits() == 0) return std::nullopt;
    }
    if (i_ < t_.size() && (t_[i_] == 'e' || t_[i_] == 'E')) {
      ++i_;
      integral = false;
      if (i_ < t_.size() && (t_[i_] == '+' || t_[i_] == '-')) ++i_;
      if (digits() == 0) return std::nullopt;
    }
    std::string text(t_.substr(start, i_ - start));
    if (integral && n <= 18) {
      if (negative) return platform::Value(static_cast<long long>(std::strtoll(text.c_str(), nullptr, 10)));
      return platform::Value(static_cast<unsigned long long>(std::strtoull(text.c_str(), nullptr, 10)));
    }
    return platform::Value(std::strtod(text.c_str(), nullptr));
  }

  std::string_view t_;
  size_t i_ = 0;
};

}  // namespace

std::optional<platform::Value> parse(std::string_view text) { return Reader(text).document(); }

std::string quote(std::string_view text) { return testkit::jsonQuoted(text); }

std::string write(const platform::Value& value) {
  using Type = platform::Value::Type;
  switch (value.type()) {
    case Type::Boolean: return value.boolValue() ? "true" : "false";
    case Type::Integer: return std::to_string(value.integerValue());
    case Type::Unsigned: return std::to_string(value.unsignedValue());
    case Type::Double:
    case Type::Decimal: return platform::format("%.17g", value.doubleValue());
    case Type::String: return quote(value.string());
    case Type::Array: {
      std::string out = "[";
      for (const auto& item : value.array()) out += (out.size() > 1 ? "," : "") + write(item);
      return out + "]";
    }
    case Type::Dictionary: {
      std::string out = "{";
      for (const auto& [key, item] : value.dictionary()) out += (out.size() > 1 ? "," : "") + quote(key) + ":" + write(item);
      return out + "}";
    }
    default: return "null";
  }
}

}  // namespace testkit::cadenzo_json
