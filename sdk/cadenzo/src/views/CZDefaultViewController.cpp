#include "CZDefaultViewController.h"

#include <algorithm>
#include <mutex>

#include "CZInterfaceOrientation.h"
#include "CZAnimationManager.h"
#include "CZContextualizedAnimation.h"
#include "cadenzo/Cadenzo.h"
#include "platform/run_loop.h"
#include "platform/screen.h"
#include "platform/singleton.h"
#include "platform/window.h"
#include "session/CZSystemVersion.h"

namespace cadenzo {

using platform::Passkey;
using platform::Rect;
using platform::View;

namespace {

// The controller lives for the process; tests start each from a fresh one.
platform::ResettableSingleton<CZDefaultViewController> gShared;

std::shared_ptr<platform::BasicAnimation> fade(std::shared_ptr<platform::BasicAnimation> a, double from, double to) {
  a->setFromValue(from);
  a->setToValue(to);
  a->setDuration(CZDefaultViewController::kFadeDuration);
  a->setRemovedOnCompletion(false);
  a->setFillMode(platform::kFillModeForwards);
  return a;
}

std::shared_ptr<View> viewOf(const std::shared_ptr<CZImpression>& impression) {
  return impression ? std::dynamic_pointer_cast<View>(impression->view()) : nullptr;
}

Rect frameOf(const std::shared_ptr<View>& view) { return view ? view->frame() : Rect(); }

// The animations that end a dismissal stay on their layers, and an animation retains its
// delegate; the controller owns the background those animations sit on. Pointing them at
// the controller through this weak link keeps that from becoming a cycle.
class WeakAnimationDelegate : public platform::AnimationDelegate {
 public:
  explicit WeakAnimationDelegate(std::weak_ptr<CZDefaultViewController> target) : target_(std::move(target)) {}
  void animationDidStopFinished(const std::shared_ptr<platform::Animation>& animation, bool finished) override {
    if (auto target = target_.lock()) target->animationDidStopFinished(animation, finished);
  }

