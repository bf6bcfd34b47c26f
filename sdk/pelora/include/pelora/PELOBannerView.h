#pragma once
// The view a host places on screen to show Pelora ads. It asks its downloader for ads,
// builds each one into a hidden web view by its type, swaps it in once the page has loaded
// (with a transition unless animationType is 5), and tells its ad listeners. It can reload
// itself on a timer (off until setAutoReloadEnabled(true); at least every 30 s).
//
// A banner whose status is ERROR hides the view. An ad page that fails to load turns the
// banner into an ERROR banner (code 4) and keeps the ad that was showing; a video ad whose
// media file or click address is not an http(s) address becomes an ERROR banner (code 4)
// before anything of it is built. An ad page's commands count as the page stood when it
// gave them: those it queued while not on screen are dropped. Until the swap the ad on
// screen is the one that speaks for the slot (a tap on it opens its landing page); an ad
// arriving while another is built replaces the one being built.
//
// Ownership: made by the create… factories; owns its downloader, timer and ad views.
// Listeners and the delegate are not retained; a listener may release the view inside its
// callback. Main thread only.
#include <memory>
#include <optional>
#include <vector>

#include "pelora/PELOAdDownloaderProtocol.h"
#include "pelora/PELOAdListenerProtocol.h"
#include "pelora/PELOAdSettings.h"
#include "platform/animation.h"
#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/media.h"
#include "platform/passkey.h"
#include "platform/view.h"
#include "platform/web_view.h"

namespace pelora {

class ORMMAConnector;
class PELOAutoReloadTimer;

// Both optional.
class PELOBannerViewDelegate {
 public:
  virtual ~PELOBannerViewDelegate() = default;
  virtual void landingPageWillBeDisplayed() {}
  virtual void landingPageHasBeenClosed() {}
};

// The banner view answers the same calls as a downloader, and is the sender its listeners
// hear.
class PELOBannerView : public platform::View, public PELOAdDownloaderProtocol {
 public:
  // Dimension 1 MEDRECT 300 x 250, 2 LEADER 728 x 90, 3 SKY 120 x 600, anything else
  // 320 x 50; at the origin.
  static std::shared_ptr<PELOBannerView> create();
  static std::shared_ptr<PELOBannerView> createWithDimension(int dimension);
  static std::shared_ptr<PELOBannerView> createWithFrame(const platform::Rect& frame);
  PELOBannerView(platform::Passkey<PELOBannerView>, const platform::Rect& frame);
  ~PELOBannerView() override;

  // Nothing while an ad is being built, or while an ad is expanded, hidden or playing.
  void asyncLoadNewBanner() override;
  void addAdListener(const std::weak_ptr<PELOAdListenerProtocol>& listener) override;
  void removeAdListener(const std::shared_ptr<PELOAdListenerProtocol>& listener) override;

  std::shared_ptr<PELOAdSettings> adSettings() const override;
  void setAdSettings(std::shared_ptr<PELOAdSettings> settings) override;
  bool isLocationUpdateEnabled() const override;
  void setLocationUpdateEnabled(bool enabled) override;

  bool autoReloadEnabled() const override;
  void setAutoReloadEnabled(bool enabled) override;
  int autoReloadFrequency() const override;
  void setAutoReloadFrequency(int seconds) override;
  void pauseAutomaticReload();
  void resumeAutomaticReload();
  // The ad on screen speaks for the slot until the next one is swapped in. A next ad that
  // has loaded while the one on screen is over the application (expanded, or playing its
  // video) waits; the connector calls this once the slot is back in its place.
  void swapInWaitingAd();
  // A view that carries only this banner (the toast). It is the slot, not the application,
  // and hides while a landing page is open, so no landing page goes inside it.
  std::shared_ptr<platform::View> wrappingView() const { return wrappingView_.lock(); }
  void setWrappingView(std::weak_ptr<platform::View> view) { wrappingView_ = std::move(view); }

  // The colour written into the ad pages (white unless set); the view's own colour is set
  // through platform::View.
  const platform::Color& backgroundColor() const { return pageColor_; }
  void setBackgroundColor(const platform::Color& color) { pageColor_ = color; }
  std::shared_ptr<PELOBannerViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<PELOBannerViewDelegate> delegate) { delegate_ = std::move(delegate); }
  // 0 random, 1 from the right, 2 from the top, 3 from the bottom.
  int animationDirection() const { return animationDirection_; }
  void setAnimationDirection(int v) { animationDirection_ = v; }
  // 0 random, 1 push, 2 reveal, 3 fade, 5 none.
  int animationType() const { return animationType_; }
  void setAnimationType(int v) { animationType_ = v; }

  // Six upper-case hex digits of the colour's red, green and blue (a grey's one component
  // for all three; "000000" for a colour of any other space).
  static std::string hexStringFromColor(const platform::Color& color);
  // A video ad: plays the movie in the view (the view takes the movie's height for its
  // width); the auto reload pauses until it ends.
  void playMovieAtURL(const std::string& url);
  void stopVideoPlayback();

