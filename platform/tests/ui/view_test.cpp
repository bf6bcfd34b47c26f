#include "platform/view.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/window.h"
#include "testing/sandbox_test.h"

using namespace platform;

namespace {

class ViewTest : public testkit::SandboxTest {};

// A view that writes down its hooks, layout passes and touches.
class RecordingView : public View {
 public:
  RecordingView(std::string name, std::vector<std::string>* log, const Rect& frame = {})
      : View(frame), name_(std::move(name)), log_(log) {}
  void willMoveToSuperview(const std::shared_ptr<View>& s) override {
    log_->push_back(name_ + ".willMoveToSuperview(" + (s ? "view" : "nil") + ")");
  }
  void didMoveToSuperview() override { log_->push_back(name_ + ".didMoveToSuperview"); }
  void willMoveToWindow(const std::shared_ptr<Window>& w) override {
    log_->push_back(name_ + ".willMoveToWindow(" + (w ? "window" : "nil") + ")");
  }
  void didMoveToWindow() override { log_->push_back(name_ + ".didMoveToWindow"); }
  void layoutSubviews() override { log_->push_back(name_ + ".layoutSubviews"); }
  void touchesBeganWithEvent(const TouchSet& t, const Event& e) override {
    log_->push_back(name_ + ".touchesBegan");
    if (passTouches) View::touchesBeganWithEvent(t, e);
  }
  void touchesEndedWithEvent(const TouchSet& t, const Event& e) override {
    log_->push_back(name_ + ".touchesEnded");
    lastTouchPoint = t.front()->locationInView(sharedView());
    if (passTouches) View::touchesEndedWithEvent(t, e);
  }
  // What each hit test was given: "touch x,y" for a touch event (its touch's window
  // location), "none" otherwise.
  std::shared_ptr<View> hitTestWithEvent(const Point& p, const Event* e) override {
    if (e && e->type == Event::Type::Touches && e->touches.size() == 1) {
      Point at = e->touches[0]->locationInWindow;
      hitEvents.push_back("touch " + std::to_string(int(at.x)) + "," + std::to_string(int(at.y)));
    } else {
      hitEvents.push_back("none");
    }
    return View::hitTestWithEvent(p, e);
  }
  bool passTouches = false;
  Point lastTouchPoint;
  std::vector<std::string> hitEvents;

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

void expectRect(const Rect& actual, const Rect& expected) {
  EXPECT_NEAR(actual.origin.x, expected.origin.x, 1e-9) << stringFromRect(actual);
  EXPECT_NEAR(actual.origin.y, expected.origin.y, 1e-9) << stringFromRect(actual);
  EXPECT_NEAR(actual.size.width, expected.size.width, 1e-9) << stringFromRect(actual);
  EXPECT_NEAR(actual.size.height, expected.size.height, 1e-9) << stringFromRect(actual);
}

TEST_F(ViewTest, FrameUnderQuarterTurnsIsTheBoundingBox) {
  // A 320 x 480 view centred at (170, 260): turned by a multiple of 90° its frame is the
  // 480 x 320 (or 320 x 480) box around the same centre; bounds never change.
  struct Case {
    double angle;
    Rect frame;
  } cases[] = {
      {0, {10, 20, 320, 480}},
      {kPi / 2, {-70, 100, 480, 320}},
      {-kPi / 2, {-70, 100, 480, 320}},
      {kPi, {10, 20, 320, 480}},
      {3 * kPi / 2, {-70, 100, 480, 320}},
  };
  for (const auto& c : cases) {
    auto v = std::make_shared<View>(Rect{10, 20, 320, 480});
    v->setTransform(AffineTransform::makeRotation(c.angle));
    EXPECT_EQ(v->frame(), c.frame) << c.angle;
    EXPECT_EQ(v->center(), (Point{170, 260}));
    EXPECT_EQ(v->bounds(), (Rect{0, 0, 320, 480}));
  }

  // Setting the frame of a turned view sets its centre and un-turned bounds.
  auto v = std::make_shared<View>(Rect{0, 0, 100, 100});
  v->setTransform(AffineTransform::makeRotation(kPi / 2));
  v->setFrame({0, 0, 480, 320});
  EXPECT_EQ(v->bounds(), (Rect{0, 0, 320, 480}));
  EXPECT_EQ(v->center(), (Point{240, 160}));
  EXPECT_EQ(v->frame(), (Rect{0, 0, 480, 320}));

  // Orienting a full-screen view for landscape: exchanged frame, quarter turn, centre back.
  auto ad = std::make_shared<View>(Rect{0, 0, 320, 480});
  Point centre{160, 240};
  ad->setFrame({0, 0, 480, 320});
  ad->setTransform(AffineTransform::makeRotation(kPi / 2));
  ad->setCenter(centre);
  EXPECT_EQ(ad->bounds(), (Rect{0, 0, 480, 320}));
  EXPECT_EQ(ad->frame(), (Rect{0, 0, 320, 480}));

  // A scale reads as a scaled box about the centre.
  auto s = std::make_shared<View>(Rect{0, 0, 100, 50});
  s->setTransform(AffineTransform::makeScale(2, 2));
  EXPECT_EQ(s->frame(), (Rect{-50, -25, 200, 100}));
}

TEST_F(ViewTest, ConvertsAcrossThreeLevelsAndTwoWindows) {
  auto a = Window::create({0, 0, 320, 480});
  auto b = Window::create({100, 100, 320, 480});
  auto v1 = std::make_shared<View>(Rect{10, 20, 200, 200});
  auto v2 = std::make_shared<View>(Rect{5, 5, 100, 100});
  auto v3 = std::make_shared<View>(Rect{1, 1, 10, 10});
  a->addSubview(v1);
  v1->addSubview(v2);
  v2->addSubview(v3);
  v2->setBounds({0, 50, 100, 100});  // scrolled down by 50

  // v3's origin: (1, 1) in v2, (5 + 1, 5 + 1 - 50) in v1, then + (10, 20) in the window.
  EXPECT_EQ(v3->convertPointToView({0, 0}, nullptr), (Point{16, -24}));
  EXPECT_EQ(v3->convertPointToView({0, 0}, a), (Point{16, -24}));
  EXPECT_EQ(v3->convertPointToView({0, 0}, v1), (Point{6, -44}));
  EXPECT_EQ(v1->convertPointToView({6, -44}, v3), (Point{0, 0}));
  // Through the screen into the other window, whose origin is (100, 100).
  EXPECT_EQ(v3->convertPointToView({0, 0}, b), (Point{-84, -124}));
  EXPECT_EQ(v3->convertPointFromView({-84, -124}, b), (Point{0, 0}));
  EXPECT_EQ(a->convertPointToView({0, 0}, nullptr), (Point{0, 0}));
  EXPECT_EQ(b->convertPointToView({0, 0}, nullptr), (Point{100, 100})) << "a window's nil is the screen";
  expectRect(v3->convertRectToView({0, 0, 10, 10}, b), {-84, -124, 10, 10});

  // A turned view: (0, 0) of a 100 x 50 view centred at (100, 100), turned 90°, lies
  // (-50, -25) from the centre, which the turn carries to (25, -50).
  auto turned = std::make_shared<View>(Rect{50, 75, 100, 50});
  a->addSubview(turned);
  turned->setTransform(AffineTransform::makeRotation(kPi / 2));
  Point p = turned->convertPointToView({0, 0}, a);
  EXPECT_NEAR(p.x, 125, 1e-9);
  EXPECT_NEAR(p.y, 50, 1e-9);
  expectRect(turned->convertRectToView(turned->bounds(), a), turned->frame());
  Point q = turned->convertPointFromView({125, 50}, v3);
  Point expectedQ = turned->convertPointFromView(v3->convertPointToView({125, 50}, nullptr), nullptr);
  EXPECT_NEAR(q.x, expectedQ.x, 1e-9);
  EXPECT_NEAR(q.y, expectedQ.y, 1e-9);
}

TEST_F(ViewTest, ViewWithTagSearchesReceiverFirstThenDepthFirst) {
  auto root = std::make_shared<View>();
  auto a = std::make_shared<View>();
  auto a1 = std::make_shared<View>();
  auto b = std::make_shared<View>();
  root->addSubview(a);
  a->addSubview(a1);
  root->addSubview(b);
  a->setTag(1);
  a1->setTag(2);
  b->setTag(2);
  EXPECT_EQ(root->viewWithTag(2), a1) << "a's subtree comes before its later sibling";
  EXPECT_EQ(root->viewWithTag(1), a);
  EXPECT_EQ(root->viewWithTag(7), nullptr);
  root->setTag(2);
  EXPECT_EQ(root->viewWithTag(2), root);
  EXPECT_EQ(b->viewWithTag(2), b);
}

TEST_F(ViewTest, AutoresizingSharesTheChangeAmongFlexibleParts) {
  // Superview 100 x 100 grows to 200 x 150; the child starts at (10, 10, 20, 20).
  const unsigned L = kAutoresizingFlexibleLeftMargin, W = kAutoresizingFlexibleWidth,
                 R = kAutoresizingFlexibleRightMargin, T = kAutoresizingFlexibleTopMargin,
                 H = kAutoresizingFlexibleHeight, B = kAutoresizingFlexibleBottomMargin;
  struct Case {
    unsigned mask;
    Rect child;
    Rect expected;
  } cases[] = {
      {0, {10, 10, 20, 20}, {10, 10, 20, 20}},
      {W, {10, 10, 20, 20}, {10, 10, 120, 20}},
      {L, {10, 10, 20, 20}, {110, 10, 20, 20}},
      // margins 10 and 70 share 100 as 12.5 and 87.5
      {L | R, {10, 10, 20, 20}, {22.5, 10, 20, 20}},
      // 10 : 20 : 70 of 100
      {L | W | R, {10, 10, 20, 20}, {20, 10, 40, 20}},
      {W | H, {10, 10, 20, 20}, {10, 10, 120, 70}},
      // top 10 and bottom 70 share 50 as 6.25 and 43.75
      {T | B, {10, 10, 20, 20}, {10, 16.25, 20, 20}},
      {L | B, {10, 10, 20, 20}, {110, 10, 20, 20}},
      // a child filling its superview has zero margins: they share the change equally
      {L | R | T | B, {0, 0, 100, 100}, {50, 25, 100, 100}},
  };
  for (const auto& c : cases) {
    auto super = std::make_shared<View>(Rect{0, 0, 100, 100});
    auto child = std::make_shared<View>(c.child);
    child->setAutoresizingMask(c.mask);
    super->addSubview(child);
    super->setFrame({0, 0, 200, 150});
    expectRect(child->frame(), c.expected);
  }

  auto super = std::make_shared<View>(Rect{0, 0, 100, 100});
  auto child = std::make_shared<View>(Rect{10, 10, 20, 20});
  child->setAutoresizingMask(W | H);
  super->addSubview(child);
  super->setAutoresizesSubviews(false);
  super->setBounds({0, 0, 300, 300});
  EXPECT_EQ(child->frame(), (Rect{10, 10, 20, 20}));
}

TEST_F(ViewTest, MoveHooksFireOnlyOnChange) {
  std::vector<std::string> log;
  auto window = Window::create({0, 0, 320, 480});
  auto p1 = std::make_shared<RecordingView>("p1", &log);
  auto p2 = std::make_shared<RecordingView>("p2", &log);
  auto v = std::make_shared<RecordingView>("v", &log);
  auto child = std::make_shared<RecordingView>("c", &log);
  window->addSubview(p1);
  window->addSubview(p2);
  v->addSubview(child);
  log.clear();

  p1->addSubview(v);
  EXPECT_EQ(log, (std::vector<std::string>{"v.willMoveToSuperview(view)", "v.willMoveToWindow(window)",
                                           "c.willMoveToWindow(window)", "v.didMoveToWindow",
                                           "c.didMoveToWindow", "v.didMoveToSuperview"}));
  log.clear();
  auto other = std::make_shared<View>();
  p1->addSubview(other);
  p1->addSubview(v);  // same superview: only brought to the front
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(p1->subviews().back(), v);

  p2->addSubview(v);  // same window: no window hooks
  EXPECT_EQ(log, (std::vector<std::string>{"v.willMoveToSuperview(view)", "v.didMoveToSuperview"}));
  EXPECT_EQ(p1->subviews().size(), 1u);
  log.clear();

  v->removeFromSuperview();
  EXPECT_EQ(log, (std::vector<std::string>{"v.willMoveToSuperview(nil)", "v.willMoveToWindow(nil)",
                                           "c.willMoveToWindow(nil)", "v.didMoveToWindow", "c.didMoveToWindow",
                                           "v.didMoveToSuperview"}));
  log.clear();
  v->removeFromSuperview();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(child->window(), nullptr);

  // Adding a view to itself or to its own descendant is refused.
  v->addSubview(v);
  child->addSubview(v);
  EXPECT_EQ(v->superview(), nullptr);
}

TEST_F(ViewTest, SubviewOrderOperations) {
  auto root = std::make_shared<View>();
  auto a = std::make_shared<View>(), b = std::make_shared<View>(), c = std::make_shared<View>(),
       d = std::make_shared<View>();
  root->addSubview(a);
  root->addSubview(b);
  root->addSubview(c);
  using Vs = std::vector<std::shared_ptr<View>>;
  root->insertSubviewBelowSubview(d, a);
  EXPECT_EQ(root->subviews(), (Vs{d, a, b, c}));
  root->insertSubviewAboveSubview(d, b);
  EXPECT_EQ(root->subviews(), (Vs{a, b, d, c}));
  root->bringSubviewToFront(a);
  EXPECT_EQ(root->subviews(), (Vs{b, d, c, a}));
  root->sendSubviewToBack(c);
  EXPECT_EQ(root->subviews(), (Vs{c, b, d, a}));
  root->insertSubviewAtIndex(a, 1);
  EXPECT_EQ(root->subviews(), (Vs{c, a, b, d}));
  root->exchangeSubviewAtIndexWithSubviewAtIndex(0, 3);
  EXPECT_EQ(root->subviews(), (Vs{d, a, b, c}));
  // The layer tree follows the view tree.
  ASSERT_EQ(root->layer()->sublayers().size(), 4u);
  EXPECT_EQ(root->layer()->sublayers()[0], d->layer());
  EXPECT_EQ(root->layer()->sublayers()[3], c->layer());
}

TEST_F(ViewTest, HitTestingAndTouchesThroughTheResponderChain) {
  std::vector<std::string> log;
  auto window = Window::create({0, 0, 320, 480});
  window->makeKeyAndVisible();
  auto back = std::make_shared<RecordingView>("back", &log, Rect{0, 0, 320, 480});
  auto front = std::make_shared<RecordingView>("front", &log, Rect{100, 100, 50, 50});
  window->addSubview(back);
  back->addSubview(front);

  EXPECT_EQ(window->tapAtPoint({110, 120}), front);
  EXPECT_EQ(front->lastTouchPoint, (Point{10, 20}));
  EXPECT_EQ(window->tapAtPoint({10, 10}), back);

  // A finger's hit test carries its touch event; a programmatic one carries none.
  EXPECT_EQ(front->hitEvents, (std::vector<std::string>{"touch 110,120", "touch 10,10"}));
  window->hitTestWithEvent({110, 120}, nullptr);
  EXPECT_EQ(front->hitEvents.back(), "none");

  front->passTouches = true;  // unhandled touches go to the superview
  log.clear();
  window->tapAtPoint({110, 120});
  EXPECT_EQ(log, (std::vector<std::string>{"front.touchesBegan", "back.touchesBegan", "front.touchesEnded",
                                           "back.touchesEnded"}));

  struct Case {
    const char* what;
    std::function<void()> change;
  } skips[] = {
      {"hidden", [&] { front->setHidden(true); }},
      {"not interactive", [&] { front->setUserInteractionEnabled(false); }},
      {"transparent", [&] { front->setAlpha(0.005); }},
  };
  for (auto& c : skips) {
    front->setHidden(false);
    front->setUserInteractionEnabled(true);
    front->setAlpha(1);
    c.change();
    EXPECT_EQ(window->hitTestWithEvent({110, 120}, nullptr), back) << c.what;
  }
  EXPECT_EQ(window->hitTestWithEvent({400, 10}, nullptr), nullptr);
  runUntilIdle();  // the pending layout pass writes into `log`
  window->setHidden(true);
}

class DrawingView : public View {
 public:
  using View::View;
  // A dimming radial gradient and a rounded, stroked outline.
  void drawRect(const Rect& r) override {
    auto* ctx = GraphicsContext::current();
    double w = r.size.width, h = r.size.height;
    Gradient g{{Color::white(0, 0.4), Color::white(0, 0.6)}, {}};
    ctx->drawRadialGradient(g, {w / 2, h / 2}, 0, {w / 2, h / 2}, std::sqrt(w * w / 4 + h * h / 4), 0);
    ctx->setStrokeColor(Color::whiteColor());
    ctx->setLineWidth(3);
    ctx->addRoundedRect({r.origin.x + 1.5, r.origin.y + 1.5, w - 3, h - 3}, (h - 3) / 2);
    ctx->strokePath();
  }
};

TEST_F(ViewTest, DrawRectIsDeferredToTheEndOfTheTurnAndRecorded) {
  auto window = Window::create({0, 0, 320, 480});
  auto v = std::make_shared<DrawingView>(Rect{0, 0, 320, 480});
  v->setNeedsDisplay();
  v->setNeedsDisplay();
  runUntilIdle();
  EXPECT_EQ(v->drawCount(), 0) << "not drawn outside a window";

  window->addSubview(v);
  EXPECT_EQ(v->drawCount(), 0) << "not drawn inside the caller";
  runUntilIdle();
  ASSERT_EQ(v->drawCount(), 1) << "two requests, one drawing";

  auto ops = v->lastDrawing()->operations();
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[0].kind, DrawOp::Kind::ClearRect);
  EXPECT_EQ(ops[1].kind, DrawOp::Kind::RadialGradient);
  EXPECT_NEAR(ops[1].endRadius, 288.444, 1e-3);
  EXPECT_EQ(ops[1].start, (Point{160, 240}));
  EXPECT_EQ(ops[1].gradient.colors[1], (Color{0, 0, 0, 0.6}));
  EXPECT_EQ(ops[2].kind, DrawOp::Kind::StrokePath);
  ASSERT_EQ(ops[2].path.size(), 1u);
  EXPECT_EQ(ops[2].path[0].kind, PathElement::Kind::RoundedRect);
  EXPECT_EQ(ops[2].path[0].rect, (Rect{1.5, 1.5, 317, 477}));
  EXPECT_EQ(ops[2].path[0].radius, 238.5);
  EXPECT_EQ(ops[2].lineWidth, 3);
  EXPECT_EQ(ops[2].strokeColor, Color::whiteColor());

