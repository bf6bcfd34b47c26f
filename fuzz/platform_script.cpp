// Any text as a page script: errors, runaway loops and memory hogs must come back as a
// result, never as a crash or a hang of the host.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/html_document.h"
#include "platform/script_context.h"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ADC_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define ADC_THREAD_SANITIZER 1
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(ADC_THREAD_SANITIZER)
  // The thread sanitizer holds back the signal that stops a runaway script, so a looping
  // seed would never return; there is no threading here for it to check anyway.
  (void)data;
  (void)size;
  return 0;
#endif
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
