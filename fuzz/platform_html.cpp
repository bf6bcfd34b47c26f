// Hostile markup through the HTML reader and into a page's script world: the element tree a
// page's scripts walk must be buildable from any input, within the heap cap.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/html_document.h"
#include "platform/script_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto document = platform::HtmlDocument::parse(text);
  (void)document.scripts();
  (void)platform::HtmlDocument::parseFragment(text);
  platform::ScriptContext::Limits limits;
  limits.maxHeapBytes = size_t{16} << 20;
  limits.cpuSecondsPerEvaluation = 0.5;
  auto context = platform::ScriptContext::create(document, {}, limits, {});
  (void)context->evaluate("document.getElementsByTagName('*').length + document.images.length");
  return 0;
}
