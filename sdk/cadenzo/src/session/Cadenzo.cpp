#include "cadenzo/Cadenzo.h"

#include "CadenzoListeners.h"
#include "CZSessionSettings.h"
#include "CZSystemVersion.h"
#include "CZDefaultViewController.h"
#include "CZPresentationController.h"
#include "CZReachability.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/runtime.h"
#include "platform/singleton.h"
#include "platform/url.h"
#include "platform/user_defaults.h"
#include "platform/window.h"

namespace cadenzo {

using platform::Dictionary;
using platform::Value;

namespace {

// The facade lives for the process; tests start each from a fresh one.
platform::ResettableSingleton<Cadenzo> gShared;


constexpr const char* kStoreSheetClass = "SKStoreProductViewController";
constexpr const char* kStoreItemParameter = "SKStoreProductParameterITunesItemIdentifier";

}  // namespace

std::shared_ptr<Cadenzo> Cadenzo::sharedCadenzo() {
  if (CZSystemVersionBelow("4.0")) return nullptr;
  return gShared.get(
      [] {
        auto instance = std::make_shared<Cadenzo>(platform::Passkey<Cadenzo>{});
        std::weak_ptr<Cadenzo> weak = instance;
        instance->listeners_ = std::make_shared<Listeners>(weak);
        instance->connection_ = CZAPIConnection::createWithDelegate(instance->listeners_->connection, instance->settings_);
        platform::NotificationCenter::defaultCenter().addObserver(
            instance.get(), kForceDismissViewNotification, nullptr, [weak](const platform::Notification&) {
              if (auto self = weak.lock()) self->forceDismissViewNotification();
            });
        return instance;
      },
      [](Cadenzo& old) { platform::NotificationCenter::defaultCenter().removeObserver(&old); });
}

Cadenzo::Cadenzo(platform::Passkey<Cadenzo>) : settings_(std::make_shared<CZSessionSettings>()) {}
Cadenzo::~Cadenzo() = default;

std::shared_ptr<CZImpressionProtocol> Cadenzo::impressionDelegateForTesting() const { return listeners_->impressions; }

void Cadenzo::setDefaultEndpoint(std::string endpoint) { CZAPIConnection::setDefaultEndpoint(std::move(endpoint)); }

// ---- Properties -------------------------------------------------------------------

std::optional<std::string> Cadenzo::appId() const { return settings_->appId(); }
void Cadenzo::setAppId(std::optional<std::string> appId) { settings_->setAppId(std::move(appId)); }
std::optional<std::string> Cadenzo::appSignature() const { return settings_->appSignature(); }
void Cadenzo::setAppSignature(std::optional<std::string> appSignature) {
  settings_->setAppSignature(std::move(appSignature));
}
unsigned long Cadenzo::timeout() const { return settings_->timeout(); }
void Cadenzo::setTimeout(unsigned long seconds) { settings_->setTimeout(seconds); }
std::shared_ptr<CadenzoDelegate> Cadenzo::delegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delegate_.lock();
}
void Cadenzo::setDelegate(std::weak_ptr<CadenzoDelegate> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  delegate_ = std::move(delegate);
}

int Cadenzo::orientation() const {
  if (orientationOverriden_) return orientation_;
  return platform::Application::sharedApplication().statusBarOrientation();
}

void Cadenzo::setOrientation(int orientation) {
  orientation_ = orientation;
  orientationOverriden_ = true;
}

std::shared_ptr<platform::Window> Cadenzo::window() const {
  auto& app = platform::Application::sharedApplication();
  if (auto appDelegate = app.delegate()) {
    if (auto w = appDelegate->window()) return w;
  }
  return app.keyWindow();
}

void Cadenzo::setPresentationController(std::weak_ptr<CZPresentationController> controller) {
  presentation_ = std::move(controller);
  presentationSet_ = true;
}

std::shared_ptr<CZPresentationController> Cadenzo::presentationController() const {
  // The host has nothing to install: the client's own controller unless one was set.
  if (!presentationSet_) return CZDefaultViewController::sharedController();
  return presentation_.lock();
}

std::shared_ptr<CZImpression> Cadenzo::cachedInterstitial(const std::string& location) const {
  auto it = cachedInterstitials_.find(location);
  return it == cachedInterstitials_.end() ? nullptr : it->second;
}

// ---- Requests ---------------------------------------------------------------------

std::shared_ptr<CZAPIRequest> Cadenzo::signedRequest(const std::string& action) {
  auto request = CZAPIRequest::requestWithControllerAction("api", action);
  request->appendDeviceInfoParams(appId());
  return request;
}

