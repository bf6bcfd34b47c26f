// Arbitrary bytes as text for every encoding the client defines, and as data to encode.
// What decodes must encode and decode back to the same bytes; what is encoded must decode
// to itself. Decoding never gives a partial result, so these hold for every input.
#include <cstdint>
#include <cstdlib>
#include <string_view>

// The encoder is internal to the client; the target reaches it by path.
#include "../sdk/quillon/src/util/QLStringEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using quillon::QLStringEncoding;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::Bytes bytes(data, data + size);
  for (auto make :
       {&QLStringEncoding::rfc4648Base64StringEncoding, &QLStringEncoding::rfc4648Base64WebsafeStringEncoding,
        &QLStringEncoding::rfc4648Base32StringEncoding, &QLStringEncoding::rfc4648Base32HexStringEncoding,
        &QLStringEncoding::crockfordBase32StringEncoding, &QLStringEncoding::hexStringEncoding,
        &QLStringEncoding::binaryStringEncoding}) {
    auto encoding = make();
    if (auto decoded = encoding->decode(text)) {
      auto again = encoding->decode(encoding->encode(*decoded));
      if (!again || *again != *decoded) std::abort();
    }
    auto back = encoding->decode(encoding->encode(bytes));
    if (!back || *back != bytes) std::abort();
  }
  return 0;
}
