#include "nubira/NBAdView.h"

#include <cstdio>

#include "JSBridgeDelegate.h"
#include "NBAdUnit.h"
#include "NBAdViewListener.h"
#include "NBAdXMLParser.h"
#include "NBEmbeddedWebViewController.h"
#include "NBHttpAdRequest.h"
#include "NBHttpClickRequest.h"
#include "NBJSBridge.h"
#include "NBURLRouting.h"
#include "NBSDKUtil.h"
#include "NBUtilities.h"
#include "NBWebView.h"
#include "nubira/NBAdError.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBUserInfo.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/composers.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/keyboard.h"
#include "platform/navigation_controller.h"
#include "platform/url_connection.h"
#include "platform/notification_center.h"
#include "platform/runtime.h"
#include "platform/run_loop.h"
#include "platform/singleton.h"
#include "platform/text_helpers.h"
#include "platform/url.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace nubira {

namespace {

struct ServerConfig {
  std::string live = "http://ads.nubira.example";
  std::string sandbox = "http://sandbox.nubira.example";
};

void console(const std::string& text) { std::fputs(text.c_str(), stdout); }

constexpr const char* kNullRequestMessage = "NBAdRequest cannot be null!";

std::optional<platform::Error> isColorValid(const std::string& color) {
  const char* message = nullptr;
  if (NBStringUtil::isEmpty(color))
    message = "Color value cannot be empty";
  else if (color[0] != '#')
    message = "Color value must begin with a '#'";
  else if (color.size() != 4 && color.size() != 7)
    message = "Color value must be of the format '#RGB' or '#RRGGBB'";
  if (!message) return std::nullopt;
  return NBAdError::errorWithDomainCodeUserInfo(message, NBAdErrorCodeInternalError);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

NBAdView::NBAdView(platform::Passkey<NBAdView>, const platform::Rect& frame) : platform::View(frame) {}

std::shared_ptr<NBAdView> NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(
    const platform::Rect& frame, const std::string& appId, int adUnit,
    const std::shared_ptr<platform::ViewController>& rootViewController) {
  auto view = std::make_shared<NBAdView>(platform::Passkey<NBAdView>(), frame);
  view->initializeWithFrame(frame, appId, adUnit, rootViewController, kDefaultRefreshInterval);
  return view;
}

std::shared_ptr<NBAdView> NBAdView::createWithFrame(const platform::Rect& frame) {
  return createWithFrameNbAppIdNbAdUnitRootViewController(frame, "", kDefaultAdUnit, nullptr);
}

std::shared_ptr<NBAdView> NBAdView::createFromNibWithFrame(const platform::Rect& frame) {
  auto view = std::make_shared<NBAdView>(platform::Passkey<NBAdView>(), frame);
  view->awakeFromNib();
  return view;
}

void NBAdView::awakeFromNib() {
  // Set up once: a second call would drop the running request and the shown ad.
  if (listener_) return;
  initializeWithFrame(frame(), "", kDefaultAdUnit, nullptr, kDefaultRefreshInterval);
}

void NBAdView::initializeWithFrame(const platform::Rect& frame, const std::string& appId, int adUnit,
                                   const std::shared_ptr<platform::ViewController>& root, int interval) {
  listener_ = std::make_shared<Listener>(std::static_pointer_cast<NBAdView>(shared_from_this()));
  setUserInteractionEnabled(true);
  setOpaque(false);
  setClipsToBounds(false);
  setRefreshInterval(interval);
  setRootViewController(root);
  nbAdUnit_ = adUnit;
  nbAppId_ = appId;
  nbAdRequest_ = NBAdRequest::request();
  setBackgroundColor(platform::Color::clearColor());
  originalFrame_ = frame;
  const platform::Rect inner(0, 0, frame.size.width, frame.size.height);
  nbWebView1_ = NBWebView::createWithFrameDelegate(inner, listener_);
  nbWebView2_ = NBWebView::createWithFrameDelegate(inner, listener_);
  nbUserInfo_ = NBUserInfo::create();
  adRequest_ = NBHttpAdRequest::create();
  adRequest_->setDelegate(listener_);
  hideWebView_ = std::make_shared<platform::View>(inner);
  jsBridge_ = NBJSBridge::create();
  jsBridge_->setBridgeDelegate(listener_);
}

NBAdView::~NBAdView() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  platform::RunLoop::main().cancelPerforms(this);
  if (adRefreshTimer_) adRefreshTimer_->invalidate();
  if (adUnitFailLoadTimer_) adUnitFailLoadTimer_->invalidate();
  if (waitingClickTimer_) waitingClickTimer_->invalidate();
  if (adRequest_) adRequest_->setDelegate({});
  if (clickRequest_) clickRequest_->setDelegate({});
  if (nbEmbedWebViewController_) nbEmbedWebViewController_->setDelegate({});
  // An expanded ad let go of: nothing may be left over the window to swallow its touches.
  if (blockingView_) blockingView_->removeFromSuperview();
  if (auto parent = parent_.lock(); parent && parentTag_ != 0) parent->setTag(originalTag_);
  logLine("NBAdView dealloced");
}

void NBAdView::notifyForTesting(NBAdDelegate::Message message) {
  switch (message) {
    case NBAdDelegate::kWillPresentScreen: performAdClickNotification(); break;
    case NBAdDelegate::kWillDismissScreen: performAdWillDismissNotification(); break;
    case NBAdDelegate::kDidDismissScreen: performAdDidDismissNotification(); break;
    case NBAdDelegate::kWillLeaveApplication: performAppWillLeaveNotification(); break;
    default: break;
  }
}

const std::shared_ptr<platform::WebView>& NBAdView::webView1ForTesting() const { return nbWebView1_->webView(); }
const std::shared_ptr<platform::WebView>& NBAdView::webView2ForTesting() const { return nbWebView2_->webView(); }

std::string NBAdView::liveServer() { return platform::processState<ServerConfig>().read(&ServerConfig::live); }
std::string NBAdView::sandboxServer() { return platform::processState<ServerConfig>().read(&ServerConfig::sandbox); }
void NBAdView::setServers(std::string live, std::string sandbox) {
  platform::processState<ServerConfig>().with([&](ServerConfig& c) {
    c.live = std::move(live);
    c.sandbox = std::move(sandbox);
  });
}

std::string NBAdView::getServerUrl() const {
  if (nbAdRequest_ && nbAdRequest_->testMode()) {
    console("\nNubira:Test mode is ON, test ads will be served.\nSwitch OFF test-mode before submitting to App Store");
    return sandboxServer() + kAdPath;
  }
  return liveServer() + kAdPath;
}

void NBAdView::loadNBAdRequest() { loadNBAdRequest(nbAdRequest_); }

void NBAdView::loadNBAdRequest(std::shared_ptr<NBAdRequest> request) {
  // A missing request is refused where every load and refresh is checked.
  if (request) nbAdRequest_ = request;
  getAdRequest(request);
}

void NBAdView::setRefreshInterval(int seconds) {
  if (seconds == -1) {
    invalidateAdRefreshTimer();
    refreshInterval_ = -1;
    return;
  }
  if (seconds < kMinimumRefreshInterval) {
    throw platform::Exception("NSInvalidArgumentException",
                              platform::format("Refresh interval provided should be a minimum of %d seconds.",
                                               kMinimumRefreshInterval));
  }
  refreshInterval_ = seconds;
  // Under a click or a screen, or while the application is not active, the new interval
  // waits for the timer to restart when that ends.
  if (!isClickOrScreenUp() &&
      platform::Application::sharedApplication().applicationState() == platform::ApplicationState::Active) {
    invokeAdRefreshTimer();
  }
}

void NBAdView::setDelegate(std::weak_ptr<NBAdDelegate> delegate) {
  delegate_ = std::move(delegate);
  if (!delegate_.expired()) return;
  // With no one to tell, the request under way is dropped and the view starts afresh.
  invalidateAdFailedTimer();
  invalidateAdRefreshTimer();
  resetRequest();
}

void NBAdView::resetRequest() {
  ++generation_;
  platform::RunLoop::main().cancelPerforms(this);
  if (adRequest_) adRequest_->setDelegate({});
  adRequest_ = NBHttpAdRequest::create();
  adRequest_->setDelegate(listener_);
  if (!isAdRequestDone_ && isLoadingAd_) loadingWebView().stopLoading();
  loadingAdUnit_.reset();
  loadedAdWaiting_ = false;
  isAdRequestDone_ = true;
  isLoadingAd_ = false;
}

void NBAdView::setRootViewController(const std::shared_ptr<platform::ViewController>& controller) {
  auto window = platform::Application::sharedApplication().keyWindow();
  if (window && platform::Runtime::respondsToSelector("UIWindow", "rootViewController")) {
    if (window->rootViewController()) {
      logLine("window root view controller found, setting it to NBAdView's rootViewController");
      rootViewController_ = window->rootViewController();
      return;
    }
    logLine("window rootviewcontroller is null, setting to user defined instance");
  } else {
    logLine("window does not respond to rootviewcontroller, setting to user defined instance");
  }
  rootViewController_ = controller;
}

void NBAdView::setRefTagForKey(const std::optional<std::string>& tag, const std::optional<std::string>& key) {
  if (!tag || !key) return;
  nbUserInfo_->setHRefTag(platform::lowercase(platform::prefixUtf16(*tag, 50)));
  nbUserInfo_->setHRefKey(platform::lowercase(platform::prefixUtf16(*key, 10)));
}

void NBAdView::setAdTextColor(const std::string& color) {
  if (auto error = isColorValid(color)) {
    console(platform::format("\nNubira:Ad Text %s\n", error->domain));
    return;
  }
  textColor_ = color;
  if (currentAdUnit_ && currentAdUnit_->adType == NBAdTypeText) loadAdHtmlAfterCustomization();
}

void NBAdView::setAdBackgroundColor(const std::string& color) {
  if (auto error = isColorValid(color)) {
    console(platform::format("\nNubira:Ad background %s\n", error->domain));
    return;
  }
  topColor_ = color;
  if (currentAdUnit_ && currentAdUnit_->adType == NBAdTypeText) loadAdHtmlAfterCustomization();
}

void NBAdView::setAdBackgroundGradientWithTopColorBottomColor(const std::string& top, const std::string& bottom) {
  if (auto error = isColorValid(top)) {
    console(platform::format("\nNubira:Background top %s\n", error->domain));
    return;
  }
  if (auto error = isColorValid(bottom)) {
    console(platform::format("\nNubira:Background bottom %s\n", error->domain));
    return;
  }
  topColor_ = top;
  bottomColor_ = bottom;
  if (currentAdUnit_ && currentAdUnit_->adType == NBAdTypeText) loadAdHtmlAfterCustomization();
}

void NBAdView::setFrame(const platform::Rect& frame) {
  platform::View::setFrame(frame);
  if (!nbWebView1_ || (currentAdUnit_ && currentAdUnit_->adType == NBAdTypeRichMedia)) return;
  const platform::Rect inner(0, 0, frame.size.width, frame.size.height);
  nbWebView1_->webView()->setFrame(inner);
  nbWebView2_->webView()->setFrame(inner);
  hideWebView_->setFrame(inner);
}

void NBAdView::invokeAdRefreshTimer() {
  invalidateAdRefreshTimer();
  // A click waiting for its browser restarts the refresh once it ends.
  if (waitingClickUrl_) return;
  if (refreshInterval_ == -1) {
    logLine("ERROR! Refresh interval was set to OFF! cannot invoke refresh timer");
    return;
  }
  adRefreshTimer_ = platform::Timer::scheduledTimer(refreshInterval_, true, refreshOnNextTurn());
}

// A host may let go of the banner inside any report (the banner then lives to the end of the
// run loop's turn), also inside the load's time-out falling due in the same instant as a refresh:
// the refresh runs on the next turn, if the banner is still held and its timer still running.
std::function<void(platform::Timer&)> NBAdView::refreshOnNextTurn() {
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
  return [weak](platform::Timer& fired) {
    auto view = weak.lock();
    if (!view) return;
    std::weak_ptr<platform::Timer> which = fired.shared_from_this();
    platform::RunLoop::main().postAfter(
        0,
        [weak, which] {
          auto later = weak.lock();
          if (later && later->adRefreshTimer_ && later->adRefreshTimer_ == which.lock()) later->refreshAd();
        },
        view.get());
  };
}

void NBAdView::invalidateAdRefreshTimer() {
  if (adRefreshTimer_) adRefreshTimer_->invalidate();
  adRefreshTimer_.reset();
}

void NBAdView::refreshAd() {
  console("\nNBAdView auto refresh invoked\n");
  getAdRequest(nbAdRequest_);
}

bool NBAdView::isAdRequestValidNow() const {
  if (lastAdTimeStamp_ == 0) return true;
  return platform::Clock::current().now() > lastAdTimeStamp_ + kMinimumSecondsBetweenAds;
}

std::optional<std::string> NBAdView::areFieldsValid() const {
  std::optional<std::string> error;
  if (NBStringUtil::isEmpty(nbAppId_)) error = "Provide a valid nbAppId.";
  if (!rootViewController()) error = "rootViewController must not be null!";
  return error;
}

void NBAdView::getAdRequest(const std::shared_ptr<NBAdRequest>& request) {
  auto self = shared_from_this();
  try {
    // The host may have cleared the request it gave (setNbAdRequest): every load and refresh
    // then fails as a load given none does, until it gives another.
    if (!request) {
      performErrorCallBackWithMsgErrorCode(kNullRequestMessage, NBAdErrorCodeInvalidRequest);
      return;
    }
    if (!isAdRequestDone_) {
      performErrorCallBackWithMsgErrorCode("An ad request is already in progress.", NBAdErrorCodeRequestInProgress);
      return;
    }
    if (touchedDownOnAd_ || waitingClickUrl_) {
      performErrorCallBackWithMsgErrorCode("An ad click is in progress.", NBAdErrorCodeClickInProgress);
      return;
    }
    if (auto message = areFieldsValid()) {
      performErrorCallBackWithMsgErrorCode(*message, NBAdErrorCodeInvalidRequest);
      return;
    }
    if (!isAdRequestValidNow()) {
      performErrorCallBackWithMsgErrorCode(
          platform::format("Minimum ad refresh interval is %d seconds", int(kMinimumSecondsBetweenAds)),
          NBAdErrorCodeInvalidRequest);
      return;
    }
    isAdRequestDone_ = false;
    nbUserInfo_->setAdUnitSlot(nbAdUnit_);
    nbUserInfo_->setAppId(request->testMode() ? std::string(kTestSiteId) : nbAppId_);
    nbUserInfo_->setLocationInquiryAllowed(request->isLocationEnquiryAllowed());
    nbUserInfo_->setUseHashedUDID(request->UDIDHashingAllowed());
    adRequest_->setDelegate(listener_);
    adRequest_->setupRequestUserDataAdRequestRequestMethodRequestType(getServerUrl(), nbUserInfo_, request, "POST", 0);
    std::weak_ptr<NBHttpAdRequest> connection = adRequest_;
    platform::RunLoop::main().post([connection] {
      if (auto c = connection.lock()) c->sendRequest();
    });
    hideWebView_->setBackgroundColor(platform::Color::clearColor());
  } catch (const std::exception&) {
    performErrorCallBackWithMsgErrorCode("Internal error!", NBAdErrorCodeInternalError);
  }
}

void NBAdView::failLater(const platform::Error& error) {
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
  const unsigned generation = generation_;
  platform::RunLoop::main().postAfter(
      0.1,
      [weak, error, generation] {
        auto view = weak.lock();
        if (view && view->generation_ == generation) view->performAdFailedNotification(error);
      },
      this);
}

void NBAdView::nbAdRequestFinished(const platform::Bytes& data) {
  if (isAdRequestDone_) {
    logLine("\nReceived extra callback for nbAdRequestFinished ");
    return;
  }
  NBAdXMLParser parser;
  auto unit = parser.buildAdUnitFromResponseData(data);
  // An ad without markup has nothing to show: it counts as no fill.
  if (!unit || !unit->CDATABlock) {
    failLater(NBAdError::errorWithDomainCodeUserInfo("Server returned a no-fill. No action required.",
                                                     NBAdErrorCodeNoFill));
    isAdRequestDone_ = true;
    return;
  }
  // The shown ad stays current until the new page has loaded.
  loadingAdUnit_ = unit;
  shouldNotifyDelegate_ = true;
  loadAdHtmlString(shouldLoadWebView1_);
  invalidateAdFailedTimer();
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
  adUnitFailLoadTimer_ = platform::Timer::scheduledTimer(kLoadTimeout, false, [weak](platform::Timer&) {
    if (auto view = weak.lock()) view->checkAdUnitLoadComplete();
  });
}

void NBAdView::nbAdRequestFailed(const platform::Error& error) {
  if (isAdRequestDone_) {
    logLine("\nreceived extra callback for nbAdRequestFailed");
    return;
  }
  failLater(error);
  isAdRequestDone_ = true;
}

NBWebView& NBAdView::loadingWebView() const { return shouldLoadWebView1_ ? *nbWebView1_ : *nbWebView2_; }

NBWebView& NBAdView::onScreenHolder() const { return shouldLoadWebView1_ ? *nbWebView2_ : *nbWebView1_; }

NBWebView& NBAdView::holderOf(const std::shared_ptr<platform::WebView>& webView) const {
  return webView == nbWebView1_->webView() ? *nbWebView1_ : *nbWebView2_;
}

std::shared_ptr<platform::WebView> NBAdView::onScreenWebView() const {
  return shouldLoadWebView1_ ? nbWebView2_->webView() : nbWebView1_->webView();
}

void NBAdView::startDeviceInfoUploadUsingUrl(const std::string& url) {
  // No one listens: an upload's answer means nothing to the ad on screen or the one loading.
  if (!deviceUploadRequest_) deviceUploadRequest_ = NBHttpAdRequest::create();
  deviceUploadRequest_->setupRequestUserDataAdRequestRequestMethodRequestType(url, nbUserInfo_, nbAdRequest_, "POST",
                                                                             1);
  deviceUploadRequest_->sendRequest();
}

void NBAdView::loadAdHtmlString(bool intoWebView1) {
  const auto& unit = loadingAdUnit_ ? loadingAdUnit_ : currentAdUnit_;
  if (!unit) {
    logLine("current ad unit is null! cannot load html string");
    return;
  }
  std::string markup = unit->CDATABlock.value_or("");
  if (unit->adType == NBAdTypeText) markup = applyStylingText(markup);
  webViewLoadCount_ = 0;
  isLoadingAd_ = true;
  auto& target = intoWebView1 ? *nbWebView1_ : *nbWebView2_;
  markupWebView_ = target.webView();
  target.loadHtmlStringForRMAd(markup, unit->adType == NBAdTypeRichMedia);
}

void NBAdView::webViewDidStartLoad(const std::shared_ptr<platform::WebView>& webView) {
  if (webView != markupWebView_) return;
  ++webViewLoadCount_;
}

// The page loading off screen has a state of its own: whatever the ad on screen does
// meanwhile (close, hide, resize) does not keep the loaded ad from being shown.
void NBAdView::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) {
  if (webView != markupWebView_) return;
  --webViewLoadCount_;
  if (webViewLoadCount_ != 0) return;
  // A restyle redraws the ad on screen: once it is in, its links are the user's again.
  if (!shouldNotifyDelegate_) {
    isLoadingAd_ = false;
    return;
  }
  if (isAdRequestDone_) return;
  invalidateAdFailedTimer();
  // An expanded ad is the user's until they close it: the loaded ad waits for the close.
  if (currentState_ == kMRAIDStateExpanded) {
    logLine("the ad on screen is expanded, the loaded ad waits for its close");
    loadedAdWaiting_ = true;
    return;
  }
  showLoadedAd();
}

