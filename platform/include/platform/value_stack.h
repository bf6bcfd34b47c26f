#pragma once
// Builds the values of a document from the bottom up, as a reader meets them: members and
// keys go on stacks shared by every depth, and a container that closes takes its own off the
// top, leaving the stacks as they were when it opened. The whole tree lives in one arena of
// memory sized from the text, so building it allocates about once per document and releasing
// it frees a few blocks however many values it holds; kept from document to document, the
// stacks stop allocating at all. A tree holds only itself and data: a container made
// elsewhere (or a part of another tree) pushed as a member is copied into it.
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <new>

#include "platform/value.h"

namespace platform {

class ValueStack {
 public:
  // The deepest a reader that recurses once per open container may nest, whatever depth
  // its caller allows: a thread's stack holds this many levels with room to spare, even in
  // instrumented builds whose frames are several times larger. Deeper text fails the read.
  static constexpr size_t kMaxRecursionDepth = 2000;
  // Where a container's members begin.
  struct Mark {
    size_t values;
    size_t keys;
    size_t tree;  // what the tree's memory held
  };

  ValueStack() = default;
  ~ValueStack();
  ValueStack(const ValueStack&) = delete;
  ValueStack& operator=(const ValueStack&) = delete;

  Mark mark() const;
  // Room for this many open members before the stacks grow.
  void reserve(size_t members);
  // The size of the text the next document is read from, which sizes the tree's memory.
  void expectText(size_t bytes) { expectedText_ = bytes; }

  // A member: a string (from any text: it is copied), a decimal, or anything a Value is
  // built from. A push that fails leaves the stacks as they were.
  template <class T>
  void push(T&& member) {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, std::string_view> || std::is_same_v<U, std::string> ||
                  std::is_same_v<U, StringRef>) {
      pushText(Value::Type::String, member);
    } else if constexpr (std::is_same_v<U, Decimal>) {
      pushText(Value::Type::Decimal, member.text);
    } else {
      Value& placed = values_.emplace(std::forward<T>(member));
      if (placed.storage() == Value::kHeap) settle(placed);
    }
  }
  void pushText(Value::Type type, std::string_view text);
  // An object's key, pushed before its member (the text is copied). Returns the key's
  // position, for key().
  size_t pushKey(std::string_view text);
  std::string key(size_t position) const { return keys_[position].string(); }

  // Closes the container whose members were pushed since `from`, which becomes a member in
  // their place: an array of them, or with the keys pushed since `from`, one for each, a
  // dictionary (a repeated key keeps its first place and its last member).
  void closeArray(const Mark& from);
  void closeDictionary(const Mark& from);
  // The last member pushed, the document's value, as a value of its own; the stacks are
  // ready for the next document.
  Value take();
  // Drops whatever a read that failed half-way left.
  void clear();

 private:
  detail::ValueArena& arena();
  void settle(Value& member);
  void letGoOfArena();

  // Members waiting for their container. Values move as bytes, so a container that closes
  // takes its members with one copy and leaves nothing behind to destroy.
  class Slots {
   public:
    Slots() = default;
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;
    ~Slots();
    size_t size() const { return size_; }
    Value* data() { return data_; }
    const Value& operator[](size_t i) const { return data_[i]; }
    template <class... Args>
    Value& emplace(Args&&... args) {
      if (size_ == capacity_) grow(size_ + 1);
      return *new (data_ + size_++) Value(std::forward<Args>(args)...);
    }
    // Room for one more value at the top, for the caller to make a value in.
    void* slot() {
      if (size_ == capacity_) grow(size_ + 1);
      return data_ + size_++;
    }
    // Drops the values from `from` on, which the caller has moved out as bytes.
    void forget(size_t from) { size_ = from; }
    void reserve(size_t count) {
      if (count > capacity_) grow(count);
    }
    void clear();

   private:
    void grow(size_t count);
    Value* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
  };

  Slots values_;
  Slots keys_;
  detail::ValueArena* arena_ = nullptr;
  size_t expectedText_ = 0;
};

}  // namespace platform
