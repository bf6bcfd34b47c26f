#include "CZSystemVersion.h"

#include <string>

#include "platform/device.h"

namespace cadenzo {
namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

int CZCompareVersions(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      size_t si = i, sj = j;
      while (i < a.size() && isDigit(a[i])) ++i;
      while (j < b.size() && isDigit(b[j])) ++j;
      std::string_view na = a.substr(si, i - si), nb = b.substr(sj, j - sj);
      while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size() ? -1 : 1;
      if (int c = na.compare(nb)) return c < 0 ? -1 : 1;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool CZSystemVersionBelow(std::string_view version) {
  return CZCompareVersions(platform::Device::currentDevice().systemVersion(), version) < 0;
}

}  // namespace cadenzo
