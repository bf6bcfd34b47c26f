#pragma once
// The controller behind a banner view: its web view runs the downloaded "display" script,
// which is told which ad to show ("displayAd"), loads the ad's files and reports back through
// "BridgeDisplay". It decides when the slot's waiting ad is shown (refresh interval, the
// 5-second throttle of manual refreshes), fades from one ad to the next, counts an ad as
// shown once its host view is drawn (shifting the slot's download times, deleting the ad
// shown before and queuing the next fetch) and fetches the shown ad's impression trackers.
//
// A display that the page never completes is not left hanging: a failure report, or no
// content after kDisplayTimeLimit seconds, gives back the slot and the refresh and drops the
// ad that could not be shown, which queues a fetch for the slot.
//
// The full-screen controller derives from it. The click-through half (the routing of the
// page's navigations, browser mode, expansion into the full-screen window and dismissal)
// lives in HVAdViewInternalBrowser.cpp.
// Main thread only, apart from the file reads and queries run on the workers.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "HVAdManager.h"
#include "HVDownloadConnection.h"
#include "halvern/HalvernDelegate.h"
#include "platform/accelerometer.h"
#include "platform/bars.h"
#include "platform/controls.h"
#include "platform/passkey.h"
#include "platform/request_budget.h"
#include "platform/run_loop.h"
#include "platform/url.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"

