#include "machine_identity.h"

#include <unistd.h>

#include <fstream>

#include "platform/crypto.h"

namespace platform::identity {
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
  return crypto::sha1(std::string(purpose) + ":" + id);
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

}  // namespace platform::identity
