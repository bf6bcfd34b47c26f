// The view-animation class methods: model values change at once, so only the completion is
// timed, on the main loop.
#include <mutex>

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

AnimationState& state() {
  static AnimationState* s = [] {
    auto* st = new AnimationState;
    onProcessReset([st] { *st = AnimationState{}; });
    return st;
  }();
  return *s;
}

PendingAnimation* open() {
  auto& st = state();
  return st.stack.empty() ? nullptr : &st.stack.back();
}

double delayUntilDone(const View::CommittedAnimation& r, double repeats) {
  if (!state().enabled) return 0;
  return r.delay + r.duration * (repeats > 1 ? repeats : 1);
}

}  // namespace

void View::beginAnimationsContext(const std::string& animationID, void* context) {
  PendingAnimation p;
  p.record.identifier = animationID;
  p.record.duration = 0.2;
  p.context = context;
  state().stack.push_back(std::move(p));
}

void View::setAnimationDuration(double s) {
  if (auto* p = open()) p->record.duration = s;
}
void View::setAnimationDelay(double s) {
  if (auto* p = open()) p->record.delay = s;
}
void View::setAnimationCurve(int c) {
  if (auto* p = open()) p->record.curve = c;
}
void View::setAnimationRepeatCount(double c) {
  if (auto* p = open()) p->repeatCount = c;
}
void View::setAnimationBeginsFromCurrentState(bool) {}
void View::setAnimationTransitionForViewCache(int transition, const std::shared_ptr<View>&, bool) {
  if (auto* p = open()) p->record.transition = transition;
}
void View::setAnimationDidStopCallback(AnimationDidStop cb) {
  if (auto* p = open()) p->didStop = std::move(cb);
}
void View::setAnimationWillStartCallback(AnimationWillStart cb) {
  if (auto* p = open()) p->willStart = std::move(cb);
}

void View::commitAnimations() {
  auto& st = state();
  if (st.stack.empty()) return;
  PendingAnimation p = std::move(st.stack.back());
  st.stack.pop_back();
  st.committed.push_back(p.record);
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
  auto& st = state();
  CommittedAnimation r;
  r.duration = duration;
  r.delay = delay;
  r.options = options;
  ++st.blockDepth;
  if (animations) animations();
  --st.blockDepth;
  st.committed.push_back(r);
  if (completion) {
    RunLoop::main().postAfter(delayUntilDone(r, 0), [completion = std::move(completion)] { completion(true); });
  }
}

void View::setAnimationsEnabled(bool enabled) { state().enabled = enabled; }
bool View::areAnimationsEnabled() { return state().enabled; }
bool View::isAnimating() { return !state().stack.empty() || state().blockDepth > 0; }
std::vector<View::CommittedAnimation> View::committedAnimations() { return state().committed; }

}  // namespace platform
