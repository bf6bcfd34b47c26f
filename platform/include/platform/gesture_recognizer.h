#pragma once
// Gesture recognizers: objects attached to a view that watch the touches made on it (or on
// its subviews) and send their actions when they recognise a gesture.
//
// Delivery (Window): every touch phase goes first to the enabled recognizers of the view hit
// and of its superviews (the hit view's first, then upwards, each view's in the order they
// were added), then to the hit view. When a touch ends, a recognizer that has recognised
// (state Ended) and cancelsTouchesInView() makes the view get touchesCancelled instead of
// touchesEnded. Once the touch is over, every recognizer that took part is reset() and is
// Possible again.
// Actions run when the state becomes Began, Changed or Ended; a target that has gone is
// skipped (targets are not retained).
//
// Ownership: a view retains its recognizers; a recognizer's view is a weak back-pointer.
// Thread safety: main thread only.
#include <functional>
#include <memory>
#include <vector>

#include "platform/view.h"

namespace platform {

class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  enum class State { Possible, Began, Changed, Ended, Cancelled, Failed };
  using Action = std::function<void(GestureRecognizer& sender)>;

  GestureRecognizer() = default;
  GestureRecognizer(const std::shared_ptr<void>& target, Action action) { addTargetAction(target, std::move(action)); }
  virtual ~GestureRecognizer() = default;
  GestureRecognizer(const GestureRecognizer&) = delete;
  GestureRecognizer& operator=(const GestureRecognizer&) = delete;

  // A null target never goes away.
  void addTargetAction(const std::shared_ptr<void>& target, Action action);
  std::shared_ptr<View> view() const { return view_.lock(); }
  State state() const { return state_; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool e) { enabled_ = e; }
  bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
  void setCancelsTouchesInView(bool c) { cancelsTouchesInView_ = c; }
  // Where the current (or last) touch is, in `inView`'s coordinates (window's for nullptr).
  Point locationInView(const std::shared_ptr<View>& inView) const;

  // What a subclass overrides.
  virtual void touchesBeganWithEvent(const TouchSet& touches, const Event& event) { (void)touches; (void)event; }
  virtual void touchesMovedWithEvent(const TouchSet& touches, const Event& event) { (void)touches; (void)event; }
  virtual void touchesEndedWithEvent(const TouchSet& touches, const Event& event) { (void)touches; (void)event; }
  virtual void touchesCancelledWithEvent(const TouchSet& touches, const Event& event) { (void)touches; (void)event; }
  virtual void reset() {}
  virtual void ignoreTouchForEvent(const std::shared_ptr<Touch>& touch, const Event& event) { (void)touch; (void)event; }
  // Whether this recognizer may keep `other` from recognising the same touch, and whether
  // `other` may keep this one from it: YES unless a subclass answers otherwise. Window
  // delivery gives every touch to every recognizer that watches it and fails none because of
  // another, so nothing in delivery depends on these answers; they are there to be asked.
  virtual bool canPreventGestureRecognizer(const GestureRecognizer& other) const { (void)other; return true; }
  virtual bool canBePreventedByGestureRecognizer(const GestureRecognizer& other) const { (void)other; return true; }

 protected:
  // Sets the state; Began, Changed and Ended send the actions.
  void setState(State state);

 private:
  friend class View;
  friend class Window;
  struct Target {
    std::weak_ptr<void> target;
    bool hasTarget;
    Action action;
  };
  std::weak_ptr<View> view_;
  std::vector<Target> targets_;
  std::weak_ptr<Touch> lastTouch_;
  State state_ = State::Possible;
  bool enabled_ = true;
  bool cancelsTouchesInView_ = true;
};

// Recognises a tap: the touch ends inside the recognizer's view with at least
// numberOfTapsRequired taps; moving out of the view fails it.
class TapGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  int numberOfTapsRequired() const { return taps_; }
  void setNumberOfTapsRequired(int n) { taps_ = n; }

  void touchesMovedWithEvent(const TouchSet& touches, const Event& event) override;
  void touchesEndedWithEvent(const TouchSet& touches, const Event& event) override;
  void touchesCancelledWithEvent(const TouchSet& touches, const Event& event) override;

 private:
  bool inside(const TouchSet& touches) const;
  int taps_ = 1;
};

}  // namespace platform
