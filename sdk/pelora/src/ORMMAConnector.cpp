#include "ORMMAConnector.h"

#include <algorithm>
#include <array>
#include <climits>
#include <string_view>
#include <utility>
#include <vector>

#include "PELOImages.h"
#include "PELOLogger.h"
#include "pelora/PELOBannerView.h"
#include "pelora/PELOFullScreenBanner.h"
#include "pelora/PELOGlobalSettings.h"
#include "pelora/PELOToastBannerView.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/notification_center.h"
#include "platform/text_helpers.h"
#include "platform/url.h"
#include "platform/window.h"

namespace pelora {
namespace {

constexpr unsigned kFlexibleWidthAndHeight = 18;
constexpr unsigned kFlexibleLeftAndBottomMargins = 33;
constexpr double kStatusBarHeight = 20;
constexpr const char* kLeaveAct = "leave";
constexpr const char* kDisableLegacyExpand = "pelora_bridge.expandLegacy = function() {}";
constexpr const char* kHiddenEvent = "ormmaview.fireChangeEvent({ state: '%@' });";
constexpr const char* kSizeEvent = "window.ormmaview.fireChangeEvent({state: '%@', size:{ width: %d, height: %d}});";

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A number as the page wrote it: leading blanks, a sign and digits; 0 when there are none,
// clamped rather than overflowing.
int intValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) { value = INT_MAX; break; }
  }
  return static_cast<int>(negative ? -value : value);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t pos; (pos = text.find(separator, start)) != std::string::npos; start = pos + 1)
    parts.push_back(text.substr(start, pos - start));
  parts.push_back(text.substr(start));
  return parts;
}

std::optional<int> angleForOrientation(platform::DeviceOrientation orientation) {
  switch (orientation) {
    case platform::DeviceOrientation::Portrait: return 0;
    case platform::DeviceOrientation::PortraitUpsideDown: return 180;
    case platform::DeviceOrientation::LandscapeLeft: return 270;
    case platform::DeviceOrientation::LandscapeRight: return 90;
    default: return std::nullopt;
  }
}

int whole(double v) { return static_cast<int>(v); }

// What the connectors put over the application (pages, close buttons, videos, watches): none
// is a screen of the host's for another connector's page to go over.
std::vector<std::weak_ptr<platform::View>>& putUp() {
  static std::vector<std::weak_ptr<platform::View>> views;
  return views;
}
void notePutUp(const std::shared_ptr<platform::View>& view) {
  auto& views = putUp();
  std::erase_if(views, [](const auto& v) { return v.expired(); });
  if (std::none_of(views.begin(), views.end(), [&](const auto& v) { return v.lock() == view; })) views.push_back(view);
}
// A view of the host's own that shows a screen: not the client's, nor one of its slots.
bool isHostScreen(const std::shared_ptr<platform::View>& view) {
  const auto& views = putUp();
  return !view->isHidden() && std::none_of(views.begin(), views.end(), [&](const auto& v) { return v.lock() == view; }) &&
         !std::dynamic_pointer_cast<PELOBannerView>(view) && !std::dynamic_pointer_cast<PELOToastBannerView>(view) &&
         !std::dynamic_pointer_cast<PELOFullScreenBanner>(view);
}

// `rect` cut to the size of `area` and moved into it; no side below 0.
platform::Rect fitted(platform::Rect rect, const platform::Rect& area) {
  const auto fit = [](double& origin, double& length, double areaOrigin, double areaLength) {
    length = std::clamp(length, 0.0, std::max(areaLength, 0.0));
    origin = std::clamp(origin, areaOrigin, areaOrigin + std::max(areaLength, 0.0) - length);
  };
  fit(rect.origin.x, rect.size.width, area.origin.x, area.size.width);
  fit(rect.origin.y, rect.size.height, area.origin.y, area.size.height);
  return rect;
}

// The title a link leaving the application is announced with, or nullopt for one that
// stays in the page.
std::optional<std::string> leavingTitle(const std::string& url) {
  if (startsWith(url, ORMMAConnector::kMapPrefix)) return "Map";
  if (startsWith(url, ORMMAConnector::kStorePrefix)) return "AppStore";
  if (startsWith(url, ORMMAConnector::kMusicStorePrefix) || startsWith(url, ORMMAConnector::kStoreSchemePrefix))
    return "iTunes";
  if (startsWith(url, "sms:")) return "SMS";
  if (startsWith(url, "tel:")) return "Phone";
  return std::nullopt;
}

}  // namespace

