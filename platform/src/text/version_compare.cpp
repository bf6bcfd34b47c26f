#include "platform/version_compare.h"

namespace platform {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The next component of `text` from `pos` (empty past the end), moving `pos` past its dot.
std::string_view nextComponent(std::string_view text, size_t& pos) {
  if (pos >= text.size()) return {};
  size_t end = text.find('.', pos);
  if (end == std::string_view::npos) end = text.size();
  std::string_view component = text.substr(pos, end - pos);
  pos = end + 1;
  return component;
}

int compareComponents(std::string_view a, std::string_view b) {
  auto split = [](std::string_view c, std::string_view& digits, std::string_view& tail) {
    size_t n = 0;
    while (n < c.size() && isDigit(c[n])) ++n;
    digits = c.substr(0, n);
    tail = c.substr(n);
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  };
  std::string_view da, ta, db, tb;
  split(a, da, ta);
  split(b, db, tb);
  if (da.size() != db.size()) return da.size() < db.size() ? -1 : 1;
  if (int c = da.compare(db)) return c < 0 ? -1 : 1;
  if (int c = ta.compare(tb)) return c < 0 ? -1 : 1;
  return 0;
}

}  // namespace

int compareVersions(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (int c = compareComponents(nextComponent(a, i), nextComponent(b, j))) return c;
  }
  return 0;
}

}  // namespace platform
