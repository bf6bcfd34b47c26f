#include "CZContextualizedAnimation.h"

namespace cadenzo {

CZAnimationContextHolder& CZAnimationContextHolder::operator=(const CZAnimationContextHolder& other) {
  if (this != &other) setContext(other.context());
  return *this;
}

std::any CZAnimationContextHolder::context() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return context_;
}

void CZAnimationContextHolder::setContext(std::any context) {
  std::any old;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    old.swap(context_);
    context_ = std::move(context);
  }
  // `old` is released outside the lock: its destructor may be an impression's.
}

std::shared_ptr<CZContextualizedBasicAnimation> CZContextualizedBasicAnimation::animationWithKeyPath(
    std::string keyPath) {
  auto animation = std::make_shared<CZContextualizedBasicAnimation>();
  animation->setKeyPath(std::move(keyPath));
  return animation;
}

std::shared_ptr<CZContextualizedKeyframeAnimation> CZContextualizedKeyframeAnimation::animationWithKeyPath(
    std::string keyPath) {
  auto animation = std::make_shared<CZContextualizedKeyframeAnimation>();
  animation->setKeyPath(std::move(keyPath));
  return animation;
}

}  // namespace cadenzo
