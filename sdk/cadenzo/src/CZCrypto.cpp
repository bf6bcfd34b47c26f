#include "CZCrypto.h"

#include "platform/crypto.h"

namespace cadenzo {

std::optional<platform::Bytes> CZCrypto::SHA1DataWithData(
    const std::optional<platform::Bytes>& data) {
  if (!data) return std::nullopt;
  return platform::crypto::sha1(*data);
}

std::optional<std::string> CZCrypto::hexRepresentationOfData(
    const std::optional<platform::Bytes>& data) {
  if (!data) return std::nullopt;
  return platform::crypto::hexString(*data);
}

}  // namespace cadenzo
