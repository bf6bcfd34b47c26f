#include "platform/property_list.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/base64.h"
#include "platform/xml_parser.h"
#include "platform/utf8.h"

namespace platform {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back (era-based, exact for
// every representable year).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

std::string_view trim(std::string_view s) {
  const char* ws = " \t\r\n";
  auto b = s.find_first_not_of(ws);
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(ws);
  return s.substr(b, e - b + 1);
}

bool isBlank(std::string_view s) { return trim(s).empty(); }

std::optional<Value> readInteger(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative) {
    if (magnitude > uint64_t(std::numeric_limits<int64_t>::max()) + 1) return std::nullopt;
    return Value(static_cast<long long>(-static_cast<int64_t>(magnitude - 1) - 1));
  }
  if (magnitude > uint64_t(std::numeric_limits<int64_t>::max()))
    return Value(static_cast<unsigned long long>(magnitude));
  return Value(static_cast<long long>(magnitude));
}

std::optional<double> readReal(std::string_view text) {
  text = trim(text);
  std::string lower;
  for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
  if (lower == "nan") return std::numeric_limits<double>::quiet_NaN();
  if (lower == "inf" || lower == "infinity" || lower == "+inf" || lower == "+infinity")
    return std::numeric_limits<double>::infinity();
  if (lower == "-inf" || lower == "-infinity") return -std::numeric_limits<double>::infinity();
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

std::optional<double> readDate(std::string_view text) {
  text = trim(text);
  // YYYY-MM-DDTHH:MM:SSZ
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z')
    return std::nullopt;
  auto number = [&](size_t at, size_t len, int& out) {
    auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + len, out);
    return ec == std::errc() && end == text.data() + at + len && text[at] != '-' && text[at] != '+';
  };
  int y, mo, d, h, mi, s;
  if (!number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d) || !number(11, 2, h) ||
      !number(14, 2, mi) || !number(17, 2, s))
    return std::nullopt;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap) || h > 23 ||
      mi > 59 || s > 60)
    return std::nullopt;
  return double(daysFromCivil(y, unsigned(mo), unsigned(d)) * 86400 + h * 3600 + mi * 60 + s);
}

// The dates whose text has the four-digit year the reader takes: 0000-01-01 up to the end
// of 9999.
constexpr double kFirstWritableDate = -62167219200.0;
constexpr double kEndOfWritableDates = 253402300800.0;

std::string writeDate(double since1970) {
  auto whole = static_cast<int64_t>(std::floor(since1970));
  int64_t days = whole >= 0 ? whole / 86400 : -((-whole + 86399) / 86400);
  int64_t secs = whole - days * 86400;
  int64_t y;
  unsigned m, d;
  civilFromDays(days, y, m, d);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
  return buf;
}

std::string writeReal(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "+infinity" : "-infinity";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? end : buf);
}

Error readError(std::string reason) {
  Dictionary info;
  info.set(kLocalizedDescriptionKey, Value(std::move(reason)));
  return Error{kPropertyListErrorDomain, kPropertyListReadCorruptError, Value(std::move(info))};
}

// Builds the value tree from the parser's events; any surprise aborts the parse.
class Reader : public XMLParserDelegate {
 public:
  std::optional<Value> result;
  std::string failure;

  void didStartElement(XMLParser& p, const std::string& name, const XMLAttributes&) override {
    if (name == "plist") {
      if (!stack_.empty() || sawPlist_ || result) return fail(p, "misplaced <plist>");
      sawPlist_ = true;
      return;
    }
    if (!stack_.empty() && stack_.back().leaf) return fail(p, "element inside <" + stack_.back().name + ">");
    static const char* kKnown[] = {"dict", "array", "key",  "string", "integer",
                                   "real", "true",  "false", "date",  "data"};
    bool known = false;
    for (const char* k : kKnown) known = known || name == k;
    if (!known) return fail(p, "unknown element <" + name + ">");
    Frame f;
    f.name = name;
    f.leaf = name != "dict" && name != "array";
    if (name == "dict") f.value = Value(Dictionary());
    if (name == "array") f.value = Value(Array());
    stack_.push_back(std::move(f));
  }

  void foundCharacters(XMLParser& p, const std::string& text) override {
    if (!stack_.empty() && stack_.back().leaf) stack_.back().text += text;
    else if (!isBlank(text)) fail(p, "text outside a value");
  }

  void foundCDATA(XMLParser& p, const Bytes& block) override {
    if (!stack_.empty() && stack_.back().leaf) stack_.back().text.append(block.begin(), block.end());
    else if (!isBlank(std::string_view(reinterpret_cast<const char*>(block.data()), block.size())))
      fail(p, "text outside a value");
  }

