#include "pelora/PELOBannerView.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "ORMMAConnector.h"
#include "PELOAdPageTemplates.h"
#include "PELOAutoReloadTimer.h"
#include "PELOLogger.h"
#include "PELOReceivedBanner.h"
#include "pelora/PELODefaultFactory.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/format.h"
#include "platform/notification_center.h"
#include "platform/random.h"
#include "platform/run_loop.h"
#include "platform/url.h"

namespace pelora {
namespace {

constexpr unsigned kFlexibleWidthAndHeight = 18;
constexpr int kNoTransition = 5;

platform::Rect frameForDimension(int dimension) {
  switch (dimension) {
    case kPELOAdDimensionMedRect: return platform::Rect(0, 0, 300, 250);
    case kPELOAdDimensionLeader: return platform::Rect(0, 0, 728, 90);
    case kPELOAdDimensionSky: return platform::Rect(0, 0, 120, 600);
    default: return platform::Rect(0, 0, 320, 50);
  }
}

// A banner the view can mark as failed: its own when the downloader made it, else a copy.
std::shared_ptr<PELOReceivedBanner> writableBanner(const std::shared_ptr<PELOReceivedBannerProtocol>& banner) {
  if (auto own = std::dynamic_pointer_cast<PELOReceivedBanner>(banner)) return own;
  auto copy = std::make_shared<PELOReceivedBanner>();
  if (!banner) return copy;
  copy->setStatus(banner->status());
  copy->setErrorCode(banner->errorCode());
  copy->setErrorMessage(banner->errorMessage());
  copy->setImageUrl(banner->imageUrl());
  copy->setAdText(banner->adText());
  copy->setMediaFile(banner->mediaFile());
  copy->setBeacons(banner->beacons());
  copy->setClickUrl(banner->clickUrl());
  copy->setRichMediaData(banner->richMediaData());
  copy->setAdType(banner->adType());
  return copy;
}

// An address the player and the landing page may load: http or https with a host.
bool isWebAddress(const std::string& text) {
  auto url = platform::URL::create(text);
  if (!url || !url->scheme() || !url->host() || url->host()->empty()) return false;
  std::string scheme = *url->scheme();
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  return scheme == "http" || scheme == "https";
}

}  // namespace

struct PELOBannerView::DownloaderListener : PELOAdListenerProtocol {
  std::weak_ptr<PELOBannerView> owner;
  void onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOAdDownloaderProtocol>&,
                                     const std::shared_ptr<PELOReceivedBannerProtocol>& banner) override {
    if (auto o = owner.lock()) o->onReceiveAdWithReceivedBanner(banner);
  }
};

struct PELOBannerView::WebViewListener : platform::WebViewDelegate {
  std::weak_ptr<PELOBannerView> owner;
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const std::shared_ptr<platform::WebView>& webView,
                                                                      const platform::URLRequest& request,
                                                                      platform::WebViewNavigationType) override {
    auto o = owner.lock();
    return o ? o->webViewShouldStartLoadWithRequest(webView, request) : false;
  }
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override {
    if (auto o = owner.lock()) o->webViewDidFinishLoad(webView);
  }
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView, const platform::Error& error) override {
    if (auto o = owner.lock()) o->webViewDidFailLoadWithError(webView, error);
  }
};

std::shared_ptr<PELOBannerView> PELOBannerView::create() { return createWithDimension(kPELOAdDimensionXXLarge); }

std::shared_ptr<PELOBannerView> PELOBannerView::createWithDimension(int dimension) {
  auto view = make(frameForDimension(dimension));
  view->adSettings()->setAdDimension(dimension);
  return view;
}

std::shared_ptr<PELOBannerView> PELOBannerView::createWithFrame(const platform::Rect& frame) { return make(frame); }

std::shared_ptr<PELOBannerView> PELOBannerView::make(const platform::Rect& frame) {
  auto view = std::make_shared<PELOBannerView>(platform::Passkey<PELOBannerView>{}, frame);
  view->downloader_ = PELODefaultFactory::sharedFactory()->createPELOAdDownloader();
  view->downloaderListener_ = std::make_shared<DownloaderListener>();
  view->downloaderListener_->owner = view;
  if (view->downloader_) view->downloader_->addAdListener(view->downloaderListener_);
  view->webViewListener_ = std::make_shared<WebViewListener>();
  view->webViewListener_->owner = view;
  std::weak_ptr<PELOBannerView> weak = view;
  view->reloadTimer_ = PELOAutoReloadTimer::createTimerWithTargetWithSelector([weak] {
    if (auto self = weak.lock()) self->asyncLoadNewBanner();
  });
  view->ormmaConnector_ = ORMMAConnector::create();
  view->ormmaConnector_->setBannerView(view);
  return view;
}