// Hears the view it lies in leave its window.
class ORMMAConnector::MasterWatch : public platform::View {
 public:
  explicit MasterWatch(std::weak_ptr<ORMMAConnector> connector) : connector_(std::move(connector)) {
    setHidden(true);
    setUserInteractionEnabled(false);
  }
  void willMoveToWindow(const std::shared_ptr<platform::Window>& newWindow) override {
    auto connector = connector_.lock();
    if (connector && window() && !newWindow) connector->slotLeavesWindow(window());
  }
  std::weak_ptr<ORMMAConnector> connector_;
};

void ORMMAConnector::watchMasterView(const std::shared_ptr<platform::View>& master) {
  if (!watch_) {
    watch_ = std::make_shared<MasterWatch>(weak_from_this());
    notePutUp(watch_);
  }
  if (watch_->superview() != master) master->addSubview(watch_);
}

std::shared_ptr<platform::WebView> ORMMAConnector::pageUp() {
  auto webView = ormmaView();
  return webView && webView->superview() && webView->superview() != bannerView() ? webView : nullptr;
}

void ORMMAConnector::stopWatchingWhenNothingIsUp() {
  if (!watch_ || moviePlayer_ || closeButton_ || pageUp()) return;
  watch_->connector_.reset();  // its own removal is no departure of the host's screen
  watch_->removeFromSuperview();
  watch_.reset();
}

std::shared_ptr<ORMMAConnector> ORMMAConnector::create() {
  auto connector = std::make_shared<ORMMAConnector>(platform::Passkey<ORMMAConnector>{});
  auto& device = platform::Device::currentDevice();
  device.beginGeneratingDeviceOrientationNotifications();
  std::weak_ptr<ORMMAConnector> weak = connector;
  platform::NotificationCenter::defaultCenter().addObserver(
      connector.get(), platform::kDeviceOrientationDidChangeNotification, &device, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->orientationChanged();
      });
  // The host hiding the window what is up lies in leaves it where nobody sees or closes it.
  platform::NotificationCenter::defaultCenter().addObserver(
      connector.get(), platform::kWindowDidBecomeHiddenNotification, nullptr, [weak](const platform::Notification& note) {
        auto self = weak.lock();
        auto window = self && self->watch_ ? self->watch_->window() : nullptr;
        if (window && window.get() == note.object) self->slotLeavesWindow(nullptr);
      });
  connector->lastOrientation_ = angleForOrientation(device.orientation()).value_or(0);
  return connector;
}

ORMMAConnector::ORMMAConnector(platform::Passkey<ORMMAConnector>) {}

ORMMAConnector::~ORMMAConnector() {
  if (stateUnderHide() == kExpanded)
    if (auto webView = ormmaView()) webView->removeFromSuperview();
  if (closeButton_) closeButton_->removeFromSuperview();
  if (watch_) {
    watch_->connector_.reset();
    watch_->removeFromSuperview();
  }
  auto& center = platform::NotificationCenter::defaultCenter();
  center.removeObserver(this);
  if (moviePlayer_) {
    // Whatever hid the status bar gives it back, however the video ends.
    platform::Application::sharedApplication().setStatusBarHidden(statusBarHidden_);
    if (stateUnderHide() == kPlayingVideo) moviePlayer_->stop();
    moviePlayer_->view()->removeFromSuperview();
    moviePlayer_.reset();
  }
  platform::RunLoop::main().cancelPerforms(this);
  platform::Device::currentDevice().endGeneratingDeviceOrientationNotifications();
}

std::optional<std::string> ORMMAConnector::bannerStateString(int state) {
  static constexpr std::array<const char*, 7> kWords{"unknown", "default", "expanded", "resized",
                                                     "hidden",  "loadingVideo", "playingVideo"};
  if (state < 0 || state >= static_cast<int>(kWords.size())) return std::nullopt;
  return kWords[state];
}

void ORMMAConnector::setOrmmaView(std::weak_ptr<platform::WebView> view) {
  ormmaView_ = std::move(view);
  isORMMA_ = false;
  bannerState_ = kUnknown;
  landingPageFromTouch_ = false;
  landingPage_ = false;
}

void ORMMAConnector::userOpenedLandingPage() { landingPageFromTouch_ = bannerState_ == kExpanded; }

bool ORMMAConnector::userAllows(const char* act, const std::string& url) {
  auto webView = ormmaView();
  if (webView && webView->consumeUserActivation()) return true;
  // The landing page a touch opened may still lead out once (its click address redirecting
  // to the store, say): that is where the user's touch was going.
  if (landingPageFromTouch_ && bannerState_ == kExpanded && std::string_view(act) == kLeaveAct) {
    landingPageFromTouch_ = false;
    return true;
  }
  if (webView && webView->noteRefusalOnce(act))
    PELOLogger::warn(platform::format("Refusing %@ from an ad page the user has not just touched", url));
  return false;
}

