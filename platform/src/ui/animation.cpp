#include "platform/animation.h"

#include <cmath>

namespace platform {

double Animation::activeDuration() const {
  double d = duration_ > 0 ? duration_ : 0.25;
  if (std::isinf(repeatCount_)) return std::numeric_limits<double>::infinity();
  double repeats = repeatCount_ > 0 ? repeatCount_ : 1;
  return beginTime_ + d * repeats * (autoreverses_ ? 2 : 1);
}

std::shared_ptr<BasicAnimation> BasicAnimation::animationWithKeyPath(std::string keyPath) {
  auto a = std::make_shared<BasicAnimation>();
  a->setKeyPath(std::move(keyPath));
  return a;
}

std::shared_ptr<KeyframeAnimation> KeyframeAnimation::animationWithKeyPath(std::string keyPath) {
  auto a = std::make_shared<KeyframeAnimation>();
  a->setKeyPath(std::move(keyPath));
  return a;
}

}  // namespace platform
