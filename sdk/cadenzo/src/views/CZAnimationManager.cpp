#include "CZAnimationManager.h"

#include "CZInterfaceOrientation.h"
#include "CZContextualizedAnimation.h"

namespace cadenzo {

using platform::AnimationValue;
using platform::kPi;
using platform::Point;
using platform::PropertyAnimation;
using platform::Transform3D;

namespace {

enum class Direction { In, Out };

std::shared_ptr<platform::BasicAnimation> basic(const std::string& keyPath, bool contextualized) {
  if (contextualized) return CZContextualizedBasicAnimation::animationWithKeyPath(keyPath);
  return platform::BasicAnimation::animationWithKeyPath(keyPath);
}

std::shared_ptr<platform::KeyframeAnimation> keyframe(const std::string& keyPath, bool contextualized) {
  if (contextualized) return CZContextualizedKeyframeAnimation::animationWithKeyPath(keyPath);
  return platform::KeyframeAnimation::animationWithKeyPath(keyPath);
}

std::shared_ptr<platform::BasicAnimation> basicFromTo(const std::string& keyPath, bool contextualized,
                                                      AnimationValue from, AnimationValue to, double duration) {
  auto a = basic(keyPath, contextualized);
  a->setFromValue(std::move(from));
  a->setToValue(std::move(to));
  a->setDuration(duration);
  return a;
}

// Where a slide starts (entry) or ends (exit): the centre moved off the screen edge that
// is the bottom (type 4) or top (type 5) as the user sees it in `orientation`.
Point offscreen(int type, int orientation, const Point& m, double w, double h) {
  const double sign = type == 4 ? 1 : -1;
  switch (orientation) {
    case 1: return {m.x, m.y + sign * h};
    case 2: return {m.x, m.y - sign * h};
    case 3: return {m.x - sign * w, m.y};
    case 4: return {m.x + sign * w, m.y};
    default: return m;
  }
}

void play(Direction direction, int type, const std::shared_ptr<platform::Layer>& layer,
          const CZAnimationManager::ConfigurationBlock& block) {
  if (!layer) return;
  const bool ctx = static_cast<bool>(block);
  const double d = CZAnimationManager::kDuration;
  Transform3D b = layer->transform();
  b.m34 = CZAnimationManager::kPerspective;
  const platform::Size size = layer->frame().size;
  const Point m{size.width / 2, size.height / 2};
  const bool in = direction == Direction::In;

  std::shared_ptr<PropertyAnimation> animation;
  switch (type) {
    case 1:
      layer->setZPosition(1000);
      animation = in ? basicFromTo("transform", ctx, b.rotated(-kPi / 3, 0, 1, 0).translated(-500, 0, 0),
                                   b.rotated(0, 0, 1, 0), d)
                     : basicFromTo("transform", ctx, b.rotated(0, 0, 1, 0),
                                   b.rotated(kPi / 3, 0, 1, 0).translated(500, 0, 0), d);
      break;
    case 3: {
      layer->setZPosition(1000);
      auto k = keyframe("transform", ctx);
      if (in) {
        k->setValues({b.translated(0, -300, 0).scaled(0.3, 0.3, 1).rotated(-kPi / 3, 1, 0, 0),
                      b.translated(0, 10, 0).scaled(1.1, 1.1, 1).rotated(kPi / 18, 1, 0, 0), b.rotated(0, 0, 0, 1)});
        k->setKeyTimes({0, 0.9, 1});
      } else {
        k->setValues({b.rotated(0, 0, 0, 1), b.translated(0, 10, 0).scaled(0.9, 0.9, 1).rotated(-kPi / 18, 1, 0, 0),
                      b.translated(0, 500, 0).scaled(1.3, 1.3, 1).rotated(kPi / 6, 1, 0, 0)});
        k->setKeyTimes({0, 0.15, 1});
      }
      k->setDuration(CZAnimationManager::kBounceDuration);
      animation = k;
      break;
    }
    case 4:
    case 5: {
      if (in) layer->setZPosition(2);
      const Point away = offscreen(type, CZInterfaceOrientation(), m, size.width, size.height);
      animation = in ? basicFromTo("position", ctx, away, m, d) : basicFromTo("position", ctx, m, away, d);
      break;
    }
    case 6:
      if (in) layer->setZPosition(2);
      animation = basicFromTo("opacity", ctx, in ? 0.0 : 1.0, in ? 1.0 : 0.0, CZAnimationManager::kFadeDuration);
      break;
    default:
      if (in) {
        layer->setZPosition(2);
        auto k = keyframe("transform.scale", ctx);
        k->setValues({0.6, 1.1, 0.9, 1.0});
        k->setKeyTimes({0, 0.6, 0.8, 1.0});
        k->setDuration(d);
        animation = k;
      } else {
        animation = basicFromTo("transform.scale", ctx, 1.0, 0.0, d);
      }
      break;
  }
  animation->setRemovedOnCompletion(false);
  animation->setFillMode(platform::kFillModeForwards);
  if (block) block(animation);
  layer->addAnimationForKey(animation, animation->keyPath());
}

}  // namespace

void CZAnimationManager::transitionInWithAnimationTypeLayerAnimationConfigurationBlock(
    int type, const std::shared_ptr<platform::Layer>& layer, const ConfigurationBlock& block) {
  play(Direction::In, type, layer, block);
}

void CZAnimationManager::transitionOutWithAnimationTypeLayerAnimationConfigurationBlock(
    int type, const std::shared_ptr<platform::Layer>& layer, const ConfigurationBlock& block) {
  play(Direction::Out, type, layer, block);
}

}  // namespace cadenzo
