#include "platform/value_stack.h"

#include <iterator>
#include <tuple>

namespace platform {

void ValueStack::reserve(size_t members) {
  values_.reserve(members);
  keys_.reserve(members);
}

Array ValueStack::takeArray(const Mark& from) {
  const auto first = values_.begin() + static_cast<std::ptrdiff_t>(from.values);
  Array array(std::make_move_iterator(first), std::make_move_iterator(values_.end()));
  values_.erase(first, values_.end());
  return array;
}

Dictionary ValueStack::takeDictionary(const Mark& from) {
  const size_t count = keys_.size() - from.keys;
  std::vector<Dictionary::Entry> entries;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i)
    entries.emplace_back(std::piecewise_construct, std::forward_as_tuple(keyText(keys_[from.keys + i])),
                         std::forward_as_tuple(std::move(values_[from.values + i])));
  keyText_.resize(from.keyText);
  keys_.resize(from.keys);
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(from.values), values_.end());
  return Dictionary(std::move(entries));
}

void ValueStack::clear() {
  values_.clear();
  keys_.clear();
  keyText_.clear();
}

}  // namespace platform
