#include "platform/text_quoting.h"

#include "platform/utf8.h"

namespace platform {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void appendUnicodeEscape(std::string& out, unsigned code) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 15];
}

// Appends the sequence at text[i] when it is well-formed, else one U+FFFD for its maximal
// ill-formed part; returns the bytes used.
size_t appendWellFormed(std::string& out, std::string_view text, size_t i) {
  size_t skip = 1;
  const size_t n = utf8SequenceLength(text, i, &skip);
  if (n == 0) {
    out += kReplacement;
    return skip;
  }
  out.append(text.substr(i, n));
  return n;
}

// Appends the escaped form of the character at text[i] and returns its length in bytes.
// In serialised JSON (`json`) only what JSON allows but a script does not is escaped: the
// writer has escaped quotes, backslashes and controls inside strings, and a control outside
// one is white space between tokens.
size_t appendEscaped(std::string& out, std::string_view text, size_t i, bool json) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    if (json && c != '<') {
      out += static_cast<char>(c);
      return 1;
    }
    switch (c) {
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      case '<': appendUnicodeEscape(out, c); break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\'': appendUnicodeEscape(out, c); break;
      default:
        if (c < 0x20 || c == 0x7F) appendUnicodeEscape(out, c);
        else out += static_cast<char>(c);
    }
    return 1;
  }
  const size_t n = utf8SequenceLength(text, i);
  if (n == 0) return appendWellFormed(out, text, i);
  // The two-byte C1 controls (C2 80-9F) and the separators (E2 80 A8/A9).
  const auto second = static_cast<unsigned char>(text[i + 1]);
  if (c == 0xC2 && second <= 0x9F && !json) {
    appendUnicodeEscape(out, second);
  } else if (c == 0xE2 && second == 0x80 && (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
    appendUnicodeEscape(out, text[i + 2] == '\xA8' ? 0x2028 : 0x2029);
  } else {
    return appendWellFormed(out, text, i);
  }
  return n;
}

std::string escaped(std::string_view text, bool json) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size();) i += appendEscaped(out, text, i, json);
  return out;
}

}  // namespace

std::string escapeScriptString(std::string_view text) { return escaped(text, false); }

std::string quoteScriptString(std::string_view text) { return '"' + escaped(text, false) + '"'; }

std::string scriptSafeJSON(std::string_view json) { return escaped(json, true); }

std::string escapeHTML(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x80) {
          i += appendWellFormed(out, text, i);
          continue;
        }
        out += c;
    }
    ++i;
  }
  return out;
}

}  // namespace platform
