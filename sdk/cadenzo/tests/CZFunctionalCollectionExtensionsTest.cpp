// The collection operations and their edge cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  EXPECT_TRUE(Ops::filter(many, [](int) { return false; }).empty());

  // Subtraction shows the fold is a left fold: ((((1-2)-3)-4)-5).
  int calls = 0;
  auto minus = [&](int acc, int x) {
    ++calls;
    return acc - x;
  };
  EXPECT_EQ(Ops::reduce(many, minus), -13);
  EXPECT_EQ(calls, 4);
  calls = 0;
  EXPECT_EQ(Ops::reduce(one, minus), 7);
  EXPECT_EQ(calls, 0);  // one element: the block is never called
  EXPECT_EQ(Ops::reduce(none, minus), std::nullopt);
  EXPECT_EQ(calls, 0);

  EXPECT_EQ(Ops::injectInitial(many, minus, 100), 85);
  EXPECT_EQ(Ops::injectInitial(none, minus, 100), 100);
  EXPECT_EQ(Ops::injectInitial(
                many, [](std::string acc, int x) { return acc + std::to_string(x); },
                std::string(">")),
            ">12345");
}

TEST(CZFunctionalCollectionExtensions, DictionaryOperations) {
  const Dictionary dict = {{"b", 2}, {"a", 1}, {"c", 3}};
  std::vector<std::string> order;
  Ops::each(dict, [&](const std::string& k, const Value&) { order.push_back(k); });
  EXPECT_EQ(order, (std::vector<std::string>{"b", "a", "c"}));

  Dictionary doubled = Ops::map(dict, [](const std::string&, const Value& v) {
    return Value(v.integerValue() * 2);
  });
  EXPECT_EQ(doubled, (Dictionary{{"a", 2}, {"b", 4}, {"c", 6}}));
  EXPECT_EQ(doubled.keys(), (std::vector<std::string>{"b", "a", "c"}));

  EXPECT_EQ(Ops::filter(dict, [](const std::string& k, const Value& v) {
              return k != "a" && v.integerValue() < 3;
            }),
            (Dictionary{{"b", 2}}));
  EXPECT_TRUE(Ops::filter(dict, [](const std::string&, const Value&) { return false; }).empty());

  EXPECT_EQ(Ops::injectInitial(
                dict,
                [](std::string acc, const std::string& k, const Value& v) {
                  return acc + k + "=" + v.stringValue() + ";";
                },
                std::string()),
            "b=2;a=1;c=3;");

  EXPECT_EQ(Ops::keys(dict), (Array{"b", "a", "c"}));
  EXPECT_EQ(Ops::objects(dict), (Array{2, 1, 3}));
  EXPECT_EQ(Ops::keys(Dictionary{}), Array{});
  EXPECT_EQ(Ops::objects(Dictionary{}), Array{});
  EXPECT_TRUE(Ops::map(Dictionary{}, [](const std::string&, const Value& v) { return v; }).empty());
}

}  // namespace
}  // namespace cadenzo
