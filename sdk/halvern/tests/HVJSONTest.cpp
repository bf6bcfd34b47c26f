#include "HVJSON.h"

#include <gtest/gtest.h>

#include "HVJSONParser.h"
#include "testing/deep_value.h"

namespace halvern {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

TEST(HVJSONTest, WritesKeysBareAndEscapesStrings) {
  Value object(Dictionary{{"a", Value(Array{Value(1), Value("x\"y")})}});
  EXPECT_EQ(HVJSON::stringWithObject(object), "{a:[1,\"x\\\"y\"]}");

  // Values with no JSON form become null; booleans are numbers; controls are escaped.
  Value mixed(Array{Value(platform::Bytes{1, 2}), Value(true), Value(nullptr), Value(0.5),
                    Value(std::string("t\tn\n\x01\\"))});
  EXPECT_EQ(HVJSON::stringWithObject(mixed), "[null,1,null,0.5,\"t\\tn\\n\\u0001\\\\\"]");

  HVJSON writer;
  EXPECT_FALSE(writer.addObject(Value(platform::Date{5})));
  HVJSON containers;
  EXPECT_TRUE(containers.addObject(Value(Array{Value(platform::Date{5})})));
  EXPECT_FALSE(containers.addArray(Array{Value(platform::Date{5})}));
}

TEST(HVJSONTest, UnescapingDropsUnknownBackslashes) {
  EXPECT_EQ(HVJSON::stringByUnescapingCharacters("a\\\"b\\n\\q\\\\"), "a\"b\nq\\");
  EXPECT_EQ(HVJSON::stringByEscapingCharacters("plain é"), "plain é");
}

struct ParseCase {
  const char* text;
  bool ok;
  const char* rewritten;  // the parse written back, when it succeeds
};

TEST(HVJSONTest, ParsesWithTheServersLeniencyAndNoMore) {
  const ParseCase cases[] = {
      {"[1 2]", true, "[1,2]"},
      {"{\"a\":1 \"b\":2}", true, "{a:1,b:2}"},
      {"{\"a\":1,\"a\":2}", true, "{a:2}"},
      {"[1,]", false, nullptr},
      {"{\"a\":1,}", false, nullptr},
      {"[01]", false, nullptr},
      {"[-]", false, nullptr},
      {"[1.]", false, nullptr},
      {"[1E+2, -0.5e-3, 0]", true, "[1E+2,-0.5e-3,0]"},
      {"true", true, "1"},
      {" null ", true, "null"},
      {"[1] x", false, nullptr},
      {"{a:1}", false, nullptr},
      {"[\"\\u00e9\"]", true, "[\"é\"]"},
      {"[\"\\ud834\\udd1e\"]", true, "[\"\xF0\x9D\x84\x9E\"]"},
      {"[\"\\udd1e\"]", false, nullptr},
      {"[\"\\ud834x\"]", false, nullptr},
      {"[\"\\u12g4\"]", false, nullptr},
      {"[\"a\tb\"]", false, nullptr},
      {"[\"\\x\"]", false, nullptr},
      {"[\"\\/\\b\"]", true, "[\"/\\b\"]"},
      {"{}", true, "{}"},
      {"[{}, [], {\"a\":{}}]", true, "[{},[],{a:{}}]"},
      {"[\"open", false, nullptr},
      {"[tru]", false, nullptr},
      {"", false, nullptr},
  };
  for (const auto& c : cases) {
    auto parsed = HVJSON::objectWithString(c.text);
    ASSERT_EQ(parsed.has_value(), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(HVJSON::stringWithObject(*parsed), c.rewritten) << c.text;
    }
  }
}

TEST(HVJSONTest, ValueKindsAndScalarRule) {
  auto parsed = HVJSON::objectWithString("{\"n\":-12.5,\"t\":true,\"z\":null,\"s\":\"x\",\"a\":[]}");
  ASSERT_TRUE(parsed);
  const Value& v = *parsed;
  EXPECT_EQ(v["n"].type(), Value::Type::Decimal);
  EXPECT_DOUBLE_EQ(v["n"].doubleValue(), -12.5);
  EXPECT_TRUE(v["t"].isBoolean());
  EXPECT_TRUE(v["z"].isNull());
  EXPECT_EQ(v["s"].string(), "x");
  EXPECT_TRUE(v["a"].isArray());

  // Numbers stay exact: an id past 2^53 is that id, and one past 64 bits is no nearby id.
  auto ids = HVJSON::objectWithString("{\"id\":9007199254740993,\"big\":18446744073709551616}");
  ASSERT_TRUE(ids);
  EXPECT_EQ((*ids)["id"].integerValue(), 9007199254740993);
  EXPECT_NE((*ids)["id"], Value(int64_t{9007199254740992}));
  EXPECT_EQ((*ids)["big"].unsignedValue(), 0u);

  HVJSONParser parser;
  EXPECT_FALSE(parser.objectWithStringAllowScalar("\"x\"", false));
  EXPECT_TRUE(parser.objectWithStringAllowScalar("[\"x\"]", false));
}

TEST(HVJSONTest, NestingIsBounded) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(HVJSON::objectWithString(nested(HVJSON::kServerMaxDepth)));
  EXPECT_FALSE(HVJSON::objectWithString(nested(HVJSON::kServerMaxDepth + 1)));
  // Far deeper than any stack would take unbounded.
  EXPECT_FALSE(HVJSON::objectWithString(std::string(1000000, '[')));

