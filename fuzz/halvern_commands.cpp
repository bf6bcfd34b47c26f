// The Halvern page command parser over arbitrary bytes. Each value belongs to a keyword, so
// there are never more values than colons in the selector; every value is a string or a
// double; a quoted string is never longer than the command.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// The parser is internal to the client; the target reaches it by path.
#include "../sdk/halvern/src/bridge/HVCommandHandler.h"
#include "../sdk/halvern/src/bridge/HVJavascriptBridge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto parsed = halvern::HVJavascriptBridge::parseCommand(text);
  if (parsed) {
    if (parsed->selector.empty()) abort();
    const auto colons = static_cast<size_t>(std::count(parsed->selector.begin(), parsed->selector.end(), ':'));
    if (parsed->arguments.size() > colons) abort();
    for (const auto& value : parsed->arguments) {
      if (!value.isString() && value.type() != platform::Value::Type::Double) abort();
      if (value.isString() && value.string().size() > size) abort();
    }
  }
  // The same bytes as a callback template: filling never loses the text around it.
  const std::string filled = halvern::HVCommandHandler::fillCallbackTemplate(text, "V");
  if (filled.size() > size + 1) abort();
  return 0;
}
