#include "pelora/PELOToastBannerView.h"

#include "PELOImages.h"
#include "pelora/PELOReceivedBannerProtocol.h"

namespace pelora {

struct PELOToastBannerView::InnerListener : PELOAdListenerProtocol, PELOBannerViewDelegate {
  std::weak_ptr<PELOToastBannerView> owner;
  void onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOAdDownloaderProtocol>&,
                                     const std::shared_ptr<PELOReceivedBannerProtocol>& banner) override {
    if (auto o = owner.lock()) o->onReceiveAdWithReceivedBanner(banner);
  }
  void landingPageWillBeDisplayed() override {
    if (auto o = owner.lock()) o->landingPageWillBeDisplayed();
  }
  void landingPageHasBeenClosed() override {
    if (auto o = owner.lock()) o->landingPageHasBeenClosed();
  }
};

std::shared_ptr<PELOToastBannerView> PELOToastBannerView::create() { return createWithFrame(platform::Rect(0, 350, 320, 50)); }

std::shared_ptr<PELOToastBannerView> PELOToastBannerView::createWithFrame(const platform::Rect& frame) {
  auto toast = std::make_shared<PELOToastBannerView>(platform::Passkey<PELOToastBannerView>{}, frame);
  const double w = frame.size.width, h = frame.size.height;
  toast->innerListener_ = std::make_shared<InnerListener>();
  toast->innerListener_->owner = toast;
  toast->bannerView_ = PELOBannerView::createWithFrame(platform::Rect(0, h, w, h));
  toast->bannerView_->setAnimationType(5);
  toast->bannerView_->setDelegate(toast->innerListener_);
  toast->bannerView_->setWrappingView(toast);
  toast->bannerView_->addAdListener(toast->innerListener_);
  toast->addSubview(toast->bannerView_);

  toast->closeButton_ = platform::Button::buttonWithType(platform::ButtonType::Custom);
  toast->closeButton_->setImageForState(PELOImages::closeButton(), platform::kControlStateNormal);
  toast->closeButton_->sizeToFit();
  std::weak_ptr<PELOToastBannerView> weak = toast;
  toast->closeButton_->addTargetActionForControlEvents(
      toast, [weak](platform::Control&) {
        if (auto t = weak.lock()) t->hideToast();
      },
      platform::kControlEventTouchUpInside);
  const platform::Size button = toast->closeButton_->frame().size;
  toast->closeButton_->setFrame(platform::Rect(toast->bounds().size.width - button.width, 0, button.width, button.height));
  toast->addSubview(toast->closeButton_);
  toast->setHidden(true);
  return toast;
}

PELOToastBannerView::PELOToastBannerView(platform::Passkey<PELOToastBannerView>, const platform::Rect& frame)
    : platform::View(frame) {}

PELOToastBannerView::~PELOToastBannerView() {
  if (bannerView_ && innerListener_) bannerView_->removeAdListener(innerListener_);
}

void PELOToastBannerView::showToast() {
  hiding_ = false;
  setHidden(false);
  std::weak_ptr<PELOToastBannerView> weak = sharedAs<PELOToastBannerView>();
  platform::View::beginAnimationsContext("showToast");
  platform::View::setAnimationDuration(kSlideSeconds);
  platform::View::setAnimationDidStopCallback([weak](const std::string&, bool, void*) {
    if (auto t = weak.lock()) t->endShowToastAnimation();
  });
  const platform::Size size = bannerView_->frame().size;
  bannerView_->setFrame(platform::Rect(0, 16, size.width, size.height));
  closeButton_->setAlpha(1);
  platform::View::commitAnimations();
}

void PELOToastBannerView::endShowToastAnimation() {
  bringSubviewToFront(closeButton_);
  bannerView_->setAnimationType(2);
  bannerView_->setAnimationDirection(3);
}

