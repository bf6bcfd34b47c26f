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

class TransitionsTest : public testing::SandboxTest {
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

// The base transform: the layer's (identity here) with perspective -1/1500.
Transform3D base() {
  Transform3D b;
  b.m34 = -1.0 / 1500.0;
  return b;
}

struct Expected {
  double z;
  std::string keyPath;
  bool keyframe;
  std::vector<AnimationValue> values;  // from, to for basic animations
  std::vector<double> keyTimes;
  double duration;
};

// The tables, for a 320 x 480 layer whose centre point M is (160, 240).
Expected expected(bool in, int type, int orientation) {
  const Transform3D b = base();
  const double d = 0.2555;
  // Slide starting points: bottom edge (type 4) or top edge (type 5) as seen by the user.
  auto slide = [&](int t) -> Point {
    static const Point bottom[] = {{160, 240}, {160, 720}, {160, -240}, {-160, 240}, {480, 240}};
    static const Point top[] = {{160, 240}, {160, -240}, {160, 720}, {480, 240}, {-160, 240}};
    int i = orientation >= 1 && orientation <= 4 ? orientation : 0;
    return t == 4 ? bottom[i] : top[i];
  };
  const Point m{160, 240};
  if (in) {
    switch (type) {
      case 1: return {1000, "transform", false, {b.rotated(-kPi / 3, 0, 1, 0).translated(-500, 0, 0), b}, {}, d};
      case 3:
        return {1000, "transform", true,
                {b.translated(0, -300, 0).scaled(0.3, 0.3, 1).rotated(-kPi / 3, 1, 0, 0),
                 b.translated(0, 10, 0).scaled(1.1, 1.1, 1).rotated(kPi / 18, 1, 0, 0), b},
                {0, 0.9, 1}, 0.38325};
      case 4: return {2, "position", false, {slide(4), m}, {}, d};
      case 5: return {2, "position", false, {slide(5), m}, {}, d};
      case 6: return {2, "opacity", false, {0.0, 1.0}, {}, 0.001};
      default: return {2, "transform.scale", true, {0.6, 1.1, 0.9, 1.0}, {0, 0.6, 0.8, 1.0}, d};
    }
  }
  // Exits leave the z position alone except for types 1 and 3 (-1: unchanged from 7).
  switch (type) {
    case 1: return {1000, "transform", false, {b, b.rotated(kPi / 3, 0, 1, 0).translated(500, 0, 0)}, {}, d};
    case 3:
      return {1000, "transform", true,
              {b, b.translated(0, 10, 0).scaled(0.9, 0.9, 1).rotated(-kPi / 18, 1, 0, 0),
               b.translated(0, 500, 0).scaled(1.3, 1.3, 1).rotated(kPi / 6, 1, 0, 0)},
              {0, 0.15, 1}, 0.38325};
    case 4: return {7, "position", false, {m, slide(4)}, {}, d};
    case 5: return {7, "position", false, {m, slide(5)}, {}, d};
    case 6: return {7, "opacity", false, {1.0, 0.0}, {}, 0.001};
    default: return {7, "transform.scale", false, {1.0, 0.0}, {}, d};
  }
}

bool near(const AnimationValue& a, const AnimationValue& b) {
  if (a.index() != b.index()) return false;
  if (auto x = std::get_if<double>(&a)) return std::abs(*x - std::get<double>(b)) < 1e-9;
  if (auto p = std::get_if<Point>(&a)) {
    auto q = std::get<Point>(b);
    return std::abs(p->x - q.x) < 1e-9 && std::abs(p->y - q.y) < 1e-9;
  }
  if (auto t = std::get_if<Transform3D>(&a)) {
    auto u = std::get<Transform3D>(b);
    const double* x = &t->m11;
    const double* y = &u.m11;
    for (int i = 0; i < 16; ++i)
      if (std::abs(x[i] - y[i]) > 1e-9) return false;
    return true;
  }
  return false;
}

TEST_F(TransitionsTest, EveryTypeDirectionAndOrientationMatchesTheTables) {
  auto facade = cadenzo::Cadenzo::sharedCadenzo();
  ASSERT_TRUE(facade);
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
        Expected e = expected(in, type, orientation);
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
        if (e.keyframe) {
          auto k = std::dynamic_pointer_cast<platform::KeyframeAnimation>(added);
          ASSERT_TRUE(k);
          ASSERT_EQ(k->values().size(), e.values.size());
          for (size_t i = 0; i < e.values.size(); ++i) EXPECT_TRUE(near(k->values()[i], e.values[i])) << i;
          EXPECT_EQ(k->keyTimes(), e.keyTimes);
        } else {
          auto bsc = std::dynamic_pointer_cast<platform::BasicAnimation>(added);
          ASSERT_TRUE(bsc);
          EXPECT_TRUE(near(bsc->fromValue(), e.values[0]));
          EXPECT_TRUE(near(bsc->toValue(), e.values[1]));
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
