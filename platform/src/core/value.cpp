#include "platform/value.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <stdexcept>

#include "value_tree.h"

namespace platform {

using detail::ArrayBlock;
using detail::DictionaryBlock;
using detail::ValueAccess;
using detail::ValueArena;

namespace {
const Bytes kEmptyBytes;
const Array kEmptyArray;
const Dictionary kEmptyDictionary;

uint32_t checkedSize(size_t size) {
  if (size > std::numeric_limits<uint32_t>::max()) throw std::length_error("value too large");
  return static_cast<uint32_t>(size);
}

char* newText(std::string_view text) {
  char* chars = static_cast<char*>(::operator new(text.size() + 1));
  std::memcpy(chars, text.data(), text.size());
  chars[text.size()] = 0;
  return chars;
}
}  // namespace

// Arena

namespace detail {

namespace {
constexpr size_t kMinChunk = 1024;
// Offsets in a chunk stay below kInTree: larger chunks hold one block alone, at their start.
constexpr size_t kMaxChunk = size_t{1} << 30;
constexpr size_t kChunkHeader = 16;
}  // namespace

ValueArena* ValueArena::create(size_t firstBytes, bool sized) {
  static_assert(sizeof(Chunk) <= kChunkHeader);
  const size_t room = std::clamp(firstBytes, kMinChunk, kMaxChunk);
  const size_t header = kChunkHeader + ((sizeof(ValueArena) + 7) & ~size_t{7});
  char* memory = static_cast<char*>(::operator new(header + room));
  auto* arena = new (memory + kChunkHeader) ValueArena();
  new (memory) Chunk{arena, nullptr};
  arena->chunkStart_ = memory;
  arena->cursor_ = memory + header;
  arena->textStart_ = memory + header + room;
  arena->allocated_ = room;
  arena->growthShift_ = sized ? 3 : 0;
  held_.fetch_add(room, std::memory_order_relaxed);
  return arena;
}

void ValueArena::newChunk(size_t bytes) {
  const size_t room = std::max({(bytes + 7) & ~size_t{7}, std::min(allocated_ >> growthShift_, kMaxChunk), kMinChunk});
  char* memory = static_cast<char*>(::operator new(kChunkHeader + room));
  chunks_ = new (memory) Chunk{this, chunks_};
  allocated_ += room;
  held_.fetch_add(room, std::memory_order_relaxed);
  chunkStart_ = memory;
  cursor_ = memory + kChunkHeader;
  textStart_ = memory + kChunkHeader + room;
}

std::atomic<size_t> ValueArena::held_{0};

void ValueArena::reserveAdoption(size_t count) {
  if (!adopted_) adopted_ = new std::vector<Value*>();
  const size_t wanted = adopted_->size() + reserved_ + count;
  if (wanted > adopted_->capacity()) adopted_->reserve(std::max(wanted, adopted_->capacity() * 2));
  reserved_ += count;
}

void ValueArena::adopt(Value* data) noexcept {
  // Within the room reserved: the vector does not allocate.
  --reserved_;
  adopted_->push_back(data);
}

void ValueArena::destroy() noexcept {
  // Data only: releasing a tree releases no other tree, and allocates nothing.
  if (adopted_) {
    for (Value* value : *adopted_) value->~Value();
    delete adopted_;
  }
  held_.fetch_sub(allocated_, std::memory_order_relaxed);
  for (Chunk* chunk = chunks_; chunk;) {
    Chunk* next = chunk->next;
    ::operator delete(chunk);
    chunk = next;
  }
  char* first = reinterpret_cast<char*>(this) - kChunkHeader;
  this->~ValueArena();
  ::operator delete(static_cast<void*>(first));
}

void ValueAccess::setTreeText(Value& v, Value::Type type, std::string_view text, ValueArena& arena) {
  v.chars_ = arena.copyText(text);
  v.size_ = checkedSize(text.size());
  v.tag_ = static_cast<uint8_t>(type) | Value::kTree;
}

void ValueAccess::hold(Value& v) {
  if (v.storage() != Value::kTree) return;
  switch (v.type()) {
    case Value::Type::Array:
      v.array_.block_->arena()->ref();
      v.tag_ = static_cast<uint8_t>(Value::Type::Array) | Value::kHeap;
      break;
    case Value::Type::Dictionary:
      v.dictionary_.block_->arena()->ref();
      v.tag_ = static_cast<uint8_t>(Value::Type::Dictionary) | Value::kHeap;
      break;
    default: {
      // A text cannot find its tree: it takes a copy of its own.
      const Value::Type type = v.type();
      const std::string_view text = v.text();
      v.setText(type, text);
    }
  }
}

void ValueAccess::settleInto(Value& v, ValueArena& arena) {
  if (v.storage() != Value::kHeap) return;
  switch (v.type()) {
    case Value::Type::String:
    case Value::Type::Decimal: {
      char* held = const_cast<char*>(v.chars_);
      setTreeText(v, v.type(), std::string_view(held, v.size_), arena);
      ::operator delete(held);
      return;
    }
    case Value::Type::Array:
    case Value::Type::Dictionary: {
      const bool isArray = v.isArray();
      const void* block = isArray ? static_cast<const void*>(v.array_.block_) : v.dictionary_.block_;
      if (!block) return;
      const bool sameTree = isArray ? v.array_.block_->inTree() && v.array_.block_->arena() == &arena
                                    : v.dictionary_.block_->inTree() && v.dictionary_.block_->arena() == &arena;
      if (sameTree) {
        v.tag_ = static_cast<uint8_t>(v.type()) | Value::kTree;
        arena.unref();
        return;
      }
      Value copy;
      copyIntoTree(copy, v, arena);
      v.release();
      v.moveFrom(copy);
      return;
    }
    default: return;
  }
}

void ValueAccess::copyIntoTree(Value& result, const Value& source, ValueArena& arena) {
  // Top down from a work list, each block written before its members are copied into it. A
  // block's part is what the arena handed out from its start until its last member is done:
  // a step with no value marks that point, queued under the block's members.
  struct Step {
    Value* to;
    const Value* from;
    size_t* partBytes;
    size_t start;
  };
  auto treeArena = [&arena]() -> ValueArena& { return arena; };
  std::vector<Step> work{{&result, &source, nullptr, 0}};
  while (!work.empty()) {
    const Step step = work.back();
    work.pop_back();
    if (!step.to) {
      *step.partBytes = arena.used() - step.start;
      continue;
    }
    Value& to = *step.to;
    const Value& from = *step.from;
    switch (from.type()) {
      case Value::Type::String:
      case Value::Type::Decimal: placeTreeText(from.type(), from.text(), treeArena, [&to] { return &to; }); break;
      case Value::Type::Data:
        arena.reserveAdoption(1);
        to.bytes_ = new Bytes(*from.bytes_);
        to.tag_ = static_cast<uint8_t>(Value::Type::Data) | Value::kHeap;
        arena.adopt(&to);
        break;
      case Value::Type::Array: {
        const ArrayBlock* source = from.array_.block_;
        if (!source || source->size == 0) {
          new (&to) Value(Array());
        } else if (source->inTree() && source->arena() == &arena) {
          setTreeArray(to, const_cast<ArrayBlock*>(source));
        } else {
          const size_t start = arena.used();
          ArrayBlock* block = newTreeArrayBlock(arena, source->size);
          for (uint32_t i = 0; i < source->size; ++i) new (block->items() + i) Value();
          setTreeArray(to, block);
          work.push_back({nullptr, nullptr, &block->partBytes, start});
          for (uint32_t i = 0; i < source->size; ++i)
            work.push_back({block->items() + i, const_cast<ArrayBlock*>(source)->items() + i, nullptr, 0});
        }
        break;
      }
      case Value::Type::Dictionary: {
        const DictionaryBlock* source = from.dictionary_.block_;
        if (!source || source->size == 0) {
          new (&to) Value(Dictionary());
        } else if (source->inTree() && source->arena() == &arena) {
          setTreeDictionary(to, const_cast<DictionaryBlock*>(source));
        } else {
          const size_t count = source->size;
          const size_t start = arena.used();
          DictionaryBlock* block = newTreeDictionaryBlock(arena, count);
          block->size = 0;  // counts the entries made so far
          setTreeDictionary(to, block);
          for (uint32_t i = 0; i < count; ++i) {
            Value key;
            placeTreeText(Value::Type::String, source->entries()[i].key(), treeArena, [&key] { return &key; });
            makeEntry(block->entries() + i, std::move(key), Value());
            block->size = i + 1;
          }
          // The keys of a dictionary are unique already.
          if (count >= kTreeIndexThreshold) fillIndex(block, reinterpret_cast<uint32_t*>(block->entries() + count));
          work.push_back({nullptr, nullptr, &block->partBytes, start});
          for (uint32_t i = 0; i < count; ++i)
            work.push_back({&block->entries()[i].second, &source->entries()[i].second, nullptr, 0});
        }
        break;
      }
      default: std::memcpy(static_cast<void*>(&to), static_cast<const void*>(&from), sizeof(Value));
    }
  }
}

ArrayBlock* newTreeArrayBlock(ValueArena& arena, size_t count) {
  uint32_t place;
  auto* block = static_cast<ArrayBlock*>(arena.allocate(sizeof(ArrayBlock) + count * sizeof(Value), place));
  block->size = static_cast<uint32_t>(count);
  block->capacityOrPlace = kInTree | place;
  block->partBytes = 0;
  return block;
}

DictionaryBlock* newTreeDictionaryBlock(ValueArena& arena, size_t count) {
  const bool indexed = count >= kTreeIndexThreshold;
  const size_t slots = indexed ? indexSlots(count) : 0;
  uint32_t place;
  auto* block = static_cast<DictionaryBlock*>(
      arena.allocate(sizeof(DictionaryBlock) + count * sizeof(DictionaryEntry) + slots * sizeof(uint32_t), place));
  block->size = static_cast<uint32_t>(count);
  block->capacityOrPlace = kInTree | place;
  block->partBytes = 0;
  if (indexed) std::memset(reinterpret_cast<uint32_t*>(block->entries() + count), 0, slots * sizeof(uint32_t));
  return block;
}

bool fillIndex(const DictionaryBlock* block, uint32_t* index) {
  const size_t mask = indexSlots(block->size) - 1;
  const DictionaryEntry* entries = block->entries();
  for (uint32_t i = 0; i < block->size; ++i) {
    const StringRef key = entries[i].key();
    size_t slot = KeyedHash{}(key) & mask;
    for (; index[slot] != 0; slot = (slot + 1) & mask)
      if (entries[index[slot] - 1].key() == key) return false;
    index[slot] = i + 1;
  }
  return true;
}

bool keysUnique(const DictionaryBlock* block) {
  // One bit per class of length and last byte among the keys before: a key whose class is
  // new cannot repeat one of them, and is not compared.
  const DictionaryEntry* entries = block->entries();
  uint64_t classes = 0;
  for (uint32_t i = 0; i < block->size; ++i) {
    const StringRef key = entries[i].key();
    const unsigned last = key.empty() ? 0 : static_cast<unsigned char>(key.back());
    const uint64_t bit = uint64_t{1} << ((key.size() * 7 + last) & 63);
    if (classes & bit)
      for (uint32_t j = 0; j < i; ++j) {
        const StringRef other = entries[j].key();
        if (other.size() == key.size() && (key.empty() || (other.back() == key.back() && other == key))) return false;
      }
    classes |= bit;
  }
  return true;
}

}  // namespace detail

// Value

Value::Value(double d) noexcept { setScalar(Type::Double, std::bit_cast<uint64_t>(d)); }
Value::Value(Date d) noexcept { setScalar(Type::Date, std::bit_cast<uint64_t>(d.since1970)); }
Value::Value(Bytes data) {
  bytes_ = new Bytes(std::move(data));
  tag_ = static_cast<uint8_t>(Type::Data) | kHeap;
}
Value::Value(Array a) noexcept {
  new (&array_) Array(std::move(a));
  tag_ = static_cast<uint8_t>(Type::Array) | kHeap;
}
Value::Value(Dictionary d) noexcept {
  new (&dictionary_) Dictionary(std::move(d));
  tag_ = static_cast<uint8_t>(Type::Dictionary) | kHeap;
}

void Value::setText(Type type, std::string_view text) {
  if (text.size() <= kInlineText) {
    // Read whole before it is written: `text` may be this value's own.
    alignas(Value) unsigned char made[sizeof(Value)];
    placeInlineText(made, type, text);
    std::memcpy(static_cast<void*>(this), made, sizeof(Value));
    return;
  }
  const uint32_t size = checkedSize(text.size());
  chars_ = newText(text);
  size_ = size;
  tag_ = static_cast<uint8_t>(type) | kHeap;
}

void Value::moveFrom(Value& other) noexcept {
  // Every kind of content, a container's included, is a word or two that may move as bytes.
  std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(Value));
  other.tag_ = 0;
}

