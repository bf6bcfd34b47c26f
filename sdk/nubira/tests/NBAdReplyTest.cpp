// Replies read into ad units: which are valid, what each attribute and element gives, and
// what a reply in another encoding shows.
#include <gtest/gtest.h>

#include "NBAdViewReports.h"
#include "NBAdXMLParser.h"
#include "nubira/NBAdView.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
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
      {"CDATA lines ending in CR LF", "<Ad type=\"rm\" width=\"5\" height=\"6\"><![CDATA[<p>a</p>\r\n<p>b</p>\n]]></Ad>",
       true, 5, 2, 5, 6, std::nullopt, "<p>a</p>\n<p>b</p>\n"},
      {"a shorter last CDATA keeps nothing of the one before",
       "<Ad type=\"rm\" width=\"5\" height=\"6\"><![CDATA[<div>a longer block</div>]]><![CDATA[b]]></Ad>", true, 5, 2,
       5, 6, std::nullopt, "b"},
      {"entities split the URL",
       "<Ad type=\"search\" width=\"5\" height=\"6\"><AdURL>http://t/?q=a&amp;r=&#98;&lt;</AdURL></Ad>", true, 3, 2, 5,
       6, "http://t/?q=a&r=b<"},
      // Numbers read as their leading decimal integer, past the range of 64 bits as its
      // largest, then cut to an int.
      {"numbers after space and signs", "<Ad type=\"rm\" actionType=\" +4\" width=\"\n12\" height=\"-3\"/>", true, 5,
       4, 12, -3},
      {"numbers before other text", "<Ad type=\"rm\" actionType=\"0300\" width=\"12px\" height=\"7.9\"/>", true, 5,
       300, 12, 7},
      {"numbers past an int", "<Ad type=\"rm\" actionType=\"4294967297\" width=\"123456789012345678\" height=\"1234567890123456789\"/>",
       true, 5, 1, -1506741426, 2112454933},
      {"numbers past 64 bits", "<Ad type=\"rm\" actionType=\"1\" width=\"99999999999999999999\" height=\"5\"/>", true, 5,
       1, -1, 5},
      {"an empty number", "<Ad type=\"rm\" actionType=\"\" width=\"5\" height=\"6\"/>", false, 5, 0, 5, 6},
      // White space beyond ASCII at the ends goes too.
      {"URL and type trimmed of wide spaces",
       "<Ad type=\"\u3000text\" width=\"1\" height=\"1\"><AdURL>\u00a0http://t/\tx\u2028</AdURL></Ad>", true, 1, 2, 1, 1,
       "http://t/\tx"},
      {"URL ending in a tab", "<Ad type=\"text\" width=\"1\" height=\"1\"><AdURL>http://t/\t</AdURL></Ad>", true, 1, 2, 1,
       1, "http://t/"},
      {"the last Ad with a URL gives it",
       "<r><Ad type=\"text\" width=\"1\" height=\"1\"><AdURL>http://a/</AdURL></Ad>"
       "<Ad width=\"2\" height=\"2\"><AdURL>http://bb/?x=1&amp;y=2</AdURL></Ad>"
       "<Ad width=\"3\" height=\"3\"><AdURL></AdURL></Ad><Ad width=\"4\" height=\"4\"><AdURL> </AdURL></Ad></r>",
       true, 1, 2, 4, 4, ""},
      {"a URL again after a trimmed one",
       "<r><Ad type=\"text\" width=\"1\" height=\"1\"><AdURL> http://a/ </AdURL></Ad>"
       "<Ad width=\"2\" height=\"2\"><AdURL>http://b/</AdURL><AdURL></AdURL></Ad></r>",
       true, 1, 2, 2, 2, "http://b/"},
      {"an inner AdURL ends the URL", "<Ad type=\"text\" width=\"1\" height=\"1\"><AdURL>a<AdURL>b</AdURL>c</AdURL></Ad>",
       true, 1, 2, 1, 1, "b"},
      {"URL of spaces only, an empty target", "<Ad type=\"text\" width=\"1\" height=\"1\"><AdURL> \n </AdURL></Ad>", true, 1, 2, 1, 1, ""},
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

// Replies the sandbox ad server sends in another encoding than UTF-8 show the text they spell;
// one in an encoding that cannot be read is no fill, and the banner goes on.
TEST_F(NBAdReplyTest, RepliesInOtherEncodingsShowTheirText) {
  testkit::NubiraServer server;
  nubira::NBAdView::setServers(server.url(""), server.url(""));
  auto root = std::make_shared<platform::ViewController>();
  auto view = nubira::NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(platform::Rect(0, 0, 320, 50),
                                                                                 "site-1", 15, root);
  auto reports = std::make_shared<nubiratest::NBAdViewReports>();
  view->setDelegate(reports);
  const auto reply = [](const char* encoding, const std::string& text) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + encoding +
           "\"?>\n<Response><Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\"><![CDATA[<div id=\"nb_c\" title=\"" +
           text + "\"></div>]]></Ad></Response>\n";
  };
  const struct {
    const char* name;
    std::string reply;
    std::string report;
    std::string text;  // what the page on screen then shows as the ad's title
  } cases[] = {
      {"an encoding no one knows", reply("x-no-such-encoding", "Caf\xE9"),
       "3 Server returned a no-fill. No action required.", ""},
      {"windows-1252", reply("windows-1252", "Caf\xE9 \x80" "5 \x93new\x94"), "finish", "Café €5 “new”"},
      {"EUC-JP, with a character of three bytes", reply("EUC-JP", "caf\x8F\xAB\xB1 \xC6\xFC\xCB\xDC"), "finish",
       "café 日本"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    advance(21);  // past the shortest time between two ads
    reports->events.clear();
    server.setAdReply(c.reply);
    view->loadNBAdRequest();
    settleTraffic();
    advance(0.1);  // a failure is reported a tenth of a second after the reply
    ASSERT_EQ(reports->events, std::vector<std::string>{c.report});
    if (c.text.empty()) {
      EXPECT_EQ(view->currentAdUnit(), nullptr);
      continue;
    }
    auto page = view->webView1ForTesting()->superview() == view ? view->webView1ForTesting() : view->webView2ForTesting();
    EXPECT_EQ(page->stringByEvaluatingJavaScriptFromString("document.getElementById('nb_c').getAttribute('title')"), c.text);
  }
}

}  // namespace
