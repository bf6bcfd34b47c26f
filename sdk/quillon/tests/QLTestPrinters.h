#pragma once
// Lets GoogleTest show values and dictionaries as their descriptions.
#include <ostream>

#include "platform/value.h"

namespace platform {
inline void PrintTo(const Value& value, std::ostream* os) { *os << value.description(); }
inline void PrintTo(const Dictionary& dictionary, std::ostream* os) { *os << Value(dictionary).description(); }
}  // namespace platform
