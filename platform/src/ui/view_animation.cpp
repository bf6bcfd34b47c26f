// The view-animation class methods: model values change at once, so only the completion is
// timed, on the main loop.
#include <optional>

#include "platform/run_loop.h"
#include "platform/singleton.h"
#include "platform/view.h"

namespace platform {

namespace {

struct PendingAnimation {
  View::CommittedAnimation record;
  View::AnimationDidStop didStop;
  View::AnimationWillStart willStart;
  void* context = nullptr;
  double repeatCount = 0;
};

struct AnimationState {
  std::vector<PendingAnimation> stack;  // open begin/commit blocks, innermost last
  int blockDepth = 0;
  bool enabled = true;
  std::vector<View::CommittedAnimation> committed;
};

ProcessState<AnimationState>& state() {
  return processState<AnimationState>();
}

// Applies `f` to the innermost open begin/commit block, if there is one.
template <class F>
void onOpen(F&& f) {
  state().with([&f](AnimationState& st) {
    if (!st.stack.empty()) f(st.stack.back());
  });
}

double delayUntilDone(const View::CommittedAnimation& r, double repeats) {
  if (!state().read(&AnimationState::enabled)) return 0;
  return r.delay + r.duration * (repeats > 1 ? repeats : 1);
}

}  // namespace

void View::beginAnimationsContext(const std::string& animationID, void* context) {
  PendingAnimation p;
  p.record.identifier = animationID;
  p.record.duration = 0.2;
  p.context = context;
  state().with([&p](AnimationState& st) { st.stack.push_back(std::move(p)); });
}

void View::setAnimationDuration(double s) {
  onOpen([&](PendingAnimation& p) { p.record.duration = s; });
}
void View::setAnimationDelay(double s) {
  onOpen([&](PendingAnimation& p) { p.record.delay = s; });
}
void View::setAnimationCurve(int c) {
  onOpen([&](PendingAnimation& p) { p.record.curve = c; });
}
void View::setAnimationRepeatCount(double c) {
  onOpen([&](PendingAnimation& p) { p.repeatCount = c; });
}
void View::setAnimationBeginsFromCurrentState(bool) {}
void View::setAnimationTransitionForViewCache(int transition, const std::shared_ptr<View>&, bool) {
  onOpen([&](PendingAnimation& p) { p.record.transition = transition; });
}
void View::setAnimationDidStopCallback(AnimationDidStop cb) {
  onOpen([&](PendingAnimation& p) { p.didStop = std::move(cb); });
}
void View::setAnimationWillStartCallback(AnimationWillStart cb) {
  onOpen([&](PendingAnimation& p) { p.willStart = std::move(cb); });
}

void View::commitAnimations() {
  auto popped = state().with([](AnimationState& st) -> std::optional<PendingAnimation> {
    if (st.stack.empty()) return std::nullopt;
    PendingAnimation p = std::move(st.stack.back());
    st.stack.pop_back();
    st.committed.push_back(p.record);
    return p;
  });
  if (!popped) return;
  PendingAnimation& p = *popped;
  double after = delayUntilDone(p.record, p.repeatCount);
  auto id = p.record.identifier;
  auto ctx = p.context;
  if (p.willStart) {
    auto ws = p.willStart;
    RunLoop::main().post([ws, id, ctx] { ws(id, ctx); });
  }
  if (p.didStop) {
    auto ds = p.didStop;
    RunLoop::main().postAfter(after, [ds, id, ctx] { ds(id, true, ctx); });
  }
}

void View::animateWithDurationAnimations(double duration, const std::function<void()>& animations) {
  animateWithDurationDelayOptionsAnimationsCompletion(duration, 0, 0, animations, nullptr);
}

void View::animateWithDurationAnimationsCompletion(double duration, const std::function<void()>& animations,
                                                   std::function<void(bool)> completion) {
  animateWithDurationDelayOptionsAnimationsCompletion(duration, 0, 0, animations, std::move(completion));
}

void View::animateWithDurationDelayOptionsAnimationsCompletion(double duration, double delay, unsigned options,
                                                               const std::function<void()>& animations,
                                                               std::function<void(bool)> completion) {
  CommittedAnimation r;
  r.duration = duration;
  r.delay = delay;
  r.options = options;
  state().with([](AnimationState& st) { ++st.blockDepth; });
  if (animations) animations();
  state().with([&r](AnimationState& st) {
    --st.blockDepth;
    st.committed.push_back(r);
  });
  if (completion) {
    RunLoop::main().postAfter(delayUntilDone(r, 0), [completion = std::move(completion)] { completion(true); });
  }
}

void View::setAnimationsEnabled(bool enabled) { state().write(&AnimationState::enabled, enabled); }
bool View::areAnimationsEnabled() { return state().read(&AnimationState::enabled); }
bool View::isAnimating() {
  return state().with([](const AnimationState& st) { return !st.stack.empty() || st.blockDepth > 0; });
}
std::vector<View::CommittedAnimation> View::committedAnimations() {
  return state().read(&AnimationState::committed);
}

}  // namespace platform
