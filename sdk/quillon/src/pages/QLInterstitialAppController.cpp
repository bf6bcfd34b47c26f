#include "QLInterstitialAppController.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "QLStatistics.h"
#include "platform/application.h"
#include "platform/controls.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/user_defaults.h"
#include "quillon/QLRequestError.h"

namespace quillon {

class QLInterstitialAppController::Listener : public QLInterstitialDelegate {
 public:
  explicit Listener(std::weak_ptr<QLInterstitialAppController> owner) : owner_(std::move(owner)) {}
  void interstitialDidReceiveAd(const std::shared_ptr<QLInterstitial>&) override {
    if (auto o = owner_.lock()) o->didReceiveAd();
  }
  void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<QLInterstitial>&,
                                               const platform::Error& error) override {
    if (auto o = owner_.lock()) o->didFail(error);
  }
  void interstitialWillDismissScreen(const std::shared_ptr<QLInterstitial>&) override {
    if (auto o = owner_.lock()) o->willDismiss();
  }
  void interstitialDidDismissScreen(const std::shared_ptr<QLInterstitial>&) override {
    if (auto o = owner_.lock()) o->didDismiss();
  }

 private:
  std::weak_ptr<QLInterstitialAppController> owner_;
};

namespace {
// The takeovers holding a window now (each keeps itself alive until it gives it back).
std::vector<std::weak_ptr<QLInterstitialAppController>>& takeovers() {
  static std::vector<std::weak_ptr<QLInterstitialAppController>> all;
  return all;
}
}  // namespace

std::shared_ptr<QLInterstitialDelegate> QLInterstitialAppController::listener() const { return listener_; }

bool QLInterstitialAppController::holdsWindow(const std::shared_ptr<platform::Window>& window) {
  auto& all = takeovers();
  std::erase_if(all, [](const auto& t) { return t.expired(); });
  return std::any_of(all.begin(), all.end(), [&](const auto& t) {
    auto takeover = t.lock();
    return takeover && !takeover->restored_ && takeover->window_.lock() == window;
  });
}

bool QLInterstitialAppController::setApplicationTimeoutFrom(const std::string& text, const char* from) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str() || !std::isfinite(seconds)) {
    platform::logf("<Quillon> Ignoring the time-out %@ from %@: it is no number.", text, std::string(from));
    return false;
  }
  if (seconds > kMaximumTimeout) {
    platform::logf("<Quillon> Ignoring the time-out %@ from %@: it is more than %.0f seconds.", text,
                   std::string(from), kMaximumTimeout);
    return false;
  }
  platform::UserDefaults::standardUserDefaults().setDoubleForKey(seconds, "applicationTimeout");
  return true;
}

std::shared_ptr<QLInterstitialAppController> QLInterstitialAppController::createWithWindowImageTimeoutInterstitial(
    const std::shared_ptr<platform::Window>& window, const std::shared_ptr<platform::Image>& image, double timeout,
    const std::shared_ptr<QLInterstitial>& interstitial) {
  auto controller = std::make_shared<QLInterstitialAppController>(Passkey{});
  controller->interstitial_ = interstitial;
  controller->start(window, image, timeout);
  return controller;
}

void QLInterstitialAppController::start(const std::shared_ptr<platform::Window>& window,
                                        const std::shared_ptr<platform::Image>& image, double timeout) {
  self_ = std::static_pointer_cast<QLInterstitialAppController>(platform::ViewController::shared_from_this());
  takeovers().push_back(self_);
  listener_ = std::make_shared<Listener>(self_);
  window_ = window;
  // The window's views wait off screen in a view of their own rather than in a list: what the
  // host takes out of it meanwhile (a banner it lets go, a screen it dismisses) is not put back.
  formerSubviews_ = std::make_shared<platform::View>(window->bounds());
  for (auto views = window->subviews(); const auto& view : views) formerSubviews_->addSubview(view);
  auto& app = platform::Application::sharedApplication();
  statusBarWasHidden_ = app.isStatusBarHidden();
  app.setStatusBarHiddenAnimated(true, false);
  std::weak_ptr<QLInterstitialAppController> weak = self_;
  timer_ = platform::RunLoop::main().postAfter(timeout, [weak] {
    if (auto self = weak.lock()) self->timedOut();
  });
  auto plain = std::make_shared<platform::View>(platform::Rect(0, 0, window->bounds().size.width,
                                                               window->bounds().size.height));
  setView(plain);
  window->addSubview(plain);
  imageView_ = image ? std::static_pointer_cast<platform::View>(platform::ImageView::createWithImage(image))
                     : std::make_shared<platform::View>();
  plain->addSubview(imageView_);
}

