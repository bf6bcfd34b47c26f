// The client's JSON reader and writer: values and their kinds, every error of the reader and
// the writer, the depth limit, and the writer's layouts.
#include <gtest/gtest.h>

#include <cmath>

#include "QLTestPrinters.h"

#include "QLJSON.h"
#include "QLMacros.h"
#include "platform/log.h"
#include "platform/value_stack.h"
#include "testing/deep_value.h"

namespace {

using platform::Array;
using platform::Bytes;
using platform::Dictionary;
using platform::Error;
using platform::Value;
using quillon::QLJSON;
using quillon::QLMacros;

// (code, message) from the outermost error down to its root cause.
std::vector<std::pair<long, std::string>> chain(const Error& error) {
  std::vector<std::pair<long, std::string>> out;
  out.emplace_back(error.code, error.userInfo[platform::kLocalizedDescriptionKey].string());
  const Value* under = &error.userInfo[platform::kUnderlyingErrorKey];
  while (under->isDictionary()) {
    out.emplace_back((*under)["code"].integerValue(),
                     (*under)["userInfo"][platform::kLocalizedDescriptionKey].string());
    under = &(*under)["userInfo"][platform::kUnderlyingErrorKey];
  }
  return out;
}

TEST(QLJSONTest, ReadsValuesOfEveryKind) {
  QLJSON json;
  auto v = json.objectWithStringError(
      " {\"a\": [1, -0.5, \"x\", true, false, null], \"b\": {}, \"a2\": 2, \"a\": \"again\"} ");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->dictionary().keys(), (std::vector<std::string>{"a", "b", "a2"}));
  EXPECT_EQ((*v)["a"], Value("again"));
  EXPECT_EQ((*v)["a2"].type(), Value::Type::Decimal);

  auto list = json.objectWithStringError("[1, true, false, null, -0.5, \"x\"]");
  ASSERT_TRUE(list);
  EXPECT_TRUE((*list)[0].isNumber());
  EXPECT_FALSE((*list)[0].isBoolean());
  EXPECT_TRUE((*list)[1].isBoolean());
  EXPECT_FALSE((*list)[1].isNumber());
  EXPECT_EQ((*list)[2], Value(false));
  EXPECT_TRUE((*list)[3].isNull());
  EXPECT_EQ((*list)[5], Value("x"));

  const std::pair<std::string, std::string> numbers[] = {
      {"0", "0"},
      {"-0", "0"},
      {"90", "90"},
      {"-10", "-10"},
      {"1.50", "1.5"},
      {"1E2", "100"},
      {"12e-1", "1.2"},
      {"-1.5e-3", "-0.0015"},
      {"0.000123", "0.000123"},
      {"123456789012345678901234567890", "123456789012345678901234567890"},
      {"0.1000000000000000055511151231257827", "0.1000000000000000055511151231257827"},
      {"1e127", "1" + std::string(127, '0')},
      {"1e-128", "0." + std::string(127, '0') + "1"},
      // Fractions written as their own plain text, and the ones that are not.
      {"-0.5", "-0.5"},
      {"100.25", "100.25"},
      {"-0.0", "0"},
      {"0.10", "0.1"},
      {"0." + std::string(127, '0') + "1", "0." + std::string(127, '0') + "1"},
  };
  for (const auto& [text, decimal] : numbers) {
    auto n = json.fragmentWithStringError(std::string_view(text));
    ASSERT_TRUE(n) << text;
    EXPECT_EQ(n->type(), Value::Type::Decimal) << text;
    EXPECT_EQ(n->decimalText(), decimal) << text;
  }

  auto s = json.fragmentWithStringError("\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\ude00\\uDBFF\\uDFFF \xC3\xA9\"");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->string(), "\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF \xC3\xA9");
}

