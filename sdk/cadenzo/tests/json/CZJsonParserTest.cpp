// The JSON parser: values and exact error texts, whole and in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CZJsonStreamParser.h"
#include "CZJsonStreamParserAccumulator.h"
#include "CZJsonStreamParserAdapter.h"
#include "CZJsonStreamParserState.h"
#include "CZJsonParser.h"

namespace cadenzo {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

struct Outcome { bool ok = false; Value value; std::string error; };

// Feeds `text` to a stream parser in the given pieces, as the one-call front would treat the
// final answer.
Outcome parseInPieces(const std::string& text, const std::vector<size_t>& cuts) {
  auto accumulator = std::make_shared<CZJsonStreamParserAccumulator>();
  auto adapter = std::make_shared<CZJsonStreamParserAdapter>();
  adapter->setDelegate(accumulator);
  CZJsonStreamParser parser;
  parser.setDelegate(adapter);
  int status = CZJsonStreamParser::CZJsonStreamParserWaitingForData;
  size_t from = 0;
  for (size_t cut : cuts) {
    status = parser.parse(std::string_view(text).substr(from, cut - from));
    from = cut;
  }
  status = parser.parse(std::string_view(text).substr(from));
  if (status != CZJsonStreamParser::CZJsonStreamParserError) status = parser.parseEndOfInput();
  if (status == CZJsonStreamParser::CZJsonStreamParserComplete) return {true, accumulator->value(), ""};
  return {false, Value(),
          status == CZJsonStreamParser::CZJsonStreamParserWaitingForData ? "Unexpected end of input" : parser.error()};
}

Outcome parseWhole(const std::string& text) {
  CZJsonParser parser;
  auto v = parser.objectWithString(text);
  return {v.has_value(), v.value_or(Value()), parser.error()};
}

// Whole, one byte at a time, and in random pieces: every way must agree exactly.
void expectSameEveryWay(const std::string& text, const Outcome& whole) {
  std::mt19937 rng(static_cast<unsigned>(text.size()));
  for (int round = 0; round < 4; ++round) {
    std::vector<size_t> cuts;  // every byte in the first round
    for (size_t i = 1; i < text.size(); ++i)
      if (round == 0 || rng() % 3 == 0) cuts.push_back(i);
    Outcome pieces = parseInPieces(text, cuts);
    EXPECT_EQ(pieces.ok, whole.ok) << text;
    EXPECT_EQ(pieces.ok ? pieces.value : Value(pieces.error), whole.ok ? whole.value : Value(whole.error)) << text;
  }
}

TEST(CZJsonParser, ValuesWholeAndInPieces) {
  struct Case { std::string text; Value expected; };
  const std::vector<Case> cases = {
      {"{}", Dictionary{}}, {"[]", Array{}}, {" \t\r\n[ ]\n", Array{}},
      {"[true,false,null]", Array{true, false, Value()}},
      {"[1,-2,0,-0]", Array{Value(1u), Value(-2), Value(0u), Value(0)}},
      {"{\"a\":{\"b\":[1,{\"c\":\"d\"}]},\"e\":\"\"}",
       Dictionary{{"a", Dictionary{{"b", Array{Value(1u), Dictionary{{"c", "d"}}}}}}, {"e", ""}}},
      {"[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]", Array{"\"\\/\b\f\n\r\t"}},
      {"[\"\\u0041\\u00e9\\u20AC\"]", Array{"A\xC3\xA9\xE2\x82\xAC"}},
      // The pair D83D DE00 is U+1F600, F0 9F 98 80 in UTF-8.
      {"[\"x\\ud83d\\ude00y\"]", Array{"x\xF0\x9F\x98\x80y"}},
      {"[\"gr\xC3\xBC\xC3\x9F\"]", Array{"gr\xC3\xBC\xC3\x9F"}},
      {"[\"\\u0000\"]", Array{Value(std::string(1, '\0'))}},
      {"{\"k\":1,\"k\":2}", Dictionary{{"k", Value(2u)}}},
      {"[123456789012345678]", Array{Value(123456789012345678ULL)}},
      {"[1.5,-0.025,2.50,-3e2,{\"d\":7.25}]",
       Array{Value::decimal("1.5"), Value::decimal("-0.025"), Value::decimal("2.5"), Value::decimal("-300"),
             Dictionary{{"d", Value::decimal("7.25")}}}},
  };
  for (const auto& c : cases) {
    Outcome whole = parseWhole(c.text);
    ASSERT_TRUE(whole.ok) << c.text << ": " << whole.error;
    EXPECT_EQ(whole.value, c.expected) << c.text;
    expectSameEveryWay(c.text, whole);
  }
  auto ordered = JSONValue("{\"z\":1,\"a\":2,\"m\":3}");  // members keep the document's order
  EXPECT_EQ(ordered->dictionary().keys(), (std::vector<std::string>{"z", "a", "m"}));
}

TEST(CZJsonParser, NumberKinds) {
  using Type = Value::Type;
  struct Case { std::string number; Type type; std::string text; };  // text: the decimal's, or the integer's digits
  const std::vector<Case> cases = {
      {"7", Type::Unsigned, "7"}, {"-7", Type::Integer, "-7"},
      {"999999999999999999", Type::Unsigned, "999999999999999999"},     // 18 digits
      {"-999999999999999999", Type::Integer, "-999999999999999999"},
      {"1234567890123456789", Type::Decimal, "1234567890123456789"},    // 19 digits
      {"18446744073709551616", Type::Decimal, "18446744073709551616"},  // 2^64
      {"-12345678901234567890", Type::Decimal, "-12345678901234567890"},
      {"1.5", Type::Decimal, "1.5"},    {"-0.25", Type::Decimal, "-0.25"}, {"1.50", Type::Decimal, "1.5"},
      {"2.0", Type::Decimal, "2"},      {"1e3", Type::Decimal, "1000"},    {"1E+2", Type::Decimal, "100"},
      {"25e-3", Type::Decimal, "0.025"}, {"0.0", Type::Decimal, "0"},      {"12.5e1", Type::Decimal, "125"},
      {"0.1000000000000000055511", Type::Decimal, "0.1000000000000000055511"},
      {"1e127", Type::Decimal, "1" + std::string(127, '0')},
      {"1e-128", Type::Decimal, "0." + std::string(127, '0') + "1"},
  };
  for (const auto& c : cases) {
    auto v = JSONValue("[" + c.number + "]");
    ASSERT_TRUE(v) << c.number;
    const Value& n = (*v)[size_t{0}];
    EXPECT_EQ(n.type(), c.type) << c.number;
    EXPECT_EQ(c.type == Type::Decimal ? n.decimalText() : n.stringValue(), c.text) << c.number;
  }
}

// Short decimals are written from their mantissa, long ones from their digits: with trailing
// zeros added to pass 18 digits, a number must keep its text.
TEST(CZJsonParser, DecimalTextsAgreeWhateverTheDigitCount) {
  struct Case { std::string number; std::string text; };
  const std::vector<Case> cases = {
      {"-1e3", "-1000"},       {"-12.5e-3", "-0.0125"}, {"-0.5", "-0.5"},    {"120.5e1", "1205"},
      {"0.001e-2", "0.00001"}, {"-4.2e1", "-42"},       {"9.75e-1", "0.975"}, {"3.1e125", "31" + std::string(124, '0')},
      {"-0.0", "0"},           {"5e-128", "0." + std::string(127, '0') + "5"},
  };
  for (const auto& c : cases) {
    const size_t mark = c.number.find_first_of("eE");
    std::string padded = c.number.substr(0, mark);
    if (padded.find('.') == std::string::npos) padded += ".";
    padded += std::string(20, '0') + (mark == std::string::npos ? "" : c.number.substr(mark));
    for (const std::string& number : {c.number, padded}) {
      auto v = JSONValue("[" + number + "]");
      ASSERT_TRUE(v) << number;
      EXPECT_EQ((*v)[size_t{0}].decimalText(), c.text) << number;
    }
  }
}

TEST(CZJsonParser, ErrorTextsWholeAndInPieces) {
  // Each error text with every input that must produce it.
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"Token 'number' not expected before outer-most array or object", {"5", "0", "-12.5e3"}},
      {"Token 'string' not expected before outer-most array or object", {"\"s\""}},
      {"Token 'end of array' not expected as array value", {"[1,]"}},
      {"Token 'end of object' not expected in place of object key", {"{\"a\":1,}"}},
      {"Token 'number' not expected at beginning of object", {"{1:2}"}},
      {"Token 'number' not expected after object key", {"{\"a\" 1}"}},
      {"Token 'end of object' not expected as object value", {"{\"a\":}"}},
      {"Token 'string' not expected after object value", {"{\"a\":1 \"b\"}"}},
      {"Token 'number' not expected after array value", {"[1 2]"}},
      {"Token 'key-value separator' not expected at array start", {"[:]"}},
      {"Token 'start of array' not expected after outer-most array or object", {"{} []"}},
      {"Token 'value separator' not expected after outer-most array or object", {"[] ,"}},
      {"Token 'boolean' not expected after outer-most array or object", {"[true] false"}},
      {"Leading zero is illegal in number", {"[01]"}},
      {"No digits after initial minus", {"[-]", "[-x]"}},
      {"No digits after decimal point", {"[1.]", "[1.e5]"}},
      {"No digits in exponent", {"[1e]", "[1e+]"}},
      {"Leading + is illegal in number", {"[+1]"}},
      {"Illegal start of token [x]", {"[x]"}},
      {"Expected 'true' after initial 't'", {"[truth]"}},
      {"Expected 'false' after initial 'f'", {"[fals0]"}},
      {"Expected 'null' after initial 'n'", {"[nul1]"}},
      {"Unescaped control character [0x01]", {"[\"a\x01\"]"}},
      {"Unescaped control character [0x1F]", {"[\"\x1f\"]"}},
      {"Illegal escape character", {"[\"\\x\"]"}},
      {"Invalid hex quad", {"[\"\\u12G4\"]"}},
      {"Invalid high character in surrogate pair", {"[\"\\ude00\"]"}},
      {"Missing low character in surrogate pair", {"[\"\\ud83dx\"]", "[\"\\ud83d\\n\"]"}},
      {"Invalid low character in surrogate pair", {"[\"\\ud83d\\u0041\"]"}},
      // Truncated, invalid, overlong NUL, an encoded surrogate.
      {"Broken Unicode encoding", {"[\"\xC3\"]", "[\"\xFF\"]", "[\"\xC0\x80\"]", "[\"\xED\xA0\x80\"]"}},
      {"Exponent out of range in number",
       {"[1e128]", "[-1e128]", "[1e-129]", "[-0.5e-999]", "[1e99999999999999999999999]", "[12345678901234567890e200]"}},
      // After the document only whitespace may follow, even when the text ends inside a
      // token that would otherwise wait for more bytes.
      {"Token 'number' not expected after outer-most array or object",
       {"[1] 2", "{}-0.5e3", "{\"a\":1}\n12345678901234567890"}},
      {"Unexpected end of input",
       {"-", "7.", "[] tru", "{} \"open", "[]-", "", "   ", "[", "{\"a\":[1,2", "[\"abc", "[tru", "[12", "[\"\\ud83d"}},
  };
  for (const auto& [error, texts] : cases) {
    for (const auto& text : texts) {
      Outcome whole = parseWhole(text);
      EXPECT_FALSE(whole.ok) << text;
      EXPECT_EQ(whole.error, error) << text;
      expectSameEveryWay(text, whole);
    }
  }
}

