#pragma once
// SHA-1 and lowercase hex for the identity document. Absent input gives absent output.
// Pure functions: thread-safe.
#include <optional>
#include <string>

#include "platform/value.h"

namespace cadenzo {

class CZCrypto {
 public:
  // 20 bytes.
  static std::optional<platform::Bytes> SHA1DataWithData(const std::optional<platform::Bytes>& data);
  // Two characters per byte from "0123456789abcdef", high nibble first.
  static std::optional<std::string> hexRepresentationOfData(
      const std::optional<platform::Bytes>& data);
};

}  // namespace cadenzo
