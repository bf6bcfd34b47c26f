#include "machine_identity.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <fstream>

namespace platform::storage {
namespace {

std::string machineId() {
  std::ifstream in("/etc/machine-id");
  std::string id;
  if (in >> id && !id.empty()) return id;
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0 && host[0]) return host;
  return "localhost";
}

}  // namespace

Bytes machineDigest(std::string_view purpose) {
  static const std::string id = machineId();
  std::string input = std::string(purpose) + ":" + id;
  Bytes digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (EVP_Digest(input.data(), input.size(), digest.data(), &length, EVP_sha1(), nullptr) != 1) length = 0;
  digest.resize(length);
  digest.resize(20, 0);
  return digest;
}

std::string lowercaseHex(const Bytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string uuidText(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < 16 && i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

}  // namespace platform::storage