void Value::release() noexcept {
  switch (type()) {
    case Type::String:
    case Type::Decimal: ::operator delete(const_cast<char*>(chars_)); break;
    case Type::Data: delete bytes_; break;
    case Type::Array: array_.~Array(); break;
    case Type::Dictionary: dictionary_.~Dictionary(); break;
    default: break;
  }
  tag_ = 0;
}

namespace {
ArrayBlock* newArrayBlock(size_t capacity) {
  const uint32_t room = checkedSize(capacity);
  if (room & detail::kInTree) throw std::length_error("value too large");
  auto* block = static_cast<ArrayBlock*>(::operator new(sizeof(ArrayBlock) + capacity * sizeof(Value)));
  block->size = 0;
  block->capacityOrPlace = room;
  block->keeps = nullptr;
  return block;
}

// A block of its own, with room for its index's address after its entries.
DictionaryBlock* newDictionaryBlock(size_t capacity) {
  const uint32_t room = checkedSize(capacity);
  if (room & detail::kInTree) throw std::length_error("value too large");
  auto* block = static_cast<DictionaryBlock*>(
      ::operator new(sizeof(DictionaryBlock) + capacity * sizeof(DictionaryEntry) + sizeof(uint32_t*)));
  block->size = 0;
  block->capacityOrPlace = room;
  block->keeps = nullptr;
  block->heapIndex() = nullptr;
  return block;
}

// Gives a block of its own the index its size asks for (none below the threshold).
void rebuildIndex(DictionaryBlock* block);

using CopyStep = ValueAccess::CopyStep;

// A block of its own with room for `capacity` values, made `link` at once and holding null
// values where `source`'s go, whose copies are queued on `work`.
void startCopy(const ArrayBlock* source, size_t capacity, bool whole, ArrayBlock*& link,
                    std::vector<CopyStep>& work) {
  ArrayBlock* copy = newArrayBlock(capacity);
  for (uint32_t i = 0; i < source->size; ++i) new (copy->items() + i) Value();
  copy->size = source->size;
  link = copy;
  Value* from = const_cast<ArrayBlock*>(source)->items();
  for (uint32_t i = 0; i < source->size; ++i) work.push_back({copy->items() + i, from + i, whole});
}

// As for an array, with the keys copied and indexed at once.
void startCopy(const DictionaryBlock* source, size_t capacity, bool whole, DictionaryBlock*& link,
               std::vector<CopyStep>& work) {
  DictionaryBlock* copy = newDictionaryBlock(capacity);
  link = copy;
  for (uint32_t i = 0; i < source->size; ++i) {
    ValueAccess::makeEntry(copy->entries() + i, Value(source->entries()[i].key()), Value());
    copy->size = i + 1;
  }
  rebuildIndex(copy);
  for (uint32_t i = 0; i < source->size; ++i)
    work.push_back({&copy->entries()[i].second, &source->entries()[i].second, whole});
}
}  // namespace

