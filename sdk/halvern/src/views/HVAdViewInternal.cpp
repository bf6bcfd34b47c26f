#include "HVAdViewInternal.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "HVAdSlot.h"
#include "HVApplicationCommandHandler.h"
#include "HVAsyncCommand.h"
#include "HVAudioCommandHandler.h"
#include "HVBase64.h"
#include "HVClientManager.h"
#include "HVCocoaCommandHandler.h"
#include "HVController.h"
#include "HVDisplayCommandHandler.h"
#include "HVDisplayWebView.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "HVStandardCommandHandler.h"
#include "halvern/HVAdView.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/screen.h"

namespace halvern {

namespace {

using platform::Value;

constexpr const char* kTrackerSeparator = "$$HVURL$$";

std::shared_ptr<HVController> controller() { return HVController::sharedController(); }
double now() { return platform::Clock::current().now(); }

}  // namespace

std::shared_ptr<HVAdViewInternal> HVAdViewInternal::create(std::shared_ptr<HVAdSlot> slot,
                                                           std::shared_ptr<HalvernDelegate> delegate,
                                                           double refreshInterval) {
  auto internal = std::make_shared<HVAdViewInternal>(platform::Passkey<HVAdViewInternal>{}, std::move(slot));
  internal->init(std::move(delegate), refreshInterval);
  return internal;
}

HVAdViewInternal::HVAdViewInternal(platform::Passkey<HVAdViewInternal>, std::shared_ptr<HVAdSlot> slot)
    : m_slot(std::move(slot)) {}

HVAdViewInternal::~HVAdViewInternal() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  if (m_exitItemTimer) m_exitItemTimer->invalidate();
  m_displayTimeLimit.cancel();
  m_automaticRequest.cancel();
  m_delayedDisplay.cancel();
  for (const auto& connection : m_connections) connection->cancel();
  if (m_bridge) m_bridge->shutdown();
  if (m_webView) m_webView->setDelegate({});
}

void HVAdViewInternal::init(std::shared_ptr<HalvernDelegate> delegate, double refreshInterval) {
  const bool fullScreen = controlsFullScreenSlot();
  platform::Rect frame = platform::Screen::mainScreen().bounds();
  if (!fullScreen) {
    frame = platform::Rect(platform::Point{0, 0}, HVAdView::sizeForHVAdSize(m_slot->slotDescription().size()));
    m_delegate = std::move(delegate);
    setRefreshInterval(refreshInterval);
  }
  auto view = std::make_shared<platform::View>(frame);
  view->setOpaque(true);
  view->setBackgroundColor(platform::Color::rgba(0, 0, 0, 1));
  view->setAutoresizesSubviews(false);
  view->setClipsToBounds(true);
  // A banner takes touches once its content has loaded.
  view->setUserInteractionEnabled(fullScreen);
  setView(view);

  auto webView = HVDisplayWebView::create(view->bounds());
  m_webView = webView;
  m_webView->setAutoresizingMask(platform::kAutoresizingNone);
  m_webView->setDelegate(std::static_pointer_cast<HVAdViewInternal>(shared_from_this()));
  m_webView->setClipsToBounds(true);
  m_webView->setAllowsInlineMediaPlayback(true);

  auto self = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  m_standardHandler = std::make_shared<HVStandardCommandHandler>();
  m_applicationHandler = std::make_shared<HVApplicationCommandHandler>();
  m_audioHandler = std::make_shared<HVAudioCommandHandler>();
  m_cocoaHandler = std::make_shared<HVCocoaCommandHandler>();
  m_displayHandler = std::make_shared<HVDisplayCommandHandler>(self);
  m_bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(m_execMode, m_webView, nullptr);
  for (const auto& handler : {m_standardHandler, m_applicationHandler, m_audioHandler, m_cocoaHandler, m_displayHandler})
    m_bridge->addCommandHandler(handler);
  std::weak_ptr<HVAdViewInternal> weakSelf = self;
  webView->setUserTouchHandler([weakSelf] {
    if (auto internal = weakSelf.lock()) {
      internal->m_lastUserTouchAt = platform::Clock::current().monotonic();
      internal->m_bridge->collectAfterUserTouch();
    }
  });
  makeBrowserBar();
  view->addSubview(m_webView);
  view->sendSubviewToBack(m_webView);

  if (m_slot) {
    auto manager = controller()->adManager();
    if (!manager || !manager->registerListenerForSlotNamed(self, m_slot->slotDescription().name())) {
      throw platform::Exception("HVAdViewInternal initialization error.",
                                "No slot with the given name has been registered with the HVAdEngine.");
    }
  }
}

