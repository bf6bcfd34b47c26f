// The JSON parser over arbitrary bytes, fed whole and in pseudo-random pieces: both ways
// must agree on the value or on the exact error text. A value that parses must write and
// parse back to an equal value.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

// The stream parser is internal to the client; the target reaches it by path.
#include "CZJsonStreamParser.h"
#include "CZJsonStreamParserAccumulator.h"
#include "CZJsonStreamParserAdapter.h"
#include "CZJsonParser.h"
#include "CZJsonWriter.h"

namespace {

struct Outcome {
  bool ok;
  platform::Value value;
  std::string error;
};

Outcome parseInPieces(std::string_view text, uint32_t seed) {
  auto accumulator = std::make_shared<cadenzo::CZJsonStreamParserAccumulator>();
  auto adapter = std::make_shared<cadenzo::CZJsonStreamParserAdapter>();
  adapter->setDelegate(accumulator);
  cadenzo::CZJsonStreamParser parser;
  parser.setDelegate(adapter);
  int status = cadenzo::CZJsonStreamParser::CZJsonStreamParserWaitingForData;
  while (!text.empty()) {
    seed = seed * 1103515245u + 12345u;
    size_t piece = 1 + (seed >> 16) % 7;
    if (piece > text.size()) piece = text.size();
    status = parser.parse(text.substr(0, piece));
    text.remove_prefix(piece);
  }
  if (status != cadenzo::CZJsonStreamParser::CZJsonStreamParserError) {
    status = parser.parseEndOfInput();
  }
  if (status == cadenzo::CZJsonStreamParser::CZJsonStreamParserComplete) {
    return {true, accumulator->value(), ""};
  }
  if (status == cadenzo::CZJsonStreamParser::CZJsonStreamParserWaitingForData) {
    return {false, platform::Value(), "Unexpected end of input"};
  }
  return {false, platform::Value(), parser.error()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  cadenzo::CZJsonParser parser;
  auto whole = parser.objectWithString(text);

  Outcome pieces = parseInPieces(text, static_cast<uint32_t>(size));
  if (pieces.ok != whole.has_value()) std::abort();
  if (whole) {
    if (!(pieces.value == *whole)) std::abort();
    auto written = cadenzo::JSONRepresentation(*whole);
    if (!written) std::abort();
    auto back = cadenzo::JSONValue(*written);
    if (!back || !(*back == *whole)) std::abort();
  } else if (pieces.error != parser.error()) {
    std::abort();
  }
  return 0;
}