bool ORMMAConnector::parseORMMAResponse(const std::string& url) {
  auto self = shared_from_this();
  // Everything that reaches beyond the ad (expanding over the application, leaving it,
  // dialing, a full-screen video) waits for the user's touch on the page, one act per
  // touch: a page acting on its own, or in a loop after one tap, gets no more.
  if (startsWith(url, "pelora://legacyExpand")) {
    if (!isORMMA_ && bannerState_ == kDefault && userAllows("expand", url)) {
      expandViewWithAnimation(true);
      injectJavaScript(kDisableLegacyExpand);
    }
  } else if (startsWith(url, "pelora://expand")) {
    const auto parts = split(url, '/');
    if (parts.size() > 6) {
      const int x = intValue(parts[3]);
      int y = intValue(parts[4]);
      const int width = intValue(parts[5]);
      const int height = intValue(parts[6]);
      // An ad of no size would cover nothing and leave only its close button: refused, and
      // the user's touch stays for what the page asks next.
      if (width <= 0 || height <= 0) {
        if (auto webView = ormmaView(); webView && webView->noteRefusalOnce("expand size"))
          PELOLogger::warn(platform::format("Refusing %@: an expanded ad needs a width and a height", url));
        return false;
      }
      if (!userAllows("expand", url)) return false;
      if (!runningOnPad() && !platform::Application::sharedApplication().isStatusBarHidden() && y < kStatusBarHeight)
        y = static_cast<int>(kStatusBarHeight);
      expandViewWithRectWithAnimation(platform::Rect(x, y, width, height), true);
    } else {
      if (!userAllows("expand", url)) return false;
      expandViewWithAnimation(true);
    }
  } else if (startsWith(url, "pelora://close")) {
    closeViewWithAnimation(true);
  } else if (startsWith(url, "pelora://foundORMMAAd")) {
    PELOLogger::debug("Found ORMMA Ad!");
    isORMMA_ = true;
    injectJavaScript(kDisableLegacyExpand);
  } else if (startsWith(url, "pelora://open")) {
    if (userAllows("open", url)) openURL(url.size() > 14 ? url.substr(14) : "");
  } else if (startsWith(url, "pelora://hide")) {
    if (bannerState_ == kHidden) return false;
    preHiddenState_ = bannerState_;
    bannerState_ = kHidden;
    if (auto banner = bannerView()) banner->setHidden(true);
    injectJavaScript(platform::format(kHiddenEvent, "hidden"));
  } else if (startsWith(url, "pelora://show")) {
    if (bannerState_ != kHidden) return false;
    if (auto banner = bannerView()) banner->setHidden(false);
    bannerState_ = preHiddenState_;
    injectJavaScript(platform::format(kHiddenEvent, bannerStateString(bannerState_).value_or("")));
  } else if (startsWith(url, "pelora://")) {
    // activate, deactivate, resize and anything else change nothing
  } else if (auto title = leavingTitle(url)) {
    if (userAllows(kLeaveAct, url)) showAlertViewWithTitleWithUrl(*title, url);
  } else if (!startsWith(url, "http://")) {
    // refused without a message
  } else if (endsWith(url, ".3gp") || endsWith(url, ".mp4") || endsWith(url, ".mpv") || endsWith(url, ".avi") ||
             endsWith(url, ".mov")) {
    if (!userAllows("video", url)) return false;
    // The close may take the page's screen off the window (the overlay's): the movie still
    // plays where the user saw the page.
    auto page = ormmaView();
    const std::weak_ptr<platform::Window> seen = page ? page->window() : nullptr;
    if (bannerState_ != kDefault) closeViewWithAnimation(false);
    playMovieAtURL(url, seen);
  } else if (bannerState_ == kDefault) {
    // The ad's link opens the landing page over the application.
    if (!userAllows("link", url)) return false;
    landingPage_ = true;
    expandViewWithAnimation(true);
    userOpenedLandingPage();
    return true;
  } else {
    // A page already open over the application (or not the one shown) follows its links
    // in place. An expanded ad that leaves for a landing page leaves its own close behind:
    // the landing page gets the client's.
    if (stateUnderHide() == kExpanded && !ownsClose() && !closeButton_) {
      auto webView = ormmaView();
      // The close goes over the page, where it is now, whatever the host did with its banner.
      if (webView && webView->superview()) masterView_ = webView->superview();
      if (masterView_.expired()) findMasterView();
      auto master = masterView_.lock();
      if (!master || !webView) return false;
      landingPage_ = true;
      addCloseButton(*master, webView->frame(), screenArea());
      closeButton_->setAlpha(1);
    }
    return true;
  }
  return false;
}

