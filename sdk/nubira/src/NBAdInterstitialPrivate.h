#pragma once
// The full-screen controller behind an interstitial: one ad web view in a scroll view that
// fills the screen, a close button in the top-left corner, the routing of every URL the page
// tries to load, the page's "mraid://" commands, and the reports of load and dismissal to
// its owner. Main thread only.
// Ownership: made by create() in a shared_ptr; the delegate is not retained. The owner makes
// one per ad reply.
#include <memory>
#include <optional>
#include <string>

#include "JSBridgeDelegate.h"
#include "NBEmbeddedWebViewController.h"
#include "platform/composers.h"
#include "platform/error.h"
#include "platform/passkey.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"

namespace platform {
class Button;
class Control;
class ScrollView;
}  // namespace platform

namespace nubira {

class NBAdUnit;
class NBJSBridge;
class NBSDKUtil;
class NBWebView;

// What the controller tells its owner.
class NBAdInterstitialPrivateDelegate {
 public:
  virtual ~NBAdInterstitialPrivateDelegate() = default;
  virtual void interstitialFinishedLoading() = 0;
  virtual void interstitialFailedToLoadWithError(const platform::Error& error) = 0;
  virtual void interstitialWillDismiss() = 0;
  virtual void interstitialDidDismiss() = 0;
  // Just before a URL the user tapped is handed to the system.
  virtual void interstitialWillLeaveApp() = 0;
};

class NBAdInterstitialPrivate : public platform::ViewController,
                                public platform::WebViewDelegate,
                                public JSBridgeDelegate,
                                public NBAdScreenDismissDelegate,
                                public platform::MailComposeDelegate,
                                public platform::MessageComposeDelegate {
 public:
  static std::shared_ptr<NBAdInterstitialPrivate> create();
  ~NBAdInterstitialPrivate() override;

  void setDelegate(std::weak_ptr<NBAdInterstitialPrivateDelegate> delegate) { delegate_ = std::move(delegate); }

  // The ad's markup, always with the MRAID scripts in front of it.
  void loadHtmlString(const std::string& markup);
  void stopLoading();
  // Marks the unit as an interstitial's; the controller does not keep it.
  void setAdUnit(NBAdUnit& unit);
  // The ad is about to be shown: the page hears that it is viewable, its state and ready.
  void ready();
  // Closes the ad: the owner hears of it, the controller dismisses itself.
  void closeAd();
  void hideAd();

  // --- View controller ----------------------------------------------------------------------
  void viewWillAppear(bool animated) override;
  // However the ad goes (its close, or its presenter dismissing it), the owner hears
  // interstitialWillDismiss once before interstitialDidDismiss.
  void viewWillDisappear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  // The owner let go of the ad on screen: when it goes, the controller shows the status bar
  // the ad hid.
  void setShowsStatusBarWhenGone(bool shows) { showsStatusBarWhenGone_ = shows; }
  bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation orientation) override;

