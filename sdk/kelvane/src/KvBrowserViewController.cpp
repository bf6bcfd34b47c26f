#include "KvBrowserViewController.h"

#include "KvBrowserView.h"

namespace kelvane {

std::shared_ptr<KvBrowserViewController> KvBrowserViewController::create() {
  return std::make_shared<KvBrowserViewController>(platform::Passkey<KvBrowserViewController>{});
}

void KvBrowserViewController::loadView() {
  auto view = KvBrowserView::create(kvFrame_);
  view->loadUrl(aUrl_);
  view->setKvBrowserViewController(sharedAs<KvBrowserViewController>());
  setView(view);
}

void KvBrowserViewController::done() {
  auto self = sharedAs<KvBrowserViewController>();
  if (auto d = delegate()) d->kvBrowserViewControllerDidFinish(self);
}

}  // namespace kelvane
