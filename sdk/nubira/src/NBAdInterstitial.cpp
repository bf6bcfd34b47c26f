#include "nubira/NBAdInterstitial.h"

#include <cstdio>

#include "NBAdInterstitialPrivate.h"
#include "NBAdUnit.h"
#include "NBAdXMLParser.h"
#include "NBHttpAdRequest.h"
#include "NBSDKUtil.h"
#include "NBUtilities.h"
#include "nubira/NBAdError.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "nubira/NBUserInfo.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/run_loop.h"
#include "platform/view_controller.h"
#include "platform/window.h"

namespace nubira {

namespace {

void console(const std::string& text) { std::fputs(text.c_str(), stdout); }

}  // namespace

// Everything the interstitial is a delegate of goes through this object, so that neither the
// HTTP request nor the view controller ever holds the publisher's delegate, and clearing that
// delegate never cuts them off from the interstitial.
class NBAdInterstitial::Listener : public NBHttpRequestDelegate, public NBAdInterstitialPrivateDelegate {
 public:
  explicit Listener(std::weak_ptr<NBAdInterstitial> owner) : owner_(std::move(owner)) {}

  unsigned respondedMessages() const override { return kAdRequestFinished | kAdRequestFailed; }
  void nbAdRequestFinished(const platform::Bytes& data) override {
    if (auto o = owner_.lock()) o->nbAdRequestFinished(data);
  }
  void nbAdRequestFailed(const platform::Error& error) override {
    if (auto o = owner_.lock()) o->nbAdRequestFailed(error);
  }
  void interstitialFinishedLoading() override {
    if (auto o = owner_.lock()) o->interstitialFinishedLoading();
  }
  void interstitialFailedToLoadWithError(const platform::Error& error) override {
    if (auto o = owner_.lock()) o->interstitialFailedToLoadWithError(error);
  }
  void interstitialWillDismiss() override {
    if (auto o = owner_.lock()) o->interstitialWillDismiss();
  }
  void interstitialDidDismiss() override {
    if (auto o = owner_.lock()) o->interstitialDidDismiss();
  }
  void interstitialWillLeaveApp() override {
    if (auto o = owner_.lock()) o->interstitialWillLeaveApp();
  }

