#include "platform/value.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "failing_allocations.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

TEST(ValueTest, NumbersKeepTheirKindAndConvertLeniently) {
  EXPECT_EQ(Value(1).type(), Value::Type::Integer);
  EXPECT_EQ(Value(1u).type(), Value::Type::Unsigned);
  EXPECT_EQ(Value(1.0).type(), Value::Type::Double);
  EXPECT_EQ(Value(true).type(), Value::Type::Boolean);
  EXPECT_FALSE(Value(true).isNumber());
  EXPECT_TRUE(Value::decimal("NaN").isNumber());
  EXPECT_TRUE(std::isnan(Value::decimal("NaN").doubleValue()));

  struct Case {
    Value v;
    int64_t integer;
    bool boolean;
    std::string text;
  };
  const Case cases[] = {
      {Value("12abc"), 12, true, "12abc"},
      {Value("abc"), 0, false, "abc"},
      {Value("yes"), 0, true, "yes"},
      {Value(" 0"), 0, false, " 0"},
      {Value(2.9), 2, true, "2.9"},
      {Value(-2.9), -2, true, "-2.9"},
      {Value(true), 1, true, "1"},
      {Value(), 0, false, ""},
      {Value(Array{1, 2}), 0, false, ""},
      {Value(18446744073709551615ull), -1, true, "18446744073709551615"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.v.integerValue(), c.integer);
    EXPECT_EQ(c.v.boolValue(), c.boolean);
    EXPECT_EQ(c.v.stringValue(), c.text);
  }
  EXPECT_EQ(Value(1e300).integerValue(), INT64_MAX);
  EXPECT_EQ(Value(0.1).stringValue(), "0.1");
}

TEST(ValueTest, DoublesAreDescribedByTheShortestTextThatReadsBack) {
  const std::pair<double, const char*> cases[] = {
      {60.0, "60"},       {-2500.0, "-2500"}, {123456.0, "123456"},          {0.5, "0.5"},
      {1.0 / 3, "0.3333333333333333"},        {1e16, "10000000000000000"},   {1e21, "1e+21"},
      {1e-7, "1e-07"},    {0.0, "0"},         {2.5e-3, "0.0025"},
  };
  for (const auto& [d, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Value(d).description(), text);
    EXPECT_EQ(std::strtod(Value(d).description().c_str(), nullptr), d);
  }
}

TEST(ValueTest, EqualityAcrossNumberKindsAndContainers) {
  EXPECT_EQ(Value(1), Value(1u));
  EXPECT_EQ(Value(1), Value(1.0));
  EXPECT_NE(Value(1), Value(true));
  EXPECT_NE(Value(-1), Value(18446744073709551615ull));
  EXPECT_NE(Value("1"), Value(1));
  Value a = Dictionary{{"x", 1}, {"y", Array{"a", Value()}}};
  Value b = Dictionary{{"y", Array{"a", Value()}}, {"x", 1.0}};
  EXPECT_EQ(a, b);  // dictionaries compare by content, not order
  b.mutableDictionary().set("z", 0);
  EXPECT_NE(a, b);
}

TEST(ValueTest, DictionaryKeepsInsertionOrderAndReplacesInPlace) {
  Dictionary d;
  for (int i = 0; i < 100; ++i) d.set("k" + std::to_string(99 - i), i);
  d.set("k50", "replaced");
  ASSERT_EQ(d.size(), 100u);
  auto keys = d.keys();
  EXPECT_EQ(keys.front(), "k99");
  EXPECT_EQ(keys.back(), "k0");
  EXPECT_EQ(keys[49], "k50");
  EXPECT_EQ(d.get("k50").string(), "replaced");
  EXPECT_TRUE(d.erase("k99"));
  EXPECT_FALSE(d.contains("k99"));
  EXPECT_EQ(d.get("k98").integerValue(), 1);  // lookups stay right after an erase
  EXPECT_TRUE(d.get("missing").isNull());

  Dictionary copy = d;
  copy.set("k0", "changed");
  EXPECT_EQ(d.get("k0").integerValue(), 99);  // copies are deep
  EXPECT_EQ(copy.size(), d.size());           // and find their keys: "k0" was replaced in place
  Dictionary assigned{{"a", 1}};
  assigned = copy;
  for (const auto& [key, value] : copy) EXPECT_EQ(assigned.get(key), value) << key;

  // Shrinking past the size where lookups start to go through a table, and growing again.
  for (int i = 0; i < 95; ++i) EXPECT_TRUE(assigned.erase("k" + std::to_string(i))) << i;
  for (int i = 0; i < 40; ++i) assigned.set("n" + std::to_string(i), i);
  EXPECT_EQ(assigned.size(), 44u);
  EXPECT_EQ(assigned.get("k97").integerValue(), 2);
  EXPECT_EQ(assigned.get("n39").integerValue(), 39);
  EXPECT_FALSE(assigned.contains("k94"));
}

