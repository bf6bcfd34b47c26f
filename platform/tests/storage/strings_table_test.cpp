// The strings tables a bundle ships are read by a small parser of their own: escapes, bare
// words, a key standing alone and UTF-16 text all have rules a translator's file relies on.
#include <gtest/gtest.h>

#include <string>

#include "platform/bundle.h"
#include "platform/file_manager.h"
#include "platform/locale.h"
#include "platform/sandbox.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Bundle;
using platform::FileManager;

class StringsTableTest : public testkit::SandboxTest {};

// UTF-16 big-endian with its byte-order mark, from 16-bit units written out by hand.
std::string utf16be(std::u16string_view units) {
  std::string out = "\xFE\xFF";
  for (char16_t c : units) {
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

TEST_F(StringsTableTest, EscapesBareWordsLoneKeysAndWideText) {
  struct Case {
    const char* what;
    std::string table;
    const char* key;
    std::string expected;  // "(fallback)" where the table is refused or lacks the key
  } cases[] = {
      {"control escapes", R"("k" = "a\tb\rc\ad\be\ff\vg";)", "k", "a\tb\rc\ad\be\ff\vg"},
      {"octal takes at most three digits", R"("k" = "\101\1012\7";)", "k", "AA2\x07"},
      {"other escapes stand for themselves", R"("k" = "\'\\\q";)", "k", "'\\q"},
      {"bare words on both sides", "key.one = value_$/:-2;", "key.one", "value_$/:-2"},
      {"a key alone maps to itself", "\"Alone\";", "Alone", "Alone"},
      {"later duplicates win", "\"k\" = \"first\"; \"k\" = \"second\";", "k", "second"},
      {"a byte-order mark of UTF-8 is skipped", "\xEF\xBB\xBF\"k\" = \"v\";", "k", "v"},
      {"a surrogate pair in UTF-16", utf16be(u"\"k\"=\"\xD83D\xDE00\";"), "k", "\xF0\x9F\x98\x80"},
      {"a lone surrogate in UTF-16", utf16be(u"\"k\"=\"\xDC00x\";"), "k", "\xEF\xBF\xBDx"},
      {"a surrogate escape", R"("k" = "\uD800!";)", "k", "\xEF\xBF\xBD!"},
      {"a short \\U escape", R"("k" = "\U00";)", "k", "(fallback)"},
      {"nothing before the equals sign", "= \"v\";", "k", "(fallback)"},
      {"no value after the equals sign", "\"k\" = ;", "k", "(fallback)"},
      {"no semicolon", "\"k\" = \"v\"", "k", "(fallback)"},
      {"an unterminated comment", "\"k\" = \"v\"; /* open", "k", "(fallback)"},
      {"an escape at the very end", "\"k\" = \"v\\", "k", "(fallback)"},
  };
  platform::Locale::currentLocale().setPreferredLanguages({"en"});
  const std::string folder = platform::Sandbox::bundlePath() + "/en.lproj";
  ASSERT_TRUE(FileManager::createDirectoryAtPath(folder, true));
  int n = 0;
  for (const auto& c : cases) {
    const std::string table = "T" + std::to_string(n++);
    ASSERT_TRUE(FileManager::writeAtomically(folder + "/" + table + ".strings", c.table));
    EXPECT_EQ(Bundle::mainBundle().localizedStringForKeyValueTable(c.key, "(fallback)", table), c.expected)
        << c.what;
  }
}

}  // namespace
