#include "platform/text_quoting.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(TextQuotingTest, ScriptStringsEscapeEachHostileCharacterByTheRule) {
  struct Row {
    std::string text, escaped;
  };
  const Row rows[] = {
      {"plain text, caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80 and ~", "plain text, caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80 and ~"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"it's", "it\\u0027s"},
      {"C:\\dir\\", "C:\\\\dir\\\\"},
      {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
      {"\0\x01\x0B\x1F\x7F"s, "\\u0000\\u0001\\u000B\\u001F\\u007F"},
      {"\xC2\x80\xC2\x85\xC2\x9F|\xC2\xA0", "\\u0080\\u0085\\u009F|\xC2\xA0"},  // C1 controls; no-break space kept
      {"</script><!--<script>", "\\u003C/script>\\u003C!--\\u003Cscript>"},
      {"a\xE2\x80\xA8" "b\xE2\x80\xA9" "c\xE2\x80\xA7", "a\\u2028b\\u2029c\xE2\x80\xA7"},
      // Ill-formed UTF-8: one U+FFFD for each maximal ill-formed part.
      {"x\xFFy", "x" + kFFFD + "y"},
      {"x\xE2\x80", "x" + kFFFD},
      {"\xF0\x9F\x98" "a", kFFFD + "a"},
      {"\xC0\xAF", kFFFD + kFFFD},                  // overlong lead byte, then a stray continuation
      {"\xED\xA0\x80", kFFFD + kFFFD + kFFFD},      // an encoded surrogate
      {"\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},  // past U+10FFFF
      {"\xE2\x28\xA1", kFFFD + "(" + kFFFD},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(platform::escapeScriptString(r.text), r.escaped) << r.text;
    EXPECT_EQ(platform::quoteScriptString(r.text), "\"" + r.escaped + "\"") << r.text;
  }
}

TEST(TextQuotingTest, SerialisedJSONKeepsItsOwnEscapesAndLosesOnlyWhatAScriptRefuses) {
  struct Row {
    std::string json, safe;
  };
  const Row rows[] = {
      {"{\"a\": [1, \"it's \\\"x\\\"\\n\"]}", "{\"a\": [1, \"it's \\\"x\\\"\\n\"]}"},
      {"{\n\t\"k\": \"v\"\n}", "{\n\t\"k\": \"v\"\n}"},  // white space between tokens stays
      {"[\"</script>\", \"<!--\"]", "[\"\\u003C/script>\", \"\\u003C!--\"]"},
      {"[\"\xE2\x80\xA8\xE2\x80\xA9\"]", "[\"\\u2028\\u2029\"]"},
      {"[\"\xFF\"]", "[\"" + kFFFD + "\"]"},
  };
  for (const auto& r : rows) EXPECT_EQ(platform::scriptSafeJSON(r.json), r.safe) << r.json;
}

TEST(TextQuotingTest, HTMLEscapesTheFiveMarkupCharactersAndReplacesIllFormedUTF8) {
  struct Row {
    std::string text, escaped;
  };
  const Row rows[] = {
      {"Fish & Chips <b>\"best\"</b> it's", "Fish &amp; Chips &lt;b&gt;&quot;best&quot;&lt;/b&gt; it&#39;s"},
      {"&amp;", "&amp;amp;"},
      {"caf\xC3\xA9\n\t\\", "caf\xC3\xA9\n\t\\"},
      {"a\xFF\xE2\x80<", "a" + kFFFD + kFFFD + "&lt;"},
  };
  for (const auto& r : rows) EXPECT_EQ(platform::escapeHTML(r.text), r.escaped) << r.text;
}

}  // namespace
