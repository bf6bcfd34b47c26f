#include "platform/application.h"

#include <gtest/gtest.h>

#include "platform/controls.h"
#include "platform/notification_center.h"
#include "platform/screen.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

using namespace platform;

namespace {

class WindowApplicationTest : public testkit::SandboxTest {
 protected:
  // Records every notification of the listed names, with its sender.
  void observe(std::vector<std::string> names) {
    for (auto& n : names)
      NotificationCenter::defaultCenter().addObserver(this, n, nullptr, [this](const Notification& note) {
        posted.push_back({note.name, note.object});
      });
  }
  void TearDown() override {
    NotificationCenter::defaultCenter().removeObserver(this);
    SandboxTest::TearDown();
  }
  std::vector<std::pair<std::string, const void*>> posted;
};

class KeyWindow : public Window {
 public:
  KeyWindow(std::vector<std::string>* log, std::string name) : Window({0, 0, 320, 480}), log_(log), name_(name) {}
  void becomeKeyWindow() override { log_->push_back(name_ + " becomes key"); }
  void resignKeyWindow() override { log_->push_back(name_ + " resigns key"); }

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

TEST_F(WindowApplicationTest, KeyWindowSwitching) {
  auto& app = Application::sharedApplication();
  std::vector<std::string> log;
  auto w1 = std::make_shared<KeyWindow>(&log, "w1");
  auto w2 = std::make_shared<KeyWindow>(&log, "w2");
  EXPECT_TRUE(w1->isHidden()) << "windows start hidden";
  observe({kWindowDidBecomeKeyNotification, kWindowDidResignKeyNotification});

  w1->makeKeyAndVisible();
  EXPECT_EQ(app.keyWindow(), w1);
  EXPECT_FALSE(w1->isHidden());
  w2->setWindowLevel(kWindowLevelAlert);
  w2->makeKeyAndVisible();
  EXPECT_TRUE(w2->isKeyWindow());
  EXPECT_FALSE(w1->isKeyWindow());
  EXPECT_EQ(log, (std::vector<std::string>{"w1 becomes key", "w1 resigns key", "w2 becomes key"}));
  ASSERT_EQ(posted.size(), 3u);
  EXPECT_EQ(posted[1], (std::pair<std::string, const void*>{kWindowDidResignKeyNotification, w1.get()}));
  EXPECT_EQ(posted[2], (std::pair<std::string, const void*>{kWindowDidBecomeKeyNotification, w2.get()}));
  w2->makeKeyWindow();
  EXPECT_EQ(posted.size(), 3u) << "already key";

  EXPECT_EQ(app.windows(), (std::vector<std::shared_ptr<Window>>{w1, w2})) << "by level";
  w1->makeKeyWindow();
  EXPECT_EQ(app.keyWindow(), w1);

  // A shown window is kept by the application; hidden and released, it goes.
  std::weak_ptr<Window> weak = w2;
  w2.reset();
  EXPECT_FALSE(weak.expired());
  weak.lock()->setHidden(true);
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(app.windows().size(), 1u);
}

struct LifecycleDelegate : ApplicationDelegate {
  std::vector<std::string>* log;
  bool applicationDidFinishLaunchingWithOptions(Application& app, const Value&) override {
    log->push_back(app.isLaunchFinished() ? "delegate didFinishLaunching, finished" : "delegate didFinishLaunching");
    return true;
  }
  void applicationDidBecomeActive(Application&) override { log->push_back("delegate didBecomeActive"); }
  void applicationWillResignActive(Application&) override { log->push_back("delegate willResignActive"); }
  void applicationDidEnterBackground(Application&) override { log->push_back("delegate didEnterBackground"); }
  void applicationWillEnterForeground(Application&) override { log->push_back("delegate willEnterForeground"); }
};

TEST_F(WindowApplicationTest, WindowClosedByTheButtonTappedInItFinishesTheTouch) {
  // An ad's own window, held only by the ad; its close button lets both go.
  struct Ad {
    std::shared_ptr<Window> window;
  };
  auto ad = std::make_shared<Ad>();
  ad->window = Window::create({0, 0, 320, 480});
  ad->window->makeKeyAndVisible();
  auto close = Button::buttonWithType(ButtonType::Custom);
  close->setFrame({280, 0, 40, 40});
  ad->window->addSubview(close);
  std::weak_ptr<Button> weakClose = close;
  int closed = 0;
  close->addTargetActionForControlEvents(
      ad,
      [&closed, weakAd = std::weak_ptr<Ad>(ad)](Control&) {
        ++closed;
        auto owner = weakAd.lock();
        owner->window->setHidden(true);
        owner->window.reset();
      },
      kControlEventTouchUpInside);
  close.reset();
  std::weak_ptr<Layer> windowLayer = ad->window->layer();  // not the window: its memory must really go
  EXPECT_EQ(ad->window->tapAtPoint({300, 20}), weakClose.lock());
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(windowLayer.expired()) << "the window goes once the touch is over";
  EXPECT_TRUE(weakClose.expired());
}

TEST_F(WindowApplicationTest, LifecycleCallsTheDelegateThenPostsTheNotification) {
  auto& app = Application::sharedApplication();
  std::vector<std::string> log;
  auto delegate = std::make_shared<LifecycleDelegate>();
  delegate->log = &log;
  app.setDelegate(delegate);
  for (const char* n : {"UIApplicationDidBecomeActiveNotification", "UIApplicationWillResignActiveNotification",
                        "UIApplicationDidEnterBackgroundNotification",
                        "UIApplicationWillEnterForegroundNotification"})
    NotificationCenter::defaultCenter().addObserver(this, n, &app,
                                                    [&log](const Notification& note) { log.push_back(note.name); });

  NotificationCenter::defaultCenter().addObserver(
      this, "UIApplicationDidFinishLaunchingNotification", &app, [&log, &app](const Notification& note) {
        log.push_back(note.name + (app.isLaunchFinished() ? ", finished" : ""));
      });

  EXPECT_EQ(app.applicationState(), ApplicationState::Active);
  EXPECT_FALSE(app.isLaunchFinished());
  app.becomeActive();
  EXPECT_TRUE(log.empty()) << "already active";
  app.finishLaunchingWithOptions();
  EXPECT_EQ(app.applicationState(), ApplicationState::Inactive);
  EXPECT_TRUE(app.isLaunchFinished());
  EXPECT_EQ(log, (std::vector<std::string>{"delegate didFinishLaunching",
                                           "UIApplicationDidFinishLaunchingNotification, finished"}));
  log.clear();
  app.becomeActive();
  log.clear();
  app.enterBackground();
  EXPECT_EQ(app.applicationState(), ApplicationState::Background);
  app.enterForeground();
  EXPECT_EQ(app.applicationState(), ApplicationState::Active);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "delegate willResignActive", "UIApplicationWillResignActiveNotification",
                     "delegate didEnterBackground", "UIApplicationDidEnterBackgroundNotification",
                     "delegate willEnterForeground", "UIApplicationWillEnterForegroundNotification",
                     "delegate didBecomeActive", "UIApplicationDidBecomeActiveNotification"}));
}