void NBAdView::showLoadedAd() {
  auto self = shared_from_this();
  loadedAdWaiting_ = false;
  if (loadingAdUnit_) currentAdUnit_ = std::move(loadingAdUnit_);
  currentState_ = 0;
  if (currentAdUnit_ && currentAdUnit_->adType == NBAdTypeRichMedia) {
    auto& loaded = loadingWebView();
    loaded.disableBouncesAndScrolling();
    showAd(loaded.webView());
  }
  updateAdUnit();
  performAdSuccessNotification();
  isAdRequestDone_ = true;
  isLoadingAd_ = false;
}

void NBAdView::showWaitingAdLater() {
  if (!loadedAdWaiting_) return;
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
  // After the close has run to its end (a hide sets its state last).
  platform::RunLoop::main().postAfter(
      0,
      [weak] {
        auto view = weak.lock();
        if (view && view->loadedAdWaiting_ && !view->isAdRequestDone_ && view->currentState_ != kMRAIDStateExpanded)
          view->showLoadedAd();
      },
      this);
}

void NBAdView::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                           const platform::Error& error) {
  if (webView != markupWebView_) return;
  --webViewLoadCount_;
  if (webViewLoadCount_ != 0) return;
  // A restyle redraws the ad on screen: once it is in, its links are the user's again.
  if (!shouldNotifyDelegate_) {
    isLoadingAd_ = false;
    return;
  }
  isLoadingAd_ = false;
  if (isAdRequestDone_) return;
  auto self = shared_from_this();
  invalidateAdFailedTimer();
  loadingAdUnit_.reset();
  performErrorCallBackWithMsgErrorCode(error.domain, NBAdErrorCodeNetworkError);
  isAdRequestDone_ = true;
}

