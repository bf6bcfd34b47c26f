// URL parsing, resolution and the escaping helpers over arbitrary text. Beyond not
// crashing, the escaping round trips must hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  using namespace platform;

  auto url = URL::create(text);
  if (url) {
    (void)url->path();
    (void)url->user();
    (void)url->password();
    (void)url->lastPathComponent();
    (void)url->pathExtension();
    (void)url->resourceSpecifier();
    // Re-parsing the absolute text gives the same URL.
    auto again = URL::create(url->absoluteString());
    if (!again || !(*again == *url)) std::abort();
  }
  static const URL base = *URL::create("http://a/b/c/d;p?q");
  if (auto resolved = URL::create(text, base)) {
    if (!URL::create(resolved->absoluteString())) std::abort();
  }

  std::string escaped = addingPercentEscapes(text);
  if (!URL::create("x:///" + escaped)) std::abort();  // always valid after an authority
  auto back = replacingPercentEscapes(escaped);
  auto direct = replacingPercentEscapes(escapeQueryComponent(text));
  // Escaping then unescaping gives the text back whenever the text is itself valid
  // UTF-8 (then the unescape must succeed).
  if (back && *back != text) std::abort();
  if (direct && *direct != text) std::abort();
  if (back.has_value() != direct.has_value()) std::abort();

  (void)replacingPercentEscapes(text, StringEncoding::ASCII);
  (void)queryItems(text);
  return 0;
}