void Cadenzo::startSession() {
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  defaults.setIntegerForKey(defaults.integerForKey(kSessionCountKey) + 1, kSessionCountKey);
  auto request = signedRequest("install");
  request->signWithAppIdAppSignature(appId(), appSignature());
  connection_->sendRequest(request);
}

bool Cadenzo::firstSessionRuleRefuses() const {
  auto d = delegate();
  if (!d) return false;
  auto allowed = d->shouldRequestInterstitialsInFirstSession();
  return allowed && !*allowed &&
         platform::UserDefaults::standardUserDefaults().integerForKey(kSessionCountKey) < 2;
}

void Cadenzo::cacheInterstitial(const std::string& location) {
  if (firstSessionRuleRefuses()) return;
  loadInterstitialShouldCache(location, true);
}

void Cadenzo::showInterstitial(const std::string& location) {
  if (firstSessionRuleRefuses()) return;
  if (hasCachedInterstitial(location)) {
    attemptShowingInterstitial(cachedInterstitial(location));
  } else {
    loadInterstitialShouldCache(location, false);
  }
}

bool Cadenzo::hasCachedInterstitial(const std::string& location) const {
  auto impression = cachedInterstitial(location);
  return impression && platform::Clock::current().now() - impression->responseDate() < kCacheLifetime;
}

void Cadenzo::cacheMoreApps() { loadMoreAppsShouldCache(true); }

void Cadenzo::showMoreApps() {
  if (auto cached = cachedMoreApps_) {  // a copy: showing clears the cache slot
    attemptShowingMoreApps(cached);
  } else {
    loadMoreAppsShouldCache(false);
  }
}

void Cadenzo::loadInterstitialShouldCache(const std::string& location, bool cache) {
  if (auto d = delegate()) {
    auto wanted = d->shouldRequestInterstitial(location);
    if (wanted && !*wanted) return;
  }
  if (!CZReachability::isInternetReachable()) {
    if (auto d = delegate()) d->didFailToLoadInterstitial(location);
    return;
  }
  auto request = signedRequest("get");
  request->appendBodyArgumentKeyValue("location", Value(location));
  if (cache) request->appendBodyArgumentKeyValue("cache", Value("1"));
  request->signWithAppIdAppSignature(appId(), appSignature());
  std::weak_ptr<Cadenzo> weak = weak_from_this();
  request->setContextBlock([weak, cache, location](const Dictionary& response) {
    if (auto self = weak.lock())
      self->loadCadenzoViewForResponseTypeShouldCacheLocation(response, CZImpressionTypeInterstitial, cache, location);
  });
  connection_->sendRequest(request);
}

void Cadenzo::loadMoreAppsShouldCache(bool cache) {
  if (!CZReachability::isInternetReachable()) {
    if (auto d = delegate()) d->didFailToLoadMoreApps();
    return;
  }
  auto request = signedRequest("more");
  if (cache) request->appendBodyArgumentKeyValue("cache", Value("1"));
  request->signWithAppIdAppSignature(appId(), appSignature());
  std::weak_ptr<Cadenzo> weak = weak_from_this();
  request->setContextBlock([weak, cache](const Dictionary& response) {
    if (auto self = weak.lock())
      self->loadCadenzoViewForResponseTypeShouldCacheLocation(response, CZImpressionTypeMoreApps, cache, std::nullopt);
  });
  connection_->sendRequest(request);
  if (!cache) {
    auto d = delegate();
    auto wanted = d ? d->shouldDisplayLoadingViewForMoreApps() : std::nullopt;
    auto presenter = presentationController();
    if (wanted && *wanted && presenter) presenter->displayLoadingView();
  }
}

void Cadenzo::loadCadenzoViewForResponseTypeShouldCacheLocation(const Dictionary& response, int type, bool cache,
                                                                 const std::optional<std::string>& location) {
  const Value& status = response.get("status");
  if (!status.isNumber() || status.doubleValue() != 200) {
    handleCadenzoViewErrorLocation(type, location);
    return;
  }
  platform::Rect frame;
  if (auto w = window()) frame = w->frame();
  auto impression = CZImpression::createWithResponseType(response, type, frame);
  if (!impression) {
    platform::log("Cadenzo: the answer cannot be made into an ad (no link, no page, or no view for it)");
    handleCadenzoViewErrorLocation(type, location);
    return;
  }
  impression->setDelegate(listeners_->impressions);
  impression->setLocation(location);
  impression->setState(cache ? CZImpressionStateLoadingToCache : CZImpressionStateLoadingToShow);
  impression->setFetchedToShow(!cache);
  loadingImpressions_.insert(impression);
}