std::string HVAdViewInternal::baseURL() { return HVAdManager::adBaseURL(); }

std::string HVAdViewInternal::displayAdScript(const std::string& slotName, int64_t dlTime, double width, double height,
                                              bool fullScreen, int reachability) {
  return "displayAd(" + HVCommandHandler::singleQuoted(slotName) +
         platform::format(",%qi,%d,%d,%d,%d);", static_cast<long long>(dlTime), static_cast<int>(std::floor(width)),
                          static_cast<int>(std::floor(height)), fullScreen ? 1 : 0, reachability);
}

void HVAdViewInternal::setRefreshInterval(double seconds) {
  if (controlsFullScreenSlot()) {
    platform::log("HVAdEngine ignoring attempt to set refresh interval on a full-screen HVAdView.");
    return;
  }
  if (seconds > 0 && seconds < kMinimumRefreshInterval) {
    throw platform::Exception(
        "NSInvalidArgumentException",
        platform::format("Attempt to set refresh interval for slot named %@ less than the minimum value of %d seconds",
                         m_slot ? m_slot->slotDescription().name() : std::string(), static_cast<int>(kMinimumRefreshInterval)));
  }
  const bool started = seconds > 0 && !(m_refreshInterval > 0);
  m_refreshInterval = seconds > 0 ? seconds : 0;
  // An ad that arrived while the host still refreshed by hand waits for no one else: the
  // interval now brings it, as it brings the ones that arrive from here on.
  if (started && m_lastDisplayTime != 0 && m_hasDisplayedCurrentAd && m_slot->hasNextAdDownloaded())
    requestDisplay(true);
}

void HVAdViewInternal::adDownloadedForSlotNamed(const std::string& name) {
  if (controller()->serverReachability() == 0) return;
  if (controlsFullScreenSlot()) {
    if (m_bridge->isHVJSLoaded() || (m_slot && m_slot->isDisplayed())) {
      notifyDelegateAdReadyForSlotNamed(name);
    } else {
      loadScriptAndExecute("BridgeDisplay.notifyAdReadyDelayed(" + HVCommandHandler::singleQuoted(name) + ");");
    }
    return;
  }
  // Without automatic refresh the host decides when the next ad shows.
  if (m_lastDisplayTime != 0 && !(m_refreshInterval > 0)) return;
  requestDisplay(true);
}

bool HVAdViewInternal::isShowingAdForSlotNamed(const std::string& name, int64_t dlTime) {
  return m_slot && m_slot->slotDescription().name() == name && m_pendingDisplayDlTime == dlTime;
}

void HVAdViewInternal::requestDisplay(bool automatic) {
  const double elapsed = now() - m_lastDisplayTime;
  if (m_refreshInterval != 0) {
    const double limit = automatic ? m_refreshInterval : kMinimumRefreshInterval;
    if (elapsed < limit) {
      if (!automatic) {
        platform::log(platform::format(
            "HVAdEngine: Ignoring refresh attempt because the interval of %d seconds has not yet passed before the "
            "previous display.",
            static_cast<int>(kMinimumRefreshInterval)));
        return;
      }
      m_automaticRequest.cancel();
      std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
      m_automaticRequest = platform::RunLoop::main().postAfter(m_refreshInterval - elapsed, [weak] {
        if (auto self = weak.lock()) self->requestDisplay(true);
      });
      return;
    }
  } else if (elapsed < kMinimumRefreshInterval) {
    return;
  }
  display();
}

