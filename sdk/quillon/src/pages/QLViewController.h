#pragma once
// What every full-screen page of the client shares: modal presentation from the host's
// controller, the delegate manager's present and dismiss events (only the first page of a
// stack brackets the stay with them; pages opened from it add none), the notifications
// that pause refresh timers while any page is shown, the status bar and the idle timer.
// A presented page keeps itself alive until it has given the screen back. However it leaves
// the screen (it closes, the host dismisses it or a controller under it, the page it was
// opened from goes), its stay ends once: the delegate events, the status bar, the idle
// timer, the notice that it gave the screen back, and letting itself go; the pages opened
// from it go with it. Main thread only.
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
  void viewWillDisappear(bool animated) override;
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
  class PageView;
  // What every road off the screen shares (see the top); once per stay.
  void endStay();
  // The view left the window: the page may have been taken away with a controller under it.
  void viewLeftWindow();
  // Dismissed from its presenter once no presentation or dismissal of the chain runs.
  void dismissWhenSettled();

  bool interactingWithParent_ = false;
  bool isFirst_ = false;
  bool leaving_ = false;
  // Closed while it still slid in: dismissed once it has arrived.
  bool dismissOnArrival_ = false;
  std::weak_ptr<platform::WebView> openingWebView_;
  int supportedOrientations_ = 1;
  std::shared_ptr<QLDelegateManager> delegateManager_;
  std::shared_ptr<QLViewController> presented_;  // itself, while on screen
  std::weak_ptr<QLViewController> opened_;       // the page presented from this one
  std::weak_ptr<platform::View> coverWatcher_;   // in the view of the screen on top of it
};

}  // namespace quillon
