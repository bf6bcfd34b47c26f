#pragma once
// A compact, exact binary encoding of a Value (every kind kept), for files the platform
// writes for itself. Decoding is bounds-checked and depth-limited; damaged input gives
// nullopt, never a crash.
#include <optional>

#include "platform/value.h"

namespace platform::storage {

Bytes encodeValue(const Value& value);
std::optional<Value> decodeValue(const Bytes& bytes);

}  // namespace platform::storage