void NBAdView::checkAdUnitLoadComplete() {
  invalidateAdFailedTimer();
  if (isAdRequestDone_) {
    logLine("\nReceived extra callback for checkAdUnitLoadComplete... not notifying..");
    return;
  }
  auto self = shared_from_this();
  loadingWebView().stopLoading();
  loadingAdUnit_.reset();
  performErrorCallBackWithMsgErrorCode("Request timed out.", NBAdErrorCodeNetworkError);
  isAdRequestDone_ = true;
}

void NBAdView::invalidateAdFailedTimer() {
  if (adUnitFailLoadTimer_) adUnitFailLoadTimer_->invalidate();
  adUnitFailLoadTimer_.reset();
}

void NBAdView::updateAdUnit() {
  const bool firstAd = !nbWebView1_->webView()->superview() && !nbWebView2_->webView()->superview();
  if (firstAd || animationType_ == 0) {
    flipWebViews();
  } else {
    static constexpr int kTransitions[] = {0, 3, 4, 1, 2};
    const int transition = animationType_ >= 1 && animationType_ <= 4 ? kTransitions[animationType_] : 0;
    platform::View::beginAnimationsContext("");
    platform::View::setAnimationDuration(0.75);
    platform::View::setAnimationCurve(0);
    if (transition != 0)
      platform::View::setAnimationTransitionForViewCache(transition, std::static_pointer_cast<platform::View>(shared_from_this()), false);
    flipWebViews();
    platform::View::commitAnimations();
  }
  shouldLoadWebView1_ = !shouldLoadWebView1_;
}