TEST(CZJsonParser, DepthLimit) {
  for (unsigned depth : {1u, 31u, 32u, 33u}) {
    std::string text = std::string(depth, '[') + std::string(depth, ']');
    Outcome whole = parseWhole(text);
    EXPECT_EQ(whole.ok ? "ok" : whole.error, depth <= 32 ? "ok" : "Input depth exceeds max depth of 32") << depth;
    expectSameEveryWay(text, whole);
  }
  // Objects count the same, and a raised limit lets deeper documents through.
  std::string objects;
  for (int i = 0; i < 33; ++i) objects += "{\"k\":";
  objects += "1" + std::string(33, '}');
  CZJsonParser parser;
  EXPECT_FALSE(parser.objectWithString(objects));
  EXPECT_EQ(parser.error(), "Input depth exceeds max depth of 32");
  parser.setMaxDepth(33);
  EXPECT_TRUE(parser.objectWithString(objects));
}

TEST(CZJsonParser, NilInputAndErrorObject) {
  CZJsonParser parser;
  EXPECT_FALSE(parser.objectWithData(nullptr, 0));
  EXPECT_EQ(parser.error(), "Input was 'nil'");
  platform::Error error;
  EXPECT_FALSE(parser.objectWithStringError("[1,]", &error));
  EXPECT_EQ(error.domain, "org.pelvorine.CZJsonJsonParser.ErrorDomain");
  EXPECT_EQ(error.code, 0);
  EXPECT_EQ(error.localizedDescription(), "Token 'end of array' not expected as array value");
  platform::Error untouched{"d", 7, Value()};
  EXPECT_TRUE(parser.objectWithStringError("[1]", &untouched));
  EXPECT_EQ(untouched.code, 7);
  EXPECT_TRUE(parser.objectWithStringError("[1]", nullptr));
}

