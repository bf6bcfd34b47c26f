#pragma once
// A strip that wraps a banner view: it slides its ad in from below when a good ad arrives
// and out again on an error banner, on its own close button, or when a landing page opens.
// A landing page goes over the application, never inside the toast, even when the toast
// sits straight in the window; when it closes the toast shows again if its ad is still
// there (an ad that expanded and came back), else with the next good ad.
// Listeners given to addAdListener hear the inner banner view (it is their sender); the
// toast's own listener list is told after it has reacted, with the toast as sender.
//
// Ownership: made by the create… factories; the inner banner view is held by the view tree.
// Listeners and the delegate are not retained. Main thread only.
#include <memory>
#include <vector>

#include "pelora/PELOBannerView.h"
#include "platform/controls.h"
#include "platform/passkey.h"
#include "platform/view.h"

namespace pelora {

class PELOToastBannerView : public platform::View, public PELOAdDownloaderProtocol {
 public:
  static constexpr double kSlideSeconds = 0.3;

  // (0, 350, 320, 50).
  static std::shared_ptr<PELOToastBannerView> create();
  static std::shared_ptr<PELOToastBannerView> createWithFrame(const platform::Rect& frame);
  PELOToastBannerView(platform::Passkey<PELOToastBannerView>, const platform::Rect& frame);
  ~PELOToastBannerView() override;

  void showToast();
  void hideToast();

  std::shared_ptr<PELOBannerViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<PELOBannerViewDelegate> delegate) { delegate_ = std::move(delegate); }

  // Forwarded to the inner banner view.
  const platform::Color& backgroundColor() const;
  void setBackgroundColor(const platform::Color& color);
  void asyncLoadNewBanner() override;
  void addAdListener(const std::weak_ptr<PELOAdListenerProtocol>& listener) override;
  void removeAdListener(const std::shared_ptr<PELOAdListenerProtocol>& listener) override;
  std::shared_ptr<PELOAdSettings> adSettings() const override;
  void setAdSettings(std::shared_ptr<PELOAdSettings> settings) override;
  bool isLocationUpdateEnabled() const override;
  void setLocationUpdateEnabled(bool enabled) override;
  bool autoReloadEnabled() const override;
  void setAutoReloadEnabled(bool enabled) override;
  int autoReloadFrequency() const override;
  void setAutoReloadFrequency(int seconds) override;

  // ---- For tests ----
  const std::shared_ptr<platform::Button>& closeButtonForTesting() const { return closeButton_; }
  const std::shared_ptr<PELOBannerView>& bannerViewForTesting() const { return bannerView_; }
  // The toast's own listeners, told with the toast as sender.
  void addToastListenerForTesting(std::weak_ptr<PELOAdListenerProtocol> l) { toastListeners_.push_back(std::move(l)); }

 private:
  struct InnerListener;

  void onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOReceivedBannerProtocol>& banner);
  void endShowToastAnimation();
  void endHideToastAnimation();
  void landingPageWillBeDisplayed();
  void landingPageHasBeenClosed();

  std::weak_ptr<PELOBannerViewDelegate> delegate_;
  std::shared_ptr<platform::Button> closeButton_;
  std::shared_ptr<PELOBannerView> bannerView_;
  std::vector<std::weak_ptr<PELOAdListenerProtocol>> toastListeners_;
  std::shared_ptr<InnerListener> innerListener_;
  // Shown when a landing page opened, so shown again when it closes.
  bool hiddenForLandingPage_ = false;
  // Sliding out: hidden once the slide ends, unless shown again before.
  bool hiding_ = false;
};

}  // namespace pelora
