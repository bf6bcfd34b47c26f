#pragma once
// The banner view's agent for what its ad pages ask and for every link they follow. It
// recognises the "pelora://" commands of the rich-media page's pelora_bridge, expands the
// ad (or a landing page) over the master view with a close button and closes it again,
// hides and shows the banner, plays videos full screen, asks before leaving the application
// for the phone, SMS, map or store, and keeps the page's window.ormmaview told of its state,
// size, position and orientation.
//
// It keeps the slot's banner state, which the banner view consults before loading or taking
// a new ad: 0 unknown, 1 default, 2 expanded, 3 resized, 4 hidden, 5 loading video,
// 6 playing video. No script is injected in state 0.
//
// Ownership: made with create(), owned by its banner view; the banner view and the ad web
// view are not retained. Timers, animations and observers hold it weakly. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/alert.h"
#include "platform/controls.h"
#include "platform/geometry.h"
#include "platform/media.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"
#include "platform/view.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace pelora {

class PELOBannerView;

class ORMMAConnector : public std::enable_shared_from_this<ORMMAConnector>, public platform::AlertViewDelegate {
 public:
  enum PELOBannerState : int {
    kUnknown = 0, kDefault = 1, kExpanded = 2, kResized = 3, kHidden = 4, kLoadingVideo = 5, kPlayingVideo = 6,
  };

  // Where links leave for the map and the store.
  static constexpr const char* kMapPrefix = "http://maps.platform.example/maps";
  static constexpr const char* kStorePrefix = "http://apps.platform.example/";
  static constexpr const char* kMusicStorePrefix = "http://music.platform.example/";
  static constexpr const char* kStoreSchemePrefix = "itms://music.platform.example/";

  // Observes the device's orientation from the start.
  static std::shared_ptr<ORMMAConnector> create();
  explicit ORMMAConnector(platform::Passkey<ORMMAConnector>);
  ~ORMMAConnector() override;

  // nullopt for a value outside the states.
  static std::optional<std::string> bannerStateString(int state);

  int bannerState() const { return bannerState_; }
  // The state the ad is in under a hide: an ad its page hid while expanded is still out.
  int stateUnderHide() const { return bannerState_ == kHidden ? preHiddenState_ : bannerState_; }
  void setBannerState(int state) { bannerState_ = state; }
  bool isORMMA() const { return isORMMA_; }
  void setIsORMMA(bool v) { isORMMA_ = v; }
  std::shared_ptr<PELOBannerView> bannerView() const { return bannerView_.lock(); }
  void setBannerView(std::weak_ptr<PELOBannerView> view) { bannerView_ = std::move(view); }
  std::shared_ptr<platform::WebView> ormmaView() const { return ormmaView_.lock(); }
  // A new page: not known to be rich media, state unknown.
  void setOrmmaView(std::weak_ptr<platform::WebView> view);
  // The user's own touch has just opened the landing page (expanded): one step out of the
  // application on its way (a click address redirecting to the store or a phone number)
  // is still the user's act and goes through without another touch.
  void userOpenedLandingPage();

  // Whether the ad web view may load `url` itself. What reaches beyond the ad (expanding,
  // opening, leaving, dialing, a video) happens only on the user's touch on the ad's page
  // (one act per touch); without it the command is refused and logged once per page.
  bool parseORMMAResponse(const std::string& url);
  // The page has loaded: the slot is in its default state; a rich-media page hears its
  // geometry.
  void webViewFinishedLoad(bool richMedia);
  void injectJavaScript(const std::string& script);

  void expandViewWithAnimation(bool animated);
  // `rect` (master view coordinates) is first cut and moved into screenArea(); the close
  // button of a page that is not an ORMMA ad lies inside it too.
  void expandViewWithRectWithAnimation(const platform::Rect& rect, bool animated);
  void closeView();
  void closeViewWithAnimation(bool animated);

  // Keeps `url` until the user answers. A call always asks, and so does a message; any other
  // link asks only when the alert switch is on, else it is announced and opened a second later.
  void showAlertViewWithTitleWithUrl(const std::string& title, const std::string& url);
  void alertViewClickedButtonAtIndex(platform::AlertView& alert, long index) override;