// What the page opens, the application opens, and the user leaves for it; only a call or
// a message, which cost the user, is asked for first.
void ORMMAConnector::openURL(const std::string& rest) {
  if (!startsWith(rest, "http://") && !startsWith(rest, "https://")) {
    auto parsed = platform::URL::create(rest);
    if (!parsed || !parsed->scheme() || parsed->scheme()->empty()) return;  // nothing the system could open
    // The system takes a scheme in any case ("TEL:"): so must the question.
    const std::string scheme = platform::lowercase(*parsed->scheme());
    if (scheme == "tel" || scheme == "sms") {
      const std::string url = scheme + rest.substr(parsed->scheme()->size());
      showAlertViewWithTitleWithUrl(*leavingTitle(url), url);
      return;
    }
  }
  platform::Application::sharedApplication().openURL(rest);
}

void ORMMAConnector::webViewFinishedLoad(bool richMedia) {
  bannerState_ = kDefault;
  findMasterView();
  auto banner = bannerView();
  auto webView = ormmaView();
  auto master = masterView_.lock();
  if (!banner || !webView || !master) return;
  defaultRect_ = master->convertRectFromView(webView->frame(), banner);
  const platform::Rect rect = masterRect();
  if (!richMedia) return;
  const platform::Rect bf = banner->frame();
  std::string script = platform::format("window.ormmaview.fireChangeEvent({ state: '%@'", "default");
  script += platform::format(", size: { width: %d, height: %d }", whole(bf.size.width), whole(bf.size.height));
  script += platform::format(", maxSize: { width: %d, height: %d }", whole(rect.size.width), whole(rect.size.height));
  script += platform::format(", screenSize: { width: %d, height: %d }", whole(rect.size.width), whole(rect.size.height));
  script += platform::format(", defaultPosition: { x: %d, y: %d, width: %d, height: %d }", whole(defaultRect_.origin.x),
                             whole(defaultRect_.origin.y), whole(defaultRect_.size.width), whole(defaultRect_.size.height));
  script += platform::format(", orientation:%d ", lastOrientation_);
  script += ", supports: ['level-1','screen','orientation'] });";
  injectJavaScript(script);
}

void ORMMAConnector::injectJavaScript(const std::string& script) {
  if (bannerState_ == kUnknown) return;
  auto webView = ormmaView();
  if (!webView) return;
  PELOLogger::debug(platform::format("Injecting script: %@", script));
  webView->stringByEvaluatingJavaScriptFromString("javascript:" + script);
}

void ORMMAConnector::expandViewWithAnimation(bool animated) {
  findMasterView();
  expandViewWithRectWithAnimation(masterRect(), animated);
}

void ORMMAConnector::expandViewWithRectWithAnimation(const platform::Rect& requested, bool animated) {
  auto self = shared_from_this();
  // The host may have moved its banner since the ad loaded: the page goes over the view tree
  // as it is now.
  findMasterView();
  // However large or far off the page asks, the ad stays where the user can see it and its
  // close button where a finger reaches it.
  const platform::Rect area = screenArea();
  const platform::Rect rect = fitted(requested, area);
  auto banner = bannerView();
  if (banner)
    if (auto delegate = banner->delegate()) delegate->landingPageWillBeDisplayed();
  PELOLogger::info("Opening landing page");
  if (stateUnderHide() == kExpanded) return;
  banner = bannerView();  // the delegate may have let it go
  auto master = masterView_.lock();
  auto webView = ormmaView();
  if (!banner || !master || !webView) return;
  banner->pauseAutomaticReload();
  bannerState_ = kExpanded;
  defaultRect_ = banner->superview() ? master->convertRectFromView(banner->frame(), banner->superview()) : banner->bounds();

  if (ownsClose()) addCloseButton(*master, rect, area);

  webView->removeFromSuperview();
  webView->setFrame(defaultRect_);
  master->addSubview(webView);
  notePutUp(webView);
  watchMasterView(master);
  if (closeButton_) master->bringSubviewToFront(closeButton_);

  auto changes = [webView, rect, button = closeButton_] {
    webView->setFrame(rect);
    if (button) button->setAlpha(1);
  };
  if (!animated) {
    changes();
    if (!ownsClose()) expandFinished();
    return;
  }
  std::weak_ptr<ORMMAConnector> weak = self;
  platform::View::beginAnimationsContext("expandView");
  platform::View::setAnimationDuration(0.5);
  platform::View::setAnimationDidStopCallback([weak](const std::string&, bool, void*) {
    // A close that came first has already told the page its state.
    if (auto s = weak.lock(); s && !s->ownsClose() && s->bannerState_ == kExpanded) s->expandFinished();
  });
  changes();
  platform::View::commitAnimations();
}

