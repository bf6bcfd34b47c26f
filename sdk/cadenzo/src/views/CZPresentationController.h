#pragma once
// The operations the facade asks of whatever puts ad views on screen: show and take off an
// interstitial or the more-apps list, and the "Loading..." overlay. The default view
// controller of the view layer implements it; the facade talks to nothing else.
//
// Thread safety: main thread only.
#include <memory>

namespace cadenzo {

class CZImpression;

class CZPresentationController {
 public:
  virtual ~CZPresentationController() = default;
  virtual void displayInterstitial(const std::shared_ptr<CZImpression>& impression) = 0;
  virtual void displayMoreApps(const std::shared_ptr<CZImpression>& impression) = 0;
  virtual void dismissInterstitial(const std::shared_ptr<CZImpression>& impression) = 0;
  virtual void dismissMoreApps(const std::shared_ptr<CZImpression>& impression) = 0;
  virtual void displayLoadingView() = 0;
  virtual void dismissLoadingView() = 0;
  virtual bool loadingViewIsVisible() const = 0;
  // An ad view is on screen: a display now would be refused, so the facade must not count
  // it as shown (take it from the cache, send "show").
  virtual bool viewIsVisible() const { return false; }
};

}  // namespace cadenzo
