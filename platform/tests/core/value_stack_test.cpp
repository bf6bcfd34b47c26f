#include "platform/value_stack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../../src/core/value_tree.h"
#include "failing_allocations.h"

namespace platform {
namespace {

// One object read twice on the same stacks: {"outer": {40 keys}, "tail": [1, "x"], "outer": true},
// its keys given from a buffer that is overwritten before the object closes.
TEST(ValueStackTest, ContainersCloseWithTheirOwnMembersAndKeys) {
  ValueStack stack;
  std::string buffer;
  auto key = [&](std::string text) {
    buffer = std::move(text);
    return stack.pushKey(buffer);
  };
  for (int round = 0; round < 2; ++round) {
    const ValueStack::Mark top = stack.mark();
    const size_t outer = key("outer");
    const ValueStack::Mark inner = stack.mark();
    for (int i = 0; i < 40; ++i) {
      key("key number " + std::to_string(i));
      stack.push(i);
    }
    EXPECT_EQ(stack.key(outer), "outer");
    stack.closeDictionary(inner);
    key("tail");
    const ValueStack::Mark list = stack.mark();
    stack.push(1);
    stack.push(std::string_view("x"));
    stack.closeArray(list);
    key("outer");
    stack.push(true);
    stack.closeDictionary(top);
    const Value object = stack.take();
    EXPECT_EQ(object.dictionary().keys(), (std::vector<std::string>{"outer", "tail"}));
    EXPECT_EQ(object["outer"], Value(true));
    EXPECT_EQ(object["tail"], Value(Array{Value(1), Value("x")}));
  }
}

// Built whole, a dictionary treats a repeated key as setting its members one by one would:
// the key keeps its first place and takes its last member, whether the dictionary is small
// or large enough to be looked up through an index.
TEST(ValueStackTest, RepeatedKeysKeepTheirFirstPlaceAndTheirLastMember) {
  ValueStack stack;
  for (size_t size : {6u, 12u, 40u}) {
    SCOPED_TRACE(size);
    Dictionary oneByOne;
    const ValueStack::Mark top = stack.mark();
    for (size_t i = 0; i < size; ++i) {
      // Every fifth key repeats an earlier one; long keys are held outside their entry.
      std::string key = "k" + std::to_string(i) + (i % 2 ? "" : "-a long key");
      if (i % 5 == 4) key = oneByOne.keys()[i / 2];
      stack.pushKey(key);
      stack.push(static_cast<int>(i));
      oneByOne.set(key, Value(static_cast<int>(i)));
    }
    stack.closeDictionary(top);
    const Value whole = stack.take();
    EXPECT_EQ(whole.dictionary().keys(), oneByOne.keys());
    for (const auto& key : oneByOne.keys()) EXPECT_EQ(whole[key], oneByOne.get(key)) << key;
    ASSERT_LT(whole.size(), size);
  }
  // Keys alike in length and last byte, and an empty key, repeated or not.
  const ValueStack::Mark top = stack.mark();
  int member = 0;
  for (const char* key : {"ab", "", "cb", "ab", "", "b"}) {
    stack.pushKey(key);
    stack.push(member++);
  }
  stack.closeDictionary(top);
  const Value whole = stack.take();
  EXPECT_EQ(whole.dictionary().keys(), (std::vector<std::string>{"ab", "", "cb", "b"}));
  EXPECT_EQ(whole["ab"], Value(3));
  EXPECT_EQ(whole[""], Value(4));
  EXPECT_EQ(whole["cb"], Value(2));
}

// {"list": [{"name": <long text>, "blob": <data>, "made": [..]}, 2.5, <decimal>], "id": <long text>}
Value buildDocument(ValueStack& stack, const std::string& name) {
  const ValueStack::Mark top = stack.mark();
  stack.pushKey("list");
  const ValueStack::Mark list = stack.mark();
  const ValueStack::Mark item = stack.mark();
  stack.pushKey("name of the item, long");
  stack.push(name);
  stack.pushKey("blob");
  stack.push(Bytes{1, 2, 3});
  stack.pushKey("made");
  stack.push(Array{Value("a text made elsewhere, long enough"), Value(Dictionary{{"k", 1}})});
  stack.closeDictionary(item);
  stack.push(2.5);
  stack.push(Decimal{"12345678901234567890.5"});
  stack.closeArray(list);
  stack.pushKey("id");
  stack.push(std::string_view("an identifier longer than fourteen bytes"));
  stack.closeDictionary(top);
  return stack.take();
}

// Parts of a tree outlive it, on other threads too; changing a part gives it storage of its
// own and leaves the tree as it was; members made elsewhere are released with the tree, and
// a read that fails half-way leaves nothing behind (the sanitizer builds see a leak, a
// use after free or a race on the tree's count).
TEST(ValueStackTest, PartsOfATreeOutliveItAndChangeOnlyThemselves) {
  ValueStack stack;
  const std::string name = "a name that does not fit in place";
  Value item, list, id;
  {
    const Value document = buildDocument(stack, name);
    item = document["list"][0];
    list = document["list"];
    id = document["id"];
    Value changed = document;
    changed.mutableDictionary().set("id", 7);
    changed.mutableDictionary().find("list")->mutableArray().push_back("more");
    EXPECT_EQ(document["id"].string(), "an identifier longer than fourteen bytes");
    EXPECT_EQ(document["list"].size(), 3u);
    EXPECT_EQ(changed["list"].size(), 4u);
    EXPECT_EQ(changed["list"][0], document["list"][0]);
  }
  EXPECT_EQ(item["name of the item, long"].string(), name);
  EXPECT_EQ(item["blob"].data(), (Bytes{1, 2, 3}));
  EXPECT_EQ(item["made"][1]["k"], Value(1));
  EXPECT_EQ(list[2].decimalText(), "12345678901234567890.5");
  EXPECT_EQ(id.string(), "an identifier longer than fourteen bytes");

  std::vector<std::thread> threads;
  std::vector<Value> copies(8, list);
  for (Value& copy : copies)
    threads.emplace_back([part = std::move(copy), &name]() mutable {
      EXPECT_EQ(part[0]["name of the item, long"].string(), name);
      Value dropped = std::move(part);
    });
  list = Value();
  item = Value();
  for (auto& t : threads) t.join();

  // A read that fails half-way, then one that succeeds on the same stacks.
  stack.pushKey("half");
  stack.push(std::string_view("a member of a container never closed"));
  stack.push(Bytes{4});
  stack.clear();
  EXPECT_EQ(buildDocument(stack, name)["list"][0]["name of the item, long"].string(), name);
}


// Texts of every size around what a value holds in place read back whole and NUL-terminated,
// as members and as keys of a tree, and as values of their own.
TEST(ValueStackTest, TextsOfEverySizeReadBackWholeAsMembersKeysAndValues) {
  ValueStack stack;
  for (size_t size : {0u, 1u, 2u, 3u, 4u, 7u, 8u, 9u, 13u, 14u, 15u, 16u, 40u}) {
    std::string text;
    for (size_t i = 0; i < size; ++i) text += static_cast<char>('a' + i % 26);
    SCOPED_TRACE(text);
    const ValueStack::Mark top = stack.mark();
    stack.pushKey(text);
    stack.push(text);
    stack.pushKey("decimal");
    stack.push(Decimal{"-" + std::string(size + 1, '7')});
    stack.closeDictionary(top);
    const Value tree = stack.take();
    const Value own(text);
    for (const Value* v : {&tree[text], &own}) {
      EXPECT_EQ(v->string(), text);
      EXPECT_EQ(std::strlen(v->string().c_str()), size);
      EXPECT_EQ(v->size(), size);
    }
    EXPECT_EQ(tree.dictionary().begin()->key(), text);
    EXPECT_EQ(std::strlen(tree.dictionary().begin()->key().c_str()), size);
    EXPECT_EQ(tree["decimal"].decimalText(), "-" + std::string(size + 1, '7'));
    EXPECT_EQ(Value(tree[text]), own);
  }
}

// An array of a tree answers the calls of a vector as an array of its own does: a change
// makes its values its own and leaves the tree as it was.
TEST(ValueStackTest, ArraysOfATreeChangeLikeArraysOfTheirOwn) {
  struct Step {
    const char* name;
    void (*apply)(Array&);
    std::vector<int> after;  // from [0, 1, 2, 3, 4]
  };
  const Step steps[] = {
      {"push_back", [](Array& a) { a.push_back(Value(9)); }, {0, 1, 2, 3, 4, 9}},
      {"insert at the front", [](Array& a) { a.insert(a.begin(), Value(9)); }, {9, 0, 1, 2, 3, 4}},
      {"erase two", [](Array& a) { a.erase(a.begin() + 1, a.begin() + 3); }, {0, 3, 4}},
      {"pop_back", [](Array& a) { a.pop_back(); }, {0, 1, 2, 3}},
      {"resize down", [](Array& a) { a.resize(2); }, {0, 1}},
      {"assign through []", [](Array& a) { a[4] = Value(9); }, {0, 1, 2, 3, 9}},
      {"clear", [](Array& a) { a.clear(); }, {}},
  };
  ValueStack stack;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const ValueStack::Mark list = stack.mark();
    for (int i = 0; i < 5; ++i) stack.push(i);
    stack.closeArray(list);
    const Value tree = stack.take();
    Array own{Value(0), Value(1), Value(2), Value(3), Value(4)};
    Array shared = tree.array();
    step.apply(own);
    step.apply(shared);
    Array expected;
    for (int i : step.after) expected.push_back(Value(i));
    EXPECT_EQ(own, expected);
    EXPECT_EQ(shared, expected);
    EXPECT_EQ(tree, Value(Array{Value(0), Value(1), Value(2), Value(3), Value(4)}));
  }
}

// Members that hold storage of their own become part of the tree where they can: texts are
// copied in, a container of the same tree is let go of; the others are released with it.
TEST(ValueStackTest, MembersMadeElsewhereJoinTheTree) {
  ValueStack stack;
  const std::string longText = "a text made elsewhere, longer than fits in place";
  const ValueStack::Mark top = stack.mark();
  stack.pushKey("part");
  const ValueStack::Mark part = stack.mark();
  stack.push(1);
  stack.closeArray(part);
  const Value taken = stack.take();  // the keys still open keep the tree
  stack.push(taken);
  stack.pushKey("text");
  stack.push(Value(longText));
  stack.pushKey("decimal");
  stack.push(Value::decimal("3.14159265358979323846"));
  stack.pushKey("dictionary");
  stack.push(Value(Dictionary{{"k", Value(longText)}}));
  stack.pushKey("other tree");
  ValueStack other;
  const ValueStack::Mark list = other.mark();
  other.push(longText);
  other.closeArray(list);
  stack.push(other.take());
  stack.closeDictionary(top);
  const Value tree = stack.take();
  EXPECT_EQ(tree["part"], Value(Array{Value(1)}));
  EXPECT_EQ(tree["text"].string(), longText);
  EXPECT_EQ(tree["decimal"].decimalText(), "3.14159265358979323846");
  EXPECT_EQ(tree["dictionary"]["k"].string(), longText);
  EXPECT_EQ(tree["other tree"][0].string(), longText);
}

// Pushes `shape` as a reader meets it: texts as text, containers member by member.
void push(ValueStack& stack, const Value& shape) {
  const ValueStack::Mark members = stack.mark();
  if (shape.isDictionary()) {
    for (const auto& [key, member] : shape.dictionary()) {
      stack.pushKey(key);
      push(stack, member);
    }
    stack.closeDictionary(members);
  } else if (shape.isArray()) {
    for (const Value& member : shape.array()) push(stack, member);
    stack.closeArray(members);
  } else if (shape.isString()) {
    stack.push(shape.string());
  } else {
    stack.push(shape);
  }
}

// `shape` read into a tree, as from a text of `textBytes`.
Value read(const Value& shape, size_t textBytes = 0) {
  ValueStack stack;
  stack.expectText(textBytes);
  push(stack, shape);
  return stack.take();
}

std::string longText(const std::string& what) { return what + ", a text longer than a value holds in place"; }

// Whatever a change does to a container read from a tree, text and members read from it before
// stay valid while they are not changed, whether the container held the tree alone or shared
// it with a copy that goes afterwards (the sanitizer build sees a use after free).
TEST(ValueStackTest, WhatWasReadStaysValidAcrossAChangeOfTheTree) {
  const Value dictionaryShape = Dictionary{{"name", Value(longText("name"))}, {"state", 1}, {"other", Value(longText("other"))}};
  const Value arrayShape = Array{Value(longText("name")), Value(longText("other")), Value(1)};
  struct Change {
    const char* name;
    bool onArray;
    void (*apply)(Value& response);
    Value changed;  // the member changed ("state" or the third)
  };
  const Change changes[] = {
      {"set an existing key", false, [](Value& r) { r.mutableDictionary().set("state", 2); }, 2},
      {"a non-const find", false, [](Value& r) { *r.mutableDictionary().find("state") = 2; }, 2},
      {"begin of a dictionary", false, [](Value& r) { (r.mutableDictionary().begin() + 1)->second = 2; }, 2},
      {"set a new key", false, [](Value& r) { r.mutableDictionary().set("added", 2); }, 1},
      {"erase", false, [](Value& r) { r.mutableDictionary().erase("state"); }, Value()},
      {"operator[]", true, [](Value& r) { r.mutableArray()[2] = 2; }, 2},
      {"begin of an array", true, [](Value& r) { r.mutableArray().begin()[2] = 2; }, 2},
      {"push_back", true, [](Value& r) { r.mutableArray().push_back(3); }, 1},
  };
  for (const Change& change : changes) {
    for (bool shared : {false, true}) {
      SCOPED_TRACE(testing::Message() << change.name << (shared ? ", shared" : ", alone"));
      Value response = read(change.onArray ? arrayShape : dictionaryShape);
      Value copy = shared ? response : Value();
      const Value& other = change.onArray ? response[size_t{1}] : response["other"];
      const StringRef name = change.onArray ? response[size_t{0}].string() : response["name"].string();
      change.apply(response);
      copy = Value();
      EXPECT_EQ(name, longText("name"));
      EXPECT_EQ(other.string(), longText("other"));
      EXPECT_EQ(change.onArray ? response[size_t{2}] : response["state"], change.changed);
      EXPECT_EQ(change.onArray ? response[size_t{0}].string() : response["name"].string(), name);
    }
  }
}

// An answer of a small "config" and a large list of ads (2000 make about half a megabyte).
Value answerShape(int count) {
  Array ads;
  for (int i = 0; i < count; ++i)
    ads.push_back(Dictionary{{"id", i}, {"html", Value(std::string(200, static_cast<char>('a' + i % 26)))}});
  return Dictionary{{"config", Dictionary{{"refresh", 30}, {"placement", Value(longText("placement"))}}},
                    {"ads", Value(std::move(ads))}};
}

// A small part kept from a tree does not keep the tree (it is copied out); a large part shares
// it, copies of it too. Counted in the trees' own memory.
TEST(ValueStackTest, APartKeptHoldsNoMoreOfTheTreeThanItsShare) {
  const Value shape = answerShape(2000);
  const size_t before = detail::ValueArena::bytesHeld();
  std::vector<Value> configs;
  for (int i = 0; i < 20; ++i) configs.push_back(read(shape, 500000)["config"]);
  EXPECT_EQ(detail::ValueArena::bytesHeld(), before);
  for (const Value& config : configs) EXPECT_EQ(config, shape["config"]);
  configs.clear();

  std::vector<Value> lists;
  lists.push_back(read(shape, 500000)["ads"]);
  const size_t oneTree = detail::ValueArena::bytesHeld() - before;
  EXPECT_GT(oneTree, 500000u);
  for (int i = 0; i < 20; ++i) lists.push_back(lists.front());
  EXPECT_EQ(detail::ValueArena::bytesHeld() - before, oneTree);
  EXPECT_EQ(lists.back(), shape["ads"]);
  // A part of it under an eighth of the tree is copied out; a part of a small tree is not.
  const Value ad = lists.front()[size_t{7}];
  lists.clear();
  EXPECT_EQ(detail::ValueArena::bytesHeld(), before);
  EXPECT_EQ(ad, shape["ads"][size_t{7}]);
  Value small = read(Dictionary{{"ad", shape["ads"][size_t{7}]}});
  const size_t smallTree = detail::ValueArena::bytesHeld() - before;
  EXPECT_GT(smallTree, 0u);
  const Value part = small["ad"];
  small = Value();
  EXPECT_EQ(detail::ValueArena::bytesHeld() - before, smallTree);
  EXPECT_EQ(part, shape["ads"][size_t{7}]);
}

// A tree holds no other tree and never itself, whatever is pushed into it: parts of the tree
// being built, of another one that holds it, or a chain of trees each pushed into the next.
// Once the values go, every tree's memory has gone too.
TEST(ValueStackTest, TreesHoldOnlyThemselvesAndData) {
  const size_t before = detail::ValueArena::bytesHeld();
  {
    // A container made elsewhere holding a part of the tree it is pushed into.
    ValueStack stack;
    const ValueStack::Mark top = stack.mark();
    stack.pushKey("part");
    push(stack, Array{Value(longText("part"))});
    Value part = stack.take();
    stack.push(Value(Array{part, Value(Bytes{1, 2})}));
    stack.pushKey("data");
    stack.push(Bytes{3});
    stack.closeDictionary(top);
    part = Value();
    const Value tree = stack.take();
    EXPECT_EQ(tree["part"][size_t{0}][size_t{0}].string(), longText("part"));
    EXPECT_EQ(tree["part"][size_t{1}].data(), (Bytes{1, 2}));
    EXPECT_EQ(tree["data"].data(), (Bytes{3}));
  }
  EXPECT_EQ(detail::ValueArena::bytesHeld(), before);
  {
    // Two trees, each pushed into the other while it was being built.
    ValueStack first, second;
    const ValueStack::Mark top = first.mark();
    first.pushKey("own");
    push(first, Array{Value(longText("first"))});
    const Value partOfFirst = first.take();
    const ValueStack::Mark list = second.mark();
    second.push(partOfFirst);
    second.closeArray(list);
    Value secondTree = second.take();
    first.push(partOfFirst);
    first.pushKey("second");
    first.push(secondTree);
    first.closeDictionary(top);
    const Value firstTree = first.take();
    secondTree = Value();
    EXPECT_EQ(firstTree["second"][size_t{0}][size_t{0}].string(), longText("first"));
    EXPECT_EQ(firstTree["own"], firstTree["second"][size_t{0}]);
  }
  EXPECT_EQ(detail::ValueArena::bytesHeld(), before);
  {
    // Each tree read with the one before as a member.
    ValueStack stack;
    Value chain = 0;
    constexpr int kLinks = 300;
    for (int i = 1; i <= kLinks; ++i) {
      const ValueStack::Mark list = stack.mark();
      stack.push(chain);
      stack.push(i);
      stack.closeArray(list);
      chain = stack.take();
    }
    // Only the last tree is held, not one per link.
    EXPECT_LT(detail::ValueArena::bytesHeld() - before, size_t{64} << 10);
    const Value* link = &chain;
    for (int i = kLinks; i > 0; --i, link = &(*link)[size_t{0}]) ASSERT_EQ((*link)[size_t{1}], Value(i));
    EXPECT_EQ(*link, Value(0));
  }
  EXPECT_EQ(detail::ValueArena::bytesHeld(), before);
}

// Reading, copying out of and changing a tree, with their nth allocation failing for every n:
// nothing is left behind, in values or in trees.
TEST(ValueStackTest, ReadsCopiesAndChangesThatFailHalfWayLeaveNothingBehind) {
  const Value answer = read(answerShape(40), 10000);
  const Value otherTree = read(Array{Value(longText("other")), Dictionary{{"k", Value(longText("k"))}}});
  const size_t before = detail::ValueArena::bytesHeld();
  struct Case {
    const char* name;
    void (*attempt)(const Value& answer, const Value& otherTree);
  };
  const Case cases[] = {
      {"a read with members made elsewhere and repeated keys",
       [](const Value&, const Value& other) {
         ValueStack stack;
         const ValueStack::Mark top = stack.mark();
         for (int i = 0; i < 40; ++i) {
           stack.pushKey(i % 7 == 6 ? std::string("repeated") : longText(std::to_string(i)));
           switch (i % 5) {
             case 0: stack.push(Bytes(30, 1)); break;
             case 1: stack.push(Value(Array{Value(Bytes{2}), Value(longText("made")), Value(Dictionary{{"k", 1}})})); break;
             case 2: stack.push(other); break;
             case 3: stack.push(longText("member")); break;
             default: push(stack, Array{Value(longText("read")), Value(i)});
           }
         }
         stack.closeDictionary(top);
         const Value taken = stack.take();
       }},
      {"a small part copied out", [](const Value& answer, const Value&) { const Value config = answer["config"]; }},
      {"a large part changed",
       [](const Value& answer, const Value&) {
         Value ads = answer["ads"];
         ads.mutableArray()[3].mutableDictionary().set("id", 0);
       }},
      {"the whole changed",
       [](const Value& answer, const Value&) {
         Value copy = answer;
         copy.mutableDictionary().set("config", 1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_GT(test::sweepAllocationFailures([&] { c.attempt(answer, otherTree); }), 3);
    EXPECT_EQ(detail::ValueArena::bytesHeld(), before);
  }
  EXPECT_EQ(answer, answerShape(40));
}

}  // namespace
}  // namespace platform
