#include "platform/format.h"

#include <gtest/gtest.h>

namespace {

using platform::format;

TEST(FormatTest, SpecifiersMatchTheOriginal) {
  struct Case {
    std::string got;
    std::string want;
  };
  platform::Value dict = platform::Dictionary{{"a", 1}};
  const Case cases[] = {
      {format("%d|%i|%5d|%-5d|%05d", 42, -7, 3, 3, 3), "42|-7|    3|3    |00003"},
      {format("%ld %lld %qi %zu", 1L << 40, -(1LL << 40), 123456789012LL, size_t(9)),
       "1099511627776 -1099511627776 123456789012 9"},
      {format("%u %x %X %o %#x", 4294967295u, 255, 255, 8, 255), "4294967295 ff FF 10 0xff"},
      {format("%d", 4294967296LL), "0"},  // plain %d narrows to int as the C type would
      {format("%hd %hhd", 70000, 300), "4464 44"},
      {format("%.2f %f %.0f %e %g", 3.14159, 1.5, 2.5, 12345.678, 0.0001), "3.14 1.500000 2 1.234568e+04 0.0001"},
      {format("%.17g", 0.1), "0.10000000000000001"},
      {format("%s|%10s|%-4s|%.2s", "ab", "right", "l", "cut"), "ab|     right|l   |cu"},
      {format("%@ %@ %@", std::string("text"), platform::Value(12), platform::Value()), "text 12 (null)"},
      {format("%@", platform::Value(0.5)), "0.5"},
      {format("%c%c", 'o', 'k'), "ok"},
      {format("100%% %d%%", 5), "100% 5%"},
      {format("%*d|%-*d|%.*f", 4, 7, 3, 1, 2, 1.23456), "   7|1  |1.23"},
      {format("%d %d", 1), "1 "},            // a missing argument prints nothing
      {format("%y %d", 2), "%y 2"},          // unknown conversion copied as is
      {format("%@", dict), "{\n    a = 1;\n}"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

}  // namespace
