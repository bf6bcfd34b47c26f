#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CZAnimationManager.h"
#include "CZContextualizedAnimation.h"
#include "cadenzo/Cadenzo.h"
#include "platform/view.h"
#include "testing/sandbox_test.h"

namespace {

using cadenzo::CZAnimationManager;
using cadenzo::CZContextualizedAnimationProtocol;
using platform::AnimationValue;
using platform::kPi;
using platform::Point;
using platform::Transform3D;

class TransitionsTest : public testkit::SandboxTest {
 protected:
  std::shared_ptr<platform::View> view = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
  std::shared_ptr<platform::Layer> layer() { return view->layer(); }
};

struct Recorder : platform::AnimationDelegate {
  std::vector<std::pair<std::string, bool>> stops;  // key path, finished
  void animationDidStopFinished(const std::shared_ptr<platform::Animation>& a, bool finished) override {
    stops.emplace_back(std::dynamic_pointer_cast<platform::PropertyAnimation>(a)->keyPath(), finished);
  }
};

// The kind of animation each type adds; the values of the swings, the flip and the pop are
// the client's constant tables and are not restated here.
struct Expected { double z; std::string keyPath; bool keyframe; double duration; };
Expected expected(bool in, int type) {
  const double d = 0.2555;
  const double z = in ? 2 : 7;  // exits leave the z position alone (7 here), except for types 1 and 3
  switch (type) {
    case 1: return {1000, "transform", false, d};
    case 3: return {1000, "transform", true, 0.38325};
    case 4: case 5: return {z, "position", false, d};
    case 6: return {z, "opacity", false, 0.001};
    default: return {z, "transform.scale", in, d};
  }
}

// Where a slide starts (in) or ends (out) for a 320 x 480 layer: the bottom edge as the user
// sees it for type 4, the top edge for type 5.
Point offscreen(int type, int orientation) {
  static const Point bottom[] = {{160, 720}, {160, -240}, {-160, 240}, {480, 240}};
  const Point p = bottom[orientation - 1];
  return type == 4 ? p : Point{320 - p.x, 480 - p.y};
}

bool near(const AnimationValue& a, const Transform3D& u) {
  auto t = std::get_if<Transform3D>(&a);
  if (!t) return false;
  const double* x = &t->m11;
  const double* y = &u.m11;
  for (int i = 0; i < 16; ++i)
    if (std::abs(x[i] - y[i]) > 1e-9) return false;
  return true;
}

TEST_F(TransitionsTest, EveryTypeDirectionAndOrientation) {
  auto facade = cadenzo::Cadenzo::sharedCadenzo();
  ASSERT_TRUE(facade);
  const Point m{160, 240};
  for (int orientation : {1, 2, 3, 4}) {
    facade->setOrientation(orientation);
    for (int type : {0, 1, 2, 3, 4, 5, 6, 9}) {
      for (bool in : {true, false}) {
        SCOPED_TRACE("orientation " + std::to_string(orientation) + " type " + std::to_string(type) +
                     (in ? " in" : " out"));
        auto fresh = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
        fresh->layer()->setZPosition(7);
        if (in) CZAnimationManager::transitionInWithAnimationTypeLayer(type, fresh->layer());
        else CZAnimationManager::transitionOutWithAnimationTypeLayer(type, fresh->layer());
        Expected e = expected(in, type);
        EXPECT_EQ(fresh->layer()->zPosition(), e.z);
        ASSERT_EQ(fresh->layer()->animationKeys(), std::vector<std::string>{e.keyPath});
        auto added = fresh->layer()->animationForKey(e.keyPath);
        auto property = std::dynamic_pointer_cast<platform::PropertyAnimation>(added);
        ASSERT_TRUE(property);
        EXPECT_EQ(property->keyPath(), e.keyPath);
        EXPECT_DOUBLE_EQ(added->duration(), e.duration);
        EXPECT_FALSE(added->isRemovedOnCompletion());
        EXPECT_EQ(added->fillMode(), platform::kFillModeForwards);
        EXPECT_EQ(added->timingFunction(), "");
        // Without a block the platform's own classes are used.
        EXPECT_EQ(dynamic_cast<CZContextualizedAnimationProtocol*>(added.get()), nullptr);
        EXPECT_EQ(bool(std::dynamic_pointer_cast<platform::KeyframeAnimation>(added)), e.keyframe);
        auto basic = std::dynamic_pointer_cast<platform::BasicAnimation>(added);
        EXPECT_EQ(bool(basic), !e.keyframe);
        if (e.keyPath == "position") {
          const AnimationValue away(offscreen(type, orientation)), home(m);
          EXPECT_EQ(basic->fromValue(), in ? away : home);
          EXPECT_EQ(basic->toValue(), in ? home : away);
        }
      }
    }
  }
}

TEST_F(TransitionsTest, PerspectiveIsAddedToTheLayersOwnTransform) {
  // A view rotated for landscape keeps its rotation inside every value.
  const Transform3D quarter = Transform3D::makeRotation(kPi / 2, 0, 0, 1);
  layer()->setTransform(quarter);
  CZAnimationManager::transitionInWithAnimationTypeLayer(1, layer());
  auto a = std::dynamic_pointer_cast<platform::BasicAnimation>(layer()->animationForKey("transform"));
  ASSERT_TRUE(a);
  Transform3D b = quarter;
  b.m34 = -1.0 / 1500.0;
  EXPECT_TRUE(near(a->toValue(), b));
  // The sideways shift of the swing: translation applied before the rotated base.
  EXPECT_TRUE(near(a->fromValue(), b.rotated(-kPi / 3, 0, 1, 0).translated(-500, 0, 0)));
}

TEST_F(TransitionsTest, ConfigurationBlockGetsAContextualizedAnimationWhoseCopiesKeepTheContext) {
  auto recorder = std::make_shared<Recorder>();
  for (int type : {1, 3, 0}) {
    SCOPED_TRACE(type);
    auto v = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
    std::shared_ptr<platform::PropertyAnimation> given;
    CZAnimationManager::transitionInWithAnimationTypeLayerAnimationConfigurationBlock(
        type, v->layer(), [&](const std::shared_ptr<platform::PropertyAnimation>& a) {
          given = a;
          // Every other setting is already made when the block runs.
          EXPECT_FALSE(a->isRemovedOnCompletion());
          EXPECT_EQ(a->fillMode(), platform::kFillModeForwards);
          a->setDelegate(recorder);
          dynamic_cast<CZContextualizedAnimationProtocol&>(*a).setContext(std::string("ctx-") + std::to_string(type));
        });
    ASSERT_TRUE(given);
    auto onLayer = v->layer()->animationForKey(given->keyPath());
    ASSERT_TRUE(onLayer);
    EXPECT_NE(onLayer, given);  // the layer keeps a copy
    auto* ctx = dynamic_cast<CZContextualizedAnimationProtocol*>(onLayer.get());
    ASSERT_TRUE(ctx);
    EXPECT_EQ(std::any_cast<std::string>(ctx->context()), "ctx-" + std::to_string(type));
    EXPECT_EQ(onLayer->delegate(), recorder);
  }
}

TEST_F(TransitionsTest, AReplacedTransitionStopsUnfinishedAndTheNextOneFinishes) {
  auto recorder = std::make_shared<Recorder>();
  auto withDelegate = [&](const std::shared_ptr<platform::PropertyAnimation>& a) { a->setDelegate(recorder); };
  CZAnimationManager::transitionInWithAnimationTypeLayerAnimationConfigurationBlock(1, layer(), withDelegate);
  CZAnimationManager::transitionOutWithAnimationTypeLayerAnimationConfigurationBlock(1, layer(), withDelegate);
  runUntilIdle();
  ASSERT_EQ(recorder->stops.size(), 1u);
  EXPECT_EQ(recorder->stops[0], std::make_pair(std::string("transform"), false));
  advance(0.25);
  EXPECT_EQ(recorder->stops.size(), 1u);  // 0.2555 s, not the platform's 0.25
  advance(0.01);
  ASSERT_EQ(recorder->stops.size(), 2u);
  EXPECT_EQ(recorder->stops[1], std::make_pair(std::string("transform"), true));
  // The exit stays on the layer after it ended.
  EXPECT_TRUE(layer()->animationForKey("transform"));
}

}  // namespace
