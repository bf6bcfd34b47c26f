#pragma once
// How values keep their containers: an array's values and a dictionary's entries follow a
// small header in one block. A block either belongs to one value alone or lives in a tree's
// arena, shared by every value that holds a part of the tree and never changed once built.
// A tree holds nothing but itself and data: members made elsewhere are copied into it, so no
// tree keeps another (or itself) alive, and releasing one never reaches into another.
#include <atomic>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "platform/keyed_hash.h"
#include "platform/value.h"

namespace platform::detail {

// The memory of one tree: blocks handed out one after the other from the bottom of chunks and
// texts from their top, freed together when the last value holding a part of the tree lets
// go. Each chunk begins with the arena's address, so a block of the tree finds its arena from
// its own offset in its chunk.
class ValueArena {
 public:
  // A new arena, held once, whose first chunk has room for about `firstBytes`: a tree's
  // likely size, when `sized`, or a start.
  static ValueArena* create(size_t firstBytes, bool sized);
  static ValueArena* of(const void* block, uint32_t offsetInChunk) {
    return *reinterpret_cast<ValueArena* const*>(static_cast<const char*>(block) - offsetInChunk);
  }

  // 8-aligned room for a block; `offsetInChunk` says where it lies in its chunk.
  void* allocate(size_t bytes, uint32_t& offsetInChunk) {
    bytes = (bytes + 7) & ~size_t{7};
    if (bytes > static_cast<size_t>(textStart_ - cursor_)) newChunk(bytes);
    void* at = cursor_;
    offsetInChunk = static_cast<uint32_t>(cursor_ - chunkStart_);
    cursor_ += bytes;
    return at;
  }
  // A NUL-terminated copy of `text`, not aligned.
  const char* copyText(std::string_view text) {
    if (text.size() + 1 > static_cast<size_t>(textStart_ - cursor_)) newChunk(text.size() + 1);
    textStart_ -= text.size() + 1;
    std::memcpy(textStart_, text.data(), text.size());
    textStart_[text.size()] = 0;
    return textStart_;
  }

  void ref() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void unref() noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy();
  }
  // Data placed in the tree, released with it. Room for `count` more is made first, so that
  // adopting cannot fail once members have been moved into the tree.
  void reserveAdoption(size_t count);
  void adopt(Value* data) noexcept;

  // The memory the tree holds, and what of it is handed out so far (the difference between two
  // counts is what was built in between).
  size_t bytes() const { return allocated_; }
  size_t used() const { return allocated_ - static_cast<size_t>(textStart_ - cursor_); }
  // The memory every tree alive holds together.
  static size_t bytesHeld() { return held_.load(std::memory_order_relaxed); }

 private:
  // Where every chunk begins.
  struct Chunk {
    ValueArena* arena;
    Chunk* next;
  };
  ValueArena() = default;
  void newChunk(size_t bytes);
  void destroy() noexcept;

  std::atomic<size_t> refs_{1};
  char* chunkStart_ = nullptr;
  char* cursor_ = nullptr;
  char* textStart_ = nullptr;
  Chunk* chunks_ = nullptr;  // the chunks after the first, which holds the arena itself
  size_t allocated_ = 0;
  // A tree that outgrows a first chunk sized for it takes small steps; one of unknown size
  // doubles.
  unsigned growthShift_ = 0;
  std::vector<Value*>* adopted_ = nullptr;
  size_t reserved_ = 0;  // adoptions the vector has room for, promised to members on their way
  static std::atomic<size_t> held_;
};

// An array's values follow its header. Its second word tells a block of its own (its
// capacity) from one of a tree (kInTree and its offset in its chunk).
constexpr uint32_t kInTree = 0x80000000u;

struct ArrayBlock {
  uint32_t size;
  uint32_t capacityOrPlace;
  union {
    // A block of a tree: the tree's bytes that this part and everything in it took.
    size_t partBytes;
    // A block of its own: the tree it was copied from when a change made it its container's
    // own, kept while the block lives so that what was read from the tree before stays valid.
    ValueArena* keeps;
    // A block of its own being released: the next one waiting.
    void* nextReleased;
  };
  bool inTree() const { return capacityOrPlace & kInTree; }
  uint32_t capacity() const { return capacityOrPlace; }
  ValueArena* arena() const { return ValueArena::of(this, capacityOrPlace & ~kInTree); }
  Value* items() { return reinterpret_cast<Value*>(this + 1); }
};
static_assert(sizeof(ArrayBlock) % alignof(Value) == 0);

// A dictionary's entries follow its header, as an array's values do. Past a few entries, an
// open-addressing table of positions (position + 1; 0 is empty), whose slot count follows from
// `size` (indexSlots), makes lookups constant: a tree's block keeps it right after its entries,
// a block of its own keeps its address after its room for entries.
struct DictionaryBlock {
  uint32_t size;
  uint32_t capacityOrPlace;
  union {  // as an array's
    size_t partBytes;
    ValueArena* keeps;
    void* nextReleased;
  };
  bool inTree() const { return capacityOrPlace & kInTree; }
  uint32_t capacity() const { return capacityOrPlace; }
  ValueArena* arena() const { return ValueArena::of(this, capacityOrPlace & ~kInTree); }
  DictionaryEntry* entries() { return reinterpret_cast<DictionaryEntry*>(this + 1); }
  const DictionaryEntry* entries() const { return reinterpret_cast<const DictionaryEntry*>(this + 1); }
  uint32_t* const* heapIndexSlot() const { return reinterpret_cast<uint32_t* const*>(entries() + capacityOrPlace); }
  uint32_t*& heapIndex() { return *reinterpret_cast<uint32_t**>(entries() + capacityOrPlace); }
  const uint32_t* index() const;
};
static_assert(sizeof(DictionaryBlock) % alignof(DictionaryEntry) == 0);

