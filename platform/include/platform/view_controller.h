#pragma once
// View controllers: a lazily made view, appearance and rotation callbacks, and modal
// presentation.
//
// Lazy view: view() calls loadView() (default: a plain view filling the screen's
// application frame, flexible width and height) and then viewDidLoad(), once.
//
// Modal presentation, as the platform orders it (A presents B):
//   the call     B's view is loaded; the links A.presentedViewController = B and
//                B.presentingViewController = A are set (A retains B until B is dismissed).
//   next turn    A.viewWillDisappear, B.viewWillAppear; B's view enters the window
//                (the presenter's window, else the key window) filling it below the status
//                bar (all of it with wantsFullScreenLayout).
//   end          A.viewDidDisappear and A's view leaves the window; B.viewDidAppear; the
//                completion. "End" is kModalTransitionDuration later on the Clock when
//                animated, the turn after the previous step when not.
// Dismissal (on B, or on A with B presented) mirrors it: the call marks it; next turn
// B.viewWillDisappear, A.viewWillAppear and A's view returns; at the end B's view leaves,
// B.viewDidDisappear, A.viewDidAppear, the links are cleared and the completion runs. Each
// controller is kept alive until its dismissal has ended, so a delegate may release it
// from any of these callbacks. Controllers presented on top of the dismissed one leave with
// it and their links are cleared too. Presenting from a controller that is already
// presenting, presenting a controller that is presented or presenting, or either call while
// a transition of the chain runs, logs a warning and does nothing; so does dismissing when
// nothing is presented.
//
// Rotation: Window-level simulation through rotateToInterfaceOrientation below.
// Main thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/view.h"

namespace platform {

class NavigationController;
class NavigationItem;
class BarButtonItem;

inline constexpr double kModalTransitionDuration = 0.3;

enum class ModalTransitionStyle : int { CoverVertical = 0, FlipHorizontal = 1, CrossDissolve = 2, PartialCurl = 3 };
enum class ModalPresentationStyle : int { FullScreen = 0, PageSheet = 1, FormSheet = 2, CurrentContext = 3 };

class ViewController : public Responder {
 public:
  ViewController();
  ~ViewController() override;
  static std::shared_ptr<ViewController> create() { return std::make_shared<ViewController>(); }

  std::shared_ptr<View> view();
  void setView(const std::shared_ptr<View>& view);
  bool isViewLoaded() const { return view_ != nullptr; }
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewDidUnload() {}
  virtual void didReceiveMemoryWarning() {}

  virtual void viewWillAppear(bool animated) { (void)animated; }
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewWillDisappear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }

  // Default: portrait only (orientation 1).
  virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) { return o == 1; }
  virtual void willRotateToInterfaceOrientationDuration(InterfaceOrientation o, double duration) {
    (void)o;
    (void)duration;
  }
  virtual void willAnimateRotationToInterfaceOrientationDuration(InterfaceOrientation o, double duration) {
    (void)o;
    (void)duration;
  }
  virtual void didRotateFromInterfaceOrientation(InterfaceOrientation from) { (void)from; }
  InterfaceOrientation interfaceOrientation() const { return interfaceOrientation_; }

  // Modal presentation (see above).
  void presentViewControllerAnimatedCompletion(const std::shared_ptr<ViewController>& vc, bool animated,
                                               std::function<void()> completion);
  void presentModalViewControllerAnimated(const std::shared_ptr<ViewController>& vc, bool animated) {
    presentViewControllerAnimatedCompletion(vc, animated, nullptr);
  }
  void dismissViewControllerAnimatedCompletion(bool animated, std::function<void()> completion);
  void dismissModalViewControllerAnimated(bool animated) { dismissViewControllerAnimatedCompletion(animated, nullptr); }
  std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
  std::shared_ptr<ViewController> modalViewController() const { return presented_; }
  std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }
  // The containing controller (a navigation controller), or nullptr.
  std::shared_ptr<ViewController> parentViewController() const { return parent_.lock(); }
  std::shared_ptr<NavigationController> navigationController() const;

  ModalTransitionStyle modalTransitionStyle() const { return transitionStyle_; }
  void setModalTransitionStyle(ModalTransitionStyle s) { transitionStyle_ = s; }
  ModalPresentationStyle modalPresentationStyle() const { return presentationStyle_; }
  void setModalPresentationStyle(ModalPresentationStyle s) { presentationStyle_ = s; }
  bool wantsFullScreenLayout() const { return wantsFullScreenLayout_; }
  void setWantsFullScreenLayout(bool w) { wantsFullScreenLayout_ = w; }
  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  std::shared_ptr<NavigationItem> navigationItem();
  const std::vector<std::shared_ptr<BarButtonItem>>& toolbarItems() const { return toolbarItems_; }
  void setToolbarItems(std::vector<std::shared_ptr<BarButtonItem>> items) { toolbarItems_ = std::move(items); }

  // True from a present or dismiss call until its end.
  bool isBeingPresented() const { return beingPresented_; }
  bool isBeingDismissed() const { return beingDismissed_; }

  std::shared_ptr<Responder> nextResponder() const override;

  // The frame a full-screen controller's view takes in `window`.
  Rect fullScreenFrameInWindow(const std::shared_ptr<Window>& window) const;

 protected:
  // Containment (navigation controllers).
  void addChild(const std::shared_ptr<ViewController>& child);
  void removeChild(const std::shared_ptr<ViewController>& child);
  const std::vector<std::shared_ptr<ViewController>>& children() const { return children_; }
  // A container forwards appearance to its visible child; the default forwards nothing.
  virtual void forwardAppearance(int phase, bool animated) { (void)phase; (void)animated; }

 private:
  friend class Window;
  friend class NavigationController;
  void appearance(int phase, bool animated);  // 0 will appear, 1 did appear, 2 will disappear, 3 did disappear
  void rotate(InterfaceOrientation to, double duration, int step);
  void finishPresent(const std::shared_ptr<ViewController>& vc, bool animated, std::function<void()> completion);
  void placeFullScreen(const std::shared_ptr<Window>& window);
  std::shared_ptr<View> view_;
  std::weak_ptr<View> restoreSuperview_;  // where this presenter's view goes back to
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  std::weak_ptr<ViewController> parent_;
  std::vector<std::shared_ptr<ViewController>> children_;
  std::shared_ptr<NavigationItem> navigationItem_;
  std::vector<std::shared_ptr<BarButtonItem>> toolbarItems_;
  ModalTransitionStyle transitionStyle_ = ModalTransitionStyle::CoverVertical;
  ModalPresentationStyle presentationStyle_ = ModalPresentationStyle::FullScreen;
  bool wantsFullScreenLayout_ = false;
  bool beingPresented_ = false;
  bool beingDismissed_ = false;
  InterfaceOrientation interfaceOrientation_ = 1;
  std::string title_;
};

}  // namespace platform