  // --- Web view -----------------------------------------------------------------------------
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const WebViewPtr& webView,
                                                                      const platform::URLRequest& request,
                                                                      platform::WebViewNavigationType type) override;
  void webViewDidStartLoad(const WebViewPtr& webView) override;
  void webViewDidFinishLoad(const WebViewPtr& webView) override;
  void webViewDidFailLoadWithError(const WebViewPtr& webView, const platform::Error& error) override;

  // --- Page commands ------------------------------------------------------------------------
  WebViewPtr webView() override;
  void adIsMRAIDEnabledForWebView(const WebViewPtr& webView) override;
  std::string usingWebViewExecuteJavascript(const WebViewPtr& webView, const std::string& script) override;
  void showAd(const WebViewPtr& webView) override;
  void hideAd(const WebViewPtr&) override {}
  void closeAd(const WebViewPtr&) override { closeAd(); }
  void sendEMailToWithSubjectWithBodyIsHTML(const std::string& to, const std::string& subject,
                                            const std::string& body, bool isHTML) override;
  void sendSMSToWithBody(const std::string& to, const std::string& body) override;
  void placeCallTo(const std::string& number) override;
  void sendBeaconPingToUrl(const std::optional<std::string>& url) override;
  void openBrowserWithUrlStringEnableBackEnableForwardEnableRefresh(const WebViewPtr& webView,
                                                                     const std::optional<std::string>& url, bool back,
                                                                     bool forward, bool refresh) override;
  std::optional<platform::Rect> getAdFrameInWindowCoordinates() override;
  std::optional<platform::Rect> rectAccordingToOrientation(const platform::Rect& rect) override;

  // --- In-app browser and composers ---------------------------------------------------------
  void adScreenWillDismiss() override {}
  void adScreenDidDismiss() override;
  void mailComposeControllerDidFinishWithResultError(platform::MailComposeViewController& controller,
                                                     platform::MailComposeResult result,
                                                     const std::optional<platform::Error>& error) override;
  void messageComposeViewControllerDidFinishWithResult(platform::MessageComposeViewController& controller,
                                                       platform::MessageComposeResult result) override;

  void showAlertWithMsg(const std::string& message);
  void showEmbedWebViewWithUrl(const std::string& url);
  platform::InterfaceOrientation currentInterfaceOrientation() const;
  // Turns the controller's view upright for `orientation` (called by no one here).
  void rotateExpandedWindowsToOrientation(platform::InterfaceOrientation orientation);
  void alwaysSetFrame(const platform::Rect&) {}

  const std::shared_ptr<platform::ScrollView>& scrollView() const { return scrollView_; }
  const std::shared_ptr<platform::Button>& closeButton() const { return closeButton_; }
  bool isLoadingAd() const { return isLoadingAd_; }
  bool ismraidAd() const { return ismraidAd_; }
  bool isEmbeddedControllerShowing() const { return isEmbeddedControllerShowing_; }
  const std::shared_ptr<NBEmbeddedWebViewController>& nbEmbedWebViewController() const {
    return nbEmbedWebViewController_;
  }

  explicit NBAdInterstitialPrivate(platform::Passkey<NBAdInterstitialPrivate>);

 private:
  void build();
  void closeButtonTapped(platform::Control&) { closeAd(); }
  void restoreScreenAfterFormNavigation();
  void routeTappedURL(const std::string& url, const std::string& scheme);
  void openReferralURL(const std::string& url);
  // Tells the owner the application is left, then hands `url` to the system, when the
  // system can open it.
  void leaveApplicationWithURL(const std::string& url);
  bool isShown() const;
  // Leaving the screen for good, not covered by its own browser or composer.
  bool isGoing() const;
  // Tells the owner the ad is going, once.
  void announceDismissal();
  // Whether the page may act for the user now (shown, touched: one act per touch), and also
  // present a screen (none up yet). Refusals are logged once per page.
  bool mayActForPage(const char* what);
  bool mayPresentScreen(const char* what);
  void presentComposer(const std::shared_ptr<platform::ViewController>& composer);
  std::shared_ptr<NBAdInterstitialPrivate> self();

  std::shared_ptr<platform::ScrollView> scrollView_;
  std::shared_ptr<platform::Button> closeButton_;
  bool isEmbeddedControllerShowing_ = false;
  std::unique_ptr<NBJSBridge> jsBridge_;
  std::shared_ptr<NBSDKUtil> util_;
  std::weak_ptr<NBAdInterstitialPrivateDelegate> delegate_;
  std::unique_ptr<NBWebView> nbWebView_;
  bool isLoadingAd_ = false;
  int webViewLoadCount_ = 0;
  // A form navigation showed the status bar and moved the close button: put back at its end.
  bool formChangedScreen_ = false;
  bool dismissalAnnounced_ = false;
  bool showsStatusBarWhenGone_ = false;
  bool ismraidAd_ = false;
  std::shared_ptr<NBEmbeddedWebViewController> nbEmbedWebViewController_;
};

}  // namespace nubira