void HVAdViewInternal::refresh() {
  if (m_hasDisplayedCurrentAd) {
    requestDisplay(false);
    return;
  }
  platform::log(platform::format(
      "HVAdEngine: Ignoring refresh attempt for slot named %@ because the ad currently ready to be displayed for that "
      "slot has not yet been displayed.",
      m_slot ? m_slot->slotDescription().name() : std::string()));
}

bool HVAdViewInternal::display() {
  const bool fullScreen = controlsFullScreenSlot();
  if (!m_slot || m_isExpanded || m_isRefreshing) return false;
  const int64_t dlTime = m_slot->nextAdDlTime();
  // A banner whose content is still in the full-screen window (closing, say) would fade the
  // content itself rather than its place, and come back invisible. An ad kept off the screen
  // by the window is shown when the window frees.
  if (!fullScreen && (controller()->fullScreenAdWindow()->isDisplaying() ||
                      controller()->fullScreenAdWindow()->contentController().get() == this)) {
    m_displayRefusedWhileWindowBusy = dlTime != 0;
    return false;
  }
  if (dlTime == 0) return false;
  // An ad handed to the page waits for the page's word on it (shown, failed, or its time
  // limit): a newer one waits its turn, as one arriving while an ad fades in does. The page's
  // reports name no ad, so one cut short could report as the newer one: its draw would count
  // the newer ad for the content of the last.
  if (!fullScreen && m_pendingDisplayDlTime != 0) return false;
  m_displayRefusedWhileWindowBusy = false;
  m_delayedDisplay.cancel();
  // The next ad has not asked for the accelerometer the last one took.
  controller()->releaseAccelerometerFrom(this);

  m_slot->setIsDisplayed(true);
  m_requestBudget.reset();
  m_shouldWipeContentOnDismiss = false;
  m_hasDisplayedCurrentAd = false;
  m_reshownDlTime = 0;
  const auto& description = m_slot->slotDescription();
  const platform::Size size = HVAdView::sizeForHVAdSize(description.size());
  if (fullScreen) setExecMode(1);
  else view()->setFrame(platform::Rect(platform::Point{0, 0}, size));
  prepareAdViewBrowserMode(false);
  const int64_t superseded = m_pendingDisplayDlTime;
  armDisplayTimeLimit(dlTime);
  // An ad whose display a newer one cut short was kept on disk only for that display.
  if (superseded != 0 && superseded != dlTime && superseded != m_slot->dlTime() && superseded != m_slot->nextAdDlTime()) {
    if (auto manager = controller()->adManager())
      manager->deleteAdForSlotNamedFetchReplacement(superseded, description.name(), false);
  }
  m_displayOnFreshPage = !m_bridge->isHVJSLoaded();
  sendDisplayAdCall(dlTime);
  if (!m_displayOnFreshPage) {
    if (!fullScreen) {
      view()->setUserInteractionEnabled(false);
      m_isRefreshing = true;
      auto container = containerView();
      platform::View::animateWithDurationAnimations(kFadeDuration, [&] { container->setAlpha(0); });
    }
  }
  return true;
}

void HVAdViewInternal::sendDisplayAdCall(int64_t dlTime) {
  const auto& description = m_slot->slotDescription();
  const platform::Size size = HVAdView::sizeForHVAdSize(description.size());
  const std::string call = displayAdScript(description.name(), dlTime, size.width, size.height,
                                           controlsFullScreenSlot(), controller()->serverReachability());
  if (m_bridge->isHVJSLoaded()) sendToPage(call);
  else loadScriptAndExecute(call);
}

void HVAdViewInternal::armDisplayTimeLimit(int64_t dlTime) {
  m_pendingDisplayDlTime = dlTime;
  m_pendingContentLoaded = false;
  m_displayTimeLimit.cancel();
  std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  m_displayTimeLimit = platform::RunLoop::main().postAfter(kDisplayTimeLimit, [weak] {
    if (auto self = weak.lock()) self->abandonDisplay();
  });
}

