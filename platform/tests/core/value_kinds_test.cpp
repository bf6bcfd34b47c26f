// The conversions a value gives whatever its kind, as the clients read numbers and counts out
// of answers whose fields may be text, data or dates; and data printed the way %@ prints it.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/value.h"

namespace {

using platform::Bytes;
using platform::Value;

TEST(ValueKindsTest, NumbersAndCountsOfEveryKind) {
  struct Case {
    const char* what;
    Value value;
    uint64_t unsignedValue;
    double doubleValue;
    size_t size;
  } cases[] = {
      {"text of digits", Value("42abc"), 42, 42, 5},
      {"text beyond the signed range", Value("18446744073709551615"), UINT64_MAX, 18446744073709551615.0, 20},
      {"true", Value(true), 1, 1, 0},
      {"false", Value(false), 0, 0, 0},
      {"data", Value(Bytes{1, 2, 3}), 0, 0, 3},
      {"null", Value(), 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.value.unsignedValue(), c.unsignedValue);
    EXPECT_EQ(c.value.doubleValue(), c.doubleValue);
    EXPECT_EQ(c.value.size(), c.size);
  }
}

TEST(ValueKindsTest, DataIsPrintedInGroupsOfFourBytes) {
  struct Case {
    Bytes bytes;
    const char* text;
  } cases[] = {
      {{}, "<>"},
      {{0x00, 0x0f, 0xa0, 0xff}, "<000fa0ff>"},
      {{0xde, 0xad, 0xbe, 0xef, 0x01}, "<deadbeef 01>"},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9}, "<01020304 05060708 09>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Value(c.bytes).description(), c.text);
}

}  // namespace
