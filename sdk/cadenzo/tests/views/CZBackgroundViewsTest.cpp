// The striped bar's motion on the manual clock, its drawing, and the dimming background.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "CZDefaultBackgroundView.h"
#include "CZIndeterminateProgressBar.h"
#include "platform/graphics.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

namespace cadenzo {
namespace {

using platform::DrawOp;
using platform::PathElement;
using platform::Rect;

constexpr double kTick = CZIndeterminateProgressBar::kTickInterval;

class CZBackgroundViewsTest : public ::testing::SandboxTest {
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
  // Height 30: stripes of 21 points; the offset climbs to 21 and then wraps to -20.
  advance(kTick * 0.5);
  EXPECT_EQ(bar->offset(), 0);  // the first tick comes one interval after creation
  advance(kTick);
  EXPECT_EQ(bar->offset(), 1);
  advance(kTick * 20);
  EXPECT_EQ(bar->offset(), 21);
  advance(kTick);
  EXPECT_EQ(bar->offset(), -20);
  advance(kTick * 2);
  EXPECT_EQ(bar->offset(), -18);
  EXPECT_TRUE(bar->needsDisplay());
  // One full cycle (42 ticks) brings it back.
  advance(kTick * 42);
  EXPECT_EQ(bar->offset(), -18);
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
  EXPECT_FALSE(mainLoop().hasPendingWork());
}

TEST_F(CZBackgroundViewsTest, BarDrawing) {
  auto bar = CZIndeterminateProgressBar::createWithFrame(Rect(0, 60, 280, 30));
  auto drawing = draw(bar);
  ASSERT_TRUE(drawing);

  auto strokes = drawing->operationsOfKind(DrawOp::Kind::StrokePath);
  ASSERT_EQ(strokes.size(), 1u);
  EXPECT_EQ(strokes[0].lineWidth, 3);
  EXPECT_EQ(strokes[0].strokeColor, platform::Color::whiteColor());
  ASSERT_EQ(strokes[0].path.size(), 1u);
  EXPECT_EQ(strokes[0].path[0].kind, PathElement::Kind::RoundedRect);
  EXPECT_EQ(strokes[0].path[0].rect, Rect(1.5, 1.5, 277, 27));
  EXPECT_EQ(strokes[0].path[0].radius, 13.5);

  auto clips = drawing->operationsOfKind(DrawOp::Kind::ClipToPath);
  ASSERT_EQ(clips.size(), 1u);
  EXPECT_EQ(clips[0].path[0].rect, Rect(4.5, 4.5, 271, 21));
  EXPECT_EQ(clips[0].path[0].radius, 10.5);

  // Offset 0, S = 21: stripes at X = -21, 21, ... while X < 271 + 21, every 42 points.
  auto fills = drawing->operationsOfKind(DrawOp::Kind::FillPath);
  ASSERT_EQ(fills.size(), 8u);
  for (size_t i = 0; i < fills.size(); ++i) {
    const double left = 4.5 - 21 + 42.0 * i;
    const auto& path = fills[i].path;
    ASSERT_EQ(path.size(), 5u);
    EXPECT_EQ(path[0].points[0], (platform::Point{left, 25.5}));
    EXPECT_EQ(path[1].points[0], (platform::Point{left + 21, 25.5}));
    EXPECT_EQ(path[2].points[0], (platform::Point{left + 42, 4.5}));
    EXPECT_EQ(path[3].points[0], (platform::Point{left + 21, 4.5}));
    EXPECT_EQ(path[4].kind, PathElement::Kind::Close);
    EXPECT_EQ(fills[i].fillColor, platform::Color::whiteColor());
  }

  // Stripes follow the offset.
  bar->step();
  bar->step();
  fills = draw(bar)->operationsOfKind(DrawOp::Kind::FillPath);
  ASSERT_FALSE(fills.empty());
  EXPECT_EQ(fills[0].path[0].points[0].x, 4.5 - 19);

  // A bar too short for stripes still draws its outline and finishes.
  auto flat = CZIndeterminateProgressBar::createWithFrame(Rect(0, 0, 100, 9));
  auto flatDrawing = draw(flat);
  EXPECT_TRUE(flatDrawing->operationsOfKind(DrawOp::Kind::FillPath).empty());
  EXPECT_EQ(flatDrawing->operationsOfKind(DrawOp::Kind::StrokePath).size(), 1u);
  flat->step();
  EXPECT_EQ(flat->offset(), 0);
}

TEST_F(CZBackgroundViewsTest, BackgroundGradient) {
  auto background = CZDefaultBackgroundView::createWithFrame(Rect(0, 0, 320, 480));
  EXPECT_FALSE(background->isOpaque());
  EXPECT_EQ(background->backgroundColor(), platform::Color::clearColor());
  struct Case {
    bool reversed;
    double centre, edge;
  };
  for (const Case& c : {Case{false, 0.4, 0.6}, Case{true, 0.9, 0.8}}) {
    background->setGradientReversed(c.reversed);
    EXPECT_EQ(background->isGradientReversed(), c.reversed);
    EXPECT_TRUE(background->needsDisplay());
    background->displayIfNeeded();
    auto gradients = background->lastDrawing()->operationsOfKind(DrawOp::Kind::RadialGradient);
    ASSERT_EQ(gradients.size(), 1u);
    const DrawOp& g = gradients[0];
    EXPECT_EQ(g.start, (platform::Point{160, 240}));
    EXPECT_EQ(g.end, (platform::Point{160, 240}));
    EXPECT_EQ(g.startRadius, 0);
    EXPECT_NEAR(g.endRadius, 288.44, 0.005);
    EXPECT_EQ(g.options, 0u);
    ASSERT_EQ(g.gradient.colors.size(), 2u);
    EXPECT_EQ(g.gradient.colors[0], platform::Color::rgba(0, 0, 0, c.centre));
    EXPECT_EQ(g.gradient.colors[1], platform::Color::rgba(0, 0, 0, c.edge));
  }
}

}  // namespace
}  // namespace cadenzo
