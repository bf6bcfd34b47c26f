#include "platform/utf8.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Utf8, WellFormedness) {
  for (std::string good : {"", "plain ascii text", "\x7f", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF",
                           "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "0123456789abcdef\xE2\x82\xAC"})
    EXPECT_TRUE(platform::isValidUtf8(good)) << ::testing::PrintToString(good);
  // The last two put the fault after a run of eight ASCII bytes, past the fast path.
  for (std::string bad : {"\x80", "\xC0\x80", "\xC1\xBF", "\xC2", "\xC2\x7F", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xE1\x80",
                          "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "0123456789abcdef\xE2\x82",
                          "01234567\xF0\x90\x80"})
    EXPECT_FALSE(platform::isValidUtf8(bad)) << ::testing::PrintToString(bad);
}

TEST(Utf8, EncodesEveryLengthAndReplacesWhatIsNoCharacter) {
  struct Case {
    uint32_t codePoint;
    std::string bytes;
  };
  for (const Case& c : {Case{0x41, "A"}, Case{0x7F, "\x7F"}, Case{0x80, "\xC2\x80"}, Case{0x7FF, "\xDF\xBF"},
                        Case{0x800, "\xE0\xA0\x80"}, Case{0x20AC, "\xE2\x82\xAC"}, Case{0xFFFF, "\xEF\xBF\xBF"},
                        Case{0x10000, "\xF0\x90\x80\x80"}, Case{0x10FFFF, "\xF4\x8F\xBF\xBF"},
                        Case{0xD800, "\xEF\xBF\xBD"}, Case{0xDFFF, "\xEF\xBF\xBD"}, Case{0x110000, "\xEF\xBF\xBD"}}) {
    std::string out = "x";
    platform::appendUtf8(out, c.codePoint);
    EXPECT_EQ(out, "x" + c.bytes) << std::hex << c.codePoint;
  }
}

}  // namespace
