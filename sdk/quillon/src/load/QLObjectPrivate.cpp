#include "QLObjectPrivate.h"

#include <algorithm>
#include <utility>

#include "QLAdAnswerHeaders.h"
#include "QLBannerWebViewDelegate.h"
#include "QLConfiguration.h"
#include "QLFullScreenOpener.h"
#include "QLInterstitialAppController.h"
#include "QLMacros.h"
#include "QLNetworkUtilities.h"
#include "QLNotificationCenter.h"
#include "QLSpamSignals.h"
#include "QLStatistics.h"
#include "QLStatisticsCore.h"
#include "QLTiming.h"
#include "QLViewController.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/scroll_view.h"
#include "platform/text_helpers.h"
#include "platform/text_quoting.h"
#include "platform/user_defaults.h"
#include "platform/utf8.h"
#include "quillon/QLRequestError.h"

namespace quillon {

using platform::Dictionary;
using platform::URL;
using platform::Value;

namespace {
constexpr double kScriptLifetime = 86400;
constexpr double kMinimumTapDelay = 0.15;

// Launch counts as finished from the platform's launch notice on, whenever this engine was
// made: one made after launch never hears that notice, and must not take the background for
// a launch still under way.
bool applicationIsActive() {
  auto& app = platform::Application::sharedApplication();
  return app.applicationState() == platform::ApplicationState::Active || !app.isLaunchFinished();
}

}  // namespace

class QLObjectPrivate::FileListener : public QLCachedFileDelegate {
 public:
  explicit FileListener(std::weak_ptr<QLObjectPrivate> owner) : owner_(std::move(owner)) {}
  void cachedFileDownloadDidEnd(QLCachedFile& file) override {
    if (auto o = owner_.lock()) o->fileDidEnd(file);
  }
  void cachedFileDownloadDidFail(QLCachedFile& file, const std::optional<platform::Error>&) override {
    if (auto o = owner_.lock()) o->fileDidFail(file);
  }
  std::optional<platform::Error> cachedFileShouldRedirectToURL(QLCachedFile& file, const URL&) override {
    if (auto o = owner_.lock()) o->fileWillRedirect(file);
    return std::nullopt;
  }

 private:
  std::weak_ptr<QLObjectPrivate> owner_;
};

class QLObjectPrivate::TrackerListener : public QLClickTrackerDelegate {
 public:
  explicit TrackerListener(std::weak_ptr<QLObjectPrivate> owner) : owner_(std::move(owner)) {}
  void trackerDidFailWithError(QLClickTracker&, const std::optional<platform::Error>&) override { finished(); }
  void trackerDidRedirect(QLClickTracker&, const URL&) override { finished(); }

