#include "QLNotificationCenter.h"

#include "QLMacros.h"
#include "QLNotification.h"
#include "platform/format.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/text_quoting.h"

namespace quillon {

using platform::URL;
using platform::Value;

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
    script = platform::format("%@('%@', %@);", "QL_ReceiveMessage", platform::escapeScriptString(name), platform::scriptSafeJSON(*json));
  } else {
    script = platform::format("%@('%@');", "QL_ReceiveMessage", platform::escapeScriptString(name));
  }
  webView.stringByEvaluatingJavaScriptFromString(script);
}

}  // namespace quillon
