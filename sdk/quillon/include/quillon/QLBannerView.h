#pragma once
// A banner ad: a view the host places in its tree, gives an ad unit, a delegate and the view
// controller full-screen pages are presented from, and asks to load. It refreshes itself as
// the ad server says. Main thread only.
#include <memory>
#include <string>

#include "platform/passkey.h"
#include "platform/view.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "quillon/QLBannerViewDelegate.h"
#include "quillon/QLRequest.h"

namespace quillon {

class QLObjectPrivate;
class QLOpener;

class QLBannerView : public platform::View {
 public:
  static std::shared_ptr<QLBannerView> create(const platform::Rect& frame = platform::Rect{});
  ~QLBannerView() override;

  const std::string& adUnitID() const;
  void setAdUnitID(const std::string& adUnitID);
  // Not retained.
  std::shared_ptr<platform::ViewController> rootViewController() const;
  void setRootViewController(const std::shared_ptr<platform::ViewController>& controller);
  // Not retained.
  std::shared_ptr<QLBannerViewDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<QLBannerViewDelegate>& delegate);

  // Without a root view controller this fails at once (code 0) and loads nothing. A load
  // already under way, or one asked while the application is in the background, is ignored.
  void loadRequest(const std::shared_ptr<QLRequest>& request);

  // The web view that shows the ad (hidden until one has loaded).
  std::shared_ptr<platform::WebView> webView() const;
  bool hasAutoRefreshed() const;

  // For tests: the load state (0 new … 6 shown, 7 failed), and the opener taps go through.
  int stateForTesting() const;
  void setOpenerForTesting(std::shared_ptr<QLOpener> opener);

  using Passkey = platform::Passkey<QLBannerView>;
  QLBannerView(Passkey, const platform::Rect& frame) : QLBannerView(frame) {}

 protected:
  // For banners whose engine differs; their factory gives it.
  explicit QLBannerView(const platform::Rect& frame);
  void setPrivate(std::shared_ptr<QLObjectPrivate> engine) { private_ = std::move(engine); }

 private:
  std::shared_ptr<QLObjectPrivate> private_;
};

}  // namespace quillon
