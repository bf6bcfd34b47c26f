// Replies read into ad units: which are valid, what each attribute and element gives.
#include <gtest/gtest.h>

#include "NBAdXMLParser.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdUnit;

class NBAdReplyTest : public testkit::SandboxTest {};

TEST_F(NBAdReplyTest, ValidityAndFields) {
  struct Case {
    const char* name;
    std::string xml;
    bool valid;
    int type = 0, action = 2, width = 0, height = 0;
    std::optional<std::string> url = std::nullopt;
    std::optional<std::string> markup = std::nullopt;
  };
  const Case cases[] = {
      {"rich media", testkit::NubiraServer::kRichMediaReply, true, 5, 1, 320, 50, std::nullopt,
       "<div id=\"nb_c\"><b>rich & media</b></div>"},
      {"banner", testkit::NubiraServer::kBannerReply, true, 2, 2, 300, 250, "http://127.0.0.1/nbclick/banner?a=1&b=2",
       "<img src=\"b.png\">"},
      {"banner without AdURL", testkit::NubiraServer::kBannerWithoutAdURLReply, false, 2, 2, 320, 50},
      {"cut after a whole Ad", testkit::NubiraServer::kCutReply, true, 5, 2, 320, 50, std::nullopt, "<p>cut</p>"},
      {"empty", "", false},
      {"not xml", "no ad today", false},
      {"no size", "<r><Ad type=\"rm\"><![CDATA[x]]></Ad></r>", false, 5},
      {"letter case of the element", "<r><aD type=\"text\" width=\"1\" height=\"2\"><adurl> http://t/ \n</adurl></aD></r>",
       true, 1, 2, 1, 2, "http://t/"},
      {"Type is not type", "<Ad Type=\"rm\" width=\"1\" height=\"1\"/>", false},
      {"trimmed type", "<Ad type=\" banner\n\" width=\"1\" height=\"1\"><AdURL>u</AdURL></Ad>", true, 2, 2, 1, 1, "u"},
      {"capital Banner", "<Ad type=\"Banner\" width=\"1\" height=\"1\"><AdURL>u</AdURL></Ad>", true, 0, 2, 1, 1, "u"},
      {"a later Ad sets the size again", "<r><Ad type=\"rm\" width=\"1\" height=\"1\"/><Ad actionType=\"7\"/></r>",
       false},
      {"lower-case actiontype wins", "<Ad type=\"rm\" actiontype=\"3\" actionType=\"4\" width=\"5\" height=\"6\"/>",
       true, 5, 3, 5, 6},
      {"action type not a number", "<Ad type=\"rm\" actionType=\"web\" width=\"5\" height=\"6\"/>", false, 5, 0, 5, 6},
      {"last CDATA wins", "<Ad type=\"rm\" width=\"5\" height=\"6\"><![CDATA[one]]><x><![CDATA[two]]></x></Ad>", true,
       5, 2, 5, 6, std::nullopt, "two"},
      {"a shorter last CDATA keeps nothing of the one before",
       "<Ad type=\"rm\" width=\"5\" height=\"6\"><![CDATA[<div>a longer block</div>]]><![CDATA[b]]></Ad>", true, 5, 2,
       5, 6, std::nullopt, "b"},
      {"entities split the URL",
       "<Ad type=\"search\" width=\"5\" height=\"6\"><AdURL>http://t/?q=a&amp;r=&#98;&lt;</AdURL></Ad>", true, 3, 2, 5,
       6, "http://t/?q=a&r=b<"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    nubira::NBAdXMLParser parser;
    auto unit = parser.buildAdUnitFromResponseData(platform::Bytes(c.xml.begin(), c.xml.end()));
    EXPECT_EQ(unit != nullptr, c.valid);
    if (!unit) continue;
    EXPECT_EQ(unit->adType, c.type);
    EXPECT_EQ(unit->adActionType, c.action);
    EXPECT_EQ(unit->width, c.width);
    EXPECT_EQ(unit->height, c.height);
    EXPECT_EQ(unit->targetUrl, c.url);
    EXPECT_EQ(unit->CDATABlock, c.markup);
  }
  EXPECT_EQ(NBAdUnit::getAdType("search"), 3);
  EXPECT_EQ(NBAdUnit::getAdType("rich"), 0);
}

}  // namespace