 private:
  void finished() {
    if (auto o = owner_.lock()) o->trackerFinished();
  }
  std::weak_ptr<QLObjectPrivate> owner_;
};

std::shared_ptr<QLObjectPrivate> QLObjectPrivate::createWithFrame(const platform::Rect& frame) {
  auto engine = std::make_shared<QLObjectPrivate>(Passkey{}, frame);
  engine->setUp();
  return engine;
}

std::shared_ptr<QLObjectPrivate> QLObjectPrivate::createWithView(const std::shared_ptr<platform::View>& view) {
  auto engine = createWithFrame(view->bounds());
  engine->attachToView(view);
  return engine;
}

void QLObjectPrivate::attachToView(const std::shared_ptr<platform::View>& view) {
  adView_ = view;
  view->addSubview(webView_);
}

QLObjectPrivate::QLObjectPrivate(const platform::Rect& frame)
    : webView_(QLWebView::create(frame)), delegateManager_(QLDelegateManager::create()) {
  webView_->setScalesPageToFit(false);
  webView_->setMediaPlaybackRequiresUserAction(true);
  webView_->setHidden(true);
}

void QLObjectPrivate::setUp() {
  std::weak_ptr<QLObjectPrivate> weak = weak_from_this();
  fileListener_ = std::make_shared<FileListener>(weak);
  trackerListener_ = std::make_shared<TrackerListener>(weak);
  webViewDelegate_ = QLBannerWebViewDelegate::create(shared_from_this());
  webViewDelegate_->setAllowance(allowance_);
  webView_->setDelegate(webViewDelegate_);
  opener_ = QLFullScreenOpener::create();
  opener_->setDelegateManager(delegateManager_);
  opener_->setAdController(weak);
  opener_->setOpeningWebView(webView_);
  webViewDelegate_->setAdOpener(opener_);

  auto& center = platform::NotificationCenter::defaultCenter();
  // Systems before 4.0 have no background: leaving the screen is resigning active there.
  const bool multitasking = QLRequestPrivate::deviceAtLeastMinimumOSMajorVersionMinorVersion(4, 0);
  center.addObserver(this,
                     multitasking ? "UIApplicationDidEnterBackgroundNotification"
                                  : "UIApplicationWillResignActiveNotification",
                     nullptr, [weak](const platform::Notification&) {
                       if (auto self = weak.lock()) {
                         self->inBackground_ = true;
                         self->deactivateReloadTimer();
                       }
                     });
  center.addObserver(this,
                     multitasking ? "UIApplicationWillEnterForegroundNotification"
                                  : "UIApplicationDidBecomeActiveNotification",
                     nullptr, [weak](const platform::Notification&) {
                       if (auto self = weak.lock()) {
                         self->inBackground_ = false;
                         self->activateReloadTimer();
                       }
                     });
  // A refresh that fell due while an alert or a call kept the application inactive runs
  // once it is active again (the load itself may not start while it is inactive).
  center.addObserver(this, platform::kApplicationDidBecomeActiveNotification, nullptr,
                     [weak](const platform::Notification&) {
                       if (auto self = weak.lock()) self->refreshDueWhileInactive();
                     });
  center.addObserver(this, kQLWillPresentFullScreenNotification, nullptr, [weak](const platform::Notification&) {
    if (auto self = weak.lock()) self->fullScreenWillPresent();
  });
  center.addObserver(this, kQLDidRelinquishFullScreenNotification, nullptr, [weak](const platform::Notification&) {
    if (auto self = weak.lock()) self->fullScreenDidRelinquish();
  });
}

QLObjectPrivate::~QLObjectPrivate() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  cancelPendingActions();
  if (loadTimeout_) loadTimeout_->cancel();
  webView_->setDelegate({});
  webView_->stopLoading();
  resetBuildAdWebView();
  if (buildAdJS_) {
    buildAdJS_->setDelegate({});
    buildAdJS_->cancel();
  }
  setAdHTML(nullptr);
  for (auto& tracker : trackers_) tracker->reset();
}

bool QLObjectPrivate::isMakingRequest() const {
  return state_ == kStateFetchingScript || state_ == kStateBuilding || state_ == kStateDownloadingAd ||
         state_ == kStateShowing;
}

void QLObjectPrivate::cancelPendingActions() {
  platform::RunLoop::main().cancelPerforms(this);
  refreshWaiting_ = false;
  refreshDueOnActive_ = false;
  if (reloadTimer_) reloadTimer_->cancel();
  reloadTimer_.reset();
}

void QLObjectPrivate::loadRequest(const std::shared_ptr<QLRequest>& request) {
  auto p = std::dynamic_pointer_cast<QLRequestPrivate>(request);
  loadPrivateRequestAutoRefresh(p ? p : QLRequestPrivate::create(), false);
}

void QLObjectPrivate::loadInterstitialRequest(const std::shared_ptr<QLRequest>& request) {
  auto p = std::dynamic_pointer_cast<QLRequestPrivate>(request);
  if (!p) p = QLRequestPrivate::create();
  p->setInterstitialAd(true);
  loadPrivateRequestAutoRefresh(p, false);
}