 private:
  std::weak_ptr<NBAdInterstitial> owner_;
};

NBAdInterstitial::NBAdInterstitial(platform::Passkey<NBAdInterstitial>) {}

std::shared_ptr<NBAdInterstitial> NBAdInterstitial::create() {
  auto ad = std::make_shared<NBAdInterstitial>(platform::Passkey<NBAdInterstitial>());
  ad->listener_ = std::make_shared<Listener>(ad);
  ad->currentAdUnit_ = std::make_shared<NBAdUnit>();
  ad->createPrivateInterstitialInstance();
  ad->nbUserInfo_ = NBUserInfo::create();
  const auto idiom = platform::Device::currentDevice().userInterfaceIdiom();
  if (idiom && static_cast<int>(*idiom) == 1) {
    logLine("IDIOM is iPad");
    ad->nbUserInfo_->setAdUnitSlot(kPadAdSlot);
  } else {
    logLine("IDIOM is iPhone");
    ad->nbUserInfo_->setAdUnitSlot(kPhoneAdSlot);
  }
  ad->nbUserInfo_->setIsInterstitial(true);
  ad->adRequest_ = NBHttpAdRequest::create();
  ad->adRequest_->setDelegate(ad->listener_);
  ad->util_ = NBSDKUtil::util();
  return ad;
}

NBAdInterstitial::~NBAdInterstitial() {
  // An ad on screen stays there until the user closes it, and gives back the status bar then.
  if (state_ == NBAdInterstitialStateActive && nbInterstitialViewController_ && !isStatusBarHidden_)
    nbInterstitialViewController_->setShowsStatusBarWhenGone(true);
  releasePrivateInterstitialInstance();
  if (adRequest_) {
    adRequest_->setDelegate({});
    adRequest_->cancel();
  }
  invalidateAdFailedTimer();
  logLine("NBAdInterstitial dealloced");
}

std::shared_ptr<platform::WebView> NBAdInterstitial::webViewForTesting() const {
  return nbInterstitialViewController_ ? nbInterstitialViewController_->webView() : nullptr;
}

std::shared_ptr<platform::Button> NBAdInterstitial::closeButtonForTesting() const {
  return nbInterstitialViewController_ ? nbInterstitialViewController_->closeButton() : nullptr;
}

void NBAdInterstitial::createPrivateInterstitialInstance() {
  nbInterstitialViewController_ = NBAdInterstitialPrivate::create();
  nbInterstitialViewController_->setDelegate(listener_);
}

void NBAdInterstitial::releasePrivateInterstitialInstance() {
  if (!nbInterstitialViewController_) return;
  nbInterstitialViewController_->setDelegate({});
  nbInterstitialViewController_->stopLoading();
  nbInterstitialViewController_.reset();
}

void NBAdInterstitial::setDelegate(std::weak_ptr<NBAdInterstitialDelegate> delegate) {
  delegate_ = std::move(delegate);
  if (delegate_.expired() && state_ == NBAdInterstitialStateLoading) cancelLoading();
}

// With no one to tell, the load under way is dropped: its request, its page and its timer.
void NBAdInterstitial::cancelLoading() {
  adRequest_->cancel();
  invalidateAdFailedTimer();
  releasePrivateInterstitialInstance();
  createPrivateInterstitialInstance();
  state_ = NBAdInterstitialStateInit;
}

std::optional<std::string> NBAdInterstitial::areFieldsValid() const {
  if (NBStringUtil::isEmpty(nbAppId_)) return std::string("Provide a valid nbAppId.");
  return std::nullopt;
}

bool NBAdInterstitial::isAdRequestValidNow() const {
  if (lastAdTimeStamp_ == 0) return true;
  return platform::Clock::current().now() - lastAdTimeStamp_ > kMinimumSecondsBetweenAds;
}

void NBAdInterstitial::storeAdTimeStamp() { lastAdTimeStamp_ = platform::Clock::current().now(); }

std::string NBAdInterstitial::getServerUrl(bool testMode) const {
  if (testMode) {
    console("\nNubira:Test mode is ON, test ads will be served.\nSwitch OFF test-mode before submitting to App Store");
    return NBAdView::sandboxServer() + NBAdView::kAdPath;
  }
  return NBAdView::liveServer() + NBAdView::kAdPath;
}

void NBAdInterstitial::loadRequest(const std::shared_ptr<NBAdRequest>& request) {
  auto self = shared_from_this();
  auto fail = [&](const char* message, long code) {
    performAdFailedNotification(NBAdError::errorWithDomainCodeUserInfo(message, code));
  };
  try {
    if (state_ == NBAdInterstitialStateLoading) return fail("An ad request is already in progress.", NBAdErrorCodeRequestInProgress);
    if (state_ == NBAdInterstitialStateActive) {
      return fail("Cannot request an ad when an interstitial ad is being displayed.", NBAdErrorCodeInvalidRequest);
    }
    if (!request) return fail("NBAdRequest cannot be null!", NBAdErrorCodeInvalidRequest);
    if (auto message = areFieldsValid()) return fail(message->c_str(), NBAdErrorCodeInvalidRequest);
    if (!isAdRequestValidNow()) {
      performAdFailedNotification(NBAdError::errorWithDomainCodeUserInfo(
          platform::format("Minimum ad refresh interval should be a minimum of %d seconds",
                           static_cast<int>(kMinimumSecondsBetweenAds)),
          NBAdErrorCodeInvalidRequest));
      return;
    }
    nbUserInfo_->setAppId(request->testMode() ? std::string(NBAdView::kTestSiteId) : nbAppId_);
    nbUserInfo_->setLocationInquiryAllowed(request->isLocationEnquiryAllowed());
    nbUserInfo_->setUseHashedUDID(request->UDIDHashingAllowed());
    adRequest_->setupRequestUserDataAdRequestRequestMethodRequestType(getServerUrl(request->testMode()), nbUserInfo_,
                                                                      request, "POST", 0);
    // Loading before sending: a request that cannot be sent reports it at once, and that
    // report must find the load it ends.
    state_ = NBAdInterstitialStateLoading;
    adRequest_->sendRequest();
  } catch (const std::exception&) {
    fail("Internal error!", NBAdErrorCodeInternalError);
  }
}

void NBAdInterstitial::nbAdRequestFinished(const platform::Bytes& data) {
  if (state_ != NBAdInterstitialStateLoading) {
    logLine("\nReceived extra callback for nbAdRequestFinished ");
    return;
  }
  auto self = shared_from_this();
  NBAdXMLParser parser;
  auto unit = parser.buildAdUnitFromResponseData(data);
  // An ad without markup has nothing to show: it counts as no fill.
  if (!unit || !unit->CDATABlock) {
    state_ = NBAdInterstitialStateInit;
    performAdFailedNotification(
        NBAdError::errorWithDomainCodeUserInfo("Server returned a no-fill. No action required.", NBAdErrorCodeNoFill));
    return;
  }
  currentAdUnit_ = unit;
  releasePrivateInterstitialInstance();
  createPrivateInterstitialInstance();
  nbInterstitialViewController_->setAdUnit(*unit);
  nbInterstitialViewController_->loadHtmlString(*unit->CDATABlock);
  invalidateAdFailedTimer();
  std::weak_ptr<NBAdInterstitial> weak = self;
  adUnitFailLoadTimer_ = platform::Timer::scheduledTimer(kLoadTimeout, false, [weak](platform::Timer&) {
    if (auto ad = weak.lock()) ad->checkAdUnitLoadComplete();
  });
}

void NBAdInterstitial::nbAdRequestFailed(const platform::Error& error) {
  logLine("request failed..");
  if (state_ != NBAdInterstitialStateLoading) {
    logLine("\nreceived extra callback for nbAdRequestFailed");
    return;
  }
  auto self = shared_from_this();
  state_ = NBAdInterstitialStateInit;
  performAdFailedNotification(error);
}

void NBAdInterstitial::interstitialFinishedLoading() {
  if (state_ != NBAdInterstitialStateLoading) {
    logLine("\nReceived extra callback for webviewFinishedLoading... not notifying..");
    return;
  }
  auto self = shared_from_this();
  invalidateAdFailedTimer();
  state_ = NBAdInterstitialStateReady;
  performAdSuccessNotification();
  storeAdTimeStamp();
}

void NBAdInterstitial::interstitialFailedToLoadWithError(const platform::Error& error) {
  if (state_ != NBAdInterstitialStateLoading) {
    logLine("\nReceived extra callback for webviewFailedLoading... not notifying..");
    return;
  }
  auto self = shared_from_this();
  invalidateAdFailedTimer();
  state_ = NBAdInterstitialStateInit;
  performAdFailedNotification(NBAdError::errorWithDomainCodeUserInfo(error.domain, NBAdErrorCodeNetworkError));
}

void NBAdInterstitial::checkAdUnitLoadComplete() {
  invalidateAdFailedTimer();
  if (state_ != NBAdInterstitialStateLoading) {
    logLine("\nReceived extra callback for checkAdUnitLoadComplete... not notifying..");
    return;
  }
  auto self = shared_from_this();
  // The page that did not load in time says nothing more: a later load starts afresh.
  releasePrivateInterstitialInstance();
  createPrivateInterstitialInstance();
  state_ = NBAdInterstitialStateInit;
  performAdFailedNotification(NBAdError::errorWithDomainCodeUserInfo("Request timed out.", NBAdErrorCodeNetworkError));
}

void NBAdInterstitial::invalidateAdFailedTimer() {
  if (adUnitFailLoadTimer_) adUnitFailLoadTimer_->invalidate();
  adUnitFailLoadTimer_.reset();
}

std::shared_ptr<platform::ViewController> NBAdInterstitial::getRootViewController(
    const std::shared_ptr<platform::ViewController>& fallback) const {
  auto window = platform::Application::sharedApplication().keyWindow();
  if (window && window->rootViewController()) {
    logLine("window root view controller found, setting it to NBAdView's rootViewController");
    return window->rootViewController();
  }
  logLine("window rootviewcontroller is null, setting to user defined instance");
  return fallback;
}

void NBAdInterstitial::presentFromRootViewController(const std::shared_ptr<platform::ViewController>& fallback) {
  auto self = shared_from_this();
  auto root = getRootViewController(fallback);
  if (!root) {
    performAdPresentFailedNotification(
        NBAdError::errorWithDomainCodeUserInfo("rootViewController cannot be null!", NBAdErrorCodeInvalidRequest));
    return;
  }
  if (state_ != NBAdInterstitialStateReady) {
    platform::log("Interstitial ad must be in ready state to be displayed!");
    performAdFailedNotification(NBAdError::errorWithDomainCodeUserInfo(
        "Interstitial ad must be in the Ready state to be displayed. Please check the state of the interstitial ad "
        "before calling this method.",
        NBAdErrorCodeInvalidRequest));
    return;
  }
  if (!nbInterstitialViewController_) {
    performAdPresentFailedNotification(
        NBAdError::errorWithDomainCodeUserInfo("Internal error occured!", NBAdErrorCodeInternalError));
    return;
  }
  displayInterstitialWithViewController(root);
}

void NBAdInterstitial::displayInterstitialWithViewController(const std::shared_ptr<platform::ViewController>& root) {
  // A root busy with another screen would refuse: neither the host nor the page is told of a
  // screen that does not come.
  if (root->presentedViewController() || root->isBeingPresented() || root->isBeingDismissed()) {
    performAdPresentFailedNotification(
        NBAdError::errorWithDomainCodeUserInfo("Internal error occured!", NBAdErrorCodeInternalError));
    return;
  }
  // Taken only for a presentation that goes ahead: the status bar as the host has it.
  isStatusBarHidden_ = platform::Application::sharedApplication().isStatusBarHidden();
  nbInterstitialViewController_->ready();
  performAdDisplayNotification();
  // The delegate may have dropped the ad or loaded another in its report.
  if (!nbInterstitialViewController_ || state_ != NBAdInterstitialStateReady) return;
  auto& app = platform::Application::sharedApplication();
  if (!isStatusBarHidden_) app.setStatusBarHidden(true);
  root->presentModalViewControllerAnimated(nbInterstitialViewController_, true);
  // A root that is busy presenting something else refuses: the ad stays ready.
  if (!nbInterstitialViewController_->presentingViewController()) {
    if (!isStatusBarHidden_) app.setStatusBarHidden(false);
    performAdPresentFailedNotification(
        NBAdError::errorWithDomainCodeUserInfo("Internal error occured!", NBAdErrorCodeInternalError));
    return;
  }
  state_ = NBAdInterstitialStateActive;
}

void NBAdInterstitial::interstitialWillDismiss() {
  auto self = shared_from_this();
  if (!isStatusBarHidden_) platform::Application::sharedApplication().setStatusBarHidden(false);
  performAdWillDismissNotification();
}

void NBAdInterstitial::interstitialDidDismiss() {
  auto self = shared_from_this();
  state_ = NBAdInterstitialStateInit;
  releasePrivateInterstitialInstance();
  performAdDidDismissNotification();
}

void NBAdInterstitial::interstitialWillLeaveApp() {
  auto self = shared_from_this();
  performAppWillLeaveNotification();
}

template <class F>
void NBAdInterstitial::tellDelegate(unsigned message, const char* selector, F&& call) {
  auto delegate = delegate_.lock();
  const bool responds = delegate && (delegate->respondedMessages() & message);
  if (NBUtilities::delegateRespondsToSelector(delegate != nullptr, responds, selector)) call(*delegate);
}

void NBAdInterstitial::performAdSuccessNotification() {
  tellDelegate(NBAdInterstitialDelegate::kDidFinishRequest, "interstitialDidFinishRequest:",
               [&](NBAdInterstitialDelegate& d) { d.interstitialDidFinishRequest(*this); });
}

void NBAdInterstitial::performAdFailedNotification(const platform::Error& error) {
  tellDelegate(NBAdInterstitialDelegate::kDidFailToReceiveAd, "interstitial:didFailToReceiveAdWithError:",
               [&](NBAdInterstitialDelegate& d) { d.interstitialDidFailToReceiveAdWithError(*this, error); });
}

void NBAdInterstitial::performAdPresentFailedNotification(const platform::Error& error) {
  tellDelegate(NBAdInterstitialDelegate::kDidFailToPresentScreen, "interstitial:didFailToPresentScreenWithError:",
               [&](NBAdInterstitialDelegate& d) { d.interstitialDidFailToPresentScreenWithError(*this, error); });
}

void NBAdInterstitial::performAdDisplayNotification() {
  tellDelegate(NBAdInterstitialDelegate::kWillPresentScreen, "interstitialWillPresentScreen:",
               [&](NBAdInterstitialDelegate& d) { d.interstitialWillPresentScreen(*this); });
}

void NBAdInterstitial::performAdWillDismissNotification() {
  tellDelegate(NBAdInterstitialDelegate::kWillDismissScreen, "interstitialWillDismissScreen:",
               [&](NBAdInterstitialDelegate& d) { d.interstitialWillDismissScreen(*this); });
}

void NBAdInterstitial::performAdDidDismissNotification() {
  tellDelegate(NBAdInterstitialDelegate::kDidDismissScreen, "interstitialDidDismissScreen:",
               [&](NBAdInterstitialDelegate& d) { d.interstitialDidDismissScreen(*this); });
}

void NBAdInterstitial::performAppWillLeaveNotification() {
  tellDelegate(NBAdInterstitialDelegate::kWillLeaveApplication, "interstitialWillLeaveApplication:",
               [&](NBAdInterstitialDelegate& d) { d.interstitialWillLeaveApplication(*this); });
}

}  // namespace nubira
