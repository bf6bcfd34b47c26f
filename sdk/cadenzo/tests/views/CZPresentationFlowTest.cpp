#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "CZContextualizedAnimation.h"
#include "CZDefaultViewController.h"
#include "CZImpression.h"
#include "cadenzo/Cadenzo.h"
#include "platform/device.h"
#include "platform/screen.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"
#include "CZViewTestSupport.h"

namespace {

using cadenzo::CZDefaultViewController;
using cadenzo::CZImpression;
using platform::Dictionary;
using platform::Rect;
using platform::Value;
using czviews_test::contains;

// A plain ad view: the controller only needs a platform view behind the protocol.
class PlainAdView : public platform::View, public cadenzo::CZViewCallbacks {
 public:
  using platform::View::View;
};

class PlainFactory : public cadenzo::CZViewFactory {
 public:
  std::shared_ptr<cadenzo::CZViewProtocol> viewWithFrame(Kind, const Rect& frame) override {
    return std::make_shared<PlainAdView>(frame);
  }
};

long indexIn(const std::shared_ptr<platform::View>& parent, const std::shared_ptr<platform::View>& child) {
  const auto& subs = parent->subviews();
  auto it = std::find(subs.begin(), subs.end(), child);
  return it == subs.end() ? -1 : it - subs.begin();
}

class PresentationTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    cadenzo::CZViewFactory::setShared(std::make_shared<PlainFactory>());
    facade = cadenzo::Cadenzo::sharedCadenzo();
    controller = CZDefaultViewController::sharedController();
    ASSERT_TRUE(facade && controller);
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    cadenzo::CZViewFactory::setShared(nullptr);
    testkit::SandboxTest::TearDown();
  }
  std::shared_ptr<CZImpression> impression(int type, Dictionary extra = {}) {
    Dictionary response{{"status", Value(200)}, {"link", Value("http://example.invalid/x")}, {"html", Value("<p>")}};
    for (const auto& [k, v] : extra) response.set(k, v);
    auto made = CZImpression::createWithResponseType(response, type);
    EXPECT_TRUE(made);
    return made;
  }
  std::shared_ptr<platform::View> viewOf(const std::shared_ptr<CZImpression>& i) {
    return std::dynamic_pointer_cast<platform::View>(i->view());
  }
  std::shared_ptr<platform::BasicAnimation> opacityOf(const std::shared_ptr<platform::View>& v) {
    return std::dynamic_pointer_cast<platform::BasicAnimation>(v->layer()->animationForKey("opacity"));
  }
  std::shared_ptr<cadenzo::Cadenzo> facade;
  std::shared_ptr<CZDefaultViewController> controller;
  std::shared_ptr<platform::Window> window;
};

bool closeTo(double a, double b) { return std::abs(a - b) < 1e-9; }

