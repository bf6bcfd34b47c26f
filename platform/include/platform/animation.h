#pragma once
// Layer animations: basic, keyframe and transition, added to a layer under a key.
//
// Adding copies the animation: the layer keeps and reports the copy,
// so a subclass that carries extra state overrides copy(). The delegate is retained by the
// animation. Callbacks arrive on the main run loop, never inside
// addAnimation: animationDidStart on the next turn; animationDidStopFinished with finished =
// true once the active duration has passed on the Clock (RunLoop::advance in tests), or with
// finished = false on a later turn when the animation is removed or replaced before that, or
// when its layer goes away. Main thread only.
#include <limits>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/geometry.h"
#include "platform/graphics.h"

namespace platform {

class Animation;

// What an animation moves: a number ("opacity", "transform.scale"), a point ("position"),
// a size, a rectangle ("bounds"), a transform ("transform") or a colour.
using AnimationValue = std::variant<std::monostate, double, Point, Size, Rect, Transform3D, Color>;

class AnimationDelegate {
 public:
  virtual ~AnimationDelegate() = default;
  virtual void animationDidStart(const std::shared_ptr<Animation>& animation) { (void)animation; }
  virtual void animationDidStopFinished(const std::shared_ptr<Animation>& animation, bool finished) {
    (void)animation;
    (void)finished;
  }
};

inline constexpr const char* kFillModeRemoved = "removed";
inline constexpr const char* kFillModeForwards = "forwards";
inline constexpr const char* kFillModeBackwards = "backwards";
inline constexpr const char* kFillModeBoth = "both";

inline constexpr const char* kTimingFunctionLinear = "linear";
inline constexpr const char* kTimingFunctionEaseIn = "easeIn";
inline constexpr const char* kTimingFunctionEaseOut = "easeOut";
inline constexpr const char* kTimingFunctionEaseInEaseOut = "easeInEaseOut";
inline constexpr const char* kTimingFunctionDefault = "default";

class Animation : public std::enable_shared_from_this<Animation> {
 public:
  virtual ~Animation() = default;
  static std::shared_ptr<Animation> animation() { return std::make_shared<Animation>(); }
  // A copy of the same dynamic type; subclasses override.
  virtual std::shared_ptr<Animation> copy() const { return std::make_shared<Animation>(*this); }

  // 0 means the platform's default of 0.25 s.
  double duration() const { return duration_; }
  void setDuration(double d) { duration_ = d; }
  double beginTime() const { return beginTime_; }  // delay, seconds after it is added
  void setBeginTime(double t) { beginTime_ = t; }
  // 0 or 1 play once; an infinite count never finishes.
  double repeatCount() const { return repeatCount_; }
  void setRepeatCount(double c) { repeatCount_ = c; }
  bool autoreverses() const { return autoreverses_; }
  void setAutoreverses(bool a) { autoreverses_ = a; }
  // Empty: none set (the platform's default pacing).
  const std::string& timingFunction() const { return timingFunction_; }
  void setTimingFunction(std::string name) { timingFunction_ = std::move(name); }
  bool isRemovedOnCompletion() const { return removedOnCompletion_; }
  void setRemovedOnCompletion(bool r) { removedOnCompletion_ = r; }
  const std::string& fillMode() const { return fillMode_; }
  void setFillMode(std::string m) { fillMode_ = std::move(m); }
  const std::shared_ptr<AnimationDelegate>& delegate() const { return delegate_; }
  void setDelegate(std::shared_ptr<AnimationDelegate> d) { delegate_ = std::move(d); }

  // Seconds from being added to stopping: begin time + duration × repeats (× 2 when it
  // autoreverses); infinity for an infinite repeat count.
  double activeDuration() const;

