#include <gtest/gtest.h>

#include "platform/application.h"
#include "platform/graphics.h"
#include "platform/image.h"
#include "platform/runtime.h"
#include "platform/scroll_view.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

using namespace platform;

namespace {

class DrawingColourTest : public testkit::SandboxTest {};

TEST_F(DrawingColourTest, ColoursKeepTheModelOfTheSpaceTheyWereMadeIn) {
  struct Case {
    const char* what;
    Color colour;
    ColorSpaceModel model;
    std::vector<double> components;
  } cases[] = {
      {"a grey", Color::white(0.25, 0.5), ColorSpaceModel::Monochrome, {0.25, 0.5}},
      {"black", Color::blackColor(), ColorSpaceModel::Monochrome, {0, 1}},
      {"clear", Color::clearColor(), ColorSpaceModel::Monochrome, {0, 0}},
      {"white, half", Color::whiteColor().withAlpha(0.5), ColorSpaceModel::Monochrome, {1, 0.5}},
      {"rgba", Color::rgba(0.1, 0.2, 0.3, 0.4), ColorSpaceModel::RGB, {0.1, 0.2, 0.3, 0.4}},
      {"red", Color::redColor(), ColorSpaceModel::RGB, {1, 0, 0, 1}},
      {"grouped table background", Color::groupTableViewBackgroundColor(), ColorSpaceModel::Pattern, {1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.colour.model, c.model);
    EXPECT_EQ(c.colour.components(), c.components);
  }
  EXPECT_EQ(Color::white(0.5, 1), Color::rgba(0.5, 0.5, 0.5, 1)) << "equal as seen, whatever the space";
  EXPECT_FALSE(Color::white(0.5, 1) == Color::rgba(0.5, 0.5, 0.6, 1));
}

// A view that draws a picture once into an off-screen layer and replays it on every pass.
class BoxView : public View {
 public:
  explicit BoxView(const Rect& frame) : View(frame) {
    box = DrawingLayer::createWithContext(GraphicsContext::current(), frame.size);
    auto& ctx = box->context();
    ctx.addRoundedRect({0, 0, frame.size.width, frame.size.height}, 16);
    ctx.clip();
    ctx.setStrokeColor(Color::whiteColor());
    ctx.setLineWidth(4);
    ctx.addRoundedRect({0, 0, frame.size.width, frame.size.height}, 16);
    ctx.strokePath();
  }
  void drawRect(const Rect&) override {
    GraphicsContext::current()->drawLayerAtPoint(box, {0, 0});
    GraphicsContext::current()->drawLayerAtPoint(nullptr, {5, 5});
  }
  std::shared_ptr<DrawingLayer> box;
};

TEST_F(DrawingColourTest, AnOffScreenLayerIsDrawnOnceAndReplayedWhereItIsPlaced) {
  auto window = Window::create({0, 0, 320, 480});
  window->makeKeyAndVisible();
  auto view = std::make_shared<BoxView>(Rect{10, 10, 200, 100});
  window->addSubview(view);
  view->setNeedsDisplay();
  runUntilIdle();
  ASSERT_NE(view->lastDrawing(), nullptr);
  auto placed = view->lastDrawing()->operationsOfKind(DrawOp::Kind::DrawLayer);
  ASSERT_EQ(placed.size(), 1u) << "a missing layer draws nothing";
  EXPECT_EQ(placed[0].rect, (Rect{0, 0, 200, 100}));
  EXPECT_EQ(placed[0].layer, view->box);
  auto strokes = placed[0].layer->context().operationsOfKind(DrawOp::Kind::StrokePath);
  ASSERT_EQ(strokes.size(), 1u);
  EXPECT_EQ(strokes[0].lineWidth, 4);
  EXPECT_EQ(placed[0].layer->context().clipPaths().size(), 1u);
}

TEST_F(DrawingColourTest, AnImageDrawnInCodeKeepsItsSizeAndDrawing) {
  auto context = std::make_shared<GraphicsContext>(Size{27, 27});
  context->fillRect(Rect(0, 0, 4, 4));
  auto image = Image::imageWithDrawing(context, 2);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 27);
  EXPECT_EQ(image->size(), (Size{13.5, 13.5}));
  EXPECT_EQ(image->drawing()->operationsOfKind(DrawOp::Kind::FillRect).size(), 1u);
  EXPECT_EQ(Image::imageWithDrawing(nullptr), nullptr);
}

TEST_F(DrawingColourTest, TheStatusBarWindowCanBeFadedOrIsAbsent) {
  auto& app = Application::sharedApplication();
  auto bar = app.statusBarWindow();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(app.statusBarWindow(), bar);
  EXPECT_EQ(bar->windowLevel(), kWindowLevelStatusBar);
  EXPECT_EQ(bar->frame(), (Rect{0, 0, 320, 20}));
  bar->setAlpha(0);
  EXPECT_TRUE(app.windows().empty());
  EXPECT_EQ(app.keyWindow(), nullptr);
  EXPECT_FALSE(app.isStatusBarHidden()) << "fading the window is no hiding of the status bar";
  Runtime::setAvailable("UIApplication.statusBarWindow", false);
  EXPECT_EQ(app.statusBarWindow(), nullptr);
}

TEST_F(DrawingColourTest, StoredSettingsStartAsThePlatformsDefaults) {
  auto layer = Layer::layer();
  EXPECT_EQ(layer->shadowOpacity(), 0);
  EXPECT_EQ(layer->shadowOffset(), (Size{0, -3}));
  EXPECT_EQ(layer->shadowRadius(), 3);
  EXPECT_EQ(layer->shadowColor(), Color::rgba(0, 0, 0, 1));
  EXPECT_TRUE(ScrollView().scrollsToTop());
  EXPECT_EQ(View().accessibilityLabel(), "");
  EXPECT_TRUE(WebView::create()->mediaPlaybackAllowsAirPlay());
}

}  // namespace
