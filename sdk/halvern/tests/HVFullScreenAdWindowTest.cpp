#include "HVFullScreenAdWindow.h"

#include <gtest/gtest.h>

#include "HVController.h"
#include "HVFullScreenAdController.h"
#include "platform/accelerometer.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/runtime.h"
#include "platform/screen.h"
#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::Application;
using platform::DeviceOrientation;
using platform::Rect;
using platform::View;

// A banner's display view as the window sees it: its view sits in a host view (the
// container) inside the application's window; it records what the window tells it.
class BannerContent final : public HVFullScreenAdWindowContent, public platform::AccelerometerDelegate {
 public:
  explicit BannerContent(bool clickThrough) : clickThrough(clickThrough) {}
  bool controlsFullScreenSlot() const override { return false; }
  bool shouldWipeContentOnDismiss() const override { return clickThrough; }
  std::shared_ptr<View> containerView() override { return view()->superview(); }
  void fullScreenAdWindowWillOpen() override { heard.push_back("willOpen"); }
  void fullScreenAdWindowWillClose() override { heard.push_back("willClose"); }
  void adViewWillExpand() override { heard.push_back("willExpand"); }
  void adViewDidCollapse() override { heard.push_back("didCollapse"); }
  void prepareAdViewBrowserMode(bool on) override { heard.push_back(on ? "browser" : "ad"); }
  void layout() override { ++layouts; }
  void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration&) override {}
  void loadView() override { setView(std::make_shared<View>(Rect(0, 0, 320, 50))); }
  bool clickThrough;
  std::vector<std::string> heard;
  int layouts = 0;
};

class HVFullScreenAdWindowTest : public testing::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    appWindow = platform::Window::create(platform::Screen::mainScreen().bounds());
    root = std::make_shared<View>(platform::Screen::mainScreen().applicationFrame());
    appWindow->addSubview(root);
    host = std::make_shared<View>(Rect(0, 410, 320, 50));
    root->addSubview(host);
    appWindow->makeKeyAndVisible();
    window = HVController::sharedController()->fullScreenAdWindow();
    window->setDisplayingObserver([this](bool displaying) { marks.push_back(displaying); });
  }
  void TearDown() override {
    HVController::sharedController()->shutdown();
    SandboxTest::TearDown();
  }
  std::shared_ptr<BannerContent> banner(bool clickThrough) {
    auto content = std::make_shared<BannerContent>(clickThrough);
    host->addSubview(content->view());
    return content;
  }
  bool lastAnimationIs(const char* id, double duration) {
    auto all = View::committedAnimations();
    return !all.empty() && all.back().identifier == id && all.back().duration == duration;
  }
  Application& app() { return Application::sharedApplication(); }

  std::shared_ptr<platform::Window> appWindow;
  std::shared_ptr<View> root, host;
  std::shared_ptr<HVFullScreenAdWindow> window;
  std::vector<bool> marks;
};

TEST_F(HVFullScreenAdWindowTest, BannerContentMovesInAfterItsFadeAndBackWhenClosed) {
  for (bool clickThrough : {false, true}) {
    SCOPED_TRACE(clickThrough ? "click-through" : "expansion");
    window->setIsDisplaying(true);
    auto content = banner(clickThrough);
    window->displayController(content);
    EXPECT_EQ(host->alpha(), 0);
    EXPECT_TRUE(lastAnimationIs(HVFullScreenAdWindow::kContentFadeOutAnimation, 0.8));
    EXPECT_EQ(content->view()->superview(), host);
    EXPECT_TRUE(appWindow->isKeyWindow());

    advance(0.8);
    EXPECT_EQ(content->view()->superview(), window);
    EXPECT_EQ(content->view()->frame(), Rect(0, 0, 320, 480));
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_TRUE(app().isStatusBarHidden());
    EXPECT_FALSE(window->isUserInteractionEnabled());
    advance(0.8);
    EXPECT_TRUE(window->isUserInteractionEnabled());
    // Only a click-through page turns into the browser, over a hidden application.
    EXPECT_EQ(appWindow->isHidden(), clickThrough);
    const std::vector<std::string> opened =
        clickThrough ? std::vector<std::string>{"willOpen", "browser"} : std::vector<std::string>{"willOpen", "willExpand"};
    EXPECT_EQ(content->heard, opened);

    content->heard.clear();
    window->dismiss();
    EXPECT_FALSE(app().isStatusBarHidden());
    EXPECT_EQ(root->frame(), Rect(0, 20, 320, 460));
    EXPECT_FALSE(appWindow->isHidden());
    advance(0.8);
    EXPECT_EQ(content->view()->superview(), host);
    EXPECT_EQ(host->subviews().front(), content->view());
    EXPECT_EQ(content->view()->frame(), Rect(0, 0, 320, 50));
    EXPECT_TRUE(appWindow->isKeyWindow());
    // A click-through's banner stays blank until its next ad.
    EXPECT_EQ(host->alpha(), clickThrough ? 0 : 1);
    const std::vector<std::string> closed =
        clickThrough ? std::vector<std::string>{"willClose"} : std::vector<std::string>{"willClose", "didCollapse"};
    EXPECT_EQ(content->heard, closed);
    EXPECT_TRUE(window->isDisplaying());
    advance(0.39);
    EXPECT_TRUE(window->isDisplaying());
    advance(0.02);
    EXPECT_FALSE(window->isDisplaying());
    EXPECT_EQ(window->contentController(), nullptr);
    content->view()->removeFromSuperview();
    host->setAlpha(1);
  }
  EXPECT_EQ(marks, (std::vector<bool>{true, false, true, false}));
}

