// QLJSON over arbitrary bytes. A failure must carry one of the reader's codes and a message;
// a value that reads must write back, plainly and in the sorted human-readable layout, to
// text that reads and writes again to the same text. (Text, not values: a decimal whose
// written form has no fraction or exponent, such as 9e1 written as 90, reads back as an
// integer, which is the same number of another kind.)
#include <cstdint>
#include <cstdlib>
#include <string_view>

// The reader is internal to the client; the target reaches it by path.
#include "../sdk/quillon/src/util/QLJSON.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  quillon::QLJSON json;
  platform::Error error;
  auto value = json.fragmentWithStringError(text, &error);
  if (!value) {
    if (error.domain != quillon::QLJSON::kErrorDomain || error.code < 2 || error.code > 11) std::abort();
    if (error.localizedDescription().empty()) std::abort();
    return 0;
  }
  for (bool layout : {false, true}) {
    quillon::QLJSON writer;
    writer.setSortKeys(layout);
    writer.setHumanReadable(layout);
    auto written = writer.stringWithFragmentError(*value);
    if (!written) std::abort();
    auto back = json.fragmentWithStringError(*written);
    if (!back) std::abort();
    quillon::QLJSON rewriter;
    rewriter.setSortKeys(layout);
    rewriter.setHumanReadable(layout);
    auto again = rewriter.stringWithFragmentError(*back);
    if (!again || *again != *written) std::abort();
  }
  return 0;
}