void QLObjectPrivate::loadPrivateRequestAutoRefresh(const std::shared_ptr<QLRequestPrivate>& request,
                                                   bool autoRefresh) {
  if (isMakingRequest() || !applicationIsActive()) return;
  auto self = shared_from_this();
  if (!QLRequestPrivate::deviceAtLeastMinimumOSMajorVersionMinorVersion(3, 0)) {
    failWithCode(kQLErrorOSVersionTooLow);
    return;
  }
  if (!autoRefresh) hasAutoRefreshed_ = false;
  if (request != request_) {
    request_ = request ? QLRequestPrivate::createWithRequest(*request) : QLRequestPrivate::create();
  }
  auto statistics = QLStatistics::sharedStatistics();
  if (!statistics->timingNamed("ptime")) statistics->startTimingNamed("ptime");
  request_->setCounter(statistics->incrementAdRequestCount());
  changeState(kStateBuilding);
  armLoadTimeout();
  ensureSupportFiles();
}

std::string QLObjectPrivate::jsBuildAdURL() const {
  return "http://" + QLConfiguration::current().scriptHost + "/quillon/ql-builder-v1.js";
}

void QLObjectPrivate::ensureSupportFiles() {
  if (!buildAdJS_) {
    changeState(kStateFetchingScript);
    if (auto url = URL::create(jsBuildAdURL())) buildAdJS_ = QLCachedFile::create(fileListener_, *url);
    if (!buildAdJS_) {
      failKeepingRefresh(kQLErrorNetworkError, kStateNoScript);
      return;
    }
  }
  auto store = QLStatisticsCore::create("QLObjectPrivate");
  Value expires = store->dateForKey("expireDate");
  const double now = platform::Clock::current().now();
  if (expires.isDate() && buildAdJS_->hasContent() && expires.dateValue() >= now) {
    scriptDownloadDidEnd();
    return;
  }
  store->setDateForKey(Value::date(now + kScriptLifetime), "expireDate");
  store->synchronize();
  changeState(kStateFetchingScript);
  buildAdJS_->validate();
}

void QLObjectPrivate::fileDidEnd(QLCachedFile& file) {
  if (&file == buildAdJS_.get()) {
    scriptDownloadDidEnd();
  } else if (&file == adHTML_.get()) {
    processHTTPHeaders(file.httpHeaders());
    showAd();
  }
}

void QLObjectPrivate::fileDidFail(QLCachedFile& file) {
  if (&file == buildAdJS_.get()) {
    failedToDownloadJavaScript();
  } else if (&file == adHTML_.get()) {
    failedAdRequest(file);
  }
}

void QLObjectPrivate::fileWillRedirect(QLCachedFile& file) {
  if (&file == adHTML_.get()) processHTTPHeaders(file.httpHeaders());
}

void QLObjectPrivate::scriptDownloadDidEnd() { buildAdUrl(); }

void QLObjectPrivate::failedToDownloadJavaScript() {
  changeState(kStateNoScript);
  if (buildAdJS_ && buildAdJS_->hasContent()) {
    buildAdUrl();
  } else {
    failKeepingRefresh(kQLErrorNetworkError, kStateNoScript);
  }
}

void QLObjectPrivate::buildAdUrl() {
  auto self = shared_from_this();
  std::optional<std::string> script = buildAdJS_ ? buildAdJS_->content() : std::nullopt;
  if (!script || script->empty() || !platform::isValidUtf8(*script)) {
    // A script that cannot run is no copy to fall back on: fail once, and fetch it afresh
    // next time rather than trusting this one for the rest of the day.
    auto store = QLStatisticsCore::create("QLObjectPrivate");
    store->removeObjectForKey("expireDate");
    store->synchronize();
    if (buildAdJS_) buildAdJS_->invalidate();
    failKeepingRefresh(kQLErrorNetworkError, kStateNoScript);
    return;
  }
  changeState(kStateBuilding);
  Dictionary parameters = request_->parameters();
  // Slot facts.
  if (!adUnitID_.empty()) parameters.set("slotname", Value(adUnitID_));
  if (request_->isInterstitialAd()) {
    parameters.set("format", Value("interstitial_mb"));
  } else {
    std::shared_ptr<platform::View> view = adView();
    if (!view) view = webView_;
    auto rect = [](const platform::Rect& r) {
      return Value(Dictionary{{"x", Value(r.origin.x)},
                              {"y", Value(r.origin.y)},
                              {"w", Value(r.size.width)},
                              {"h", Value(r.size.height)}});
    };
    parameters.set("ad_frame", rect(view->frame()));
    parameters.set("ad_bounds", rect(view->bounds()));
  }
  std::string json = QLMacros::jsonify(Value(std::move(parameters))).value_or("");
  if (json.empty()) {
    failWithCode(kQLErrorInvalidRequest);
    return;
  }
  setupBuildAdWebView();
  // The script is the ad server's own; the parameters are data and must stay data inside
  // the page, whatever their texts hold.
  std::string page = "<html><head><script>" + *script + "</script>" +
                     platform::format("<script>%@(%@);</script>", "QL_buildAdURL",
                                      platform::scriptSafeJSON(json)) +
                     "</head><body></body></html>";
  buildAdWebView_->loadHTMLStringBaseURL(page, URL::create("http://" + QLConfiguration::current().adServerHost));
}