void NBAdView::flipWebViews() {
  auto& shown = shouldLoadWebView1_ ? *nbWebView1_ : *nbWebView2_;
  auto& hidden = shouldLoadWebView1_ ? *nbWebView2_ : *nbWebView1_;
  hidden.webView()->removeFromSuperview();
  hideWebView_->removeFromSuperview();
  addSubview(shown.webView());
  const bool overlay = currentAdUnit_ && currentAdUnit_->adActionType != 3 && currentAdUnit_->adType != NBAdTypeRichMedia;
  if (overlay) insertSubviewAboveSubview(hideWebView_, shown.webView());
}

std::string NBAdView::applyStylingText(const std::string& markup) const {
  std::string styled = markup;
  if (topColor_) {
    std::string style =
        bottomColor_ ? "<style> #nb_c { background: -webkit-gradient(linear, left top, left bottom, from(#BGCOLOR1), "
                       "to(#BGCOLOR2)) !important;background: -moz-linear-gradient(top,  #BGCOLOR1,  #BGCOLOR2) "
                       "!important;}</style>"
                     : "<style>#nb_c { background: #BGCOLOR1 !important;} </style>";
    style = replaceAll(style, "#BGCOLOR1", *topColor_);
    if (bottomColor_) style = replaceAll(style, "#BGCOLOR2", *bottomColor_);
    styled += style;
  }
  if (textColor_)
    styled += replaceAll("<style>#nb_text {color:#TEXTCOLOR !important;} </style>", "#TEXTCOLOR", *textColor_);
  return styled;
}

