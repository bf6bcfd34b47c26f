#include "platform/value_stack.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

// One object read twice on the same stacks: {"outer": {40 keys}, "tail": [1, "x"], "outer": true},
// its keys copied out of a buffer that is overwritten before the object closes (all but
// "tail", whose text stays valid).
TEST(ValueStackTest, ContainersCloseWithTheirOwnMembersAndKeys) {
  ValueStack stack;
  std::string buffer;
  auto copiedKey = [&](std::string text) {
    buffer = std::move(text);
    return stack.pushKey(buffer, false);
  };
  const std::string tail = "tail";
  for (int round = 0; round < 2; ++round) {
    const ValueStack::Mark top = stack.mark();
    const size_t outer = copiedKey("outer");
    const ValueStack::Mark inner = stack.mark();
    for (int i = 0; i < 40; ++i) {
      copiedKey("key number " + std::to_string(i));
      stack.push(i);
    }
    EXPECT_EQ(stack.key(outer), "outer");
    Dictionary innerDictionary = stack.takeDictionary(inner);
    ASSERT_EQ(innerDictionary.size(), 40u);
    EXPECT_EQ(innerDictionary.begin()->first, "key number 0");
    EXPECT_EQ(innerDictionary.get("key number 39"), Value(39));
    stack.push(std::move(innerDictionary));
    stack.pushKey(tail, true);
    const ValueStack::Mark list = stack.mark();
    stack.push(1);
    stack.push(std::string_view("x"));
    stack.push(stack.takeArray(list));
    copiedKey("outer");
    stack.push(true);
    Dictionary object = stack.takeDictionary(top);
    EXPECT_EQ(object.keys(), (std::vector<std::string>{"outer", "tail"}));
    EXPECT_EQ(object.get("outer"), Value(true));
    EXPECT_EQ(object.get("tail"), Value(Array{Value(1), Value("x")}));
  }
}

}  // namespace
}  // namespace platform