namespace {
// The block of a container's copy, made `link`: a part of a tree large enough shares the tree.
template <class Block>
void copyContainer(const Block* source, bool whole, Block*& link, std::vector<CopyStep>& work) {
  if (!source || source->size == 0) return;
  if (source->inTree() && !whole && detail::keepsTree(source)) {
    source->arena()->ref();
    link = const_cast<Block*>(source);
    return;
  }
  startCopy(source, source->size, whole || source->inTree(), link, work);
}
}  // namespace

void ValueAccess::copyStep(const CopyStep& step, std::vector<CopyStep>& work) {
  Value& to = *step.to;
  const Value& from = *step.from;
  switch (from.type()) {
    case Value::Type::Array:
      new (&to.array_) Array();
      to.tag_ = static_cast<uint8_t>(Value::Type::Array) | Value::kHeap;
      copyContainer(from.array_.block_, step.whole, to.array_.block_, work);
      return;
    case Value::Type::Dictionary:
      new (&to.dictionary_) Dictionary();
      to.tag_ = static_cast<uint8_t>(Value::Type::Dictionary) | Value::kHeap;
      copyContainer(from.dictionary_.block_, step.whole, to.dictionary_.block_, work);
      return;
    default: to.copyShallowFrom(from);
  }
}

Value::Value(const Value& other) {
  if (other.storage() < kTree) {
    std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(Value));
    return;
  }
  // Built level by level from a work list: a recursive copy would take a stack frame per level.
  // A copy that fails is released from its top: each level is linked before the next is made.
  tag_ = 0;
  std::vector<ValueAccess::CopyStep> work;
  try {
    ValueAccess::copyStep({this, &other, false}, work);
    ValueAccess::copySteps(work);
  } catch (...) {
    if (storage() == kHeap) release();
    throw;
  }
}

void Value::copyShallowFrom(const Value& other) {
  const uint8_t where = other.storage();
  if (where == kNone || where == kInline) {
    std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(Value));
    return;
  }
  tag_ = 0;
  switch (other.type()) {
    case Type::String:
    case Type::Decimal: setText(other.type(), other.text()); break;
    case Type::Data:
      bytes_ = new Bytes(*other.bytes_);
      tag_ = static_cast<uint8_t>(Type::Data) | kHeap;
      break;
    default: break;  // containers are copied step by step (ValueAccess::copyStep)
  }
}

Value& Value::operator=(const Value& other) {
  if (this != &other) *this = Value(other);
  return *this;
}

Value& Value::operator=(Value&& other) noexcept {
  if (this == &other) return *this;
  // `other` may live inside this value: the old content is set aside whole, and released
  // only once `other` has been moved out of it.
  Value old(std::move(*this));
  moveFrom(other);
  return *this;
}

bool Value::hasChildren() const {
  if (isArray()) return !array_.empty();
  if (isDictionary()) return !dictionary_.empty();
  return false;
}

const Value& Value::null() {
  static const Value n;
  return n;
}

