#include "platform/application.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/runtime.h"
#include "platform/screen.h"
#include "platform/singleton.h"
#include "platform/window.h"

namespace platform {

namespace {
std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

Application& Application::sharedApplication() {
  // Held by a shared_ptr so that it can be a responder; a test reset makes a fresh one. Never
  // destroyed: windows may still reach it while the process exits.
  static auto* shared = new ResettableSingleton<Application>();
  return *shared->get([] { return std::make_shared<Application>(Passkey<Application>()); });
}

Application::Application(Passkey<Application>) {}

void Application::post(const char* name, Value userInfo) {
  NotificationCenter::defaultCenter().postNotificationName(name, this, std::move(userInfo));
}

// ---- Windows

std::shared_ptr<Window> Application::keyWindow() const { return keyWindow_.lock(); }

std::vector<std::shared_ptr<Window>> Application::windows() const {
  std::vector<std::shared_ptr<Window>> out;
  for (const auto& e : windows_)
    if (auto w = e.weak.lock()) out.push_back(w);
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return a->windowLevel() < b->windowLevel(); });
  return out;
}

void Application::windowBecameVisible(const std::shared_ptr<Window>& w) {
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [](const auto& e) { return e.weak.expired(); }),
                 windows_.end());
  for (auto& e : windows_) {
    if (e.weak.lock() == w) {
      e.strong = w;
      return;
    }
  }
  windows_.push_back({w, w});
}

void Application::windowBecameHidden(const std::shared_ptr<Window>& w) {
  for (auto& e : windows_)
    if (e.weak.lock() == w) e.strong.reset();
}

void Application::windowBecameKey(const std::shared_ptr<Window>& w) {
  auto old = keyWindow_.lock();
  if (old == w) return;
  bool known = false;
  for (auto& e : windows_) known = known || e.weak.lock() == w;
  if (!known) windows_.push_back({w, w->isHidden() ? nullptr : w});
  if (old) {
    old->resignKeyWindow();
    NotificationCenter::defaultCenter().postNotificationName(kWindowDidResignKeyNotification, old.get());
  }
  keyWindow_ = w;
  w->becomeKeyWindow();
  NotificationCenter::defaultCenter().postNotificationName(kWindowDidBecomeKeyNotification, w.get());
}

// ---- Status bar

void Application::setStatusBarOrientation(InterfaceOrientation o) { setStatusBarOrientationAnimated(o, false); }

void Application::setStatusBarOrientationAnimated(InterfaceOrientation o, bool) {
  if (o == statusBarOrientation_) return;
  Dictionary info{{kApplicationStatusBarOrientationUserInfoKey, Value(o)}};
  post(kApplicationWillChangeStatusBarOrientationNotification, Value(info));
  statusBarOrientation_ = o;
  post(kApplicationDidChangeStatusBarOrientationNotification, Value(info));
}

void Application::setStatusBarHidden(bool hidden) {
  statusBarHidden_ = hidden;
  Screen::mainScreen().setStatusBarHeight(hidden ? 0 : 20);
}
void Application::setStatusBarHiddenWithAnimation(bool hidden, int) { setStatusBarHidden(hidden); }
void Application::setStatusBarHiddenAnimated(bool hidden, bool) { setStatusBarHidden(hidden); }
void Application::setStatusBarStyleAnimated(int style, bool) { statusBarStyle_ = style; }

std::shared_ptr<Window> Application::statusBarWindow() {
  if (!Runtime::isAvailable("UIApplication.statusBarWindow")) return nullptr;
  if (!statusBarWindow_) {
    statusBarWindow_ = Window::create(Rect(0, 0, Screen::mainScreen().bounds().size.width, 20));
    statusBarWindow_->setWindowLevel(kWindowLevelStatusBar);
  }
  return statusBarWindow_;
}

Rect Application::statusBarFrame() const {
  if (statusBarHidden_) return rectZero();
  Rect s = Screen::mainScreen().bounds();
  double w = s.size.width, h = s.size.height, t = 20;
  switch (statusBarOrientation_) {
    case 2: return {0, h - t, w, t};
    case 3: return {w - t, 0, t, h};
    case 4: return {0, 0, t, h};
    default: return {0, 0, w, t};
  }
}

