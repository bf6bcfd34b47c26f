#include "platform/format.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {
// A double given for an integer specifier: truncated, saturating at the ends of the range
// (not a number is 0) instead of a conversion the language leaves undefined.
int64_t truncatedSigned(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2233720368547758e18) return INT64_MAX;
  if (d <= -9.2233720368547758e18) return INT64_MIN;
  return static_cast<int64_t>(d);
}
}  // namespace

int64_t FormatArg::asSigned() const {
  switch (kind_) {
    case Kind::Signed: return i_;
    case Kind::Unsigned:
    case Kind::Pointer: return static_cast<int64_t>(u_);
    case Kind::Double: return truncatedSigned(d_);
    default: return 0;
  }
}

uint64_t FormatArg::asUnsigned() const {
  switch (kind_) {
    case Kind::Signed: return static_cast<uint64_t>(i_);
    case Kind::Unsigned:
    case Kind::Pointer: return u_;
    case Kind::Double:
      if (d_ >= 1.8446744073709552e19) return UINT64_MAX;
      if (d_ >= 9.2233720368547758e18) return static_cast<uint64_t>(d_);
      return static_cast<uint64_t>(truncatedSigned(d_));
    default: return 0;
  }
}

double FormatArg::asDouble() const {
  switch (kind_) {
    case Kind::Double: return d_;
    case Kind::Signed: return static_cast<double>(i_);
    case Kind::Unsigned: return static_cast<double>(u_);
    default: return 0;
  }
}

namespace {

// snprintf formats numbers; we never call setlocale, but a host application might, so the
// decimal separator is normalised back to '.'.
std::string cFormat(const std::string& spec, auto value) {
  char buf[512];
  int n = std::snprintf(buf, sizeof buf, spec.c_str(), value);
  std::string out;
  if (n < 0) return out;
  if (static_cast<size_t>(n) < sizeof buf) {
    out.assign(buf, static_cast<size_t>(n));
  } else {
    out.resize(static_cast<size_t>(n) + 1);
    std::snprintf(out.data(), out.size(), spec.c_str(), value);
    out.resize(static_cast<size_t>(n));
  }
  if (std::is_floating_point_v<decltype(value)>) {
    for (char& c : out)
      if (c == ',') c = '.';
  }
  return out;
}

// A whole number as a count (width or precision); saturates instead of throwing on a
// literal too long for an int.
int countOf(const std::string& digits) {
  long long v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(v);
}

// An integer argument printed as text (%@ or %s): unsigned values keep their full range.
std::string integerText(const FormatArg& a) {
  return a.kind() == FormatArg::Kind::Unsigned ? std::to_string(a.asUnsigned()) : std::to_string(a.asSigned());
}

std::string pad(std::string text, int width, bool left) {
  if (width > 0 && text.size() < static_cast<size_t>(width)) {
    std::string fill(static_cast<size_t>(width) - text.size(), ' ');
    text = left ? text + fill : fill + text;
  }
  return text;
}

// The arguments in order, each taken once; past the end there is none.
class ArgCursor {
 public:
  explicit ArgCursor(const std::vector<FormatArg>& args) : args_(args) {}
  const FormatArg* take() { return next_ < args_.size() ? &args_[next_++] : nullptr; }

 private:
  const std::vector<FormatArg>& args_;
  size_t next_ = 0;
};

// One conversion between its '%' and its conversion character.
struct Conversion {
  std::string flags;
  int width = -1;
  std::string widthText;
  bool hasPrec = false;
  std::string precText;
  std::string length;
  char conv = 0;