TEST_F(WindowApplicationTest, OpeningURLs) {
  auto& app = Application::sharedApplication();
  struct Case {
    const char* url;
    bool can;
  } cases[] = {{"http://example.com", true}, {"HTTPS://x", true},   {"itms-apps://itunes/app", true},
               {"itms-books://", false},     {"kindle://home", false}, {"no scheme", false},
               {":empty", false}};
  for (const auto& c : cases) EXPECT_EQ(app.canOpenURL(c.url), c.can) << c.url;
  app.registerOpenableScheme("Kindle");
  EXPECT_TRUE(app.canOpenURL("kindle://home"));
  app.unregisterOpenableScheme("http");
  EXPECT_FALSE(app.openURL("http://a"));
  app.setOpenURLAnswer(true);
  EXPECT_TRUE(app.openURL("weird://b"));
  EXPECT_EQ(app.openedURLs(), (std::vector<std::string>{"http://a", "weird://b"}));

  // An application that leaves for the opened URL goes to the background on the next turn.
  app.setOpenURLLeavesApplication(true);
  EXPECT_TRUE(app.openURL("https://c"));
  EXPECT_EQ(app.applicationState(), ApplicationState::Active);
  runUntilIdle();
  EXPECT_EQ(app.applicationState(), ApplicationState::Background);
}