void ORMMAConnector::addCloseButton(platform::View& master, const platform::Rect& rect, const platform::Rect& area) {
  auto self = shared_from_this();
  closeButton_ = platform::Button::buttonWithType(platform::ButtonType::Custom);
  closeButton_->setImageForState(PELOImages::closeButton(), platform::kControlStateNormal);
  closeButton_->sizeToFit();
  std::weak_ptr<ORMMAConnector> weak = self;
  closeButton_->addTargetActionForControlEvents(
      self, [weak](platform::Control&) {
        if (auto s = weak.lock()) s->closeView();
      },
      platform::kControlEventTouchUpInside);
  closeButton_->setAlpha(0);
  master.addSubview(closeButton_);
  notePutUp(closeButton_);
  const platform::Size button = closeButton_->frame().size;
  closeButton_->setFrame(
      fitted(platform::Rect(rect.size.width - button.width, rect.origin.y, button.width, button.height), area));
  closeButton_->setAutoresizingMask(kFlexibleLeftAndBottomMargins);
}

void ORMMAConnector::expandFinished() {
  // The script goes in with the "javascript:" prefix added once, by injectJavaScript.
  const platform::Size size = webViewSize();
  injectJavaScript(platform::format(kSizeEvent, "expanded", whole(size.width), whole(size.height)));
}

void ORMMAConnector::closeView() { closeViewWithAnimation(true); }

void ORMMAConnector::closeViewWithAnimation(bool animated) {
  // A video closes through its own controls; nothing was opened that a close would end (an ad
  // that hid itself at rest included).
  const int state = stateUnderHide();
  if (state == kDefault || state == kLoadingVideo || state == kPlayingVideo) return;
  auto self = shared_from_this();
  auto webView = ormmaView();
  if (webView && ownsClose()) webView->stopLoading();
  if (!animated) {
    closeViewFinished();
    return;
  }
  auto banner = bannerView();
  if (masterView_.expired()) findMasterView();
  auto master = masterView_.lock();
  std::weak_ptr<ORMMAConnector> weak = self;
  closing_ = true;
  platform::View::beginAnimationsContext("closeView");
  platform::View::setAnimationDuration(0.3);
  platform::View::setAnimationDidStopCallback([weak](const std::string&, bool, void*) {
    // Two closes in one animation's time finish once; a close already finished by what came
    // next (a video the page asked for) is not finished again.
    if (auto s = weak.lock(); s && s->closing_) s->closeViewFinished();
  });
  if (webView && banner && master)
    webView->setFrame(banner->superview() ? master->convertRectFromView(banner->frame(), banner->superview())
                                          : banner->bounds());
  if (ownsClose()) {
    if (banner) banner->setAlpha(0);
    if (closeButton_) closeButton_->setAlpha(0);
  }
  platform::View::commitAnimations();
}

void ORMMAConnector::closeViewFinished() {
  auto self = shared_from_this();
  // An ad that hid itself while out comes back hidden, until it shows itself again.
  closing_ = false;
  const bool hidden = bannerState_ == kHidden && !ownsClose();
  bannerState_ = hidden ? kHidden : kDefault;
  preHiddenState_ = kDefault;
  landingPageFromTouch_ = false;
  auto banner = bannerView();
  auto webView = ormmaView();
  if (banner && webView) {
    webView->removeFromSuperview();
    banner->addSubview(webView);
    webView->setFrame(platform::Rect(0, 0, banner->frame().size.width, banner->frame().size.height));
  }
  if (closeButton_) {
    closeButton_->removeFromSuperview();
    closeButton_.reset();
  }
  stopWatchingWhenNothingIsUp();
  // The page a link opened replaced the ad: the slot asks for the next one, as after any
  // landing page.
  const bool landingPage = ownsClose();
  landingPage_ = false;
  if (!landingPage) {
    closeFinished();
  } else if (banner) {
    banner->setHidden(true);
    banner->setAlpha(1);
    banner->asyncLoadNewBanner();
  }
  banner = bannerView();
  if (!banner) return;
  banner->resumeAutomaticReload();
  PELOLogger::info("Landing page has been closed");
  if (auto delegate = banner->delegate()) delegate->landingPageHasBeenClosed();
  if (auto back = bannerView()) back->swapInWaitingAd();
}

void ORMMAConnector::closeFinished() {
  const platform::Size size = webViewSize();
  injectJavaScript(platform::format(kSizeEvent, "default", whole(size.width), whole(size.height)));
}

platform::Size ORMMAConnector::webViewSize() const {
  auto webView = ormmaView();
  return webView ? webView->frame().size : platform::Size{0, 0};
}