TEST(ValueTest, TypedAccessOfTheWrongTypeIsEmptyNotACrash) {
  Value v = 3;
  EXPECT_TRUE(v.string().empty());
  EXPECT_TRUE(v.array().empty());
  EXPECT_TRUE(v["key"].isNull());
  EXPECT_TRUE(v[size_t(4)].isNull());
  v.mutableArray().push_back("now an array");
  EXPECT_EQ(v[size_t(0)].string(), "now an array");
}

TEST(ValueTest, ExtremeNumbersConvertWithoutWrappingOrGarbage) {
  struct Case {
    double seconds;
    std::string text;
  };
  const Case dates[] = {
      {0, "1970-01-01 00:00:00 +0000"},
      {-0.5, "1969-12-31 23:59:59 +0000"},
      {253402300799.0, "9999-12-31 23:59:59 +0000"},
      // Beyond what a calendar can show: the seconds themselves, never stray memory.
      {1e300, "1e+300"},
      {-1e300, "-1e+300"},
      {HUGE_VAL, "inf"},
      {std::nan(""), "nan"},
  };
  for (const auto& c : dates) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(Value::date(c.seconds).description(), c.text);
  }
}

TEST(ValueTest, IntegersAndDoublesCompareExactlyAtTheEndsOfTheirRanges) {
  struct Case {
    Value a, b;
    bool equal;
  };
  const Case cases[] = {
      {Value(int64_t(9007199254740993)), Value(9007199254740992.0), false},  // 2^53 + 1
      {Value(int64_t(9007199254740992)), Value(9007199254740992.0), true},
      {Value(INT64_MAX), Value(9223372036854775808.0), false},  // 2^63 - 1 against 2^63
      {Value(INT64_MIN), Value(-9223372036854775808.0), true},
      {Value(UINT64_MAX), Value(18446744073709551616.0), false},  // 2^64 - 1 against 2^64
      {Value(uint64_t(1) << 63), Value(9223372036854775808.0), true},
      {Value(3), Value(3.5), false},
      {Value(-3), Value(-3.0), true},
      {Value(0u), Value(-0.0), true},
      {Value(0), Value(std::nan("")), false},
      {Value(INT64_MAX), Value(HUGE_VAL), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a.stringValue() + " vs " + c.b.stringValue());
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.b == c.a, c.equal);
  }
}