// An error is final; whitespace after a document keeps it complete; no delegate is needed.
TEST(CZJsonStreamParser, ErrorIsFinalAndCompleteIgnoresWhitespace) {
  CZJsonStreamParser parser;
  EXPECT_EQ(parser.parse("{\"a\""), CZJsonStreamParser::CZJsonStreamParserWaitingForData);
  EXPECT_EQ(parser.parse(":1}"), CZJsonStreamParser::CZJsonStreamParserComplete);
  EXPECT_EQ(parser.parse("  \n"), CZJsonStreamParser::CZJsonStreamParserComplete);
  EXPECT_EQ(parser.parse("x"), CZJsonStreamParser::CZJsonStreamParserError);
  EXPECT_EQ(parser.error(), "Illegal start of token [x]");
  EXPECT_EQ(parser.parse("[]"), CZJsonStreamParser::CZJsonStreamParserError);
  EXPECT_STREQ(parser.state()->name(), "in error");
  EXPECT_EQ(CZJsonStreamParser().parse("{\"a\":[1,2,{\"b\":null}]}"), CZJsonStreamParser::CZJsonStreamParserComplete);
}

// Records the events, to check keys against strings and the order of ends.
class RecordingAdapterDelegate : public CZJsonStreamParserAdapterDelegate {
 public:
  void parserFoundArray(CZJsonStreamParser&, Value array) override { found.push_back(array); }
  void parserFoundObject(CZJsonStreamParser&, Value dict) override { found.push_back(dict); }
  std::vector<Value> found;
};