PELOBannerView::PELOBannerView(platform::Passkey<PELOBannerView>, const platform::Rect& frame) : platform::View(frame) {}

PELOBannerView::~PELOBannerView() {
  if (downloader_ && downloaderListener_) downloader_->removeAdListener(downloaderListener_);
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  stopVideoPlayback();
}

void PELOBannerView::asyncLoadNewBanner() {
  const int state = ormmaConnector_->bannerState();
  if (loading_ || (state != ORMMAConnector::kUnknown && state != ORMMAConnector::kDefault)) return;
  // Nothing is asked for while the view's own video loads or plays: its end resumes the reload.
  if (loadingVideo_ || playingVideo_) return;
  adSettings()->setBannerWidth(static_cast<int>(frame().size.width));
  adSettings()->setBannerHeight(static_cast<int>(frame().size.height));
  downloader_->asyncLoadNewBanner();
}

void PELOBannerView::addAdListener(const std::weak_ptr<PELOAdListenerProtocol>& listener) {
  auto added = listener.lock();
  if (!added) return;
  for (const auto& l : adListeners_)
    if (l.lock() == added) return;
  adListeners_.push_back(listener);
}

void PELOBannerView::removeAdListener(const std::shared_ptr<PELOAdListenerProtocol>& listener) {
  std::erase_if(adListeners_, [&](const auto& l) { return l.expired() || l.lock() == listener; });
}

std::shared_ptr<PELOAdSettings> PELOBannerView::adSettings() const { return downloader_->adSettings(); }
void PELOBannerView::setAdSettings(std::shared_ptr<PELOAdSettings> settings) { downloader_->setAdSettings(std::move(settings)); }
bool PELOBannerView::isLocationUpdateEnabled() const { return downloader_->isLocationUpdateEnabled(); }
void PELOBannerView::setLocationUpdateEnabled(bool enabled) { downloader_->setLocationUpdateEnabled(enabled); }
bool PELOBannerView::autoReloadEnabled() const { return reloadTimer_->autoReloadEnabled(); }
void PELOBannerView::setAutoReloadEnabled(bool enabled) { reloadTimer_->setAutoReloadEnabled(enabled); }
int PELOBannerView::autoReloadFrequency() const { return reloadTimer_->autoReloadFrequency(); }
void PELOBannerView::setAutoReloadFrequency(int seconds) { reloadTimer_->setAutoReloadFrequency(seconds); }
void PELOBannerView::pauseAutomaticReload() { reloadTimer_->pauseAutoReload(); }
void PELOBannerView::resumeAutomaticReload() { reloadTimer_->resumeAutoReload(); }

void PELOBannerView::onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOReceivedBannerProtocol>& banner) {
  if (!banner || ormmaConnector_->stateUnderHide() == ORMMAConnector::kExpanded) return;
  auto self = sharedAs<PELOBannerView>();
  // The newest answer stands for the slot, an error too: the page still being built of an
  // older one is never swapped in (nor told a second time).
  if (loading_) dropBuildingPage();
  lastReceivedBanner_ = banner;
  // A video ad hands its media file to the player: a file of the phone, inline data or a
  // script there would play what no ad server may reach. Such an ad fails as an error banner
  // does. (Its click address is looked at only when the user taps.)
  if (banner->status() != kPELOBannerStatusError && banner->adType() == kPELOAdTypeVideo &&
      !isWebAddress(banner->mediaFile())) {
    PELOLogger::warn("Refusing a video ad whose media file is not a web address");
    auto failed = writableBanner(banner);
    failed->setStatus(kPELOBannerStatusError);
    failed->setErrorCode(kPELOErrorCodeAdPageFailed);
    failed->setErrorMessage("The video ad's media file must be a web address");
    lastReceivedBanner_ = failed;
  }
  if (lastReceivedBanner_->status() == kPELOBannerStatusError) {
    endReplacedVideo();
    setHidden(true);
    notifyListeners(lastReceivedBanner_);
    return;
  }
  loading_ = true;
  buildingPageIsORMMA_ = false;
  std::shared_ptr<platform::View> built;
  switch (banner->adType()) {
    case kPELOAdTypeImage: built = createImageView(*banner); break;
    case kPELOAdTypeText: built = createTextView(*banner); break;
    case kPELOAdTypeRichMedia: built = createRichMediaView(*banner); break;
    case kPELOAdTypeVideo: playMovieAtURL(banner->mediaFile()); break;
    default: break;
  }
  lastView_ = currentView_;
  currentView_ = built;
  if (built) {
    built->setAutoresizingMask(kFlexibleWidthAndHeight);
    // It stays hidden, and the connector keeps the page on screen, until it has loaded.
    addSubview(built);
  } else {
    switchViews();
  }
}