// A decimal converts to the integer its text holds, digit for digit, or to nothing (0) when
// that integer does not fit the kind asked for: never to a neighbour through a double.
TEST(ValueTest, DecimalsConvertToIntegersExactlyOrNotAtAll) {
  struct Case {
    const char* text;
    int64_t integer;
    uint64_t unsignedInteger;
  };
  const Case cases[] = {
      {"9007199254740993", 9007199254740993, 9007199254740993u},  // 2^53 + 1
      {"12", 12, 12},
      {"12.9", 12, 12},
      {"-12.9", -12, 0},
      {"-0.5", 0, 0},
      {"1.5e1", 15, 15},
      {"123456789012345678901e-3", 123456789012345678, 123456789012345678},
      {"9223372036854775807", INT64_MAX, 9223372036854775807u},
      {"9223372036854775808", 0, 9223372036854775808u},
      {"-9223372036854775808", INT64_MIN, 0},
      {"-9223372036854775809", 0, 0},
      {"1e19", 0, 10000000000000000000u},
      {"1.8446744073709551615e19", 0, UINT64_MAX},
      {"18446744073709551616", 0, 0},
      {"1e30", 0, 0},
      {"1e-400", 0, 0},
      {"0e99999999999999999999", 0, 0},
      {"1e99999999999999999999", 0, 0},
      {"NaN", 0, 0},
      {"12abc", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Value v = Value::decimal(c.text);
    EXPECT_EQ(v.integerValue(), c.integer);
    EXPECT_EQ(v.unsignedValue(), c.unsignedInteger);
  }
}

// Numbers of every kind compare by exact value, so equality among them stays an equivalence:
// what equals one number equals everything equal to it.
TEST(ValueTest, DecimalsCompareExactlyAndEqualityIsTransitive) {
  // Values of one class are equal to one another and to nothing else.
  struct Number {
    Value value;
    int numberClass;
  };
  const Number numbers[] = {
      {Value(1), 1},
      {Value(1u), 1},
      {Value(1.0), 1},
      {Value::decimal("1"), 1},
      {Value::decimal("1.0"), 1},
      {Value::decimal("10e-1"), 1},
      {Value::decimal("+0.001e3"), 1},
      {Value::decimal("1.5"), 2},
      {Value(1.5), 2},
      {Value(int64_t(9007199254740992)), 3},  // 2^53
      {Value(9007199254740992.0), 3},
      {Value::decimal("9007199254740992.00"), 3},
      {Value::decimal("9007199254740993"), 4},
      {Value(int64_t(9007199254740993)), 4},
      {Value(0.1), 5},
      {Value::decimal("0.1000000000000000055511151231257827021181583404541015625"), 5},  // 0.1 as stored
      {Value::decimal("0.1"), 6},
      {Value(5e-324), 7},
      {Value::decimal("5e-324"), 8},  // reads as that double, but is not it
      {Value(1e22), 9},
      {Value::decimal("1e22"), 9},
      {Value(1e23), 10},
      {Value::decimal("1e23"), 11},
      {Value(UINT64_MAX), 12},
      {Value::decimal("18446744073709551615"), 12},
      {Value(-1), 13},
      {Value::decimal("-1"), 13},
      {Value(INT64_MIN), 14},
      {Value::decimal("-9223372036854775808"), 14},
      {Value(0), 15},
      {Value(-0.0), 15},
      {Value::decimal("-0.000"), 15},
      {Value::decimal("0e99999999999999999999"), 15},
      {Value(std::nan("")), 16},
      {Value::decimal("NaN"), 16},
      {Value::decimal("1e99999999999999999999"), 17},
      {Value(HUGE_VAL), 18},
      {Value(true), 19},
      {Value("1"), 20},
  };
  for (const Number& a : numbers)
    for (const Number& b : numbers)
      EXPECT_EQ(a.value == b.value, a.numberClass == b.numberClass)
          << a.value.stringValue() << " against " << b.value.stringValue();
}


}  // namespace

