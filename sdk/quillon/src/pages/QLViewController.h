#pragma once
// What every full-screen page of the client shares: modal presentation from the host's
// controller, the delegate manager's present and dismiss events (only the first page of a
// stack brackets the stay with them; pages opened from it add none), the notifications
// that pause refresh timers while any page is shown, the status bar and the idle timer.
// A presented page keeps itself alive until it has given the screen back. Main thread only.
#include <memory>

#include "QLDelegateManager.h"
#include "QLOpener.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"

namespace quillon {

inline constexpr const char* kQLWillPresentFullScreenNotification = "QLViewControllerWillPresentFullScreen";
inline constexpr const char* kQLDidRelinquishFullScreenNotification = "QLViewControllerDidRelinquishFullScreen";

class QLViewController : public platform::ViewController, public QLFullScreenController {
 public:
  ~QLViewController() override;

  // Logs and does nothing without a controller to present from. The first page of a stack
  // hides the status bar while it is shown (see hidesStatusBar) and is presented from the key
  // window's root controller, or else from `controller`; in that case it is also told
  // viewDidAppear 0.6 s later, so that it takes touches even where that presentation never
  // says it has appeared. False, with nothing announced (no delegate event, notification,
  // status bar or idle timer change), when the page is not presented: no controller, already
  // presented, or the platform refused the presentation.
  bool presentFromViewController(const std::shared_ptr<platform::ViewController>& controller);
  // Whether this page opened the stack (presented from a controller that is no page of the client).
  bool isFirstQLViewController() const { return isFirst_; }
  // Gives the screen back; ignored unless presented and not already leaving.
  void relinquishScreen() override;
  bool respondsToRelinquishScreen() const override { return true; }
  bool isPresented() const { return presented_ != nullptr; }
  // "any" 1, "portrait" 2, "landscape" 3, anything else 0.
  static int orientationFromString(const std::string& text);
  bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation o) override;
  void viewDidAppear(bool animated) override;
  // Tells the shown page its new orientation.
  void didRotateFromInterfaceOrientation(platform::InterfaceOrientation from) override;
  // The web view whose page this controller shows, if any.
  virtual std::shared_ptr<platform::WebView> pageWebView() const { return nullptr; }

  int supportedOrientations() const { return supportedOrientations_; }
  void setSupportedOrientations(int o) { supportedOrientations_ = o; }
  // A manager without delegates is made on first use when none was given.
  std::shared_ptr<QLDelegateManager> delegateManager();
  void setDelegateManager(std::shared_ptr<QLDelegateManager> m) { delegateManager_ = std::move(m); }
  std::shared_ptr<platform::WebView> openingWebView() const { return openingWebView_.lock(); }
  void setOpeningWebView(std::weak_ptr<platform::WebView> w) { openingWebView_ = std::move(w); }
  bool interactingWithParent() const { return interactingWithParent_; }
  // Whether the first page of a stack hides the status bar while shown: always on systems
  // before 3.2, from 3.2 only in the full-screen presentation style.
  bool hidesStatusBar() const;
  // A page's "settings" message from `webView` may set the orientations
  // ("supportedorientations": "any", "portrait", "landscape").
  void observeSettingsFrom(const std::shared_ptr<platform::WebView>& webView);

 protected:
  QLViewController();
  void loadView() override;

 private:
  bool interactingWithParent_ = false;
  bool isFirst_ = false;
  bool leaving_ = false;
  // Closed while it still slid in: dismissed once it has arrived.
  bool dismissOnArrival_ = false;
  bool publisherIdleTimerDisabled_ = false;
  bool statusBarWasHidden_ = false;
  std::weak_ptr<platform::WebView> openingWebView_;
  int supportedOrientations_ = 1;
  std::shared_ptr<QLDelegateManager> delegateManager_;
  std::shared_ptr<QLViewController> presented_;  // itself, while on screen
};

}  // namespace quillon