void NBAdView::loadAdHtmlAfterCustomization() {
  if (!isAdRequestDone_) {
    logLine("ad request was already in progress, stopped re-loading of customized ad text");
    return;
  }
  // The page on screen is the user's while it is expanded.
  if (currentState_ == kMRAIDStateExpanded) {
    logLine("the ad is expanded, stopped re-loading of customized ad text");
    return;
  }
  shouldNotifyDelegate_ = false;
  loadAdHtmlString(!shouldLoadWebView1_);
}

void NBAdView::performErrorCallBackWithMsgErrorCode(const std::string& message, long code) {
  performAdFailedNotification(NBAdError::errorWithDomainCodeUserInfo(message, code));
}

template <class F>
void NBAdView::tellDelegate(unsigned message, const char* selector, F&& call) {
  auto delegate = delegate_.lock();
  const bool responds = delegate && (delegate->respondedMessages() & message);
  if (NBUtilities::delegateRespondsToSelector(delegate != nullptr, responds, selector)) call(*delegate);
}

void NBAdView::performAdSuccessNotification() {
  auto self = shared_from_this();
  tellDelegate(NBAdDelegate::kDidFinishRequest, "adViewDidFinishRequest:",
               [&](NBAdDelegate& d) { d.adViewDidFinishRequest(*this); });
  lastAdTimeStamp_ = platform::Clock::current().now();
}

