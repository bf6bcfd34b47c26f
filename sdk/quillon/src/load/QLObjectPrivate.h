#pragma once
// The load engine behind every banner and interstitial. A load fetches (or reuses, for a day)
// the ad-URL builder script, runs it in a hidden web view with the request's parameters,
// downloads the ad page it names, reads the page's control headers, shows the page in the ad
// web view, reports through the delegate manager, fires the impression trackers and re-runs
// the request on a refresh timer. States:
//   0 new, 1 fetching the script, 2 no script, 3 building the ad URL, 4 downloading the ad,
//   5 page handed to the ad web view, 6 shown (an interstitial is ready), 7 failed.
// A load that does not reach 6 within the configured time-out fails with code 5. Only the
// builder web view of the current load may answer it. All the tracking requests of one ad
// (its impressions, its click trackers, and the "click" and "httpTrack" of its pages) share
// one budget (QLAdAllowance), renewed for each ad answer, so an ad cannot make the client a
// request pump; each impression counts once, however often the ad is shown. A load that
// fails or times out, or that the builder refuses, still leaves the refresh timer running.
// The server's refresh interval is raised to kMinimumRefreshSeconds, so an answer cannot
// make the banner ask for ads without pause; a refresh that comes while a load is under way
// runs once that load is over, unless the load armed a refresh of its own; one that falls
// due while the application is inactive runs when it becomes active. Launch counts as
// finished from the platform's launch notice, whenever the engine was made. The shown ad
// stays the ad on screen, with its trackers and orientations, while the next one loads and
// after that load failed: a tap on it is its click; a touch while the next page is being put
// in place leads nowhere; neither navigates the banner itself.
// Main thread only.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "QLCachedFile.h"
#include "QLClickTracker.h"
#include "QLDelegateManager.h"
#include "QLOpener.h"
#include "QLRequestPrivate.h"
#include "QLWebView.h"
#include "QLWebViewDelegate.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"
#include "platform/view_controller.h"

namespace quillon {

class QLBannerWebViewDelegate;
class QLFullScreenOpener;

class QLObjectPrivate : public std::enable_shared_from_this<QLObjectPrivate> {
 public:
  // The shortest refresh interval taken from a server.
  static constexpr double kMinimumRefreshSeconds = 10;

  enum State : int {
    kStateNew = 0,
    kStateFetchingScript = 1,
    kStateNoScript = 2,
    kStateBuilding = 3,
    kStateDownloadingAd = 4,
    kStateShowing = 5,
    kStateShown = 6,
    kStateFailed = 7,
  };
  enum Orientations : int { kOrientationsAny = 1, kOrientationsPortrait = 2, kOrientationsLandscape = 3 };

  // An engine whose ad web view has `frame`.
  static std::shared_ptr<QLObjectPrivate> createWithFrame(const platform::Rect& frame);
  // An engine whose ad web view fills `view` (not retained) and is added to it.
  static std::shared_ptr<QLObjectPrivate> createWithView(const std::shared_ptr<platform::View>& view);
  virtual ~QLObjectPrivate();

  void loadRequest(const std::shared_ptr<QLRequest>& request);
  void loadInterstitialRequest(const std::shared_ptr<QLRequest>& request);
  void loadPrivateRequestAutoRefresh(const std::shared_ptr<QLRequestPrivate>& request, bool autoRefresh);
  // Cancels delayed calls and the refresh timer.
  void cancelPendingActions();

  const std::string& adUnitID() const { return adUnitID_; }
  void setAdUnitID(std::string id) { adUnitID_ = std::move(id); }
  std::shared_ptr<platform::ViewController> rootViewController() const { return rootViewController_.lock(); }
  void setRootViewController(std::weak_ptr<platform::ViewController> c);
  const std::shared_ptr<QLDelegateManager>& delegateManager() const { return delegateManager_; }
  const std::shared_ptr<QLWebView>& webView() const { return webView_; }
  const std::shared_ptr<QLRequestPrivate>& request() const { return request_; }
  int state() const { return state_; }
  std::shared_ptr<platform::View> adView() const { return adView_.lock(); }
  double timeLastLoaded() const { return timeLastLoaded_; }
  int supportedOrientations() const { return supportedOrientations_; }
  bool hasAutoRefreshed() const { return hasAutoRefreshed_; }
  // States 1, 3, 4 and 5.
  bool isMakingRequest() const;
  double reloadSeconds() const { return reloadSeconds_; }

  // The ad page as this engine read it when its download ended.
  std::string adHTMLString() const;
  std::optional<platform::URL> adHTMLBaseURL() const;
  std::vector<platform::URL> pendingTrackingURLs() const { return pendingTrackingURLs_; }
  std::vector<platform::URL> pendingClickURLs() const { return pendingClickURLs_; }
  // One tracker per URL while the ad's tracking budget lasts; how many were started.
  size_t trackURLs(const std::vector<platform::URL>& urls);
  // One tracker per impression URL of the ad answer. The first time, each counts against the
  // budget while it lasts; the ad shown again (a presented interstitial) tracks those same
  // impressions again without counting them twice.
  void trackImpressions();
  // What the ad may do on its own; its pages share it.
  const std::shared_ptr<QLAdAllowance>& allowance() const { return allowance_; }