void HVAdViewInternal::abandonDisplay() {
  m_displayTimeLimit.cancel();
  const int64_t dlTime = m_pendingDisplayDlTime;
  m_pendingDisplayDlTime = 0;
  m_pendingContentLoaded = false;
  m_hasDisplayedCurrentAd = true;
  m_isRefreshing = false;
  m_reshownDlTime = 0;
  if (!controlsFullScreenSlot()) {
    view()->setUserInteractionEnabled(true);
    // Whatever the page still shows is better than a banner faded out for good. A page loaded
    // afresh for this display (its browser had taken the last one) holds no ad at all: the ad
    // the banner showed last, still stored, comes back.
    containerView()->setAlpha(1);
    const int64_t last = m_slot ? m_slot->dlTime() : 0;
    if (std::exchange(m_displayOnFreshPage, false) && last != 0 && last != dlTime) {
      armDisplayTimeLimit(last);
      m_hasDisplayedCurrentAd = false;
      m_reshownDlTime = last;
      sendDisplayAdCall(last);
    }
  } else if (controller()->fullScreenAdWindow()->contentController().get() == this) {
    // The window opened already: it closes as when its page closes it, so that the host hears
    // the close and the slot is free for the next ad.
    dismiss();
  } else {
    m_slot->setIsDisplayed(false);
    auto window = controller()->fullScreenAdWindow();
    std::unique_lock<std::recursive_mutex> lock(window->lock());
    // The window tells the controller itself.
    if (window->isDisplaying() && !window->contentController()) window->setIsDisplaying(false);
  }
  if (dlTime == 0 || !m_slot) return;
  auto manager = controller()->adManager();
  if (!manager) return;
  const std::string& name = m_slot->slotDescription().name();
  // The ad that could not be shown goes, and with it comes a fetch for the slot (also when a
  // newer download has taken its place meanwhile: it was kept only for this display).
  if (m_slot->nextAdDlTime() == dlTime) {
    manager->deleteAdForSlotNamedFetchReplacement(dlTime, name, true);
    return;
  }
  if (m_slot->dlTime() != dlTime) manager->deleteAdForSlotNamedFetchReplacement(dlTime, name, false);
  manager->queueFetchForSlotNamed(name);
  // An ad that arrived while the page still held this one was turned away to wait for its
  // word: the word has come, so the waiting ad takes its turn as if it arrived now.
  if (!controlsFullScreenSlot() && m_pendingDisplayDlTime == 0 && m_slot->hasNextAdDownloaded())
    adDownloadedForSlotNamed(name);
}

void HVAdViewInternal::loadScriptAndExecute(const std::string& onload) {
  auto path = controller()->clientManager()->pathForComponent("display");
  if (!path) return;
  std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  const std::string attribute = HVJavascriptBridge::onloadAttributeText(onload);
  auto context = HVCallbackContext::contextWithCallbackInvocationPassResults(
      [weak, attribute](const HVCommandResult& result) {
        auto self = weak.lock();
        if (!self || !result.succeeded || !result.value) return;
        const auto& data = result.value->data();
        std::string script(data.begin(), data.end());
        script = script.substr(0, script.find('\0'));
        self->m_bridge->loadJavascriptStringExecuteBaseURL(script, attribute, platform::URL::create(baseURL()));
      },
      true);
  controller()->ioRequestManager()->sendAsyncCommand(HVIOReadRequest::requestWithPathToReadCallbackContext(*path, context));
}

void HVAdViewInternal::contentShown() {
  view()->setUserInteractionEnabled(true);
  m_isRefreshing = false;
}