void NBAdView::performAdFailedNotification(const platform::Error& error) {
  auto self = shared_from_this();
  tellDelegate(NBAdDelegate::kDidFailRequest, "adView:didFailRequestWithError:",
               [&](NBAdDelegate& d) { d.adViewDidFailRequestWithError(*this, error); });
}

void NBAdView::performAdClickNotification() {
  auto self = shared_from_this();
  tellDelegate(NBAdDelegate::kWillPresentScreen, "adViewWillPresentScreen:",
               [&](NBAdDelegate& d) { d.adViewWillPresentScreen(*this); });
  invalidateAdRefreshTimer();
}

void NBAdView::performAdWillDismissNotification() {
  auto self = shared_from_this();
  tellDelegate(NBAdDelegate::kWillDismissScreen, "adViewWillDismissScreen:",
               [&](NBAdDelegate& d) { d.adViewWillDismissScreen(*this); });
}

void NBAdView::performAdDidDismissNotification() {
  auto self = shared_from_this();
  tellDelegate(NBAdDelegate::kDidDismissScreen, "adViewDidDismissScreen:",
               [&](NBAdDelegate& d) { d.adViewDidDismissScreen(*this); });
  invokeAdRefreshTimer();
}

void NBAdView::performAppWillLeaveNotification() {
  auto self = shared_from_this();
  tellDelegate(NBAdDelegate::kWillLeaveApplication, "adViewWillLeaveApplication:",
               [&](NBAdDelegate& d) { d.adViewWillLeaveApplication(*this); });
  invalidateAdRefreshTimer();
}