std::shared_ptr<platform::WebView> PELOBannerView::adWebView(const std::string& html, bool detectData) {
  const platform::Rect f = frame();
  auto webView = platform::WebView::create(platform::Rect(0, 0, f.size.width, f.size.height));
  webView->setDelegate(webViewListener_);
  if (!detectData) webView->setDataDetectorTypes(platform::kDataDetectorTypeNone);
  webView->loadHTMLStringBaseURL(html, std::nullopt);
  webView->setScalesPageToFit(true);
  webView->setHidden(true);
  return webView;
}

std::shared_ptr<platform::View> PELOBannerView::createImageView(const PELOReceivedBannerProtocol& banner) {
  return adWebView(PELOAdPageTemplates::imagePage(hexStringFromColor(pageColor_), banner.clickUrl(), banner.imageUrl()), true);
}

std::shared_ptr<platform::View> PELOBannerView::createTextView(const PELOReceivedBannerProtocol& banner) {
  const platform::Rect f = frame();
  return adWebView(PELOAdPageTemplates::textPage(static_cast<int>(f.size.width), static_cast<int>(f.size.height),
                                                 banner.clickUrl(), banner.adText()),
                   true);
}

std::shared_ptr<platform::View> PELOBannerView::createRichMediaView(const PELOReceivedBannerProtocol& banner) {
  return adWebView(PELOAdPageTemplates::richMediaPage(hexStringFromColor(pageColor_),
                                                      PELOGlobalSettings::globalSettings()->adHost(), banner.richMediaData()),
                   false);
}

void PELOBannerView::playMovieAtURL(const std::string& url) {
  stopVideoPlayback();
  reloadTimer_->pauseAutoReload();
  activityIndicator_ = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorViewStyle::White);
  activityIndicator_->setCenter(center());
  const auto& shadow = activityIndicator_->layer();
  shadow->setShadowColor(platform::Color::blackColor());
  shadow->setShadowRadius(1.0);
  shadow->setShadowOpacity(0.5);
  shadow->setShadowOffset(platform::Size{0, 1.0});
  addSubview(activityIndicator_);
  activityIndicator_->startAnimating();

  moviePlayer_ = platform::MoviePlayerController::createWithContentURL(url);
  heightBeforeVideo_ = frame().size.height;
  loadingVideo_ = true;
  moviePlayer_->prepareToPlay();
  PELOLogger::debug("add MPMoviePlayerLoadStateDidChangeNotification");
  auto& center = platform::NotificationCenter::defaultCenter();
  center.removeObserver(this);  // an earlier movie's
  std::weak_ptr<PELOBannerView> weak = sharedAs<PELOBannerView>();
  center.addObserver(this, platform::kMoviePlayerLoadStateDidChangeNotification, nullptr,
                     [weak](const platform::Notification& n) {
                       auto self = weak.lock();
                       if (self && self->moviePlayer_ && n.object == self->moviePlayer_.get()) self->moviePlayerLoadStateChanged();
                     });
  center.addObserver(this, platform::kMoviePlayerPlaybackDidFinishNotification, moviePlayer_.get(),
                     [weak](const platform::Notification&) {
                       if (auto self = weak.lock()) self->myMovieFinishedCallback();
                     });
}

