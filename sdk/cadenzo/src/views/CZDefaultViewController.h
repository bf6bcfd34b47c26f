#pragma once
// Puts the Cadenzo ad views on screen and takes them off again. Not a platform view
// controller: it adds an impression's view straight to the facade's window, rotates it to
// the interface orientation, plays the entry and exit transitions of CZAnimationManager,
// fades a dimming background in behind an interstitial, and shows a "Loading..." overlay
// while a click or a more-apps request is pending.
//
// One display at a time: a display while an interstitial or more-apps view is on screen is
// refused and shows nothing (the facade asks viewIsVisible() first, so that a refused ad is
// not counted as shown); a second loading overlay while one is up is not made.
// A view leaves the window when its exit transition ends, finished or cut short; the
// background stays in the window once added, hidden between displays. Both backgrounds keep alpha 0:
// they are seen through an opacity animation that stays on their layers.
// The host may put views of its own in the window while an ad is up (a late presentation, a
// dismissal that puts its root view back, a new root controller): at the end of that turn the
// client's views (background, ad, overlay) go back above them, in their own order, so they
// keep the touches until each leaves.
//
// Ownership: one process-wide object (nullptr on a system older than "4.0"), never
// destroyed while the process runs (tests get a fresh one on test reset). It holds each
// displayed impression from its display until its dismissal starts (let go at the end of
// that turn), and owns both background views and the loading overlay.
// Thread safety: sharedController() from any thread; everything else on the main thread.
#include <memory>
#include <set>
#include <vector>

#include "CZDefaultBackgroundView.h"
#include "CZImpression.h"
#include "CZLoadingView.h"
#include "CZPresentationController.h"
#include "platform/animation.h"
#include "platform/passkey.h"
#include "platform/view.h"

namespace cadenzo {

class CZDefaultViewController : public CZPresentationController,
                                public platform::AnimationDelegate,
                                public std::enable_shared_from_this<CZDefaultViewController> {
 public:
  static constexpr const char* kHideBackgroundViewContext = "kCZHideBackgroundView";
  static constexpr double kFadeDuration = 0.2555;

  static std::shared_ptr<CZDefaultViewController> sharedController();

  // CZPresentationController. A display while a view is visible does nothing.
  void displayInterstitial(const std::shared_ptr<CZImpression>& impression) override;
  void displayMoreApps(const std::shared_ptr<CZImpression>& impression) override;
  void dismissInterstitial(const std::shared_ptr<CZImpression>& impression) override;
  void dismissMoreApps(const std::shared_ptr<CZImpression>& impression) override;
  // Does nothing while an overlay is up.
  void displayLoadingView() override;
  void dismissLoadingView() override;
  bool loadingViewIsVisible() const override { return loadingViewIsVisible_; }

  // Sizes and rotates a full-screen view for the facade's orientation, keeping its centre.
  void orientView(const std::shared_ptr<platform::View>& view);

  // Ends a dismissal (the exit transition, with the impression as context, finished or cut
  // short) or the background's fade-out (cut short, only while no view is visible); only
  // animations that carry a context count.
  void animationDidStopFinished(const std::shared_ptr<platform::Animation>& animation, bool finished) override;

  bool viewIsVisible() const override { return viewIsVisible_; }
  std::shared_ptr<CZLoadingView> loadingView() const { return loadingView_; }
  void setLoadingView(std::shared_ptr<CZLoadingView> view) { loadingView_ = std::move(view); }
  const std::shared_ptr<CZDefaultBackgroundView>& backgroundView() const { return backgroundView_; }
  const std::shared_ptr<CZDefaultBackgroundView>& reversedBackgroundView() const { return reversedBackgroundView_; }

  // The answer's "animation", else 1 for interstitials and 3 for more-apps views.
  static int animationTypeForImpression(const CZImpression& impression);

  explicit CZDefaultViewController(platform::Passkey<CZDefaultViewController>);

 private:
  void beginDismissal(const std::shared_ptr<CZImpression>& impression);
  // What the dismissal animations call back: this controller, held weakly.
  std::shared_ptr<platform::AnimationDelegate> animationDelegate();
  void retainImpression(const std::shared_ptr<CZImpression>& impression);
  void releaseImpression(const std::shared_ptr<CZImpression>& impression);
  // Adds `view` to the window (or brings it to the front) and keeps it above the host's views
  // while it stays there, shown.
  void addInFront(const std::shared_ptr<platform::View>& view);
  void raiseOwnViews();

  std::shared_ptr<CZDefaultBackgroundView> backgroundView_;
  std::shared_ptr<CZDefaultBackgroundView> reversedBackgroundView_;
  bool viewIsVisible_ = false;
  std::shared_ptr<CZLoadingView> loadingView_;
  bool loadingViewIsVisible_ = false;
  std::set<std::shared_ptr<CZImpression>> displayed_;
  std::shared_ptr<platform::AnimationDelegate> animationDelegate_;
  std::vector<std::weak_ptr<platform::View>> inFront_;
  int raiseObserver_ = -1;
};

}  // namespace cadenzo