bool Value::isNumber() const {
  switch (type()) {
    case Type::Integer:
    case Type::Unsigned:
    case Type::Double:
    case Type::Decimal:
      return true;
    default:
      return false;
  }
}

const Bytes& Value::data() const { return isData() ? *bytes_ : kEmptyBytes; }
const Array& Value::array() const { return isArray() ? array_ : kEmptyArray; }
const Dictionary& Value::dictionary() const { return isDictionary() ? dictionary_ : kEmptyDictionary; }
double Value::dateValue() const { return isDate() ? std::bit_cast<double>(bits_) : 0; }

Array& Value::mutableArray() {
  if (!isArray()) *this = Value(Array());
  ValueAccess::hold(*this);
  return array_;
}

Dictionary& Value::mutableDictionary() {
  if (!isDictionary()) *this = Value(Dictionary());
  ValueAccess::hold(*this);
  return dictionary_;
}

const Value& Value::operator[](std::string_view key) const { return dictionary().get(key); }

const Value& Value::operator[](size_t index) const {
  const auto& a = array();
  return index < a.size() ? a[index] : null();
}

size_t Value::size() const {
  switch (type()) {
    case Type::Array: return array_.size();
    case Type::Dictionary: return dictionary_.size();
    case Type::String: return text().size();
    case Type::Data: return bytes_->size();
    default: return 0;
  }
}


// Releasing

namespace {
// Blocks of their own waiting to be released, linked through the word that kept their tree
// (let go of as a block joins): releasing goes through any depth in a loop, with no stack
// frame per level and no memory of its own, so that a destructor never allocates. A tree
// releases only itself and data.
class Releaser {
 public:
  void add(ArrayBlock* block) noexcept { push(block, 0); }
  void add(DictionaryBlock* block) noexcept { push(block, 1); }

  void run() noexcept {
    while (head_) {
      const uintptr_t item = head_;
      if (item & 1) {
        auto* block = reinterpret_cast<DictionaryBlock*>(item & ~uintptr_t{1});
        head_ = reinterpret_cast<uintptr_t>(block->nextReleased);
        for (uint32_t i = 0; i < block->size; ++i) {
          DictionaryEntry& entry = block->entries()[i];
          ValueAccess::keyOf(entry).~Value();
          member(entry.second);
        }
        delete[] block->heapIndex();
        ::operator delete(block);
      } else {
        auto* block = reinterpret_cast<ArrayBlock*>(item);
        head_ = reinterpret_cast<uintptr_t>(block->nextReleased);
        for (uint32_t i = 0; i < block->size; ++i) member(block->items()[i]);
        ::operator delete(block);
      }
    }
  }

 private:
  template <class Block>
  void push(Block* block, uintptr_t dictionary) noexcept {
    ValueArena* kept = block->keeps;
    block->nextReleased = reinterpret_cast<void*>(head_);
    head_ = reinterpret_cast<uintptr_t>(block) | dictionary;
    if (kept) kept->unref();
  }

  // A container whose block is its own joins the list; anything else goes at once.
  void member(Value& v) noexcept {
    if (ValueAccess::storage(v) == 0x30) {
      if (v.isArray()) {
        if (ArrayBlock* block = ValueAccess::arrayBlock(v); block && !block->inTree()) {
          ValueAccess::clearContainer(v);
          add(block);
          return;
        }
      } else if (v.isDictionary()) {
        if (DictionaryBlock* block = ValueAccess::dictionaryBlock(v); block && !block->inTree()) {
          ValueAccess::clearContainer(v);
          add(block);
          return;
        }
      }
    }
    v.~Value();
  }

  uintptr_t head_ = 0;
};

template <class Block>
void releaseBlock(Block* block) noexcept {
  Releaser releaser;
  releaser.add(block);
  releaser.run();
}

// A block of its own with room for `capacity` values or entries, holding copies of `source`'s
// (copied out whatever their size when `whole`); nothing is left behind when a copy fails.
template <class Block>
Block* copyBlock(const Block* source, size_t capacity, bool whole) {
  Block* copy = nullptr;
  std::vector<CopyStep> work;
  try {
    startCopy(source, capacity, whole, copy, work);
    ValueAccess::copySteps(work);
  } catch (...) {
    if (copy) releaseBlock(copy);
    throw;
  }
  return copy;
}

// A copy of a container shares the tree it came from while it is a large enough part of it
// (detail::keepsTree), and otherwise gets a block of its own.
template <class Block>
Block* shareOrCopy(Block* source) {
  if (!source || source->size == 0) return nullptr;
  if (source->inTree() && detail::keepsTree(source)) {
    source->arena()->ref();
    return source;
  }
  return copyBlock(source, source->size, source->inTree());
}

template <class Block>
void letGo(Block* block) {
  if (!block) return;
  if (block->inTree()) block->arena()->unref();
  else releaseBlock(block);
}
}  // namespace

// Array

Array::Array(std::initializer_list<Value> values) : Array() {
  // Delegating, so that a failing copy runs the destructor, which releases what was built.
  own(values.size());
  for (const Value& v : values) emplace_back(v);
}

Array::Array(const Array& other) : block_(shareOrCopy(other.block_)) {}

Array& Array::operator=(const Array& other) {
  if (this != &other) *this = Array(other);
  return *this;
}

Array& Array::operator=(Array&& other) noexcept {
  if (this != &other) {
    Array old(std::move(*this));
    block_ = other.block_;
    other.block_ = nullptr;
  }
  return *this;
}

Array::~Array() { letGo(block_); }

size_t Array::size() const { return block_ ? block_->size : 0; }
size_t Array::capacity() const { return block_ && !block_->inTree() ? block_->capacity() : size(); }
const Value* Array::begin() const { return block_ ? block_->items() : nullptr; }

Value* Array::begin() {
  if (!block_) return nullptr;
  own(block_->size);
  return block_ ? block_->items() : nullptr;
}

void Array::own(size_t capacity) {
  ArrayBlock* old = block_;
  const size_t size = old ? old->size : 0;
  if (old && !old->inTree() && old->capacity() >= capacity) return;
  capacity = std::max(capacity, size);
  // Only a container without a block asks for no room: a tree holds no empty blocks.
  if (capacity == 0) return;
  if (old && old->inTree()) {
    // The hold this array had on the tree passes to its new block: what was read from the
    // tree before the change stays valid while the array lives.
    block_ = copyBlock(old, capacity, false);
    block_->keeps = old->arena();
    return;
  }
  ArrayBlock* fresh = newArrayBlock(capacity);
  if (old) {
    for (uint32_t i = 0; i < old->size; ++i) new (fresh->items() + i) Value(std::move(old->items()[i]));
    fresh->size = old->size;
    fresh->keeps = old->keeps;
    ::operator delete(old);
  }
  block_ = fresh;
}