void PELOBannerView::moviePlayerLoadStateChanged() {
  loadingVideo_ = false;
  if (moviePlayer_->loadState() == platform::kMovieLoadStateUnknown) return;
  playingVideo_ = true;
  if (activityIndicator_) {
    activityIndicator_->stopAnimating();
    activityIndicator_->removeFromSuperview();
    activityIndicator_.reset();
  }
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kMoviePlayerLoadStateDidChangeNotification);
  PELOLogger::debug("remove MPMoviePlayerLoadStateDidChangeNotification");
  moviePlayer_->setScalingMode(1);
  moviePlayer_->setControlStyle(0);
  const platform::Rect f = frame();
  const platform::Size natural = moviePlayer_->naturalSize();
  // A movie that tells no width keeps the banner's height rather than an endless one.
  const double height = natural.width > 0 ? f.size.width / natural.width * natural.height : f.size.height;
  const auto& movieView = moviePlayer_->view();
  movieView->setFrame(platform::Rect(0, 0, f.size.width, height));
  setFrame(platform::Rect(f.origin.x, f.origin.y, f.size.width, height));
  movieView->setAutoresizingMask(kFlexibleWidthAndHeight);
  movieView->setContentMode(platform::ContentMode::ScaleAspectFill);
  addSubview(movieView);
  moviePlayer_->play();
}

void PELOBannerView::myMovieFinishedCallback() {
  auto self = sharedAs<PELOBannerView>();
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kMoviePlayerPlaybackDidFinishNotification);
  if (moviePlayer_) moviePlayer_->view()->removeFromSuperview();
  moviePlayer_.reset();
  playingVideo_ = false;
  // A movie may end (or fail) before it ever played: its spinner goes with it.
  loadingVideo_ = false;
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  if (activityIndicator_) activityIndicator_->removeFromSuperview();
  activityIndicator_.reset();
  resignFirstResponder();
  reloadTimer_->resumeAutoReload();
}

void PELOBannerView::stopVideoPlayback() {
  if (moviePlayer_) {
    if (playingVideo_) {
      moviePlayer_->stop();
      moviePlayer_->view()->removeFromSuperview();
    }
    if (loadingVideo_ || playingVideo_) moviePlayer_.reset();
  }
  playingVideo_ = false;
  loadingVideo_ = false;
  if (activityIndicator_) activityIndicator_->removeFromSuperview();
  activityIndicator_.reset();
}

// A video ad that another ad replaced is stopped and goes, and what its player still says is
// not heard; the reload it held resumes.
void PELOBannerView::endReplacedVideo() {
  if (!moviePlayer_ && !loadingVideo_ && !playingVideo_) return;
  if (moviePlayer_) {
    moviePlayer_->stop();
    moviePlayer_->view()->removeFromSuperview();
  }
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  stopVideoPlayback();
  moviePlayer_.reset();
  setFrame(platform::Rect(frame().origin.x, frame().origin.y, frame().size.width, heightBeforeVideo_));
  reloadTimer_->resumeAutoReload();
}

bool PELOBannerView::showsVideoAd() const {
  return lastReceivedBanner_ && lastReceivedBanner_->adType() == kPELOAdTypeVideo;
}

std::shared_ptr<platform::View> PELOBannerView::hitTestWithEvent(const platform::Point& p, const platform::Event* event) {
  if (showsVideoAd() && !isHidden() && pointInsideWithEvent(p, event)) return sharedView();
  return platform::View::hitTestWithEvent(p, event);
}

void PELOBannerView::willMoveToWindow(const std::shared_ptr<platform::Window>& newWindow) {
  if (ormmaConnector_ && window() && !newWindow) ormmaConnector_->slotLeavesWindow(window());
}

void PELOBannerView::didMoveToWindow() {
  if (ormmaConnector_ && window()) ormmaConnector_->followMasterView();
}

