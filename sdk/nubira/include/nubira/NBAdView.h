#pragma once
// The Nubira banner: asks the ad server for an ad, renders its markup in a hidden web view
// while the other one keeps showing the current ad, swaps them once the new ad has loaded,
// reloads on a repeating timer and reports to its delegate. Main thread only.
// Ownership: made by the create… factories in a shared_ptr; the delegate and the root view
// controller are not retained. A delegate may destroy the view inside any of its callbacks.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "nubira/NBAdDelegate.h"
#include "platform/passkey.h"
#include "platform/view.h"

namespace platform {
class Button;
class ScrollView;
class Timer;
class ViewController;
class WebView;
struct Notification;
}  // namespace platform

namespace nubira {

class NBAdRequest;
class NBAdUnit;
class NBHttpAdRequest;
class NBJSBridge;
class NBUserInfo;
class NBWebView;
class NBEmbeddedWebViewController;
class NBHttpClickRequest;

class NBAdView : public platform::View {
 public:
  static constexpr int kDefaultAdUnit = 15;
  static constexpr int kDefaultRefreshInterval = 60;
  static constexpr int kMinimumRefreshInterval = 20;
  static constexpr double kMinimumSecondsBetweenAds = 20.0;
  // The MRAID state of an ad expanded over the window.
  static constexpr int kMRAIDStateExpanded = 5;
  static constexpr double kLoadTimeout = 60.0;
  static constexpr const char* kTestSiteId = "7c1e5a90b3d24f6e8a0b9c7d2e41f385";
  static constexpr const char* kAdPath = "/nbserve/ad?";

  static std::shared_ptr<NBAdView> createWithFrameNbAppIdNbAdUnitRootViewController(
      const platform::Rect& frame, const std::string& appId, int adUnit,
      const std::shared_ptr<platform::ViewController>& rootViewController);
  static std::shared_ptr<NBAdView> createWithFrame(const platform::Rect& frame);
  // What loading the view from an interface file does: the view is made with its archived
  // frame, then hears awakeFromNib.
  static std::shared_ptr<NBAdView> createFromNibWithFrame(const platform::Rect& frame);
  // Sets the view up with its own frame, no app id, the default slot and no root controller.
  void awakeFromNib();
  ~NBAdView() override;

  void loadNBAdRequest();
  // nullptr is refused with "NBAdRequest cannot be null!".
  void loadNBAdRequest(std::shared_ptr<NBAdRequest> request);

  int refreshInterval() const { return refreshInterval_; }
  // -1 turns refresh off; below the minimum throws platform::Exception
  // ("NSInvalidArgumentException") and changes nothing.
  void setRefreshInterval(int seconds);
  std::shared_ptr<NBAdDelegate> delegate() const { return delegate_.lock(); }
  // Nil also stops the timers and drops the request under way.
  void setDelegate(std::weak_ptr<NBAdDelegate> delegate);
  std::shared_ptr<platform::ViewController> rootViewController() const { return rootViewController_.lock(); }
  void setRootViewController(const std::shared_ptr<platform::ViewController>& controller);
  void setRefTagForKey(const std::optional<std::string>& tag, const std::optional<std::string>& key);
  void setAdTextColor(const std::string& color);
  void setAdBackgroundColor(const std::string& color);
  void setAdBackgroundGradientWithTopColorBottomColor(const std::string& top, const std::string& bottom);
  // Hides View::setFrame: the inner views follow the frame given through the banner.
  void setFrame(const platform::Rect& frame);
  const std::shared_ptr<NBAdRequest>& nbAdRequest() const { return nbAdRequest_; }
  // With nullptr every later load and refresh fails with "NBAdRequest cannot be null!" (code 0)
  // until another request is given; the banner keeps its ad and its timer.
  void setNbAdRequest(std::shared_ptr<NBAdRequest> request) { nbAdRequest_ = std::move(request); }
  int animationType() const { return animationType_; }
  void setAnimationType(int type) { animationType_ = type; }
  const std::string& nbAppId() const { return nbAppId_; }
  int nbAdUnit() const { return nbAdUnit_; }
  double lastAdTimeStamp() const { return lastAdTimeStamp_; }
  bool isAdRequestDone() const { return isAdRequestDone_; }
  bool isLoadingAd() const { return isLoadingAd_; }
  bool ismraidAd() const { return ismraidAd_; }
  const std::shared_ptr<NBAdUnit>& currentAdUnit() const { return currentAdUnit_; }
  const std::shared_ptr<NBUserInfo>& nbUserInfo() const { return nbUserInfo_; }
  // The largest size a rich-media ad may resize to; zero until the host sets it.
  platform::Size maxSize() const { return maxSize_; }
  void setMaxSize(platform::Size size) { maxSize_ = size; }
  // Sends the device-info upload to `url` on a connection of its own, with the view's facts;
  // nothing is read from the answer.
  void startDeviceInfoUploadUsingUrl(const std::string& url);

