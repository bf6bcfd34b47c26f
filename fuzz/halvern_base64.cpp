// HVBase64's decoder over arbitrary bytes: it never fails, gives no more bytes than the
// alphabet characters carry, and what it gives survives encoding and decoding again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

// Internal to the client; the target reaches it by path.
#include "../sdk/halvern/src/util/HVBase64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto decoded = halvern::HVBase64::dataWithBase64String(text);
  size_t alphabet = 0;
  for (unsigned char c : text)
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/') ++alphabet;
  if (decoded.size() > alphabet * 3 / 4) std::abort();
  auto encoded = halvern::HVBase64::base64StringWithData(decoded);
  if (encoded.size() % 4 != 0 || halvern::HVBase64::dataWithBase64String(encoded) != decoded) std::abort();
  return 0;
}