  void playMovieAtURL(const std::string& url, const std::weak_ptr<platform::Window>& seen = {});
  void stopVideoPlayback();

  // True for 90 and 270 (and every angle 180 apart from them).
  static bool isLandScape(int angle);
  platform::Rect masterRect();
  // The part of masterRect() that the master view's window shows (masterRect() itself for a
  // master view outside a window).
  platform::Rect screenArea();
  void findMasterView();
  // The landing page, its close button and the video stay over the screen the host shows the
  // slot in, wherever it moves the slot.
  // `window`: the window the slot left, whose top-level view takes them when the slot is off
  // every window.
  void followMasterView(const std::shared_ptr<platform::Window>& window = nullptr);
  // Brings what this connector has up over `master` in front of what lies there.
  void bringWhatIsUpToFront(const std::shared_ptr<platform::View>& master);
  // The host takes the slot's screen off `window` and may show another in the same turn.
  void slotLeavesWindow(const std::shared_ptr<platform::Window>& window);
  static bool runningOnPad();
  // While something is up over the master view, a hidden view of the client's lies in it: the
  // host may take that screen off the window with the slot already elsewhere, and what is up
  // follows then too.
  void watchMasterView(const std::shared_ptr<platform::View>& master);
  void stopWatchingWhenNothingIsUp();
  // The ad's page when it lies over the application rather than in the banner; else null.
  std::shared_ptr<platform::WebView> pageUp();

  // ---- For tests ----
  const std::shared_ptr<platform::Button>& closeButtonForTesting() const { return closeButton_; }
  std::shared_ptr<platform::View> masterViewForTesting() const { return masterView_.lock(); }
  const std::shared_ptr<platform::MoviePlayerController>& moviePlayerForTesting() const { return moviePlayer_; }
  const std::optional<std::string>& externalRequestURLForTesting() const { return externalRequestURL_; }
  int lastOrientationForTesting() const { return lastOrientation_; }

 private:
  // Uses up the user's touch on the ad's page for `act`; false (and the refusal logged once
  // per page and act) when there is none.
  bool userAllows(const char* act, const std::string& url);
  void openURL(const std::string& rest);
  void expandFinished();
  void closeViewFinished();
  void closeFinished();
  void openWebStore(const std::shared_ptr<platform::AlertView>& alert);
  void moviePlayerLoadStateChanged();
  void myMovieFinishedCallback();
  void movieOutAnimationFinished();
  void orientationChanged();
  std::string stateChangeScript(int state) const;
  // The ad web view's size as whole numbers.
  platform::Size webViewSize() const;

  int bannerState_ = kUnknown;
  bool isORMMA_ = false;
  std::weak_ptr<PELOBannerView> bannerView_;
  std::weak_ptr<platform::WebView> ormmaView_;
  platform::Rect defaultRect_;
  std::shared_ptr<platform::Button> closeButton_;
  int preHiddenState_ = kUnknown;
  int lastOrientation_ = 0;
  std::weak_ptr<platform::View> masterView_;
  class MasterWatch;
  std::shared_ptr<MasterWatch> watch_;
  std::shared_ptr<platform::MoviePlayerController> moviePlayer_;
  std::optional<std::string> externalRequestURL_;
  // The link leaving the application was followed from a page open over it, which closes when
  // the user leaves or declines; a page opened after it stays.
  bool leaveClosesPage_ = false;
  // The alert waiting for its delayed open; the platform keeps it shown until then.
  std::shared_ptr<platform::AlertView> pendingAlert_;
  bool landingPageFromTouch_ = false;
  // A link of the ad opened a landing page over it: a page without the ad's bridge, closed by
  // the client's button, whatever the ad was.
  bool landingPage_ = false;
  bool closing_ = false;
  bool ownsClose() const { return !isORMMA_ || landingPage_; }
  void leaveVideoState();
  void addCloseButton(platform::View& master, const platform::Rect& rect, const platform::Rect& area);
  bool statusBarHidden_ = false;
  int statusBarStyle_ = 0;
};

}  // namespace pelora
