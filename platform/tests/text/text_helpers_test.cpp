#include "platform/text_helpers.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(TextHelpersTest, AlphanumericCoversLettersMarksAndNumbersOfAllScripts) {
  const std::pair<const char*, bool> cases[] = {
      {"", true},
      {"Slot42", true},
      {"Stra\u00DFe", true},
      {"\u03BD\u03B1\u03B9", true},          // Greek
      {"\u0416\u0443\u043A", true},          // Cyrillic
      {"\u4E2D\u6587", true},                // Han
      {"\u0663\u0664", true},                // Arabic-Indic digits
      {"cafe\u0301", true},                  // combining acute accent (a mark)
      {"x\u00B2", true},                     // superscript two (other number)
      {"\u216B", true},                      // Roman numeral twelve (letter number)
      {"\xF0\x9D\x90\x80", true},            // mathematical bold A, beyond U+FFFF
      {"a b", false},
      {"a_b", false},
      {"a.b", false},
      {"a-b", false},
      {"a\u00A0b", false},
      {"\xF0\x9F\x98\x80", false},           // an emoji
      {"a\xFF", false},                      // not UTF-8
      {"\xC3", false},                       // a sequence cut short
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(isAlphanumeric(text), expected) << text;
}

TEST(TextHelpersTest, TrimsUnicodeWhiteSpaceAndOptionallyLineEnds) {
  const struct {
    const char* text;
    const char* spaces;
    const char* spacesAndNewlines;
  } cases[] = {
      {"  a b \t", "a b", "a b"},
      {"\u00A0\u3000\u2009x\u202F", "x", "x"},
      {"\n a \r\n", "\n a \r\n", "a"},
      {"\u2028\u0085 \xC3\xA9 \u2029", "\u2028\u0085 \xC3\xA9 \u2029", "\xC3\xA9"},
      {" \xFF ", "\xFF", "\xFF"},
      {" \t\u3000", "", ""},
      {"\u200Bx", "\u200Bx", "\u200Bx"},  // zero-width space is a format character, kept
      // Tails of several-byte characters after the last ASCII one kept.
      {"x\xC3\xA9\u3000 \u2029", "x\xC3\xA9\u3000 \u2029", "x\xC3\xA9"},
      {"a\xE3\x80 ", "a\xE3\x80", "a\xE3\x80"},  // a cut sequence is kept, the space after it not
      {"\u3000\xC3\xA9\u2009\n", "\xC3\xA9\u2009\n", "\xC3\xA9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(trimWhitespace(c.text), c.spaces) << c.text;
    EXPECT_EQ(trimWhitespaceAndNewlines(c.text), c.spacesAndNewlines) << c.text;
  }
}

TEST(TextHelpersTest, EqualsIgnoringAsciiCaseFoldsOnlyAsciiLetters) {
  const struct {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {"AdURL", "adurl", true},     {"aD", "Ad", true},        {"", "", true},
      {"Ad", "Adx", false},         {"Ad", "A", false},        {"@[\\]^_", "`{|}~\x7F", false},
      {"\xC3\xA9", "\xC3\x89", false},  // é and É: UTF-8 bytes that differ in the same bit
      {"k", "\xE2\x84\xAA", false},     // the Kelvin sign
  };
  for (const auto& c : cases) {
    EXPECT_EQ(equalsIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(equalsIgnoringAsciiCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
  }
}

TEST(TextHelpersTest, LowercasesLatinGreekAndCyrillic) {
  const std::pair<const char*, const char*> cases[] = {
      {"HTTP://Example.COM", "http://example.com"},
      {"\u00C0\u00C9\u00CE\u00D8", "\u00E0\u00E9\u00EE\u00F8"},
      {"\u03A3\u039F\u03A6\u039F\u03A3", "\u03C3\u03BF\u03C6\u03BF\u03C2"},  // final sigma
      {"\u041F\u0420\u0418\u0412\u0415\u0422", "\u043F\u0440\u0438\u0432\u0435\u0442"},
      {"\u0130", "i\u0307"},
      {"A\xFF" "B", "a\xFF" "b"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(lowercase(text), expected) << text;
}

TEST(TextHelpersTest, CountsAndCutsInUtf16UnitsWithoutSplittingACharacter) {
  const std::string mixed = "a\xF0\x9F\x98\x80" "b";  // a, an emoji (two units), b
  const struct {
    std::string text;
    size_t length;
    size_t cut;
    std::string prefix;
  } cases[] = {
      {"", 0, 3, ""},
      {"h\u00E9llo", 5, 2, "h\u00E9"},
      {"\u4E2D\u6587", 2, 1, "\u4E2D"},
      {mixed, 4, 1, "a"},
      {mixed, 4, 2, "a"},
      {mixed, 4, 3, "a\xF0\x9F\x98\x80"},
      {mixed, 4, 9, mixed},
      {"\xFFx", 2, 1, "\xFF"},
      {std::string(60, 'k'), 60, 50, std::string(50, 'k')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf16Length(c.text), c.length) << c.text;
    EXPECT_EQ(prefixUtf16(c.text, c.cut), c.prefix) << c.text << " cut " << c.cut;
  }
}

}  // namespace
}  // namespace platform