void ORMMAConnector::showAlertViewWithTitleWithUrl(const std::string& title, const std::string& url) {
  externalRequestURL_ = url;
  leaveClosesPage_ = stateUnderHide() == kExpanded;
  const std::string message = platform::format("Opening %@", title);
  std::shared_ptr<platform::AlertView> alert;
  if (startsWith(url, "tel:")) {
    alert = std::make_shared<platform::AlertView>("", url.substr(4), shared_from_this(), "Cancel",
                                                  std::vector<std::string>{"Call"});
  } else if (!PELOGlobalSettings::globalSettings()->showAlertPopup() && !startsWith(url, "sms:")) {
    alert = std::make_shared<platform::AlertView>("", message, nullptr, std::nullopt, std::vector<std::string>{"OK"});
    std::weak_ptr<ORMMAConnector> weak = shared_from_this();
    std::weak_ptr<platform::AlertView> weakAlert = alert;
    platform::RunLoop::main().postAfter(
        1.0,
        [weak, weakAlert] {
          if (auto s = weak.lock()) s->openWebStore(weakAlert.lock());
        },
        this);
  } else {
    alert = std::make_shared<platform::AlertView>("", message, shared_from_this(), "Cancel",
                                                  std::vector<std::string>{"Ok"});
  }
  pendingAlert_ = alert;
  alert->show();
}

void ORMMAConnector::alertViewClickedButtonAtIndex(platform::AlertView& alert, long index) {
  if (index != 0) {
    std::weak_ptr<ORMMAConnector> weak = shared_from_this();
    std::weak_ptr<platform::AlertView> weakAlert = alert.sharedAs<platform::AlertView>();
    platform::RunLoop::main().postAfter(
        0.2,
        [weak, weakAlert] {
          if (auto s = weak.lock()) s->openWebStore(weakAlert.lock());
        },
        this);
    return;
  }
  auto self = shared_from_this();
  const bool call = externalRequestURL_ && startsWith(*externalRequestURL_, "tel:");
  if (std::exchange(leaveClosesPage_, false) && !call) closeView();
  externalRequestURL_.reset();
  pendingAlert_.reset();
}

void ORMMAConnector::openWebStore(const std::shared_ptr<platform::AlertView>& alert) {
  auto self = shared_from_this();
  if (alert && alert->isVisible()) alert->dismissWithClickedButtonIndexAnimated(0, false);
  pendingAlert_.reset();
  if (!externalRequestURL_) return;
  const std::string url = *externalRequestURL_;
  externalRequestURL_.reset();
  platform::Application::sharedApplication().openURL(url);
  if (std::exchange(leaveClosesPage_, false)) closeView();
}

void ORMMAConnector::playMovieAtURL(const std::string& url, const std::weak_ptr<platform::Window>& seen) {
  auto self = shared_from_this();
  findMasterView();
  std::shared_ptr<platform::View> master = masterView_.lock();
  if ((!master || !master->window()) && !seen.expired()) master = seen.lock();
  if (!master) return;
  // A movie still fading out holds the status bar: what it gives back is what was before it.
  if (!moviePlayer_) {
    statusBarHidden_ = platform::Application::sharedApplication().isStatusBarHidden();
    statusBarStyle_ = platform::Application::sharedApplication().statusBarStyle();
  }
  if (moviePlayer_) {  // an earlier movie's player and observers go first
    platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kMoviePlayerLoadStateDidChangeNotification);
    platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kMoviePlayerPlaybackDidFinishNotification);
    moviePlayer_->stop();
    moviePlayer_->view()->removeFromSuperview();
  }
  (bannerState_ == kHidden ? preHiddenState_ : bannerState_) = kLoadingVideo;
  if (auto banner = bannerView()) banner->pauseAutomaticReload();
  auto& app = platform::Application::sharedApplication();
  moviePlayer_ = platform::MoviePlayerController::createWithContentURL(url);
  const bool pad = runningOnPad();
  if (pad) app.setStatusBarHidden(true);
  moviePlayer_->prepareToPlay();
  moviePlayer_->setFullscreen(true);
  moviePlayer_->setScalingMode(1);
  moviePlayer_->setControlStyle(2);
  const auto& movieView = moviePlayer_->view();
  movieView->setAutoresizingMask(kFlexibleWidthAndHeight);
  movieView->setContentMode(platform::ContentMode::ScaleAspectFill);
  if (pad) {
    const platform::Rect r = masterRect();
    movieView->setFrame(platform::Rect(0, 0, r.size.width, r.size.height + kStatusBarHeight));
  } else {
    movieView->setFrame(platform::Rect(0, 0, master->frame().size.width, master->frame().size.height));
  }
  movieView->setAlpha(0);
  master->addSubview(movieView);
  notePutUp(movieView);
  watchMasterView(master);
  platform::View::beginAnimationsContext("fadeInVideo");
  platform::View::setAnimationDuration(0.5);
  movieView->setAlpha(1);
  platform::View::commitAnimations();

  auto& center = platform::NotificationCenter::defaultCenter();
  std::weak_ptr<ORMMAConnector> weak = self;
  center.addObserver(this, platform::kMoviePlayerLoadStateDidChangeNotification, nullptr,
                     [weak](const platform::Notification& n) {
                       auto s = weak.lock();
                       if (s && s->moviePlayer_ && n.object == s->moviePlayer_.get()) s->moviePlayerLoadStateChanged();
                     });
  center.addObserver(this, platform::kMoviePlayerPlaybackDidFinishNotification, moviePlayer_.get(),
                     [weak](const platform::Notification&) {
                       if (auto s = weak.lock()) s->myMovieFinishedCallback();
                     });
}

