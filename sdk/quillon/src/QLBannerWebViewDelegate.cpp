#include "QLBannerWebViewDelegate.h"

#include "QLObjectPrivate.h"
#include "QLStatistics.h"
#include "platform/text_helpers.h"

namespace quillon {

std::shared_ptr<QLBannerWebViewDelegate> QLBannerWebViewDelegate::create(const std::shared_ptr<QLObjectPrivate>& engine) {
  return std::make_shared<QLBannerWebViewDelegate>(Passkey{}, engine);
}

QLBannerWebViewDelegate::QLBannerWebViewDelegate(Passkey, const std::shared_ptr<QLObjectPrivate>& engine)
    : QLWebViewDelegate(QLStatistics::sharedStatistics(), nullptr), private_(engine) {}

std::optional<bool> QLBannerWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
    platform::WebViewNavigationType navigationType) {
  auto self = shared_from_this();
  auto engine = private_.lock();
  auto url = platform::URL::create(request.url());
  if (!engine || !url || !engine->isClick(navigationType))
    return QLWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType(webView, request, navigationType);

  platform::URL clicked = QLStatistics::sharedStatistics()->urlForClick(*url);
  platform::URLRequest clickRequest = request;
  clickRequest.setURL(clicked.absoluteString());
  auto allowed = QLWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType(webView, clickRequest, navigationType);
  auto theOpener = opener();
  if (allowed.value_or(false) && theOpener) {
    std::optional<platform::URL> shown;
    if (auto current = webView->request()) shown = platform::URL::create(current->url());
    theOpener->setReferringURL(shown);
    if (platform::lowercase(clicked.scheme().value_or("")).rfind("http", 0) == 0) {
      if (!engine->pendingClickURLs().empty()) {
        theOpener->openWebAppSupportedOrientations(clicked, engine->supportedOrientations());
      } else {
        theOpener->openBrowserToURLSupportedOrientations(clicked, engine->supportedOrientations());
      }
    }
  }
  // A tap opens the ad's target in the client's own pages; the banner itself stays.
  return false;
}

bool QLBannerWebViewDelegate::acceptsMessagesFrom(const platform::WebView& webView) const {
  auto engine = private_.lock();
  return engine && isOnSiteOf(webView, engine->adHTMLBaseURL());
}

bool QLBannerWebViewDelegate::showsPage(const platform::WebView& webView) const {
  auto engine = private_.lock();
  return engine && engine->adView() && !webView.isHidden();
}

void QLBannerWebViewDelegate::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) {
  auto self = shared_from_this();
  QLWebViewDelegate::webViewDidFinishLoad(webView);
  if (auto engine = private_.lock()) engine->adWebViewDidFinishLoad();
}

void QLBannerWebViewDelegate::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                                          const platform::Error& error) {
  auto self = shared_from_this();
  QLWebViewDelegate::webViewDidFailLoadWithError(webView, error);
  if (auto engine = private_.lock()) engine->adWebViewDidFail();
}

}  // namespace quillon
