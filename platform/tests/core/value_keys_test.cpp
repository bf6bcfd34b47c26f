#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../../src/core/value_tree.h"
#include "platform/value.h"
#include "platform/value_stack.h"

namespace platform {
namespace {

// The dictionary index's former hash of an eight-byte key. It had no secret: anyone reading
// the code could search out keys that all land in one slot.
uint64_t unkeyedHash(const char* key) {
  uint64_t word;
  std::memcpy(&word, key, 8);
  uint64_t h = (0x9E3779B97F4A7C15ull ^ (8 * 0xFF51AFD7ED558CCDull) ^ word) * 0xBF58476D1CE4E5B9ull;
  h ^= h >> 31;
  h ^= h >> 29;
  return h * 0x94D049BB133111EBull;
}

// `count` printable keys of eight bytes that the unkeyed hash puts in one slot of an index of
// `slots` slots, found by trying candidates in turn, as a server could.
std::vector<std::string> keysFloodingTheUnkeyedHash(size_t count, size_t slots) {
  std::vector<std::string> keys;
  char candidate[8];
  for (uint32_t i = 0; keys.size() < count; ++i) {
    for (int digit = 0; digit < 8; ++digit) candidate[digit] = "0123456789abcdef"[(i >> (4 * digit)) & 15];
    if ((unkeyedHash(candidate) & (slots - 1)) == 0) keys.emplace_back(candidate, 8);
  }
  return keys;
}

// Steps a lookup of every key of the dictionary takes through its index: one when the key
// sits in its own slot, one more for each other key it passes on the way.
size_t probesToFindEveryKey(const Value& dictionary) {
  const detail::DictionaryBlock* block = detail::ValueAccess::dictionaryBlock(dictionary);
  const uint32_t* index = block->index();
  if (!index) return 0;
  const size_t mask = detail::indexSlots(block->size) - 1;
  size_t probes = 0;
  for (uint32_t i = 0; i < block->size; ++i) {
    size_t slot = detail::keyHash(block->entries()[i].key()) & mask;
    for (++probes; index[slot] != i + 1; slot = (slot + 1) & mask) ++probes;
  }
  return probes;
}

// Keys made to collide without the process's secret cost what ordinary keys cost, whether a
// dictionary is built by setting them one by one or read whole into a tree; and every key is
// still found, the last value of a repeated one kept.
TEST(ValueTest, KeysChosenToCollideWithoutTheSecretCostWhatOrdinaryKeysCost) {
  constexpr size_t kKeys = 1024;
  const size_t slots = detail::indexSlots(kKeys);
  std::vector<std::string> ordinary;
  for (size_t i = 0; i < kKeys; ++i) ordinary.push_back("key" + std::to_string(i));
  const std::vector<std::string> flooding = keysFloodingTheUnkeyedHash(kKeys, slots);

  struct Case {
    const char* name;
    const std::vector<std::string>& keys;
  };
  const Case cases[] = {{"ordinary keys", ordinary}, {"keys flooding the unkeyed hash", flooding}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dictionary set;
    ValueStack stack;
    const ValueStack::Mark top = stack.mark();
    for (size_t i = 0; i < kKeys; ++i) {
      set.set(c.keys[i], static_cast<int>(i));
      stack.pushKey(c.keys[i]);
      stack.push(static_cast<int>(i));
    }
    // A repeat of the first key, which keeps its place and takes this member.
    stack.pushKey(c.keys[0]);
    stack.push(-1);
    stack.closeDictionary(top);
    const Value built(std::move(set));
    const Value read = stack.take();

    ASSERT_EQ(built.size(), kKeys);
    ASSERT_EQ(read.size(), kKeys);
    for (size_t i = 0; i < kKeys; ++i) {
      EXPECT_EQ(built[c.keys[i]], Value(static_cast<int>(i))) << c.keys[i];
      EXPECT_EQ(read[c.keys[i]], Value(i == 0 ? -1 : static_cast<int>(i))) << c.keys[i];
    }
    // Half full, an index of linear probes finds a key in 1.5 steps on average; every key in
    // one slot would take kKeys / 2.
    EXPECT_LE(probesToFindEveryKey(built), 2 * kKeys);
    EXPECT_LE(probesToFindEveryKey(read), 2 * kKeys);
  }
}

}  // namespace
}  // namespace platform
