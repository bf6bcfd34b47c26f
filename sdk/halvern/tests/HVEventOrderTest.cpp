// The banner, the full-screen window and the click-through under the orders of events a phone
// produces: each row is one line of events crossing them with the application's life cycle,
// downloads finishing and the page's own commands; one helper then checks, for every row, that
// whatever is up can be closed and the screen comes back as the host had it, that the slot
// shows its ad, that the host heard each message once and in order, that a tap on the banner
// reaches its ad, that nothing of the client stays in the window and that the stored ads are
// the slot's.
#include <algorithm>
#include <functional>
#include <set>
#include <sstream>
#include <utility>

#include "HVAdSlot.h"
#include "HVClientDriver.h"
#include "HVClientManager.h"
#include "HVClientTestSupport.h"
#include "HVFullScreenAdController.h"
#include "HVJavascriptBridge.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/reachability.h"
#include "platform/screen.h"
#include "testing/explorer.h"
#include "testing/zip_builder.h"

namespace halvern {
namespace {

using platform::Application;

// Hears every message of a slot, in one line; may show the full-screen ad from inside its
// next message, as a host may.
class LogDelegate final : public HalvernDelegate {
 public:
  LogDelegate(std::vector<std::string>& log, std::string who) : log_(log), who_(std::move(who)) {}
  void halvernAdReadyForSlotNamed(const std::string&) override { heard("ready"); }
  void halvernFullScreenDisplayWillOpen() override { heard("open"); }
  void halvernFullScreenDisplayWillClose() override { heard("close"); }
  std::function<void()> inside;

 private:
  void heard(const char* what) {
    log_.push_back(who_ + what);
    if (auto act = std::exchange(inside, {})) act();
  }
  std::vector<std::string>& log_;
  std::string who_;
};

// Words run in order: a number moves the clock that many seconds;
//   link / store / redirect: the user taps a web link / an application store link / a web link
//     that redirects to the store in the banner's ad; linkfail / linkstall: a web link whose
//     landing page fails / never answers;
//   wlink: the user taps a web link in the ad filling the screen;
//   expand, dismiss: the user taps the ad and its page expands it / the page closes itself;
//   pexpand: the page expands itself with no touch;
//   claim: the user taps the ad and its page claims the screen for a click-through; fclaim: the
//     same in the ad filling the screen;
//   leave: the user taps the expanded ad and its page sends them to the store;
//   done: the user taps Done in the ad's browser;
//   bg, fg: the application goes to the background / comes back;
//   offline, online: the network is lost / comes back;
//   turn: the user turns the device to landscape;
//   nobar: the host hides the status bar;
//   stay: from now on the application stays in front when it opens another application;
//   next: the banner slot's next ad finishes downloading; fetch: its download starts;
//   shortnext: a next ad living 2 seconds downloads (it expires as it arrives); briefnext: one
//     living 3 seconds (it expires about a second after it arrives); broken: a next ad whose package lacks its
//     page downloads;
//   fullshort / fullbroken: the full-screen slot's next ad will live 2 seconds / lack its page;
//   relaunch: the application is started again, the banner made again and shown;
//   refresh: the host refreshes its banner; banner: the host makes its banner now;
//   every: the host gives its banner a refresh interval of 10 seconds;
//   view / delegate: the host asks for its banner again / sets its delegate, with a new
//     delegate object;
//   hide / remove: the host hides or shows again / removes or puts back its banner;
//   full: the host shows the full-screen ad; fullinside: it does so from inside the next
//     message it hears about the full-screen ad; fsdismiss: the full-screen page closes itself;
//   menu / skip: the user taps the full-screen ad's Menu button / the sheet's Skip.
// A word that cannot happen where the row is does nothing. A row whose first word is "later"
// starts with no banner (the host makes it with "banner"); any other starts with the banner
// showing its first ad and no next ad to come.
const testkit::ExplorerWord kWords[] = {
    {"link", 2},       {"store", 1},     {"redirect", 1}, {"linkfail", 1},  {"linkstall", 1},  {"wlink", 1},
    {"expand", 2},     {"claim", 1},     {"pexpand", 1},  {"leave", 1},     {"dismiss", 2},    {"done", 2},
    {"bg", 2},         {"fg", 2},        {"offline", 1},  {"online", 1},    {"turn", 1},       {"nobar", 1},
    {"stay", 1},       {"next", 2},      {"fetch", 1},    {"shortnext", 1}, {"briefnext", 1}, {"broken", 1},     {"fullshort", 1},
    {"fullbroken", 1}, {"relaunch", 1},  {"refresh", 1},  {"banner", 1},    {"every", 1},      {"view", 1},
    {"delegate", 1},   {"hide", 1},      {"remove", 1},   {"full", 2},      {"fullinside", 1}, {"fsdismiss", 2},
    {"menu", 1},       {"skip", 1},      {"fclaim", 1},
};

struct Row {
  const char* name;
  const char* events;
};
// A row reads as its events in test listings, which then stay the same from run to run.
void PrintTo(const Row& row, std::ostream* os) { *os << row.events; }

class HVEventOrderTest : public testsupport::HalvernClientTest {
 public:
  void playRow(const std::string& events) {
    const bool later = events.rfind("later ", 0) == 0;
    startRow(!later);
    if (HasFatalFailure()) return;
    run(later ? events.substr(6) : events);
    if (HasFatalFailure()) return;
    settle();
    checkInvariants();
    // Once all is shown: the first ad, shown again in one process, counts once in it.
    EXPECT_LE(server.trackerHits("first") - firstImpressionsBefore, 1u) << "an impression counted twice";
  }

