#include "KvFullScreenViewController.h"

#include "KvFullScreenView.h"
#include "platform/window.h"

namespace kelvane {

std::shared_ptr<KvFullScreenViewController> KvFullScreenViewController::create() {
  return std::make_shared<KvFullScreenViewController>(platform::Passkey<KvFullScreenViewController>{});
}

void KvFullScreenViewController::loadView() {
  auto view = KvFullScreenView::create(kvFrame_);
  view->loadUrl(aUrl_);
  view->setKvFullScreenViewController(sharedAs<KvFullScreenViewController>());
  setView(view);
}

void KvFullScreenViewController::done() {
  if (isViewLoaded()) view()->removeFromSuperview();
  finish();
}

void KvFullScreenViewController::finish() {
  // A failed answer, the page's outcome, the skip link and the browser's end may each end
  // the ad; the delegate removes the window once.
  if (finished_) return;
  finished_ = true;
  auto self = sharedAs<KvFullScreenViewController>();
  if (auto d = delegate()) d->kvFullScreenViewControllerDidFinish(self);
}

void KvFullScreenViewController::showBrowser(const platform::URL& url) {
  if (!canShowBrowser()) return;
  browser_ = KvBrowserViewController::create();
  browser_->setUrl(url);
  browser_->setKvFrame(kvFrame_);
  browser_->setDelegate(std::static_pointer_cast<KvBrowserViewControllerDelegate>(sharedAs<KvFullScreenViewController>()));
  if (!isViewLoaded()) return;
  auto window = view()->window();
  view()->removeFromSuperview();
  if (window) window->addSubview(browser_->view());
}

void KvFullScreenViewController::kvBrowserViewControllerDidFinish(const std::shared_ptr<KvBrowserViewController>& browser) {
  auto self = sharedAs<KvFullScreenViewController>();
  if (browser->isViewLoaded()) browser->view()->removeFromSuperview();
  finish();
}

}  // namespace kelvane