namespace halvern {

class HVAdSlot;
class HVCommandHandler;
class HVJavascriptBridge;

class HVAdViewInternal : public platform::ViewController,
                         public platform::WebViewDelegate,
                         public HVDownloadConnectionDelegate,
                         public platform::AccelerometerDelegate,
                         public HVAdManagerListener {
 public:
  static constexpr double kMinimumRefreshInterval = 5.0;
  static constexpr double kFadeDuration = 0.5;
  static constexpr double kBrowserBarHeight = 32.0;
  static constexpr double kBrowserBarAnimationDuration = 0.5;
  static constexpr double kNavigationSegmentWidth = 40.0;
  // A banner's next ad shows this long after its full-screen content was closed.
  static constexpr double kRedisplayDelay = 3.0;
  // Pages of this host are shown in the video template rather than loaded.
  static constexpr const char* kVideoHost = "www.video.example";
  // How long a page may take to show the ad it was handed before the display counts as failed.
  static constexpr double kDisplayTimeLimit = 30.0;
  // Pings and impression trackers one ad may send; the rest are dropped (and logged once).
  static constexpr size_t kRequestsPerAd = platform::RequestBudget::kDefaultLimit;
  // The limit of a page's ping that names no time-out of its own.
  static constexpr double kPingTimeLimit = platform::kURLDefaultDeadlineInterval;

  // Throws platform::Exception ("HVAdViewInternal initialization error.") when the slot is
  // not registered, and ("NSInvalidArgumentException") for a refresh interval in (0, 5).
  static std::shared_ptr<HVAdViewInternal> create(std::shared_ptr<HVAdSlot> slot,
                                                  std::shared_ptr<HalvernDelegate> delegate, double refreshInterval);
  HVAdViewInternal(platform::Passkey<HVAdViewInternal>, std::shared_ptr<HVAdSlot> slot);
  ~HVAdViewInternal() override;

  static std::string baseURL();
  // The page call that shows an ad.
  static std::string displayAdScript(const std::string& slotName, int64_t dlTime, double width, double height,
                                     bool fullScreen, int reachability);

  // Showing ads.
  bool display();
  void requestDisplay(bool automatic);
  void refresh();
  double refreshInterval() const { return m_refreshInterval; }
  void setRefreshInterval(double seconds);
  void adDownloadedForSlotNamed(const std::string& name) override;
  bool isShowingAdForSlotNamed(const std::string& name, int64_t dlTime) override;
  void adDisplayed();
  virtual bool isAdReady();
  virtual bool controlsFullScreenSlot() const { return false; }
  void loadScriptAndExecute(const std::string& onload);

  // What the page reports through "BridgeDisplay".
  virtual void adContentWillLoad() {}
  virtual void adContentDidLoad();
  void adDisplayFailedForSlotNamed(const std::string& name);
  void adDisplayFailed() {}
  void adReadyDelayed(const std::string& name);
  void adViewNeedsDisplay();
  void trackImpression();
  void fetchUrl(const std::string& url) { fetchUrlTimeoutCallback(url, 0.0, platform::Value()); }
  // `callback` is the page's template (a string) or null; it hears 1 or 0 (0 also when the
  // ad has used up its requests). A time-out <= 0 gives kPingTimeLimit; a longer one than the
  // platform's longest (an hour) is cut to it.
  void fetchUrlTimeoutCallback(const std::string& url, double timeout, const platform::Value& callback);
  // Click-through, browser mode, expansion and dismissal: the browser half of this class.
  // Click-through: the page's navigations are routed here. Its own loading and file pages
  // load; "halvern://ct/..." goes to the page's click-through handler; other applications'
  // links and unknown schemes go to the application; a tapped web link opens the ad's own
  // browser (a banner expands into the full-screen window for it). Nothing else loads.
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const std::shared_ptr<platform::WebView>& webView,
                                                                      const platform::URLRequest& request,
                                                                      platform::WebViewNavigationType type) override;
  void webViewDidStartLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                   const platform::Error& error) override;
  // Opens `url` in the ad's own browser, or hands it to its application, for the user's act
  // (its touch counted): the page's redirects, and where it goes while it first loads, go on
  // that touch, a store link included. Text that is no URL is ignored.
  void requestPage(const std::string& url);
  void requestPage(const platform::URL& url);
  void handleClickthroughToExternalAppURL(const platform::URL& url);
  void applicationDidLoadExternalAppURL();
  void prepareAdViewBrowserMode(bool browserMode);
  void showNavigationBar();
  void hideNavigationBar();
  void markAsLoading(bool loading);
  void enableNavigationControls();
  void disableNavigationControls();
  void segmentedControlValueChanged(platform::Control& sender);
  void showNavigationExitItem();
  void hideNavigationExitItem();
  void showNavigationLoadingIndicatorItem();
  void hideNavigationLoadingIndicatorItem();
  // A banner's content into the full-screen window (a rich-media expansion or its browser).
  // False when the full-screen window serves another ad, or this one is expanded already.
  bool expand();
  void dismiss() { dismissAnimated(true); }
  void dismissAnimated(bool animated);
  // The action sheet of full-screen ads.
  virtual void prepareActionSheet() {}
  virtual void addButtonToActionSheetCallback(const std::string& title, const std::string& script) {
    (void)title;
    (void)script;
  }
  virtual void displayActionSheet() {}

  // Acts for the user. A page may make them only while its ad is on screen and only while the
  // user's touch lasts: its activation, taken when the navigation is asked for or, for a
  // polled command, as of the poll that collected it (the bridge collects at once after a
  // touch). A touch is one gesture: reports of the click (kClick) may come as often as the
  // page likes within it, and it takes the user away from the ad once, by whichever act
  // leaves the ad (the ad's browser or an expansion, kPresentation; another application,
  // kOpening). Each refusal is logged once per page.
  enum class UserAct : unsigned { kClick = 1, kPresentation = 2, kOpening = 4 };
  bool mayActForUser(UserAct act, const std::string& what);
  // For what only prepares an act (a click-through's claim on the screen, whose script then
  // asks for the act): the touch must be there and not yet have left the ad, and it stays
  // for the act.
  bool wasTouchedByUser(const std::string& what);
  // A page's pings and other requests: only while its ad is on screen.
  bool isOnScreenFor(const std::string& what);
  // A touch on a native control of the ad (a menu entry whose script goes to the page)
  // lets the page act as a touch on the page would.
  void grantActsForNativeTouch();
  // The page's own ping (not the client's impression trackers): refused, with 0 to the
  // callback, while its ad is not on screen.
  void pageFetchUrlTimeoutCallback(const std::string& url, double timeout, const platform::Value& callback);

  // Host and window notices.
  void setDelegate(std::shared_ptr<HalvernDelegate> delegate);
  const std::shared_ptr<HalvernDelegate>& delegate() const { return m_delegate; }
  void setExecMode(int mode);
  void applicationWillEnterForeground();
  void fullScreenAdWindowWillOpen() { notifyDelegateFullScreenAdDisplayWillOpen(); }
  void fullScreenAdWindowWillClose() { notifyDelegateFullScreenAdDisplayWillClose(); }
  // The window is free again: the slot's ad shows if the window kept it off the screen (and
  // a banner with a refresh interval asks for its next one).
  void fullScreenAdWindowDidClose();
  // Only the display refused while the window was busy, if there was one.
  void retryDisplayRefusedWhileWindowBusy();
  void adViewWillExpand();
  void adViewDidCollapse();
  bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation) override { return false; }

  // Delegate notices; each answers whether the delegate took it.
  virtual bool notifyDelegateAdReadyForSlotNamed(const std::string& name);
  bool notifyDelegateFullScreenAdDisplayWillOpen();
  bool notifyDelegateFullScreenAdDisplayWillClose();
  bool notifyDelegateDidReceiveMemoryWarning();
  bool notifyDelegateAdDisplayFailed() { return true; }

  // Geometry.
  virtual void layout();
  // The view whose alpha fades the content in and out of its banner place (nullptr: none).
  virtual std::shared_ptr<platform::View> containerView();

  // State.
  const std::shared_ptr<HVAdSlot>& slot() const { return m_slot; }
  const std::shared_ptr<platform::WebView>& webView() const { return m_webView; }
  const std::shared_ptr<HVJavascriptBridge>& bridge() const { return m_bridge; }
  bool isBrowserMode() const { return m_isBrowserMode; }
  bool isRefreshing() const { return m_isRefreshing; }
  bool isExpanded() const { return m_isExpanded; }
  bool shouldWipeContentOnDismiss() const { return m_shouldWipeContentOnDismiss; }
  bool isLoading() const { return m_isLoading; }
  const std::shared_ptr<platform::NavigationBar>& navigationBar() const { return m_navigationBar; }
  const std::shared_ptr<platform::NavigationItem>& navigationItem() const { return m_navigationItem; }
  const std::shared_ptr<platform::SegmentedControl>& navigationControls() const { return m_navigationControls; }
  const std::shared_ptr<platform::ActivityIndicatorView>& navigationLoadingIndicator() const {
    return m_navigationLoadingIndicator;
  }
  bool hasDisplayedCurrentAd() const { return m_hasDisplayedCurrentAd; }
  // The page is the display page and holds the slot's shown ad, or the loaded content of the
  // ad handed to it (wherever the view is).
  bool pageShowsItsAd() const;
  double lastDisplayTime() const { return m_lastDisplayTime; }

  // AccelerometerDelegate, HVDownloadConnectionDelegate, WebViewDelegate.
  void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration& acceleration) override;
  void downloadSucceeded(const std::shared_ptr<HVDownloadConnection>& connection) override;
  void downloadFailed(const std::shared_ptr<HVDownloadConnection>& connection) override;
  void downloadTimedOut(const std::shared_ptr<HVDownloadConnection>& connection) override { downloadFailed(connection); }

 protected:
  // For the full-screen controller, which has no slot of its own.
  explicit HVAdViewInternal(std::shared_ptr<HVAdSlot> slot) : m_slot(std::move(slot)) {}
  void init(std::shared_ptr<HalvernDelegate> delegate, double refreshInterval);
  void sendToPage(const std::string& script);
  // The last step of a dismissal: a banner is no longer expanded and shows its next ad a
  // little later; the full-screen controller gives its slot back.
  virtual void dismissedFromWindow(bool animated);
  bool sendDelegateNotification(HalvernDelegate::Message message, const std::string& name = {});

  bool m_isExpanded = false;
  bool m_isBrowserMode = false;
  bool m_shouldWipeContentOnDismiss = false;
  std::shared_ptr<HVAdSlot> m_slot;
  std::shared_ptr<HalvernDelegate> m_delegate;
  std::shared_ptr<HalvernDelegate> m_openHeardBy;  // the delegate that heard the open, until the close

 private:
  void makeBrowserBar();
  void scheduleExitItem();
  bool windowHoldsOtherContent() const;
  void fetchUrlsStashedInDB(const platform::Value& rows);
  // The page still shows the slot's shown ad, in its banner place.
  bool showsItsAd();
  void finishDownload(const std::shared_ptr<HVDownloadConnection>& connection, bool succeeded);
  void armDisplayTimeLimit(int64_t dlTime);
  // The display handed to the page ended without content: the slot and the refresh are given
  // back and the ad dropped, which queues a fetch.
  void abandonDisplay();
  // Hands the slot's ad `dlTime` to the page, loading the page first when it is not up.
  void sendDisplayAdCall(int64_t dlTime);
  void contentShown();
  // Logs a refused act once per page.
  void refuseForUser(const std::string& what, const char* why);
  // Whether the user's touch lasts for what the page asks now, taking the view's activation
  // over when it is there.
  bool holdsUserTouch();

  std::shared_ptr<platform::NavigationBar> m_navigationBar;
  std::shared_ptr<platform::WebView> m_webView;
  std::shared_ptr<platform::SegmentedControl> m_navigationControls;
  std::shared_ptr<platform::NavigationItem> m_navigationItem;
  std::shared_ptr<platform::ActivityIndicatorView> m_navigationLoadingIndicator;
  int m_execMode = 0;
  std::shared_ptr<HVJavascriptBridge> m_bridge;
  std::shared_ptr<HVCommandHandler> m_standardHandler, m_applicationHandler, m_audioHandler, m_cocoaHandler,
      m_displayHandler;
  bool m_isLoading = false;
  std::shared_ptr<platform::Timer> m_exitItemTimer;
  double m_lastDisplayTime = 0;
  double m_refreshInterval = 0;
  bool m_isRefreshing = false;
  bool m_hasDisplayedCurrentAd = false;
  // A display was refused because the full-screen window held the screen.
  bool m_displayRefusedWhileWindowBusy = false;
  // The display under way loads its page afresh: the page holds no ad before it.
  bool m_displayOnFreshPage = false;
  // The slot's shown ad, handed again to a page that had lost it; 0 when none.
  int64_t m_reshownDlTime = 0;
  // The ad handed to the page and not yet shown or given up; 0 when none.
  int64_t m_pendingDisplayDlTime = 0;
  // The page has loaded the content of that ad: only its draw is to come.
  bool m_pendingContentLoaded = false;
  platform::PerformHandle m_displayTimeLimit;
  platform::PerformHandle m_automaticRequest;
  platform::PerformHandle m_delayedDisplay;
  std::set<std::shared_ptr<HVDownloadConnection>> m_connections;
  // The touch last taken over (monotonic seconds) and whether it has left the ad yet.
  double m_touchHonouredAt = -1e300;
  bool m_touchLeftAd = false;
  // When the user's finger last lifted from the page (monotonic seconds).
  double m_lastUserTouchAt = -1e300;
  // Counts the requests of the ad shown; a new ad starts afresh.
  platform::RequestBudget m_requestBudget{
      "HVAdViewInternal: the ad asked for too many pings and trackers; dropping the rest.", kRequestsPerAd};
};

}  // namespace halvern