 protected:
  void SetUp() override {
    HalvernClientTest::SetUp();
    auto html = testkit::ScriptedAnswer::text("<html><body>landing</body></html>");
    html.headers = {{"Content-Type", "text/html"}};
    pages.setAnswer("/landing", html);
    pages.setAnswer("/click", testkit::ScriptedAnswer::redirect("http://apps.store.example/app/3"));
    testkit::ScriptedAnswer failing;
    failing.dropBeforeHead = true;
    failing.dropAfterBodyBytes = 0;
    pages.setAnswer("/fail", failing);
    testkit::ScriptedAnswer stalled;
    stalled.stall = true;
    pages.setAnswer("/stall", stalled);
    Application::sharedApplication().setOpenURLLeavesApplication(true);
    platform::Reachability::setNetwork(platform::Reachability::Network::WiFi);
  }
  void TearDown() override {
    HalvernClientTest::TearDown();
    platform::Reachability::useMachineState();
  }

  void startRow(bool withBanner, bool relaunched = false) {
    if (!relaunched) {
      server.setAd("hvBanner", "<b>first</b>", 3600, {"first"});
      server.setAd("hvFullScreen", "<b>full</b>", 3600, {});
    }
    start();
    const bool ready = advanceUntil([] {
      return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner") &&
             HVAdEngine::isNextAdDownloadedForSlotNamed("hvFullScreen");
    }, 120);
    // A relaunch finds what the last session stored, whatever it is.
    if (!relaunched) {
      ASSERT_TRUE(ready);
    }
    // The next fetch of the banner finds nothing, until a row's "next".
    server.clearAd("hvBanner");
    HVAdEngine::setFullScreenDelegateForSlotNamed(fullScreenDelegate, "hvFullScreen");
    hv = HVController::sharedController();
    adWindow = hv->fullScreenAdWindow();
    fullScreen = hv->fullScreenAdController();
    if (!withBanner) return;
    makeBanner();
    const bool shown = advanceUntil([&] { return page("HVDisplay.shown") == "1" && banner->alpha() == 1; }, 120);
    if (!relaunched) {
      ASSERT_TRUE(shown);
    }
  }
  void makeBanner() {
    banner = HVAdView::adViewForSlotNamedDelegate("hvBanner", bannerDelegate);
    window->addSubview(banner);
    internal = banner->controller();
  }
  std::string page(const std::string& script) { return internal->webView()->stringByEvaluatingJavaScriptFromString(script); }
  // A command of a page, taken by the bridge at its next poll.
  void pageCommand(const std::shared_ptr<HVAdViewInternal>& ad, const std::string& command) {
    auto view = ad->webView();
    if (!view) return;
    view->stringByEvaluatingJavaScriptFromString(command);
    advanceUntil([&] { return view->stringByEvaluatingJavaScriptFromString("g_commandQueue.length") == "0"; }, 1);
  }
  void navigate(const std::string& url, platform::WebViewNavigationType type) {
    internal->webView()->injectNavigationForTesting(platform::URLRequest(url), type);
    runUntilIdle();
  }
  // A finger on the screen: the top window that takes touches at `point` gets it.
  std::shared_ptr<platform::View> screenTap(platform::Point point) {
    if (Application::sharedApplication().applicationState() != platform::ApplicationState::Active) return nullptr;
    auto windows = Application::sharedApplication().windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      const platform::Point inWindow{point.x - (*it)->frame().origin.x, point.y - (*it)->frame().origin.y};
      if ((*it)->hitTestWithEvent(inWindow, nullptr)) return (*it)->tapAtPoint(inWindow);
    }
    return nullptr;
  }
  static bool within(std::shared_ptr<platform::View> view, const std::shared_ptr<platform::View>& root) {
    for (; view; view = view->superview())
      if (view == root) return true;
    return false;
  }
  // A finger on the middle of the banner; whether it reached the banner's page.
  bool tapBanner() {
    if (!banner || !banner->window() || !internal->webView()) return false;
    const auto bounds = banner->bounds();
    return within(screenTap(banner->convertPointToView({bounds.size.width / 2, bounds.size.height / 2}, nullptr)),
                  internal->webView());
  }
  // Whether the banner's ad fills the screen as an expansion (not its browser).
  bool expandedUp() const {
    return internal && adWindow->contentController() == internal && !internal->isBrowserMode() &&
           Application::sharedApplication().applicationState() == platform::ApplicationState::Active;
  }
  std::shared_ptr<LogDelegate> newBannerDelegate() {
    delegates.push_back(std::make_shared<LogDelegate>(log, std::string(1, char('c' + delegates.size() % 20)) + ":"));
    return delegates.back();
  }
  void queueBannerFetch() {
    hv->adManager()->queueFetchForSlotNamed("hvBanner");
    runUntilIdle();
  }
  // An expansion the window granted the page, counted in the page itself: a page loaded afresh
  // starts again from none, as its record of what it heard does.
  void noteExpansion(bool wasExpanded) {
    if (!wasExpanded && internal->isExpanded()) page("HVRow = {expansions: (window.HVRow ? HVRow.expansions : 0) + 1};");
  }
  static constexpr const char* kClaim = "BridgeDisplay.requestClickthroughWithCallback('HVDisplay.ran.push(1)');";
  static constexpr const char* kClaimsGranted = "String(HVDisplay.ran.filter(function (r) { return r === 1; }).length)";
  std::string brokenPackage() { return testkit::ZipBuilder().addFile("other.html", "<b>no page</b>").bytes(); }

