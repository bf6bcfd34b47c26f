// Base64 text from outside (a page, a stored value, a server's field) decoded in both
// alphabets, and arbitrary bytes encoded. Beyond not crashing: whatever decodes encodes to
// text that decodes to the same bytes, and every encoding (either alphabet, padded or not)
// decodes back to the bytes it was made of, in the length the padding rule gives.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/base64.h"

namespace {

using platform::Base64Alphabet;

void roundTrip(const platform::Bytes& bytes, Base64Alphabet alphabet, bool padding) {
  const std::string text = platform::base64Encode(bytes, alphabet, padding);
  const size_t whole = bytes.size() / 3 * 4;
  const size_t rest = bytes.size() % 3;
  const size_t expected = whole + (rest == 0 ? 0 : padding ? 4 : rest + 1);
  if (text.size() != expected) std::abort();
  auto back = platform::base64Decode(text, alphabet);
  if (!back || *back != bytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (Base64Alphabet alphabet : {Base64Alphabet::Standard, Base64Alphabet::UrlSafe}) {
    if (auto decoded = platform::base64Decode(text, alphabet)) {
      // Decoding drops at most a few bits of the last character, never a whole byte.
      if (decoded->size() > size / 4 * 3 + 2) std::abort();
      roundTrip(*decoded, alphabet, true);
    }
    const platform::Bytes bytes(data, data + size);
    roundTrip(bytes, alphabet, true);
    roundTrip(bytes, alphabet, false);
  }
  return 0;
}