Value* Array::slotForAppend() {
  const size_t n = size();
  if (!block_ || block_->inTree() || n == block_->capacity()) own(std::max<size_t>(n + n / 2, n + 4));
  return block_->items() + block_->size++;
}

void Array::push_back(const Value& value) { emplace_back(value); }
void Array::push_back(Value&& value) { emplace_back(std::move(value)); }

void Array::pop_back() {
  own(size());
  block_->items()[--block_->size].~Value();
}

void Array::reserve(size_t count) {
  if (count > capacity()) own(count);
}

void Array::resize(size_t count) {
  const size_t n = size();
  if (count == n) return;
  own(count);
  if (!block_) return;
  for (size_t i = n; i < count; ++i) new (block_->items() + i) Value();
  for (size_t i = count; i < n; ++i) block_->items()[i].~Value();
  block_->size = static_cast<uint32_t>(count);
}

void Array::clear() { *this = Array(); }

Value* Array::insert(const Value* position, Value value) {
  const size_t at = static_cast<size_t>(position - cbegin());
  slotForAppend();
  Value* items = block_->items();
  for (size_t i = block_->size - 1; i > at; --i) new (items + i) Value(std::move(items[i - 1]));
  new (items + at) Value(std::move(value));
  return items + at;
}

Value* Array::erase(const Value* first, const Value* last) {
  const size_t from = static_cast<size_t>(first - cbegin());
  const size_t count = static_cast<size_t>(last - first);
  if (count == 0) return begin() + from;
  own(size());
  Value* items = block_->items();
  for (size_t i = from; i < from + count; ++i) items[i] = Value();
  for (size_t i = from + count; i < block_->size; ++i) items[i - count] = std::move(items[i]);
  for (size_t i = block_->size - count; i < block_->size; ++i) items[i].~Value();
  block_->size -= static_cast<uint32_t>(count);
  return items + from;
}

bool Array::operator==(const Array& other) const {
  if (size() != other.size()) return false;
  for (size_t i = 0; i < size(); ++i)
    if (!((*this)[i] == other[i])) return false;
  return true;
}

// Dictionary

Dictionary::Dictionary(std::initializer_list<std::pair<std::string_view, Value>> entries) : Dictionary() {
  // Delegating, as an array's.
  reserve(entries.size());
  for (const auto& [key, value] : entries) set(key, value);
}

Dictionary::Dictionary(const Dictionary& other) : block_(shareOrCopy(other.block_)) {}

Dictionary& Dictionary::operator=(const Dictionary& other) {
  if (this != &other) *this = Dictionary(other);
  return *this;
}

Dictionary& Dictionary::operator=(Dictionary&& other) noexcept {
  if (this != &other) {
    Dictionary old(std::move(*this));
    block_ = other.block_;
    other.block_ = nullptr;
  }
  return *this;
}

Dictionary::~Dictionary() { letGo(block_); }

size_t Dictionary::size() const { return block_ ? block_->size : 0; }
const DictionaryEntry* Dictionary::begin() const { return block_ ? block_->entries() : nullptr; }
const DictionaryEntry* Dictionary::end() const { return block_ ? block_->entries() + block_->size : nullptr; }

DictionaryEntry* Dictionary::begin() {
  if (!block_) return nullptr;
  own(block_->size);
  return block_ ? block_->entries() : nullptr;
}

DictionaryEntry* Dictionary::end() {
  if (!block_) return nullptr;
  own(block_->size);
  return block_ ? block_->entries() + block_->size : nullptr;
}

void Dictionary::own(size_t capacity) {
  DictionaryBlock* old = block_;
  const size_t size = old ? old->size : 0;
  if (old && !old->inTree() && old->capacity() >= capacity) return;
  capacity = std::max(capacity, size);
  // Only a container without a block asks for no room: a tree holds no empty blocks.
  if (capacity == 0) return;
  if (old && old->inTree()) {
    // As an array's: the new block keeps the tree.
    block_ = copyBlock(old, capacity, false);
    block_->keeps = old->arena();
    return;
  }
  DictionaryBlock* fresh = newDictionaryBlock(capacity);
  if (old) {
    for (uint32_t i = 0; i < old->size; ++i) {
      DictionaryEntry& entry = old->entries()[i];
      ValueAccess::makeEntry(fresh->entries() + i, std::move(ValueAccess::keyOf(entry)), std::move(entry.second));
    }
    fresh->size = old->size;
    fresh->heapIndex() = old->heapIndex();
    fresh->keeps = old->keeps;
    ::operator delete(old);
  }
  block_ = fresh;
}

long Dictionary::indexOf(std::string_view key) const {
  if (!block_) return -1;
  const DictionaryBlock* block = block_;
  const DictionaryEntry* entries = block->entries();
  const uint32_t* index = block->index();
  if (!index) {
    for (uint32_t i = 0; i < block_->size; ++i)
      if (entries[i].key() == key) return static_cast<long>(i);
    return -1;
  }
  const size_t mask = detail::indexSlots(block_->size) - 1;
  for (size_t slot = KeyedHash{}(key) & mask;; slot = (slot + 1) & mask) {
    const uint32_t p = index[slot];
    if (p == 0) return -1;
    if (entries[p - 1].key() == key) return static_cast<long>(p - 1);
  }
}

const Value* Dictionary::find(std::string_view key) const {
  const long i = indexOf(key);
  return i < 0 ? nullptr : &block_->entries()[i].second;
}

Value* Dictionary::find(std::string_view key) {
  const long i = indexOf(key);
  if (i < 0) return nullptr;
  own(block_->size);
  return &block_->entries()[i].second;
}

const Value& Dictionary::get(std::string_view key) const {
  const Value* v = find(key);
  return v ? *v : Value::null();
}

namespace {
void rebuildIndex(DictionaryBlock* block) {
  delete[] block->heapIndex();
  block->heapIndex() = nullptr;
  if (block->size < detail::kIndexThreshold) return;
  block->heapIndex() = new uint32_t[detail::indexSlots(block->size)]();
  detail::fillIndex(block, block->heapIndex());
}
}  // namespace

