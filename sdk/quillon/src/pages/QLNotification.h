#pragma once
// One message of an ad page, read from the URL the page navigated to:
//   "qmsg:"     the name is the path without its leading "/", the parameters the query;
//   "quillon:"  older pages, by host: "launch" is "open" with "a" = "browser" and "u" = the
//               query's "url"; "closecanvas" is "close"; "log" is "log" with the query;
//               any other host is no message.
// Query keys are lower-cased (see QLNetworkUtilities::dictionaryFromQueryString).
#include <memory>
#include <optional>
#include <string>

#include "platform/url.h"
#include "platform/value.h"
#include "platform/passkey.h"

namespace quillon {

class QLNotification {
 public:
  // nullptr when the URL holds no message.
  static std::shared_ptr<QLNotification> notificationFromURL(const platform::URL& url);
  static bool isNotificationURL(const platform::URL& url);
  static bool isQMSGNotificationURL(const platform::URL& url);
  static bool isQuillonNotificationURL(const platform::URL& url);

  const std::string& name() const { return name_; }
  // String values by lower-case key.
  const platform::Dictionary& parameters() const { return parameters_; }
  // The parameter's text, "" when missing.
  std::string parameter(const std::string& key) const { return parameters_.get(key).string(); }
  // "%@<%p>: name:%@ parameters:%@"
  std::string description() const;

  using Passkey = platform::Passkey<QLNotification>;
  QLNotification(Passkey, std::string name, platform::Dictionary parameters)
      : parameters_(std::move(parameters)), name_(std::move(name)) {}

 private:
  platform::Dictionary parameters_;
  std::string name_;
};

}  // namespace quillon