void PELOToastBannerView::hideToast() {
  hiding_ = true;
  std::weak_ptr<PELOToastBannerView> weak = sharedAs<PELOToastBannerView>();
  platform::View::beginAnimationsContext("hideToast");
  platform::View::setAnimationDuration(kSlideSeconds);
  platform::View::setAnimationDidStopCallback([weak](const std::string&, bool, void*) {
    if (auto t = weak.lock()) t->endHideToastAnimation();
  });
  const platform::Size size = bannerView_->frame().size;
  bannerView_->setFrame(platform::Rect(0, frame().size.height, size.width, size.height));
  closeButton_->setAlpha(0);
  platform::View::commitAnimations();
}

void PELOToastBannerView::endHideToastAnimation() {
  // A toast shown again while it slid out stays.
  if (!hiding_) return;
  hiding_ = false;
  setHidden(true);
  bannerView_->setAnimationType(5);
}

void PELOToastBannerView::onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOReceivedBannerProtocol>& banner) {
  if (!banner) return;
  auto self = sharedAs<PELOToastBannerView>();
  const bool error = banner->status() == kPELOBannerStatusError;
  // A toast sliding out counts as hidden: a good ad on its way out brings it back.
  const bool hidden = isHidden() || hiding_;
  if (!error && hidden) showToast();
  else if (error && !hidden) hideToast();
  const std::shared_ptr<PELOAdDownloaderProtocol> sender = self;
  const auto listeners = toastListeners_;
  for (const auto& weakListener : listeners)
    if (auto listener = weakListener.lock()) listener->onReceiveAdWithReceivedBanner(sender, banner);
}

void PELOToastBannerView::landingPageWillBeDisplayed() {
  auto self = sharedAs<PELOToastBannerView>();
  hiddenForLandingPage_ = hiddenForLandingPage_ || !isHidden();
  setHidden(true);
  if (auto d = delegate()) d->landingPageWillBeDisplayed();
}

void PELOToastBannerView::landingPageHasBeenClosed() {
  auto self = sharedAs<PELOToastBannerView>();
  // The ad the user came back from is still there to show (an ad that closed itself back
  // into the slot); a landing page hides the banner and the next ad brings the toast back.
  const bool comesBack = hiddenForLandingPage_ && !bannerView_->isHidden();
  hiddenForLandingPage_ = false;
  if (comesBack) setHidden(false);
  if (auto d = delegate()) d->landingPageHasBeenClosed();
}

const platform::Color& PELOToastBannerView::backgroundColor() const { return bannerView_->backgroundColor(); }
void PELOToastBannerView::setBackgroundColor(const platform::Color& color) { bannerView_->setBackgroundColor(color); }
void PELOToastBannerView::asyncLoadNewBanner() { bannerView_->asyncLoadNewBanner(); }
void PELOToastBannerView::addAdListener(const std::weak_ptr<PELOAdListenerProtocol>& l) { bannerView_->addAdListener(l); }
void PELOToastBannerView::removeAdListener(const std::shared_ptr<PELOAdListenerProtocol>& l) { bannerView_->removeAdListener(l); }
std::shared_ptr<PELOAdSettings> PELOToastBannerView::adSettings() const { return bannerView_->adSettings(); }
void PELOToastBannerView::setAdSettings(std::shared_ptr<PELOAdSettings> s) { bannerView_->setAdSettings(std::move(s)); }
bool PELOToastBannerView::isLocationUpdateEnabled() const { return bannerView_->isLocationUpdateEnabled(); }
void PELOToastBannerView::setLocationUpdateEnabled(bool e) { bannerView_->setLocationUpdateEnabled(e); }
bool PELOToastBannerView::autoReloadEnabled() const { return bannerView_->autoReloadEnabled(); }
void PELOToastBannerView::setAutoReloadEnabled(bool e) { bannerView_->setAutoReloadEnabled(e); }
int PELOToastBannerView::autoReloadFrequency() const { return bannerView_->autoReloadFrequency(); }
void PELOToastBannerView::setAutoReloadFrequency(int s) { bannerView_->setAutoReloadFrequency(s); }

}  // namespace pelora