// A host that opens URLs for ever (a long fuzz run, a demo left running) keeps only the
// latest ones, in order, while the count still says how many calls there were.
TEST_F(WindowApplicationTest, OpenedURLRecordKeepsTheLatestAndCountsEveryCall) {
  auto& app = Application::sharedApplication();
  const size_t kept = Application::kOpenedURLsKept;
  const size_t extra = 3;
  for (size_t i = 0; i < kept + extra; ++i) app.openURL("tel:" + std::to_string(i));
  std::vector<std::string> latest;
  for (size_t i = extra; i < kept + extra; ++i) latest.push_back("tel:" + std::to_string(i));
  EXPECT_EQ(app.openedURLs(), latest);
  EXPECT_EQ(app.openURLCalls(), kept + extra);
  app.openURL("sms:last");
  EXPECT_EQ(app.openedURLs().size(), kept);
  EXPECT_EQ(app.openedURLs().front(), "tel:" + std::to_string(extra + 1));
  EXPECT_EQ(app.openedURLs().back(), "sms:last");
  EXPECT_EQ(app.openURLCalls(), kept + extra + 1);
}

TEST_F(WindowApplicationTest, StatusBarAndBackgroundTasks) {
  auto& app = Application::sharedApplication();
  struct Case {
    InterfaceOrientation o;
    Rect frame;
  } cases[] = {{1, {0, 0, 320, 20}}, {2, {0, 460, 320, 20}}, {3, {300, 0, 20, 480}}, {4, {0, 0, 20, 480}}};
  observe({kApplicationDidChangeStatusBarOrientationNotification});
  for (const auto& c : cases) {
    app.setStatusBarOrientation(c.o);
    EXPECT_EQ(app.statusBarFrame(), c.frame) << c.o;
  }
  EXPECT_EQ(posted.size(), 3u) << "1 is the starting orientation";
  EXPECT_EQ(Screen::mainScreen().applicationFrame(), (Rect{0, 20, 320, 460}));
  app.setStatusBarHiddenWithAnimation(true, 1);
  EXPECT_EQ(app.statusBarFrame(), rectZero());
  EXPECT_EQ(Screen::mainScreen().applicationFrame(), (Rect{0, 0, 320, 480}));

  std::vector<BackgroundTaskIdentifier> expired;
  BackgroundTaskIdentifier a = 0, b = 0;
  a = app.beginBackgroundTaskWithExpirationHandler([&] {
    expired.push_back(a);
    app.endBackgroundTask(a);
  });
  b = app.beginBackgroundTaskWithExpirationHandler([&] { expired.push_back(b); });
  EXPECT_NE(a, kBackgroundTaskInvalid);
  EXPECT_NE(a, b);
  app.expireBackgroundTasks();
  EXPECT_EQ(expired, (std::vector<BackgroundTaskIdentifier>{a, b}));
  EXPECT_EQ(app.activeBackgroundTasks(), (std::vector<BackgroundTaskIdentifier>{b}));
  app.endBackgroundTask(b);
  app.endBackgroundTask(999);
  EXPECT_TRUE(app.activeBackgroundTasks().empty());

  // A handler that ends every task of its work: the tasks it ended are not expired after it.
  expired.clear();
  BackgroundTaskIdentifier upload = 0, cleanup = 0;
  upload = app.beginBackgroundTaskWithExpirationHandler([&] {
    expired.push_back(upload);
    app.endBackgroundTask(upload);
    app.endBackgroundTask(cleanup);
  });
  cleanup = app.beginBackgroundTaskWithExpirationHandler([&] { expired.push_back(cleanup); });
  app.expireBackgroundTasks();
  EXPECT_EQ(expired, (std::vector<BackgroundTaskIdentifier>{upload}));
  EXPECT_TRUE(app.activeBackgroundTasks().empty());
}

}  // namespace