void PELOBannerView::touchesEndedWithEvent(const platform::TouchSet& touches, const platform::Event& event) {
  if (!showsVideoAd()) {
    platform::View::touchesEndedWithEvent(touches, event);
    return;
  }
  // A landing page already open (or a page busy with a video) keeps the slot: a second one
  // would take the connector's page from under it.
  const int state = ormmaConnector_->bannerState();
  if (state != ORMMAConnector::kUnknown && state != ORMMAConnector::kDefault) return;
  auto self = sharedAs<PELOBannerView>();
  const std::string clickUrl = lastReceivedBanner_->clickUrl();
  // The landing page goes over the application: only a web page may be there, not an empty
  // one, a file of the phone or a script. Without one the tap opens nothing and the video
  // plays on.
  if (!isWebAddress(clickUrl)) {
    PELOLogger::info(platform::format("The video ad has no web address to open: %@", clickUrl));
    return;
  }
  PELOLogger::info(platform::format("Opening landing page: %@", clickUrl));
  const platform::Rect f = frame();
  auto webView = platform::WebView::create(platform::Rect(0, 0, f.size.width, f.size.height));
  webView->setAutoresizingMask(kFlexibleWidthAndHeight);
  webView->setDelegate(webViewListener_);
  addSubview(webView);
  lastView_ = currentView_;
  currentView_ = webView;
  ormmaConnector_->setOrmmaView(webView);
  webView->loadRequest(platform::URLRequest(clickUrl));
  ormmaConnector_->expandViewWithAnimation(true);
  ormmaConnector_->userOpenedLandingPage();
  stopVideoPlayback();
}

void PELOBannerView::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) {
  // Only the page being built swaps in; a page already showing may finish loading again.
  if (!loading_ || webView != currentView_) return;
  if (adOnScreenIsOut()) {
    swapWaits_ = true;
    return;
  }
  swapInBuiltAd();
}

bool PELOBannerView::adOnScreenIsOut() const {
  const int state = ormmaConnector_->stateUnderHide();
  return state == ORMMAConnector::kExpanded || state == ORMMAConnector::kResized ||
         state == ORMMAConnector::kLoadingVideo || state == ORMMAConnector::kPlayingVideo;
}

void PELOBannerView::swapInWaitingAd() {
  if (!swapWaits_ || !loading_ || adOnScreenIsOut()) return;
  swapInBuiltAd();
}

void PELOBannerView::swapInBuiltAd() {
  auto self = sharedAs<PELOBannerView>();
  swapWaits_ = false;
  endReplacedVideo();
  ormmaConnector_->setOrmmaView(std::dynamic_pointer_cast<platform::WebView>(currentView_));
  if (buildingPageIsORMMA_) ormmaConnector_->setIsORMMA(true);
  ormmaConnector_->webViewFinishedLoad(lastReceivedBanner_ && lastReceivedBanner_->adType() == kPELOAdTypeRichMedia);
  switchViews();
}

void PELOBannerView::dropBuildingPage() {
  if (auto page = std::dynamic_pointer_cast<platform::WebView>(currentView_)) {
    page->setDelegate({});
    page->stopLoading();
  }
  if (currentView_) currentView_->removeFromSuperview();
  currentView_ = lastView_;
  lastView_.reset();
  loading_ = false;
  swapWaits_ = false;
}

void PELOBannerView::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                                 const platform::Error& error) {
  if (!loading_ || webView != currentView_) return;
  auto self = sharedAs<PELOBannerView>();
  auto failed = writableBanner(lastReceivedBanner_);
  failed->setStatus(kPELOBannerStatusError);
  failed->setErrorCode(kPELOErrorCodeAdPageFailed);
  failed->setErrorMessage(error.localizedDescription());
  lastReceivedBanner_ = failed;
  // The ad that was showing stays (the connector never left it); the page that failed goes.
  dropBuildingPage();
  notifyListeners(failed);
}

