#include "platform/format.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using platform::format;

TEST(FormatTest, SpecifiersFormatAsDocumented) {
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
      {format("%hu %hhx %hx", 70000, 300, -1), "4464 2c ffff"},
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
      {format("%d%-5l", 1), "1%-5l"},        // so is one the format ends inside
      {format("%@", dict), "{\n    a = 1;\n}"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(FormatTest, StarArgumentsOutsideTheirRangeActAsInC) {
  struct Case {
    std::string got;
    std::string want;
  };
  const Case cases[] = {
      // A negative precision argument is taken as if the precision were omitted.
      {format("%.*f|%.*d|%.*s|%.*e", -1, 1.5, -3, 7, -1, "abc", -2, 100.0), "1.500000|7|abc|1.000000e+02"},
      // A precision beyond any text length keeps the whole text.
      {format("%.*s|", 10000000000LL, "abc"), "abc|"},
      // A negative width means left alignment.
      {format("%*d|%*s|", -4, 7, -3, "a"), "7   |a  |"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(FormatTest, NumbersOfAnotherKindKeepTheirValueOrSaturate) {
  const uint64_t big = 18446744073709551615ull;
  EXPECT_EQ(format("%@ %s", big, uint64_t(1) << 63), "18446744073709551615 9223372036854775808");
  EXPECT_EQ(format("%@ %s", -5, int64_t(-6)), "-5 -6");
  // A double for an integer specifier is truncated, and pinned to the ends of the range.
  EXPECT_EQ(format("%lld|%lld|%lld|%lld", 2.9, -2.9, 1e300, -1e300),
            "2|-2|9223372036854775807|-9223372036854775808");
  EXPECT_EQ(format("%llu|%llu|%lld", 1e19, 1e300, std::nan("")), "10000000000000000000|18446744073709551615|0");
}

}  // namespace
