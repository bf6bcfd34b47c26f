#include "QLViewController.h"

#include "QLWebViewDelegate.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/graphics.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/screen.h"
#include "platform/singleton.h"
#include "platform/version_compare.h"
#include "platform/window.h"

namespace quillon {

QLViewController::QLViewController() { setModalTransitionStyle(platform::ModalTransitionStyle::CoverVertical); }

namespace {
// Where the host presents from a controller of its own rather than its window's root, that
// controller may not be on screen and its presentation may not say when it has appeared; the
// page takes touches again this long after, whatever it was told.
constexpr double kAppearanceFallbackDelay = 0.6;

// What the host had before the first of the ads' pages took the screen, given back as the last
// of them goes. Pages of different ads may come and go in any order (one presented over another
// as the host's own screen takes both away), so no single page can own it.
struct HostScreen {
  int pages = 0;
  bool statusBarWasHidden = false;
  bool idleTimerWasDisabled = false;
  bool statusBarHiddenByPage = false;
};
// Main thread only, as the pages are; a test reset starts it afresh with the application.
HostScreen& hostScreen() {
  return platform::processState<HostScreen>().with([](HostScreen& screen) -> HostScreen& { return screen; });
}
}  // namespace

QLViewController::~QLViewController() {
  platform::RunLoop::main().cancelPerforms(this);
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  if (isFirst_ && delegateManager_) delegateManager_->didDismissScreen();
}

// The page's view tells it when it leaves the window: the host may take the page away without
// a word to it, with a controller of its own under it.
class QLViewController::PageView : public platform::View {
 public:
  PageView(const platform::Rect& frame, std::weak_ptr<QLViewController> page) : View(frame), page_(std::move(page)) {}
  void didMoveToWindow() override {
    if (window()) return;
    if (auto page = page_.lock()) page->viewLeftWindow();
  }

 private:
  std::weak_ptr<QLViewController> page_;
};

void QLViewController::loadView() {
  auto view = std::make_shared<PageView>(
      platform::Screen::mainScreen().applicationFrame(),
      std::static_pointer_cast<QLViewController>(platform::ViewController::shared_from_this()));
  view->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
  view->setOpaque(true);
  view->setBackgroundColor(platform::Color{0, 0, 0, 1});
  view->setClipsToBounds(true);
  setView(view);
}

void QLViewController::observeSettingsFrom(const std::shared_ptr<platform::WebView>& webView) {
  std::weak_ptr<QLViewController> weak =
      std::static_pointer_cast<QLViewController>(platform::ViewController::shared_from_this());
  platform::NotificationCenter::defaultCenter().addObserver(
      this, "settings", webView.get(), [weak](const platform::Notification& n) {
        auto self = weak.lock();
        const platform::Value* value =
            n.userInfo.isDictionary() ? n.userInfo.dictionary().find("supportedorientations") : nullptr;
        if (!self || !value || !value->isString()) return;
        if (int orientations = orientationFromString(value->string())) self->supportedOrientations_ = orientations;
      });
}

std::shared_ptr<QLDelegateManager> QLViewController::delegateManager() {
  if (!delegateManager_) delegateManager_ = QLDelegateManager::create();
  return delegateManager_;
}

int QLViewController::orientationFromString(const std::string& text) {
  if (text == "any") return 1;
  if (text == "portrait") return 2;
  if (text == "landscape") return 3;
  return 0;
}

bool QLViewController::shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation o) {
  bool portrait = o == platform::kInterfaceOrientationPortrait || o == platform::kInterfaceOrientationPortraitUpsideDown;
  if (supportedOrientations_ == 2) return portrait;
  if (supportedOrientations_ == 3) return !portrait;
  return true;
}

bool QLViewController::presentFromViewController(const std::shared_ptr<platform::ViewController>& controller) {
  if (!controller) {
    platform::log("<Quillon> No UIViewController supplied to the ad.  Cannot continue.");
    return false;
  }
  if (presented_) return false;
  auto self = std::static_pointer_cast<QLViewController>(platform::ViewController::shared_from_this());
  const bool nested = std::dynamic_pointer_cast<QLViewController>(controller) != nullptr;
  std::shared_ptr<platform::ViewController> from = controller;
  auto& app = platform::Application::sharedApplication();
  auto key = app.keyWindow();
  auto root = key ? key->rootViewController() : nullptr;
  if (!nested) {
    if (root) from = root;
    // The host's root may already show something of its own: present from the top of it.
    while (from->presentedViewController()) from = from->presentedViewController();
  }
  view()->setUserInteractionEnabled(false);
  from->presentModalViewControllerAnimated(self, true);
  if (presentingViewController() != from) {
    // The platform would not present it (its presenter is busy or already presents): nothing
    // is on screen, so nobody is told so and nothing waits for the page to go.
    view()->setUserInteractionEnabled(true);
    platform::log("<Quillon> The full-screen page could not be presented.");
    return false;
  }
  presented_ = self;
  leaving_ = false;
  platform::NotificationCenter::defaultCenter().postNotificationName(kQLWillPresentFullScreenNotification, this);
  if (nested) {
    std::static_pointer_cast<QLViewController>(controller)->opened_ = self;
    return true;
  }
  isFirst_ = true;
  interactingWithParent_ = true;
  delegateManager()->willPresentScreen();
  auto& host = hostScreen();
  if (host.pages++ == 0) {
    host.statusBarWasHidden = app.isStatusBarHidden();
    host.idleTimerWasDisabled = app.isIdleTimerDisabled();
    host.statusBarHiddenByPage = false;
  }
  if (hidesStatusBar()) {
    app.setStatusBarHiddenAnimated(true, false);
    host.statusBarHiddenByPage = true;
  }
  app.setIdleTimerDisabled(true);
  if (!root) {
    std::weak_ptr<QLViewController> weak = self;
    platform::RunLoop::main().postAfter(
        kAppearanceFallbackDelay,
        [weak] {
          if (auto page = weak.lock()) page->viewDidAppear(true);
        },
        this);
  }
  return true;
}