void Dictionary::set(std::string_view key, Value value) {
  const long i = indexOf(key);
  if (i >= 0) {
    own(block_->size);
    block_->entries()[i].second = std::move(value);
    return;
  }
  Value keyValue(key);
  const size_t n = size();
  if (!block_ || block_->inTree() || n == block_->capacity()) own(std::max<size_t>(n + n / 2, n + 4));
  ValueAccess::makeEntry(block_->entries() + n, std::move(keyValue), std::move(value));
  block_->size = static_cast<uint32_t>(n + 1);
  // The table keeps its slots while it holds twice the entries; past that it is rebuilt.
  if (uint32_t* index = block_->heapIndex(); index && detail::indexSlots(n + 1) == detail::indexSlots(n)) {
    const size_t mask = detail::indexSlots(n + 1) - 1;
    size_t slot = KeyedHash{}(block_->entries()[n].key()) & mask;
    while (index[slot] != 0) slot = (slot + 1) & mask;
    index[slot] = static_cast<uint32_t>(n + 1);
  } else if (n + 1 >= detail::kIndexThreshold) {
    rebuildIndex(block_);
  }
}

bool Dictionary::erase(std::string_view key) {
  const long i = indexOf(key);
  if (i < 0) return false;
  own(block_->size);
  DictionaryEntry* entries = block_->entries();
  entries[i].~DictionaryEntry();
  for (uint32_t j = static_cast<uint32_t>(i) + 1; j < block_->size; ++j) {
    ValueAccess::makeEntry(entries + j - 1, std::move(ValueAccess::keyOf(entries[j])), std::move(entries[j].second));
    entries[j].~DictionaryEntry();
  }
  --block_->size;
  rebuildIndex(block_);
  return true;
}

void Dictionary::clear() { *this = Dictionary(); }

void Dictionary::reserve(size_t count) {
  if (!block_ || block_->inTree() || count > block_->capacity()) own(count);
}

std::vector<std::string> Dictionary::keys() const {
  std::vector<std::string> k;
  k.reserve(size());
  for (const DictionaryEntry& e : *this) k.emplace_back(e.key());
  return k;
}

bool Dictionary::operator==(const Dictionary& other) const {
  if (size() != other.size()) return false;
  for (const auto& [k, v] : *this) {
    const Value* o = other.find(k);
    if (!o || !(*o == v)) return false;
  }
  return true;
}

// Conversions and descriptions

namespace {
double leadingDouble(StringRef s) { return std::strtod(s.c_str(), nullptr); }
int64_t leadingInteger(StringRef s) {
  // Reads the leading decimal integer and saturates on overflow, as the original platform does.
  errno = 0;
  long long v = std::strtoll(s.c_str(), nullptr, 10);
  return static_cast<int64_t>(v);
}
// A decimal's text read exactly: ±0.d₁d₂…dₙ × 10^point, its significant digits (no leading or
// trailing zeros; none for zero) being where they lie in the text. Text that is not a decimal
// number, or whose exponent lies far past any number's range, is kOther.
struct ExactDecimal {
  enum Kind : uint8_t { kNumber, kNaN, kOther };
  Kind kind = kOther;
  bool negative = false;
  std::string_view whole, fraction;  // the digits before and after the point, as written
  size_t first = 0, count = 0;
  int64_t point = 0;

  char digitAt(size_t i) const { return i < whole.size() ? whole[i] : fraction[i - whole.size()]; }
  // The i-th significant digit.
  unsigned digit(size_t i) const { return static_cast<unsigned>(digitAt(first + i) - '0'); }
  bool isZero() const { return count == 0; }
};

ExactDecimal readDecimal(std::string_view t) {
  ExactDecimal d;
  if (t == "NaN") {
    d.kind = ExactDecimal::kNaN;
    return d;
  }
  auto isDigit = [&t](size_t i) { return i < t.size() && t[i] >= '0' && t[i] <= '9'; };
  size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) d.negative = t[i++] == '-';
  const size_t wholeStart = i;
  while (isDigit(i)) ++i;
  d.whole = t.substr(wholeStart, i - wholeStart);
  if (i < t.size() && t[i] == '.') {
    const size_t fractionStart = ++i;
    while (isDigit(i)) ++i;
    d.fraction = t.substr(fractionStart, i - fractionStart);
  }
  if (d.whole.empty() && d.fraction.empty()) return d;
  // Texts are at most 2^32 bytes: past 2^40 an exponent means a number of no 64-bit kind,
  // told apart from another such only by its text.
  constexpr int64_t kExponentLimit = int64_t{1} << 40;
  int64_t exponent = 0;
  bool huge = false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) negativeExponent = t[i++] == '-';
    if (!isDigit(i)) return d;
    for (; isDigit(i); ++i) {
      if (exponent <= kExponentLimit) exponent = exponent * 10 + (t[i] - '0');
      huge |= exponent > kExponentLimit;
    }
    if (negativeExponent) exponent = -exponent;
  }
  if (i != t.size()) return d;
  const size_t total = d.whole.size() + d.fraction.size();
  size_t first = 0, end = total;
  while (first < total && d.digitAt(first) == '0') ++first;
  while (end > first && d.digitAt(end - 1) == '0') --end;
  d.first = first;
  d.count = end - first;
  if (huge && d.count > 0) return d;
  d.point = static_cast<int64_t>(d.whole.size()) - static_cast<int64_t>(first) + (d.count > 0 ? exponent : 0);
  d.kind = ExactDecimal::kNumber;
  return d;
}