void HVAdViewInternal::adContentDidLoad() {
  m_displayTimeLimit.cancel();
  m_pendingContentLoaded = m_pendingDisplayDlTime != 0;
  auto container = containerView();
  // Content the full-screen window holds (the user opened the ad while it loaded) is not in
  // its banner place: fading "its place" would fade the window, and the close brings the
  // place back.
  if (container->alpha() != 0 || m_isExpanded || controller()->fullScreenAdWindow()->contentController().get() == this) {
    contentShown();
  } else {
    view()->setAlpha(1);
    std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
    platform::View::animateWithDurationAnimationsCompletion(
        kFadeDuration, [&] { container->setAlpha(1); },
        [weak](bool) {
          if (auto self = weak.lock()) self->contentShown();
        });
  }
  if (m_slot) notifyDelegateAdReadyForSlotNamed(m_slot->slotDescription().name());
}

void HVAdViewInternal::adDisplayFailedForSlotNamed(const std::string& name) {
  // A page speaks for its own slot only.
  if (m_slot && name != m_slot->slotDescription().name()) return;
  m_hasDisplayedCurrentAd = true;
  m_isRefreshing = false;
  view()->setUserInteractionEnabled(true);
  if (m_pendingDisplayDlTime != 0) {
    abandonDisplay();
  } else if (controlsFullScreenSlot() && controller()->fullScreenAdWindow()->contentController().get() == this) {
    // A full-screen ad takes the window as its page starts loading it: one that then cannot
    // be read leaves a black window with nothing to close it by. It closes as when its page
    // closes it.
    dismiss();
  }
}

void HVAdViewInternal::adReadyDelayed(const std::string& name) {
  if (m_slot && name != m_slot->slotDescription().name()) return;
  notifyDelegateAdReadyForSlotNamed(name);
}

void HVAdViewInternal::adViewNeedsDisplay() {
  if (auto host = view()->superview()) host->setNeedsDisplay();
}

void HVAdViewInternal::adDisplayed() {
  // Counted once per ad handed to the page: later draws of the same ad change nothing.
  if (!m_slot || m_pendingDisplayDlTime == 0 || m_hasDisplayedCurrentAd) return;
  if (!m_bridge->isHVJSLoaded()) return;
  const int64_t shown = m_pendingDisplayDlTime;
  m_pendingContentLoaded = false;
  m_pendingDisplayDlTime = 0;
  m_displayTimeLimit.cancel();
  m_lastDisplayTime = now();
  m_hasDisplayedCurrentAd = true;
  const int64_t old = m_slot->dlTime();
  m_slot->setDlTime(shown);
  if (m_slot->nextAdDlTime() == shown) m_slot->setNextAdDlTime(0);
  sendToPage("adViewDisplayed();");
  auto manager = controller()->adManager();
  if (!manager) return;
  const std::string& name = m_slot->slotDescription().name();
  const bool fullScreen = controlsFullScreenSlot();
  if (old != 0 && old != shown) manager->deleteAdForSlotNamedFetchReplacement(old, name, !fullScreen);
  else if (old == 0 && !fullScreen) manager->queueFetchForSlotNamed(name);
  // An ad that arrived while this one faded in was turned away: it takes its turn at the interval.
  if (!fullScreen && m_refreshInterval > 0 && m_slot->hasNextAdDownloaded()) requestDisplay(true);
}

bool HVAdViewInternal::isAdReady() { return m_bridge->isHVJSLoaded(); }

void HVAdViewInternal::trackImpression() {
  if (!m_slot || m_slot->dlTime() == 0) return;
  // An ad shown again in a page of its own counted its impression when it first showed.
  if (m_reshownDlTime != 0 && std::exchange(m_reshownDlTime, 0) == m_slot->dlTime()) return;
  auto c = controller();
  std::weak_ptr<HVAdViewInternal> weak = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  auto context = HVCallbackContext::contextWithCallbackInvocationPassResults(
      [weak](const HVCommandResult& result) {
        auto self = weak.lock();
        if (self && result.succeeded && result.value) self->fetchUrlsStashedInDB(*result.value);
      },
      true);
  c->dbQueryManager()->sendAsyncCommand(HVDBQuery::queryWithQueryCallbackContext(
      c->database(), "SELECT trackers FROM ads WHERE slotName=? AND dlTime=?",
      platform::Array{Value(m_slot->slotDescription().name()), Value(m_slot->dlTime())}, context));
}