  HVJSONParser parser;
  parser.setMaxDepth(2);
  EXPECT_TRUE(parser.objectWithStringAllowScalar("[{\"a\":1},[2]]", false));
  EXPECT_FALSE(parser.objectWithStringAllowScalar("[{\"a\":[1]}]", false));
}

// A parser of its own has no limit by default, and a caller may raise one past what the
// stack holds: either way the reader stops at its own ceiling instead of overflowing.
TEST(HVJSONTest, NestingStopsAtTheReadersCeilingWhateverTheLimit) {
  constexpr size_t ceiling = platform::ValueStack::kMaxRecursionDepth;
  auto arrays = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  auto objects = [](size_t depth) {
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += "{\"k\":";
    text += "1";
    return text + std::string(depth, '}');
  };
  for (unsigned limit : {0u, 1000000u}) {
    SCOPED_TRACE(limit);
    HVJSONParser parser;
    parser.setMaxDepth(limit);
    EXPECT_TRUE(parser.objectWithStringAllowScalar(arrays(ceiling), false));
    EXPECT_TRUE(parser.objectWithStringAllowScalar(objects(ceiling), false));
    EXPECT_FALSE(parser.objectWithStringAllowScalar(arrays(ceiling + 1), false));
    EXPECT_FALSE(parser.objectWithStringAllowScalar(objects(ceiling + 1), false));
    // Well past where unbounded recursion used to overflow.
    EXPECT_FALSE(parser.objectWithStringAllowScalar(arrays(200000), false));
    // The depth count starts afresh after a failure.
    EXPECT_TRUE(parser.objectWithStringAllowScalar(arrays(ceiling), false));
  }
}

// Nested far deeper than any thread's stack would take a frame per level, with a date (no JSON
// form) at the bottom: written whole, its keys bare, the date as null; the containers answer
// for their own members only.
TEST(HVJSONTest, DeepValuesAreWrittenWhole) {
  constexpr int kLevels = 100000;
  const Value deep = testkit::deepValue(kLevels, Value(platform::Date{5}));
  const std::string text = testkit::deepValueText(kLevels, "null", true);

  HVJSON writer;
  EXPECT_TRUE(writer.addObject(deep));
  EXPECT_EQ(writer.string(), text);
  HVJSON dictionary;
  EXPECT_TRUE(dictionary.addDictionary(deep.dictionary()));
  EXPECT_EQ(dictionary.string(), text);
}

}  // namespace
}  // namespace halvern
