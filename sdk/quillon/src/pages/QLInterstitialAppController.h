#pragma once
// Holds a window with a placeholder image while an interstitial loads: shows the ad when it
// arrives, or gives the window back as it was on failure, on time-out or once the ad is
// dismissed. Keeps itself alive until then. Main thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/image.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "quillon/QLInterstitial.h"

namespace quillon {

class QLInterstitialAppController : public platform::ViewController {
 public:
  // `timeout` in seconds, fractions kept.
  static std::shared_ptr<QLInterstitialAppController> createWithWindowImageTimeoutInterstitial(
      const std::shared_ptr<platform::Window>& window, const std::shared_ptr<platform::Image>& image, double timeout,
      const std::shared_ptr<QLInterstitial>& interstitial);

  // The user default "applicationTimeout" holds how long a takeover waits for its ad. Pages
  // and ad answers may set it from `text` (`from` names them in the log) to any number of
  // seconds up to kMaximumTimeout: zero or less is the server's switch that turns takeovers
  // off, while a huge value would hide the game behind one for good. Anything else (more,
  // no number, not finite) keeps the current value and is logged. True when stored.
  static constexpr double kMaximumTimeout = 30;
  static bool setApplicationTimeoutFrom(const std::string& text, const char* from);

  // Whether a takeover holds `window` now: a second one would take the first one's
  // placeholder for the host's views, and give the window back with it.
  static bool holdsWindow(const std::shared_ptr<platform::Window>& window);

  // The engine's own delegate for this takeover.
  std::shared_ptr<QLInterstitialDelegate> listener() const;
  // Runs `load` now when the application is active, else once it becomes active while the
  // takeover still holds the window (the engine loads nothing for an inactive application).
  void loadOnceActive(std::function<void()> load);
  bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation o) override {
    return o == platform::kInterfaceOrientationPortrait;
  }

  using Passkey = platform::Passkey<QLInterstitialAppController>;
  explicit QLInterstitialAppController(Passkey) {}

 private:
  class Listener;
  void start(const std::shared_ptr<platform::Window>& window, const std::shared_ptr<platform::Image>& image,
             double timeout);
  void didReceiveAd();
  void didFail(const platform::Error& error);
  void willDismiss();
  void didDismiss();
  void timedOut();
  void restoreWindowAndRelease();

  std::shared_ptr<QLInterstitial> interstitial_;
  std::weak_ptr<platform::Window> window_;
  // The window's former subviews, in their order; what the host takes out meanwhile stays out.
  std::shared_ptr<platform::View> formerSubviews_;
  std::shared_ptr<platform::View> imageView_;
  std::optional<platform::PerformHandle> timer_;
  bool statusBarWasHidden_ = false;
  bool restored_ = false;
  bool loading_ = false;
  bool shown_ = false;  // its page is up: it ends only as that page goes
  std::shared_ptr<Listener> listener_;
  std::shared_ptr<QLInterstitialAppController> self_;
};

}  // namespace quillon
