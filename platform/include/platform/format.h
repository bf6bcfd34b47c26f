#pragma once
// printf-style formatting, independent of the locale, with these specifiers:
//   %@ (a Value or string, as `description`; "(null)" for a null Value)
//   %d %i %u %x %X %o %c with the length modifiers h hh l ll q z t j (all read the argument
//   as a 64-bit integer; the modifier only narrows it as the C type would)
//   %f %F %e %E %g %G %a (doubles), %s (text), %p (pointer), %% ; flags - + space # 0,
//   width and precision, including '*' (read as an int; a negative precision counts as none).
// A missing argument prints nothing for that specifier; an unknown specifier is copied as is.
// The format must be the program's own text: text from a page, a server or a file is never
// a format.
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/value.h"

namespace platform {

class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Double, Text, Object, Pointer };
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> &&
                                          !std::is_same_v<T, bool>, int> = 0>
  FormatArg(T v) : kind_(Kind::Signed), i_(v) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> &&
                                          !std::is_same_v<T, bool>, int> = 0>
  FormatArg(T v) : kind_(Kind::Unsigned), u_(v) {}
  FormatArg(bool b) : kind_(Kind::Signed), i_(b ? 1 : 0) {}
  template <class T, std::enable_if_t<std::is_enum_v<T>, int> = 0>
  FormatArg(T v) : kind_(Kind::Signed), i_(static_cast<int64_t>(v)) {}
  FormatArg(double d) : kind_(Kind::Double), d_(d) {}
  FormatArg(float d) : kind_(Kind::Double), d_(d) {}
  FormatArg(const char* s) : kind_(Kind::Text), s_(s ? s : "(null)") {}
  FormatArg(const std::string& s) : kind_(Kind::Text), s_(s) {}
  FormatArg(std::string_view s) : kind_(Kind::Text), s_(s) {}
  FormatArg(const Value& v) : kind_(Kind::Object), s_(v.description()) {}
  FormatArg(const void* p) : kind_(Kind::Pointer), u_(reinterpret_cast<uintptr_t>(p)) {}

  Kind kind() const { return kind_; }
  int64_t asSigned() const;
  uint64_t asUnsigned() const;
  double asDouble() const;
  const std::string& text() const { return s_; }

 private:
  Kind kind_;
  int64_t i_ = 0;
  uint64_t u_ = 0;
  double d_ = 0;
  std::string s_;
};

std::string formatv(std::string_view fmt, const std::vector<FormatArg>& args);

template <class... Args>
std::string format(std::string_view fmt, const Args&... args) {
  return formatv(fmt, std::vector<FormatArg>{FormatArg(args)...});
}

}  // namespace platform
