#include "QLBannerWebViewDelegate.h"

#include "QLNotification.h"
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
  // A message is no click, even from a tap: the bridge decides it (and what it may do).
  if (!engine || !url || QLNotification::isNotificationURL(*url)) return decideNavigation(webView, request, navigationType, false);
  if (engine->isTouchWhileAdArrives(navigationType)) {
    logRefusalOnce(*webView, "arriving ad",
                   "<Quillon> Ignoring " + url->absoluteString() + ": the next ad is being put in place.");
    return false;
  }
  if (engine->isTapTooSoon(navigationType) && platform::lowercase(url->scheme().value_or("")).rfind("http", 0) == 0) {
    logRefusalOnce(*webView, "early tap",
                   "<Quillon> Ignoring " + url->absoluteString() + ": the ad had only just appeared.");
    return false;
  }
  if (!engine->isClick(navigationType)) return decideNavigation(webView, request, navigationType, false);
  // A click counts, opens and presents for the user: only on the touch that made it. A page
  // that navigates by itself some time after a touch is not clicked, nor stays in place.
  if (!takeUserAct(*webView, url->absoluteString(), "scheme " + platform::lowercase(url->scheme().value_or(""))))
    return false;

  platform::URL clicked = QLStatistics::sharedStatistics()->urlForClick(*url);
  platform::URLRequest clickRequest = request;
  clickRequest.setURL(clicked.absoluteString());
  auto allowed = decideNavigation(webView, clickRequest, navigationType, true);
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

bool QLBannerWebViewDelegate::showsPage(const platform::WebView& webView) const {
  auto engine = private_.lock();
  return engine && engine->adView() && webView.isShownOnScreen();
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
