#pragma once
// Block-based operations on arrays (any std::vector) and on
// platform::Dictionary. Blocks are called synchronously on the caller's thread, in index
// order for arrays and in the dictionary's key order; results are new collections and the
// receivers are never changed. map and filter are folds (injectInitial) into an empty
// collection; injectInitial is built on each. Thread safety: as safe as the collections
// and blocks given to them.
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/value.h"

namespace cadenzo {

class CZFunctionalCollectionExtensions {
 public:
  // Arrays.

  // block(element)
  template <class T, class F>
  static void each(const std::vector<T>& array, F&& block) {
    for (const T& element : array) block(element);
  }

  // block(accumulator, element) -> the next accumulator; the left fold from `initial`.
  template <class T, class A, class F>
  static A injectInitial(const std::vector<T>& array, F&& block, A initial) {
    A accumulator = std::move(initial);
    each(array, [&](const T& element) { accumulator = block(std::move(accumulator), element); });
    return accumulator;
  }

  // block(element) -> result; the results in the same order.
  template <class T, class F>
  static auto map(const std::vector<T>& array, F&& block) {
    using R = std::decay_t<std::invoke_result_t<F&, const T&>>;
    std::vector<R> empty;
    empty.reserve(array.size());
    return injectInitial(
        array,
        [&](std::vector<R>&& out, const T& element) {
          out.push_back(block(element));
          return std::move(out);
        },
        std::move(empty));
  }

  // block(element) -> bool; the elements it keeps, in order.
  template <class T, class F>
  static std::vector<T> filter(const std::vector<T>& array, F&& block) {
    return injectInitial(
        array,
        [&](std::vector<T>&& out, const T& element) {
          if (block(element)) out.push_back(element);
          return std::move(out);
        },
        std::vector<T>());
  }

  // block(accumulator, element) -> the next accumulator. Nothing for an empty array; the
  // single element (the block is not called) for one; else the left fold that starts with
  // element 0 and combines elements 1 to n - 1 in order.
  template <class T, class F>
  static std::optional<T> reduce(const std::vector<T>& array, F&& block) {
    if (array.empty()) return std::nullopt;
    T accumulator = array.front();
    for (size_t i = 1; i < array.size(); ++i) accumulator = block(std::move(accumulator), array[i]);
    return accumulator;
  }

  // Dictionaries.

  // block(key, value)
  template <class F>
  static void each(const platform::Dictionary& dict, F&& block) {
    for (const auto& [key, value] : dict) block(key, value);
  }

  // block(accumulator, key, value) -> the next accumulator; the fold over every entry.
  template <class A, class F>
  static A injectInitial(const platform::Dictionary& dict, F&& block, A initial) {
    A accumulator = std::move(initial);
    each(dict, [&](const std::string& key, const platform::Value& value) {
      accumulator = block(std::move(accumulator), key, value);
    });
    return accumulator;
  }

  // block(key, value) -> Value; the same keys with the block's results.
  template <class F>
  static platform::Dictionary map(const platform::Dictionary& dict, F&& block) {
    return injectInitial(
        dict,
        [&](platform::Dictionary&& out, const std::string& key, const platform::Value& value) {
          out.set(key, platform::Value(block(key, value)));
          return std::move(out);
        },
        platform::Dictionary());
  }

  // block(key, value) -> bool; the entries it keeps.
  template <class F>
  static platform::Dictionary filter(const platform::Dictionary& dict, F&& block) {
    return injectInitial(
        dict,
        [&](platform::Dictionary&& out, const std::string& key, const platform::Value& value) {
          if (block(key, value)) out.set(key, value);
          return std::move(out);
        },
        platform::Dictionary());
  }

  // The keys (as strings) and the values, in key order.
  static platform::Array keys(const platform::Dictionary& dict) {
    return injectInitial(
        dict,
        [](platform::Array&& out, const std::string& key, const platform::Value&) {
          out.push_back(platform::Value(key));
          return std::move(out);
        },
        platform::Array());
  }
  static platform::Array objects(const platform::Dictionary& dict) {
    return injectInitial(
        dict,
        [](platform::Array&& out, const std::string&, const platform::Value& value) {
          out.push_back(value);
          return std::move(out);
        },
        platform::Array());
  }
};

}  // namespace cadenzo