void ORMMAConnector::moviePlayerLoadStateChanged() {
  if (moviePlayer_->loadState() == platform::kMovieLoadStateUnknown) return;
  (bannerState_ == kHidden ? preHiddenState_ : bannerState_) = kPlayingVideo;
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kMoviePlayerLoadStateDidChangeNotification);
  moviePlayer_->play();
}

void ORMMAConnector::myMovieFinishedCallback() {
  if (!moviePlayer_) return;
  moviePlayer_->setFullscreen(false);
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kMoviePlayerPlaybackDidFinishNotification);
  std::weak_ptr<ORMMAConnector> weak = shared_from_this();
  std::weak_ptr<platform::MoviePlayerController> player = moviePlayer_;
  platform::View::beginAnimationsContext("movieOutAnimation");
  platform::View::setAnimationDuration(0.5);
  // A movie the page asked for during the fade is not ended by it.
  platform::View::setAnimationDidStopCallback([weak, player](const std::string&, bool, void*) {
    if (auto s = weak.lock(); s && s->moviePlayer_ == player.lock()) s->movieOutAnimationFinished();
  });
  moviePlayer_->view()->setAlpha(0);
  platform::View::commitAnimations();
}

void ORMMAConnector::movieOutAnimationFinished() {
  auto self = shared_from_this();
  auto& app = platform::Application::sharedApplication();
  app.setStatusBarHidden(statusBarHidden_);
  if (moviePlayer_) {
    moviePlayer_->view()->removeFromSuperview();
    moviePlayer_.reset();
  }
  stopWatchingWhenNothingIsUp();
  if (!runningOnPad()) app.setStatusBarStyle(statusBarStyle_);
  leaveVideoState();
  if (auto banner = bannerView()) {
    banner->resumeAutomaticReload();
    banner->swapInWaitingAd();
  }
}

void ORMMAConnector::stopVideoPlayback() {
  if (!moviePlayer_) return;
  auto& app = platform::Application::sharedApplication();
  moviePlayer_->setFullscreen(false);
  platform::View::beginAnimationsContext("movieOutAnimation");
  platform::View::setAnimationDuration(0.5);
  moviePlayer_->view()->setAlpha(0);
  platform::View::commitAnimations();
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kMoviePlayerLoadStateDidChangeNotification);
  platform::NotificationCenter::defaultCenter().removeObserver(this, platform::kMoviePlayerPlaybackDidFinishNotification);
  app.setStatusBarHidden(statusBarHidden_);
  if (stateUnderHide() == kPlayingVideo) moviePlayer_->stop();
  moviePlayer_->view()->removeFromSuperview();
  moviePlayer_.reset();
  stopWatchingWhenNothingIsUp();
  if (!runningOnPad()) app.setStatusBarStyle(statusBarStyle_);
  leaveVideoState();
  if (auto banner = bannerView()) banner->swapInWaitingAd();
}

// A page that hid itself while its video played stays hidden once the video is over, until it
// shows itself again; what came in the meantime (an expand during the movie's fade) stays.
void ORMMAConnector::leaveVideoState() {
  int& state = bannerState_ == kHidden ? preHiddenState_ : bannerState_;
  if (state == kLoadingVideo || state == kPlayingVideo) state = kDefault;
}

void ORMMAConnector::orientationChanged() {
  const auto angle = angleForOrientation(platform::Device::currentDevice().orientation());
  if (!angle || *angle == lastOrientation_) return;
  findMasterView();
  std::string script = "window.ormmaview.fireChangeEvent({";
  if (isLandScape(lastOrientation_) != isLandScape(*angle)) {
    auto banner = bannerView();
    auto master = masterView_.lock();
    if (banner && master)
      defaultRect_ = banner->superview() ? master->convertRectFromView(banner->frame(), banner->superview()) : banner->bounds();
    const platform::Rect rect = masterRect();
    script += platform::format("maxSize: { width: %d, height: %d }", whole(rect.size.width), whole(rect.size.height));
    script += platform::format(", screenSize: { width: %d, height: %d }", whole(rect.size.width), whole(rect.size.height));
    script += platform::format(", defaultPosition: { x: %d, y: %d, width: %d, height: %d },", whole(defaultRect_.origin.x),
                               whole(defaultRect_.origin.y), whole(defaultRect_.size.width), whole(defaultRect_.size.height));
  }
  lastOrientation_ = *angle;
  script += platform::format(" orientation:%d", lastOrientation_);
  script += "});";
  injectJavaScript(script);
}

