#include "QLNetworkUtilities.h"

#include "platform/singleton.h"
#include "platform/text_helpers.h"

namespace quillon {

using platform::Dictionary;
using platform::URL;
using platform::Value;

namespace {
struct UserAgentState {
  std::optional<std::string> userAgent;
};
platform::ProcessState<UserAgentState>& userAgentState() {
  static platform::ProcessState<UserAgentState> s;
  return s;
}

// Calls `piece` for every run of `text` between separators (empty runs included).
template <class F>
void splitOn(std::string_view text, std::string_view separators, F&& piece) {
  size_t start = 0;
  for (;;) {
    size_t end = text.find_first_of(separators, start);
    piece(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return;
    start = end + 1;
  }
}
}  // namespace

std::optional<std::string> QLNetworkUtilities::userAgentString() {
  return userAgentState().read(&UserAgentState::userAgent);
}

bool QLNetworkUtilities::setUserAgentString(const std::string& userAgent) {
  if (removingControlCharacters(userAgent) != userAgent) return false;
  if (!userAgent.empty()) userAgentState().write(&UserAgentState::userAgent, userAgent);
  return true;
}

std::string QLNetworkUtilities::removingControlCharacters(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      if (keepLineBreaks && (c == '\n' || c == '\t')) out.push_back(static_cast<char>(c));
      continue;
    }
    // U+0080-U+009F: 0xC2 followed by 0x80-0x9F.
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
        static_cast<unsigned char>(text[i + 1]) >= 0x80) {
      ++i;
      continue;
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

Dictionary QLNetworkUtilities::dictionaryFromQueryString(std::string_view query) {
  Dictionary result;
  splitOn(query, "&;", [&](std::string_view piece) {
    size_t eq = piece.find('=');
    if (eq == std::string_view::npos || piece.find('=', eq + 1) != std::string_view::npos) return;
    auto key = platform::replacingPercentEscapes(piece.substr(0, eq));
    auto value = platform::replacingPercentEscapes(piece.substr(eq + 1));
    if (!key || !value) return;
    result.set(platform::lowercase(*key), Value(std::move(*value)));
  });
  return result;
}

std::optional<std::string> QLNetworkUtilities::parameterValueForKeyFromURL(std::string_view key, const URL& url) {
  if (!url.query()) return std::nullopt;
  std::optional<std::string> found;
  splitOn(*url.query(), "&", [&](std::string_view piece) {
    if (found) return;
    size_t eq = piece.find('=');
    if (eq == std::string_view::npos || piece.substr(0, eq) != key) return;
    std::string_view value = piece.substr(eq + 1);
    found = std::string(value.substr(0, value.find('=')));
  });
  return found;
}

std::optional<URL> QLNetworkUtilities::appendQueryParametersToURL(const Dictionary& parameters, const URL& url) {
  const std::string& text = url.absoluteString();
  // The fragment runs to the end of the text; parameters belong before it.
  size_t hash = text.find('#');
  std::string head = text.substr(0, hash);
  std::string fragment = hash == std::string::npos ? "" : text.substr(hash);
  bool hasQuery = url.query().has_value();
  bool needsSeparator = !(hasQuery && url.query()->empty());
  for (const auto& [key, value] : parameters) {
    if (needsSeparator) head += hasQuery ? "&" : "?";
    hasQuery = needsSeparator = true;
    head += key;
    std::string encoded = value.isNull() ? "" : encodeURL(value.description());
    if (!encoded.empty()) head += "=" + encoded;
  }
  return URL::create(head + fragment);
}

std::optional<URL> QLNetworkUtilities::appendQueryKeyValueToURL(const std::string& key, const Value& value,
                                                                const URL& url) {
  Dictionary one;
  one.set(key, value);
  return appendQueryParametersToURL(one, url);
}

std::string QLNetworkUtilities::encodeURL(std::string_view text) {
  return platform::addingPercentEscapes(text, "!*'();:@&=+$,/?%#[]");
}

}  // namespace quillon