void HVAdViewInternal::fetchUrlsStashedInDB(const Value& rows) {
  if (!rows.isArray()) return;
  for (const auto& row : rows.array()) {
    if (!row.isArray() || row.array().size() != 1 || !row.array()[0].isString()) continue;
    const std::string& text = row.array()[0].string();
    const std::string_view separator = kTrackerSeparator;
    size_t start = 0;
    while (start <= text.size() && !text.empty()) {
      size_t end = text.find(separator, start);
      if (end == std::string::npos) end = text.size();
      const std::string url = HVBase64::stringWithBase64String(std::string_view(text).substr(start, end - start));
      if (!url.empty()) fetchUrl(url);
      start = end + separator.size();
    }
  }
}

void HVAdViewInternal::fetchUrlTimeoutCallback(const std::string& url, double timeout, const Value& callback) {
  Value userData;
  if (callback.isString()) {
    platform::Dictionary dictionary;
    dictionary.set("callback", callback);
    userData = Value(std::move(dictionary));
  }
  if (!m_requestBudget.allowRequest()) {
    if (callback.isString() && !callback.string().empty())
      sendToPage(HVCommandHandler::fillCallbackTemplate(callback.string(), "0"));
    return;
  }
  auto parsed = platform::URL::create(url);
  auto request = HVDownloadConnection::smallAnswerRequest(parsed ? parsed->absoluteString() : url);
  auto self = std::static_pointer_cast<HVAdViewInternal>(shared_from_this());
  std::weak_ptr<HVDownloadConnectionDelegate> delegate = std::static_pointer_cast<HVDownloadConnectionDelegate>(self);
  // The page's time-out, within the platform's longest; a ping "without time-out" (also one
  // that is no number, when the page sends "NaN") still ends.
  const double limit = timeout > 0 ? timeout : kPingTimeLimit;
  m_connections.insert(HVDownloadConnection::timedConnectionWithURLRequestDelegateUserDataTimeout(
      request, delegate, userData, limit));
}

void HVAdViewInternal::pageFetchUrlTimeoutCallback(const std::string& url, double timeout, const Value& callback) {
  if (isOnScreenFor("a ping")) {
    fetchUrlTimeoutCallback(url, timeout, callback);
  } else if (callback.isString() && !callback.string().empty()) {
    sendToPage(HVCommandHandler::fillCallbackTemplate(callback.string(), "0"));
  }
}

void HVAdViewInternal::refuseForUser(const std::string& what, const char* why) {
  if (m_webView->noteRefusalOnce(what + why))
    platform::log("HVAdViewInternal: refusing " + what + ": " + why + ".");
}

bool HVAdViewInternal::isOnScreenFor(const std::string& what) {
  if (m_webView->isShownOnScreen()) return true;
  refuseForUser(what, "the ad is not on screen");
  return false;
}

bool HVAdViewInternal::holdsUserTouch() {
  // A command counts as of the poll that collected it; a navigation as of now.
  const auto collectedAt = m_bridge->commandCollectedAt();
  const double at = collectedAt.value_or(platform::Clock::current().monotonic());
  if (m_webView->consumeUserActivationQueuedAt(at)) {
    // The touch is the client's to count from here on, from the moment it came (or, for an
    // activation granted other than by a finger on the view, from the moment it was taken).
    const bool touchGranted = m_lastUserTouchAt <= at && at - m_lastUserTouchAt < platform::kUserActivationSeconds;
    m_touchHonouredAt = touchGranted ? m_lastUserTouchAt : at;
    m_touchLeftAd = false;
    return true;
  }
  return at >= m_touchHonouredAt && at - m_touchHonouredAt < platform::kUserActivationSeconds;
}

