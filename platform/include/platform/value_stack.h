#pragma once
// The members of the containers a reader has open, for readers that build values from the
// bottom up: members and keys go on stacks shared by every depth as they are read, and a
// container that closes takes its own off the top, in one allocation of its final size,
// leaving the stacks as they were when it opened. Kept from document to document, the stacks
// stop allocating at all.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    size_t keyText;
  };
  Mark mark() const { return {values_.size(), keys_.size(), keyText_.size()}; }
  // Room for this many open members before the stacks grow.
  void reserve(size_t members);

  // A member, built in its slot from `args` as a Value would be.
  template <class... Args>
  void push(Args&&... args) {
    values_.emplace_back(std::forward<Args>(args)...);
  }
  // An object's key, pushed before its member. Text that stays valid until the object closes
  // (a stretch of the document) is kept as it is; any other (a buffer the reader reuses) is
  // copied. Returns the key's position, for key().
  size_t pushKey(std::string_view text, bool lasting) {
    if (lasting) {
      keys_.push_back(Key{text.data(), 0, text.size()});
    } else {
      keys_.push_back(Key{nullptr, keyText_.size(), text.size()});
      keyText_ += text;
    }
    return keys_.size() - 1;
  }
  std::string key(size_t position) const { return std::string(keyText(keys_[position])); }

  // The members pushed since `from`, as an array; or with the keys pushed since `from`, one
  // for each, as a dictionary (a repeated key keeps its first place and its last member).
  Array takeArray(const Mark& from);
  Dictionary takeDictionary(const Mark& from);
  // Drops whatever a read that failed half-way left.
  void clear();

 private:
  // A view of the caller's text, or (data null) a stretch of keyText_, held by offset since
  // that text moves as it grows.
  struct Key {
    const char* data;
    size_t offset;
    size_t size;
  };
  std::string_view keyText(const Key& key) const {
    return {key.data ? key.data : keyText_.data() + key.offset, key.size};
  }

  std::vector<Value> values_;
  std::vector<Key> keys_;
  std::string keyText_;
};

}  // namespace platform
