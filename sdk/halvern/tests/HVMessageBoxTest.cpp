#include "HVMessageBox.h"

#include <gtest/gtest.h>

#include "platform/window.h"
#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::Color;
using platform::DrawOp;
using platform::Point;
using platform::Rect;
using platform::Size;

// Counts the touches that reach it.
class TouchCounter : public platform::View {
 public:
  using View::View;
  void touchesEndedWithEvent(const platform::TouchSet&, const platform::Event&) override { ++ended; }
  int ended = 0;
};

class HVMessageBoxTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
  }
  std::shared_ptr<platform::Window> window;
};

// Text metrics (platform fonts): 17-point text advances 8.5 points a character, bold 9.35,
// and a line is 22 points high once rounded up. The margin around the stack is twice the
// corner radius, 320 / 20 = 16, on every side.
TEST_F(HVMessageBoxTest, BoxFitsItsStackWithinAHeightCap) {
  std::string longMessage;
  for (int i = 0; i < 100; ++i) longMessage += i ? " abcdefghij" : "abcdefghij";
  struct Case {
    const char* name;
    std::function<void(HVMessageBox&)> fill;
    Size box;
    double contentHeight;
  };
  const Case cases[] = {
      // An indicator of 37 x 37 above a 60 x 22 message.
      {"loading",
       [](HVMessageBox& b) {
         b.addView(std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorViewStyle::WhiteLarge));
         b.setMessage("Loading");
       },
       {60 + 64, 59 + 64}, 59},
      // The first title gives way; the new one goes below the message: 85 x 22 and 17 x 22.
      {"retitled",
       [](HVMessageBox& b) {
         b.setTitle("Old");
         b.setMessage("Hi");
         b.setTitle("New title");
       },
       {85 + 64, 44 + 64}, 44},
      // Two 10-letter words a line (179 points) over 50 lines: 1063 points that scroll.
      {"long", [&](HVMessageBox& b) { b.setMessage(longMessage); }, {179 + 64, 320}, 1063},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto box = HVMessageBox::messageBox();
    c.fill(*box);
    box->showInView(window);
    auto view = box->boxView();
    EXPECT_EQ(view->bounds().size, c.box);
    EXPECT_EQ(view->center(), (Point{160, 240}));
    EXPECT_EQ(view->contentSize().height, c.contentHeight);
    EXPECT_EQ(view->contentView()->frame(), Rect(16, 16, c.box.width - 32, c.box.height - 32));
    // Stacked from the top, each centred in the content view.
    double top = 0;
    for (const auto& stacked : view->contentView()->subviews()) {
      EXPECT_EQ(stacked->frame().origin.y, top);
      EXPECT_EQ(platform::rectGetMidX(stacked->frame()), (c.box.width - 32) / 2);
      top += stacked->frame().size.height;
    }
  }
}

TEST_F(HVMessageBoxTest, BackgroundIsARoundedGradientWithAWhiteEdgeDrawnOnce) {
  auto box = HVMessageBox::messageBox();
  box->setMessage("Loading");
  box->showInView(window);
  runUntilIdle();
  auto view = box->boxView();
  ASSERT_EQ(view->bounds().size, (Size{124, 86}));
  const auto& ops = view->backgroundLayer()->context().operations();
  ASSERT_EQ(ops.size(), 3u);
  ASSERT_EQ(ops[0].kind, DrawOp::Kind::ClipToPath);
  // Corners of cubic curves, their control points halfway along the corner radius of 16.
  const auto& path = ops[0].path;
  ASSERT_EQ(path.size(), 10u);
  EXPECT_EQ(path[0].points, (std::vector<Point>{Point{16, 0}}));
  EXPECT_EQ(path[2].points, (std::vector<Point>{{116, 0}, {124, 8}, {124, 16}}));
  EXPECT_EQ(ops[1].kind, DrawOp::Kind::LinearGradient);
  EXPECT_EQ(ops[1].gradient.locations, (std::vector<double>{0.0, 0.1, 1.0}));
  EXPECT_EQ(ops[1].gradient.colors, (std::vector<Color>{Color::rgba(0.5, 0.5, 0.5, 0.75),
                                                        Color::rgba(0.25, 0.25, 0.25, 0.75),
                                                        Color::rgba(0, 0, 0, 0.75)}));
  EXPECT_EQ(ops[1].end, (Point{0, 86}));
  EXPECT_EQ(ops[2].kind, DrawOp::Kind::StrokePath);
  EXPECT_EQ(ops[2].path, path);
  EXPECT_EQ(std::make_pair(ops[2].strokeColor, ops[2].lineWidth), std::make_pair(Color::whiteColor(), 4.0));
  // The view replays the layer rather than drawing again.
  ASSERT_TRUE(view->lastDrawing());
  auto drawn = view->lastDrawing()->operationsOfKind(DrawOp::Kind::DrawLayer);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].layer, view->backgroundLayer());
}

TEST_F(HVMessageBoxTest, BoxPopsInSwallowsTouchesAndLeavesAtOnce) {
  auto below = std::make_shared<TouchCounter>(window->bounds());
  window->addSubview(below);
  auto box = HVMessageBox::messageBox();
  box->setMessage("Loading");
  box->showInView(below);
  auto view = box->boxView();
  EXPECT_EQ(view->alpha(), 1);
  EXPECT_EQ(platform::View::committedAnimations().back().identifier, "HVMessageBox");
  EXPECT_EQ(platform::View::committedAnimations().back().duration, 0.5);

  window->tapAtPoint({160, 240});
  EXPECT_EQ(below->ended, 0);
  window->tapAtPoint({10, 10});
  EXPECT_EQ(below->ended, 1);

  box->hide();
  EXPECT_EQ(view->superview(), nullptr);
  // A box shown again before the fade ends stays up.
  box->showInView(below);
  advance(1.0);
  EXPECT_EQ(view->superview(), below);
}

}  // namespace
}  // namespace halvern
