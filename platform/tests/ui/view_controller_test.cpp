#include "platform/view_controller.h"

#include <gtest/gtest.h>

#include "platform/log.h"
#include "platform/navigation_controller.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

using namespace platform;

namespace {

// Writes its life into a shared log; may drop the last reference to itself on disappearing.
class LoggingController : public ViewController {
 public:
  LoggingController(std::string name, std::shared_ptr<std::vector<std::string>> log)
      : name_(std::move(name)), log_(std::move(log)) {}
  void viewDidLoad() override { log_->push_back(name_ + " viewDidLoad"); }
  void viewWillAppear(bool) override { log_->push_back(name_ + " willAppear"); }
  void viewDidAppear(bool) override { log_->push_back(name_ + " didAppear"); }
  void viewWillDisappear(bool) override { log_->push_back(name_ + " willDisappear"); }
  void viewDidDisappear(bool) override {
    log_->push_back(name_ + " didDisappear");
    if (onDidDisappear) onDidDisappear();
  }
  ~LoggingController() override { log_->push_back(name_ + " destroyed"); }
  std::function<void()> onDidDisappear;

 private:
  std::string name_;
  std::shared_ptr<std::vector<std::string>> log_;
};

class ViewControllerTest : public testkit::SandboxTest {
 protected:
  void TearDown() override {
    if (window) window->setHidden(true);
    window.reset();
    SandboxTest::TearDown();
  }
  template <class C = LoggingController>
  std::shared_ptr<C> make(std::string name) {
    return std::make_shared<C>(std::move(name), log);
  }
  // A visible full-screen window whose root controller is a new `name`.
  template <class C = LoggingController>
  std::shared_ptr<C> showRoot(std::string name) {
    window = Window::create({0, 0, 320, 480});
    window->makeKeyAndVisible();
    auto root = make<C>(std::move(name));
    window->setRootViewController(root);
    return root;
  }
  std::shared_ptr<Window> window;
  std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
};

TEST_F(ViewControllerTest, ModalPresentationOrderAcrossTurns) {
  auto root = showRoot("A");
  EXPECT_EQ(root->view()->frame(), (Rect{0, 20, 320, 460})) << "below the status bar";
  auto modal = make("B");
  log->clear();

  bool completed = false;
  root->presentViewControllerAnimatedCompletion(modal, true, [&] {
    completed = true;
    log->push_back("completion");
  });
  EXPECT_EQ(*log, (std::vector<std::string>{"B viewDidLoad"})) << "only the view loads inside the call";
  EXPECT_EQ(root->presentedViewController(), modal);
  EXPECT_EQ(modal->presentingViewController(), root);
  EXPECT_TRUE(modal->isBeingPresented());

  runUntilIdle();
  EXPECT_EQ(*log, (std::vector<std::string>{"B viewDidLoad", "A willDisappear", "B willAppear"}));
  EXPECT_EQ(modal->view()->window(), window);
  advance(kModalTransitionDuration - 0.01);
  EXPECT_FALSE(completed);
  advance(0.02);
  EXPECT_EQ(*log, (std::vector<std::string>{"B viewDidLoad", "A willDisappear", "B willAppear", "A didDisappear",
                                            "B didAppear", "completion"}));
  EXPECT_EQ(root->view()->superview(), nullptr) << "a full-screen presentation takes the presenter's view away";
  EXPECT_FALSE(modal->isBeingPresented());

  // A second presentation while one is up does nothing.
  auto third = make("C");
  root->presentModalViewControllerAnimated(third, false);
  EXPECT_EQ(root->presentedViewController(), modal);
  EXPECT_EQ(third->presentingViewController(), nullptr);

  log->clear();
  modal->dismissModalViewControllerAnimated(false);
  EXPECT_TRUE(log->empty());
  runUntilIdle();
  EXPECT_EQ(*log, (std::vector<std::string>{"B willDisappear", "A willAppear", "B didDisappear", "A didAppear"}));
  EXPECT_EQ(root->view()->superview(), window) << "the presenter's view returns";
  EXPECT_EQ(modal->view()->superview(), nullptr);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(modal->presentingViewController(), nullptr);
}

TEST_F(ViewControllerTest, DismissalCompletesWhenTheDelegateReleasesTheController) {
  auto root = showRoot("A");
  // The owner keeps the only reference and drops it when it hears the controller went.
  auto owned = make("B");
  std::weak_ptr<LoggingController> weak = owned;
  owned->onDidDisappear = [&] { owned.reset(); };
  root->presentModalViewControllerAnimated(owned, true);
  advance(1);
  log->clear();

  bool completed = false;
  weak.lock()->dismissViewControllerAnimatedCompletion(true, [&] { completed = true; });
  advance(1);
  EXPECT_TRUE(completed);
  EXPECT_EQ(*log, (std::vector<std::string>{"B willDisappear", "A willAppear", "B didDisappear", "A didAppear",
                                            "B destroyed"}))
      << "the controller outlives its own dismissal, then goes";
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(ViewControllerTest, StackedPresentationsAndTheirRefusals) {
  LogCapture warnings;
  auto a = showRoot("A");
  auto b = make("B");
  auto c = make("C");
  std::weak_ptr<LoggingController> weakB = b, weakC = c;
  a->presentModalViewControllerAnimated(b, false);
  runUntilIdle();

  // B presenting its own presenter would make the two own each other.
  b->presentModalViewControllerAnimated(a, false);
  EXPECT_EQ(b->presentedViewController(), nullptr);
  EXPECT_EQ(a->presentingViewController(), nullptr);
  EXPECT_EQ(warnings.lines().size(), 1u);

  // Dismissing B while C is still on its way up waits for nothing: it is refused.
  b->presentModalViewControllerAnimated(c, true);
  a->dismissModalViewControllerAnimated(false);
  EXPECT_EQ(warnings.lines().size(), 2u);
  EXPECT_FALSE(b->isBeingDismissed());
  advance(1);
  EXPECT_EQ(c->view()->window(), window);
  EXPECT_FALSE(c->isBeingPresented());

  // Once it is up, dismissing B takes C with it and leaves no link behind.
  bool done = false;
  a->dismissViewControllerAnimatedCompletion(false, [&] { done = true; });
  runUntilIdle();
  EXPECT_TRUE(done);
  EXPECT_EQ(warnings.lines().size(), 2u);
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(b->presentedViewController(), nullptr) << "B is not left presenting a controller that went";
  EXPECT_EQ(c->presentingViewController(), nullptr);
  EXPECT_EQ(c->view()->superview(), nullptr);

  // B can be shown again and present again.
  a->presentModalViewControllerAnimated(b, false);
  runUntilIdle();
  b->presentModalViewControllerAnimated(c, false);
  runUntilIdle();
  EXPECT_EQ(b->presentedViewController(), c);
  EXPECT_EQ(warnings.lines().size(), 2u);
  a->dismissModalViewControllerAnimated(false);
  runUntilIdle();
  b.reset();
  c.reset();
  EXPECT_TRUE(weakB.expired());
  EXPECT_TRUE(weakC.expired());
}

TEST_F(ViewControllerTest, NavigationStackForwardsAppearance) {
  auto root = showRoot("R");
  auto first = make("1");
  auto nav = NavigationController::createWithRootViewController(first);
  EXPECT_EQ(first->navigationController(), nav);
  EXPECT_TRUE(nav->isToolbarHidden());
  root->presentModalViewControllerAnimated(nav, false);
  runUntilIdle();
  EXPECT_NE(std::find(log->begin(), log->end(), "1 didAppear"), log->end());
  EXPECT_EQ(first->view()->frame(), (Rect{0, 44, 320, 416})) << "below the navigation bar";

  log->clear();
  auto second = make("2");
  nav->pushViewControllerAnimated(second, false);
  EXPECT_EQ(*log, (std::vector<std::string>{"2 viewDidLoad", "1 willDisappear", "2 willAppear", "1 didDisappear",
                                            "2 didAppear"}));
  EXPECT_EQ(nav->topViewController(), second);
  EXPECT_EQ(nav->navigationBar()->items().size(), 2u);
  nav->setToolbarHidden(false);
  nav->setNavigationBarHidden(true);
  EXPECT_EQ(second->view()->frame(), (Rect{0, 0, 320, 416}));

  log->clear();
  EXPECT_EQ(nav->popViewControllerAnimated(false), second);
  EXPECT_EQ(nav->popViewControllerAnimated(false), nullptr) << "the root stays";
  EXPECT_EQ(*log, (std::vector<std::string>{"2 willDisappear", "1 willAppear", "2 didDisappear", "1 didAppear"}));
  EXPECT_EQ(second->navigationController(), nullptr);
}

class RotatingController : public LoggingController {
 public:
  using LoggingController::LoggingController;
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) override { return o == 3 || o == 4; }
  void willRotateToInterfaceOrientationDuration(InterfaceOrientation o, double) override {
    events.push_back("will " + std::to_string(o));
  }
  void didRotateFromInterfaceOrientation(InterfaceOrientation from) override {
    events.push_back("did from " + std::to_string(from));
  }
  std::vector<std::string> events;
};

TEST_F(ViewControllerTest, RotationAsksTheControllerAndTurnsItsView) {
  auto root = showRoot<RotatingController>("R");
  EXPECT_FALSE(window->rotateToInterfaceOrientation(2)) << "refused";
  EXPECT_TRUE(window->rotateToInterfaceOrientation(3, 0.4));
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(), 3);
  EXPECT_EQ(root->interfaceOrientation(), 3);
  // The window less the 20-point status bar on the right, turned a quarter: 460 x 320 inside.
  EXPECT_EQ(root->view()->frame(), (Rect{0, 0, 300, 480}));
  EXPECT_EQ(root->view()->bounds().size, (Size{480, 300}));
  EXPECT_EQ(root->events, (std::vector<std::string>{"will 3"}));
  advance(0.4);
  EXPECT_EQ(root->events, (std::vector<std::string>{"will 3", "did from 1"}));
}

}  // namespace
