// The collection operations: order kept, the fold's direction, and empty inputs.
#include <gtest/gtest.h>

#include "CZFunctionalCollectionExtensions.h"

namespace cadenzo {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;
using Ops = CZFunctionalCollectionExtensions;

TEST(CZFunctionalCollectionExtensions, ArrayOperations) {
  const std::vector<int> none, one = {7}, many = {1, 2, 3, 4, 5};
  std::vector<int> seen;
  Ops::each(many, [&](int x) { seen.push_back(x); });
  EXPECT_EQ(seen, many);
  EXPECT_EQ(Ops::map(many, [](int x) { return std::to_string(x * x); }),
            (std::vector<std::string>{"1", "4", "9", "16", "25"}));
  EXPECT_TRUE(Ops::map(none, [](int x) { return x; }).empty());
  EXPECT_EQ(Ops::filter(many, [](int x) { return x % 2 == 1; }), (std::vector<int>{1, 3, 5}));
  // Subtraction shows the fold is a left fold, ((((1-2)-3)-4)-5), and a single element is
  // returned without calling the block.
  int calls = 0;
  auto minus = [&](int acc, int x) { ++calls; return acc - x; };
  const std::tuple<std::vector<int>, std::optional<int>, int> reductions[] = {
      {many, -13, 4}, {one, 7, 0}, {none, std::nullopt, 0}};
  for (const auto& [input, result, expectedCalls] : reductions) {
    calls = 0;
    EXPECT_EQ(Ops::reduce(input, minus), result);
    EXPECT_EQ(calls, expectedCalls);
  }
  EXPECT_EQ(Ops::injectInitial(many, minus, 100), 85);
  EXPECT_EQ(Ops::injectInitial(none, minus, 100), 100);
  EXPECT_EQ(Ops::injectInitial(many, [](std::string acc, int x) { return acc + std::to_string(x); }, std::string(">")),
            ">12345");
}

TEST(CZFunctionalCollectionExtensions, DictionaryOperationsKeepInsertionOrder) {
  const Dictionary dict = {{"b", 2}, {"a", 1}, {"c", 3}};
  std::vector<std::string> order;
  Ops::each(dict, [&](const std::string& k, const Value&) { order.push_back(k); });
  EXPECT_EQ(order, (std::vector<std::string>{"b", "a", "c"}));
  Dictionary doubled = Ops::map(dict, [](const std::string&, const Value& v) { return Value(v.integerValue() * 2); });
  EXPECT_EQ(doubled, (Dictionary{{"a", 2}, {"b", 4}, {"c", 6}}));
  EXPECT_EQ(doubled.keys(), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(Ops::filter(dict, [](const std::string& k, const Value& v) { return k != "a" && v.integerValue() < 3; }),
            (Dictionary{{"b", 2}}));
  auto join = [](std::string acc, const std::string& k, const Value& v) { return acc + k + "=" + v.stringValue() + ';'; };
  EXPECT_EQ(Ops::injectInitial(dict, join, std::string()), "b=2;a=1;c=3;");
  EXPECT_EQ(Ops::keys(dict), (Array{"b", "a", "c"}));
  EXPECT_EQ(Ops::objects(dict), (Array{2, 1, 3}));
  EXPECT_EQ(Ops::keys(Dictionary{}), Array{});
  EXPECT_EQ(Ops::objects(Dictionary{}), Array{});
}

}  // namespace
}  // namespace cadenzo