 private:
  double duration_ = 0;
  double beginTime_ = 0;
  double repeatCount_ = 0;
  bool autoreverses_ = false;
  std::string timingFunction_;
  bool removedOnCompletion_ = true;
  std::string fillMode_ = kFillModeRemoved;
  std::shared_ptr<AnimationDelegate> delegate_;
};

class PropertyAnimation : public Animation {
 public:
  std::shared_ptr<Animation> copy() const override { return std::make_shared<PropertyAnimation>(*this); }
  const std::string& keyPath() const { return keyPath_; }
  void setKeyPath(std::string k) { keyPath_ = std::move(k); }
  bool isAdditive() const { return additive_; }
  void setAdditive(bool a) { additive_ = a; }
  bool isCumulative() const { return cumulative_; }
  void setCumulative(bool c) { cumulative_ = c; }

 private:
  std::string keyPath_;
  bool additive_ = false;
  bool cumulative_ = false;
};

class BasicAnimation : public PropertyAnimation {
 public:
  static std::shared_ptr<BasicAnimation> animationWithKeyPath(std::string keyPath);
  std::shared_ptr<Animation> copy() const override { return std::make_shared<BasicAnimation>(*this); }
  const AnimationValue& fromValue() const { return from_; }
  void setFromValue(AnimationValue v) { from_ = std::move(v); }
  const AnimationValue& toValue() const { return to_; }
  void setToValue(AnimationValue v) { to_ = std::move(v); }
  const AnimationValue& byValue() const { return by_; }
  void setByValue(AnimationValue v) { by_ = std::move(v); }

 private:
  AnimationValue from_, to_, by_;
};

inline constexpr const char* kAnimationLinear = "linear";
inline constexpr const char* kAnimationDiscrete = "discrete";
inline constexpr const char* kAnimationPaced = "paced";

class KeyframeAnimation : public PropertyAnimation {
 public:
  static std::shared_ptr<KeyframeAnimation> animationWithKeyPath(std::string keyPath);
  std::shared_ptr<Animation> copy() const override { return std::make_shared<KeyframeAnimation>(*this); }
  const std::vector<AnimationValue>& values() const { return values_; }
  void setValues(std::vector<AnimationValue> v) { values_ = std::move(v); }
  const std::vector<double>& keyTimes() const { return keyTimes_; }
  void setKeyTimes(std::vector<double> t) { keyTimes_ = std::move(t); }
  const std::string& calculationMode() const { return calculationMode_; }
  void setCalculationMode(std::string m) { calculationMode_ = std::move(m); }
  const std::vector<std::string>& timingFunctions() const { return timingFunctions_; }
  void setTimingFunctions(std::vector<std::string> f) { timingFunctions_ = std::move(f); }

 private:
  std::vector<AnimationValue> values_;
  std::vector<double> keyTimes_;
  std::string calculationMode_ = kAnimationLinear;
  std::vector<std::string> timingFunctions_;
};

inline constexpr const char* kTransitionFade = "fade";
inline constexpr const char* kTransitionMoveIn = "moveIn";
inline constexpr const char* kTransitionPush = "push";
inline constexpr const char* kTransitionReveal = "reveal";
inline constexpr const char* kTransitionFromRight = "fromRight";
inline constexpr const char* kTransitionFromLeft = "fromLeft";
inline constexpr const char* kTransitionFromTop = "fromTop";
inline constexpr const char* kTransitionFromBottom = "fromBottom";

// Added to a layer, a transition animates the change of its content; its key is always
// "transition" when added under an empty key.
class Transition : public Animation {
 public:
  static std::shared_ptr<Transition> animation() { return std::make_shared<Transition>(); }
  std::shared_ptr<Animation> copy() const override { return std::make_shared<Transition>(*this); }
  const std::string& type() const { return type_; }
  void setType(std::string t) { type_ = std::move(t); }
  const std::string& subtype() const { return subtype_; }
  void setSubtype(std::string s) { subtype_ = std::move(s); }

 private:
  std::string type_ = kTransitionFade;
  std::string subtype_;
};

}  // namespace platform