  v->setClearsContextBeforeDrawing(false);
  v->setNeedsDisplay();
  v->displayIfNeeded();
  EXPECT_EQ(v->drawCount(), 2);
  EXPECT_EQ(v->lastDrawing()->operations().front().kind, DrawOp::Kind::RadialGradient);
}

TEST_F(ViewTest, LayoutRunsAtTheEndOfTheTurnParentsFirst) {
  std::vector<std::string> log;
  auto window = Window::create({0, 0, 320, 480});
  auto parent = std::make_shared<RecordingView>("parent", &log, Rect{0, 0, 100, 100});
  auto child = std::make_shared<RecordingView>("child", &log, Rect{0, 0, 10, 10});
  parent->addSubview(child);
  window->addSubview(parent);
  runUntilIdle();
  log.clear();

  child->setFrame({0, 0, 20, 20});
  parent->setFrame({0, 0, 50, 50});
  child->setFrame({0, 0, 30, 30});  // already marked: still one pass
  EXPECT_TRUE(log.empty());
  runUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"parent.layoutSubviews", "child.layoutSubviews"}));

  log.clear();
  parent->setFrame({0, 0, 50, 50});  // same size: nothing to lay out
  parent->setCenter({1, 1});
  runUntilIdle();
  EXPECT_TRUE(log.empty());

  parent->setNeedsLayout();
  parent->layoutIfNeeded();
  EXPECT_EQ(log, (std::vector<std::string>{"parent.layoutSubviews"}));
}

class FittingView : public View {
 public:
  using View::View;
  Size sizeThatFits(const Size&) const override { return {44, 22}; }
};

TEST_F(ViewTest, SizeToFitKeepsTheOrigin) {
  auto v = std::make_shared<FittingView>(Rect{5, 6, 100, 100});
  v->sizeToFit();
  EXPECT_EQ(v->frame(), (Rect{5, 6, 44, 22}));
  auto plain = std::make_shared<View>(Rect{1, 2, 3, 4});
  plain->sizeToFit();
  EXPECT_EQ(plain->frame(), (Rect{1, 2, 3, 4}));
}

}  // namespace