  void run(const std::string& events) {
    std::istringstream words(events);
    std::string word;
    while (words >> word) {
      SCOPED_TRACE(word);
      auto& app = Application::sharedApplication();
      const bool active = app.applicationState() == platform::ApplicationState::Active;
      if (testkit::Explorer::isWait(word)) {
        advance(std::stod(word));
      } else if (word == "link" || word == "store" || word == "redirect" || word == "linkfail" || word == "linkstall") {
        // Nothing holds the window (the last instant of a close included): a web link opens
        // (a redirect may have left for the store already).
        const bool windowFree = !adWindow->contentController() && !fullScreen->isDisplaying();
        if (!tapBanner()) continue;
        navigate(word == "store"      ? std::string("http://apps.store.example/app/1")
                 : word == "redirect" ? pages.url("/click")
                                      : pages.url(word == "link" ? "/landing" : word == "linkfail" ? "/fail" : "/stall"),
                 platform::WebViewNavigationType::LinkClicked);
        if (word != "store" && word != "redirect" && windowFree) {
          EXPECT_EQ(adWindow->contentController(), internal) << "a link refused on a free window";
        }
        // The redirect, answered and followed.
        settleTraffic();
      } else if (word == "wlink") {
        if (!expandedUp() || !within(screenTap({160, 240}), internal->webView())) continue;
        navigate(pages.url("/landing"), platform::WebViewNavigationType::LinkClicked);
      } else if (word == "expand" || word == "claim") {
        if (!tapBanner()) continue;
        const bool wasExpanded = internal->isExpanded();
        // A claim on the user's tap is granted while nothing holds the window.
        const bool windowFree = !adWindow->isDisplaying() && !internal->isRefreshing();
        const std::string claimsBefore = page(kClaimsGranted);
        pageCommand(internal, word == "expand" ? "BridgeDisplay.expand();" : kClaim);
        noteExpansion(wasExpanded);
        if (word == "claim" && windowFree) {
          EXPECT_NE(page(kClaimsGranted), claimsBefore) << "a claim refused on a free window";
        }
      } else if (word == "fclaim") {
        // The exception, kept on purpose: the full-screen ad's own claim is refused while it
        // shows (the window is displaying, if for it), so it is not judged.
        if (active && adWindow->contentController() == fullScreen && within(screenTap({160, 240}), fullScreen->webView()))
          pageCommand(fullScreen, kClaim);
      } else if (word == "pexpand" || word == "dismiss") {
        if (!internal) continue;
        const bool wasExpanded = internal->isExpanded();
        pageCommand(internal, word == "pexpand" ? "BridgeDisplay.expand();" : "BridgeDisplay.dismiss();");
        noteExpansion(wasExpanded);
      } else if (word == "leave") {
        if (!expandedUp() || !within(screenTap({160, 240}), internal->webView())) continue;
        page("location.href = 'http://apps.store.example/app/2';");
        runUntilIdle();
      } else if (word == "done") {
        auto shown = adWindow->contentController();
        auto exit = shown && shown->isBrowserMode() && active ? shown->navigationItem()->leftBarButtonItem() : nullptr;
        if (exit) exit->tap();
      } else if (word == "turn") {
        platform::Device::currentDevice().setOrientation(platform::DeviceOrientation::LandscapeLeft);
      } else if (word == "nobar") {
        // Over a bar an ad's screen hid already, the host's call changes nothing the client
        // can see: the close gives back the bar as it was when the screen opened.
        if (!app.isStatusBarHidden()) hostHidStatusBar = true;
        app.setStatusBarHidden(true);
      } else if (word == "stay") {
        app.setOpenURLLeavesApplication(false);
      } else if (word == "bg") {
        if (active) app.enterBackground();
      } else if (word == "fg") {
        if (!active) app.enterForeground();
      } else if (word == "offline" || word == "online") {
        platform::Reachability::setNetwork(word == "offline" ? platform::Reachability::Network::None
                                                             : platform::Reachability::Network::WiFi);
        platform::Reachability::refresh();
        runUntilIdle();
      } else if (word == "fetch") {
        server.setAd("hvBanner", "<b>second</b>", 3600, {});
        queueBannerFetch();
      } else if (word == "shortnext" || word == "briefnext" || word == "broken") {
        // One such ad: the server has none after it.
        const int64_t before = slot("hvBanner")->nextAdDlTime();
        if (word != "broken") server.setAd("hvBanner", "<b>short</b>", word == "shortnext" ? 2 : 3, {});
        else server.setAdPackage("hvBanner", "broken-" + std::to_string(++packages) + ".zip", brokenPackage(), 3600);
        queueBannerFetch();
        advanceUntil([&] { return slot("hvBanner")->nextAdDlTime() != before; }, 1);
        server.clearAd("hvBanner");
      } else if (word == "fullshort") {
        server.setAd("hvFullScreen", "<b>full</b>", 2, {});
      } else if (word == "fullbroken") {
        server.setAdPackage("hvFullScreen", "broken-" + std::to_string(++packages) + ".zip", brokenPackage(), 3600);
      } else if (word == "relaunch") {
        // The process ends with whatever was up; the next one starts in front.
        if (!active) app.enterForeground();
        if (banner) banner->removeFromSuperview();
        banner.reset();
        internal.reset();
        hv->shutdown();
        // Its windows end with it: nothing of it acts any more.
        adWindow->setHidden(true);
        hv.reset();
        adWindow.reset();
        fullScreen.reset();
        log.push_back("relaunch");
        firstImpressionsBefore = server.trackerHits("first");
        // The new process's host window and status bar, as the host makes them at launch.
        window->setHidden(true);
        window = platform::Window::create(platform::Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        app.setStatusBarHidden(hostHidStatusBar);
        startRow(true, true);
      } else if (word == "next") {
        server.setAd("hvBanner", "<b>second</b>", 3600, {});
        queueBannerFetch();
        advanceUntil([&] { return slot("hvBanner")->nextAdDlTime() != 0; }, 5);
      } else if (word == "every") {
        if (banner) banner->setRefreshInterval(10);
      } else if (word == "refresh") {
        if (banner) banner->refresh();
      } else if (word == "banner") {
        if (!banner) makeBanner();
      } else if (word == "view") {
        if (banner) HVAdView::adViewForSlotNamedDelegate("hvBanner", newBannerDelegate());
      } else if (word == "delegate") {
        if (banner) banner->setDelegate(newBannerDelegate());
      } else if (word == "hide") {
        if (banner) banner->setHidden(!banner->isHidden());
      } else if (word == "remove") {
        if (banner && banner->superview()) banner->removeFromSuperview();
        else if (banner) window->addSubview(banner);
      } else if (word == "full") {
        log.push_back(HVAdEngine::displayFullScreenAdForSlotNamed("hvFullScreen") ? "yes" : "no");
      } else if (word == "fullinside") {
        fullScreenDelegate->inside = [this] {
          log.push_back(HVAdEngine::displayFullScreenAdForSlotNamed("hvFullScreen") ? "yes" : "no");
        };
      } else if (word == "menu") {
        if (active && adWindow->contentController() == fullScreen && fullScreen->menuButton() &&
            !fullScreen->menuButton()->isHidden())
          fullScreen->menuButton()->simulateTap();
      } else if (word == "skip") {
        auto sheet = fullScreen->actionSheet();
        if (!active || !sheet || !sheet->isVisible()) continue;
        sheet->clickButtonAtIndex(sheet->numberOfButtons() - 1);
        runUntilIdle();
      } else if (word == "fsdismiss") {
        pageCommand(fullScreen, "BridgeDisplay.dismiss();");
      } else {
        FAIL() << "unknown event " << word;
      }
    }
  }

  // What the row left running ends: the network and the application come back, the host puts
  // its banner back, and every timer runs out (browser exits, redisplays, fades, the clearing
  // of the window's mark, a stalled page's deadline).
  void settle() {
    fullScreenDelegate->inside = {};
    platform::Reachability::setNetwork(platform::Reachability::Network::WiFi);
    platform::Reachability::refresh();
    auto& app = Application::sharedApplication();
    if (app.applicationState() != platform::ApplicationState::Active) app.enterForeground();
    if (banner && banner->isHidden()) banner->setHidden(false);
    if (banner && !banner->superview()) window->addSubview(banner);
    advance(12);
  }

  // Whatever the client put up: reachable, then closed by its own close control.
  void closeWhatIsUp() {
    auto content = adWindow->contentController();
    if (!content) return;
    EXPECT_TRUE(adWindow->isKeyWindow());
    EXPECT_EQ(adWindow->alpha(), 1);
    EXPECT_EQ(adWindow->frame(), platform::Screen::mainScreen().bounds());
    EXPECT_TRUE(within(screenTap({160, 240}), content->view())) << "a touch on the ad misses it";
    if (content == fullScreen) {
      // The user's way out: Menu, then Skip.
      auto sheet = fullScreen->actionSheet();
      if (!sheet || !sheet->isVisible()) {
        ASSERT_TRUE(fullScreen->menuButton() && !fullScreen->menuButton()->isHidden())
            << "no way out of the full-screen ad";
        fullScreen->menuButton()->simulateTap();
        sheet = fullScreen->actionSheet();
      }
      ASSERT_TRUE(sheet && sheet->isVisible()) << "a Menu with nothing in it";
      sheet->clickButtonAtIndex(sheet->numberOfButtons() - 1);
    } else if (content->isBrowserMode()) {
      auto exit = content->navigationItem()->leftBarButtonItem();
      ASSERT_TRUE(exit) << "no way out of the ad's browser";
      exit->tap();
    } else {
      pageCommand(content, "BridgeDisplay.dismiss();");
    }
    advance(5);
  }

  void checkInvariants() {
    auto& app = Application::sharedApplication();
    ASSERT_EQ(app.applicationState(), platform::ApplicationState::Active);
    closeWhatIsUp();
    // 1 and 5: nothing of the client left on the screen, which is the host's again.
    EXPECT_FALSE(adWindow->contentController());
    EXPECT_TRUE(adWindow->subviews().empty());
    EXPECT_FALSE(adWindow->isDisplaying());
    EXPECT_TRUE(adWindow->isHidden() || adWindow->alpha() == 0) << "an empty ad window covers the application";
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_FALSE(window->isHidden());
    EXPECT_EQ(window->alpha(), 1);
    EXPECT_EQ(app.isStatusBarHidden(), hostHidStatusBar);
    EXPECT_FALSE(app.isIdleTimerDisabled());
    EXPECT_EQ(fullScreen->view()->superview(), nullptr);
    EXPECT_FALSE(fullScreen->actionSheet() && fullScreen->actionSheet()->isVisible()) << "a menu outlives its ad";
    EXPECT_FALSE(fullScreen->menuButton() && !fullScreen->menuButton()->isHidden()) << "a Menu button outlives its ad";
    EXPECT_FALSE(fullScreen->adLoadingIndicator()) << "a Loading box outlives its ad";
    // The page hears its expansions open and close, in turn, and each one it was granted close.
    // One exception, kept on purpose: content closed before it moved into the window still
    // tells its page that it collapsed, though the page never heard it expand (the page may
    // have begun its own expansion when it asked), so collapses may outnumber expansions.
    if (banner && internal->bridge()->showsOwnDocument()) {
      std::istringstream heard(page("HVDisplay.ran.join(' ')"));
      const int granted = std::stoi(page("window.HVRow ? HVRow.expansions : 0"));
      int collapses = 0;
      bool expanded = false;
      for (std::string notice; heard >> notice;) {
        if (notice == "expand") {
          EXPECT_FALSE(std::exchange(expanded, true)) << "the page heard it expand twice";
        } else if (notice == "collapse") {
          expanded = false;
          ++collapses;
        }
      }
      EXPECT_FALSE(expanded) << "the page never heard its expansion close";
      EXPECT_GE(collapses, granted) << "the page never heard an expansion it was granted";
    }
    // 3: each open closed once, in order, and a yes followed by its opening (the host's own
    // calls answered no meanwhile aside).
    std::string open;
    for (size_t i = 0; i < log.size(); ++i) {
      const std::string& entry = log[i];
      if (entry == "yes") {
        auto next = std::find_if(log.begin() + long(i) + 1, log.end(), [](const auto& e) { return !e.ends_with("ready") && e != "no"; });
        // The end of the process ends a display that had not opened yet.
        EXPECT_TRUE(next != log.end() && (*next == "f:open" || *next == "relaunch")) << "a yes that opened nothing";
      }
      if (entry == "relaunch") open.clear();
      if (entry.ends_with("open")) {
        EXPECT_EQ(open, "") << "opened twice at " << i;
        open = entry.substr(0, 2);
      } else if (entry.ends_with("close")) {
        EXPECT_EQ(open, entry.substr(0, 2)) << "closed what was not open at " << i;
        open.clear();
      }
    }
    EXPECT_EQ(open, "") << "never closed";
    // 6: the stored ads are the slot's shown ad and the one waiting, no more, no fewer, once
    // the fetch under way has reported.
    server.clearAd("hvBanner");
    auto storedAndKnown = [&](const char* name) {
      drainWorkers();
      auto s = slot(name);
      std::pair<std::set<int64_t>, std::set<int64_t>> both;
      for (int64_t t : {s->dlTime(), s->nextAdDlTime()}) {
        if (t != 0) both.second.insert(t);
      }
      for (const auto& row : hv->database()->sqlExecute("SELECT dlTime FROM ads WHERE slotName='" + std::string(name) + "'"))
        both.first.insert(row[size_t(0)].integerValue());
      return both;
    };
    for (const char* name : {"hvBanner", "hvFullScreen"}) {
      advanceUntil([&] { return storedAndKnown(name).first == storedAndKnown(name).second; }, 3);
      const auto [stored, known] = storedAndKnown(name);
      EXPECT_EQ(stored, known) << name;
    }
    if (!banner) return;
    // 2 and 4: the banner shows its ad and takes the user's touch; an ad waiting is shown
    // (at the host's refresh once the banner has shown one before).
    auto s = slot("hvBanner");
    EXPECT_EQ(internal->view()->superview(), banner);
    EXPECT_EQ(internal->view()->frame(), banner->bounds()) << "the ad is out of its banner place";
    // A refresh that the interval started just now is let finish.
    EXPECT_TRUE(advanceUntil([&] { return !internal->isRefreshing(); }, 2)) << "the banner stays between two ads";
    const int64_t waiting = s->nextAdDlTime();
    if (waiting != 0 && s->dlTime() != 0 && internal->hasDisplayedCurrentAd() && !internal->refreshInterval()) {
      // A host's refresh right after a display is ignored: this host asks once it may.
      advance(HVAdViewInternal::kMinimumRefreshInterval);
      banner->refresh();
    }
    advance(2 + internal->refreshInterval());
    // Shown, or given up as one that cannot be shown (its package lacks its page).
    EXPECT_TRUE(waiting == 0 || s->nextAdDlTime() != waiting) << "an ad waits that nothing keeps from the screen";
    // A banner that has an ad shows it and takes the user's touch, also after it went blank;
    // only a click-through that took its page away from the ad leaves it blank, and then it
    // shows nothing of the page that replaced the ad.
    if (s->dlTime() == 0) return;
    if (!internal->bridge()->showsOwnDocument()) {
      EXPECT_EQ(banner->alpha(), 0) << "the banner shows a page that is not its ad";
      return;
    }
    EXPECT_TRUE(page("HVDisplay.shown") != "0" && page("HVDisplay.dlTime") == std::to_string(s->dlTime()))
        << "the banner shows no ad";
    EXPECT_EQ(banner->alpha(), 1) << "the ad in the page is hidden";
    EXPECT_TRUE(tapBanner()) << "a tap on the banner misses its ad";
  }

  testkit::LoopbackServer pages;
  std::vector<std::string> log;
  bool hostHidStatusBar = false;
  std::shared_ptr<LogDelegate> bannerDelegate = std::make_shared<LogDelegate>(log, "b:");
  std::shared_ptr<LogDelegate> fullScreenDelegate = std::make_shared<LogDelegate>(log, "f:");
  std::vector<std::shared_ptr<LogDelegate>> delegates;  // the host's later banner delegates
  int packages = 0;
  size_t firstImpressionsBefore = 0;  // the first ad's impressions before the last relaunch
  std::shared_ptr<HVController> hv;
  std::shared_ptr<HVFullScreenAdWindow> adWindow;
  std::shared_ptr<HVFullScreenAdController> fullScreen;
  std::shared_ptr<HVAdView> banner;
  std::shared_ptr<HVAdViewInternal> internal;
};

class HVEventOrderRow : public HVEventOrderTest, public ::testing::WithParamInterface<Row> {};

TEST_P(HVEventOrderRow, EveryInvariantHolds) { playRow(GetParam().events); }

// The banner view and its display page.
const Row kBannerRows[] = {
    {"StoreLinkWithNoNextAdKeepsTheAdShown", "store fg 4"},
    {"StoreLinkThenTheNextAdArrivesInTheBackground", "store next fg 4"},
    {"FirstAdWaitingWhileAFullScreenAdIsUpShowsWhenItCloses", "later full 2 banner 1 fsdismiss"},
    {"RefreshFadeCutByTheBackground", "next refresh 0.2 bg 1 fg"},
    {"NextAdArrivesInTheBackground", "bg next 3 fg refresh"},
    {"RelaunchedWithTheNextAdWaiting", "next relaunch"},
    {"RelaunchedWhileTheNextAdDownloads", "fetch relaunch"},
    {"RelaunchedWhileAnExpansionOpens", "full fsdismiss 1 expand relaunch"},
    {"RelaunchedOfflineWithTheNextAdWaiting", "next offline relaunch 3 online"},
    {"RefreshWhileAFullScreenAdOpens", "next full 0.3 refresh 1 fsdismiss"},
    {"FirstAdLoadingWhileTheApplicationLeaves", "later banner bg fg"},
    {"WithAnIntervalTheNextAdArrivesUnderAFullScreenAd", "every full 1 next 3 fsdismiss"},
    {"WithAnIntervalTheNextAdArrivesWhileTheBrowserIsUp", "every link 2 next 4 done"},
    {"WithAnIntervalLeavingWhileTheNextAdFadesIn", "every next 10 0.2 bg fg"},
    {"WithAnIntervalExpandedWhenTheIntervalComes", "every next expand 12 dismiss"},
    {"WithAnIntervalTheNextAdArrivesWhileTheBannerCloses", "every expand 2 dismiss 0.3 next"},
    {"NextAdArrivesWhileExpanded", "expand 2 next 2 dismiss"},
    {"RefreshWhileExpanded", "next expand 2 refresh 1 dismiss"},
    {"NextAdArrivesBeforeTheExpandedAdSendsTheUserAway", "expand 2 next leave fg"},
    {"NextAdArrivesWhileTheLastOneIsHandedToThePage", "store next remove 3"},
    {"WithAnIntervalTheNextAdArrivesWhileTheLastOneFadesIn", "offline relaunch next every next next"},
    {"IntervalGivenWhileTheNextAdWaits", "0.3 next every"},
    {"NextAdArrivesBeforeTheStoredAdIsDrawn", "offline relaunch broken"},
    {"NextAdArrivesWhileTheRelaunchedPageFailsItsStoredAd", "broken pexpand offline relaunch broken pexpand"},
    {"NextAdExpiresWhileItsPageShowsIt", "store fg briefnext 3"},
};

// The full-screen window and controller.
const Row kFullScreenRows[] = {
    {"LeavingWhileItOpens", "full 0.3 bg fg"},
    {"LeavingWhileItCloses", "full 2 fsdismiss 0.3 bg fg"},
    {"ClosedByItsPageWhileItOpens", "full 0.3 fsdismiss"},
    {"AskedForWhileABannersBrowserOpens", "link 0.3 full"},
    {"AskedForTwice", "full 0.2 full 2 fsdismiss 0.2 full"},
    {"ClosedByItsPageInTheBackground", "full 2 bg fsdismiss fg"},
    {"LeavingWhileItLoads", "full bg fg"},
    {"LeavingWhileShown", "full 2 bg fg"},
    {"StatusBarHiddenByTheHost", "nobar full 2 bg fg 1 fsdismiss"},
    {"AskedForWhileABannerCloses", "expand 2 dismiss 0.3 full"},
    {"ShownAgainRightAfterItClosed", "full 2 fsdismiss 1 full 2 fsdismiss 0.5 full"},
    {"MenuUpWhileLeaving", "full 11 menu bg fg 1 skip"},
    {"MenuUpWhenItsPageClosesIt", "full 11 menu fsdismiss"},
    {"MenuUpWhenItsPageClosesItInTheBackground", "full 11 menu bg fsdismiss fg"},
    {"SkippedWhileItsMenuTimerRuns", "full 11 menu skip 0.3 bg fg"},
    {"ClosedByItsPageBeforeItsMenuButtonShows", "full 5 fsdismiss"},
    {"OpensOverABannerFadingToItsNextAd", "next refresh 0.2 full 2 fsdismiss"},
    {"AskedForWhileABannerIsExpanded", "expand 2 full 1 dismiss"},
    {"ClosedByItsPageAsSoonAsAskedFor", "full fsdismiss"},
    {"BannerTappedAfterLeavingWhileItLoads", "full bg fg link"},
    {"NextAdUnreadableOnceItsWindowOpened", "fullbroken full 2 fsdismiss 10 full"},
    {"ClosedByTheLastAdsPageBeforeItOpens", "pexpand full fsdismiss fsdismiss fullinside broken fsdismiss"},
    {"ShownAsItsNextAdArrivesAndExpiresUnderIt", "fullshort full 2 fsdismiss fullinside 5"},
};

// The click-through, the ad's browser and the expansion.
const Row kClickThroughRows[] = {
    {"LeavingWhileTheBrowserOpens", "link 0.3 bg fg"},
    {"LeavingWhileTheBrowserSlidesIn", "link 1.1 bg fg"},
    {"StatusBarHiddenByTheHostThenTheBrowserOpensWhileLeaving", "nobar link 0.3 bg fg"},
    {"StatusBarHiddenByTheHostWhileTheExpansionOpens", "expand 0.5 nobar 1 dismiss"},
    {"AwayWhileTheBrowserOpens", "link 0.3 bg 3 fg"},
    {"AwayWhileTheExpansionCloses", "expand 2 dismiss 0.1 bg 2 fg"},
    {"AwayWhileTheFullScreenAdOpensAndClosesItself", "full 0.3 bg fsdismiss 2 fg"},
    {"LeavingWhileTheBrowserOpensThenAFullScreenAdIsAskedFor", "link 0.3 bg fg 2 full"},
    {"ExpansionClosedByItsPageWhileItOpens", "expand 0.3 dismiss"},
    {"ExpansionClosedByItsPageWhileItSlidesIn", "expand 1.1 dismiss"},
    {"DeviceTurnedWhileTheExpansionOpensThenClosed", "expand 0.3 turn 0.2 dismiss"},
    {"DeviceTurnedWhileExpanded", "expand 2 turn 1 dismiss"},
    {"ExpansionClosedByItsPageAndOpenedAgainWhileItCloses", "expand 0.3 dismiss 0.3 expand 2"},
    {"BrowserClosedByTheAdPageWhileItOpens", "link 0.3 dismiss"},
    {"BrowserClosedWhileItSlidesIn", "link 1.1 dismiss"},
    {"LeavingWhileExpanded", "expand 2 bg fg"},
    {"LeavingWhileTheExpansionCloses", "expand 2 dismiss 0.3 bg fg"},
    {"ExpandedAdSendsTheUserToTheStore", "expand 2 leave fg"},
    {"LeavingWhileTheBrowserIsUp", "link 5 bg fg"},
    {"LinkTappedInTheExpandedAd", "expand 2 wlink 5 done"},
    {"LinkTappedInTheExpandedAdThenLeaving", "expand 2 wlink 0.3 bg fg"},
    {"BrowserRedirectedToTheStoreBeforeTheNextAd", "redirect fg 4 next"},
    {"BrowserRedirectedToTheStoreWithTheNextAdWaiting", "next redirect fg"},
    {"BrowserRedirectedToTheStoreThatKeepsTheUser", "stay next redirect 5 done"},
    {"NextAdLoadedInTheBackgroundAfterARedirectToTheStore", "redirect shortnext 3"},
    {"BackFromTheStoreUnderAFullScreenAdWithTheNextAdWaiting", "fetch link turn 10 fullshort redirect full"},
    {"PageExpandsItselfWithoutATouch", "pexpand 2"},
    {"LinkTappedAsTheClosedFullScreenAdLeavesTheWindowThenExpanded", "full 2 fsdismiss 1 link 1 expand 2 dismiss"},
    {"ExpandedAfterALinkRefusedWhileAFullScreenAdWasAskedFor", "full link 2 fsdismiss 2 expand 2 dismiss"},
    {"ExpandedAfterAFailedLandingPageRedirectedToTheStore", "turn linkfail 3 redirect fg expand"},
    {"PageClosesABannerThatIsNotExpanded", "next dismiss 4"},
    {"ClickThroughClaimedThenLeaving", "claim bg fg 2 full 2 fsdismiss"},
    {"ClickThroughClaimedAndNeverUsed", "claim 2 full"},
    {"NextAdArrivesWhileTheBrowserIsUp", "link 2 next 4 done"},
    {"NextAdArrivesWhileTheBrowserCloses", "link 5 done 0.3 next"},
    {"NextAdUnreadableAfterTheBrowserTookThePage", "link broken"},
    {"NextAdArrivesBeforeThePageReportsTheLastOne", "offline 10 next dismiss link done broken"},
    {"StalledLinkTappedWhileTheLastAdComesBack", "link done broken shortnext 3 linkstall"},
    {"LandingPageFails", "linkfail"},
    {"LandingPageNeverAnswers", "linkstall 5 done"},
    {"HostSetsAnotherDelegateWhileTheBrowserIsUp", "delegate link dismiss delegate"},
    {"HostAsksForItsBannerAgainWhileTheBrowserIsUp", "linkfail next view"},
    {"DoneThenLeavingBeforeTheNextAdShows", "next link 5 done 1 bg fg"},
};

std::string rowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(BannerView, HVEventOrderRow, ::testing::ValuesIn(kBannerRows), rowName);
INSTANTIATE_TEST_SUITE_P(FullScreenWindow, HVEventOrderRow, ::testing::ValuesIn(kFullScreenRows), rowName);
INSTANTIATE_TEST_SUITE_P(ClickThrough, HVEventOrderRow, ::testing::ValuesIn(kClickThroughRows), rowName);

TEST(HVExplorer, ExploresOrders) {
  testkit::ExplorerVocabulary vocabulary;
  vocabulary.words.assign(std::begin(kWords), std::end(kWords));
  vocabulary.waitWeight = 4;
  // Each word may wait on the bridge's polls and worker threads: shorter rows keep a sequence cheap.
  vocabulary.longest = 20;
  // About 16 s of one core in the default build.
  vocabulary.suiteRuns = 100;
  testkit::Explorer("Halvern", vocabulary, testkit::freshFixture<HVEventOrderTest>(), [](const std::string& events) {
    return "{\"\", \"" + events + "\"},";
  }).run();
}

}  // namespace
}  // namespace halvern
