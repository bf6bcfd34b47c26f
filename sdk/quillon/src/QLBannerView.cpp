#include "quillon/QLBannerView.h"

#include "QLObjectPrivate.h"
#include "platform/log.h"
#include "quillon/QLRequestError.h"

namespace quillon {

std::shared_ptr<QLBannerView> QLBannerView::create(const platform::Rect& frame) {
  auto view = std::make_shared<QLBannerView>(Passkey{}, frame);
  view->setBackgroundColor(platform::Color::clearColor());
  view->setPrivate(QLObjectPrivate::createWithView(view));
  return view;
}

QLBannerView::QLBannerView(const platform::Rect& frame) : platform::View(frame) {}

QLBannerView::~QLBannerView() {
  if (private_) private_->cancelPendingActions();
}

const std::string& QLBannerView::adUnitID() const { return private_->adUnitID(); }
void QLBannerView::setAdUnitID(const std::string& adUnitID) { private_->setAdUnitID(adUnitID); }

std::shared_ptr<platform::ViewController> QLBannerView::rootViewController() const {
  return private_->rootViewController();
}

void QLBannerView::setRootViewController(const std::shared_ptr<platform::ViewController>& controller) {
  private_->setRootViewController(controller);
}

std::shared_ptr<QLBannerViewDelegate> QLBannerView::delegate() const {
  return private_->delegateManager()->bannerDelegate();
}

void QLBannerView::setDelegate(const std::shared_ptr<QLBannerViewDelegate>& delegate) {
  auto manager = private_->delegateManager();
  manager->setBannerDelegate(delegate);
  manager->setAdView(std::static_pointer_cast<QLBannerView>(shared_from_this()));
}

void QLBannerView::loadRequest(const std::shared_ptr<QLRequest>& request) {
  if (!private_->rootViewController()) {
    platform::log("<Quillon> Must set the rootViewController property of QLBannerView before calling loadRequest:");
    private_->delegateManager()->didFailToReceiveAdWithError(
        QLRequestError::errorWithCodeRequest(kQLErrorInvalidRequest, request.get()));
    return;
  }
  private_->loadRequest(request);
}

std::shared_ptr<platform::WebView> QLBannerView::webView() const { return private_->webView(); }
bool QLBannerView::hasAutoRefreshed() const { return private_->hasAutoRefreshed(); }
int QLBannerView::stateForTesting() const { return private_->state(); }
void QLBannerView::setOpenerForTesting(std::shared_ptr<QLOpener> opener) { private_->setOpener(std::move(opener)); }

}  // namespace quillon