  // The opener that ad clicks go through (the full-screen layer gives one).
  void setOpener(std::shared_ptr<QLOpener> opener);
  // "http://" and the script host with the builder script's path.
  virtual std::string jsBuildAdURL() const;

  // From the ad web view's delegate.
  void adWebViewDidFinishLoad();
  void adWebViewDidFail();
  // A tap on the ad on screen: the shown ad, or the one shown before while the next is built
  // and downloaded or after that load failed.
  bool isClick(platform::WebViewNavigationType type) const;
  // A user's touch while the next ad's page is being put in place: whichever page it landed
  // on, it is nobody's click, and it must not take the banner anywhere.
  bool isTouchWhileAdArrives(platform::WebViewNavigationType type) const;
  // A user's touch in the instant the ad appeared: too soon to be its click (the finger was
  // meant for the ad before), yet still the user's, so only the banner's own page may not move.
  bool isTapTooSoon(platform::WebViewNavigationType type) const;

  using Passkey = platform::Passkey<QLObjectPrivate>;
  QLObjectPrivate(Passkey, const platform::Rect& frame) : QLObjectPrivate(frame) {}

 protected:
  // For engines that differ only in what they override; their factories call setUp.
  explicit QLObjectPrivate(const platform::Rect& frame);
  void setUp();
  void attachToView(const std::shared_ptr<platform::View>& view);

 private:
  class FileListener;
  class TrackerListener;

  void changeState(int state);
  bool isShowingEarlierAd() const;
  bool isJustShown() const;
  bool isTouch(platform::WebViewNavigationType type) const;
  // The answer's trackers and orientations become the ad's once its page is shown: until
  // then the ad on screen is the one before, and what the user does on it is its own.
  void adoptIncomingAd();
  void ensureSupportFiles();
  void scriptDownloadDidEnd();
  void buildAdUrl();
  void failedToDownloadJavaScript();
  void setupBuildAdWebView();
  void resetBuildAdWebView();
  void loadAdURL(const platform::Dictionary& parameters);
  void builderRefused(const char* what, const platform::Dictionary& parameters);
  void loadHTMLFromURL(const platform::URL& url);
  void setAdHTML(std::shared_ptr<QLCachedFile> file);
  void processHTTPHeaders(const platform::HTTPHeaderFields& headers);
  void showAd();
  void failWithCode(int code, int state = kStateFailed);
  // A failure that says nothing of the refresh interval: the banner asks again on schedule.
  void failKeepingRefresh(int code, int state = kStateFailed);
  void failedAdRequest(const QLCachedFile& file);
  void fileDidEnd(QLCachedFile& file);
  void fileDidFail(QLCachedFile& file);
  void fileWillRedirect(QLCachedFile& file);
  void armLoadTimeout();
  void loadTimedOut();
  void addReloadInformationFromHeaders();
  void scheduleReloadTimer(double seconds);
  void reloadCurrentRequest();
  void refreshDueWhileInactive();
  void activateReloadTimer();
  void deactivateReloadTimer();
  void fullScreenWillPresent();
  void fullScreenDidRelinquish();
  void trackerFinished();
  void startTracker(const platform::URL& url);

  std::shared_ptr<QLWebView> webView_;
  std::string adUnitID_;
  std::weak_ptr<platform::View> adView_;
  std::shared_ptr<QLDelegateManager> delegateManager_;
  std::weak_ptr<platform::ViewController> rootViewController_;
  std::shared_ptr<platform::WebView> buildAdWebView_;
  std::shared_ptr<QLBannerWebViewDelegate> webViewDelegate_;
  std::shared_ptr<QLFullScreenOpener> opener_;
  std::shared_ptr<QLWebViewDelegate> buildAdWebViewDelegate_;
  std::shared_ptr<QLCachedFile> buildAdJS_;
  std::shared_ptr<QLCachedFile> adHTML_;
  std::string adPage_;
  std::shared_ptr<FileListener> fileListener_;
  std::shared_ptr<QLRequestPrivate> request_;
  int state_ = kStateNew;
  double timeLastLoaded_ = 0;
  std::vector<std::shared_ptr<QLClickTracker>> trackers_;
  std::shared_ptr<TrackerListener> trackerListener_;
  std::vector<platform::URL> pendingTrackingURLs_;
  std::vector<platform::URL> pendingClickURLs_;
  // What the answer being loaded brings for its ad, taken on when that ad is shown.
  struct IncomingAd {
    std::vector<platform::URL> trackingURLs;
    std::vector<platform::URL> clickURLs;
    std::optional<int> orientations;
  } incoming_;
  // How many of the pending impressions the budget took, once they have been tracked.
  std::optional<size_t> impressionsCounted_;
  std::shared_ptr<QLAdAllowance> allowance_ = std::make_shared<QLAdAllowance>();
  std::optional<platform::PerformHandle> reloadTimer_;
  std::optional<platform::PerformHandle> loadTimeout_;
  double reloadSeconds_ = 0;
  // The refresh timer fired while a load was under way.
  bool refreshWaiting_ = false;
  // The refresh timer fired while the application was inactive.
  bool refreshDueOnActive_ = false;
  bool hasAutoRefreshed_ = false;
  int supportedOrientations_ = kOrientationsAny;
  // Full-screen pages of the client now on screen: the refresh waits until all are gone.
  int fullScreenPresentations_ = 0;
  bool inBackground_ = false;
};

}  // namespace quillon
