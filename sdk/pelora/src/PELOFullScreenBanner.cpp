#include "pelora/PELOFullScreenBanner.h"

#include "PELOImages.h"
#include "PELOLogger.h"
#include "pelora/PELOReceivedBannerProtocol.h"
#include "platform/format.h"

namespace pelora {

struct PELOFullScreenBanner::InnerListener : PELOAdListenerProtocol, PELOBannerViewDelegate {
  std::weak_ptr<PELOFullScreenBanner> owner;
  void onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOAdDownloaderProtocol>&,
                                     const std::shared_ptr<PELOReceivedBannerProtocol>& banner) override {
    if (auto o = owner.lock()) o->onReceiveAdWithReceivedBanner(banner);
  }
  void landingPageHasBeenClosed() override {
    if (auto o = owner.lock()) o->dismissBanner();
  }
};

std::shared_ptr<PELOFullScreenBanner> PELOFullScreenBanner::create() { return createWithFrame(platform::Rect(0, 0, 320, 480)); }

std::shared_ptr<PELOFullScreenBanner> PELOFullScreenBanner::createWithFrame(const platform::Rect& frame) {
  auto overlay = std::make_shared<PELOFullScreenBanner>(platform::Passkey<PELOFullScreenBanner>{}, frame);
  overlay->setBackgroundColor(platform::Color::white(0, 0.8));
  const platform::Point middle = overlay->center();

  overlay->spinner_ = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorViewStyle::Gray);
  overlay->spinner_->setHidesWhenStopped(true);
  overlay->spinner_->startAnimating();
  overlay->spinner_->setCenter(middle);
  overlay->addSubview(overlay->spinner_);

  overlay->skipButton_ = platform::Button::buttonWithType(platform::ButtonType::RoundedRect);
  overlay->skipButton_->setHidden(true);
  overlay->skipButton_->setFrame(platform::Rect(10, 380, 300, 46));
  overlay->skipButton_->setBackgroundImageForState(PELOImages::skipButtonBackground(), platform::kControlStateNormal);
  overlay->skipButton_->setTitleForState("Skip Ad", platform::kControlStateNormal);
  overlay->skipButton_->setTitleColorForState(platform::Color::whiteColor(), platform::kControlStateNormal);
  std::weak_ptr<PELOFullScreenBanner> weak = overlay;
  overlay->skipButton_->addTargetActionForControlEvents(
      overlay, [weak](platform::Control&) {
        if (auto o = weak.lock()) o->dismissBanner();
      },
      platform::kControlEventTouchUpInside);
  overlay->addSubview(overlay->skipButton_);

  overlay->innerListener_ = std::make_shared<InnerListener>();
  overlay->innerListener_->owner = overlay;
  overlay->bannerView_ = PELOBannerView::createWithDimension(kPELOAdDimensionMedRect);
  overlay->bannerView_->adSettings()->setAdType(kPELOAdTypeAll);
  overlay->bannerView_->addAdListener(overlay->innerListener_);
  overlay->bannerView_->setDelegate(overlay->innerListener_);
  overlay->bannerView_->setAnimationType(5);
  overlay->bannerView_->setCenter(middle);
  overlay->bannerView_->asyncLoadNewBanner();
  overlay->addSubview(overlay->bannerView_);

  overlay->timer_ = platform::Timer::scheduledTimer(kGiveUpSeconds, false, [weak](platform::Timer&) {
    if (auto o = weak.lock()) o->dismissBanner();
  });

  overlay->setAlpha(0);
  platform::View::beginAnimationsContext("");
  platform::View::setAnimationDuration(kFadeSeconds);
  overlay->setAlpha(1);
  platform::View::commitAnimations();
  return overlay;
}

PELOFullScreenBanner::PELOFullScreenBanner(platform::Passkey<PELOFullScreenBanner>, const platform::Rect& frame)
    : platform::View(frame) {}

PELOFullScreenBanner::~PELOFullScreenBanner() {
  if (timer_) timer_->invalidate();
  if (bannerView_ && innerListener_) bannerView_->removeAdListener(innerListener_);
}

void PELOFullScreenBanner::onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOReceivedBannerProtocol>& banner) {
  if (!banner) return;
  if (banner->status() == kPELOBannerStatusError) {
    PELOLogger::info(platform::format("Error at banner request: %@", banner->errorMessage()));
    return;
  }
  skipButton_->setHidden(false);
  spinner_->stopAnimating();
  removeTimer();
}

void PELOFullScreenBanner::removeTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

void PELOFullScreenBanner::dismissBanner() {
  auto self = sharedAs<PELOFullScreenBanner>();
  removeTimer();  // a skipped overlay must not be dismissed a second time
  platform::View::beginAnimationsContext("");
  platform::View::setAnimationDuration(kFadeSeconds);
  setAlpha(0);
  platform::View::commitAnimations();
  removeFromSuperview();
}

}  // namespace pelora
