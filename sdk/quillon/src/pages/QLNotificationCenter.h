#pragma once
// Page messages posted as notifications on the process's default center, and messages sent
// to pages through their function "QL_ReceiveMessage". Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/url.h"
#include "platform/value.h"
#include "platform/web_view.h"

namespace quillon {

inline constexpr const char* kDidReceiveWebActionNotification = "didReceiveWebAction";

class QLNotificationCenter {
 public:
  // Posts the URL's message, when it holds one, named after it, with `object` as sender and
  // the message parameters as user information.
  static void postNotificationFromURLObject(const platform::URL& url, const std::shared_ptr<platform::WebView>& object);
  // The same on a later turn of the main loop (a delay of 0 included).
  static void postNotificationFromURLObjectWithDelay(const platform::URL& url,
                                                     const std::shared_ptr<platform::WebView>& object, double delay);
  // Calls QL_ReceiveMessage('<name>', <JSON of userInfo>) in the page, or with the name alone
  // without user information. Both travel as script literals: nothing the texts hold can end
  // the literal, the script or the page's script element.
  static void postJSNotificationUserInfoWebView(const std::string& name, const std::optional<platform::Value>& userInfo,
                                                platform::WebView& webView);
};

}  // namespace quillon