  // Where ads come from: scheme, host and port, no trailing slash (configuration).
  static std::string liveServer();
  static std::string sandboxServer();
  static void setServers(std::string live, std::string sandbox);
  std::string getServerUrl() const;

  void willMoveToSuperview(const std::shared_ptr<platform::View>& newSuperview) override;
  // A banner the host takes out of the window, moves or hides while its ad is expanded ends
  // the expansion as a close does, and stays where the host put it.
  void didMoveToSuperview() override;
  void setHidden(bool hidden) override;
  void touchesBeganWithEvent(const platform::TouchSet& touches, const platform::Event& event) override;
  void touchesEndedWithEvent(const platform::TouchSet& touches, const platform::Event& event) override;
  void touchesCancelledWithEvent(const platform::TouchSet& touches, const platform::Event& event) override;
  // Handlers for full-screen media, registered by no one here: while the ad is expanded, media
  // entering full screen hides the ad and its blocking view, and leaving it shows them again.
  void mediaDidEnterFullScreen(const platform::Notification& notification);
  void mediaDidExitFullScreen(const platform::Notification& notification);

  // ---- for tests ----
  const std::shared_ptr<platform::WebView>& webView1ForTesting() const;
  const std::shared_ptr<platform::WebView>& webView2ForTesting() const;
  const std::shared_ptr<platform::View>& hideWebViewForTesting() const { return hideWebView_; }
  bool isRefreshTimerRunningForTesting() const { return adRefreshTimer_ != nullptr; }
  bool isTouchedDownOnAdForTesting() const { return touchedDownOnAd_; }
  std::shared_ptr<NBEmbeddedWebViewController> browserForTesting() const { return nbEmbedWebViewController_; }
  void setTouchedDownOnAdForTesting(bool touched) { touchedDownOnAd_ = touched; }
  // 0 loading, 1 default, 2 resized, 4 hidden, 5 expanded.
  int currentStateForTesting() const { return currentState_; }
  const std::shared_ptr<platform::Button>& adCloseButtonForTesting() const { return adCloseButton_; }
  const std::shared_ptr<platform::View>& blockingViewForTesting() const { return blockingView_; }
  // Sends one of the four reports of the click and presentation side.
  void notifyForTesting(NBAdDelegate::Message message);

  NBAdView(platform::Passkey<NBAdView>, const platform::Rect& frame);

 private:
  class Listener;
  friend class Listener;

