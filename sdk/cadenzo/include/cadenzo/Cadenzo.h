#pragma once
// The one object through which the application uses the Cadenzo client: credentials, the
// session counter, interstitials per location and the more-apps list (load, cache, show),
// clicks (a signed "click" call, then the store sheet or the URL opener) and an optional
// delegate that hears what happened.
//
// Every failure of a load ends in at most one didFailToLoadInterstitial or
// didFailToLoadMoreApps, and the loading overlay is taken down.
// Ownership: the singleton lives for the process (tests get a fresh one on test reset). It
// owns its connection and the cached impressions; the delegate, the visible impression and
// the presentation controller are not retained... except that impressions being loaded are
// held until they are shown, cached or failed.
// Thread safety: sharedCadenzo() from any thread; appId, appSignature, delegate and timeout
// may be read and set from any thread; everything else on the main thread.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/passkey.h"
#include "platform/value.h"

namespace platform {
class Window;
class StoreProductViewController;
}  // namespace platform

namespace cadenzo {

class CZAPIConnection;
class CZAPIRequest;
class CZImpression;
class CZImpressionProtocol;
class CZPresentationController;
class CZSessionSettings;

// Every method is optional. A value-returning one answers nullopt when not implemented.
class CadenzoDelegate {
 public:
  virtual ~CadenzoDelegate() = default;
  // NO: the load stops silently.
  virtual std::optional<bool> shouldRequestInterstitial(const std::string& location) {
    (void)location;
    return std::nullopt;
  }
  // NO while fewer than two sessions were started: cache and show calls do nothing.
  virtual std::optional<bool> shouldRequestInterstitialsInFirstSession() { return std::nullopt; }
  virtual std::optional<bool> shouldDisplayInterstitial(const std::string& location) {
    (void)location;
    return std::nullopt;
  }
  virtual std::optional<bool> shouldDisplayMoreApps() { return std::nullopt; }
  // YES: a more-apps list loaded to be shown at once shows the loading overlay meanwhile.
  virtual std::optional<bool> shouldDisplayLoadingViewForMoreApps() { return std::nullopt; }
  virtual void didCacheInterstitial(const std::string& location) { (void)location; }
  virtual void didCacheMoreApps() {}
  virtual void didFailToLoadInterstitial(const std::string& location) { (void)location; }
  virtual void didFailToLoadMoreApps() {}
  virtual void didDismissInterstitial(const std::string& location) { (void)location; }
  virtual void didCloseInterstitial(const std::string& location) { (void)location; }
  virtual void didClickInterstitial(const std::string& location) { (void)location; }
  virtual void didDismissMoreApps() {}
  virtual void didCloseMoreApps() {}
  virtual void didClickMoreApps() {}
};

class Cadenzo : public std::enable_shared_from_this<Cadenzo> {
 public:
  static constexpr const char* kSessionCountKey = "CZSessionCountKey";
  static constexpr const char* kDefaultLocation = "Default";
  static constexpr const char* kForceDismissViewNotification = "CZForceDismissViewNotification";
  static constexpr double kCacheLifetime = 86400;

  // The facade; nullptr on a system older than "4.0". Created once, thread-safe.
  static std::shared_ptr<Cadenzo> sharedCadenzo();

  // Where the client's calls go: scheme and host (and port). "https://api.cadenzo.com"
  // unless set; connections made afterwards use it. Thread-safe.
  static void setDefaultEndpoint(std::string endpoint);

  std::optional<std::string> appId() const;
  void setAppId(std::optional<std::string> appId);
  std::optional<std::string> appSignature() const;
  void setAppSignature(std::optional<std::string> appSignature);
  std::shared_ptr<CadenzoDelegate> delegate() const;
  void setDelegate(std::weak_ptr<CadenzoDelegate> delegate);
  unsigned long timeout() const;
  void setTimeout(unsigned long seconds);

  // The override when set, else the application's status-bar orientation.
  int orientation() const;
  void setOrientation(int orientation);
  // The application delegate's window when it has one, else the key window.
  std::shared_ptr<platform::Window> window() const;
  void setIdentityTrackingDisabledOnThisDevice(bool disabled) { (void)disabled; }
  bool isIdentityTrackingDisabledOnThisDevice() const { return false; }

  // Where views go on screen: the client's own controller unless a host sets another (not
  // retained).
  void setPresentationController(std::weak_ptr<CZPresentationController> controller);
  std::shared_ptr<CZPresentationController> presentationController() const;

  void startSession();
  void cacheInterstitial(const std::string& location);
  void cacheInterstitial() { cacheInterstitial(kDefaultLocation); }
  void showInterstitial(const std::string& location);
  void showInterstitial() { showInterstitial(kDefaultLocation); }
  bool hasCachedInterstitial(const std::string& location) const;
  bool hasCachedInterstitial() const { return hasCachedInterstitial(kDefaultLocation); }
  void cacheMoreApps();
  void showMoreApps();

  std::shared_ptr<CZImpression> visibleImpression() const { return visibleImpression_.lock(); }

  // ---- The client's own parts ----
  // The credentials and time-out, shared with the parts the facade makes.
  const std::shared_ptr<CZSessionSettings>& settings() const { return settings_; }