// The integer part (the fraction dropped) of a number's magnitude; nullopt when the decimal is
// not a number or the part needs more than 64 bits.
std::optional<uint64_t> integerMagnitude(const ExactDecimal& d) {
  if (d.kind != ExactDecimal::kNumber) return std::nullopt;
  if (d.isZero() || d.point <= 0) return 0;
  if (d.point > 20) return std::nullopt;
  uint64_t magnitude = 0;
  for (size_t i = 0; i < static_cast<size_t>(d.point); ++i) {
    const unsigned digit = i < d.count ? d.digit(i) : 0;
    if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  return magnitude;
}

bool sameDecimals(const ExactDecimal& a, const ExactDecimal& b) {
  if (a.kind != ExactDecimal::kNumber || b.kind != ExactDecimal::kNumber) return false;
  if (a.isZero() || b.isZero()) return a.isZero() && b.isZero();
  if (a.negative != b.negative || a.count != b.count || a.point != b.point) return false;
  for (size_t i = 0; i < a.count; ++i)
    if (a.digit(i) != b.digit(i)) return false;
  return true;
}

bool decimalIsInteger(const ExactDecimal& d, bool negative, uint64_t magnitude) {
  if (d.kind != ExactDecimal::kNumber) return false;
  if (d.isZero() || magnitude == 0) return d.isZero() && magnitude == 0;
  if (d.negative != negative || d.point < static_cast<int64_t>(d.count)) return false;
  const std::optional<uint64_t> m = integerMagnitude(d);
  return m && *m == magnitude;
}

bool decimalIsDouble(const ExactDecimal& d, StringRef text, double x) {
  if (d.kind == ExactDecimal::kNaN) return std::isnan(x);
  if (d.kind != ExactDecimal::kNumber || !std::isfinite(x)) return false;
  // Reading rounds to the nearest double, so a decimal that is exactly `x` reads as `x`;
  // one that reads as `x` is then checked against every digit of `x` (at most 767 count).
  if (std::strtod(text.c_str(), nullptr) != x) return false;
  char digits[800];
  const int n = std::snprintf(digits, sizeof digits, "%.767e", x);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof digits) return false;
  return sameDecimals(d, readDecimal(std::string_view(digits, static_cast<size_t>(n))));
}

// A decimal (either of the two) against a number of any kind, by exact value.
bool sameNumberAsDecimal(const Value& a, const Value& b) {
  const Value& decimal = a.type() == Value::Type::Decimal ? a : b;
  const Value& number = a.type() == Value::Type::Decimal ? b : a;
  const ExactDecimal d = readDecimal(decimal.decimalText());
  switch (number.type()) {
    case Value::Type::Decimal: {
      const ExactDecimal e = readDecimal(number.decimalText());
      return (d.kind == ExactDecimal::kNaN && e.kind == ExactDecimal::kNaN) || sameDecimals(d, e);
    }
    case Value::Type::Double: return decimalIsDouble(d, decimal.decimalText(), number.doubleValue());
    case Value::Type::Integer: {
      const int64_t i = number.integerValue();
      return decimalIsInteger(d, i < 0, i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i));
    }
    case Value::Type::Unsigned: return decimalIsInteger(d, false, number.unsignedValue());
    default: return false;
  }
}

std::string numberText(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  // Prefer the shortest text that reads back to the same double, written without an exponent
  // while the number has at most 17 digits before the point (60, not 6e+01).
  for (int prec = 1; prec <= 17; ++prec) {
    char shortBuf[40];
    std::snprintf(shortBuf, sizeof shortBuf, "%.*g", prec, d);
    if (std::strtod(shortBuf, nullptr) != d) continue;
    const int exponent = d == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(d))));
    if (exponent >= prec && exponent < 17)
      std::snprintf(shortBuf, sizeof shortBuf, "%.*g", exponent + 1, d);
    return shortBuf;
  }
  return buf;
}
}  // namespace

bool Value::boolValue() const {
  switch (type()) {
    case Type::Boolean: return (bits_ != 0);
    case Type::String: {
      // "Y", "y", "T", "t" or a non-zero leading digit mean YES.
      const StringRef s = text();
      size_t i = s.find_first_not_of(" \t\n");
      if (i == std::string_view::npos) return false;
      char c = s[i];
      if (c == 'Y' || c == 'y' || c == 'T' || c == 't') return true;
      if (c == '+' || c == '-') ++i;
      while (i < s.size() && s[i] == '0') ++i;
      return i < s.size() && s[i] >= '1' && s[i] <= '9';
    }
    default: return integerValue() != 0 || doubleValue() != 0;
  }
}