void QLObjectPrivate::setupBuildAdWebView() {
  resetBuildAdWebView();
  buildAdWebView_ = platform::WebView::create(platform::Rect(0, 0, 1, 1));
  buildAdWebView_->setHidden(true);
  buildAdWebViewDelegate_ = QLWebViewDelegate::create(QLStatistics::sharedStatistics(), nullptr);
  buildAdWebView_->setDelegate(buildAdWebViewDelegate_);
  std::weak_ptr<QLObjectPrivate> weak = weak_from_this();
  auto& center = platform::NotificationCenter::defaultCenter();
  const void* sender = buildAdWebView_.get();
  center.addObserver(this, "loadAdURL", sender, [weak](const platform::Notification& n) {
    if (auto self = weak.lock()) self->loadAdURL(n.userInfo.isDictionary() ? n.userInfo.dictionary() : Dictionary{});
  });
  center.addObserver(this, "invalidRequest", sender, [weak](const platform::Notification& n) {
    if (auto self = weak.lock())
      self->builderRefused("<Quillon> Invalid Request: %@", n.userInfo.isDictionary() ? n.userInfo.dictionary() : Dictionary{});
  });
  center.addObserver(this, "unableToServe", sender, [weak](const platform::Notification& n) {
    if (auto self = weak.lock())
      self->builderRefused("<Quillon> Unable to serve: %@", n.userInfo.isDictionary() ? n.userInfo.dictionary() : Dictionary{});
  });
}

void QLObjectPrivate::resetBuildAdWebView() {
  if (!buildAdWebView_) return;
  auto& center = platform::NotificationCenter::defaultCenter();
  for (const char* name : {"loadAdURL", "invalidRequest", "unableToServe"}) center.removeObserver(this, name);
  buildAdWebView_->setDelegate({});
  buildAdWebView_->stopLoading();
  buildAdWebView_.reset();
  buildAdWebViewDelegate_.reset();
}

void QLObjectPrivate::loadAdURL(const Dictionary& parameters) {
  auto self = shared_from_this();
  resetBuildAdWebView();
  if (state_ != kStateBuilding) return;  // the load this answer was for is over
  if (parameters.contains("errors")) {
    failKeepingRefresh(kQLErrorInvalidRequest);
    return;
  }
  changeState(kStateDownloadingAd);
  std::string type = parameters.get("type").string();
  QLSpamSignals::builderDidAnswer(QLRequestPrivate::requestTypeFromString(type), QLRequest::sdkVersion());
  std::optional<URL> url = parameters.get("url").isString() ? URL::create(parameters.get("url").string()) : std::nullopt;
  if (url) {
    Dictionary extra;
    for (const auto& [key, value] : request_->spamSignals()) extra.set(key, Value(value));
    if (type == "mediated") extra.set("seq_num", Value("1"));
    if (!extra.empty()) url = QLNetworkUtilities::appendQueryParametersToURL(extra, *url);
  }
  if (!url || !url->host()) {
    // Not fetched at all (it could name a local file): it fails as a download that could not
    // start would.
    failKeepingRefresh(kQLErrorNetworkError);
    return;
  }
  QLStatistics::sharedStatistics()->startTimingNamed("prl");
  loadHTMLFromURL(*url);
}

void QLObjectPrivate::builderRefused(const char* what, const Dictionary& parameters) {
  auto self = shared_from_this();
  resetBuildAdWebView();
  if (state_ != kStateBuilding) return;
  platform::log(platform::format(what, Value(parameters)));
  failKeepingRefresh(kQLErrorInvalidRequest);
}

