// The striped bar's motion on the manual clock and its lifetime, and the dimming background.
#include <gtest/gtest.h>

#include <memory>

#include "CZDefaultBackgroundView.h"
#include "CZIndeterminateProgressBar.h"
#include "platform/graphics.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

namespace cadenzo {
namespace {

using platform::DrawOp;
using platform::Rect;

constexpr double kTick = CZIndeterminateProgressBar::kTickInterval;

class CZBackgroundViewsTest : public ::testkit::SandboxTest {
 protected:
  std::shared_ptr<const platform::GraphicsContext> draw(const std::shared_ptr<platform::View>& v) {
    v->setNeedsDisplay();
    v->displayIfNeeded();
    return v->lastDrawing();
  }
};

TEST_F(CZBackgroundViewsTest, BarOffsetClimbsAndWrapsOnTheClock) {
  auto bar = CZIndeterminateProgressBar::createWithFrame(Rect(0, 60, 280, 30));
  EXPECT_EQ(bar->offset(), 0);
  EXPECT_TRUE(bar->isAnimating());
  // Height 30: stripes of 21 points; the offset climbs to 21 and then wraps to -20. The first
  // tick comes one interval after creation; a full cycle is 42 ticks.
  const std::pair<double, double> walk[] = {{0.5, 0}, {1, 1}, {20, 21}, {1, -20}, {2, -18}, {42, -18}};
  for (auto [ticks, offset] : walk) {
    advance(kTick * ticks);
    EXPECT_EQ(bar->offset(), offset) << ticks;
  }
  EXPECT_TRUE(bar->needsDisplay());
}

TEST_F(CZBackgroundViewsTest, BarTimerStopsWhenTheBarLeavesItsWindowAndNeverHoldsIt) {
  auto window = platform::Window::create(Rect(0, 0, 320, 480));
  window->makeKeyAndVisible();
  auto bar = CZIndeterminateProgressBar::createWithFrame(Rect(0, 0, 280, 30));
  window->addSubview(bar);
  advance(kTick * 3.5);
  EXPECT_EQ(bar->offset(), 3);
  bar->removeFromSuperview();
  EXPECT_FALSE(bar->isAnimating());
  advance(kTick * 10);
  EXPECT_EQ(bar->offset(), 3);
  window->addSubview(bar);
  EXPECT_TRUE(bar->isAnimating());
  advance(kTick * 2.5);
  EXPECT_EQ(bar->offset(), 5);
  // The timer does not keep the bar alive, and nothing fires into it once it is gone.
  std::weak_ptr<CZIndeterminateProgressBar> weakBar = bar;
  bar->removeFromSuperview();
  window->addSubview(bar);
  bar.reset();
  window->subviews().front()->removeFromSuperview();
  runUntilIdle();  // the end of the turn lets go of what the display pass held
  EXPECT_TRUE(weakBar.expired());
  advance(kTick * 5);
  EXPECT_FALSE(mainLoop().hasPendingWorkForTesting());
}

TEST_F(CZBackgroundViewsTest, StripesFollowTheOffsetAndAShortBarDrawsNone) {
  auto bar = CZIndeterminateProgressBar::createWithFrame(Rect(0, 60, 280, 30));
  auto fills = draw(bar)->operationsOfKind(DrawOp::Kind::FillPath);
  ASSERT_FALSE(fills.empty());
  const double first = fills[0].path[0].points[0].x;
  bar->step();
  bar->step();
  fills = draw(bar)->operationsOfKind(DrawOp::Kind::FillPath);
  ASSERT_FALSE(fills.empty());
  EXPECT_EQ(fills[0].path[0].points[0].x, first + 2);
  // Too short for stripes: the outline alone, and stepping leaves the offset alone.
  auto flat = CZIndeterminateProgressBar::createWithFrame(Rect(0, 0, 100, 9));
  auto flatDrawing = draw(flat);
  EXPECT_TRUE(flatDrawing->operationsOfKind(DrawOp::Kind::FillPath).empty());
  EXPECT_EQ(flatDrawing->operationsOfKind(DrawOp::Kind::StrokePath).size(), 1u);
  flat->step();
  EXPECT_EQ(flat->offset(), 0);
}

TEST_F(CZBackgroundViewsTest, ReversingTheGradientRedraws) {
  auto background = CZDefaultBackgroundView::createWithFrame(Rect(0, 0, 320, 480));
  background->displayIfNeeded();
  for (bool reversed : {true, false}) {
    background->setGradientReversed(reversed);
    EXPECT_TRUE(background->needsDisplay());
    background->displayIfNeeded();
    EXPECT_EQ(background->lastDrawing()->operationsOfKind(DrawOp::Kind::RadialGradient).size(), 1u);
  }
}

}  // namespace
}  // namespace cadenzo
