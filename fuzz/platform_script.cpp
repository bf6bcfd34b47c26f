// Any text as a page script: errors, runaway loops and memory hogs must come back as a
// result, never as a crash or a hang of the host.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/html_document.h"
#include "platform/script_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view source(reinterpret_cast<const char*>(data), size);
  platform::ScriptContext::Limits limits;
  limits.maxHeapBytes = size_t{16} << 20;
  limits.cpuSecondsPerEvaluation = 0.2;
  auto context = platform::ScriptContext::create(platform::HtmlDocument::parse("<body></body>"), {},
                                                 limits, {});
  (void)context->runScript(source, "fuzz.js");
  (void)context->evaluate(source);
  (void)context->runLoadHandlers(std::string(source));
  return 0;
}
