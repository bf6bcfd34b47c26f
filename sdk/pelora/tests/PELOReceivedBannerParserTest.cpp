// Reading ad answers: status and error words, the flat text buffer, CDATA left out, and
// answers that are not well-formed.
#include <gtest/gtest.h>

#include "PELOReceivedBannerParser.h"

namespace {

using pelora::PELOReceivedBanner;

std::shared_ptr<PELOReceivedBanner> read(const std::string& xml) {
  return pelora::PELOReceivedBannerParser().parse(platform::Bytes(xml.begin(), xml.end()));
}

TEST(PELOReceivedBannerParserTest, StatusAndErrorWords) {
  struct Case {
    std::string body;
    int status, code;
    std::string message;
  };
  const Case cases[] = {
      {"<status>SUCCESS</status>", 0, 0, ""},
      {"<status>success</status>", 0, 0, ""},
      {"<status>FAILED</status>", 0, 0, ""},  // an unknown word counts as success
      {"<status>Error</status><code>42</code><desc>No ad</desc>", 1, 3, "No ad"},
      {"<status>ERROR</status><code>106</code>", 1, 1, ""},
      {"<status>ERROR</status><code>107</code>", 1, 4, ""},
      {"<status>ERROR</status><code>kpeloerrorcodeparsingerror</code>", 1, 5, ""},
      {"<status>ERROR</status><code>999</code>", 1, 0, ""},
      {"<sessionid>s</sessionid>", 1, 0, ""},  // no status: stays an error banner
  };
  for (const auto& c : cases) {
    auto banner = read("<response>" + c.body + "</response>");
    EXPECT_EQ(banner->status(), c.status) << c.body;
    EXPECT_EQ(banner->errorCode(), c.code) << c.body;
    EXPECT_EQ(banner->errorMessage(), c.message) << c.body;
  }
}

TEST(PELOReceivedBannerParserTest, AdFieldsTypesAndBeacons) {
  auto banner = read(
      "<?xml version=\"1.0\"?><response><sessionid>abc</sessionid><status>SUCCESS</status>"
      "<ad type=\"richmedia\"><link>http://i/x.png?a=1&amp;b=2</link><adtext>Buy &lt;now&gt;</adtext>"
      "<mediafile>http://m/v.mp4</mediafile><mediadata>&lt;b&gt;hi&lt;/b&gt;</mediadata>"
      "<action target=\"http://c/1\"/><beacons><beacon>http://b/1</beacon><beacon>http://b/2</beacon></beacons>"
      "</ad></response>");
  EXPECT_EQ(banner->status(), 0);
  EXPECT_EQ(banner->sessionId(), "abc");
  EXPECT_EQ(banner->adType(), 4);
  EXPECT_EQ(banner->imageUrl(), "http://i/x.png?a=1&b=2");
  EXPECT_EQ(banner->adText(), "Buy <now>");
  EXPECT_EQ(banner->mediaFile(), "http://m/v.mp4");
  EXPECT_EQ(banner->richMediaData(), "<b>hi</b>");
  EXPECT_EQ(banner->clickUrl(), "http://c/1");
  EXPECT_EQ(banner->beacons(), (std::vector<std::string>{"http://b/1", "http://b/2"}));

  const std::pair<const char*, int> types[] = {{"ALL", 0}, {"IMG", 1}, {"txt", 2}, {"VIDEO", 3}, {"BANNER", 0}};
  for (const auto& [word, value] : types)
    EXPECT_EQ(read(std::string("<r><ad type=\"") + word + "\"/></r>")->adType(), value) << word;
}

TEST(PELOReceivedBannerParserTest, OneFlatBufferAndNoCDATA) {
  // CDATA content is not collected; text around it is.
  auto banner = read("<r><status>SUCCESS</status><adtext>a<![CDATA[<i>b</i>]]>c</adtext>"
                     "<mediadata><![CDATA[<div>markup</div>]]></mediadata></r>");
  EXPECT_EQ(banner->adText(), "ac");
  EXPECT_EQ(banner->richMediaData(), "");

  // An inner text element takes the buffer: the outer one is left with no text at all, and a
  // beacon left without a buffer adds nothing.
  banner = read("<r><adtext>lost<link>img</link>kept</adtext><beacon>x<code>42</code></beacon></r>");
  EXPECT_EQ(banner->imageUrl(), "img");
  EXPECT_EQ(banner->adText(), "");
  EXPECT_EQ(banner->errorCode(), 3);
  EXPECT_TRUE(banner->beacons().empty());

  // Names are compared with case; unknown elements change nothing.
  banner = read("<r><Status>ERROR</Status><status>SUCCESS</status><other>t</other></r>");
  EXPECT_EQ(banner->status(), 0);
}

// Long texts (rich media) and short ones take turns with the one buffer: each element keeps
// all of its own runs and nothing of the one before.
TEST(PELOReceivedBannerParserTest, LongAndShortTextsEachKeepTheirOwn) {
  std::string markup, escaped;
  for (int i = 0; i < 300; ++i) {
    markup += "<p id=\"" + std::to_string(i) + "\">a & b</p>\n";
    escaped += "&lt;p id=\"" + std::to_string(i) + "\"&gt;a &amp; b&lt;/p&gt;\n";
  }
  const std::string media = "<mediadata>" + escaped + "</mediadata>";
  const struct {
    const char* name;
    std::string answer;
    std::string adText, richMedia, mediaFile;
  } cases[] = {
      {"long then short", "<r>" + media + "<adtext>x &amp; y</adtext></r>", "x & y", markup, ""},
      {"short then long", "<r><adtext>x &amp; y</adtext>" + media + "</r>", "x & y", markup, ""},
      {"long after long", "<r>" + media + "<mediafile>" + escaped + "tail</mediafile><adtext>z</adtext></r>", "z",
       markup, markup + "tail"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto banner = read(c.answer);
    EXPECT_EQ(banner->adText(), c.adText);
    EXPECT_EQ(banner->richMediaData(), c.richMedia);
    EXPECT_EQ(banner->mediaFile(), c.mediaFile);
  }
}

TEST(PELOReceivedBannerParserTest, MalformedAnswersAreParsingErrors) {
  const std::string full = "<response><status>SUCCESS</status><ad type=\"IMG\"><link>u</link></ad></response>";
  const std::string cases[] = {"", "not xml", "<response><status>SUCCESS</status><ad></response>",
                               full.substr(0, full.size() / 2), "<r>&undefined;</r>"};
  for (const auto& body : cases) {
    auto banner = read(body);
    EXPECT_EQ(banner->status(), 1) << body;
    EXPECT_EQ(banner->errorCode(), 5) << body;
    EXPECT_FALSE(banner->errorMessage().empty()) << body;
  }
}

}  // namespace