bool PELOBannerView::webViewShouldStartLoadWithRequest(const std::shared_ptr<platform::WebView>& webView,
                                                       const platform::URLRequest& request) {
  const std::string& url = request.url();
  if (url.rfind("about:", 0) == 0) return true;
  const bool saysWhatItIs = url.rfind("pelora://foundORMMAAd", 0) == 0;
  // The page being built speaks for nothing yet: it may only say that it is an ORMMA ad,
  // which the connector hears when it is swapped in.
  if (loading_ && webView == currentView_ && webView != ormmaConnector_->ormmaView()) {
    if (saysWhatItIs) {
      PELOLogger::debug(platform::format("Requested url: %@", url));
      buildingPageIsORMMA_ = true;
    } else {
      PELOLogger::warn(platform::format("Ignoring %@ from an ad page that is not shown", url));
    }
    return false;
  }
  // A page that has been replaced (or is on its way out) no longer speaks for the slot.
  if (webView != ormmaConnector_->ormmaView()) {
    PELOLogger::warn(platform::format("Ignoring %@ from a page that no longer shows the ad", url));
    return false;
  }
  // Nothing a page asks for happens where the user cannot see it.
  if (webView->isHidden() && !saysWhatItIs) {
    PELOLogger::warn(platform::format("Ignoring %@ from an ad page that is not shown", url));
    return false;
  }
  // A command counts as the page stood when it gave it: what it queued while off screen
  // (while still being built, or while the ad was hidden) is dropped, though it arrives once
  // the page shows. Asking to be shown again is how an ad that hid itself comes back.
  if (webView->navigationQueuedWhileShown() == false && !saysWhatItIs && url.rfind("pelora://show", 0) != 0) {
    if (webView->noteRefusalOnce("off screen"))
      PELOLogger::warn(platform::format("Refusing %@ that the ad page gave while it was not on screen", url));
    return false;
  }
  // The ad's own page is the markup the view built (no base URL); a page it navigated to,
  // a landing page among them, follows links but gives no commands.
  if (url.rfind("pelora://", 0) == 0) {
    const auto shown = webView->request();
    if (!shown || shown->url().rfind("about:", 0) != 0) {
      PELOLogger::warn(platform::format("Ignoring %@ from a page the ad navigated to", url));
      return false;
    }
  }
  auto self = sharedAs<PELOBannerView>();
  PELOLogger::debug(platform::format("Requested url: %@", url));
  return ormmaConnector_->parseORMMAResponse(url);
}

void PELOBannerView::switchViews() {
  auto self = sharedAs<PELOBannerView>();
  if (animationType_ != kNoTransition) layer()->addAnimationForKey(createAnimationWithDirection(animationType_, animationDirection_), "");
  if (currentView_) currentView_->setHidden(false);
  if (lastView_) {
    lastView_->setHidden(true);
    lastView_->removeFromSuperview();
    lastView_.reset();
  }
  loading_ = false;
  setHidden(false);
  notifyListeners(lastReceivedBanner_);
}

void PELOBannerView::notifyListeners(const std::shared_ptr<PELOReceivedBannerProtocol>& banner) {
  auto self = sharedAs<PELOBannerView>();
  const std::shared_ptr<PELOAdDownloaderProtocol> sender = self;
  const auto listeners = adListeners_;
  for (const auto& weakListener : listeners)
    if (auto listener = weakListener.lock()) listener->onReceiveAdWithReceivedBanner(sender, banner);
}

std::shared_ptr<platform::Transition> PELOBannerView::createAnimationWithDirection(int type, int direction) const {
  static constexpr std::array<const char*, 4> kTypes{platform::kTransitionMoveIn, platform::kTransitionPush,
                                                     platform::kTransitionReveal, platform::kTransitionFade};
  static constexpr std::array<const char*, 4> kSubtypes{platform::kTransitionFromLeft, platform::kTransitionFromRight,
                                                        platform::kTransitionFromTop, platform::kTransitionFromBottom};
  // Values outside the lists are taken as "random" rather than read past them.
  if (type <= 0 || type > 3) type = static_cast<int>(platform::Random::random() % 4);
  if (direction <= 0 || direction > 3) direction = static_cast<int>(platform::Random::random() % 4);
  auto transition = platform::Transition::animation();
  transition->setType(kTypes[type]);
  transition->setSubtype(kSubtypes[direction]);
  transition->setDuration(0.3);
  transition->setTimingFunction(platform::kTimingFunctionEaseInEaseOut);
  return transition;
}

std::string PELOBannerView::hexStringFromColor(const platform::Color& color) {
  auto component = [](double c) {
    if (!(c > 0)) c = 0;  // also not a number
    return c > 1.0 ? 255 : static_cast<int>(c * 255);
  };
  switch (color.model) {
    case platform::ColorSpaceModel::RGB:
      return platform::format("%02X%02X%02X", component(color.red), component(color.green), component(color.blue));
    case platform::ColorSpaceModel::Monochrome: {
      const int white = component(color.red);
      return platform::format("%02X%02X%02X", white, white, white);
    }
    default:  // no red, green and blue to read
      return "000000";
  }
}

}  // namespace pelora