TEST(QLJSONTest, LongTextsWhereverTheirSpecialBytesFall) {
  QLJSON json;
  const std::pair<std::string, std::string> readable[] = {
      {"\\n", "\n"}, {"\\\"", "\""}, {"\xC3\xA9", "\xC3\xA9"}, {"\x7F", "\x7F"}, {"\\u4eca", "\xE4\xBB\x8A"}};
  const std::pair<std::string, long> broken[] = {{"\x01", QLJSON::kControlCharacter}, {"\xC3(", QLJSON::kUnicode}};
  for (size_t at = 0; at <= 40; ++at) {
    const std::string before(at, 'a'), after(40 - at, 'b');
    for (const auto& [written, read] : readable) {
      auto s = json.fragmentWithStringError("\"" + before + written + after + "\"");
      ASSERT_TRUE(s) << at << " " << written;
      EXPECT_EQ(s->string(), before + read + after) << at << " " << written;
    }
    for (const auto& [written, code] : broken) {
      Error error;
      EXPECT_FALSE(json.fragmentWithStringError("\"" + before + written + after + "\"", &error)) << at;
      EXPECT_EQ(error.code, code) << at << " " << written;
    }
  }

  auto v = json.objectWithStringError(
      "{\"k\\u00e9y\": {\"in\\tner\": 1, \"plain\": 2}, \"k2\\n\": [{\"x\\\\\": 3}], \"last\": 4}");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->dictionary().keys(), (std::vector<std::string>{"k\xC3\xA9y", "k2\n", "last"}));
  EXPECT_EQ((*v)["k\xC3\xA9y"].dictionary().keys(), (std::vector<std::string>{"in\tner", "plain"}));
  EXPECT_EQ((*v)["k2\n"][size_t{0}]["x\\"], Value::decimal("3"));
  EXPECT_EQ((*v)["last"], Value::decimal("4"));
}