void Cadenzo::release(const std::shared_ptr<CZImpression>& impression) {
  auto it = loadingImpressions_.find(impression);
  if (it == loadingImpressions_.end()) return;
  // The view that called us may be inside its own callback.
  platform::RunLoop::main().keepAliveUntilEndOfTurn(*it);
  loadingImpressions_.erase(it);
}

// ---- Impressions ------------------------------------------------------------------

void Cadenzo::impressionReadyToBeDisplayed(const std::shared_ptr<CZImpression>& impression) {
  auto self = shared_from_this();
  const int state = impression->state();
  const int type = impression->type();
  if (state == CZImpressionStateLoadingToShow) {
    impression->setState(CZImpressionStateIdle);
    if (type == CZImpressionTypeInterstitial) attemptShowingInterstitial(impression);
    else if (type == CZImpressionTypeMoreApps) attemptShowingMoreApps(impression);
  } else if (state == CZImpressionStateLoadingToCache) {
    auto location = impression->location();
    if (type == CZImpressionTypeInterstitial && location) {
      if (auto d = delegate()) d->didCacheInterstitial(*location);
      cachedInterstitials_[*location] = impression;
    } else if (type == CZImpressionTypeMoreApps) {
      if (auto d = delegate()) d->didCacheMoreApps();
      if (cachedMoreApps_) platform::RunLoop::main().keepAliveUntilEndOfTurn(cachedMoreApps_);
      cachedMoreApps_ = impression;
    }
    impression->setState(CZImpressionStateCached);
  } else {
    return;
  }
  release(impression);
}

void Cadenzo::attemptShowingInterstitial(const std::shared_ptr<CZImpression>& impression) {
  auto self = shared_from_this();
  const std::string location = impression->location().value_or("");
  if (auto d = delegate()) {
    auto wanted = d->shouldDisplayInterstitial(location);
    if (wanted && !*wanted) return;
  }
  // Another ad on screen refuses the display: a cached impression stays cached, unannounced;
  // one fetched to be shown now goes to the cache, announced, for the host's next show.
  if (auto presenter = presentationController(); presenter && presenter->viewIsVisible()) {
    keepRefusedForLater(impression);
    return;
  }
  if (impression->state() == CZImpressionStateCached && cachedInterstitial(location) == impression) {
    platform::RunLoop::main().keepAliveUntilEndOfTurn(impression);
    cachedInterstitials_.erase(location);
    // One fetched to be shown was counted when it was fetched, even if it waited here.
    if (!impression->fetchedToShow()) {
      auto request = signedRequest("show");
      const Value* adId = impression->responseContext().find("ad_id");
      if (adId) request->appendBodyArgumentKeyValue("ad_id", *adId);
      request->signWithAppIdAppSignature(appId(), appSignature());
      connection_->sendRequest(request);
    }
  }
  if (auto presenter = presentationController()) presenter->displayInterstitial(impression);
  impression->setState(CZImpressionStateShown);
  visibleImpression_ = impression;
}

void Cadenzo::attemptShowingMoreApps(const std::shared_ptr<CZImpression>& impression) {
  auto self = shared_from_this();
  if (auto d = delegate()) {
    auto wanted = d->shouldDisplayMoreApps();
    if (wanted && !*wanted) {
      // The overlay put up for this list would otherwise stay on screen for good.
      dismissLoadingViewIfVisible();
      return;
    }
  }
  if (auto presenter = presentationController(); presenter && presenter->viewIsVisible()) {
    dismissLoadingViewIfVisible();
    keepRefusedForLater(impression);
    return;
  }
  if (cachedMoreApps_ == impression) {
    platform::RunLoop::main().keepAliveUntilEndOfTurn(impression);
    cachedMoreApps_.reset();
  }
  impression->setState(CZImpressionStateIdle);
  dismissLoadingViewIfVisible();
  if (auto presenter = presentationController()) presenter->displayMoreApps(impression);
  impression->setState(CZImpressionStateShown);
  visibleImpression_ = impression;
}

