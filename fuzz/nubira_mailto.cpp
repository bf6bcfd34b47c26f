// The mailto reader over arbitrary text: only a "mailto:" URL gives fields, and every address
// it gives is one whole, non-blank address.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

// The reader is internal to the client; the target reaches it by path.
#include "../sdk/nubira/src/NBMailtoURL.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  auto mail = nubira::NBMailtoURL::parse(text);
  std::string scheme = text.substr(0, 7);
  for (auto& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (mail.has_value() != (scheme == "mailto:")) std::abort();
  if (!mail) return 0;
  for (const auto* list : {&mail->to, &mail->cc, &mail->bcc}) {
    for (const auto& address : *list) {
      if (address.empty() || address.find(',') != std::string::npos) std::abort();
      if (std::isspace(static_cast<unsigned char>(address.front())) ||
          std::isspace(static_cast<unsigned char>(address.back())))
        std::abort();
    }
  }
  return 0;
}