TEST(QLJSONTest, ReaderErrors) {
  struct Case {
    std::optional<std::string> text;
    std::vector<std::pair<long, std::string>> chain;
  };
  const std::string broken = "Broken unicode character";
  const Case cases[] = {
      {std::nullopt, {{12, "Input was 'nil'"}}},
      {"", {{11, "Unexpected end of string"}}},
      {" \t\n", {{11, "Unexpected end of string"}}},
      {"[1,]", {{9, "Trailing comma disallowed in array"}}},
      {"{\"a\":1 , }", {{9, "Trailing comma disallowed in object"}}},
      {"[1]x", {{10, "Garbage after JSON"}}},
      {"01", {{2, "Leading 0 disallowed in number"}}},
      {"-", {{2, "No digits after initial minus"}}},
      {"-x", {{2, "No digits after initial minus"}}},
      {"+1", {{2, "Leading + disallowed in number"}}},
      {"1.", {{2, "No digits after decimal point"}}},
      {"1e+", {{2, "No digits after exponent"}}},
      {"1e128", {{2, "Failed creating decimal instance"}}},
      {"1e-129", {{2, "Failed creating decimal instance"}}},
      // A fraction one digit longer than a decimal's exponent reaches.
      {"0." + std::string(128, '0') + "1", {{2, "Failed creating decimal instance"}}},
      {"tru", {{3, "Expected 'true'"}}},
      {"falsy", {{3, "Expected 'false'"}}},
      {"nul", {{3, "Expected 'null'"}}},
      {"x", {{3, "Unrecognised leading character"}}},
      {"{1:2}", {{3, "Object key string expected"}}},
      {"{\"a\\q\":2}", {{3, "Object key string expected"}, {8, "Illegal escape sequence '0x71'"}}},
      {"{\"a\" 1}", {{3, "Expected ':' separating key and value"}}},
      // Members and values are separated by commas, and only by commas.
      {"[1 true]", {{3, "Expected ',' separating values in array"}}},
      {"[\"a\"\"b\"]", {{3, "Expected ',' separating values in array"}}},
      {"[[1] [2]]", {{3, "Expected ',' separating values in array"}}},
      {"{\"a\":1 \"b\":2}", {{3, "Expected ',' separating members in object"}}},
      {"{\"a\":[{\"b\":{} \"c\":1}]}",
       {{3, "Object value expected for key: a"},
        {3, "Expected value while parsing array"},
        {3, "Expected ',' separating members in object"}}},
      {"[1 ;2]", {{3, "Expected ',' separating values in array"}}},
      {"[1 , true ,\n null]", {}},
      {"{\"a\":1\t,\"b\":[2,3] , \"c\":{}}", {}},
      {"{\"k\":}", {{3, "Object value expected for key: k"}, {3, "Unrecognised leading character"}}},
      {"[[tru]]",
       {{3, "Expected value while parsing array"}, {3, "Expected value while parsing array"}, {3, "Expected 'true'"}}},
      {"\"a", {{11, "Unexpected EOF while parsing string"}}},
      {"\"a\\", {{11, "Unexpected EOF while parsing string"}}},
      {"[1", {{11, "End of input while parsing array"}}},
      {"{\"a\":1", {{11, "End of input while parsing object"}}},
      {"\"\x01\"", {{5, "Unescaped control character '0x1'"}}},
      {std::string("\"a\0\"", 4), {{5, "Unescaped control character '0x0'"}}},
      {"\"\\x\"", {{8, "Illegal escape sequence '0x78'"}}},
      {"\"\\ude00\"", {{6, broken}, {6, "Invalid high character in surrogate pair"}}},
      {"\"\\ud83d\"", {{6, broken}, {6, "Missing low character in surrogate pair"}}},
      {"\"\\ud83d\\u00\"",
       {{6, broken}, {6, "Missing low character in surrogate pair"}, {6, "Missing hex digit in quad"}}},
      {"\"\\ud83d\\u0041\"", {{6, broken}, {6, "Invalid low surrogate char"}}},
      {"\"\\u12g4\"", {{6, broken}, {6, "Missing hex quad"}, {6, "Missing hex digit in quad"}}},
      {"\"\xFF\"", {{6, broken}}},
      {"\"\xC3\"", {{6, broken}}},
      {"\"\xED\xA0\x80\"", {{6, broken}}},  // an encoded surrogate is not UTF-8
      {"[1]", {}},
      {"1", {{4, "Valid fragment, but not JSON"}}},
      {"\"s\"", {{4, "Valid fragment, but not JSON"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.value_or("(nil)"));
    QLJSON json;
    Error error;
    auto v = json.objectWithStringError(c.text ? std::optional<std::string_view>(*c.text) : std::nullopt, &error);
    if (c.chain.empty()) {
      EXPECT_TRUE(v);
      continue;
    }
    EXPECT_FALSE(v);
    EXPECT_EQ(error.domain, "org.pelvorine.JSON.ErrorDomain");
    EXPECT_EQ(chain(error), c.chain);
  }
}

TEST(QLJSONTest, DepthLimit) {
  auto nested = [](size_t n) { return std::string(n, '[') + std::string(n, ']'); };
  QLJSON json;
  EXPECT_TRUE(json.objectWithStringError(nested(512)));
  Error error;
  EXPECT_FALSE(json.objectWithStringError(nested(513), &error));
  auto trace = chain(error);
  ASSERT_EQ(trace.size(), 513u);
  EXPECT_EQ(trace.back(), (std::pair<long, std::string>{7, "Nested too deep"}));
  // The parser is reusable after a failure and counts depth afresh.
  EXPECT_TRUE(json.objectWithStringError(nested(512)));

  json.setMaxDepth(2);
  EXPECT_TRUE(json.objectWithStringError("[{\"a\":1}, [], {}]"));
  EXPECT_FALSE(json.objectWithStringError("[{\"a\":[]}]", &error));
  EXPECT_EQ(chain(error).back().first, 7);
}

// A caller-raised limit past what the stack holds stops at the reader's ceiling, with the
// same error as any other limit.
TEST(QLJSONTest, RaisedDepthLimitStopsAtTheReadersCeiling) {
  constexpr size_t ceiling = platform::ValueStack::kMaxRecursionDepth;
  QLJSON json;
  json.setMaxDepth(1000000);
  const struct {
    size_t depth;
    bool parses;
  } cases[] = {{ceiling, true}, {ceiling + 1, false}, {100000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.depth);
    Error error;
    auto value = json.objectWithStringError(std::string(c.depth, '[') + std::string(c.depth, ']'), &error);
    EXPECT_EQ(value.has_value(), c.parses);
    if (c.parses) continue;
    auto trace = chain(error);
    ASSERT_EQ(trace.size(), ceiling + 1);
    EXPECT_EQ(trace.back(), (std::pair<long, std::string>{7, "Nested too deep"}));
  }
}

TEST(QLJSONTest, WriterLayoutsAndValues) {
  Value doc(Dictionary{{"b", Value(1)},
                       {"a", Value(Array{Value(true), Value(), Value("x"), Value(Dictionary{}), Value(Array{})})},
                       {"c", Value(Dictionary{{"z", Value(-5)}})}});
  QLJSON json;
  EXPECT_EQ(json.stringWithObjectError(doc), "{\"b\":1,\"a\":[true,null,\"x\",{},[]],\"c\":{\"z\":-5}}");
  json.setSortKeys(true);
  EXPECT_EQ(json.stringWithObjectError(doc), "{\"a\":[true,null,\"x\",{},[]],\"b\":1,\"c\":{\"z\":-5}}");
  json.setHumanReadable(true);
  EXPECT_EQ(json.stringWithObjectError(doc),
            "{\n  \"a\" : [\n    true,\n    null,\n    \"x\",\n    {},\n    []\n  ],\n  \"b\" : 1,\n"
            "  \"c\" : {\n    \"z\" : -5\n  }\n}");

  QLJSON plain;
  const std::pair<Value, std::string> fragments[] = {
      {Value("a/b\t\"\\\x01\x1f\x7f \xC3\xA9\xE2\x80\xA8"),
       "\"a/b\\t\\\"\\\\\\u0001\\u001f\x7f \xC3\xA9\xE2\x80\xA8\""},
      {Value("\b\f\n\r"), "\"\\b\\f\\n\\r\""},
      {Value(true), "true"},
      {Value(false), "false"},
      {Value(0), "0"},
      {Value(uint64_t{18446744073709551615u}), "18446744073709551615"},
      {Value(0.5), "0.5"},
      {Value::decimal("12345678901234567890.000000000000000001"), "12345678901234567890.000000000000000001"},
      {Value(), "null"},
      // Any other object as a string: its description.
      {Value::date(978307200.5), "\"2001-01-01 00:00:00 +0000\""},
      {Value(Bytes{'h', 'i', '!', 'x', 'y'}), "\"<68692178 79>\""},
      {Value(1e300), "1e+300"},
  };
  for (const auto& [value, text] : fragments) EXPECT_EQ(plain.stringWithFragmentError(value), text);

  // What was written reads back as the same values.
  auto back = plain.objectWithStringError(*plain.stringWithObjectError(doc));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, doc);
}

TEST(QLJSONTest, WriterErrorsAndHelpers) {
  struct Case {
    Value value;
    bool allowScalar;
    std::vector<std::pair<long, std::string>> chain;
  };
  const Case cases[] = {
      {Value("x"), false, {{4, "Not valid type for JSON"}}},
      // Numbers that are not finite have no JSON text: the writing fails.
      {Value(std::nan("")), true, {{2, "NaN is not a valid number in JSON"}}},
      {Value(Dictionary{{"when", Value::date(0)}, {"x", Value(HUGE_VAL)}}),
       false,
       {{1, "Unsupported value for key x in object"}, {2, "+Infinity is not a valid number in JSON"}}},
      {Value(Array{Value(1), Value(-HUGE_VAL)}), false, {{2, "-Infinity is not a valid number in JSON"}}},
      {Value(Array{Value::decimal("NaN")}), false, {{2, "NaN is not a valid number in JSON"}}},
      {Value(Array{Value::decimal(" 1")}), false, {{2, "NaN is not a valid number in JSON"}}},
      {Value(Array{Value::decimal("1.5e")}), false, {{2, "NaN is not a valid number in JSON"}}},
  };
  for (const auto& c : cases) {
    QLJSON json;
    Error error;
    EXPECT_FALSE(json.stringWithObjectAllowScalarError(c.value, c.allowScalar, &error));
    EXPECT_EQ(chain(error), c.chain);
  }

  std::vector<std::string> logs;
  platform::setLogSink([&logs](const std::string& line) { logs.push_back(line); });
  EXPECT_EQ(QLMacros::jsonify(Value(Dictionary{{"a", Value(1)}, {"d", Value(std::nan(""))}})), "");
  platform::setLogSink({});
  EXPECT_EQ(logs, std::vector<std::string>{
                      "<Quillon> Cannot write as JSON: Unsupported value for key d in object: NaN is not a valid "
                      "number in JSON"});
  EXPECT_EQ(QLMacros::jsonify(Value(Dictionary{{"d", Value(Bytes{1})}})), "{\"d\":\"<01>\"}");
  EXPECT_EQ(QLMacros::jsonify(Value(Dictionary{{"a", Value("b")}})), "{\"a\":\"b\"}");
  EXPECT_EQ(QLMacros::jsonify(std::nullopt), std::nullopt);
  EXPECT_EQ(QLMacros::readJson("{\"a\":\"b\"}"), Value(Dictionary{{"a", Value("b")}}));
  for (auto text : {std::optional<std::string_view>("[1]"), std::optional<std::string_view>("{"),
                    std::optional<std::string_view>()})
    EXPECT_EQ(QLMacros::readJson(text), std::nullopt);
}

// Nested far deeper than any thread's stack would take a frame per level.
TEST(QLJSONTest, DeepValuesAreWrittenWholeOrRefusedWithTheirWholeChain) {
  constexpr int kLevels = 100000;
  QLJSON json;
  EXPECT_EQ(json.stringWithObjectError(testkit::deepValue(kLevels, Value("bottom"))),
            testkit::deepValueText(kLevels, "\"bottom\""));

  // NaN at the bottom: every dictionary on the way down wraps the error, naming its key.
  const Value refused = testkit::deepValue(kLevels, Value(std::nan("")));
  Error error;
  EXPECT_FALSE(json.stringWithObjectError(refused, &error));
  const auto errors = chain(error);
  ASSERT_EQ(errors.size(), static_cast<size_t>(kLevels / 2 + 1));
  EXPECT_EQ(errors.front(), (std::pair<long, std::string>{1, "Unsupported value for key k in object"}));
  EXPECT_EQ(errors.back(), (std::pair<long, std::string>{2, "NaN is not a valid number in JSON"}));
}

}  // namespace
