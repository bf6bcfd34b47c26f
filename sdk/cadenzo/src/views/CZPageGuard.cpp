#include "CZPageGuard.h"

#include "CZCommandURL.h"
#include "platform/log.h"

namespace cadenzo {

void CZPageGuard::pageWillLoad(const std::optional<platform::URL>& baseURL) {
  ownURL_ = baseURL ? baseURL->absoluteString() : std::string("about:blank");
}

bool CZPageGuard::showsOwnDocument(const platform::WebView& view) const {
  auto current = view.request();
  return !current || current->url() == ownURL_;
}

void CZPageGuard::refuse(bool& logged, const char* what, const std::string& url) {
  if (logged) return;
  logged = true;
  platform::logf("%s: %s refused: %@", owner_, what, platform::Value(url));
}

bool CZPageGuard::admits(const platform::WebView& view, const std::string& url) {
  const bool isCommand = url.empty() || CZSchemeOf(url) == kCZCommandScheme;
  // A page the user's tap loaded into the ad (a landing or tracking page), while it still
  // loads, carries that tap on: its command is where the tap was going.
  if (isCommand && !showsOwnDocument(view) && !view.navigationInheritsUserActivation()) {
    refuse(foreignCommandLogged_, "a command from a page other than the ad's own", url);
    return false;
  }
  if (CZIsFileURLOutsideBundle(url)) {
    refuse(outsideFileLogged_, "a file outside the application bundle", url);
    return false;
  }
  return true;
}

bool CZPageGuard::allowsUserAct(platform::WebView& view, const char* act) const {
  if (view.consumeUserActivation()) return true;
  if (view.noteRefusalOnce(act))
    platform::logf("%s: the page's %s without a touch of the user on the shown ad is refused", owner_, act);
  return false;
}

}  // namespace cadenzo