void QLInterstitialAppController::loadOnceActive(std::function<void()> load) {
  if (platform::Application::sharedApplication().applicationState() == platform::ApplicationState::Active) {
    loading_ = true;
    load();
    return;
  }
  // The host may start its application-open ad as the application comes back, before it is
  // active again.
  std::weak_ptr<QLInterstitialAppController> weak = self_;
  platform::NotificationCenter::defaultCenter().addObserver(
      this, platform::kApplicationDidBecomeActiveNotification, nullptr,
      [weak, load = std::move(load)](const platform::Notification&) {
        auto self = weak.lock();
        if (!self || self->restored_) return;
        platform::NotificationCenter::defaultCenter().removeObserver(self.get());
        self->loading_ = true;
        load();
      });
}

void QLInterstitialAppController::didReceiveAd() {
  // The host may load its interstitial again while the page is up: the window comes back as
  // that page goes, not under it.
  if (restored_ || shown_) return;
  if (timer_) timer_->cancel();
  auto self = self_;
  // A page that cannot be presented (the host's own presentation runs) never comes to be
  // dismissed: the window is given back now, as on a failure.
  shown_ = interstitial_->present(self);
  if (!shown_) restoreWindowAndRelease();
}

void QLInterstitialAppController::didFail(const platform::Error& error) {
  if (restored_ || shown_) return;
  if (timer_) timer_->cancel();
  if (error.code == kQLErrorNoFill) QLStatistics::sharedStatistics()->setAppOpenInterstitialNoFill();
  restoreWindowAndRelease();
}

void QLInterstitialAppController::timedOut() {
  if (restored_) return;
  // Only a load that ran can have taken too long.
  if (loading_) QLStatistics::sharedStatistics()->setAppOpenInterstitialTimeOut();
  platform::log("<Quillon> Interstitial request timed out.");
  // No page came, so none will be dismissed: nothing is kept for its end.
  restoreWindowAndRelease();
}

void QLInterstitialAppController::willDismiss() {
  // The window comes back as the page goes, but the interstitial is kept until its page has
  // gone: the host, which may have let go of it, still hears the stay end in full.
  auto self = self_;
  restoreWindowAndRelease();
  self_ = self;
}

void QLInterstitialAppController::didDismiss() {
  if (restored_) platform::RunLoop::main().keepAliveUntilEndOfTurn(std::exchange(self_, nullptr));
}

void QLInterstitialAppController::restoreWindowAndRelease() {
  if (restored_) return;
  restored_ = true;
  if (timer_) timer_->cancel();
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  auto self = self_;  // released at the end of the turn, not under our feet
  platform::Application::sharedApplication().setStatusBarHiddenAnimated(statusBarWasHidden_, false);
  if (imageView_) imageView_->removeFromSuperview();
  if (isViewLoaded()) view()->removeFromSuperview();
  // They go back under whatever was presented meanwhile (a page of another ad the host put up
  // over this one's), in their order: on top, they would cover it and its close button.
  if (auto window = window_.lock(); window && formerSubviews_) {
    size_t at = 0;
    for (auto views = formerSubviews_->subviews(); const auto& v : views) window->insertSubviewAtIndex(v, at++);
  }
  formerSubviews_.reset();
  self_.reset();
  platform::RunLoop::main().keepAliveUntilEndOfTurn(self);
}

}  // namespace quillon
