#pragma once
// A navigation controller: a stack of controllers, a navigation bar at the top (shown by
// default) and a toolbar at the bottom (hidden by default), the top controller's view in
// between. Pushing and popping deliver the appearance callbacks of the two controllers
// involved while the navigation controller's view is in a window; its own appearance is
// forwarded to the top controller. Children are retained; each child's
// navigationController() is this controller. Main thread only.
#include <memory>
#include <vector>

#include "platform/bars.h"
#include "platform/view_controller.h"

namespace platform {

class NavigationController : public ViewController {
 public:
  explicit NavigationController(std::shared_ptr<ViewController> root = nullptr);
  static std::shared_ptr<NavigationController> createWithRootViewController(std::shared_ptr<ViewController> root);

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
  std::shared_ptr<ViewController> topViewController() const { return stack_.empty() ? nullptr : stack_.back(); }
  void pushViewControllerAnimated(const std::shared_ptr<ViewController>& vc, bool animated);
  // The popped controller; nothing is popped from a stack of one.
  std::shared_ptr<ViewController> popViewControllerAnimated(bool animated);

  const std::shared_ptr<NavigationBar>& navigationBar() const { return navigationBar_; }
  const std::shared_ptr<Toolbar>& toolbar() const { return toolbar_; }
  bool isNavigationBarHidden() const { return navigationBarHidden_; }
  void setNavigationBarHidden(bool hidden) { setNavigationBarHiddenAnimated(hidden, false); }
  void setNavigationBarHiddenAnimated(bool hidden, bool animated);
  bool isToolbarHidden() const { return toolbarHidden_; }
  void setToolbarHidden(bool hidden) { setToolbarHiddenAnimated(hidden, false); }
  void setToolbarHiddenAnimated(bool hidden, bool animated);

  void loadView() override;
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) override;

 protected:
  void forwardAppearance(int phase, bool animated) override;

 private:
  void layoutBars();
  void showTop();
  std::vector<std::shared_ptr<ViewController>> stack_;
  std::shared_ptr<NavigationBar> navigationBar_;
  std::shared_ptr<Toolbar> toolbar_;
  bool navigationBarHidden_ = false;
  bool toolbarHidden_ = true;
  bool appeared_ = false;
};

}  // namespace platform
