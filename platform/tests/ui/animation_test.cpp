#include "platform/animation.h"

#include <gtest/gtest.h>

#include "platform/layer.h"
#include "platform/view.h"
#include "testing/sandbox_test.h"

using namespace platform;

namespace {

class AnimationTest : public testkit::SandboxTest {};

// An animation subclass that carries a context, as clients make them.
class ContextAnimation : public BasicAnimation {
 public:
  std::shared_ptr<Animation> copy() const override { return std::make_shared<ContextAnimation>(*this); }
  std::string context;
};

struct Recorder : AnimationDelegate {
  std::vector<std::string> events;
  std::vector<const Animation*> stopped;  // identities only: the animation retains its delegate
  static std::string name(const std::shared_ptr<Animation>& a) {
    if (auto c = std::dynamic_pointer_cast<ContextAnimation>(a)) return c->context;
    return "?";
  }
  void animationDidStart(const std::shared_ptr<Animation>& a) override { events.push_back("start " + name(a)); }
  void animationDidStopFinished(const std::shared_ptr<Animation>& a, bool finished) override {
    events.push_back("stop " + name(a) + (finished ? " YES" : " NO"));
    stopped.push_back(a.get());
  }
};

std::shared_ptr<ContextAnimation> fade(const std::string& name, double duration,
                                       const std::shared_ptr<Recorder>& delegate) {
  auto a = std::make_shared<ContextAnimation>();
  a->setKeyPath("opacity");
  a->setFromValue(0.0);
  a->setToValue(1.0);
  a->setDuration(duration);
  a->context = name;
  a->setDelegate(delegate);
  return a;
}

TEST_F(AnimationTest, ReplacingAKeyStopsTheOldOneUnfinished) {
  auto rec = std::make_shared<Recorder>();
  auto layer = Layer::layer();
  layer->addAnimationForKey(fade("A", 1.0, rec), "opacity");
  EXPECT_TRUE(rec->events.empty()) << "nothing inside the call";
  advance(0.5);
  layer->addAnimationForKey(fade("B", 1.0, rec), "opacity");
  EXPECT_EQ(rec->events, (std::vector<std::string>{"start A"}));
  advance(0.99);
  EXPECT_EQ(rec->events, (std::vector<std::string>{"start A", "stop A NO", "start B"}));
  advance(0.02);
  EXPECT_EQ(rec->events, (std::vector<std::string>{"start A", "stop A NO", "start B", "stop B YES"}));
  EXPECT_EQ(layer->animationForKey("opacity"), nullptr) << "removed on completion by default";
  advance(5);
  EXPECT_EQ(rec->events.size(), 4u) << "each animation stops once";
}

// Clears the animation's delegate, its only owner, from inside its own callbacks, as clients
// do to break the loop between an animation and the view that waits for it.
struct DropsItself : AnimationDelegate {
  std::shared_ptr<bool> gone = std::make_shared<bool>(false);
  std::shared_ptr<std::vector<std::string>> seen = std::make_shared<std::vector<std::string>>();
  ~DropsItself() override { *gone = true; }
  void animationDidStopFinished(const std::shared_ptr<Animation>& a, bool finished) override {
    auto goneFlag = gone;
    auto log = seen;
    a->setDelegate(nullptr);
    log->push_back(std::string(finished ? "YES" : "NO") + (*goneFlag ? " gone" : " alive"));
  }
};

TEST_F(AnimationTest, DelegateThatClearsItselfOutlivesItsCallback) {
  auto layer = Layer::layer();
  for (bool replaced : {false, true}) {
    auto delegate = std::make_shared<DropsItself>();
    auto seen = delegate->seen;
    auto gone = delegate->gone;
    auto a = BasicAnimation::animationWithKeyPath("opacity");
    a->setDuration(0.5);
    a->setDelegate(std::move(delegate));
    layer->addAnimationForKey(a, "fade");
    a.reset();  // the layer's copy is now the delegate's only owner
    if (replaced) layer->removeAnimationForKey("fade");
    advance(1);
    EXPECT_EQ(*seen, (std::vector<std::string>{replaced ? "NO alive" : "YES alive"}))
        << "the delegate is not destroyed while its own callback runs";
    EXPECT_TRUE(*gone) << "and goes once it returns";
  }
}

TEST_F(AnimationTest, LayerKeepsACopyWithItsContext) {
  auto rec = std::make_shared<Recorder>();
  auto layer = Layer::layer();
  auto added = fade("kept", 0.2555, rec);
  added->setRemovedOnCompletion(false);
  added->setFillMode(kFillModeForwards);
  layer->addAnimationForKey(added, "opacity");
  auto onLayer = layer->animationForKey("opacity");
  ASSERT_NE(onLayer, nullptr);
  EXPECT_NE(onLayer, added) << "the layer holds a copy";
  ASSERT_NE(std::dynamic_pointer_cast<ContextAnimation>(onLayer), nullptr);
  EXPECT_EQ(std::dynamic_pointer_cast<ContextAnimation>(onLayer)->context, "kept");

  advance(0.255);
  EXPECT_TRUE(rec->stopped.empty());
  advance(0.001);
  ASSERT_EQ(rec->stopped.size(), 1u);
  EXPECT_EQ(rec->stopped[0], onLayer.get()) << "the delegate hears about the copy";
  EXPECT_EQ(layer->animationForKey("opacity"), onLayer) << "not removed: stays with fill mode forwards";
  EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"opacity"}));
  layer->removeAnimationForKey("opacity");
  runUntilIdle();
  EXPECT_EQ(rec->events.back(), "stop kept YES") << "a finished animation does not stop again";
}