// Entries from which a dictionary of its own keeps an index, and one of a tree (whose entries
// are compared by size first, and whose index would cost room for every document read).
constexpr size_t kIndexThreshold = 12;
constexpr size_t kTreeIndexThreshold = 32;
// Slots of the index of `count` entries: at least twice as many, a power of two.
inline size_t indexSlots(size_t count) {
  size_t slots = 32;
  while (slots < count * 2) slots *= 2;
  return slots;
}

// A block of `count` values, or of room for `count` entries (and their index, zeroed, when
// they are as many as to have one), in `arena`'s tree; its values or entries are not made yet
// and its part is 0 until its maker knows it.
ArrayBlock* newTreeArrayBlock(ValueArena& arena, size_t count);
DictionaryBlock* newTreeDictionaryBlock(ValueArena& arena, size_t count);

inline const uint32_t* DictionaryBlock::index() const {
  if (inTree()) return size >= kTreeIndexThreshold ? reinterpret_cast<const uint32_t*>(entries() + size) : nullptr;
  return *heapIndexSlot();
}

// A copy of a part of a tree keeps the tree when the part took at least this share of it, or
// when the tree is this small; a smaller part is copied out of it.
constexpr size_t kPartShare = 8;
constexpr size_t kSmallTree = 4096;
template <class Block>
bool keepsTree(const Block* block) {
  const size_t whole = block->arena()->bytes();
  return whole <= kSmallTree || block->partBytes >= whole / kPartShare;
}

// The parts of a value the tree builder and the containers reach into.
struct ValueAccess {
  static uint8_t storage(const Value& v) { return v.storage(); }
  // A text of `type`, longer than a value holds in place, whose characters lie in a tree.
  static void setTreeText(Value& v, Value::Type type, std::string_view text, ValueArena& arena);
  // A text of `type` for a tree, made at what `at()` gives: in place when it is short,
  // otherwise its characters copied into the tree `arena()` gives (asked for only then),
  // before `at()` is asked, so that a copy that fails has taken no room.
  template <class GetArena, class GetAt>
  static void placeTreeText(Value::Type type, std::string_view text, GetArena&& arena, GetAt&& at) {
    if (text.size() <= Value::kInlineText) {
      Value::placeInlineText(at(), type, text);
      return;
    }
    Value made;
    setTreeText(made, type, text, arena());
    new (at()) Value(std::move(made));
  }
  // A container of the tree, not held by `v`.
  static void setTreeArray(Value& v, ArrayBlock* block) {
    v.tag_ = static_cast<uint8_t>(Value::Type::Array) | Value::kTree;
    new (&v.array_) Array();
    v.array_.block_ = block;
  }
  static void setTreeDictionary(Value& v, DictionaryBlock* block) {
    v.tag_ = static_cast<uint8_t>(Value::Type::Dictionary) | Value::kTree;
    new (&v.dictionary_) Dictionary();
    v.dictionary_.block_ = block;
  }
  // Leaves a container's value null without releasing its block, which the caller has taken.
  static void clearContainer(Value& v) { v.tag_ = 0; }
  static ArrayBlock* arrayBlock(const Value& v) { return v.array_.block_; }
  static DictionaryBlock* dictionaryBlock(const Value& v) { return v.dictionary_.block_; }
  // Makes a value of the tree one that holds its part (and the tree) by itself.
  static void hold(Value& v);
  // Makes a value that holds storage of its own part of `arena`'s tree: its text or container
  // copied in (a part of the same tree is let go of and used as it is). Data stays as it is,
  // for the tree to adopt (`isHeldData`); an empty container holds nothing.
  static void settleInto(Value& v, ValueArena& arena);
  // Makes `result` (null) a copy of `source` built in `arena`'s tree, sharing what of it is
  // part of that tree already. Whatever a copy that fails half-way made belongs to the tree.
  static void copyIntoTree(Value& result, const Value& source, ValueArena& arena);
  static bool isHeldData(const Value& v) { return v.storage() == Value::kHeap && v.isData(); }
  // One step of a copy into storage of its own: `to`, null, becomes a copy of `from`. A
  // container gets its block at once, linked before its members are queued as further steps,
  // so a copy that fails half-way is whole enough to be released from its top. `whole` copies
  // a part of a tree out whatever its size.
  struct CopyStep {
    Value* to;
    const Value* from;
    bool whole;
  };
  static void copyStep(const CopyStep& step, std::vector<CopyStep>& work);
  static void copySteps(std::vector<CopyStep>& work) {
    while (!work.empty()) {
      const CopyStep step = work.back();
      work.pop_back();
      copyStep(step, work);
    }
  }
  static Value& keyOf(DictionaryEntry& e) { return e.key_; }
  static DictionaryEntry* makeEntry(void* at, Value&& key, Value&& value) {
    return new (at) DictionaryEntry(std::move(key), std::move(value));
  }
};

// Fills `index` (zeroed, its slots as many as `block`'s size asks) for `block` and tells
// whether every key is unique; fills it only as far as the first repeat.
bool fillIndex(const DictionaryBlock* block, uint32_t* index);
// True when no key of the block's entries repeats another (small blocks, no index).
bool keysUnique(const DictionaryBlock* block);

}  // namespace platform::detail
