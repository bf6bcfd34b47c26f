#include <gtest/gtest.h>

#include "platform/gesture_recognizer.h"
#include "platform/keyboard.h"
#include "platform/notification_center.h"
#include "platform/screen.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

using namespace platform;

namespace {

// A view that writes down the touches it gets.
class TouchLog : public View {
 public:
  using View::View;
  void touchesBeganWithEvent(const TouchSet&, const Event&) override { log.push_back("began"); }
  void touchesEndedWithEvent(const TouchSet&, const Event&) override { log.push_back("ended"); }
  void touchesCancelledWithEvent(const TouchSet&, const Event&) override { log.push_back("cancelled"); }
  std::vector<std::string> log;
};

// A recognizer that only watches, as one that highlights what a finger is on.
class Watcher : public GestureRecognizer {
 public:
  void touchesBeganWithEvent(const TouchSet& t, const Event&) override {
    auto v = t.front()->view.lock();
    log.push_back("began on " + std::to_string(v ? v->tag() : -1));
  }
  void touchesEndedWithEvent(const TouchSet&, const Event&) override { log.push_back("ended"); }
  void reset() override { log.push_back("reset"); }
  std::vector<std::string> log;
};

class GestureKeyboardTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    window = Window::create({0, 0, 320, 480});
    window->makeKeyAndVisible();
    container = std::make_shared<View>(Rect{0, 0, 320, 200});
    button = std::make_shared<TouchLog>(Rect{10, 10, 100, 40});
    button->setTag(7);
    window->addSubview(container);
    container->addSubview(button);
  }
  std::shared_ptr<Window> window;
  std::shared_ptr<View> container;
  std::shared_ptr<TouchLog> button;
};

TEST_F(GestureKeyboardTest, ATapRecognizerOnASuperviewSeesTapsOnItsSubviews) {
  int taps = 0;
  auto tap = std::make_shared<TapGestureRecognizer>(nullptr, [&](GestureRecognizer& g) {
    ++taps;
    EXPECT_EQ(g.state(), GestureRecognizer::State::Ended);
    EXPECT_EQ(g.locationInView(button), (Point{10, 20}));
  });
  container->addGestureRecognizer(tap);
  EXPECT_EQ(tap->view(), container);

  struct Case {
    const char* what;
    std::function<void()> gesture;
    int taps;
    std::vector<std::string> buttonSaw;
  } cases[] = {
      {"a tap", [&] { window->tapAtPoint({20, 30}); }, 1, {"began", "cancelled"}},
      {"a tap, touches left to the view",
       [&] {
         tap->setCancelsTouchesInView(false);
         window->tapAtPoint({20, 30});
       },
       1, {"began", "ended"}},
      {"a finger that slides off",
       [&] {
         window->touchDownAtPoint({20, 30});
         window->touchMovedToPoint({20, 300});
         window->touchUpAtPoint({20, 300});
       },
       0, {"began", "ended"}},
      {"a tap after the failed one", [&] { window->tapAtPoint({20, 30}); }, 1, {"began", "ended"}},
      {"one tap where two are needed",
       [&] {
         tap->setNumberOfTapsRequired(2);
         window->tapAtPoint({20, 30});
       },
       0, {"began", "ended"}},
      {"a disabled recognizer",
       [&] {
         tap->setNumberOfTapsRequired(1);
         tap->setEnabled(false);
         window->tapAtPoint({20, 30});
       },
       0, {"began", "ended"}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    taps = 0;
    button->log.clear();
    c.gesture();
    EXPECT_EQ(taps, c.taps);
    EXPECT_EQ(button->log, c.buttonSaw);
    EXPECT_EQ(tap->state(), GestureRecognizer::State::Possible) << "reset once the touch is over";
  }

  // Moved to another view, it leaves the first; a target that has gone gets nothing.
  tap->setEnabled(true);
  button->addGestureRecognizer(tap);
  EXPECT_TRUE(container->gestureRecognizers().empty());
  auto owner = std::make_shared<int>(0);
  int owned = 0;
  tap->addTargetAction(owner, [&](GestureRecognizer&) { ++owned; });
  taps = 0;
  window->tapAtPoint({20, 30});
  owner.reset();
  window->tapAtPoint({20, 30});
  EXPECT_EQ(taps, 2);
  EXPECT_EQ(owned, 1);
  button->removeGestureRecognizer(tap);
  EXPECT_EQ(tap->view(), nullptr);
}

TEST_F(GestureKeyboardTest, AWatchingRecognizerSeesEachPhaseAndIsResetAfterwards) {
  auto watcher = std::make_shared<Watcher>();
  watcher->setCancelsTouchesInView(false);
  container->addGestureRecognizer(watcher);
  window->tapAtPoint({20, 30});
  window->tapAtPoint({300, 150});  // the container itself
  window->tapAtPoint({20, 400});   // outside the container: not seen
  EXPECT_EQ(watcher->log, (std::vector<std::string>{"began on 7", "ended", "reset", "began on 0", "ended", "reset"}));
  EXPECT_EQ(button->log, (std::vector<std::string>{"began", "ended"}));
}

TEST_F(GestureKeyboardTest, TheKeyboardAnnouncesItsFramesAsItRisesAndSinks) {
  Screen::mainScreen().setBounds({0, 0, 320, 568});
  std::vector<std::string> seen;
  NotificationCenter::defaultCenter().addObserver(this, "", nullptr, [&](const Notification& n) {
    if (n.name.rfind("UIKeyboard", 0) != 0) return;
    auto begin = keyboardFrameFromUserInfo(n.userInfo, kKeyboardFrameBeginUserInfoKey);
    auto end = keyboardFrameFromUserInfo(n.userInfo, "UIKeyboardFrameEndUserInfoKey");
    seen.push_back(n.name + " " + (begin ? stringFromRect(*begin) : "-") + " " + (end ? stringFromRect(*end) : "-") +
                   " " + n.userInfo.dictionary().get(kKeyboardAnimationDurationUserInfoKey).stringValue());
  });
  Keyboard::showForTesting(200);
  Keyboard::showForTesting(200);  // already up
  EXPECT_TRUE(Keyboard::isVisible());
  Keyboard::hideForTesting();
  Keyboard::hideForTesting();  // already down
  EXPECT_FALSE(Keyboard::isVisible());
  NotificationCenter::defaultCenter().removeObserver(this);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "UIKeyboardWillShowNotification {{0, 568}, {320, 200}} {{0, 368}, {320, 200}} 0.25",
                      "UIKeyboardWillHideNotification {{0, 368}, {320, 200}} {{0, 568}, {320, 200}} 0.25"}));

  Dictionary odd{{kKeyboardFrameEndUserInfoKey, Value("{{0, 1}, {2}}")}};
  EXPECT_FALSE(keyboardFrameFromUserInfo(Value(odd), kKeyboardFrameEndUserInfoKey).has_value());
  EXPECT_FALSE(keyboardFrameFromUserInfo(Value(odd), kKeyboardFrameBeginUserInfoKey).has_value());
  EXPECT_FALSE(keyboardFrameFromUserInfo(Value(), kKeyboardFrameBeginUserInfoKey).has_value());
}

}  // namespace