void QLObjectPrivate::loadHTMLFromURL(const URL& url) {
  setAdHTML(QLCachedFile::create(fileListener_, url));
  adPage_.clear();
  incoming_ = {};
  adHTML_->validate();
}

void QLObjectPrivate::adoptIncomingAd() {
  pendingTrackingURLs_ = std::move(incoming_.trackingURLs);
  pendingClickURLs_ = std::move(incoming_.clickURLs);
  if (incoming_.orientations) supportedOrientations_ = *incoming_.orientations;
  incoming_ = {};
  // A new ad: what the previous one spent on tracking is not held against it.
  allowance_->renew();
  impressionsCounted_.reset();
}

void QLObjectPrivate::setAdHTML(std::shared_ptr<QLCachedFile> file) {
  if (adHTML_) {
    adHTML_->setDelegate({});
    adHTML_->invalidate();
  }
  adHTML_ = std::move(file);
}

void QLObjectPrivate::processHTTPHeaders(const platform::HTTPHeaderFields& headers) {
  auto answer = QLAdAnswerHeaders::fromHeaders(headers);
  incoming_.trackingURLs.insert(incoming_.trackingURLs.end(), answer.trackingURLs.begin(), answer.trackingURLs.end());
  incoming_.clickURLs.insert(incoming_.clickURLs.end(), answer.clickTrackingURLs.begin(),
                             answer.clickTrackingURLs.end());
  if (answer.orientations) incoming_.orientations = answer.orientations;
  if (auto timeout = headers.value("X-Quillon-Interstitial-Timeout"); timeout && !timeout->empty())
    QLInterstitialAppController::setApplicationTimeoutFrom(*timeout, "the ad answer");
}

std::string QLObjectPrivate::adHTMLString() const { return adPage_; }

std::optional<URL> QLObjectPrivate::adHTMLBaseURL() const {
  if (!adHTML_) return std::nullopt;
  return adHTML_->httpDestinationURL();
}

void QLObjectPrivate::showAd() {
  auto self = shared_from_this();
  // Read once, now: engines asking for the same ad URL share its cache file, and another one
  // may rewrite or delete it before this ad is shown again.
  adPage_ = platform::trimWhitespaceAndNewlines(adHTML_ ? adHTML_->content().value_or("") : "");
  addReloadInformationFromHeaders();
  if (adPage_.empty()) {
    failWithCode(kQLErrorNoFill);
    return;
  }
  changeState(kStateShowing);
  webView_->loadHTMLStringBaseURL(adPage_, adHTMLBaseURL());
}

void QLObjectPrivate::adWebViewDidFinishLoad() {
  // Only the page this load handed over counts; the page's own later navigations do not show
  // the ad again.
  if (state_ != kStateShowing) return;
  auto self = shared_from_this();
  adoptIncomingAd();
  changeState(kStateShown);
  webView_->setHidden(false);
  if (auto scroll = webView_->scrollView()) scroll->setScrollsToTop(false);
  delegateManager_->didReceiveAd();
  trackImpressions();
  auto statistics = QLStatistics::sharedStatistics();
  statistics->endTimingNamed("prl");
  statistics->startTimingNamed("ppcl");
}

void QLObjectPrivate::adWebViewDidFail() {
  if (state_ == kStateShown || state_ != kStateShowing) return;
  failWithCode(kQLErrorNetworkError);
}

bool QLObjectPrivate::isClick(platform::WebViewNavigationType type) const {
  // The shown ad stays on screen while the next one is built and downloaded, and after that
  // load failed: a tap on it is still its click, never a navigation of the banner in place.
  return (state_ == kStateShown || isShowingEarlierAd()) && !isJustShown() && isTouch(type);
}

bool QLObjectPrivate::isTapTooSoon(platform::WebViewNavigationType type) const {
  return (state_ == kStateShown || isShowingEarlierAd()) && isJustShown() && isTouch(type);
}

bool QLObjectPrivate::isJustShown() const { return QLTiming::counter() - timeLastLoaded_ < kMinimumTapDelay; }

