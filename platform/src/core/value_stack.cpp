#include "platform/value_stack.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/keyed_hash.h"
#include "value_tree.h"

namespace platform {

using detail::ArrayBlock;
using detail::DictionaryBlock;
using detail::ValueAccess;

ValueStack::Slots::~Slots() {
  clear();
  ::operator delete(data_);
}

void ValueStack::Slots::clear() {
  for (size_t i = 0; i < size_; ++i) data_[i].~Value();
  size_ = 0;
}

void ValueStack::Slots::grow(size_t count) {
  const size_t capacity = std::max({count, capacity_ * 2, size_t{16}});
  auto* data = static_cast<Value*>(::operator new(capacity * sizeof(Value)));
  if (size_) std::memcpy(static_cast<void*>(data), static_cast<const void*>(data_), size_ * sizeof(Value));
  ::operator delete(data_);
  data_ = data;
  capacity_ = capacity;
}

ValueStack::~ValueStack() { clear(); }

ValueStack::Mark ValueStack::mark() const {
  return {values_.size(), keys_.size(), arena_ ? arena_->used() : 0};
}

namespace {
// What the tree's memory took since `from` was marked (all of it, if the mark came from
// before this tree).
size_t partSince(const detail::ValueArena& tree, const ValueStack::Mark& from) {
  const size_t used = tree.used();
  return used >= from.tree ? used - from.tree : used;
}
}  // namespace

void ValueStack::reserve(size_t members) {
  values_.reserve(members);
  keys_.reserve(members);
}

detail::ValueArena& ValueStack::arena() {
  // Ad answers and lists make trees of a little less than twice their text: the first chunk
  // holds them whole, and later ones are small.
  if (!arena_) arena_ = detail::ValueArena::create(expectedText_ + expectedText_ * 7 / 8, expectedText_ > 0);
  return *arena_;
}

void ValueStack::letGoOfArena() {
  if (arena_) arena_->unref();
  arena_ = nullptr;
  expectedText_ = 0;
}

void ValueStack::pushText(Value::Type type, std::string_view text) {
  ValueAccess::placeTreeText(type, text, [this]() -> detail::ValueArena& { return arena(); },
                             [this] { return values_.slot(); });
}

size_t ValueStack::pushKey(std::string_view text) {
  ValueAccess::placeTreeText(Value::Type::String, text, [this]() -> detail::ValueArena& { return arena(); },
                             [this] { return keys_.slot(); });
  return keys_.size() - 1;
}

void ValueStack::settle(Value& member) {
  // The member is on top of the stack: a failure takes it off again.
  try {
    ValueAccess::settleInto(member, arena());
    if (ValueAccess::isHeldData(member)) arena().reserveAdoption(1);
  } catch (...) {
    member.~Value();
    values_.forget(values_.size() - 1);
    throw;
  }
}

void ValueStack::closeArray(const Mark& from) {
  const size_t count = values_.size() - from.values;
  if (count == 0) {
    values_.emplace(Array());
    return;
  }
  detail::ValueArena& tree = arena();
  ArrayBlock* block = detail::newTreeArrayBlock(tree, count);
  block->partBytes = partSince(tree, from);
  Value* items = block->items();
  std::memcpy(static_cast<void*>(items), static_cast<const void*>(values_.data() + from.values), count * sizeof(Value));
  values_.forget(from.values);
  // Data is released with the tree, in room reserved when it was pushed.
  for (size_t i = 0; i < count; ++i)
    if (ValueAccess::isHeldData(items[i])) tree.adopt(items + i);
  // Where the members were: no allocation.
  ValueAccess::setTreeArray(values_.emplace(), block);
}

void ValueStack::closeDictionary(const Mark& from) {
  const size_t count = keys_.size() - from.keys;
  if (count == 0) {
    values_.emplace(Dictionary());
    return;
  }
  detail::ValueArena& tree = arena();
  DictionaryBlock* block = detail::newTreeDictionaryBlock(tree, count);
  block->partBytes = partSince(tree, from);
  DictionaryEntry* entries = block->entries();
  Value* members = values_.data() + from.values;
  Value* keys = keys_.data() + from.keys;
  for (size_t i = 0; i < count; ++i) ValueAccess::makeEntry(entries + i, std::move(keys[i]), std::move(members[i]));
  values_.forget(from.values);
  keys_.forget(from.keys);
  // Data is released with the tree, in room reserved when it was pushed, even when the
  // dropping of repeated keys fails half-way (past the entries kept, the members are null).
  struct Adopt {
    detail::ValueArena& tree;
    DictionaryEntry* entries;
    size_t count;
    ~Adopt() {
      for (size_t i = 0; i < count; ++i)
        if (ValueAccess::isHeldData(entries[i].second)) tree.adopt(&entries[i].second);
    }
  } adopt{tree, entries, count};
  const bool indexed = count >= detail::kTreeIndexThreshold;
  if (!(indexed ? detail::fillIndex(block, reinterpret_cast<uint32_t*>(entries + count)) : detail::keysUnique(block))) {
    // Rare: a repeated key keeps its first place and its last member. The index of what is
    // left fits where the entries dropped and the first index were.
    KeyedTextMap<uint32_t> firstPlace;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
      auto [at, isNew] = firstPlace.emplace(std::string(entries[i].key()), kept);
      if (!isNew) {
        entries[at->second].second = std::move(entries[i].second);
      } else if (kept++ != i) {
        DictionaryEntry& to = entries[kept - 1];
        ValueAccess::keyOf(to) = std::move(ValueAccess::keyOf(entries[i]));
        to.second = std::move(entries[i].second);
      }
    }
    block->size = kept;
    if (kept >= detail::kTreeIndexThreshold) {
      auto* keptIndex = reinterpret_cast<uint32_t*>(entries + kept);
      std::memset(keptIndex, 0, detail::indexSlots(kept) * sizeof(uint32_t));
      detail::fillIndex(block, keptIndex);
    }
  }
  ValueAccess::setTreeDictionary(values_.emplace(), block);
}

Value ValueStack::take() {
  Value result(std::move(values_.data()[values_.size() - 1]));
  values_.forget(values_.size() - 1);
  ValueAccess::hold(result);
  if (values_.size() == 0 && keys_.size() == 0) letGoOfArena();
  return result;
}

void ValueStack::clear() {
  values_.clear();
  keys_.clear();
  letGoOfArena();
}

}  // namespace platform
