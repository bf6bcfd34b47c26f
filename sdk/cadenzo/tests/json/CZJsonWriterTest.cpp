// The JSON writer: exact bytes, human-readable layout, refusals, and the round trip through
// the parser.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "CZJsonStreamWriter.h"
#include "CZJsonStreamWriterAccumulator.h"
#include "CZJsonParser.h"
#include "CZJsonWriter.h"
#include "testing/deep_value.h"

namespace cadenzo {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

std::string write(const Value& v, bool sort = false, bool human = false) {
  CZJsonWriter writer;
  writer.setSortKeys(sort);
  writer.setHumanReadable(human);
  auto text = writer.stringWithObject(v);
  return text ? *text : "<nil: " + writer.error() + ">";
}

TEST(CZJsonWriter, CompactOutput) {
  struct Case { Value value; std::string text; };
  const std::vector<Case> cases = {
      {Dictionary{}, "{}"},
      {Array{}, "[]"},
      {Dictionary{{"a", true}}, "{\"a\":true}"},
      {Array{true, false, Value()}, "[true,false,null]"},
      {Array{Value(3), Value(-3), Value(18446744073709551615ULL), Value(-9223372036854775807LL - 1)},
       "[3,-3,18446744073709551615,-9223372036854775808]"},
      {Array{0.1, 0.5, 100.0, -2.5, 1e21, 1.0 / 3.0},
       "[0.10000000000000001,0.5,100,-2.5,1e+21,0.33333333333333331]"},
      {Array{Value::decimal("12345678901234567890"), Value::decimal("-0.025")},
       "[12345678901234567890,-0.025]"},
      {Dictionary{{"z", 1}, {"a", Array{Dictionary{}, Array{}}}, {"m", "x"}},
       "{\"z\":1,\"a\":[{},[]],\"m\":\"x\"}"},
      {Array{"tab\there \"quoted\""}, "[\"tab\\there \\\"quoted\\\"\"]"},
      {Array{"\x1f\x01\b\f\n\r\\/"}, "[\"\\u001f\\u0001\\b\\f\\n\\r\\\\/\"]"},
      {Array{"gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80"}, "[\"gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80\"]"},
      {Array{Value(std::string("a\0b", 3))}, "[\"a\\u0000b\"]"},
  };
  for (const auto& c : cases) EXPECT_EQ(write(c.value), c.text);
}

TEST(CZJsonWriter, EscapesGrowBeyondTheInitialBuffer) {
  // Every byte escapes to six: far beyond a buffer of 1.1 times the input.
  std::string controls, expected = "[\"";
  for (int i = 0; i < 300; ++i) {
    const int v = i % 0x20;  // the controls with a short escape become 0x1e
    const char c = static_cast<char>(v == 8 || v == 9 || v == 10 || v == 12 || v == 13 ? 0x1e : v);
    controls.push_back(c);
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned char>(c));
    expected += hex;
  }
  expected += "\"]";
  EXPECT_EQ(write(Array{controls}), expected);
  std::string quotes;
  for (int i = 0; i < 500; ++i) quotes += "\\\"";
  EXPECT_EQ(write(Array{std::string(500, '"')}), "[\"" + quotes + "\"]");
}

TEST(CZJsonWriter, SortedKeysAndSameBytesTwice) {
  Value v = Dictionary{{"b", 1}, {"a", Dictionary{{"y", 2}, {"x", 3}}}, {"B", 4}, {"aa", 5}};
  EXPECT_EQ(write(v, true), "{\"B\":4,\"a\":{\"x\":3,\"y\":2},\"aa\":5,\"b\":1}");
  EXPECT_EQ(write(v), "{\"b\":1,\"a\":{\"y\":2,\"x\":3},\"B\":4,\"aa\":5}");
  // A second run (now from the string cache) and a run after the cache was dropped agree.
  std::string first = write(v);
  EXPECT_EQ(write(v), first);
  CZJsonStreamWriter::clearStringCache();
  EXPECT_EQ(write(v), first);
}

TEST(CZJsonWriter, HumanReadableLayout) {
  Value v = Dictionary{{"a", 1}, {"b", Array{true, Dictionary{{"c", Value()}}}}, {"d", Dictionary{}}};
  EXPECT_EQ(write(v, false, true),
            "{\n  \"a\": 1,\n  \"b\": [\n    true,\n    {\n      \"c\": null\n    }\n  ],\n  \"d\": {\n  }\n}");
  EXPECT_EQ(write(Array{}, false, true), "[\n]");
}

