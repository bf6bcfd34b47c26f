#include "QLNotificationCenter.h"

#include "QLMacros.h"
#include "QLNotification.h"
#include "platform/format.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"

namespace quillon {

using platform::URL;
using platform::Value;

namespace {
constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";

// Sequences that are harmless in JSON but not in a script: the two line terminators that
// end a script string literal, and "</" that ends a script element.
void escapeScriptTerminators(std::string& out, std::string_view text, size_t& i) {
  if (text.substr(i, 3) == kLineSeparator) {
    out += "\\u2028";
    i += 2;
  } else if (text.substr(i, 3) == kParagraphSeparator) {
    out += "\\u2029";
    i += 2;
  } else if (text.substr(i, 2) == "</") {
    out += "<\\/";
    i += 1;
  } else {
    out += text[i];
  }
}

// The contents of a single-quoted script string literal.
std::string singleQuotedContents(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\' || c == '\'' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += platform::format("\\u%04x", c);
    } else {
      escapeScriptTerminators(out, text, i);
    }
  }
  return out;
}

}  // namespace

// JSON already escapes quotes, backslashes and control characters inside its strings.
std::string QLNotificationCenter::scriptSafeJSON(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  for (size_t i = 0; i < json.size(); ++i) escapeScriptTerminators(out, json, i);
  return out;
}

void QLNotificationCenter::postNotificationFromURLObject(const URL& url,
                                                         const std::shared_ptr<platform::WebView>& object) {
  auto message = QLNotification::notificationFromURL(url);
  if (!message) return;
  platform::NotificationCenter::defaultCenter().postNotificationName(message->name(), object.get(),
                                                                     Value(message->parameters()));
}

void QLNotificationCenter::postNotificationFromURLObjectWithDelay(const URL& url,
                                                                  const std::shared_ptr<platform::WebView>& object,
                                                                  double delay) {
  // The delayed call keeps its sender alive until it has been posted.
  platform::RunLoop::main().postAfter(delay, [url, object] { postNotificationFromURLObject(url, object); });
}

void QLNotificationCenter::postJSNotificationUserInfoWebView(const std::string& name,
                                                             const std::optional<Value>& userInfo,
                                                             platform::WebView& webView) {
  std::optional<std::string> json = userInfo ? QLMacros::jsonify(userInfo) : std::nullopt;
  std::string script;
  if (json && !json->empty()) {
    script = platform::format("%@('%@', %@);", "QL_ReceiveMessage", singleQuotedContents(name), scriptSafeJSON(*json));
  } else {
    script = platform::format("%@('%@');", "QL_ReceiveMessage", singleQuotedContents(name));
  }
  webView.stringByEvaluatingJavaScriptFromString(script);
}

}  // namespace quillon
