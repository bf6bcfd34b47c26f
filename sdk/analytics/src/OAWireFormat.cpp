#include "OAWireFormat.h"

#include "platform/format.h"
#include "platform/url.h"

namespace analytics::wire {

namespace {

// The legacy escaping keeps "&", "#" and "+". Inside a query value they end the value, end
// the query, or read as a blank on the collector's side, so the hit would arrive altered.
std::string escapeValue(std::string_view text) {
  return platform::addingPercentEscapes(text, "&#+");
}

}  // namespace

std::string extEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\'': out += "'0"; break;
      case ')': out += "'1"; break;
      case '*': out += "'2"; break;
      case '!': out += "'3"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

int32_t simpleHashForString(std::string_view text) {
  uint32_t h = 0;
  for (auto it = text.rbegin(); it != text.rend(); ++it) {
    uint32_t c = static_cast<unsigned char>(*it);
    h = ((h << 6) & 0x0FFFFFFFu) + c + (c << 14);
    uint32_t g = h & 0x0FE00000u;
    if (g != 0) h ^= g >> 21;
  }
  return static_cast<int32_t>(h);
}

std::string extProjectForProjectNumberWithCustomVariables(int project,
                                                          const OACustomVariableBuffer& buffer) {
  std::string out = platform::format("%d(", project);
  bool first = true;
  for (int i = 1; i <= kOAMaxCustomVariables; ++i) {
    auto v = buffer.customVariableAt(i);
    if (!v) continue;
    if (!first) out += "*";
    first = false;
    out += platform::format("%d!", i);
    switch (project) {
      case 8: out += extEscape(escapeValue(v->name())); break;
      case 9: out += extEscape(escapeValue(v->value())); break;
      case 11: out += platform::format("%d", v->scope()); break;
      default: break;
    }
  }
  return out + ")";
}

std::string customVariableParamsForEvent(const OAEvent& event) {
  const auto& buffer = event.customVariableBuffer();
  if (!buffer || !buffer->hasCustomVariables()) return "";
  return extProjectForProjectNumberWithCustomVariables(8, *buffer) +
         extProjectForProjectNumberWithCustomVariables(9, *buffer) +
         extProjectForProjectNumberWithCustomVariables(11, *buffer);
}

std::string getEscapedCookieString(const OAEvent& event, int32_t userID) {
  return platform::addingPercentEscapes(platform::format(
      "__ovaa=%d.%d.%d.%d.%d.%d", simpleHashForString("-"), userID, event.timestampFirst(),
      event.timestampPrevious(), event.timestampCurrent(), event.visits()));
}

std::string eventText(const OAEvent& event) {
  // The fields are ext-escaped only: the whole text is percent-escaped once it is built.
  std::string text =
      platform::format("5(%@*%@", extEscape(event.category()), extEscape(event.action()));
  if (event.label()) {
    text += platform::format("*%@)", extEscape(*event.label()));
  } else {
    text += ")";
  }
  if (event.value() >= 0) text += platform::format("(%d)", event.value());
  return text + customVariableParamsForEvent(event);
}

std::string constructEventRequestPath(const OAEvent& event, const HitContext& context,
                                      long random) {
  return platform::format(
      "%@?ovawv=%@&ovan=%ld&ovat=event&ovae=%@&ovacs=UTF-8&ovasr=%dx%d&ovasc=24-bit&ovaul=%@-%@"
      "&ovaac=%@&ovahid=%@&ovacc=%@",
      kOAHitPath, kOAWireVersion, random, escapeValue(eventText(event)),
      context.screenWidth, context.screenHeight, context.languageCode, context.countryCode,
      context.accountID, context.hitID, getEscapedCookieString(event, context.userID));
}

std::string constructPageviewRequestPath(const OAEvent& event, const HitContext& context,
                                         long random) {
  std::string path = platform::format(
      "%@?ovawv=%@&ovan=%ld&ovacs=UTF-8&ovasr=%dx%d&ovasc=24-bit&ovaul=%@-%@&ovap=%@&ovaac=%@"
      "&ovahid=%@&ovacc=%@",
      kOAHitPath, kOAWireVersion, random, context.screenWidth, context.screenHeight,
      context.languageCode, context.countryCode, escapeValue(event.action()),
      context.accountID, context.hitID, getEscapedCookieString(event, context.userID));
  std::string variables = customVariableParamsForEvent(event);
  if (!variables.empty()) path += platform::format("&ovae=%@", variables);
  return path;
}

}  // namespace analytics::wire