// ---- URLs

bool Application::canOpenURL(const std::string& url) const {
  size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string scheme = lower(url.substr(0, colon));
  return std::find(schemes_.begin(), schemes_.end(), scheme) != schemes_.end();
}

bool Application::openURL(const std::string& url) {
  if (openedURLs_.size() >= kOpenedURLsKept) openedURLs_.erase(openedURLs_.begin());
  openedURLs_.push_back(url);
  ++openURLCalls_;
  bool ok = openURLAnswer_ ? *openURLAnswer_ : canOpenURL(url);
  if (ok && openURLLeaves_) {
    RunLoop::main().post([] {
      auto& app = Application::sharedApplication();
      app.enterBackground();
    });
  }
  return ok;
}

void Application::registerOpenableScheme(const std::string& scheme) {
  std::string s = lower(scheme);
  if (std::find(schemes_.begin(), schemes_.end(), s) == schemes_.end()) schemes_.push_back(s);
}

void Application::unregisterOpenableScheme(const std::string& scheme) {
  std::string s = lower(scheme);
  schemes_.erase(std::remove(schemes_.begin(), schemes_.end(), s), schemes_.end());
}

// ---- Background tasks

BackgroundTaskIdentifier Application::beginBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
  BackgroundTaskIdentifier id = nextTask_++;
  tasks_.push_back({id, std::move(handler)});
  return id;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier id) {
  tasks_.erase(std::remove_if(tasks_.begin(), tasks_.end(), [id](const Task& t) { return t.id == id; }),
               tasks_.end());
}

double Application::backgroundTimeRemaining() const { return backgroundTimeRemaining_; }

std::vector<BackgroundTaskIdentifier> Application::activeBackgroundTasks() const {
  std::vector<BackgroundTaskIdentifier> ids;
  for (const auto& t : tasks_) ids.push_back(t.id);
  return ids;
}

void Application::expireBackgroundTasks() {
  // Handlers usually end their own task; iterate over a copy, and skip a task that an
  // earlier handler ended (or a test reset) meanwhile.
  auto tasks = tasks_;
  for (auto& t : tasks) {
    bool active = std::any_of(tasks_.begin(), tasks_.end(), [&](const Task& live) { return live.id == t.id; });
    if (active && t.handler) t.handler();
  }
}

// ---- Life cycle

void Application::finishLaunchingWithOptions(const Value& options) {
  state_ = ApplicationState::Inactive;
  if (auto d = delegate()) d->applicationDidFinishLaunchingWithOptions(*this, options);
  launchFinished_ = true;
  post(kApplicationDidFinishLaunchingNotification, options);
}

void Application::becomeActive() {
  if (state_ == ApplicationState::Active) return;
  state_ = ApplicationState::Active;
  if (auto d = delegate()) d->applicationDidBecomeActive(*this);
  post(kApplicationDidBecomeActiveNotification);
}

void Application::resignActive() {
  if (state_ != ApplicationState::Active) return;
  state_ = ApplicationState::Inactive;
  if (auto d = delegate()) d->applicationWillResignActive(*this);
  post(kApplicationWillResignActiveNotification);
}

void Application::enterBackground() {
  if (state_ == ApplicationState::Background) return;
  resignActive();
  state_ = ApplicationState::Background;
  if (auto d = delegate()) d->applicationDidEnterBackground(*this);
  post(kApplicationDidEnterBackgroundNotification);
}

void Application::enterForeground() {
  if (state_ != ApplicationState::Background) return;
  state_ = ApplicationState::Inactive;
  if (auto d = delegate()) d->applicationWillEnterForeground(*this);
  post(kApplicationWillEnterForegroundNotification);
  becomeActive();
}

void Application::terminate() {
  if (auto d = delegate()) d->applicationWillTerminate(*this);
  post(kApplicationWillTerminateNotification);
}

void Application::receiveMemoryWarning() {
  if (auto d = delegate()) d->applicationDidReceiveMemoryWarning(*this);
  post(kApplicationDidReceiveMemoryWarningNotification);
}

}  // namespace platform
