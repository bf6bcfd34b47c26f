#pragma once
// Reads a localized strings table ("key" = "value"; pairs with C comments, in UTF-8 or in
// UTF-16 with a byte-order mark). A damaged table gives nullopt; later duplicates win.
#include <optional>

#include "platform/value.h"

namespace platform::storage {

std::optional<Dictionary> parseStringsTable(const Bytes& bytes);

}  // namespace platform::storage
