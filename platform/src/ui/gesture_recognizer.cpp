#include "platform/gesture_recognizer.h"

#include <algorithm>

namespace platform {

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  auto old = recognizer->view();
  if (old.get() == this) return;
  if (old) old->removeGestureRecognizer(recognizer);
  gestureRecognizers_.push_back(recognizer);
  recognizer->view_ = std::static_pointer_cast<View>(shared_from_this());
}

void View::removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  auto it = std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer);
  if (it == gestureRecognizers_.end()) return;
  (*it)->view_.reset();
  gestureRecognizers_.erase(it);
}

void GestureRecognizer::addTargetAction(const std::shared_ptr<void>& target, Action action) {
  if (action) targets_.push_back({target, target != nullptr, std::move(action)});
}

Point GestureRecognizer::locationInView(const std::shared_ptr<View>& inView) const {
  auto touch = lastTouch_.lock();
  return touch ? touch->locationInView(inView) : Point{};
}

void GestureRecognizer::setState(State state) {
  state_ = state;
  if (state != State::Began && state != State::Changed && state != State::Ended) return;
  auto self = shared_from_this();  // an action may remove the recognizer from its view
  auto targets = targets_;
  for (auto& t : targets) {
    auto keep = t.target.lock();
    if (t.hasTarget && !keep) continue;
    t.action(*this);
  }
}

bool TapGestureRecognizer::inside(const TouchSet& touches) const {
  auto v = view();
  if (!v || touches.empty()) return false;
  return rectContainsPoint(v->bounds(), touches.front()->locationInView(v));
}

void TapGestureRecognizer::touchesMovedWithEvent(const TouchSet& touches, const Event&) {
  if (state() == State::Possible && !inside(touches)) setState(State::Failed);
}

void TapGestureRecognizer::touchesEndedWithEvent(const TouchSet& touches, const Event&) {
  if (state() != State::Possible) return;
  if (inside(touches) && touches.front()->tapCount >= taps_) {
    setState(State::Ended);
  } else {
    setState(State::Failed);
  }
}

void TapGestureRecognizer::touchesCancelledWithEvent(const TouchSet&, const Event&) {
  if (state() == State::Possible) setState(State::Failed);
}

}  // namespace platform
