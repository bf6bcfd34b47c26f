#include "platform/property_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace platform {
namespace {

Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

TEST(PropertyListTest, ReadsAHandWrittenList) {
  const char* text = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist SYSTEM "http://127.0.0.1:1/plist.dtd">
<plist version="1.0">
<dict>
  <key>itemName</key>
  <string>Fish &amp; Chips &lt;3 </string>
  <key>empty</key><string/>
  <key>negative</key><integer>-42</integer>
  <key>huge</key><integer>18446744073709551615</integer>
  <key>hex</key><integer>0x1F</integer>
  <key>ratio</key><real>1.5e3</real>
  <key>whole</key><real>2</real>
  <key>on</key><true/>
  <key>off</key><false/>
  <key>when</key><date>2013-04-05T10:20:30Z</date>
  <key>leap</key><date>2000-02-29T00:00:00Z</date>
  <key>blob</key><data>
    aGVs
    bG8=
  </data>
  <key>list</key>
  <array>
    <integer>1</integer>
    <array/>
    <dict/>
    <string><![CDATA[<raw>]]></string>
  </array>
</dict>
</plist>
)";
  Error error;
  auto value = PropertyList::read(std::string_view(text), &error);
  ASSERT_TRUE(value) << error.localizedDescription();
  const Value& v = *value;
  EXPECT_EQ(v.dictionary().keys(),
            (std::vector<std::string>{"itemName", "empty", "negative", "huge", "hex", "ratio", "whole", "on",
                                      "off", "when", "leap", "blob", "list"}));
  EXPECT_EQ(v["itemName"], Value("Fish & Chips <3 "));
  EXPECT_EQ(v["empty"], Value(""));
  EXPECT_EQ(v["negative"].type(), Value::Type::Integer);
  EXPECT_EQ(v["negative"].integerValue(), -42);
  EXPECT_EQ(v["huge"].type(), Value::Type::Unsigned);
  EXPECT_EQ(v["huge"].unsignedValue(), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(v["hex"].integerValue(), 31);
  EXPECT_EQ(v["ratio"].type(), Value::Type::Double);
  EXPECT_EQ(v["ratio"].doubleValue(), 1500.0);
  EXPECT_EQ(v["whole"].type(), Value::Type::Double);
  EXPECT_EQ(v["on"], Value(true));
  EXPECT_EQ(v["off"], Value(false));
  EXPECT_EQ(v["when"], Value::date(1365157230));  // independently: timegm(2013-04-05 10:20:30)
  EXPECT_EQ(v["leap"], Value::date(951782400));
  EXPECT_EQ(v["blob"], Value(bytesOf("hello")));
  Array list{Value(1), Value(Array{}), Value(Dictionary{}), Value("<raw>")};
  EXPECT_EQ(v["list"], Value(list));
}

TEST(PropertyListTest, WritesTheDocumentFormat) {
  Dictionary d;
  d.set("b", Value("x & <y>"));
  d.set("a", Value(Array{Value(1), Value(true), Value(0.25)}));
  d.set("e", Value(Dictionary{}));
  auto text = PropertyList::write(Value(d));
  ASSERT_TRUE(text);
  EXPECT_EQ(*text,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>b</key>\n"
            "\t<string>x &amp; &lt;y&gt;</string>\n"
            "\t<key>a</key>\n"
            "\t<array>\n"
            "\t\t<integer>1</integer>\n"
            "\t\t<true/>\n"
            "\t\t<real>0.25</real>\n"
            "\t</array>\n"
            "\t<key>e</key>\n"
            "\t<dict/>\n"
            "</dict>\n"
            "</plist>\n");
}

TEST(PropertyListTest, RoundTripKeepsEveryKind) {
  Dictionary nested;
  nested.set("z", Value(-1));
  nested.set("a", Value(std::numeric_limits<int64_t>::min()));
  Dictionary d;
  d.set("unicode \xE2\x82\xAC", Value("line\nbreak\ttab \xF0\x9F\x98\x80"));
  d.set("returns\r", Value("crlf\r\nlone\r"));  // a reader folds literal ones into line feeds
  d.set("unsigned", Value(std::numeric_limits<uint64_t>::max()));
  d.set("pi", Value(3.141592653589793));
  d.set("tiny", Value(5e-324));
  d.set("inf", Value(-std::numeric_limits<double>::infinity()));
  d.set("date", Value::date(-1));  // 1969-12-31T23:59:59Z
  d.set("old", Value::date(-11644473600.0));  // 1601-01-01
  d.set("first", Value::date(-62167219200.0));  // 0000-01-01T00:00:00Z
  d.set("last", Value::date(253402300799.0));   // 9999-12-31T23:59:59Z
  d.set("data", Value(Bytes{0, 1, 2, 0xFF, 0xFE}));
  d.set("empty data", Value(Bytes{}));
  d.set("nested", Value(nested));
  d.set("list", Value(Array{Value(Array{Value("deep")}), Value(false)}));
  Value original(d);

  auto text = PropertyList::write(original);
  ASSERT_TRUE(text);
  auto back = PropertyList::read(std::string_view(*text));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, original);
  EXPECT_EQ(back->dictionary().keys(), d.keys());
  EXPECT_NE(text->find("<date>1969-12-31T23:59:59Z</date>"), std::string::npos);
  EXPECT_NE(text->find("<date>1601-01-01T00:00:00Z</date>"), std::string::npos);