bool QLObjectPrivate::isTouch(platform::WebViewNavigationType type) const {
  return type != platform::WebViewNavigationType::BackForward && type != platform::WebViewNavigationType::Reload &&
         webView_->touched();
}

bool QLObjectPrivate::isShowingEarlierAd() const {
  // Until the next ad's page is handed over; from then on the web view may hold that page.
  return !webView_->isHidden() && state_ != kStateShowing;
}

bool QLObjectPrivate::isTouchWhileAdArrives(platform::WebViewNavigationType type) const {
  // The page's navigations only: the engine's own hand-over of the page is no touch.
  return state_ == kStateShowing && webView_->navigationQueuedWhileShown().has_value() &&
         type != platform::WebViewNavigationType::BackForward && type != platform::WebViewNavigationType::Reload &&
         webView_->hasUserActivation();
}

void QLObjectPrivate::changeState(int state) {
  if (state == state_) return;
  state_ = state;
  if (state == kStateShown) {
    webView_->setTouched(false);
    timeLastLoaded_ = QLTiming::counter();
  }
  if (!isMakingRequest() && loadTimeout_) {
    loadTimeout_->cancel();
    loadTimeout_.reset();
  }
  if (!isMakingRequest() && refreshWaiting_) {
    refreshWaiting_ = false;
    // On a later turn, once whoever ended the load has had its say (a failed download arms
    // the next refresh itself, and then this one is not needed).
    std::weak_ptr<QLObjectPrivate> weak = weak_from_this();
    platform::RunLoop::main().postAfter(
        0,
        [weak] {
          auto self = weak.lock();
          if (!self || self->reloadTimer_ || self->isMakingRequest() || self->inBackground_ ||
              self->fullScreenPresentations_ > 0)
            return;
          self->reloadCurrentRequest();
        },
        this);
  }
}

void QLObjectPrivate::failWithCode(int code, int state) {
  auto self = shared_from_this();
  changeState(state);
  delegateManager_->didFailToReceiveAdWithError(QLRequestError::errorWithCodeRequest(code, request_.get()));
}

void QLObjectPrivate::failKeepingRefresh(int code, int state) {
  auto self = shared_from_this();
  // A refresh already armed, or due once this load is over, keeps its time.
  const bool refreshPending = reloadTimer_ || refreshWaiting_;
  failWithCode(code, state);
  if (!refreshPending) scheduleReloadTimer(reloadSeconds_);
}

void QLObjectPrivate::failedAdRequest(const QLCachedFile& file) {
  auto self = shared_from_this();
  long status = file.httpStatusCode();
  int code = kQLErrorServerError;
  if (status == 400) {
    platform::log("<Quillon> Server rejected ad parameters.  Typically this is because the ad unit ID is incorrect.");
    code = kQLErrorInvalidRequest;
  } else if (status < 400) {
    code = kQLErrorNetworkError;
  }
  failWithCode(code);
  addReloadInformationFromHeaders();
}

void QLObjectPrivate::armLoadTimeout() {
  if (loadTimeout_) loadTimeout_->cancel();
  std::weak_ptr<QLObjectPrivate> weak = weak_from_this();
  loadTimeout_ = platform::RunLoop::main().postAfter(QLConfiguration::current().loadTimeout, [weak] {
    if (auto self = weak.lock()) self->loadTimedOut();
  });
}

void QLObjectPrivate::loadTimedOut() {
  loadTimeout_.reset();
  if (!isMakingRequest()) return;
  auto self = shared_from_this();
  platform::log("<Quillon> The ad request timed out.");
  resetBuildAdWebView();
  if (buildAdJS_) buildAdJS_->cancel();
  if (adHTML_) adHTML_->cancel();
  if (state_ == kStateShowing) {
    // The next ad's page is already in the banner, only its own resources are late: the user
    // sees it from now on, so it becomes the shown ad, with its impression and its clicks.
    webView_->stopLoading();
    if (state_ == kStateShowing) {
      adWebViewDidFinishLoad();
      return;
    }
  }
  if (isMakingRequest()) failWithCode(kQLErrorTimeout);
  // As after any failed download: the banner tries again at its interval.
  scheduleReloadTimer(reloadSeconds_);
}