void NBAdView::willMoveToSuperview(const std::shared_ptr<platform::View>& newSuperview) {
  if (!newSuperview) return;
  if (!observing_) {
    observing_ = true;
    std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
    auto& center = platform::NotificationCenter::defaultCenter();
    auto on = [&](const char* name, void (NBAdView::*handler)()) {
      center.addObserver(this, name, nullptr, [weak, handler](const platform::Notification&) {
        if (auto view = weak.lock()) ((*view).*handler)();
      });
    };
    on(platform::kApplicationDidBecomeActiveNotification, &NBAdView::appActiveNotificationReceived);
    on(platform::kApplicationWillResignActiveNotification, &NBAdView::appInActiveNotificationReceived);
    on(platform::kKeyboardWillShowNotification, &NBAdView::keyboardWillShow);
    on(platform::kKeyboardWillHideNotification, &NBAdView::keyboardWillHide);
  }
  if (refreshInterval_ == -1) return;
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
  platform::RunLoop::main().postAfter(
      0.5,
      [weak] {
        // Taken out again (or let go) meanwhile, it has no place to fill.
        if (auto view = weak.lock(); view && view->superview()) view->loadNBAdRequest();
      },
      this);
}

void NBAdView::appInActiveNotificationReceived() {
  logLine("<<app inactive>>>");
  invalidateAdRefreshTimer();
}

void NBAdView::appActiveNotificationReceived() {
  logLine("<<app active>>>");
  // A click or a screen under way stopped the refresh; it restarts the refresh when it ends.
  if (refreshInterval_ != -1 && !isClickOrScreenUp()) invokeAdRefreshTimer();
}

bool NBAdView::isClickOrScreenUp() const {
  return isClickUnderWay() || screenAnnounced_ || currentState_ == kMRAIDStateExpanded;
}

// The keyboard's hold keeps refreshes back, not the user: their tap on the ad starts a click,
// which then owns the flag.
bool NBAdView::isClickUnderWay() const { return (touchedDownOnAd_ && !keyboardHoldsClicks_) || waitingClickUrl_; }

void NBAdView::startClick() {
  touchedDownOnAd_ = true;
  keyboardHoldsClicks_ = false;
}

// The keyboard holds clicks and loads back only while it is up over a search ad; lowering it
// undoes what raising it did, whichever ad is shown by then, and nothing else.
void NBAdView::keyboardWillShow() {
  if (touchedDownOnAd_ || !currentAdUnit_ || currentAdUnit_->adActionType != 3) return;
  touchedDownOnAd_ = true;
  keyboardHoldsClicks_ = true;
}

void NBAdView::keyboardWillHide() {
  if (!keyboardHoldsClicks_) return;
  keyboardHoldsClicks_ = false;
  touchedDownOnAd_ = false;
}

}  // namespace nubira