TEST_F(PresentationTest, OrientViewRotatesAboutTheOldCentre) {
  struct Case { int orientation; Rect bounds; double angle; } cases[] = {  // the transform's angle, in radians
      {1, Rect(0, 0, 320, 480), 0},
      {2, Rect(0, 0, 320, 480), -platform::kPi},
      {3, Rect(0, 0, 480, 320), platform::kPi / 2},
      {4, Rect(0, 0, 480, 320), -platform::kPi / 2},
      {0, Rect(0, 0, 320, 480), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    facade->setOrientation(c.orientation);
    auto view = std::make_shared<platform::View>(Rect(10, 20, 320, 480));
    controller->orientView(view);
    EXPECT_EQ(view->bounds(), c.bounds);
    EXPECT_EQ(view->center(), (platform::Point{170, 260}));
    const auto t = view->transform();
    EXPECT_TRUE(closeTo(t.a, std::cos(c.angle)) && closeTo(t.b, std::sin(c.angle))) << t.a << " " << t.b;
    // Whatever the rotation, the view covers the rectangle it was given.
    EXPECT_EQ(view->frame(), Rect(10, 20, 320, 480));
  }
  controller->orientView(nullptr);  // nothing to do, nothing breaks
}

TEST_F(PresentationTest, InterstitialEntersOverTheBackgroundAndLeavesWhenItsExitFinishes) {
  auto first = impression(cadenzo::CZImpressionTypeInterstitial);
  auto view = viewOf(first);
  controller->displayInterstitial(first);
  auto background = controller->backgroundView();
  EXPECT_TRUE(controller->viewIsVisible());
  ASSERT_TRUE(contains(window, view));
  ASSERT_TRUE(contains(window, background));
  EXPECT_LT(indexIn(window, background), indexIn(window, view));
  EXPECT_FALSE(background->isHidden());
  EXPECT_EQ(background->alpha(), 0);  // seen through the animation only
  EXPECT_EQ(background->frame(), window->frame());
  auto fadeIn = opacityOf(background);
  ASSERT_TRUE(fadeIn);
  EXPECT_EQ(fadeIn->fromValue(), platform::AnimationValue(0.0));
  EXPECT_EQ(fadeIn->toValue(), platform::AnimationValue(1.0));
  // No "animation" in the answer: the swing.
  EXPECT_TRUE(view->layer()->animationForKey("transform"));
  // One display at a time: the second view never reaches the screen.
  auto second = impression(cadenzo::CZImpressionTypeInterstitial);
  controller->displayInterstitial(second);
  EXPECT_FALSE(contains(window, viewOf(second)));
  EXPECT_EQ(second.use_count(), 1);  // and the controller keeps nothing of it
  first->setState(cadenzo::CZImpressionStateShown);
  controller->dismissInterstitial(first);
  EXPECT_FALSE(controller->viewIsVisible());
  EXPECT_EQ(first->state(), cadenzo::CZImpressionStateDismissing);
  auto fadeOut = opacityOf(background);
  ASSERT_TRUE(fadeOut);
  EXPECT_EQ(fadeOut->toValue(), platform::AnimationValue(0.0));
  auto* ctx = dynamic_cast<cadenzo::CZContextualizedAnimationProtocol*>(fadeOut.get());
  ASSERT_TRUE(ctx);
  EXPECT_EQ(std::any_cast<std::string>(ctx->context()), "kCZHideBackgroundView");
  advance(0.2);
  EXPECT_TRUE(contains(window, view));  // still leaving
  advance(0.1);
  EXPECT_FALSE(contains(window, view));
  EXPECT_EQ(first->state(), cadenzo::CZImpressionStateIdle);
  EXPECT_TRUE(background->isHidden());
  EXPECT_TRUE(contains(window, background));
  // The next display is not blocked, and brings the background back to the front.
  auto third = impression(cadenzo::CZImpressionTypeInterstitial, {{"animation", Value(6)}});
  controller->displayInterstitial(third);
  EXPECT_TRUE(contains(window, viewOf(third)));
  EXPECT_EQ(indexIn(window, background) + 1, indexIn(window, viewOf(third)));
  EXPECT_TRUE(opacityOf(viewOf(third)));  // the answer's "animation" 6: the fade
}

TEST_F(PresentationTest, ExitTypeFollowsTheEntryTypeAndAnInterruptedExitStillTakesTheViewOff) {
  auto shown = impression(cadenzo::CZImpressionTypeInterstitial, {{"animation", Value(4)}});
  auto view = viewOf(shown);
  controller->displayInterstitial(shown);
  ASSERT_TRUE(view->layer()->animationForKey("position"));
  controller->dismissInterstitial(shown);
  auto exit = view->layer()->animationForKey("position");
  ASSERT_TRUE(exit);
  // Another animation under the same key interrupts the exit: finished NO. The view goes all
  // the same, or it would stay over the application with nothing to close it.
  view->layer()->addAnimationForKey(platform::BasicAnimation::animationWithKeyPath("position"), "position");
  runUntilIdle();
  EXPECT_FALSE(contains(window, view));
  EXPECT_EQ(shown->state(), cadenzo::CZImpressionStateIdle);
  // Not blocked for what comes next.
  auto next = impression(cadenzo::CZImpressionTypeInterstitial);
  controller->displayInterstitial(next);
  EXPECT_TRUE(contains(window, viewOf(next)));
}

TEST_F(PresentationTest, MoreAppsTakesTheApplicationFrameAndTheBounce) {
  platform::Screen::mainScreen().setStatusBarHeight(20);
  auto more = impression(cadenzo::CZImpressionTypeMoreApps);
  auto view = viewOf(more);
  controller->displayMoreApps(more);
  EXPECT_TRUE(contains(window, view));
  EXPECT_FALSE(contains(window, controller->backgroundView()));
  EXPECT_EQ(view->frame(), Rect(0, 20, 320, 460));
  EXPECT_TRUE(std::dynamic_pointer_cast<platform::KeyframeAnimation>(view->layer()->animationForKey("transform")));
  controller->dismissMoreApps(more);
  advance(0.38325 + 0.01);
  EXPECT_FALSE(contains(window, view));
  EXPECT_EQ(more->state(), cadenzo::CZImpressionStateIdle);
}

TEST_F(PresentationTest, OneLoadingOverlayAtATime) {
  controller->displayLoadingView();
  auto overlay = controller->loadingView();
  ASSERT_TRUE(overlay);
  EXPECT_TRUE(controller->loadingViewIsVisible());
  EXPECT_TRUE(contains(window, overlay));
  auto reversed = controller->reversedBackgroundView();
  EXPECT_TRUE(reversed->isGradientReversed());
  EXPECT_FALSE(reversed->isHidden());
  EXPECT_LT(indexIn(window, reversed), indexIn(window, overlay));
  ASSERT_TRUE(opacityOf(overlay));
  ASSERT_TRUE(opacityOf(reversed));
  controller->displayLoadingView();
  EXPECT_EQ(controller->loadingView(), overlay);
  size_t overlays = 0;
  for (const auto& v : window->subviews()) overlays += std::dynamic_pointer_cast<cadenzo::CZLoadingView>(v) ? 1 : 0;
  EXPECT_EQ(overlays, 1u);
  controller->dismissLoadingView();
  EXPECT_FALSE(controller->loadingViewIsVisible());
  EXPECT_FALSE(controller->loadingView());
  EXPECT_FALSE(contains(window, overlay));
  EXPECT_TRUE(reversed->isHidden());
}

TEST_F(PresentationTest, NoControllerOnOldSystems) {
  for (const char* version : {"3.2", "3.1.3", "2.2.1"}) {
    platform::Device::currentDevice().setSystemVersion(version);
    EXPECT_FALSE(CZDefaultViewController::sharedController()) << version;
  }
  // A system "4" is 4.0: it once compared below "4.0" and lost the client altogether.
  for (const char* version : {"4", "4.0", "4.3.1", "10.0"}) {
    platform::Device::currentDevice().setSystemVersion(version);
    EXPECT_EQ(CZDefaultViewController::sharedController(), controller) << version;
    EXPECT_TRUE(cadenzo::Cadenzo::sharedCadenzo()) << version;
  }
}

}  // namespace