bool HVAdViewInternal::mayActForUser(UserAct act, const std::string& what) {
  if (!isOnScreenFor(what)) return false;
  if (!holdsUserTouch()) {
    refuseForUser(what, "the user did not touch the ad");
    return false;
  }
  // Reporting the click leaves the touch to the act it reports.
  if (act == UserAct::kClick) return true;
  if (m_touchLeftAd) {
    refuseForUser(what, "the user's touch has already taken them away from the ad");
    return false;
  }
  m_touchLeftAd = true;
  return true;
}

bool HVAdViewInternal::wasTouchedByUser(const std::string& what) {
  if (!isOnScreenFor(what)) return false;
  if (holdsUserTouch() && !m_touchLeftAd) return true;
  refuseForUser(what, "the user did not touch the ad");
  return false;
}

void HVAdViewInternal::grantActsForNativeTouch() {
  m_touchHonouredAt = platform::Clock::current().monotonic();
  m_touchLeftAd = false;
}

void HVAdViewInternal::finishDownload(const std::shared_ptr<HVDownloadConnection>& connection, bool succeeded) {
  auto self = shared_from_this();
  m_connections.erase(connection);
  const Value& callback = connection->userData()["callback"];
  if (callback.isString() && !callback.string().empty())
    sendToPage(HVCommandHandler::fillCallbackTemplate(callback.string(), succeeded ? "1" : "0"));
}

void HVAdViewInternal::downloadSucceeded(const std::shared_ptr<HVDownloadConnection>& connection) {
  finishDownload(connection, true);
}

void HVAdViewInternal::downloadFailed(const std::shared_ptr<HVDownloadConnection>& connection) {
  finishDownload(connection, false);
}

void HVAdViewInternal::sendToPage(const std::string& script) { m_bridge->sendJavascriptCommand(script); }

void HVAdViewInternal::setDelegate(std::shared_ptr<HalvernDelegate> delegate) {
  if (controlsFullScreenSlot()) return;
  m_delegate = std::move(delegate);
}

void HVAdViewInternal::setExecMode(int mode) {
  if (mode == m_execMode) return;
  m_execMode = mode;
  m_bridge->handleExecModeUpdate(mode);
}

void HVAdViewInternal::applicationWillEnterForeground() {
  // Content in the full-screen window is not in its banner place: its close brings it back.
  if (m_isExpanded || controller()->fullScreenAdWindow()->contentController().get() == this) return;
  if (m_lastDisplayTime != 0) {
    if (m_refreshInterval > 0) refresh();
    return;
  }
  // The display time was reset (a click-through to another application): the next ad, if
  // one waits, shows now with its own fade; the ad still in the page stays until it does, and
  // so does an ad whose content loaded already (its fade-in has begun, only its draw is to come).
  if (!showsItsAd() && !m_pendingContentLoaded) {
    containerView()->setAlpha(0);
    view()->setUserInteractionEnabled(false);
  }
  refresh();
}

bool HVAdViewInternal::pageShowsItsAd() const {
  const bool holdsAd = (m_slot && m_slot->dlTime() != 0 && m_hasDisplayedCurrentAd) || m_pendingContentLoaded;
  return m_slot && holdsAd && m_bridge->showsOwnDocument();
}

bool HVAdViewInternal::showsItsAd() {
  return pageShowsItsAd() && !m_isRefreshing && !m_isBrowserMode && containerView()->alpha() != 0;
}

void HVAdViewInternal::fullScreenAdWindowDidClose() {
  // A refused automatic display comes back as one, kept to its interval.
  if (m_refreshInterval > 0) {
    requestDisplay(std::exchange(m_displayRefusedWhileWindowBusy, false));
    return;
  }
  // Back from a click-through to another application while the window served another ad, the
  // foreground left the banner alone: the next ad waiting shows now, as it would have then.
  if (m_lastDisplayTime == 0 && m_slot && m_slot->hasNextAdDownloaded()) m_displayRefusedWhileWindowBusy = true;
  retryDisplayRefusedWhileWindowBusy();
}