int64_t Value::integerValue() const {
  switch (type()) {
    case Type::Boolean: return (bits_ != 0) ? 1 : 0;
    case Type::Integer: return static_cast<int64_t>(bits_);
    case Type::Unsigned: return static_cast<int64_t>(bits_);
    case Type::Double: {
      double d = std::bit_cast<double>(bits_);
      if (std::isnan(d)) return 0;
      if (d >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
      if (d <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
      return static_cast<int64_t>(d);
    }
    case Type::Decimal: {
      const ExactDecimal d = readDecimal(text());
      const std::optional<uint64_t> m = integerMagnitude(d);
      if (!m) return 0;
      if (!d.negative) return *m <= uint64_t{INT64_MAX} ? static_cast<int64_t>(*m) : 0;
      return *m <= uint64_t{INT64_MAX} + 1 ? static_cast<int64_t>(0 - *m) : 0;
    }
    case Type::String: return leadingInteger(text());
    default: return 0;
  }
}

uint64_t Value::unsignedValue() const {
  switch (type()) {
    case Type::Unsigned: return bits_;
    case Type::String: return std::strtoull(text().c_str(), nullptr, 10);
    case Type::Double: {
      double d = std::bit_cast<double>(bits_);
      if (!(d > 0)) return static_cast<uint64_t>(integerValue());
      if (d >= 1.8446744073709552e19) return std::numeric_limits<uint64_t>::max();
      return static_cast<uint64_t>(d);
    }
    case Type::Decimal: {
      const ExactDecimal d = readDecimal(text());
      const std::optional<uint64_t> m = integerMagnitude(d);
      return m && (!d.negative || *m == 0) ? *m : 0;
    }
    default: return static_cast<uint64_t>(integerValue());
  }
}

double Value::doubleValue() const {
  switch (type()) {
    case Type::Boolean: return (bits_ != 0) ? 1 : 0;
    case Type::Integer: return static_cast<double>(static_cast<int64_t>(bits_));
    case Type::Unsigned: return static_cast<double>(bits_);
    case Type::Double: return std::bit_cast<double>(bits_);
    case Type::Decimal: {
      const StringRef t = text();
      if (t == "NaN") return std::nan("");
      return leadingDouble(t);
    }
    case Type::String: return leadingDouble(text());
    case Type::Date: return std::bit_cast<double>(bits_);
    default: return 0;
  }
}

std::string Value::stringValue() const {
  switch (type()) {
    case Type::String: return text().str();
    case Type::Boolean: return (bits_ != 0) ? "1" : "0";
    case Type::Integer: return std::to_string(static_cast<int64_t>(bits_));
    case Type::Unsigned: return std::to_string(bits_);
    case Type::Double: return numberText(std::bit_cast<double>(bits_));
    case Type::Decimal: return text().str();
    default: return "";
  }
}

namespace {
bool needsQuotes(std::string_view s) {
  if (s.empty()) return true;
  for (unsigned char c : s)
    if (!(std::isalnum(c) || c == '_' || c == '.' || c == '$' || c == '/' || c == ':' || c >= 0x80)) return true;
  return false;
}
std::string quoted(std::string_view s) {
  if (!needsQuotes(s)) return std::string(s);
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}
void describe(const Value& v, int indent, std::string& out) {
  if (indent >= Value::kDescribedLevels && (v.isArray() || v.isDictionary())) {
    out += v.isArray() ? "(...)" : "{...}";
    return;
  }
  std::string pad(static_cast<size_t>(indent) * 4, ' ');
  std::string inner(static_cast<size_t>(indent + 1) * 4, ' ');
  switch (v.type()) {
    case Value::Type::Array: {
      out += "(\n";
      const auto& a = v.array();
      for (size_t i = 0; i < a.size(); ++i) {
        out += inner;
        if (a[i].isString()) out += quoted(a[i].string());
        else describe(a[i], indent + 1, out);
        out += i + 1 < a.size() ? ",\n" : "\n";
      }
      out += pad + ")";
      break;
    }
    case Value::Type::Dictionary: {
      out += "{\n";
      for (const auto& [k, val] : v.dictionary()) {
        out += inner + quoted(k) + " = ";
        if (val.isString()) out += quoted(val.string());
        else describe(val, indent + 1, out);
        out += ";\n";
      }
      out += pad + "}";
      break;
    }
    case Value::Type::Data: {
      static const char* hex = "0123456789abcdef";
      out += "<";
      const auto& d = v.data();
      for (size_t i = 0; i < d.size(); ++i) {
        if (i && i % 4 == 0) out += ' ';
        out += hex[d[i] >> 4];
        out += hex[d[i] & 15];
      }
      out += ">";
      break;
    }
    case Value::Type::Date: {
      // A date the calendar cannot show (not a number, or beyond the years gmtime_r can
      // break down) is described by its seconds since 1970.
      const double seconds = std::floor(v.dateValue());
      struct tm tm;
      time_t secs = 0;
      const bool inRange = seconds > -1e16 && seconds < 1e16;
      if (inRange) secs = static_cast<time_t>(seconds);
      char buf[64];
      if (!inRange || !gmtime_r(&secs, &tm) || strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm) == 0) {
        out += numberText(v.dateValue());
        break;
      }
      out += buf;
      break;
    }
    case Value::Type::Null: out += "(null)"; break;
    default: out += v.stringValue();
  }
}
}  // namespace

std::string Value::description() const {
  std::string out;
  describe(*this, 0, out);
  return out;
}

namespace {
// An integer against a double, exactly: past 2^53 a double no longer tells neighbouring
// integers apart, so converting the integer would call different numbers equal.
bool sameNumber(const Value& integer, double d) {
  if (!(d == std::trunc(d))) return false;  // a fraction, NaN or an infinity
  if (integer.type() == Value::Type::Integer) {
    if (d < -9.2233720368547758e18 || d >= 9.2233720368547758e18) return false;
    return static_cast<int64_t>(d) == integer.integerValue();
  }
  if (d < 0 || d >= 1.8446744073709552e19) return false;
  return static_cast<uint64_t>(d) == integer.unsignedValue();
}
}  // namespace

bool Value::operator==(const Value& other) const {
  if (!hasChildren() || !other.hasChildren()) return shallowEqual(other);
  // Compared level by level from a work list, like the copy.
  std::vector<std::pair<const Value*, const Value*>> work{{this, &other}};
  while (!work.empty()) {
    auto [a, b] = work.back();
    work.pop_back();
    if (!a->shallowEqual(*b)) return false;
    if (a->isArray()) {
      const Array& left = a->array();
      const Array& right = b->array();
      for (size_t i = 0; i < left.size(); ++i) work.emplace_back(&left[i], &right[i]);
    } else if (a->isDictionary()) {
      const Dictionary& right = b->dictionary();
      for (const auto& [key, value] : a->dictionary()) {
        const Value* match = right.find(key);
        if (!match) return false;
        work.emplace_back(&value, match);
      }
    }
  }
  return true;
}

bool Value::shallowEqual(const Value& other) const {
  if (isNumber() && other.isNumber() && type() != other.type()) {
    // Numbers of different kinds compare by value, as number objects do.
    if (type() == Type::Decimal || other.type() == Type::Decimal) return sameNumberAsDecimal(*this, other);
    if (type() == Type::Double) return sameNumber(other, std::bit_cast<double>(bits_));
    if (other.type() == Type::Double) return sameNumber(*this, std::bit_cast<double>(other.bits_));
    int64_t a = integerValue(), b = other.integerValue();
    if ((type() == Type::Unsigned && unsignedValue() > uint64_t(INT64_MAX)) ||
        (other.type() == Type::Unsigned && other.unsignedValue() > uint64_t(INT64_MAX)))
      return unsignedValue() == other.unsignedValue() && a >= 0 && b >= 0;
    return a == b;
  }
  if (type() != other.type()) return false;
  switch (type()) {
    case Type::Null: return true;
    case Type::Boolean: return (bits_ != 0) == (other.bits_ != 0);
    case Type::Integer: return static_cast<int64_t>(bits_) == static_cast<int64_t>(other.bits_);
    case Type::Unsigned: return bits_ == other.bits_;
    case Type::Double: {
      double a = std::bit_cast<double>(bits_), b = std::bit_cast<double>(other.bits_);
      return a == b || (std::isnan(a) && std::isnan(b));
    }
    case Type::Decimal: return text() == other.text() || sameNumberAsDecimal(*this, other);
    case Type::String: return string() == other.string();
    case Type::Data: return *bytes_ == *other.bytes_;
    case Type::Date: return dateValue() == other.dateValue();
    case Type::Array: return array().size() == other.array().size();
    case Type::Dictionary: return dictionary().size() == other.dictionary().size();
  }
  return false;
}

}  // namespace platform