namespace {

// Arrays and dictionaries nested the way a parser with a raised depth limit builds them.
Value nested(int depth, Value leaf) {
  for (int i = 0; i < depth; ++i) {
    if (i % 2) {
      Array a;
      a.push_back(std::move(leaf));
      leaf = Value(std::move(a));
    } else {
      Dictionary d;
      d.set("k", std::move(leaf));
      leaf = Value(std::move(d));
    }
  }
  return leaf;
}

TEST(ValueTest, DeeplyNestedValuesCopyCompareAndDestroyWithoutRecursion) {
  constexpr int kDepth = 200000;
  Value deep = nested(kDepth, 1);
  Value copy = deep;
  EXPECT_TRUE(copy == deep);
  EXPECT_FALSE(nested(kDepth, 2) == deep);
  EXPECT_FALSE(nested(kDepth - 1, 1) == deep);
  int depth = 0;
  const Value* at = &copy;
  for (; at->isArray() || at->isDictionary(); ++depth) at = at->isArray() ? &(*at)[size_t{0}] : &(*at)["k"];
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(*at, Value(1));
  copy = deep;                  // replaces a deep value by copy
  deep = Value("flat");         // and by move
  EXPECT_EQ(deep, Value("flat"));
  Array holder{copy};
  holder.clear();               // a deep value inside a container
}

// Every kind of value, each with content that lives outside the value where it can.
std::vector<Value> oneOfEachKind() {
  return {Value(),
          Value(true),
          Value(-7),
          Value(18446744073709551615ull),
          Value(0.1),
          Value::decimal("12345678901234567890.5"),
          Value(std::string(40, 's')),
          Value(platform::Bytes(33, 0xAB)),
          Value::date(-86400.5),
          Value(Array{Value(1), Value(std::string(20, 'a')), Value(Array{Value("x")})}),
          Value(Dictionary{{"k", Value(std::string(30, 'v'))}, {"n", Value(Dictionary{{"m", Value(2)}})}})};
}

TEST(ValueTest, EveryKindCopiesMovesAndReplacesEveryOtherKind) {
  const std::vector<Value> kinds = oneOfEachKind();
  const std::vector<Value> expected = oneOfEachKind();
  for (size_t to = 0; to < kinds.size(); ++to) {
    for (size_t from = 0; from < kinds.size(); ++from) {
      SCOPED_TRACE(testing::Message() << "kind " << from << " over kind " << to);
      Value copied = kinds[to];
      copied = kinds[from];
      EXPECT_EQ(copied.type(), expected[from].type());
      EXPECT_EQ(copied, expected[from]);
      EXPECT_EQ(kinds[from], expected[from]);  // the source is untouched
      Value moved = kinds[to];
      Value source = kinds[from];
      moved = std::move(source);
      EXPECT_EQ(moved, expected[from]);
      EXPECT_TRUE(source.isNull());
      Value built(std::move(moved));
      EXPECT_EQ(built, expected[from]);
      EXPECT_TRUE(moved.isNull());
      EXPECT_EQ(built.description(), expected[from].description());
    }
  }
  // A value replaced by a part of itself keeps that part whole.
  Value array = kinds[9];
  array = std::move(array.mutableArray()[2]);
  EXPECT_EQ(array, Value(Array{Value("x")}));
  Value dictionary = kinds[10];
  dictionary = dictionary["n"];
  EXPECT_EQ(dictionary, Value(Dictionary{{"m", Value(2)}}));
  Value self = kinds[6];
  Value& alias = self;
  self = std::move(alias);
  EXPECT_EQ(self, expected[6]);
}

TEST(ValueTest, DeepValuesAreDescribedDownToABoundedDepthOnly) {
  // Arrays in arrays around 1: each level opens "(", indents its element four spaces more
  // than its own line, and closes on a line of its own; past the bound a level is "(...)".
  auto expected = [](int depth) {
    const int shown = std::min(depth, Value::kDescribedLevels);
    std::string text;
    for (int i = 0; i < shown; ++i) text += "(\n" + std::string(4 * static_cast<size_t>(i + 1), ' ');
    text += depth > shown ? "(...)" : "1";
    for (int i = shown - 1; i >= 0; --i) text += "\n" + std::string(4 * static_cast<size_t>(i), ' ') + ")";
    return text;
  };
  for (int depth : {1, 2, Value::kDescribedLevels, Value::kDescribedLevels + 1, 100000}) {
    Value v(1);
    for (int i = 0; i < depth; ++i) {
      Array a;
      a.push_back(std::move(v));
      v = Value(std::move(a));
    }
    EXPECT_EQ(v.description(), expected(depth)) << depth;
  }
  // Dictionaries and arrays mixed, as deep as a parser with a raised limit builds them.
  const std::string text = nested(200000, 1).description();
  EXPECT_LT(text.size(), size_t{1} << 20);
  // The top is an array and the kinds alternate, so the first level left out is an array.
  const size_t elided = text.find("(...)");
  ASSERT_NE(elided, std::string::npos);
  EXPECT_EQ(text.find("{...}"), std::string::npos);
  EXPECT_EQ(text.find("(...)", elided + 1), std::string::npos);
  EXPECT_EQ(text.rfind("(\n    {\n        k = (\n", 0), 0u);
}

// The index of a dictionary follows its entries' places: the entries cannot be moved behind
// its back (sorted, swapped or assigned), while their values can be changed and swapped.
TEST(ValueTest, EntriesStayWhereTheIndexHasThemWhileTheirValuesChange) {
  using Entry = Dictionary::Entry;
  static_assert(!std::is_swappable_v<Entry>);
  static_assert(!std::is_move_assignable_v<Entry>);
  static_assert(!std::is_copy_assignable_v<Entry>);
  for (int size : {5, 40}) {  // looked up by a scan, and through an index
    SCOPED_TRACE(size);
    Dictionary d;
    for (int i = 0; i < size; ++i) d.set("k" + std::to_string(size - i), i);
    std::swap(d.begin()->second, (d.end() - 1)->second);
    for (auto& [key, value] : d) value.mutableArray().push_back(std::string(key));
    std::vector<std::string> sorted = d.keys();
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& key : sorted) {
      const Value* found = d.find(key);
      ASSERT_NE(found, nullptr) << key;
      EXPECT_EQ((*found)[size_t{0}].string(), key);
    }
    d.set("k1", "again");
    EXPECT_EQ(d.size(), static_cast<size_t>(size));
    EXPECT_EQ(d.get("k1"), Value("again"));
  }
}