  // A video ad takes every touch inside it; lifting the finger opens its click target as
  // an expanded landing page and stops the movie.
  std::shared_ptr<platform::View> hitTestWithEvent(const platform::Point& p, const platform::Event* event) override;
  void touchesEndedWithEvent(const platform::TouchSet& touches, const platform::Event& event) override;
  // The host showed the slot on another screen: what the client has up over the application
  // goes with it.
  void willMoveToWindow(const std::shared_ptr<platform::Window>& newWindow) override;
  void didMoveToWindow() override;

  // The transition a swap adds; type and direction 0 are chosen at random.
  std::shared_ptr<platform::Transition> createAnimationWithDirection(int type, int direction) const;

  // ---- For tests ----
  std::shared_ptr<platform::View> currentViewForTesting() const { return currentView_; }
  std::shared_ptr<platform::View> lastViewForTesting() const { return lastView_; }
  bool isLoadingForTesting() const { return loading_; }
  const std::shared_ptr<PELOAdDownloaderProtocol>& downloaderForTesting() const { return downloader_; }
  const std::shared_ptr<ORMMAConnector>& ormmaConnectorForTesting() const { return ormmaConnector_; }
  const std::shared_ptr<PELOAutoReloadTimer>& reloadTimerForTesting() const { return reloadTimer_; }
  std::shared_ptr<PELOReceivedBannerProtocol> lastReceivedBannerForTesting() const { return lastReceivedBanner_; }
  const std::shared_ptr<platform::MoviePlayerController>& moviePlayerForTesting() const { return moviePlayer_; }
  const std::shared_ptr<platform::ActivityIndicatorView>& activityIndicatorForTesting() const { return activityIndicator_; }
  bool isPlayingVideoForTesting() const { return playingVideo_; }

 private:
  // The objects that hear the downloader and the ad web views on the view's behalf.
  struct DownloaderListener;
  struct WebViewListener;

  static std::shared_ptr<PELOBannerView> make(const platform::Rect& frame);
  void onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOReceivedBannerProtocol>& banner);
  void switchViews();
  // The page built has loaded: it becomes the connector's page and is swapped in.
  void swapInBuiltAd();
  // Whether the ad on screen is over the application, so that a next ad must wait.
  bool adOnScreenIsOut() const;
  // The page being built goes unseen (a newer ad replaces it, or it failed).
  void dropBuildingPage();
  void notifyListeners(const std::shared_ptr<PELOReceivedBannerProtocol>& banner);
  std::shared_ptr<platform::View> createImageView(const PELOReceivedBannerProtocol& banner);
  std::shared_ptr<platform::View> createTextView(const PELOReceivedBannerProtocol& banner);
  std::shared_ptr<platform::View> createRichMediaView(const PELOReceivedBannerProtocol& banner);
  // A hidden web view of the banner's size loading `html`; `detectData` false turns the
  // platform's data detection off.
  std::shared_ptr<platform::WebView> adWebView(const std::string& html, bool detectData);
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView);
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView, const platform::Error& error);
  bool webViewShouldStartLoadWithRequest(const std::shared_ptr<platform::WebView>& webView,
                                         const platform::URLRequest& request);
  bool showsVideoAd() const;
  void moviePlayerLoadStateChanged();
  void myMovieFinishedCallback();

  platform::Color pageColor_ = platform::Color::whiteColor();
  std::weak_ptr<PELOBannerViewDelegate> delegate_;
  int animationDirection_ = 0;
  int animationType_ = 0;
  std::shared_ptr<PELOAutoReloadTimer> reloadTimer_;
  std::vector<std::weak_ptr<PELOAdListenerProtocol>> adListeners_;
  std::shared_ptr<PELOAdDownloaderProtocol> downloader_;
  std::shared_ptr<ORMMAConnector> ormmaConnector_;
  std::shared_ptr<PELOReceivedBannerProtocol> lastReceivedBanner_;
  bool loading_ = false;
  // The page being built said it is an ORMMA ad; the connector hears it at the swap.
  bool buildingPageIsORMMA_ = false;
  // The page built has loaded and waits for the ad on screen to come back.
  bool swapWaits_ = false;
  std::weak_ptr<platform::View> wrappingView_;
  std::shared_ptr<platform::View> lastView_;
  std::shared_ptr<platform::View> currentView_;
  std::shared_ptr<DownloaderListener> downloaderListener_;
  std::shared_ptr<WebViewListener> webViewListener_;
  std::shared_ptr<platform::MoviePlayerController> moviePlayer_;
  bool playingVideo_ = false;
  bool loadingVideo_ = false;
  double heightBeforeVideo_ = 0;
  void endReplacedVideo();
  std::shared_ptr<platform::ActivityIndicatorView> activityIndicator_;
};

}  // namespace pelora