 private:
  std::weak_ptr<CZDefaultViewController> target_;
};

std::shared_ptr<platform::Window> facadeWindow() {
  auto facade = Cadenzo::sharedCadenzo();
  return facade ? facade->window() : nullptr;
}

}  // namespace

std::shared_ptr<CZDefaultViewController> CZDefaultViewController::sharedController() {
  if (CZSystemVersionBelow("4.0")) return nullptr;
  return gShared.get([] { return std::make_shared<CZDefaultViewController>(Passkey<CZDefaultViewController>{}); });
}

CZDefaultViewController::CZDefaultViewController(Passkey<CZDefaultViewController>)
    : backgroundView_(CZDefaultBackgroundView::createWithFrame(Rect())),
      reversedBackgroundView_(CZDefaultBackgroundView::createWithFrame(Rect())) {
  for (const auto& background : {backgroundView_, reversedBackgroundView_}) {
    background->setAlpha(0);
    background->setHidden(true);
  }
  reversedBackgroundView_->setGradientReversed(true);
}

int CZDefaultViewController::animationTypeForImpression(const CZImpression& impression) {
  const int type = static_cast<int>(impression.responseContext().get("animation").integerValue());
  if (type != 0) return type;
  return impression.type() == CZImpressionTypeMoreApps ? 3 : 1;
}

void CZDefaultViewController::orientView(const std::shared_ptr<View>& view) {
  const Rect frame = frameOf(view);
  const platform::Point centre{frame.origin.x + frame.size.width / 2, frame.origin.y + frame.size.height / 2};
  const int orientation = CZInterfaceOrientation();
  if (!view) return;
  if (orientation == 3 || orientation == 4) view->setFrame(Rect(0, 0, frame.size.height, frame.size.width));
  else view->setFrame(Rect(0, 0, frame.size.width, frame.size.height));
  platform::AffineTransform transform;
  if (orientation == 4) transform = platform::AffineTransform::makeRotation(-platform::kPi / 2);
  else if (orientation == 3) transform = platform::AffineTransform::makeRotation(platform::kPi / 2);
  else if (orientation == 2) transform = platform::AffineTransform::makeRotation(-platform::kPi);
  view->setTransform(transform);
  view->setCenter(centre);
  view->setNeedsDisplay();
}

void CZDefaultViewController::retainImpression(const std::shared_ptr<CZImpression>& impression) {
  if (impression) displayed_.insert(impression);
}

void CZDefaultViewController::releaseImpression(const std::shared_ptr<CZImpression>& impression) {
  auto it = displayed_.find(impression);
  if (it == displayed_.end()) return;
  // The caller may be the impression's own view, inside its callback.
  platform::RunLoop::main().keepAliveUntilEndOfTurn(*it);
  displayed_.erase(it);
}

void CZDefaultViewController::displayInterstitial(const std::shared_ptr<CZImpression>& impression) {
  // Refused before anything is kept: the refused impression is its owner's to keep or drop.
  if (viewIsVisible_ || !impression) return;
  retainImpression(impression);
  auto view = viewOf(impression);
  orientView(view);
  viewIsVisible_ = true;
  auto window = facadeWindow();

  backgroundView_->setHidden(false);
  backgroundView_->setFrame(window ? window->frame() : Rect());
  backgroundView_->layer()->setZPosition(2.0);
  auto fadeIn = fade(platform::BasicAnimation::animationWithKeyPath("opacity"), 0, 1);
  addInFront(backgroundView_);
  backgroundView_->layer()->addAnimationForKey(fadeIn, "opacity");

  if (view) {
    CZAnimationManager::transitionInWithAnimationTypeLayer(animationTypeForImpression(*impression), view->layer());
    addInFront(view);
  }
}

void CZDefaultViewController::displayMoreApps(const std::shared_ptr<CZImpression>& impression) {
  if (viewIsVisible_ || !impression) return;
  retainImpression(impression);
  auto view = viewOf(impression);
  if (view) view->setBackgroundColor(platform::Color{0.19921875, 0.19921875, 0.19921875, 1});
  orientView(view);
  viewIsVisible_ = true;
  if (!view) return;
  view->setFrame(platform::Screen::mainScreen().applicationFrame());
  CZAnimationManager::transitionInWithAnimationTypeLayer(animationTypeForImpression(*impression), view->layer());
  addInFront(view);
}

void CZDefaultViewController::addInFront(const std::shared_ptr<View>& view) {
  auto window = facadeWindow();
  if (!window || !view) return;
  window->addSubview(view);
  std::erase_if(inFront_, [&](const auto& kept) { return kept.lock() == view; });
  inFront_.push_back(view);
  if (raiseObserver_ >= 0) return;
  // Checked once a turn, as a display pass is: whatever the host did in the turn is done.
  std::weak_ptr<CZDefaultViewController> weak = weak_from_this();
  raiseObserver_ = platform::RunLoop::main().addEndOfTurnObserver([weak] {
    if (auto self = weak.lock()) self->raiseOwnViews();
  });
}

void CZDefaultViewController::raiseOwnViews() {
  auto window = facadeWindow();
  std::vector<std::shared_ptr<View>> own;
  for (const auto& kept : inFront_) {
    auto view = kept.lock();
    if (view && window && view->superview() == window && !view->isHidden()) own.push_back(view);
  }
  inFront_.assign(own.begin(), own.end());
  if (own.empty()) {
    platform::RunLoop::main().removeEndOfTurnObserver(raiseObserver_);
    raiseObserver_ = -1;
    return;
  }
  const auto& stack = window->subviews();
  const auto top = stack.end() - static_cast<std::ptrdiff_t>(std::min(own.size(), stack.size()));
  if (stack.size() >= own.size() && std::equal(own.begin(), own.end(), top)) return;
  for (const auto& view : own) window->addSubview(view);
}

std::shared_ptr<platform::AnimationDelegate> CZDefaultViewController::animationDelegate() {
  if (!animationDelegate_) animationDelegate_ = std::make_shared<WeakAnimationDelegate>(weak_from_this());
  return animationDelegate_;
}

void CZDefaultViewController::beginDismissal(const std::shared_ptr<CZImpression>& impression) {
  auto view = viewOf(impression);
  if (view) {
    CZAnimationManager::transitionOutWithAnimationTypeLayerAnimationConfigurationBlock(
        animationTypeForImpression(*impression), view->layer(),
        [delegate = animationDelegate(), impression](const std::shared_ptr<platform::PropertyAnimation>& animation) {
          animation->setDelegate(delegate);
          if (auto* ctx = dynamic_cast<CZContextualizedAnimationProtocol*>(animation.get()))
            ctx->setContext(impression);
        });
  }
  impression->setState(CZImpressionStateDismissing);
}

void CZDefaultViewController::dismissInterstitial(const std::shared_ptr<CZImpression>& impression) {
  if (!impression) return;
  releaseImpression(impression);
  viewIsVisible_ = false;

  auto fadeOut = fade(CZContextualizedBasicAnimation::animationWithKeyPath("opacity"), 1, 0);
  fadeOut->setDelegate(animationDelegate());
  std::static_pointer_cast<CZContextualizedBasicAnimation>(fadeOut)->setContext(
      std::string(kHideBackgroundViewContext));
  backgroundView_->layer()->addAnimationForKey(fadeOut, "opacity");

  beginDismissal(impression);
}

void CZDefaultViewController::dismissMoreApps(const std::shared_ptr<CZImpression>& impression) {
  if (!impression) return;
  releaseImpression(impression);
  viewIsVisible_ = false;
  beginDismissal(impression);
}

void CZDefaultViewController::animationDidStopFinished(const std::shared_ptr<platform::Animation>& animation,
                                                       bool finished) {
  auto* contextual = dynamic_cast<CZContextualizedAnimationProtocol*>(animation.get());
  if (!contextual) return;
  const std::any context = contextual->context();
  if (const auto* impression = std::any_cast<std::shared_ptr<CZImpression>>(&context)) {
    auto keep = *impression;
    contextual->setContext({});
    // An exit cut short (the system strips a leaving application's animations) still ends
    // the dismissal: the view's callbacks go with its impression, so a view left behind
    // would cover the application with nothing that can close it.
    if (keep && keep->state() == CZImpressionStateDismissing) {
      keep->setState(CZImpressionStateIdle);
      if (auto view = viewOf(keep)) view->removeFromSuperview();
    }
  } else if (const auto* text = std::any_cast<std::string>(&context)) {
    // A fade-out replaced by the next display's fade-in leaves the background to that ad.
    if (*text == kHideBackgroundViewContext && (finished || !viewIsVisible_)) backgroundView_->setHidden(true);
  }
}

void CZDefaultViewController::displayLoadingView() {
  // A second overlay would leave the first one on screen for good.
  if (loadingViewIsVisible_) return;
  const Rect appFrame = platform::Screen::mainScreen().applicationFrame();
  setLoadingView(CZLoadingView::createWithFrame(appFrame));
  orientView(loadingView_);
  loadingView_->layer()->setZPosition(2.5);

  auto window = facadeWindow();
  reversedBackgroundView_->setHidden(false);
  reversedBackgroundView_->setFrame(window ? window->frame() : Rect());
  reversedBackgroundView_->layer()->setZPosition(2.5);
  auto fadeIn = fade(platform::BasicAnimation::animationWithKeyPath("opacity"), 0, 1);
  addInFront(reversedBackgroundView_);
  reversedBackgroundView_->layer()->addAnimationForKey(fadeIn, "opacity");
  addInFront(loadingView_);
  loadingView_->layer()->addAnimationForKey(fadeIn, "opacity");
  loadingViewIsVisible_ = true;
}

void CZDefaultViewController::dismissLoadingView() {
  reversedBackgroundView_->setHidden(true);
  if (loadingView_) loadingView_->removeFromSuperview();
  setLoadingView(nullptr);
  loadingViewIsVisible_ = false;
}

}  // namespace cadenzo