  void didEndElement(XMLParser& p, const std::string& name) override {
    if (name == "plist") return;
    Frame f = std::move(stack_.back());
    stack_.pop_back();
    std::optional<Value> v;
    if (!f.leaf) {
      if (f.pendingKey) return fail(p, "key without a value");
      v = std::move(f.value);
    } else if (name == "key" || name == "string") {
      if (!isValidUtf8(f.text)) return fail(p, "text is not UTF-8");
      v = Value(std::move(f.text));
    } else if (name == "integer") {
      v = readInteger(f.text);
    } else if (name == "real") {
      if (auto d = readReal(f.text)) v = Value(*d);
    } else if (name == "true" || name == "false") {
      if (!isBlank(f.text)) return fail(p, "text inside <" + name + ">");
      v = Value(name == "true");
    } else if (name == "date") {
      if (auto d = readDate(f.text)) v = Value::date(*d);
    } else if (name == "data") {
      if (auto b = base64Decode(f.text)) v = Value(std::move(*b));
    }
    if (!v) return fail(p, "unreadable <" + name + ">");

    if (stack_.empty()) {
      if (name == "key") return fail(p, "key outside a dictionary");
      if (result) return fail(p, "more than one root value");
      result = std::move(*v);
      return;
    }
    Frame& parent = stack_.back();
    if (parent.name == "array") {
      if (name == "key") return fail(p, "key inside an array");
      parent.value.mutableArray().push_back(std::move(*v));
    } else if (name == "key") {
      if (parent.pendingKey) return fail(p, "two keys in a row");
      parent.pendingKey = v->string();
    } else {
      if (!parent.pendingKey) return fail(p, "value without a key");
      parent.value.mutableDictionary().set(std::move(*parent.pendingKey), std::move(*v));
      parent.pendingKey.reset();
    }
  }

 private:
  struct Frame {
    std::string name;
    bool leaf = false;
    std::string text;
    Value value;
    std::optional<std::string> pendingKey;
  };

  void fail(XMLParser& p, std::string why) {
    if (failure.empty()) failure = std::move(why);
    p.abortParsing();
  }

  std::vector<Frame> stack_;
  bool sawPlist_ = false;
};

// XML 1.0 allows tab, line feed and carriage return among the control characters, and
// forbids U+FFFE and U+FFFF (a reader refuses the whole document over them).
bool writableText(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
    if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(s[i + 2]) == 0xBE || static_cast<unsigned char>(s[i + 2]) == 0xBF))
      return false;
  }
  return isValidUtf8(s);
}

void appendEscaped(std::string& out, std::string_view s) {
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      // A reader turns a literal carriage return into a line feed: keep it as a reference.
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
}

class Writer {
 public:
  std::string out;
  std::string failure;

  bool write(const Value& v, int depth) {
    std::string indent(static_cast<size_t>(depth), '\t');
    switch (v.type()) {
      case Value::Type::Null: failure = "a null value"; return false;
      case Value::Type::Boolean: out += indent + (v.boolValue() ? "<true/>\n" : "<false/>\n"); return true;
      case Value::Type::Integer:
        out += indent + "<integer>" + std::to_string(v.integerValue()) + "</integer>\n";
        return true;
      case Value::Type::Unsigned:
        out += indent + "<integer>" + std::to_string(v.unsignedValue()) + "</integer>\n";
        return true;
      case Value::Type::Double:
        out += indent + "<real>" + writeReal(v.doubleValue()) + "</real>\n";
        return true;
      case Value::Type::Decimal: {
        auto d = readReal(v.decimalText());
        out += indent + "<real>" + writeReal(d ? *d : std::numeric_limits<double>::quiet_NaN()) + "</real>\n";
        return true;
      }
      case Value::Type::String:
        return leaf(indent, "string", v.string());
      case Value::Type::Data:
        out += indent + "<data>" + base64Encode(v.data()) + "</data>\n";
        return true;
      case Value::Type::Date:
        if (!std::isfinite(v.dateValue()) || v.dateValue() < kFirstWritableDate ||
            v.dateValue() >= kEndOfWritableDates) {
          failure = "a date out of range";
          return false;
        }
        out += indent + "<date>" + writeDate(v.dateValue()) + "</date>\n";
        return true;
      case Value::Type::Array:
        if (v.array().empty()) {
          out += indent + "<array/>\n";
          return true;
        }
        out += indent + "<array>\n";
        for (const Value& item : v.array())
          if (!write(item, depth + 1)) return false;
        out += indent + "</array>\n";
        return true;
      case Value::Type::Dictionary:
        if (v.dictionary().empty()) {
          out += indent + "<dict/>\n";
          return true;
        }
        out += indent + "<dict>\n";
        for (const auto& [key, item] : v.dictionary()) {
          if (!leaf(indent + "\t", "key", key) || !write(item, depth + 1)) return false;
        }
        out += indent + "</dict>\n";
        return true;
    }
    return false;
  }

 private:
  bool leaf(const std::string& indent, const char* tag, const std::string& text) {
    if (!writableText(text)) {
      failure = "text XML cannot hold";
      return false;
    }
    out += indent + "<" + tag + ">";
    appendEscaped(out, text);
    out += std::string("</") + tag + ">\n";
    return true;
  }
};

}  // namespace

std::optional<Value> PropertyList::read(const Bytes& xml, Error* error) {
  auto reader = std::make_shared<Reader>();
  XMLParser parser(xml);
  parser.setDelegate(reader);
  bool ok = parser.parse();
  if (ok && reader->result) return std::move(reader->result);
  if (error) {
    std::string why = !reader->failure.empty() ? reader->failure
                      : !ok ? parser.parserError()->localizedDescription()
                            : std::string("no value");
    *error = readError(why);
  }
  return std::nullopt;
}

std::optional<Value> PropertyList::read(std::string_view xml, Error* error) {
  return read(Bytes(xml.begin(), xml.end()), error);
}

std::optional<std::string> PropertyList::write(const Value& value, Error* error) {
  Writer w;
  w.out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
  if (!w.write(value, 0)) {
    if (error) {
      Dictionary info;
      info.set(kLocalizedDescriptionKey, Value("cannot write " + w.failure + " in a property list"));
      *error = Error{kPropertyListErrorDomain, kPropertyListWriteInvalidError, Value(std::move(info))};
    }
    return std::nullopt;
  }
  w.out += "</plist>\n";
  return std::move(w.out);
}

}  // namespace platform
