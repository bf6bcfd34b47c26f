#pragma once
// A full-screen ad: loaded in the background, ready once its page has finished loading, then
// shown over the host's controller when asked. A window may also be taken over with a
// placeholder image while the ad loads (given back as it was if none comes in time).
// Main thread only.
#include <memory>
#include <string>

#include "platform/image.h"
#include "platform/passkey.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "quillon/QLInterstitialDelegate.h"
#include "quillon/QLRequest.h"

namespace quillon {

class QLObjectPrivate;
class QLInterstitialAppController;
class QLWebAppViewController;

class QLInterstitial : public std::enable_shared_from_this<QLInterstitial> {
 public:
  static std::shared_ptr<QLInterstitial> create();
  ~QLInterstitial();

  // Not retained.
  std::shared_ptr<QLInterstitialDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<QLInterstitialDelegate>& delegate);
  const std::string& adUnitID() const;
  void setAdUnitID(const std::string& adUnitID);

  void loadRequest(const std::shared_ptr<QLRequest>& request);
  bool isReady() const;
  // Logs and does nothing unless ready, or while a page of this interstitial is on screen or
  // waits to go up once the screens on its way have settled.
  void presentFromRootViewController(const std::shared_ptr<platform::ViewController>& controller);
  // Takes `window` over with `image` while the ad loads, for at most the "applicationTimeout"
  // user default (seconds, fractions kept), then shows the ad or gives the window back.
  void loadAndDisplayRequestUsingWindowInitialImage(const std::shared_ptr<QLRequest>& request,
                                                    const std::shared_ptr<platform::Window>& window,
                                                    const std::shared_ptr<platform::Image>& image);

  // For tests: the load state (0 new … 6 ready, 7 failed).
  int stateForTesting() const;

  using Passkey = platform::Passkey<QLInterstitial>;
  explicit QLInterstitial(Passkey);

 private:
  friend class QLInterstitialAppController;
  // presentFromRootViewController, answering whether the page is presented.
  bool present(const std::shared_ptr<platform::ViewController>& controller);
  // Presents now, or once the screens on the way have settled.
  void presentOnceSettled(const std::shared_ptr<platform::ViewController>& controller);

  std::shared_ptr<QLObjectPrivate> private_;
  std::weak_ptr<QLWebAppViewController> shownPage_;
  bool presentWaits_ = false;  // a present waits for the screens to settle
};

}  // namespace quillon
