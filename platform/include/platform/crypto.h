#pragma once
// Digests and AES-128-CBC, as the platform's crypto library offers them to the clients.
// Pure functions: thread-safe, no state, nothing thrown. Failures give std::nullopt.
#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"

namespace platform::crypto {

// Raw digests: 16, 20 and 32 bytes.
Bytes md5(std::string_view bytes);
Bytes md5(const Bytes& bytes);
Bytes sha1(std::string_view bytes);
Bytes sha1(const Bytes& bytes);
Bytes sha256(std::string_view bytes);
Bytes sha256(const Bytes& bytes);

// Two hexadecimal digits per byte, high nibble first; lower case unless `upperCase`.
std::string hexString(const Bytes& bytes, bool upperCase = false);

// Lower-case hex of the digest of `bytes` (a string's UTF-8 bytes).
std::string md5Hex(std::string_view bytes);
std::string md5Hex(const Bytes& bytes);
std::string sha1Hex(std::string_view bytes);
std::string sha1Hex(const Bytes& bytes);

// AES-128 in CBC mode. `key` must be 16 bytes; `iv` 16 bytes, or empty for an all-zero
// vector. With `pkcs7Padding` the plaintext may have any length and is padded (1 to 16
// bytes of value n); without, its length must be a multiple of 16. nullopt for a wrong key
// or vector size, a misaligned input without padding, or, when decrypting with padding, a
// padding that does not check.
std::optional<Bytes> aes128CbcEncrypt(const Bytes& key, const Bytes& iv, const Bytes& plaintext,
                                      bool pkcs7Padding);
std::optional<Bytes> aes128CbcDecrypt(const Bytes& key, const Bytes& iv, const Bytes& ciphertext,
                                      bool pkcs7Padding);

}  // namespace platform::crypto