void Cadenzo::keepRefusedForLater(const std::shared_ptr<CZImpression>& impression) {
  // Only an ad that just arrived to be shown; a cached one is still where it was.
  if (impression->state() != CZImpressionStateIdle) return;
  if (impression->type() == CZImpressionTypeInterstitial) {
    auto location = impression->location();
    // A fresh ad already waiting there keeps its place; the slot has its ad either way.
    if (!location || hasCachedInterstitial(*location)) return;
    if (auto earlier = cachedInterstitial(*location)) platform::RunLoop::main().keepAliveUntilEndOfTurn(earlier);
    cachedInterstitials_[*location] = impression;
    impression->setState(CZImpressionStateCached);
    if (auto d = delegate()) d->didCacheInterstitial(*location);
  } else if (impression->type() == CZImpressionTypeMoreApps && !cachedMoreApps_) {
    cachedMoreApps_ = impression;
    impression->setState(CZImpressionStateCached);
    if (auto d = delegate()) d->didCacheMoreApps();
  }
}

bool Cadenzo::acceptsCloseFrom(const std::shared_ptr<CZImpression>& impression) const {
  if (!impression) return false;
  if (impression == visibleImpression()) return true;
  // A page keeps running while its ad waits in the cache or leaves the screen; on its own it
  // may not end an ad that is not the one on screen.
  if (impression->view() && impression->view()->closeComesOfATouch()) return true;
  // Once per impression: a page on a timer would otherwise flood the log as well.
  if (impression->noteFirstIgnoredCommand())
    platform::logf("Cadenzo: ignoring the commands of an ad that is not on screen (state %d)",
                   impression->state());
  return false;
}

bool Cadenzo::reportEnd(const std::shared_ptr<CZImpression>& impression, bool clicked) {
  auto self = shared_from_this();
  const bool onScreen = impression == visibleImpression();
  if (onScreen) visibleImpression_.reset();
  const std::string location = impression->location().value_or("");
  // Only the ad on screen takes what is on screen down; another one the user reached (it is
  // leaving) is only told.
  const bool dismiss = onScreen && impression->state() == CZImpressionStateShown;
  auto presenter = presentationController();
  if (impression->type() == CZImpressionTypeInterstitial) {
    if (auto d = delegate()) d->didDismissInterstitial(location);
    if (auto d = delegate()) clicked ? d->didClickInterstitial(location) : d->didCloseInterstitial(location);
    if (dismiss && presenter) presenter->dismissInterstitial(impression);
  } else if (impression->type() == CZImpressionTypeMoreApps) {
    if (auto d = delegate()) d->didDismissMoreApps();
    if (auto d = delegate()) clicked ? d->didClickMoreApps() : d->didCloseMoreApps();
    if (dismiss && presenter) presenter->dismissMoreApps(impression);
  }
  return onScreen;
}

void Cadenzo::impressionCloseTriggered(const std::shared_ptr<CZImpression>& impression) {
  if (!acceptsCloseFrom(impression)) return;
  reportEnd(impression, false);
}

void Cadenzo::impressionClickTriggeredForURLMoreData(const std::shared_ptr<CZImpression>& impression,
                                                     const std::optional<std::string>& url,
                                                     const std::optional<Value>& moreData) {
  // Views report a click only for a touch of the user (a page's needs one on the shown ad).
  if (!impression) return;
  auto self = shared_from_this();
  // The first click takes the ad off screen; a touch that reaches it while it leaves is told
  // to the delegate, but only the ad on screen is counted and followed out of the ad.
  if (!reportEnd(impression, true)) return;
  const int type = impression->type();
  auto presenter = presentationController();

  const Dictionary& response = impression->responseContext();
  const Dictionary* extra = moreData && moreData->isDictionary() ? &moreData->dictionary() : nullptr;
  auto request = signedRequest("click");
  for (const char* key : {"to", "cgn", "creative", "ad_id"}) {
    if (const Value* v = response.find(key)) request->appendBodyArgumentKeyValue(key, *v);
  }
  if (extra) {
    for (const char* key : {"cgn", "creative", "type", "more_type"}) {
      if (const Value* v = extra->find(key)) request->appendBodyArgumentKeyValue(key, *v);
    }
  }
  const Value* anyItem = response.find("itunes_id");
  if (!anyItem && extra) anyItem = extra->find("itunes_id");
  const bool storeSheet = platform::Runtime::classExists(kStoreSheetClass) &&
                          platform::Runtime::isAvailable(kStoreItemParameter);
  request->appendBodyArgumentKeyValue("in_app_store", Value(anyItem != nullptr && storeSheet));
  request->signWithAppIdAppSignature(appId(), appSignature());

  std::optional<std::string> target;
  const Value& deepUrl = response.get("deep_url");
  if (deepUrl.isString() && platform::Application::sharedApplication().canOpenURL(deepUrl.string()) &&
      CZURLOpener::isOpenableAppLink(deepUrl.string())) {
    target = deepUrl.string();
  } else if (url) {
    // A page names any URL it likes; only the answer's own links may lead into another
    // application (a native view's targets are the answer's).
    const bool fromAnswer = response.get("type") == Value("native") || response.get("link") == Value(*url) ||
                            response.get("deep-link") == Value(*url);
    if (platform::URL::create(*url) &&
        (fromAnswer ? CZURLOpener::isOpenableAppLink(*url) : CZURLOpener::isOpenableFromPage(*url))) {
      target = *url;
    } else {
      platform::logf("Cadenzo: an ad may not open %@", Value(*url));
    }
  }
  std::optional<Value> itemId;
  if (type == CZImpressionTypeInterstitial) {
    if (const Value* v = response.find("itunes_id")) itemId = *v;
  } else if (extra) {
    if (const Value* v = extra->find("itunes_id")) itemId = *v;
  }

  std::weak_ptr<Cadenzo> weak = weak_from_this();
  request->setContextBlock([weak, target, itemId](const Dictionary& answer) {
    if (auto strong = weak.lock()) strong->clickResponseReceivedForwardToURLITunesID(answer, target, itemId);
  });
  // The overlay goes up before the call is sent: a call that fails at once (offline) takes
  // it down again instead of leaving it on screen for good.
  if (presenter) presenter->displayLoadingView();
  connection_->sendRequest(request);
}

