#include "quillon/QLInterstitial.h"

#include "QLInterstitialAppController.h"
#include "QLViewController.h"
#include "QLMacros.h"
#include "QLObjectPrivate.h"
#include "QLWebAppViewController.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/screen.h"
#include "platform/user_defaults.h"
#include "platform/window.h"

namespace quillon {

namespace {
constexpr const char* kApplicationTimeout = "applicationTimeout";
// How often a present the platform refused looks again whether the screens have settled.
constexpr double kTransitionPoll = 0.1;

// Whether a screen slides in or out on the way the page would be presented from.
bool transitionRuns(const std::shared_ptr<platform::ViewController>& controller) {
  auto key = platform::Application::sharedApplication().keyWindow();
  auto root = key && key->rootViewController() ? key->rootViewController() : controller;
  for (auto c = root; c; c = c->presentedViewController())
    if (c->isBeingPresented() || c->isBeingDismissed()) return true;
  return false;
}
}  // namespace

std::shared_ptr<QLInterstitial> QLInterstitial::create() {
  auto ad = std::make_shared<QLInterstitial>(Passkey{});
  std::weak_ptr<QLInterstitial> weak = ad;
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(ad.get(), "settings", nullptr, [](const platform::Notification& n) {
    if (!n.userInfo.isDictionary()) return;
    // Page messages reach the client with lower-case keys.
    const auto& p = n.userInfo.dictionary();
    const platform::Value* value = p.find("applicationtimeout");
    if (!value) value = p.find(kApplicationTimeout);
    if (!value || !value->isString() || value->string().empty()) return;
    QLInterstitialAppController::setApplicationTimeoutFrom(value->string(), "a page");
  });
  center.addObserver(ad.get(), "didReceiveWebAction", ad->private_->webView().get(),
                     [weak](const platform::Notification& n) {
                       auto self = weak.lock();
                       if (!self) return;
                       const platform::Value* action =
                           n.userInfo.isDictionary() ? n.userInfo.dictionary().find("a") : nullptr;
                       if (!action || action->string() == "open") self->private_->cancelPendingActions();
                     });
  return ad;
}

QLInterstitial::QLInterstitial(Passkey)
    : private_(QLObjectPrivate::createWithFrame(platform::Screen::mainScreen().bounds())) {
  platform::UserDefaults::standardUserDefaults().registerDefaults({{kApplicationTimeout, platform::Value(5.0)}});
}

QLInterstitial::~QLInterstitial() {
  private_->cancelPendingActions();
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

std::shared_ptr<QLInterstitialDelegate> QLInterstitial::delegate() const {
  return private_->delegateManager()->interstitialDelegate();
}

void QLInterstitial::setDelegate(const std::shared_ptr<QLInterstitialDelegate>& delegate) {
  private_->delegateManager()->setInterstitialDelegate(delegate);
  private_->delegateManager()->setInterstitial(weak_from_this());
}

const std::string& QLInterstitial::adUnitID() const { return private_->adUnitID(); }
void QLInterstitial::setAdUnitID(const std::string& adUnitID) { private_->setAdUnitID(adUnitID); }

void QLInterstitial::loadRequest(const std::shared_ptr<QLRequest>& request) {
  private_->delegateManager()->setInterstitial(weak_from_this());
  private_->loadInterstitialRequest(request);
}

bool QLInterstitial::isReady() const { return private_->state() == QLObjectPrivate::kStateShown; }
int QLInterstitial::stateForTesting() const { return private_->state(); }

void QLInterstitial::presentFromRootViewController(const std::shared_ptr<platform::ViewController>& controller) {
  if (presentWaits_) {
    // One present already waits for the screens to settle; a second would put the ad up again
    // once the first page has gone, a stay the host never asked for after that one.
    platform::log("<Quillon> Cannot present interstitial.  It is already on its way to the screen.");
    return;
  }
  presentOnceSettled(controller);
}

void QLInterstitial::presentOnceSettled(const std::shared_ptr<platform::ViewController>& controller) {
  // The page shown before may have closed and still wait on screen to go (under the mail
  // composer, which it goes after).
  auto shown = shownPage_.lock();
  const bool leaving = shown && !shown->isPresented() && shown->presentingViewController();
  if (!isReady() || !(leaving || transitionRuns(controller))) {
    present(controller);
    return;
  }
  // The platform refuses a presentation while a screen slides, or puts the page over one on its
  // way out (the mail composer over a page the host dismisses), so that the host would hear the
  // next stay begin before the last one ended: the ad goes up once they have settled and the
  // page before has gone, as a close waits for them too.
  presentWaits_ = true;
  std::weak_ptr<QLInterstitial> weak = weak_from_this();
  std::weak_ptr<platform::ViewController> from = controller;
  platform::RunLoop::main().postAfter(
      kTransitionPoll,
      [weak, from] {
        auto self = weak.lock();
        if (!self) return;
        self->presentWaits_ = false;
        if (auto controller = from.lock()) self->presentOnceSettled(controller);
      },
      this);
}

bool QLInterstitial::present(const std::shared_ptr<platform::ViewController>& controller) {
  if (!isReady()) {
    platform::log("<Quillon> Cannot present interstitial.  It is not ready.");
    return false;
  }
  if (auto shown = shownPage_.lock(); shown && shown->isPresented()) {
    // A second copy over the first would be a second stay, and a second impression, of one ad.
    platform::log("<Quillon> Cannot present interstitial.  It is already on screen.");
    return false;
  }
  auto page = QLWebAppViewController::create();
  page->setDelegateManager(private_->delegateManager());
  page->setSupportedOrientations(private_->supportedOrientations());
  page->setAdController(private_, private_->pendingClickURLs());
  page->loadHTMLBaseURL(private_->adHTMLString(), private_->adHTMLBaseURL());
  // The host hears the page come inside the presentation and may let go of this interstitial
  // there: it stays alive to note its page and count the impression.
  auto self = shared_from_this();
  // Shown again, tracked again (counted once against the ad's budget); a page that is not
  // shown is no impression.
  if (!page->presentFromViewController(controller)) return false;
  shownPage_ = page;
  private_->trackImpressions();
  return true;
}

void QLInterstitial::loadAndDisplayRequestUsingWindowInitialImage(const std::shared_ptr<QLRequest>& request,
                                                                  const std::shared_ptr<platform::Window>& window,
                                                                  const std::shared_ptr<platform::Image>& image) {
  double timeout = platform::UserDefaults::standardUserDefaults().doubleForKey(kApplicationTimeout);
  if (!(timeout > 0)) {
    platform::log("<Quillon> Interstitial has zero timeout.  Not displaying.");
    return;
  }
  if (!window) return;
  if (QLInterstitialAppController::holdsWindow(window)) {
    platform::log("<Quillon> Not taking over a window that an interstitial already holds.");
    return;
  }
  // A page of ours the user has open keeps the screen: the takeover would hide it and hand the
  // status bar back as that page had it.
  for (auto c = window->rootViewController(); c; c = c->presentedViewController())
    if (std::dynamic_pointer_cast<QLViewController>(c)) {
      platform::log("<Quillon> Not taking over a window while an ad's page is open.");
      return;
    }
  auto controller = QLInterstitialAppController::createWithWindowImageTimeoutInterstitial(window, image, timeout,
                                                                                           shared_from_this());
  private_->delegateManager()->setSdkInterstitialDelegate(controller->listener());
  std::weak_ptr<QLInterstitial> weak = shared_from_this();
  controller->loadOnceActive([weak, request] {
    if (auto self = weak.lock()) self->loadRequest(request);
  });
}

}  // namespace quillon
