#pragma once
// A dimmed full-screen overlay showing one medium-rectangle ad (300 x 250, centred) with a
// "Skip Ad" button. It starts loading at once; if no ad has arrived after 5 s (an error or
// silence) it dismisses itself; once an ad arrives it stays until skipped, or until a
// landing page opened from the ad is closed. Dismissing removes it from its superview.
//
// Ownership: made by the create… factories; owns its inner banner view. The delegate is not
// retained. Main thread only.
#include <memory>

#include "pelora/PELOBannerView.h"
#include "platform/controls.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"
#include "platform/view.h"

namespace pelora {

class PELOFullScreenBanner : public platform::View {
 public:
  static constexpr double kGiveUpSeconds = 5.0;
  static constexpr double kFadeSeconds = 0.4;

  // (0, 0, 320, 480).
  static std::shared_ptr<PELOFullScreenBanner> create();
  static std::shared_ptr<PELOFullScreenBanner> createWithFrame(const platform::Rect& frame);
  PELOFullScreenBanner(platform::Passkey<PELOFullScreenBanner>, const platform::Rect& frame);
  ~PELOFullScreenBanner() override;

  void dismissBanner();
  // Stops the give-up timer.
  void removeTimer();
  const std::shared_ptr<platform::Timer>& timer() const { return timer_; }
  void setTimer(std::shared_ptr<platform::Timer> timer) { timer_ = std::move(timer); }
  std::shared_ptr<PELOBannerViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<PELOBannerViewDelegate> delegate) { delegate_ = std::move(delegate); }

  // ---- For tests ----
  const std::shared_ptr<platform::Button>& skipButtonForTesting() const { return skipButton_; }
  const std::shared_ptr<platform::ActivityIndicatorView>& spinnerForTesting() const { return spinner_; }
  const std::shared_ptr<PELOBannerView>& bannerViewForTesting() const { return bannerView_; }

 private:
  // Hears the inner banner view on the overlay's behalf.
  struct InnerListener;

  void onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOReceivedBannerProtocol>& banner);

  std::shared_ptr<platform::Timer> timer_;
  std::weak_ptr<PELOBannerViewDelegate> delegate_;
  std::shared_ptr<platform::Button> skipButton_;
  std::shared_ptr<platform::ActivityIndicatorView> spinner_;
  std::shared_ptr<PELOBannerView> bannerView_;
  std::shared_ptr<InnerListener> innerListener_;
};

}  // namespace pelora