void HVAdViewInternal::retryDisplayRefusedWhileWindowBusy() {
  if (std::exchange(m_displayRefusedWhileWindowBusy, false)) display();
}

void HVAdViewInternal::adViewWillExpand() { sendToPage("RichAd.adViewWillExpand();"); }

void HVAdViewInternal::adViewDidCollapse() { sendToPage("RichAd.adViewDidCollapse();"); }

bool HVAdViewInternal::sendDelegateNotification(HalvernDelegate::Message message, const std::string& name) {
  auto delegate = m_delegate;
  if (!delegate || !(delegate->respondedMessages() & message)) return false;
  auto self = shared_from_this();
  switch (message) {
    case HalvernDelegate::kAdReadyForSlotNamed: delegate->halvernAdReadyForSlotNamed(name); break;
    case HalvernDelegate::kFullScreenDisplayWillOpen: delegate->halvernFullScreenDisplayWillOpen(); break;
    case HalvernDelegate::kFullScreenDisplayWillClose: delegate->halvernFullScreenDisplayWillClose(); break;
    case HalvernDelegate::kDidReceiveMemoryWarning: delegate->halvernDidReceiveMemoryWarning(); break;
    default: return false;
  }
  return true;
}

bool HVAdViewInternal::notifyDelegateAdReadyForSlotNamed(const std::string& name) {
  return sendDelegateNotification(HalvernDelegate::kAdReadyForSlotNamed, name);
}

bool HVAdViewInternal::notifyDelegateFullScreenAdDisplayWillOpen() {
  if (!sendDelegateNotification(HalvernDelegate::kFullScreenDisplayWillOpen)) return false;
  m_openHeardBy = m_delegate;
  return true;
}

bool HVAdViewInternal::notifyDelegateFullScreenAdDisplayWillClose() {
  controller()->fullScreenAdDisplayWillClose();
  // The host pairs the close with the open: a delegate set since hears neither.
  auto heard = std::exchange(m_openHeardBy, nullptr);
  if (!heard || !(heard->respondedMessages() & HalvernDelegate::kFullScreenDisplayWillClose)) return false;
  auto self = shared_from_this();
  heard->halvernFullScreenDisplayWillClose();
  return true;
}

bool HVAdViewInternal::notifyDelegateDidReceiveMemoryWarning() {
  return sendDelegateNotification(HalvernDelegate::kDidReceiveMemoryWarning);
}

void HVAdViewInternal::layout() {
  auto v = view();
  platform::Rect frame = v->bounds();
  if (!m_navigationBar->isHidden()) {
    frame.origin.y += kBrowserBarHeight;
    frame.size.height -= kBrowserBarHeight;
  }
  m_webView->setFrame(frame);
  m_navigationBar->setFrame(platform::Rect(0, 0, v->bounds().size.width, kBrowserBarHeight));
  if (!m_isBrowserMode && m_bridge->isHVJSLoaded()) {
    const auto bounds = m_webView->bounds();
    sendToPage(platform::format("centerAd(%f,%f,false);", bounds.size.width, bounds.size.height));
  }
}

std::shared_ptr<platform::View> HVAdViewInternal::containerView() {
  std::shared_ptr<platform::View> container = view();
  for (auto up = container->superview(); up; up = up->superview()) {
    const auto a = up->frame().size, b = container->frame().size;
    if (a.width != b.width || a.height != b.height) break;
    container = up;
  }
  return container;
}

void HVAdViewInternal::accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration& a) {
  // An ad that left the screen has gone: the application has its accelerometer back.
  if (!m_webView->isShownOnScreen()) {
    controller()->releaseAccelerometerFrom(this);
    return;
  }
  sendToPage(platform::format("accelerometerDidAccelerate(%f, %f, %f)", a.x, a.y, a.z));
}

}  // namespace halvern
