#pragma once
// Layer animations that carry a context object, so that the delegate told an animation
// stopped can tell which impression or which background it belonged to. A copy (the layer
// keeps a copy of what is added) carries the same context.
//
// The context is any value (the presentation controller uses a CZImpression and a string);
// it is retained by the animation until cleared.
// Thread safety: context() and setContext() may be called from any thread; the rest of an
// animation is main-thread state as the platform's animations are.
#include <any>
#include <memory>
#include <mutex>

#include "platform/animation.h"

namespace cadenzo {

class CZContextualizedAnimationProtocol {
 public:
  virtual ~CZContextualizedAnimationProtocol() = default;
  // An empty std::any when none.
  virtual std::any context() const = 0;
  virtual void setContext(std::any context) = 0;
};

// The context storage both animation classes share.
class CZAnimationContextHolder : public CZContextualizedAnimationProtocol {
 public:
  CZAnimationContextHolder() = default;
  CZAnimationContextHolder(const CZAnimationContextHolder& other) : context_(other.context()) {}
  CZAnimationContextHolder& operator=(const CZAnimationContextHolder& other);
  std::any context() const override;
  void setContext(std::any context) override;

 private:
  mutable std::mutex mutex_;
  std::any context_;
};

class CZContextualizedBasicAnimation : public platform::BasicAnimation, public CZAnimationContextHolder {
 public:
  static std::shared_ptr<CZContextualizedBasicAnimation> animationWithKeyPath(std::string keyPath);
  std::shared_ptr<platform::Animation> copy() const override {
    return std::make_shared<CZContextualizedBasicAnimation>(*this);
  }
};

class CZContextualizedKeyframeAnimation : public platform::KeyframeAnimation, public CZAnimationContextHolder {
 public:
  static std::shared_ptr<CZContextualizedKeyframeAnimation> animationWithKeyPath(std::string keyPath);
  std::shared_ptr<platform::Animation> copy() const override {
    return std::make_shared<CZContextualizedKeyframeAnimation>(*this);
  }
};

}  // namespace cadenzo
