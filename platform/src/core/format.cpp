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

}  // namespace

std::string formatv(std::string_view fmt, const std::vector<FormatArg>& args) {
  std::string out;
  out.reserve(fmt.size() + 16);
  size_t next = 0;
  auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };

  for (size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c != '%') {
      out += c;
      continue;
    }
    size_t start = i++;
    if (i >= fmt.size()) {
      out += '%';
      break;
    }
    if (fmt[i] == '%') {
      out += '%';
      continue;
    }
    std::string flags;
    while (i < fmt.size() && std::strchr("-+ #0", fmt[i])) flags += fmt[i++];
    int width = -1;
    std::string widthText;
    if (i < fmt.size() && fmt[i] == '*') {
      const FormatArg* a = take();
      // Read as the int C reads there; a negative width means left alignment.
      width = a ? static_cast<int>(a->asSigned()) : 0;
      if (width < 0) {
        flags += '-';
        width = width == INT_MIN ? INT_MAX : -width;
      }
      widthText = std::to_string(width);
      ++i;
    } else {
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') widthText += fmt[i++];
      if (!widthText.empty()) width = countOf(widthText);
    }
    std::string precText;
    bool hasPrec = false;
    if (i < fmt.size() && fmt[i] == '.') {
      hasPrec = true;
      ++i;
      if (i < fmt.size() && fmt[i] == '*') {
        // Read as an int, as C does; a negative one counts as no precision at all.
        const FormatArg* a = take();
        const int prec = a ? static_cast<int>(a->asSigned()) : 0;
        if (prec < 0) hasPrec = false;
        else precText = std::to_string(prec);
        ++i;
      } else {
        while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') precText += fmt[i++];
        if (precText.empty()) precText = "0";
      }
    }
    std::string length;
    while (i < fmt.size() && std::strchr("hlqLzjt", fmt[i])) length += fmt[i++];
    if (i >= fmt.size()) {
      out.append(fmt.substr(start));
      break;
    }
    char conv = fmt[i];
    std::string spec = "%" + flags + widthText + (hasPrec ? "." + precText : "");
    const bool left = flags.find('-') != std::string::npos;

    switch (conv) {
      case '@': {
        const FormatArg* a = take();
        std::string text = a ? (a->kind() == FormatArg::Kind::Object || a->kind() == FormatArg::Kind::Text
                                    ? a->text()
                                    : (a->kind() == FormatArg::Kind::Double ? cFormat("%g", a->asDouble())
                                                                            : integerText(*a)))
                             : std::string();
        out += pad(text, width, left);
        break;
      }
      case 'd':
      case 'i': {
        const FormatArg* a = take();
        if (!a) break;
        int64_t v = a->asSigned();
        if (length == "h") v = static_cast<short>(v);
        else if (length == "hh") v = static_cast<signed char>(v);
        else if (length.empty()) v = static_cast<int>(v);
        out += cFormat(spec + "lld", static_cast<long long>(v));
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        const FormatArg* a = take();
        if (!a) break;
        uint64_t v = a->asUnsigned();
        if (length == "h") v = static_cast<unsigned short>(v);
        else if (length == "hh") v = static_cast<unsigned char>(v);
        else if (length.empty()) v = static_cast<unsigned>(v);
        out += cFormat(spec + "ll" + conv, static_cast<unsigned long long>(v));
        break;
      }
      case 'c': {
        const FormatArg* a = take();
        if (!a) break;
        out += pad(std::string(1, static_cast<char>(a->asSigned())), width, left);
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
        const FormatArg* a = take();
        if (!a) break;
        out += cFormat(spec + conv, a->asDouble());
        break;
      }
      case 's': {
        const FormatArg* a = take();
        if (!a) break;
        std::string text = a->kind() == FormatArg::Kind::Text || a->kind() == FormatArg::Kind::Object
                               ? a->text()
                               : integerText(*a);
        if (hasPrec) text = text.substr(0, static_cast<size_t>(countOf(precText)));
        out += pad(text, width, left);
        break;
      }
      case 'p': {
        const FormatArg* a = take();
        if (!a) break;
        out += pad(cFormat("0x%llx", static_cast<unsigned long long>(a->asUnsigned())), width, left);
        break;
      }
      default:
        out.append(fmt.substr(start, i - start + 1));
    }
  }
  return out;
}

}  // namespace platform