// Every way of building a value by copying, with its nth allocation failing for every n: what
// was made before the failure is released, and the source is as it was.
TEST(ValueTest, CopiesThatFailHalfWayLeaveNothingBehind) {
  const Value deep = [] {
    Value v = nested(61, Value(std::string(30, 'x')));  // a dictionary at the top
    v.mutableDictionary().set("data", Value(platform::Bytes(20, 1)));
    Dictionary wide;  // indexed
    for (int i = 0; i < 20; ++i) wide.set("a key longer than fits in place " + std::to_string(i), Value::decimal("1e400"));
    v.mutableDictionary().set("wide", Value(std::move(wide)));
    return v;
  }();
  const Value expected = deep;
  const std::vector<Value> members(oneOfEachKind());
  struct Case {
    const char* name;
    void (*attempt)(const Value& deep, const std::vector<Value>& members);
  };
  const Case cases[] = {
      {"copy", [](const Value& v, const std::vector<Value>&) { Value copy(v); }},
      {"assignment", [](const Value& v, const std::vector<Value>&) {
         Value copy = Array{Value(1)};
         copy = v;
       }},
      {"initializer list of an array",
       [](const Value& v, const std::vector<Value>& m) { Array a{m[6], v, m[9], m[10]}; }},
      {"initializer list of a dictionary",
       [](const Value& v, const std::vector<Value>& m) { Dictionary d{{"a", m[6]}, {"b", v}, {"c", m[7]}}; }},
      {"range", [](const Value&, const std::vector<Value>& m) { Array a(m.begin(), m.end()); }},
      {"push_back", [](const Value& v, const std::vector<Value>& m) {
         Array a{m[6]};
         a.push_back(v);
       }},
      {"set", [](const Value& v, const std::vector<Value>&) {
         Dictionary d{{"x", 1}};
         d.set("deep", v);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long swept = platform::test::sweepAllocationFailures([&] { c.attempt(deep, members); });
    EXPECT_GT(swept, 3);
    EXPECT_EQ(deep, expected);
  }
}

// Releasing a value of any depth allocates nothing: it may run while memory has run out.
TEST(ValueTest, ValuesOfAnyDepthAreReleasedWithoutAllocating) {
  for (int depth : {10, 49, 200000}) {
    SCOPED_TRACE(depth);
    Value deep = nested(depth, Value(std::string(20, 'x')));
    const long before = platform::test::liveAllocations();
    platform::test::failAllocation(0, true);
    deep = Value();
    EXPECT_FALSE(platform::test::stopFailingAllocations());
    EXPECT_LT(platform::test::liveAllocations(), before);
  }
}

}  // namespace
