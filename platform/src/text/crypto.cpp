#include "platform/crypto.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace platform::crypto {
namespace {

Bytes digest(const EVP_MD* md, const void* data, size_t size) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data, size, out, &length, md, nullptr) != 1) return {};
  return Bytes(out, out + length);
}

struct CipherFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

std::optional<Bytes> aes128Cbc(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in,
                               bool padding) {
  if (key.size() != 16 || (!iv.empty() && iv.size() != 16)) return std::nullopt;
  if (!padding && in.size() % 16 != 0) return std::nullopt;
  if (!encrypt && in.size() % 16 != 0) return std::nullopt;
  // The library counts in int.
  if (in.size() > static_cast<size_t>(INT_MAX) - 32) return std::nullopt;
  static const unsigned char kZeroIv[16] = {};
  std::unique_ptr<EVP_CIPHER_CTX, CipherFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return std::nullopt;
  if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key.data(),
                        iv.empty() ? kZeroIv : iv.data(), encrypt ? 1 : 0) != 1)
    return std::nullopt;
  EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
  Bytes out(in.size() + 16);
  int written = 0, final = 0;
  if (EVP_CipherUpdate(ctx.get(), out.data(), &written, in.data(), static_cast<int>(in.size())) != 1)
    return std::nullopt;
  if (EVP_CipherFinal_ex(ctx.get(), out.data() + written, &final) != 1) return std::nullopt;
  out.resize(static_cast<size_t>(written + final));
  return out;
}

}  // namespace

Bytes md5(std::string_view b) { return digest(EVP_md5(), b.data(), b.size()); }
Bytes md5(const Bytes& b) { return digest(EVP_md5(), b.data(), b.size()); }
Bytes sha1(std::string_view b) { return digest(EVP_sha1(), b.data(), b.size()); }
Bytes sha1(const Bytes& b) { return digest(EVP_sha1(), b.data(), b.size()); }
Bytes sha256(std::string_view b) { return digest(EVP_sha256(), b.data(), b.size()); }
Bytes sha256(const Bytes& b) { return digest(EVP_sha256(), b.data(), b.size()); }

std::string hexString(const Bytes& bytes, bool upperCase) {
  const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string md5Hex(std::string_view bytes) { return hexString(md5(bytes)); }
std::string md5Hex(const Bytes& bytes) { return hexString(md5(bytes)); }
std::string sha1Hex(std::string_view bytes) { return hexString(sha1(bytes)); }
std::string sha1Hex(const Bytes& bytes) { return hexString(sha1(bytes)); }

std::optional<Bytes> aes128CbcEncrypt(const Bytes& key, const Bytes& iv, const Bytes& plaintext,
                                      bool pkcs7Padding) {
  return aes128Cbc(true, key, iv, plaintext, pkcs7Padding);
}

std::optional<Bytes> aes128CbcDecrypt(const Bytes& key, const Bytes& iv, const Bytes& ciphertext,
                                      bool pkcs7Padding) {
  return aes128Cbc(false, key, iv, ciphertext, pkcs7Padding);
}

}  // namespace platform::crypto
