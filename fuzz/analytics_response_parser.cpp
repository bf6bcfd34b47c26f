// The collector's answers as the dispatcher reads them: arbitrary bytes, cut into reads at
// points the input chooses, with the parser reset from inside its own callbacks the way the
// dispatcher starts a new batch.
#include <cstddef>
#include <cstdint>

#include "OAHTTPResponseParser.h"

namespace {

class Delegate : public analytics::OAHTTPResponseParserDelegate {
 public:
  analytics::OAHTTPResponseParser* parser = nullptr;
  unsigned resetEvery = 0;
  unsigned answers = 0;
  void responseParsedPersistentConnection(bool) override {
    if (resetEvery && ++answers % resetEvery == 0) parser->reset();
  }
  void parseErrorStatusCode(int) override { parser->reset(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Delegate delegate;
  analytics::OAHTTPResponseParser parser(&delegate);
  delegate.parser = &parser;
  delegate.resetEvery = data[0] % 4;
  const size_t chunk = 1 + data[1] % 64;
  data += 2;
  size -= 2;
  for (size_t at = 0; at < size; at += chunk) {
    parser.parseResponse(data + at, size - at < chunk ? size - at : chunk);
  }
  return 0;
}
