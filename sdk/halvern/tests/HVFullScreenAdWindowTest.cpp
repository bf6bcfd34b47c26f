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
  bool controlsFullScreenSlot() const override { return false; }
  bool shouldWipeContentOnDismiss() const override { return clickThrough; }
  std::shared_ptr<View> containerView() override { return view()->superview(); }
  void fullScreenAdWindowWillOpen() override {}
  void fullScreenAdWindowWillClose() override { heard.push_back("willClose"); }
  void adViewWillExpand() override { heard.push_back("willExpand"); }
  void adViewDidCollapse() override { heard.push_back("didCollapse"); }
  void prepareAdViewBrowserMode(bool) override {}
  void layout() override {}
  void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration&) override {}
  void loadView() override { setView(std::make_shared<View>(Rect(0, 0, 320, 50))); }
  bool clickThrough = false;
  std::vector<std::string> heard;
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
  }
  void TearDown() override {
    HVController::sharedController()->shutdown();
    SandboxTest::TearDown();
  }
  std::shared_ptr<BannerContent> banner(bool clickThrough) {
    auto content = std::make_shared<BannerContent>();
    content->clickThrough = clickThrough;
    host->addSubview(content->view());
    return content;
  }
  Application& app() { return Application::sharedApplication(); }

  std::shared_ptr<platform::Window> appWindow;
  std::shared_ptr<View> root, host;
  std::shared_ptr<HVFullScreenAdWindow> window;
};

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
    device.setOrientation(c.orientation);
    EXPECT_EQ(content->view()->transform(), c.expected);
    // Turned or not, the content covers the screen.
    EXPECT_EQ(content->view()->frame(), Rect(0, 0, 320, 480));
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
      EXPECT_EQ(View::committedAnimations().back().duration, 1.0);
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

}  // namespace
}  // namespace halvern