bool QLViewController::hidesStatusBar() const {
  // Systems before 3.2 present every page over the whole screen; later ones only in the
  // full-screen style, the others leaving the status bar in sight around the page.
  return platform::compareVersions(platform::Device::currentDevice().systemVersion(), "3.2") < 0 ||
         modalPresentationStyle() == platform::ModalPresentationStyle::FullScreen;
}

void QLViewController::viewDidAppear(bool animated) {
  (void)animated;
  // A page that closed while this one (or one above it) was still on its way goes now.
  for (auto page = std::dynamic_pointer_cast<QLViewController>(presentingViewController()); page;
       page = std::dynamic_pointer_cast<QLViewController>(page->presentingViewController()))
    if (page->dismissOnArrival_) page->dismissWhenSettled();
  if (dismissOnArrival_) {
    // Shown again as a screen over it (the mail composer) goes: that one is still linked to
    // it, on its way out, until the end of the turn.
    std::weak_ptr<QLViewController> weak =
        std::static_pointer_cast<QLViewController>(platform::ViewController::shared_from_this());
    platform::RunLoop::main().post([weak] {
      if (auto page = weak.lock(); page && page->dismissOnArrival_) page->dismissWhenSettled();
    });
    return;
  }
  if (!view()->isUserInteractionEnabled() && !leaving_) {
    view()->setUserInteractionEnabled(true);
    interactingWithParent_ = false;
  }
}

void QLViewController::viewWillDisappear(bool animated) {
  platform::ViewController::viewWillDisappear(animated);
  // Dismissed by someone other than itself (the host, most likely): it still leaves only once.
  if (isBeingDismissed()) endStay();
}

void QLViewController::viewLeftWindow() {
  // The links to the presenter are cleared just after the view leaves, in the same turn.
  std::weak_ptr<QLViewController> weak =
      std::static_pointer_cast<QLViewController>(platform::ViewController::shared_from_this());
  platform::RunLoop::main().post([weak] {
    auto page = weak.lock();
    if (!page || !page->presented_) return;
    if (!page->presentingViewController()) {
      page->endStay();
      return;
    }
    // Covered by a screen presented over it (another ad's page, the mail composer), which took
    // its place in the window: when the host takes the page away with a controller under it,
    // only the top screen's view leaves the window, and the page hears it through that view.
    std::shared_ptr<platform::ViewController> top;
    for (auto c = page->presentedViewController(); c; c = c->presentedViewController()) top = c;
    if (auto watched = page->coverWatcher_.lock()) watched->removeFromSuperview();
    if (!top || !top->isViewLoaded()) return;
    auto watcher = std::make_shared<PageView>(platform::Rect(0, 0, 0, 0), page);
    watcher->setUserInteractionEnabled(false);
    page->coverWatcher_ = watcher;
    top->view()->addSubview(watcher);
  });
}

void QLViewController::didRotateFromInterfaceOrientation(platform::InterfaceOrientation from) {
  (void)from;
  if (auto page = pageWebView()) QLWebViewDelegate::notifyWebViewOfOrientationChange(*page, interfaceOrientation());
}

void QLViewController::relinquishScreen() {
  // A page may say "close" again, or the button be pressed while the page already goes.
  if (!presented_ || leaving_) return;
  auto self = presented_;
  endStay();
  dismissWhenSettled();
}

void QLViewController::dismissWhenSettled() {
  dismissOnArrival_ = false;
  auto presenting = presentingViewController();
  if (!presenting || presenting->presentedViewController().get() != this) return;
  // The platform refuses a dismissal while the page, or one opened over it, still slides in
  // or out, and the page would stay up for good, untouchable: it goes as soon as they arrive.
  for (std::shared_ptr<platform::ViewController> c =
           std::static_pointer_cast<platform::ViewController>(platform::ViewController::shared_from_this());
       c; c = c->presentedViewController()) {
    if (c->isBeingPresented() || c->isBeingDismissed()) {
      dismissOnArrival_ = true;
      return;
    }
  }
  presenting->dismissModalViewControllerAnimated(true);
}

void QLViewController::endStay() {
  if (!presented_ || leaving_) return;
  leaving_ = true;
  auto self = presented_;
  // A page on its way out is not made to appear again.
  platform::RunLoop::main().cancelPerforms(this);
  // The pages opened from this one leave with it, before it.
  if (auto opened = opened_.lock()) opened->endStay();
  opened_.reset();
  view()->setUserInteractionEnabled(false);
  if (isFirst_) {
    interactingWithParent_ = true;
    delegateManager()->willDismissScreen();
    auto& app = platform::Application::sharedApplication();
    if (auto& host = hostScreen(); host.pages > 0 && --host.pages == 0) {
      if (!host.statusBarWasHidden && host.statusBarHiddenByPage) app.setStatusBarHiddenAnimated(false, false);
      app.setIdleTimerDisabled(host.idleTimerWasDisabled);
    }
  } else {
    interactingWithParent_ = false;
  }
  platform::NotificationCenter::defaultCenter().postNotificationName(kQLDidRelinquishFullScreenNotification, this);
  presented_.reset();
  platform::RunLoop::main().keepAliveUntilEndOfTurn(self);
}

}  // namespace quillon
