#include "strings_table.h"

#include <cctype>
#include <string>

#include "platform/utf8.h"

namespace platform::storage {
namespace {

// UTF-16 with a byte-order mark becomes UTF-8; unpaired surrogates become U+FFFD.
std::string toUtf8(const Bytes& bytes) {
  bool le = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  bool be = bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
  if (!le && !be) {
    size_t skip = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    return std::string(bytes.begin() + skip, bytes.end());
  }
  std::string out;
  auto unit = [&](size_t i) -> uint32_t {
    return le ? bytes[i] | (bytes[i + 1] << 8) : (bytes[i] << 8) | bytes[i + 1];
  };
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
  }
  return out;
}

class Parser {
 public:
  explicit Parser(std::string text) : s_(std::move(text)) {}

  std::optional<Dictionary> parse() {
    Dictionary table;
    for (;;) {
      if (!skipSpaceAndComments()) return std::nullopt;
      if (at_ >= s_.size()) return table;
      auto key = token();
      if (!key || !skipSpaceAndComments()) return std::nullopt;
      std::optional<std::string> value;
      if (peek() == '=') {
        ++at_;
        if (!skipSpaceAndComments()) return std::nullopt;
        value = token();
        if (!value || !skipSpaceAndComments()) return std::nullopt;
      } else {
        value = key;  // "key"; alone maps the key to itself
      }
      if (peek() != ';') return std::nullopt;
      ++at_;
      table.set(std::move(*key), Value(std::move(*value)));
    }
  }

 private:
  char peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }

  // False on an unterminated block comment.
  bool skipSpaceAndComments() {
    while (at_ < s_.size()) {
      char c = s_[at_];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++at_;
      } else if (s_.compare(at_, 2, "//") == 0) {
        size_t end = s_.find('\n', at_);
        at_ = end == std::string::npos ? s_.size() : end + 1;
      } else if (s_.compare(at_, 2, "/*") == 0) {
        size_t end = s_.find("*/", at_ + 2);
        if (end == std::string::npos) return false;
        at_ = end + 2;
      } else {
        break;
      }
    }
    return true;
  }

  static bool isBareChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$' ||
           c == '/' || c == ':' || c == '-';
  }

  std::optional<std::string> token() {
    if (peek() == '"') return quoted();
    size_t start = at_;
    while (at_ < s_.size() && isBareChar(s_[at_])) ++at_;
    if (at_ == start) return std::nullopt;
    return s_.substr(start, at_ - start);
  }

  std::optional<std::string> quoted() {
    ++at_;  // opening quote
    std::string out;
    while (at_ < s_.size()) {
      char c = s_[at_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= s_.size()) return std::nullopt;
      char e = s_[at_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'U':
        case 'u': {
          uint32_t cp = 0;
          for (int i = 0; i < 4; ++i) {
            if (at_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[at_]))) return std::nullopt;
            char h = s_[at_++];
            cp = cp * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(h))
                                                      ? h - '0'
                                                      : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10);
          }
          appendUtf8(out, cp >= 0xD800 && cp <= 0xDFFF ? 0xFFFD : cp);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            uint32_t v = static_cast<uint32_t>(e - '0');
            for (int i = 0; i < 2 && at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '7'; ++i) {
              v = v * 8 + static_cast<uint32_t>(s_[at_++] - '0');
            }
            out += static_cast<char>(v & 0xFF);
          } else {
            out += e;  // \" \\ \' and anything else stand for themselves
          }
      }
    }
    return std::nullopt;  // unterminated
  }

  std::string s_;
  size_t at_ = 0;
};

}  // namespace

std::optional<Dictionary> parseStringsTable(const Bytes& bytes) { return Parser(toUtf8(bytes)).parse(); }

}  // namespace platform::storage
