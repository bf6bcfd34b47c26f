#include "KvFullScreenView.h"

#include "KvBrowserView.h"
#include "KvFullScreenViewController.h"
#include "kelvane/KelvaneAd.h"

namespace kelvane {

std::shared_ptr<KvFullScreenView> KvFullScreenView::create(const platform::Rect& frame) {
  auto view = std::make_shared<KvFullScreenView>(platform::Passkey<KvFullScreenView>{}, frame);
  view->attachWebView();
  view->observeOrientation([](KvPageView& v) { static_cast<KvFullScreenView&>(v).didRotate(); });
  return view;
}

KvFullScreenView::KvFullScreenView(platform::Passkey<KvFullScreenView>, const platform::Rect& frame)
    : KvPageView(frame) {
  const unsigned flexible = platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight;
  setAutoresizingMask(flexible);
  kvWebView_->setAutoresizingMask(flexible);
}

void KvFullScreenView::done() {
  if (auto controller = kvFullScreenViewController_.lock()) controller->done();
}

void KvFullScreenView::showBrowser(const platform::URL& url) {
  if (auto controller = kvFullScreenViewController_.lock()) controller->showBrowser(url);
}

bool KvFullScreenView::canShowBrowser() const {
  auto controller = kvFullScreenViewController_.lock();
  return controller && controller->canShowBrowser();
}

void KvFullScreenView::didRotate() { KvMoveToOriginOnRotation(*this); }

void KvFullScreenView::answerDidFail() {
  auto self = sharedAs<KvFullScreenView>();
  post(kKvOnFailedToReceiveAdNotification);
  done();
}

std::optional<bool> KvFullScreenView::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
    platform::WebViewNavigationType navigationType) {
  if (webView != kvWebView_) return true;
  // The full-screen page may move on in place (its own redirects and steps), never onto a
  // local file or inline data.
  if (navigationType != platform::WebViewNavigationType::LinkClicked) return admitsLoad(request);
  auto self = sharedAs<KvFullScreenView>();
  static constexpr std::string_view kSkip = "kelvane-skip";
  const std::string& url = request.url();
  if (url.size() >= kSkip.size() && url.compare(url.size() - kSkip.size(), kSkip.size(), kSkip) == 0) {
    done();
    return false;
  }
  if (!mayClick()) return false;
  post(kKvOnClickAdNotification);
  auto controller = kvFullScreenViewController_.lock();
  clickThrough(request, controller ? controller->aid() : std::string());
  return false;
}

void KvFullScreenView::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) {
  if (webView != kvWebView_ || !takeAnswerPage()) return;
  auto self = sharedAs<KvFullScreenView>();
  const char* name = readPage();
  if (name) post(name);
  if (KvIsFailureOutcome(error_)) done();
}

void KvFullScreenView::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                                   const platform::Error& error) {
  if (webView != kvWebView_) return;
  // An interrupted load is followed by the one that replaced it; the ad stays.
  if (error.domain == platform::kURLErrorDomain && error.code == platform::URLErrorCancelled) return;
  done();
}

}  // namespace kelvane
