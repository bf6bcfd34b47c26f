#pragma once
// The entry and exit transitions of the Cadenzo ad views: one layer animation per call,
// chosen by the answer's "animation" type:
//   1 swing (a turn about the vertical axis with a sideways shift),
//   3 bounce (a tilt about the horizontal axis with a zoom and overshoot, keyframes),
//   4 slide from / to the bottom edge as the user sees it, 5 the same with the top edge,
//   6 a near-instant fade, any other value a pop (scale).
// Slides follow the facade's interface orientation (1 portrait, 2 upside down, 3 and 4
// landscape), so that they match the rotation the presentation controller gives the view.
//
// Every animation stays on the layer when it ends (fill mode forwards) under a key equal to
// its key path, so a layer keeps showing the end of an exit until its view is removed.
// With a configuration block, the animation is a CZContextualized… one, and the block is
// called after every other setting and before the animation is added: callers set the
// delegate and the context there.
//
// Stateless; main thread only.
#include <functional>
#include <memory>

#include "platform/animation.h"
#include "platform/layer.h"

namespace cadenzo {

class CZAnimationManager {
 public:
  static constexpr double kDuration = 0.2555;
  static constexpr double kBounceDuration = 0.38325;
  static constexpr double kFadeDuration = 0.001;
  static constexpr double kPerspective = -1.0 / 1500.0;

  using ConfigurationBlock = std::function<void(const std::shared_ptr<platform::PropertyAnimation>& animation)>;

  static void transitionInWithAnimationTypeLayer(int type, const std::shared_ptr<platform::Layer>& layer) {
    transitionInWithAnimationTypeLayerAnimationConfigurationBlock(type, layer, nullptr);
  }
  static void transitionOutWithAnimationTypeLayer(int type, const std::shared_ptr<platform::Layer>& layer) {
    transitionOutWithAnimationTypeLayerAnimationConfigurationBlock(type, layer, nullptr);
  }
  // A null layer does nothing.
  static void transitionInWithAnimationTypeLayerAnimationConfigurationBlock(
      int type, const std::shared_ptr<platform::Layer>& layer, const ConfigurationBlock& block);
  static void transitionOutWithAnimationTypeLayerAnimationConfigurationBlock(
      int type, const std::shared_ptr<platform::Layer>& layer, const ConfigurationBlock& block);
};

}  // namespace cadenzo
