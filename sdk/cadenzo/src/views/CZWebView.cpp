#include "CZWebView.h"

#include "CZCommandURL.h"
#include "CZJsonParser.h"
#include "CZPageGuard.h"
#include "platform/url.h"

namespace cadenzo {

std::shared_ptr<CZWebView> CZWebView::createWithFrame(const platform::Rect& frame) {
  auto view = std::make_shared<CZWebView>(platform::Passkey<CZWebView>{}, frame);
  view->platform::WebView::setDelegate(view);
  return view;
}

CZWebView::CZWebView(platform::Passkey<CZWebView>, const platform::Rect& frame) : platform::WebView(frame) {
  setOpaque(false);
  setBackgroundColor(platform::Color::clearColor());
}

void CZWebView::loadHTMLStringBaseURL(const std::string& html, const std::string& baseURL) {
  auto base = platform::URL::create(baseURL);
  guard_.pageWillLoad(base);
  documentLoaded_ = false;
  platform::WebView::loadHTMLStringBaseURL(html, base);
}

std::optional<bool> CZWebView::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
    platform::WebViewNavigationType navigationType) {
  (void)webView;
  (void)navigationType;
  // The callbacks may let the impression (and with it this view) go.
  auto self = sharedAs<CZWebView>();
  auto close = [this] {
    // A touch behind the close is spent on it (one act per touch), so the page cannot close
    // again in the user's name.
    closeTouched_ = consumeUserActivation();
    if (auto callback = closeCallback()) callback();
    closeTouched_ = false;
  };
  const std::string& url = request.url();
  if (!guard_.admits(*this, url)) return false;
  if (url.empty()) {
    close();
    return false;
  }
  if (CZSchemeOf(url) != kCZCommandScheme) {
    // Before the ad's document has loaded, its own loads go through. After, a new document
    // would replace the ad in a full-window view with no close of its own: a link the user
    // tapped leaves the ad through the click path instead, and a navigation with no touch
    // behind it is refused.
    if (!documentLoaded_) return true;
    if (guard_.allowsUserAct(*this, "navigation away from the ad"))
      if (auto callback = clickCallback()) callback(url, std::nullopt);
    return false;
  }

  const std::vector<std::string> pieces = CZSplitAtSlashes(url);
  if (pieces.size() < 3) {
    close();
    return false;
  }
  const std::string& command = pieces[2];
  if (command == "close") {
    close();
    return true;
  }
  if (command == "link") {
    if (pieces.size() < 4) {
      close();
      return false;
    }
    std::optional<platform::Value> data;
    if (pieces.size() >= 5) {
      if (auto json = platform::replacingPercentEscapes(pieces[4], platform::StringEncoding::ASCII))
        data = CZJsonParser().objectWithString(*json);
    }
    // A click reaches beyond the ad (the server counts it, the host hears it, a store or
    // browser opens), so it is the user's to make, whatever the navigation claims to be.
    // Refused, the command goes the way a counted one does, so the page cannot tell.
    if (!guard_.allowsUserAct(*this, "click")) return true;
    std::optional<std::string> target = platform::replacingPercentEscapes(pieces[3], platform::StringEncoding::UTF8);
    if (auto callback = clickCallback()) callback(target, data);
    return true;
  }
  return true;
}

void CZWebView::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) {
  (void)webView;
  auto self = sharedAs<CZWebView>();
  documentLoaded_ = true;
  if (auto callback = displayCallback()) callback();
}

void CZWebView::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                            const platform::Error& error) {
  (void)webView;
  (void)error;
  auto self = sharedAs<CZWebView>();
  if (auto callback = failCallback()) callback();
}

}  // namespace cadenzo