  // ---- For tests ----
  const std::shared_ptr<CZAPIConnection>& connectionForTesting() const { return connection_; }
  // What the facade gives its impressions as their delegate.
  std::shared_ptr<CZImpressionProtocol> impressionDelegateForTesting() const;
  std::shared_ptr<CZImpression> cachedInterstitialForTesting(const std::string& location) const {
    return cachedInterstitial(location);
  }
  const std::shared_ptr<CZImpression>& cachedMoreAppsForTesting() const { return cachedMoreApps_; }
  // The store sheet of the last click that had a store item, until the user closes it.
  const std::shared_ptr<platform::StoreProductViewController>& storeSheetForTesting() const { return storeSheet_; }
  const std::vector<std::shared_ptr<platform::StoreProductViewController>>& storeSheetsForTesting() const {
    return storeSheets_;
  }

  // Made only by sharedCadenzo().
  explicit Cadenzo(platform::Passkey<Cadenzo>);
  ~Cadenzo();

 private:
  // The objects that hear the connection, the impressions, the URL opener and the store
  // sheet on the facade's behalf (src/session/CadenzoListeners.h).
  struct Listeners;

  // What the listeners forward.
  void didReceiveAPIResponseForRequest(const platform::Dictionary& response,
                                       const std::shared_ptr<CZAPIRequest>& request);
  void didFailToReceiveAPIResponseForRequest(const std::shared_ptr<CZAPIRequest>& request);
  void impressionReadyToBeDisplayed(const std::shared_ptr<CZImpression>& impression);
  void impressionCloseTriggered(const std::shared_ptr<CZImpression>& impression);
  void impressionClickTriggeredForURLMoreData(const std::shared_ptr<CZImpression>& impression,
                                              const std::optional<std::string>& url,
                                              const std::optional<platform::Value>& moreData);
  void impressionFailedToInitialize(const std::shared_ptr<CZImpression>& impression);
  void urlWillOpen(const std::string& url);
  void urlWasRefused(const std::string& url);
  void productViewControllerDidFinish(platform::StoreProductViewController& sheet);
  void forgetStoreSheet(const platform::StoreProductViewController& sheet);
  void forceDismissViewNotification();

  std::shared_ptr<CZImpression> cachedInterstitial(const std::string& location) const;
  void loadInterstitialShouldCache(const std::string& location, bool cache);
  void loadMoreAppsShouldCache(bool cache);
  void loadCadenzoViewForResponseTypeShouldCacheLocation(const platform::Dictionary& response, int type,
                                                         bool cache, const std::optional<std::string>& location);
  void attemptShowingInterstitial(const std::shared_ptr<CZImpression>& impression);
  void attemptShowingMoreApps(const std::shared_ptr<CZImpression>& impression);
  void clickResponseReceivedForwardToURLITunesID(const platform::Dictionary& response,
                                                 const std::optional<std::string>& url,
                                                 const std::optional<platform::Value>& itunesId);
  void handleCadenzoViewErrorLocation(int type, const std::optional<std::string>& location);
  // Loads the store sheet for `itemId` and presents it once loaded, over whatever the host
  // presented; where nothing can present it, opens `url` instead.
  void presentStoreSheet(const platform::Value& itemId, const std::optional<std::string>& url);
  // Follows a click to `url` through the URL opener; without one, only takes the overlay down.
  void openClickTarget(const std::optional<std::string>& url);
  bool firstSessionRuleRefuses() const;
  // An ad that arrived to be shown while another is on screen waits in the cache for the
  // host's next show (announced as cached), as a cached one refused then does, instead of
  // being dropped.
  void keepRefusedForLater(const std::shared_ptr<CZImpression>& impression);
  // True for the impression shown now, and for another (cached, loading or being dismissed)
  // whose close a touch of the user on its view made; any other close is ignored, and the
  // first one logged.
  bool acceptsCloseFrom(const std::shared_ptr<CZImpression>& impression) const;
  // The two notices of a close or a click, then, for the impression on screen, its dismissal.
  // True when it was the impression on screen.
  bool reportEnd(const std::shared_ptr<CZImpression>& impression, bool clicked);
  std::shared_ptr<CZAPIRequest> signedRequest(const std::string& action);
  void dismissLoadingViewIfVisible();
  void release(const std::shared_ptr<CZImpression>& impression);

  std::shared_ptr<CZSessionSettings> settings_;
  std::shared_ptr<Listeners> listeners_;
  std::shared_ptr<CZAPIConnection> connection_;
  std::map<std::string, std::shared_ptr<CZImpression>> cachedInterstitials_;
  std::shared_ptr<CZImpression> cachedMoreApps_;
  std::set<std::shared_ptr<CZImpression>> loadingImpressions_;
  // The latest store sheet, and every one still loading or up: a second click's sheet comes
  // up over the first, and each goes when the user is done with it.
  std::shared_ptr<platform::StoreProductViewController> storeSheet_;
  std::vector<std::shared_ptr<platform::StoreProductViewController>> storeSheets_;
  mutable std::mutex mutex_;
  std::weak_ptr<CadenzoDelegate> delegate_;
  bool orientationOverriden_ = false;
  int orientation_ = 1;
  std::weak_ptr<CZImpression> visibleImpression_;
  std::weak_ptr<CZPresentationController> presentation_;
  bool presentationSet_ = false;
};

}  // namespace cadenzo
