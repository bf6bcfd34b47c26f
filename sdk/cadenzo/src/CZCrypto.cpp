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
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(data->size() * 2);
  for (uint8_t b : *data) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0xF]);
  }
  return hex;
}

}  // namespace cadenzo
