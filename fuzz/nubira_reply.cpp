// NBAdXMLParser over arbitrary bytes. A unit it returns must be valid: an action type, a
// size, and rich media or a click target; its type one of the known codes.
#include <cstdint>
#include <cstdlib>

// The parser is internal to the client; the target reaches it by path.
#include "../sdk/nubira/src/NBAdXMLParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nubira::NBAdXMLParser parser;
  auto unit = parser.buildAdUnitFromResponseData(platform::Bytes(data, data + size));
  if (!unit) return 0;
  if (unit->adActionType == 0 || unit->width == 0 || unit->height == 0) std::abort();
  if (unit->adType != nubira::NBAdTypeRichMedia && !unit->targetUrl) std::abort();
  switch (unit->adType) {
    case 0: case 1: case 2: case 3: case 5: break;
    default: std::abort();
  }
  return 0;
}