bool ORMMAConnector::isLandScape(int angle) { return (angle - 90) % 180 == 0; }

platform::Rect ORMMAConnector::masterRect() {
  if (masterView_.expired()) findMasterView();
  auto master = masterView_.lock();
  const platform::Rect bounds = master ? master->bounds() : platform::Rect{};
  if (!platform::Application::sharedApplication().isStatusBarHidden() && !runningOnPad())
    return platform::Rect(0, kStatusBarHeight, bounds.size.width, bounds.size.height - kStatusBarHeight);
  return bounds;
}

platform::Rect ORMMAConnector::screenArea() {
  const platform::Rect area = masterRect();
  auto master = masterView_.lock();
  auto window = master ? master->window() : nullptr;
  if (!window) return area;
  // What of the master view its window shows: past it nothing is seen or touched.
  const platform::Rect shown = platform::rectIntersection(area, master->convertRectFromView(window->bounds(), window));
  return platform::rectIsNull(shown) ? area : shown;
}

void ORMMAConnector::findMasterView() {
  auto banner = bannerView();
  if (!banner) return;
  std::shared_ptr<platform::View> view = banner->superview();
  if (!view || !view->superview()) {
    masterView_ = banner;
    return;
  }
  while (view->superview() && view->superview()->superview()) view = view->superview();
  // The slot's own wrapper hides while a landing page is open: the page goes over the
  // application in the root above it instead, where the user sees and closes it.
  if (view == banner->wrappingView() && view->superview()) view = view->superview();
  masterView_ = view;
}

void ORMMAConnector::followMasterView(const std::shared_ptr<platform::Window>& window) {
  findMasterView();
  auto master = masterView_.lock();
  std::shared_ptr<platform::View> movieView = moviePlayer_ ? moviePlayer_->view() : nullptr;
  const auto unseen = [](const std::shared_ptr<platform::View>& view) {
    return !view->window() || view->window()->isHidden();
  };
  // Leaving a hidden window, what is up goes over the screen of the window shown instead.
  auto shown = window;
  if (!shown && watch_ && watch_->window() && watch_->window()->isHidden()) {
    shown = platform::Application::sharedApplication().keyWindow();
    if (shown && shown->isHidden()) shown.reset();
  }
  if ((!master || unseen(master)) && shown) {
    master.reset();
    for (const auto& view : shown->subviews())
      if (isHostScreen(view)) master = view;
    if (master) masterView_ = master;
  }
  if (!master || unseen(master)) return;
  // What is still over a screen on view stays there (a banner moved into a small panel does
  // not take its landing page with it); what the host took off the window, or hid with its
  // window, follows.
  auto follow = [&](const std::shared_ptr<platform::View>& view) {
    if (view && view->superview() && view->superview() != master && unseen(view)) master->addSubview(view);
  };
  follow(pageUp());
  follow(closeButton_);
  follow(movieView);
  follow(watch_);
  // The host put its banner in over what is up: what is up comes back to the front, also what
  // another slot's connector has up over the same screen.
  const auto lying = master->subviews();  // bringing a view to the front reorders them
  for (const auto& view : lying)
    if (auto other = std::dynamic_pointer_cast<MasterWatch>(view); other && other != watch_)
      if (auto connector = other->connector_.lock()) connector->bringWhatIsUpToFront(master);
  bringWhatIsUpToFront(master);
}

void ORMMAConnector::bringWhatIsUpToFront(const std::shared_ptr<platform::View>& master) {
  std::shared_ptr<platform::View> movieView = moviePlayer_ ? moviePlayer_->view() : nullptr;
  for (const auto& view : {std::static_pointer_cast<platform::View>(pageUp()),
                           std::static_pointer_cast<platform::View>(closeButton_), movieView})
    if (view && view->superview() == master) master->bringSubviewToFront(view);
}

void ORMMAConnector::slotLeavesWindow(const std::shared_ptr<platform::Window>& window) {
  // What is up follows once the host has shown what it shows instead.
  std::weak_ptr<ORMMAConnector> weak = shared_from_this();
  std::weak_ptr<platform::Window> left = window;
  platform::RunLoop::main().postAfter(
      0,
      [weak, left] {
        if (auto s = weak.lock()) s->followMasterView(left.lock());
      },
      this);
}

bool ORMMAConnector::runningOnPad() {
  return platform::Device::currentDevice().userInterfaceIdiom() == platform::UserInterfaceIdiom::Pad;
}

}  // namespace pelora