TEST(CZJsonWriter, Refusals) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case { Value value; std::string error; };
  const std::vector<Case> cases = {
      {Value("text"), "Not valid type for JSON"},
      {Value(5), "Not valid type for JSON"},
      {Value(), "Not valid type for JSON"},
      {Array{inf}, "+Infinity is not a valid number in JSON"},
      {Dictionary{{"k", -inf}}, "-Infinity is not a valid number in JSON"},
      {Array{std::nan("")}, "NaN is not a valid number in JSON"},
      {Array{Value::decimal("NaN")}, "NaN is not a valid number in JSON"},
      // Decimal text is copied into the output, so only a JSON number may pass.
      {Array{Value::decimal("1,\"injected\":2")}, "NaN is not a valid number in JSON"},
      {Array{Value(platform::Bytes{1, 2})}, "JSON serialisation not supported for NSConcreteData"},
      {Array{Value::date(0)}, "JSON serialisation not supported for __NSDate"},
  };
  for (const auto& c : cases) EXPECT_EQ(write(c.value), "<nil: " + c.error + ">");
  CZJsonWriter writer;
  platform::Error error;
  EXPECT_FALSE(writer.stringWithObjectError(Array{inf}, &error));
  EXPECT_EQ(error.domain, "org.pelvorine.CZJsonWriter.ErrorDomain");
  EXPECT_EQ(error.code, 0);
  EXPECT_EQ(error.localizedDescription(), "+Infinity is not a valid number in JSON");
  // A later success clears the error.
  EXPECT_TRUE(writer.stringWithObjectError(Array{1}, &error));
  EXPECT_EQ(writer.error(), "");
}

TEST(CZJsonWriter, DepthLimit) {
  auto nested = [](int depth) {
    Value v = Array{};
    for (int i = 1; i < depth; ++i) v = Array{v};
    return v;
  };
  EXPECT_EQ(write(nested(32)), std::string(32, '[') + std::string(32, ']'));
  CZJsonWriter writer;
  EXPECT_FALSE(writer.stringWithObject(nested(33)));
  EXPECT_EQ(writer.error(), "Nested too deep");
  writer.setMaxDepth(0);  // no limit
  EXPECT_TRUE(writer.stringWithObject(nested(100)));

  // Without a limit, nested far deeper than any thread's stack would take a frame per level.
  constexpr int kLevels = 100000;
  const Value deep = testkit::deepValue(kLevels, Value("bottom"));
  const std::string text = testkit::deepValueText(kLevels, "\"bottom\"");
  writer.setSortKeys(true);
  EXPECT_EQ(writer.stringWithObject(deep), text);
  // A date at the bottom is refused, deep as it lies.
  EXPECT_FALSE(writer.stringWithObject(testkit::deepValue(kLevels, Value::date(0))));
  EXPECT_EQ(writer.error(), "JSON serialisation not supported for __NSDate");
}

class StreamWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { writer.setDelegate(out); }
  std::string text() const { return std::string(out->data().begin(), out->data().end()); }
  std::shared_ptr<CZJsonStreamWriterAccumulator> out = std::make_shared<CZJsonStreamWriterAccumulator>();
  CZJsonStreamWriter writer;
};

// Each step of a stream: whether it is taken, and the error of a refused one.
TEST_F(StreamWriterTest, RefusedStepsWriteNothing) {
  using W = CZJsonStreamWriter;
  const std::vector<std::tuple<std::function<bool(W&)>, bool, std::string>> steps = {
      {[](W& w) { return w.writeObjectClose(); }, false, ""},  // nothing open
      {[](W& w) { return w.writeArrayClose(); }, false, ""},
      {[](W& w) { return w.writeObjectOpen(); }, true, ""},
      {[](W& w) { return w.writeNumber(Value(1)); }, false, "JSON object key must be string"},
      {[](W& w) { return w.writeString("k"); }, true, ""},
      {[](W& w) { return w.writeBool(false); }, true, ""},
      {[](W& w) { return w.writeArrayOpen(); }, false, ""},  // a key is due again
      {[](W& w) { return w.writeArrayClose(); }, false, ""},
      {[](W& w) { return w.writeObjectClose(); }, true, ""},
      {[](W& w) { return w.writeString("more"); }, false, "Stream is closed"},
      {[](W& w) { return w.writeArrayOpen(); }, false, ""},
      {[](W& w) { return w.writeNull(); }, false, ""},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    const auto& [step, taken, error] = steps[i];
    EXPECT_EQ(step(writer), taken) << i;
    if (!error.empty()) {
      EXPECT_EQ(writer.error(), error) << i;
    }
  }
  EXPECT_EQ(text(), "{\"k\":false}");
}

TEST(CZJsonWriter, RoundTripThroughTheParser) {
  const Value values[] = {
      Dictionary{{"s", "text \"with\" \\ escapes\n\t\x01 and \xC3\xA9\xF0\x9F\x98\x80"}, {"i", Value(-42)},
                 {"u", Value(42u)}, {"big", Value::decimal("123456789012345678901234567890")},
                 {"dec", Value::decimal("-0.000125")}, {"b", true}, {"n", Value()},
                 {"a", Array{Array{}, Dictionary{}, Array{1, "x", false}}},
                 {"o", Dictionary{{"deep", Dictionary{{"er", Array{Value::decimal("1.5")}}}}}}},
      Array{Value(0), "", Dictionary{{"", ""}}},
  };
  for (const auto& v : values) {
    for (bool human : {false, true}) {
      auto text = write(v, false, human);
      auto back = JSONValue(text);
      ASSERT_TRUE(back) << text;
      EXPECT_EQ(*back, v) << text;
    }
  }
  // Doubles come back as decimals of the same value (within the decimals' exponent range).
  for (double d : {0.1, 1.0 / 3.0, -2.5e-30, 6.02214076e23, 1.7976931348623157e100}) {
    auto back = JSONValue(write(Array{d}));
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)[size_t{0}].doubleValue(), d);
  }
}

}  // namespace
}  // namespace cadenzo
