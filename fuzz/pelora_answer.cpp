// The Pelora ad answer over arbitrary bytes. Every input gives a banner; a banner that says
// SUCCESS came from a well-formed document, and a parse failure is an ERROR banner with
// code 5 and a message. Status and codes stay within their enumerations.
#include <cstdint>
#include <cstdlib>

// The reader is internal to the client; the target reaches it by path.
#include "../sdk/pelora/src/PELOReceivedBannerParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pelora::PELOReceivedBannerParser parser;
  auto banner = parser.parse(platform::Bytes(data, data + size));
  if (!banner) std::abort();
  if (banner->status() != 0 && banner->status() != 1) std::abort();
  if (banner->errorCode() < 0 || banner->errorCode() > 5) std::abort();
  if (banner->adType() < 0 || banner->adType() > 4) std::abort();
  if (banner->errorCode() == 5 && banner->status() == 1 && banner->errorMessage().empty()) std::abort();
  for (const auto& beacon : banner->beacons()) (void)beacon.size();
  return 0;
}
