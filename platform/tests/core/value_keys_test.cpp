#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "../../src/core/value_tree.h"
#include "platform/keyed_hash.h"
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

// The standard library's string hash as GCC's library computes it for a 64-bit size_t. Each of
// its steps can be undone, so keys sharing one value are made directly, not searched for.
constexpr uint64_t kStandardMul = 0xc6a4a7935bd1e995ull;
uint64_t shiftMix(uint64_t v) { return v ^ (v >> 47); }
uint64_t mixWord(uint64_t word) { return shiftMix(word * kStandardMul) * kStandardMul; }
uint64_t unmixWord(uint64_t mixed) {
  uint64_t inverse = kStandardMul;  // Newton's iteration, each step doubling the bits right
  for (int i = 0; i < 5; ++i) inverse *= 2 - kStandardMul * inverse;
  return shiftMix(mixed * inverse) * inverse;
}
uint64_t standardHash(const std::string& key) {
  uint64_t h = 0xc70f6907ull ^ (key.size() * kStandardMul);
  for (size_t at = 0; at + 8 <= key.size(); at += 8) {
    uint64_t word;
    std::memcpy(&word, key.data() + at, 8);
    h = (h ^ mixWord(word)) * kStandardMul;
  }
  return shiftMix(shiftMix(h) * kStandardMul);
}

// `count` keys of sixteen bytes with one standard hash: any first half, and the second half
// that brings the state back to one value.
std::vector<std::string> keysFloodingTheStandardHash(size_t count) {
  std::vector<std::string> keys;
  const uint64_t start = 0xc70f6907ull ^ (16 * kStandardMul);
  for (uint64_t i = 0; keys.size() < count; ++i) {
    char key[16];
    for (int digit = 0; digit < 8; ++digit) key[digit] = "0123456789abcdef"[(i >> (4 * digit)) & 15];
    uint64_t first;
    std::memcpy(&first, key, 8);
    const uint64_t second = unmixWord((start ^ mixWord(first)) * kStandardMul);
    std::memcpy(key + 8, &second, 8);
    keys.emplace_back(key, 16);
  }
  return keys;
}

// The most keys a table of outside text puts in one bucket.
size_t largestBucket(const std::vector<std::string>& keys) {
  const KeyedTextSet table(keys.begin(), keys.end());
  size_t largest = 0;
  for (size_t b = 0; b < table.bucket_count(); ++b) largest = std::max(largest, table.bucket_size(b));
  return largest;
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
    size_t slot = KeyedHash{}(block->entries()[i].key()) & mask;
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
  const std::vector<std::string> floodingStandard = keysFloodingTheStandardHash(kKeys);
  ASSERT_EQ(standardHash(floodingStandard[0]), standardHash(floodingStandard[kKeys - 1]));
#if defined(__GLIBCXX__)
  if constexpr (sizeof(size_t) == 8) {
    ASSERT_EQ(std::hash<std::string>{}(floodingStandard[0]), standardHash(floodingStandard[0]));
    const std::unordered_set<std::string> standard(floodingStandard.begin(), floodingStandard.end());
    ASSERT_EQ(standard.bucket_size(standard.bucket(floodingStandard[0])), kKeys);
  }
#endif

  struct Case {
    const char* name;
    const std::vector<std::string>& keys;
  };
  const Case cases[] = {{"ordinary keys", ordinary},
                        {"keys flooding the unkeyed hash", flooding},
                        {"keys flooding the standard hash", floodingStandard}};
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
    // Tables of outside text (repeated JSON keys, an HTML tag's attribute names) spread them
    // as evenly: one in a bucket on average, never dozens.
    EXPECT_LE(largestBucket(c.keys), 16u);
  }
}

}  // namespace
}  // namespace platform