  // NaN never equals itself, so it is checked on its own.
  auto nan = PropertyList::read(std::string_view(*PropertyList::write(Value(std::nan("")))));
  ASSERT_TRUE(nan);
  EXPECT_TRUE(std::isnan(nan->doubleValue()));
  auto decimal = PropertyList::read(std::string_view(*PropertyList::write(Value::decimal("12.5"))));
  EXPECT_EQ(*decimal, Value(12.5));
}

TEST(PropertyListTest, RefusesWhatIsNotAPropertyList) {
  const char* bad[] = {
      "not xml at all",
      "<plist><dict><key>a</key></dict></plist>",                         // key without value
      "<plist><dict><string>a</string></dict></plist>",                   // value without key
      "<plist><dict><key>a</key><key>b</key><true/></dict></plist>",     // two keys
      "<plist><dict>stray<key>a</key><true/></dict></plist>",            // text in a dict
      "<plist><array><key>a</key></array></plist>",                      // key in an array
      "<plist><widget/></plist>",                                         // unknown element
      "<plist><integer>12a</integer></plist>",
      "<plist><integer>99999999999999999999</integer></plist>",
      "<plist><integer></integer></plist>",
      "<plist><real>1.5x</real></plist>",
      "<plist><date>2013-02-29T00:00:00Z</date></plist>",
      "<plist><date>2013-04-05 10:20:30</date></plist>",
      "<plist><data>a$b=</data></plist>",
      "<plist><true>yes</true></plist>",
      "<plist><string>a<b/></string></plist>",
      "<plist><true/><false/></plist>",                                   // two roots
      "<plist></plist>",                                                  // no root
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    Error error;
    EXPECT_FALSE(PropertyList::read(std::string_view(text), &error));
    EXPECT_EQ(error.domain, kPropertyListErrorDomain);
    EXPECT_EQ(error.code, kPropertyListReadCorruptError);
  }
}

TEST(PropertyListTest, RefusesToWriteWhatItCannotHold) {
  const Value cases[] = {
      Value(),
      Value(Array{Value(1), Value()}),
      Value("bell\x07"),
      Value("\xC3"),  // not UTF-8
      Value(Dictionary{{"k\x01", Value(1)}}),
      Value::date(std::numeric_limits<double>::infinity()),
      Value("\xEF\xBF\xBE"),  // U+FFFE, not an XML character
      Value(Dictionary{{"\xEF\xBF\xBF", Value(1)}}),  // U+FFFF
      Value::date(253402300800.0),  // 10000-01-01: no four-digit year
      Value::date(-62167219201.0),  // the last second of year -1
      Value::date(1e12),
  };
  for (const auto& v : cases) {
    Error error;
    EXPECT_FALSE(PropertyList::write(v, &error));
    EXPECT_EQ(error.code, kPropertyListWriteInvalidError);
  }
}

}  // namespace
}  // namespace platform
