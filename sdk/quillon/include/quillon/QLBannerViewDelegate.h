#pragma once
// What a banner tells its host. Every method is optional. The banner is kept alive for the
// whole call, so a delegate may drop its last reference to it inside any of them.
#include <memory>

#include "platform/error.h"

namespace quillon {

class QLBannerView;

class QLBannerViewDelegate {
 public:
  virtual ~QLBannerViewDelegate() = default;
  // The ad page finished loading and is shown.
  virtual void adViewDidReceiveAd(const std::shared_ptr<QLBannerView>& view) { (void)view; }
  virtual void adViewDidFailToReceiveAdWithError(const std::shared_ptr<QLBannerView>& view,
                                                 const platform::Error& error) {
    (void)view;
    (void)error;
  }
  // A full-screen page of the ad is about to cover the application, gives the screen back,
  // and is gone.
  virtual void adViewWillPresentScreen(const std::shared_ptr<QLBannerView>& view) { (void)view; }
  virtual void adViewWillDismissScreen(const std::shared_ptr<QLBannerView>& view) { (void)view; }
  virtual void adViewDidDismissScreen(const std::shared_ptr<QLBannerView>& view) { (void)view; }
  // An ad action opens another application.
  virtual void adViewWillLeaveApplication(const std::shared_ptr<QLBannerView>& view) { (void)view; }
};

}  // namespace quillon
