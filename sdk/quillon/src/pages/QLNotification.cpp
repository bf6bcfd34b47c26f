#include "QLNotification.h"

#include "QLNetworkUtilities.h"
#include "platform/format.h"

namespace quillon {

using platform::Dictionary;
using platform::URL;
using platform::Value;

namespace {
bool schemeIs(const URL& url, std::string_view scheme) {
  if (!url.scheme() || url.scheme()->size() != scheme.size()) return false;
  for (size_t i = 0; i < scheme.size(); ++i) {
    char c = (*url.scheme())[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != scheme[i]) return false;
  }
  return true;
}

Dictionary queryOf(const URL& url) { return QLNetworkUtilities::dictionaryFromQueryString(url.query().value_or("")); }
}  // namespace

bool QLNotification::isQMSGNotificationURL(const URL& url) { return schemeIs(url, "qmsg"); }

bool QLNotification::isQuillonNotificationURL(const URL& url) { return schemeIs(url, "quillon"); }

bool QLNotification::isNotificationURL(const URL& url) {
  return isQMSGNotificationURL(url) || isQuillonNotificationURL(url);
}

std::shared_ptr<QLNotification> QLNotification::notificationFromURL(const URL& url) {
  if (isQMSGNotificationURL(url)) {
    std::string path = url.path();
    std::string name = path.empty() ? "" : path.substr(1);
    return std::make_shared<QLNotification>(Passkey{}, std::move(name), queryOf(url));
  }
  if (!isQuillonNotificationURL(url)) return nullptr;
  const std::string host = url.host().value_or("");
  if (host == "launch") {
    Dictionary parameters{{"a", Value("browser")}, {"u", queryOf(url).get("url")}};
    if (parameters.get("u").isNull()) parameters.erase("u");
    return std::make_shared<QLNotification>(Passkey{}, "open", std::move(parameters));
  }
  if (host == "closecanvas") return std::make_shared<QLNotification>(Passkey{}, "close", Dictionary{});
  if (host == "log") return std::make_shared<QLNotification>(Passkey{}, "log", queryOf(url));
  return nullptr;
}

std::string QLNotification::description() const {
  return platform::format("%@<%p>: name:%@ parameters:%@", "QLNotification", static_cast<const void*>(this), name_,
                          Value(parameters_));
}

}  // namespace quillon