  void initializeWithFrame(const platform::Rect& frame, const std::string& appId, int adUnit,
                           const std::shared_ptr<platform::ViewController>& root, int interval);
  void getAdRequest(const std::shared_ptr<NBAdRequest>& request);
  void refreshAd();
  void invokeAdRefreshTimer();
  void invalidateAdRefreshTimer();
  bool isAdRequestValidNow() const;
  std::optional<std::string> areFieldsValid() const;
  void nbAdRequestFinished(const platform::Bytes& data);
  void nbAdRequestFailed(const platform::Error& error);
  void failLater(const platform::Error& error);
  void loadAdHtmlString(bool intoWebView1);
  void updateAdUnit();
  void flipWebViews();
  std::string applyStylingText(const std::string& markup) const;
  void loadAdHtmlAfterCustomization();
  void checkAdUnitLoadComplete();
  std::function<void(platform::Timer&)> refreshOnNextTurn();
  void invalidateAdFailedTimer();
  void performErrorCallBackWithMsgErrorCode(const std::string& message, long code);
  void performAdSuccessNotification();
  void performAdFailedNotification(const platform::Error& error);
  void performAdClickNotification();
  void performAdWillDismissNotification();
  void performAdDidDismissNotification();
  void performAppWillLeaveNotification();
  template <class F>
  void tellDelegate(unsigned message, const char* selector, F&& call);
  void webViewDidStartLoad(const std::shared_ptr<platform::WebView>& webView);
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView);
  // Swaps the loaded ad in and reports it.
  void showLoadedAd();
  // The ad that loaded while the shown one was expanded comes on once the close has ended.
  void showWaitingAdLater();
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView, const platform::Error& error);
  bool shouldStartLoad(const std::shared_ptr<platform::WebView>& webView, const std::string& url);
  bool touchInside(const platform::TouchSet& touches) const;
  void adClicked();
  void adClickRequestFinishedWithUrlNewAdActionType(const std::optional<std::string>& url,
                                                    const std::optional<std::string>& actionType);
  void adClickRequestFailed();
  static void openOutside(const std::string& url);
  void presentClickBrowser(std::string url);
  void endWaitingClick();
  std::shared_ptr<platform::ViewController> presenter() const;
  // False when no browser could be presented.
  bool showEmbedWebViewWithUrl(const std::optional<std::string>& url);
  // Whether the browser takes `url` at all (logged when not).
  static bool browserTakes(const std::optional<std::string>& url);
  // Whether the browser could be shown for `url` now (a web address, and no screen up).
  bool mayPresentBrowserWithUrl(const std::optional<std::string>& url) const;
  void webviewLinkWasClicked(const std::optional<std::string>& url);
  void adScreenWillDismiss();
  void adScreenDidDismiss();
  static void openReferralURL(const std::string& url, bool followToTheEnd);
  void appActiveNotificationReceived();
  void appInActiveNotificationReceived();
  void keyboardWillShow();
  void keyboardWillHide();
  // A click under way (not the keyboard's hold), the browser the host was told of, or an
  // expanded ad: the refresh stays stopped until it ends.
  bool isClickOrScreenUp() const;
  bool isClickUnderWay() const;
  // touchedDownOnAd_ for a click or an expansion the user started.
  void startClick();

  // Presentation, expansion, resize and orientation of rich-media ads.
  std::string runScript(const std::shared_ptr<platform::WebView>& webView, const std::string& script);
  void fireErrorEvent(const std::shared_ptr<platform::WebView>& webView, const char* message, const char* action);
  void showAd(const std::shared_ptr<platform::WebView>& webView);
  void hideAd(const std::shared_ptr<platform::WebView>& webView);
  void closeAd(const std::shared_ptr<platform::WebView>& webView);
  void closeAd();
  void collapse(const std::shared_ptr<platform::WebView>& webView);
  void expandToWithURLInWebView(const platform::Rect& rect, const std::shared_ptr<platform::WebView>& webView);
  void expandFrameEndingFrameOrientation(const std::shared_ptr<platform::WebView>& webView,
                                         const platform::Rect& ending, int orientation);
  // Where an ad standing at `from` (in the key window) expands to, in whole points: the size of
  // `ending`, placed by the orientation's rules and kept whole inside the window.
  platform::Rect placedExpandedFrame(const platform::Rect& from, const platform::Rect& ending, int orientation) const;
  void resizeToWidthHeightInWebView(float width, float height, const std::shared_ptr<platform::WebView>& webView);
  platform::Rect getAdFrameInWindowCoordinates() const;
  platform::Rect rectAccordingToOrientation(const platform::Rect& rect) const;
  platform::Rect convertedRectAccordingToOrientation(const platform::Rect& rect) const;
  static platform::Rect webFrameAccordingToOrientation(const platform::Rect& rect);
  static int statusBarSizeAccordingToOrientation(const platform::Size& size, int orientation);
  static int currentInterfaceOrientation();
  void rotateExpandedWindowsToOrientation(int orientation);
  void rotateExpandedWindowsToCurrentOrientation();
  void animationDidStopFinishedContext(const std::string& animationID, bool finished, void* context);
  std::shared_ptr<platform::View> formerSuperview() const;

  // Composers and alerts the ad's page may ask for.
  // `to` "" names no recipient.
  void sendEMailTo(const std::string& to, const std::optional<std::string>& subject,
                   const std::optional<std::string>& body, bool isHTML);
  void sendSMSToWithBody(const std::optional<std::string>& to, const std::optional<std::string>& body);
  // A composer that shows the expanded ad again once it has gone, however it goes.
  template <class Composer>
  std::shared_ptr<Composer> makeComposer();
  void presentComposer(const std::shared_ptr<platform::ViewController>& composer);
  void showAlertWithMsg(const std::string& message);
  void setExpandedViewsHidden(bool hidden);

  NBWebView& loadingWebView() const;
  // The holder of the ad on screen, and the holder of `webView` (one of the two).
  NBWebView& onScreenHolder() const;
  NBWebView& holderOf(const std::shared_ptr<platform::WebView>& webView) const;
  std::shared_ptr<platform::WebView> onScreenWebView() const;
  void resetRequest();

  std::weak_ptr<NBAdDelegate> delegate_;
  std::weak_ptr<platform::ViewController> rootViewController_;
  std::shared_ptr<Listener> listener_;
  std::shared_ptr<NBAdUnit> currentAdUnit_;
  // The ad whose markup is loading, until its page has loaded.
  std::shared_ptr<NBAdUnit> loadingAdUnit_;
  std::unique_ptr<NBWebView> nbWebView1_, nbWebView2_;
  // The web view that was last given markup: the only one whose loads are counted.
  std::shared_ptr<platform::WebView> markupWebView_;
  std::shared_ptr<NBHttpAdRequest> adRequest_;
  std::shared_ptr<NBHttpClickRequest> clickRequest_;
  // The ad whose click is under way.
  std::shared_ptr<NBAdUnit> clickedAdUnit_;
  std::optional<std::string> searchString_;
  std::shared_ptr<NBEmbeddedWebViewController> nbEmbedWebViewController_;
  bool shouldLoadWebView1_ = true;
  bool touchedDownOnAd_ = false;
  // touchedDownOnAd_ was set by the keyboard coming up over a search ad, not by a click.
  bool keyboardHoldsClicks_ = false;
  bool isAdRequestDone_ = true;
  bool ismraidAd_ = false;
  bool isLoadingAd_ = false;
  bool shouldNotifyDelegate_ = false;
  // The new ad's page has loaded while the ad on screen was expanded.
  bool loadedAdWaiting_ = false;
  // The host was told a screen (the browser) is coming: it hears when it goes.
  bool screenAnnounced_ = false;
  // A click answered while another screen was up: its browser waits for the screen to end.
  std::optional<std::string> waitingClickUrl_;
  std::shared_ptr<platform::Timer> waitingClickTimer_;
  std::shared_ptr<platform::Timer> adUnitFailLoadTimer_;
  std::shared_ptr<NBAdRequest> nbAdRequest_;
  std::shared_ptr<NBUserInfo> nbUserInfo_;
  std::string nbAppId_;
  int nbAdUnit_ = kDefaultAdUnit;
  std::shared_ptr<platform::View> hideWebView_;
  int refreshInterval_ = -1;
  std::shared_ptr<platform::Timer> adRefreshTimer_;
  std::optional<std::string> topColor_, bottomColor_, textColor_;
  platform::Rect originalFrame_;
  double lastAdTimeStamp_ = 0;
  int animationType_ = 1;
  int webViewLoadCount_ = 0;
  std::unique_ptr<NBJSBridge> jsBridge_;
  int currentState_ = 0;
  bool observing_ = false;
  // Set while the expansion ends, so that the moves it makes itself are not the host's.
  bool collapsing_ = false;
  // The host moved the banner out of the expansion: the close leaves it where it is.
  bool hostTookOut_ = false;
  bool hostHidden_ = false;
  // While expanded: keeps the expanded ad and its close button in front of whatever the host's
  // screens leave on top of them once they go.
  std::shared_ptr<platform::Timer> frontTimer_;
  void keepExpandedInFront();
  std::shared_ptr<NBHttpAdRequest> deviceUploadRequest_;
  platform::Size maxSize_;
  // Expansion bookkeeping.
  std::shared_ptr<platform::Button> adCloseButton_;
  long originalTag_ = 0, parentTag_ = 0;
  std::weak_ptr<platform::View> parent_;
  std::shared_ptr<platform::View> blockingView_;
  platform::AffineTransform originalTransform_;
  platform::Rect expandedFrame_, translatedFrame_, defaultFrame_;
  std::shared_ptr<platform::ScrollView> scrollView_;
  // Bumped when the request under way is dropped: delayed reports of an older one are void.
  unsigned generation_ = 0;
};

}  // namespace nubira
