#include "platform/html_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>

namespace {

using platform::HtmlDocument;
using platform::HtmlElement;

// A document without its head and body would fail on the first head() or body().
static_assert(!std::is_default_constructible_v<HtmlDocument>, "documents come from parse()");

TEST(HtmlDocumentTest, DecodesCharacterReferences) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"alert(&quot;hi&quot;)", "alert(\"hi\")"},
      {"a &amp;lt; b", "a &lt; b"},
      {"&#65;&#x42;&#X43;", "ABC"},
      {"&#x1F600;", "\xF0\x9F\x98\x80"},
      {"&#233;", "\xC3\xA9"},
      {"&nbsp;", "\xC2\xA0"},
      {"&apos;x&apos;", "'x'"},
      {"fish &amp chips", "fish & chips"},  // legacy name without semicolon
      {"&apos", "&apos"},                   // not a legacy name: needs its semicolon
      {"&unknown; & &; &#; &#x;", "&unknown; & &; &#; &#x;"},
      {"&#0;&#xD800;&#1114112;", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(HtmlDocument::decodeEntities(c.in), c.out) << c.in;
}

TEST(HtmlDocumentTest, BuildsHeadAndBodyAndKeepsAttributes) {
  auto doc = HtmlDocument::parse(
      "<!DOCTYPE html><html lang=en><head><title>Ad &amp; more</title>"
      "<meta charset=utf-8></head>"
      "<body style=\"margin:0px;\" onload=\"start(&quot;x&quot;, 'y')\">"
      "<div id='banner' data-x = \"1&amp;2\" hidden><img src=a.png width=320 height=\"50\">"
      "<IMG SRC=b.png ALT='b' alt='second'></div><p id=p1>text</body></html>");
  EXPECT_EQ(doc.title(), "Ad & more");
  ASSERT_NE(doc.root().attribute("lang"), nullptr);
  EXPECT_EQ(*doc.root().attribute("lang"), "en");
  ASSERT_EQ(doc.head().children.size(), 2u);
  EXPECT_EQ(doc.head().children[1].tag, "meta");

  const HtmlElement& body = doc.body();
  ASSERT_NE(body.attribute("onload"), nullptr);
  EXPECT_EQ(*body.attribute("onload"), "start(\"x\", 'y')");
  ASSERT_EQ(body.children.size(), 2u);
  const HtmlElement& div = body.children[0];
  EXPECT_EQ(*div.attribute("id"), "banner");
  EXPECT_EQ(*div.attribute("data-x"), "1&2");
  ASSERT_NE(div.attribute("hidden"), nullptr);
  EXPECT_EQ(*div.attribute("hidden"), "");
  ASSERT_EQ(div.children.size(), 2u);  // img is void: the second img is a sibling
  EXPECT_EQ(*div.children[0].attribute("width"), "320");
  EXPECT_EQ(div.children[1].tag, "img");
  EXPECT_EQ(*div.children[1].attribute("alt"), "b");  // the first of a repeated name wins
  EXPECT_EQ(body.children[1].tag, "p");
}

TEST(HtmlDocumentTest, FindsScriptsInDocumentOrderWithRawText) {
  auto doc = HtmlDocument::parse(
      "<script type = \"text/javascript\">var a = '</div>' + '<b>&amp;';</script>"
      "<!-- <script>commented()</script> -->"
      "<p><script src=\"lib.js\"></script></p>"
      "<script>if (a < b && c > d) {}</SCRIPT >"
      "<script>unterminated(");
  auto scripts = doc.scripts();
  ASSERT_EQ(scripts.size(), 4u);
  EXPECT_EQ(scripts[0]->text, "var a = '</div>' + '<b>&amp;';");  // raw: no decoding
  EXPECT_EQ(*scripts[0]->attribute("type"), "text/javascript");
  EXPECT_EQ(*scripts[1]->attribute("src"), "lib.js");
  EXPECT_EQ(scripts[2]->text, "if (a < b && c > d) {}");
  EXPECT_EQ(scripts[3]->text, "unterminated(");
  // Scripts before any body content stay in the head; the rest start the body.
  EXPECT_EQ(doc.head().children.size(), 1u);
}

TEST(HtmlDocumentTest, SurvivesHostileMarkup) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<div>";
  const std::string inputs[] = {
      deep,
      "<",
      "<a href=\"unterminated",
      "</p></div></body></html>",
      "<<<>>><!><!--><?xml?><a =x>",
      std::string("<p>\0<b>", 7),
      "<iframe src=x>never closed",
  };
  for (const auto& in : inputs) {
    auto doc = HtmlDocument::parse(in);
    EXPECT_EQ(doc.root().children.size(), 2u);
    std::function<int(const HtmlElement&)> depth = [&](const HtmlElement& e) {
      int d = 0;
      for (const auto& c : e.children) d = std::max(d, depth(c));
      return d + 1;
    };
    EXPECT_LE(depth(doc.body()), HtmlDocument::kMaxDepth + 1);
  }
}

TEST(HtmlDocumentTest, TagsWithAGreatManyAttributesKeepTheFirstOfEachName) {
  // Enough names that comparing each with every earlier one would stall the reader.
  constexpr int kNames = 100000;
  std::string many;
  for (int i = 0; i < kNames; ++i) many += " n" + std::to_string(i) + "=" + std::to_string(i);
  auto doc = HtmlDocument::parse("<body" + many + "><body n7=again extra=1><p" + many + " n3=again>");
  const HtmlElement& body = doc.body();
  ASSERT_EQ(body.attributes.size(), static_cast<size_t>(kNames) + 1);
  EXPECT_EQ(*body.attribute("n7"), "7");
  EXPECT_EQ(body.attributes.back(), (std::pair<std::string, std::string>{"extra", "1"}));
  ASSERT_EQ(body.children.size(), 1u);
  ASSERT_EQ(body.children[0].attributes.size(), static_cast<size_t>(kNames));
  EXPECT_EQ(*body.children[0].attribute("n3"), "3");
  EXPECT_EQ(body.children[0].attributes[kNames - 1].first, "n" + std::to_string(kNames - 1));
}

TEST(HtmlDocumentTest, ParsesFragmentsWithoutDocumentStructure) {
  auto elements = HtmlDocument::parseFragment(
      "<html><body><img src=p.gif width=1><script>w()</script><span><b>x</b></span>");
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(elements[0].tag, "img");
  EXPECT_EQ(elements[1].text, "w()");
  ASSERT_EQ(elements[2].children.size(), 1u);
  EXPECT_EQ(elements[2].children[0].tag, "b");

  // A budget of elements, nested ones counted, ends the reading where it runs out.
  auto bounded = HtmlDocument::parseFragment("<div><p></p><p></p></div><img>", 2);
  ASSERT_EQ(bounded.size(), 1u);
  EXPECT_EQ(bounded[0].children.size(), 1u);
}

}  // namespace
