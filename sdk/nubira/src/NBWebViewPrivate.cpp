#include "NBWebViewPrivate.h"

#include "NBSDKUtil.h"
#include "nubira/NBUserInfo.h"
#include "platform/run_loop.h"
#include "platform/user_defaults.h"
#include "platform/web_view.h"

namespace nubira {

class NBWebViewPrivate::Listener : public platform::WebViewDelegate {
 public:
  explicit Listener(std::weak_ptr<NBWebViewPrivate> owner) : owner_(std::move(owner)) {}
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const std::shared_ptr<platform::WebView>&,
                                                                      const platform::URLRequest& request,
                                                                      platform::WebViewNavigationType) override {
    auto owner = owner_.lock();
    if (!owner) return true;
    const auto& headers = request.allHTTPHeaderFields();
    auto agent = headers.value("User-Agent");
    return !owner->takeUserAgentFromHeaders(agent ? &*agent : nullptr, !headers.empty());
  }

 private:
  std::weak_ptr<NBWebViewPrivate> owner_;
};

NBWebViewPrivate::NBWebViewPrivate(platform::Passkey<NBWebViewPrivate>) : webview_(platform::WebView::create()) {}

std::shared_ptr<NBWebViewPrivate> NBWebViewPrivate::create() {
  auto holder = std::make_shared<NBWebViewPrivate>(platform::Passkey<NBWebViewPrivate>());
  holder->listener_ = std::make_shared<Listener>(holder);
  holder->webview_->setDelegate(holder->listener_);
  return holder;
}

NBWebViewPrivate::~NBWebViewPrivate() {
  if (webview_) webview_->setDelegate({});
}

void NBWebViewPrivate::fetchUserAgent() {
  if (!webview_) return;
  webview_->loadRequest(platform::URLRequest(kHomePage));
}

void NBWebViewPrivate::persistUserAgentString(const std::string& userAgent) {
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  defaults.setObjectForKey(platform::Value(userAgent), NBUserInfo::kUserAgentKey);
  defaults.synchronize();
}

bool NBWebViewPrivate::takeUserAgentFromHeaders(const std::string* userAgent, bool hasHeaders) {
  if (!hasHeaders) return false;
  // A request with headers but no agent still ends the hunt: a later request of the same
  // view would carry the same headers.
  if (userAgent) {
    persistUserAgentString(*userAgent);
    if (auto info = userInfo_.lock()) info->setPhoneUserAgent(*userAgent);
  }
  NBSDKUtil::util()->logAbove(1, "<<< user agent found>>>");
  // Released after this turn: the web view is still asking us.
  if (webview_) {
    webview_->setDelegate({});
    platform::RunLoop::main().keepAliveUntilEndOfTurn(webview_);
    webview_.reset();
  }
  return true;
}

}  // namespace nubira
