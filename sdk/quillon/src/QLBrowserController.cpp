#include "QLBrowserController.h"

#include "QLFullScreenOpener.h"
#include "QLStatistics.h"
#include "QLWebViewDelegate.h"
#include "platform/text_helpers.h"

namespace quillon {

class QLBrowserController::PageDelegate : public QLWebViewDelegate {
 public:
  explicit PageDelegate(std::shared_ptr<QLOpener> opener)
      : QLWebViewDelegate(QLStatistics::sharedStatistics(), std::move(opener)) {}

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType type) override {
    if (type == platform::WebViewNavigationType::LinkClicked || type == platform::WebViewNavigationType::FormSubmitted) {
      auto url = platform::URL::create(request.url());
      std::string scheme = url ? platform::lowercase(url->scheme().value_or("")) : "";
      if (scheme == "http") QLStatistics::sharedStatistics()->incrementPageNavigationCount();
      if (scheme == "https") QLStatistics::sharedStatistics()->incrementSSLPageNavigationCount();
    }
    return QLWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType(webView, request, type);
  }
  void webViewDidStartLoad(const std::shared_ptr<platform::WebView>&) override {
    QLStatistics::sharedStatistics()->pageDidStartLoading();
  }
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override {
    QLStatistics::sharedStatistics()->pageDidFinishLoading();
    QLWebViewDelegate::webViewDidFinishLoad(webView);
  }
};

std::shared_ptr<QLBrowserController> QLBrowserController::create() {
  return std::make_shared<QLBrowserController>(Passkey{});
}

QLBrowserController::~QLBrowserController() {
  if (webView_) {
    webView_->setDelegate({});
    webView_->stopLoading();
  }
}

void QLBrowserController::loadReferringURL(const platform::URL& url, const std::optional<platform::URL>& referringURL) {
  if (!webView_) {
    urlToLoad_ = url;
    referringURLToLoad_ = referringURL;
    return;
  }
  platform::URLRequest request(url.absoluteString());
  if (referringURL) request.setValueForHTTPHeaderField(referringURL->absoluteString(), "Referer");
  webView_->loadRequest(request);
}

void QLBrowserController::back() {
  if (webView_ && webView_->canGoBack()) webView_->goBack();
}

void QLBrowserController::forward() {
  if (webView_ && webView_->canGoForward()) webView_->goForward();
}

void QLBrowserController::reload() {
  if (webView_) webView_->reload();
}

void QLBrowserController::stop() {
  if (webView_) webView_->stopLoading();
}

void QLBrowserController::openInSafari() {
  auto current = webView_ ? webView_->request() : std::nullopt;
  auto url = current ? platform::URL::create(current->url()) : std::nullopt;
  if (!url) return;
  auto opener = QLFullScreenOpener::create();
  opener->setDelegateManager(delegateManager());
  opener->openApp(*url);
  QLStatistics::sharedStatistics()->setBreakOutToSafari();
}

void QLBrowserController::viewWillAppear(bool animated) {
  QLViewController::viewWillAppear(animated);
  if (webView_) return;
  auto self = std::static_pointer_cast<QLBrowserController>(platform::ViewController::shared_from_this());
  const double toolbarHeight = 44;
  platform::Rect bounds = view()->bounds();
  webView_ = QLWebView::create(platform::Rect(0, 0, bounds.size.width, bounds.size.height - toolbarHeight));
  webView_->setDataDetectorTypes(platform::kDataDetectorTypeAll);
  opener_ = QLFullScreenOpener::create();
  opener_->setDelegateManager(delegateManager());
  opener_->setOpeningWebView(webView_);
  webViewDelegate_ = std::make_shared<PageDelegate>(opener_);
  webViewDelegate_->setViewController(std::static_pointer_cast<QLFullScreenController>(self));
  webViewDelegate_->setOpeningWebView(openingWebView());
  webView_->setDelegate(webViewDelegate_);
  view()->addSubview(webView_);
  if (urlToLoad_) loadReferringURL(*urlToLoad_, referringURLToLoad_);
  urlToLoad_.reset();
}

}  // namespace quillon