TEST_F(AnimationTest, DurationsAndEarlyStops) {
  struct Case {
    const char* what;
    double duration;
    double repeat;
    bool autoreverse;
    double expected;
  } cases[] = {
      {"zero means the default", 0, 0, false, 0.25},
      {"plain", 0.38325, 0, false, 0.38325},
      {"repeated", 0.5, 3, false, 1.5},
      {"autoreversed", 0.5, 0, true, 1.0},
  };
  for (const auto& c : cases) {
    auto rec = std::make_shared<Recorder>();
    auto layer = Layer::layer();
    auto a = fade("x", c.duration, rec);
    a->setRepeatCount(c.repeat);
    a->setAutoreverses(c.autoreverse);
    layer->addAnimationForKey(a, "k");
    advance(c.expected - 0.001);
    EXPECT_TRUE(rec->stopped.empty()) << c.what;
    advance(0.002);
    EXPECT_EQ(rec->stopped.size(), 1u) << c.what;
  }

  auto rec = std::make_shared<Recorder>();
  {
    auto layer = Layer::layer();
    layer->addAnimationForKey(fade("removed", 1, rec), "a");
    layer->addAnimationForKey(fade("gone", 1, rec), "b");
    layer->removeAnimationForKey("a");
  }  // the layer goes away with "gone" running
  runUntilIdle();
  EXPECT_EQ(rec->events, (std::vector<std::string>{"stop removed NO", "stop gone NO"}));
  advance(2);
  EXPECT_EQ(rec->events.size(), 2u);

  // An animation without a key path is refused; a transition takes the key "transition".
  auto layer = Layer::layer();
  layer->addAnimationForKey(std::make_shared<BasicAnimation>(), "none");
  EXPECT_EQ(layer->animationForKey("none"), nullptr);
  layer->addAnimationForKey(Transition::animation(), "");
  EXPECT_NE(std::dynamic_pointer_cast<Transition>(layer->animationForKey("transition")), nullptr);
}

TEST_F(AnimationTest, ViewAnimationsChangeModelValuesAtOnceAndCompleteLater) {
  auto v = std::make_shared<View>(Rect{0, 0, 100, 100});
  std::vector<std::string> done;
  int context = 42;
  View::beginAnimationsContext("closeView", &context);
  View::setAnimationDuration(0.3);
  View::setAnimationDidStopCallback([&](const std::string& id, bool finished, void* ctx) {
    done.push_back(id + (finished ? " YES " : " NO ") + std::to_string(*static_cast<int*>(ctx)));
  });
  v->setFrame({10, 10, 50, 50});
  v->setAlpha(0);
  EXPECT_TRUE(View::isAnimating());
  View::commitAnimations();
  EXPECT_FALSE(View::isAnimating());
  EXPECT_EQ(v->frame(), (Rect{10, 10, 50, 50}));
  EXPECT_EQ(v->alpha(), 0);
  advance(0.29);
  EXPECT_TRUE(done.empty());
  advance(0.02);
  EXPECT_EQ(done, (std::vector<std::string>{"closeView YES 42"}));

  bool finished = false;
  View::animateWithDurationDelayOptionsAnimationsCompletion(
      0.5, 0.25, 0, [&] { v->setAlpha(1); }, [&](bool f) { finished = f; });
  EXPECT_EQ(v->alpha(), 1);
  advance(0.7);
  EXPECT_FALSE(finished);
  advance(0.1);
  EXPECT_TRUE(finished);

  // Setters outside begin/commit are ignored; the default duration is 0.2 s.
  View::setAnimationDuration(9);
  done.clear();
  View::beginAnimationsContext("default");
  View::setAnimationDidStopCallback([&](const std::string& id, bool, void*) { done.push_back(id); });
  View::commitAnimations();
  advance(0.21);
  EXPECT_EQ(done, (std::vector<std::string>{"default"}));

  auto record = View::committedAnimations();
  ASSERT_EQ(record.size(), 3u);
  EXPECT_EQ(record[0].identifier, "closeView");
  EXPECT_EQ(record[0].duration, 0.3);
  EXPECT_EQ(record[1].delay, 0.25);
  EXPECT_EQ(record[2].duration, 0.2);
}

}  // namespace
