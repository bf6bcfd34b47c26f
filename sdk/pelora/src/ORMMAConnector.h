#pragma once
// The banner view's agent for what its ad pages ask. It keeps the slot's banner state,
// which the banner view consults before loading or taking a new ad: 0 unknown, 1 default,
// 2 expanded, 3 resized, 4 hidden, 5 loading video, 6 playing video.
// This first form knows the states and the page being shown; it lets no link or command
// of a page through yet (parseORMMAResponse answers false). Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/web_view.h"

namespace pelora {

class PELOBannerView;

class ORMMAConnector {
 public:
  enum PELOBannerState : int {
    kUnknown = 0, kDefault = 1, kExpanded = 2, kResized = 3, kHidden = 4, kLoadingVideo = 5, kPlayingVideo = 6,
  };

  // nullopt for a value outside the states.
  static std::optional<std::string> bannerStateString(int state);

  int bannerState() const { return bannerState_; }
  void setBannerState(int state) { bannerState_ = state; }
  bool isORMMA() const { return isORMMA_; }
  void setIsORMMA(bool v) { isORMMA_ = v; }
  std::shared_ptr<PELOBannerView> bannerView() const { return bannerView_.lock(); }
  void setBannerView(std::weak_ptr<PELOBannerView> view) { bannerView_ = std::move(view); }
  std::shared_ptr<platform::WebView> ormmaView() const { return ormmaView_.lock(); }
  // A new page: not known to be rich media, state unknown.
  void setOrmmaView(std::weak_ptr<platform::WebView> view);

  // Whether the ad web view may load `url` itself.
  bool parseORMMAResponse(const std::string& url);
  // The page has loaded: the slot is in its default state.
  void webViewFinishedLoad(bool richMedia);

 private:
  int bannerState_ = kUnknown;
  bool isORMMA_ = false;
  std::weak_ptr<PELOBannerView> bannerView_;
  std::weak_ptr<platform::WebView> ormmaView_;
};

}  // namespace pelora