void Cadenzo::impressionFailedToInitialize(const std::shared_ptr<CZImpression>& impression) {
  auto self = shared_from_this();
  // Only a view still being built can fail to load; a page that fails once shown or cached
  // (it navigated somewhere it cannot go) is not a failed ad.
  const int state = impression->state();
  if (state != CZImpressionStateLoadingToShow && state != CZImpressionStateLoadingToCache) return;
  const int type = impression->type();
  handleCadenzoViewErrorLocation(type, type == CZImpressionTypeInterstitial ? impression->location() : std::nullopt);
  release(impression);
}

void Cadenzo::handleCadenzoViewErrorLocation(int type, const std::optional<std::string>& location) {
  if (type == CZImpressionTypeInterstitial) {
    if (auto d = delegate()) d->didFailToLoadInterstitial(location.value_or(""));
  } else if (type == CZImpressionTypeMoreApps) {
    dismissLoadingViewIfVisible();
    if (auto d = delegate()) d->didFailToLoadMoreApps();
  }
}

void Cadenzo::dismissLoadingViewIfVisible() {
  auto presenter = presentationController();
  if (presenter && presenter->loadingViewIsVisible()) presenter->dismissLoadingView();
}

// ---- Answers ----------------------------------------------------------------------

void Cadenzo::didReceiveAPIResponseForRequest(const Dictionary& response, const std::shared_ptr<CZAPIRequest>& request) {
  if (const auto& block = request->contextBlock()) block(response);
}

void Cadenzo::didFailToReceiveAPIResponseForRequest(const std::shared_ptr<CZAPIRequest>& request) {
  auto self = shared_from_this();
  if (request->action() == "get") {
    std::optional<std::string> location;
    if (request->body()) {
      const Value& v = request->body()->get("location");
      if (v.isString()) location = v.string();
    }
    handleCadenzoViewErrorLocation(CZImpressionTypeInterstitial, location);
  } else if (request->action() == "more") {
    handleCadenzoViewErrorLocation(CZImpressionTypeMoreApps, std::nullopt);
  }
  dismissLoadingViewIfVisible();
}

void Cadenzo::forceDismissViewNotification() {
  if (auto visible = visibleImpression()) impressionCloseTriggered(visible);
}

// ---- Clicks -----------------------------------------------------------------------

void Cadenzo::clickResponseReceivedForwardToURLITunesID(const Dictionary& response,
                                                        const std::optional<std::string>& url,
                                                        const std::optional<Value>& itunesId) {
  (void)response;  // the answer's content does not steer the forwarding
  if (itunesId && platform::Runtime::classExists(kStoreSheetClass) &&
      platform::Runtime::isAvailable(kStoreItemParameter)) {
    presentStoreSheet(*itunesId, url);
    return;
  }
  openClickTarget(url);
}

void Cadenzo::openClickTarget(const std::optional<std::string>& url) {
  if (url) {
    CZURLOpener::openerWithDelegate(listeners_->opener)->open(*url);
  } else {
    dismissLoadingViewIfVisible();
  }
}

void Cadenzo::urlWillOpen(const std::string& url) {
  (void)url;
  dismissLoadingViewIfVisible();
}

void Cadenzo::urlWasRefused(const std::string& url) {
  (void)url;
  dismissLoadingViewIfVisible();
}

}  // namespace cadenzo