void QLObjectPrivate::addReloadInformationFromHeaders() {
  if (adHTML_)
    if (auto rate = QLAdAnswerHeaders::fromHeaders(adHTML_->httpHeaders()).refreshRate) {
      scheduleReloadTimer(*rate);
      return;
    }
  scheduleReloadTimer(reloadSeconds_);
}

void QLObjectPrivate::scheduleReloadTimer(double seconds) {
  if (reloadTimer_) reloadTimer_->cancel();
  reloadTimer_.reset();
  if (!(seconds > 0)) return;
  reloadSeconds_ = std::max(seconds, kMinimumRefreshSeconds);
  if (inBackground_ || fullScreenPresentations_ > 0) return;
  std::weak_ptr<QLObjectPrivate> weak = weak_from_this();
  reloadTimer_ = platform::RunLoop::main().postAfter(
      reloadSeconds_,
      [weak] {
        if (auto self = weak.lock()) self->reloadCurrentRequest();
      },
      this);
}

void QLObjectPrivate::reloadCurrentRequest() {
  reloadTimer_.reset();
  if (isMakingRequest()) {
    refreshWaiting_ = true;
    return;
  }
  if (!applicationIsActive()) {
    refreshDueOnActive_ = true;
    return;
  }
  loadPrivateRequestAutoRefresh(request_, true);
}

void QLObjectPrivate::refreshDueWhileInactive() {
  if (!std::exchange(refreshDueOnActive_, false)) return;
  // Whatever was armed or started since (a return from the background arms a whole
  // interval) stands in for it.
  if (reloadTimer_ || refreshWaiting_ || isMakingRequest() || inBackground_ || fullScreenPresentations_ > 0) return;
  reloadCurrentRequest();
}

void QLObjectPrivate::activateReloadTimer() {
  if (inBackground_ || fullScreenPresentations_ > 0) return;
  scheduleReloadTimer(reloadSeconds_);
}

void QLObjectPrivate::deactivateReloadTimer() {
  if (reloadTimer_) reloadTimer_->cancel();
  reloadTimer_.reset();
}

void QLObjectPrivate::fullScreenWillPresent() {
  ++fullScreenPresentations_;
  deactivateReloadTimer();
}

void QLObjectPrivate::fullScreenDidRelinquish() {
  if (fullScreenPresentations_ > 0) --fullScreenPresentations_;
  activateReloadTimer();
}

size_t QLObjectPrivate::trackURLs(const std::vector<URL>& urls) {
  size_t started = 0;
  for (const auto& url : urls) {
    if (!allowance_->allowTrackingRequest()) break;
    startTracker(url);
    ++started;
  }
  return started;
}

void QLObjectPrivate::trackImpressions() {
  if (!impressionsCounted_) {
    impressionsCounted_ = trackURLs(pendingTrackingURLs_);
    return;
  }
  // The pending impressions are cleared only with the count, so the count never runs past them.
  for (size_t i = 0; i < *impressionsCounted_; ++i) startTracker(pendingTrackingURLs_[i]);
}

void QLObjectPrivate::startTracker(const URL& url) {
  auto tracker = QLClickTracker::create(QLStatistics::sharedStatistics());
  tracker->setDelegate(trackerListener_);
  trackers_.push_back(tracker);
  tracker->trackURL(url);
}

void QLObjectPrivate::trackerFinished() {
  std::weak_ptr<QLObjectPrivate> weak = weak_from_this();
  platform::RunLoop::main().postAfter(
      0,
      [weak] {
        auto self = weak.lock();
        if (!self) return;
        std::erase_if(self->trackers_, [](const auto& t) { return t->hasTracked(); });
      },
      this);
}

void QLObjectPrivate::setRootViewController(std::weak_ptr<platform::ViewController> controller) {
  rootViewController_ = controller;
  opener_->setRootViewController(std::move(controller));
}

void QLObjectPrivate::setOpener(std::shared_ptr<QLOpener> opener) { webViewDelegate_->setAdOpener(std::move(opener)); }

}  // namespace quillon
