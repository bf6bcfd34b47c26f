#pragma once
// The hash of every table keyed by text from outside (servers, pages). Thread-safe.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace platform {

// SipHash-1-3 under a secret drawn once for the process. A hash anyone can compute lets a
// server or a page choose keys that all land in one bucket, so that a table of a hundred
// thousand of them costs quadratic time; keys colliding under this one cannot be found without
// the secret. Values differ from process to process: never store or send them.
struct KeyedHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const noexcept;
};

// Tables of outside text, looked up by any string-like key without a copy.
template <class T>
using KeyedTextMap = std::unordered_map<std::string, T, KeyedHash, std::equal_to<>>;
using KeyedTextSet = std::unordered_set<std::string, KeyedHash, std::equal_to<>>;

}  // namespace platform