TEST(CZJsonStreamParser, MultipleDocumentsAndSkippedLevels) {
  auto recorder = std::make_shared<RecordingAdapterDelegate>();
  auto adapter = std::make_shared<CZJsonStreamParserAdapter>();
  adapter->setDelegate(recorder);
  CZJsonStreamParser parser;
  parser.setDelegate(adapter);
  parser.setSupportMultipleDocuments(true);
  EXPECT_EQ(parser.parse("[1] {\"a\":true}\n[\"x\""),
            CZJsonStreamParser::CZJsonStreamParserWaitingForData);
  EXPECT_EQ(parser.parse("]"), CZJsonStreamParser::CZJsonStreamParserWaitingForData);
  ASSERT_EQ(recorder->found.size(), 3u);
  EXPECT_EQ(recorder->found[0], Value(Array{Value(1u)}));
  EXPECT_EQ(recorder->found[1], Value(Dictionary{{"a", true}}));
  EXPECT_EQ(recorder->found[2], Value(Array{"x"}));
  // Skipping the outer level hands over each element of a long array on its own.
  auto elements = std::make_shared<RecordingAdapterDelegate>();
  auto skipper = std::make_shared<CZJsonStreamParserAdapter>();
  skipper->setLevelsToSkip(1);
  skipper->setDelegate(elements);
  CZJsonStreamParser streaming;
  streaming.setDelegate(skipper);
  EXPECT_EQ(streaming.parse("[[1],{\"b\":[]}]"), CZJsonStreamParser::CZJsonStreamParserComplete);
  ASSERT_EQ(elements->found.size(), 2u);
  EXPECT_EQ(elements->found[0], Value(Array{Value(1u)}));
  EXPECT_EQ(elements->found[1], Value(Dictionary{{"b", Array{}}}));
}