  // The same conversion for snprintf, without length and conversion character.
  std::string cSpec() const { return "%" + flags + widthText + (hasPrec ? "." + precText : ""); }
  bool left() const { return flags.find('-') != std::string::npos; }
};

// Reads flags, width, precision and length from fmt[i] on, taking the arguments a '*' asks
// for; leaves `i` on the conversion character. False when the format ends before one.
bool parseConversion(std::string_view fmt, size_t& i, ArgCursor& args, Conversion& c) {
  while (i < fmt.size() && std::strchr("-+ #0", fmt[i])) c.flags += fmt[i++];
  if (i < fmt.size() && fmt[i] == '*') {
    const FormatArg* a = args.take();
    // Read as the int C reads there; a negative width means left alignment.
    c.width = a ? static_cast<int>(a->asSigned()) : 0;
    if (c.width < 0) {
      c.flags += '-';
      c.width = c.width == INT_MIN ? INT_MAX : -c.width;
    }
    c.widthText = std::to_string(c.width);
    ++i;
  } else {
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') c.widthText += fmt[i++];
    if (!c.widthText.empty()) c.width = countOf(c.widthText);
  }
  if (i < fmt.size() && fmt[i] == '.') {
    c.hasPrec = true;
    ++i;
    if (i < fmt.size() && fmt[i] == '*') {
      // Read as an int, as C does; a negative one counts as no precision at all.
      const FormatArg* a = args.take();
      const int prec = a ? static_cast<int>(a->asSigned()) : 0;
      if (prec < 0) c.hasPrec = false;
      else c.precText = std::to_string(prec);
      ++i;
    } else {
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') c.precText += fmt[i++];
      if (c.precText.empty()) c.precText = "0";
    }
  }
  while (i < fmt.size() && std::strchr("hlqLzjt", fmt[i])) c.length += fmt[i++];
  if (i >= fmt.size()) return false;
  c.conv = fmt[i];
  return true;
}

// An object or text argument's text; a number as %@ prints it.
std::string objectText(const FormatArg& a) {
  if (a.kind() == FormatArg::Kind::Object || a.kind() == FormatArg::Kind::Text) return a.text();
  return a.kind() == FormatArg::Kind::Double ? cFormat("%g", a.asDouble()) : integerText(a);
}

// An integer cut to the size its length modifier names ("h", "hh", none for int); the
// long ones keep all 64 bits.
template <class Wide, class Short, class Char, class Int>
Wide narrowed(Wide v, const std::string& length) {
  if (length == "h") return static_cast<Short>(v);
  if (length == "hh") return static_cast<Char>(v);
  if (length.empty()) return static_cast<Int>(v);
  return v;
}

// Appends what conversion `c` makes of its argument; an unknown conversion appends `raw`,
// the conversion as written.
void appendConversion(std::string& out, const Conversion& c, ArgCursor& args, std::string_view raw) {
  const std::string spec = c.cSpec();
  switch (c.conv) {
    case '@': {
      const FormatArg* a = args.take();
      out += pad(a ? objectText(*a) : std::string(), c.width, c.left());
      break;
    }
    case 'd':
    case 'i':
      if (const FormatArg* a = args.take()) {
        auto v = narrowed<int64_t, short, signed char, int>(a->asSigned(), c.length);
        out += cFormat(spec + "lld", static_cast<long long>(v));
      }
      break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      if (const FormatArg* a = args.take()) {
        auto v = narrowed<uint64_t, unsigned short, unsigned char, unsigned>(a->asUnsigned(), c.length);
        out += cFormat(spec + "ll" + c.conv, static_cast<unsigned long long>(v));
      }
      break;
    case 'c': {
      const FormatArg* a = args.take();
      if (!a) break;
      out += pad(std::string(1, static_cast<char>(a->asSigned())), c.width, c.left());
      break;
    }
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A': {
      const FormatArg* a = args.take();
      if (!a) break;
      out += cFormat(spec + c.conv, a->asDouble());
      break;
    }
    case 's': {
      const FormatArg* a = args.take();
      if (!a) break;
      std::string text = a->kind() == FormatArg::Kind::Text || a->kind() == FormatArg::Kind::Object
                             ? a->text()
                             : integerText(*a);
      if (c.hasPrec) text = text.substr(0, static_cast<size_t>(countOf(c.precText)));
      out += pad(text, c.width, c.left());
      break;
    }
    case 'p': {
      const FormatArg* a = args.take();
      if (!a) break;
      out += pad(cFormat("0x%llx", static_cast<unsigned long long>(a->asUnsigned())), c.width, c.left());
      break;
    }
    default:
      out.append(raw);
  }
}

}  // namespace

std::string formatv(std::string_view fmt, const std::vector<FormatArg>& args) {
  std::string out;
  out.reserve(fmt.size() + 16);
  ArgCursor cursor(args);
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      out += fmt[i];
      continue;
    }
    const size_t start = i++;
    if (i >= fmt.size()) {
      out += '%';
      break;
    }
    if (fmt[i] == '%') {
      out += '%';
      continue;
    }
    Conversion c;
    if (!parseConversion(fmt, i, cursor, c)) {
      out.append(fmt.substr(start));  // an unfinished conversion stays as written
      break;
    }
    appendConversion(out, c, cursor, fmt.substr(start, i - start + 1));
  }
  return out;
}

}  // namespace platform
