#include "platform/version_compare.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(VersionCompare, OrdersDottedVersionsByNumber) {
  struct Case {
    const char* a;
    const char* b;
    int expected;  // the sign of compareVersions(a, b)
  };
  for (const Case& c : {
           Case{"4.10", "4.2.1", 1},         // numbers, not text: 10 is above 2
           Case{"4.2.1", "4.2", 1},          // a further component above zero counts
           Case{"6", "6.0", 0},              // a missing component is 0
           Case{"6", "6.0.0", 0},
           Case{"6.0.1", "6", 1},
           Case{"5.1.1", "6.0", -1},
           Case{"04.002", "4.2", 0},         // leading zeros do not count
           Case{"007", "7", 0},
           Case{"12345678901234567890.1", "12345678901234567890.0", 1},  // longer than any integer type
           Case{"99999999999999999999", "100000000000000000000", -1},
           Case{"6.0b1", "6.0", 1},          // a tail after the digits comes after none
           Case{"6.0b1", "6.0b2", -1},
           Case{"6.0b9", "6.1", -1},         // the number decides before the tail
           Case{"beta", "0", 1},             // no digits: 0 followed by the text
           Case{"", "0", 0},
           Case{"", "", 0},
       }) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    int got = platform::compareVersions(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.expected);
    int back = platform::compareVersions(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.expected);
  }
}

}  // namespace