// Every state on its own, as the parser's shortcuts must agree with it: its name, whether a
// string in it is a key, what parse() answers when input runs out in it, which tokens it
// accepts, and where each accepted token that neither opens nor closes a container leads.
TEST(CZJsonStreamParserStates, EachStateAcceptsAndLeadsAsItsTableSays) {
  using S = const CZJsonStreamParserState*;
  const S start = &CZJsonStreamParserStateStart::sharedInstance();
  const S complete = &CZJsonStreamParserStateComplete::sharedInstance();
  const S error = &CZJsonStreamParserStateError::sharedInstance();
  const S objectStart = &CZJsonStreamParserStateObjectStart::sharedInstance();
  const S gotKey = &CZJsonStreamParserStateObjectGotKey::sharedInstance();
  const S separator = &CZJsonStreamParserStateObjectSeparator::sharedInstance();
  const S gotValue = &CZJsonStreamParserStateObjectGotValue::sharedInstance();
  const S needKey = &CZJsonStreamParserStateObjectNeedKey::sharedInstance();
  const S arrayStart = &CZJsonStreamParserStateArrayStart::sharedInstance();
  const S arrayGotValue = &CZJsonStreamParserStateArrayGotValue::sharedInstance();
  const S arrayNeedValue = &CZJsonStreamParserStateArrayNeedValue::sharedInstance();
  const S base = &CZJsonStreamParserState::sharedInstance();
  const std::vector<int> values = {1, 3, 7, 8, 9, 10, 11};
  struct Row {
    S state;
    const char* name;
    std::vector<int> accepts;
    S next;  // after an accepted token other than 1 to 4; null: it stays
    int returns;
    bool needKey;
  };
  const Row rows[] = {
      {start, "before outer-most array or object", {1, 3}, nullptr, 1, false},
      {complete, "after outer-most array or object", {}, nullptr, 0, false},
      {error, "in error", {}, nullptr, 2, false},
      {objectStart, "at beginning of object", {4, 8}, gotKey, 1, true},
      {gotKey, "after object key", {6}, separator, 1, false},
      {separator, "as object value", values, gotValue, 1, false},
      {gotValue, "after object value", {4, 5}, needKey, 1, false},
      {needKey, "in place of object key", {8}, gotKey, 1, true},
      {arrayStart, "at array start", {1, 2, 3, 7, 8, 9, 10, 11}, arrayGotValue, 1, false},
      {arrayGotValue, "after array value", {2, 5}, arrayNeedValue, 1, false},
      {arrayNeedValue, "as array value", values, arrayGotValue, 1, false},
      {base, "<base state>", {}, nullptr, 1, false},
  };
  CZJsonStreamParser parser;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_STREQ(row.state->name(), row.name);
    EXPECT_EQ(row.state->needKey(), row.needKey);
    EXPECT_EQ(row.state->parserShouldReturn(parser), row.returns);
    for (int token = 1; token <= 11; ++token) {
      const bool accepted = std::find(row.accepts.begin(), row.accepts.end(), token) != row.accepts.end();
      EXPECT_EQ(row.state->parserShouldAcceptToken(parser, token), accepted) << token;
      if (!accepted || token <= 4 || !row.next) continue;
      parser.setState(row.state);
      row.state->parserShouldTransitionTo(parser, token);
      EXPECT_EQ(parser.state(), row.next) << token;
    }
  }
  // The start state opens the outer-most container, and when it closes the document is
  // complete, or a next one may begin; any other token is an error.
  for (bool many : {false, true}) {
    parser.setSupportMultipleDocuments(many);
    const std::pair<int, S> leads[] = {{1, arrayStart}, {3, objectStart}, {2, many ? start : complete},
                                       {4, many ? start : complete}, {7, error}, {8, error}};
    for (const auto& [token, next] : leads) {
      parser.setState(start);
      start->parserShouldTransitionTo(parser, token);
      EXPECT_EQ(parser.state(), next) << token << (many ? " of many documents" : "");
    }
  }
}

}  // namespace
}  // namespace cadenzo