TEST_F(HVFullScreenAdWindowTest, CloseWithoutAnimationDuringTheOpeningEndsItAtOnce) {
  window->setIsDisplaying(true);
  auto content = banner(false);
  window->displayController(content);
  window->dismissAnimated(false);
  EXPECT_FALSE(window->isDisplaying());
  EXPECT_EQ(host->alpha(), 1);
  EXPECT_EQ(content->heard, (std::vector<std::string>{"willClose", "didCollapse"}));
  // The fade's end finds the opening cancelled: nothing moves into the window.
  advance(2);
  EXPECT_EQ(content->view()->superview(), host);
  EXPECT_TRUE(appWindow->isKeyWindow());
  EXPECT_FALSE(app().isStatusBarHidden());
  EXPECT_EQ(content->heard.size(), 2u);
}

TEST_F(HVFullScreenAdWindowTest, ContentTurnsWithTheDeviceUnlessFlatOrReadingTheAccelerometer) {
  struct Case {
    DeviceOrientation orientation;
    bool accelerometer;
    platform::AffineTransform expected;
  };
  const Case cases[] = {
      {DeviceOrientation::LandscapeLeft, false, {0, 1, -1, 0, 0, 0}},
      {DeviceOrientation::PortraitUpsideDown, false, {-1, 0, 0, -1, 0, 0}},
      {DeviceOrientation::FaceUp, false, {}},
      {DeviceOrientation::LandscapeRight, true, {}},
  };
  auto& device = platform::Device::currentDevice();
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.orientation));
    device.setOrientation(DeviceOrientation::Portrait);
    auto content = banner(false);
    window->displayController(content);
    advance(1.6);
    platform::Accelerometer::sharedAccelerometer().setDelegate(
        c.accelerometer ? std::weak_ptr<platform::AccelerometerDelegate>(content) : std::weak_ptr<platform::AccelerometerDelegate>());
    const int layouts = content->layouts;
    device.setOrientation(c.orientation);
    EXPECT_EQ(content->view()->transform(), c.expected);
    // Turned or not, the content covers the screen.
    EXPECT_EQ(content->view()->frame(), Rect(0, 0, 320, 480));
    EXPECT_EQ(content->layouts, c.expected.isIdentity() ? layouts : layouts + 1);
    window->dismissAnimated(false);
    content->view()->removeFromSuperview();
  }
  EXPECT_FALSE(device.isGeneratingDeviceOrientationNotifications());
}

TEST_F(HVFullScreenAdWindowTest, StatusBarIsFadedOrHiddenAndGivenBackAsItWas) {
  struct Case {
    const char* name;
    bool statusBarWindow;
    bool hiddenBefore;
  };
  const Case cases[] = {{"hidden", false, false}, {"status-bar window", true, false}, {"already hidden", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::Runtime::setAvailable("UIApplication.statusBarWindow", c.statusBarWindow);
    if (c.statusBarWindow) HVController::sharedController()->setSbwPropName(HVFullScreenAdWindow::kStatusBarWindowKey);
    app().setStatusBarHidden(c.hiddenBefore);
    window->hideStatusBarAnimated(true);
    EXPECT_EQ(app().isStatusBarHidden(), !c.statusBarWindow);
    if (c.statusBarWindow) {
      EXPECT_EQ(app().statusBarWindow()->alpha(), 0);
      EXPECT_TRUE(lastAnimationIs("", 1.0));
    }
    // The application's view grows under a hidden bar; only the bar the window hid gives it
    // its frame back.
    root->setFrame(Rect(0, 0, 320, 480));
    window->restoreStatusBarAnimated(false);
    EXPECT_EQ(app().isStatusBarHidden(), c.hiddenBefore);
    if (c.statusBarWindow) {
      EXPECT_EQ(app().statusBarWindow()->alpha(), 1);
    }
    const bool restored = !c.statusBarWindow && !c.hiddenBefore;
    EXPECT_EQ(root->frame(), restored ? Rect(0, 20, 320, 460) : Rect(0, 0, 320, 480));
    root->setFrame(Rect(0, 20, 320, 460));
  }
}

TEST_F(HVFullScreenAdWindowTest, ForegroundPutsBackWhicheverWindowHoldsTheScreen) {
  auto content = banner(true);
  window->setIsDisplaying(true);
  window->displayController(content);
  advance(1.6);
  ASSERT_TRUE(appWindow->isHidden());
  app().enterBackground();
  app().enterForeground();
  window->applicationWillEnterForeground();
  EXPECT_TRUE(window->isDisplaying());
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_TRUE(appWindow->isHidden());
  EXPECT_TRUE(app().isStatusBarHidden());

  // The application took the screen back meanwhile.
  appWindow->setHidden(false);
  appWindow->makeKeyAndVisible();
  window->applicationWillEnterForeground();
  EXPECT_FALSE(window->isDisplaying());
  EXPECT_TRUE(appWindow->isKeyWindow());
  EXPECT_FALSE(app().isStatusBarHidden());
}

}  // namespace
}  // namespace halvern
