// The banner slot under orders of events a phone produces: the next ad loading while the
// user taps the one on screen, a landing page open while the application resigns or the host
// lets its banner go, a toast placed straight in the window or in a root view, the full-screen
// overlay, two slots at once ("other" turns the words to the second), a host panel over the
// main window. A row is one line of words (a number is a wait in seconds; a slot's first word
// may place it as a toast or the overlay, or make the device a pad); the explorer draws more such
// lines. One checker, knowing no row, checks after each: a screen the client put up can be
// closed (and once closed the window is as the host left it), the slot is not stuck and comes
// back when the host asks, the host hears each opening once and its close once, every tap that
// reached an ad at rest opened its landing page, no ad page is left behind, and a good ad heard
// is an ad shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <sstream>

#include "ORMMAConnector.h"
#include "PELOAdDownloader.h"
#include "PELOAutoReloadTimer.h"
#include "PeloraTestSupport.h"
#include "pelora/PELOFullScreenBanner.h"
#include "pelora/PELOToastBannerView.h"
#include "platform/application.h"
#include "testing/explorer.h"

namespace {

using pelora::ORMMAConnector;
using platform::Rect;
using platform::View;
using platform::WebView;

// The words of a row, and how often the explorer draws each.
const testkit::ExplorerWord kWords[] = {
    {"image", 2},  {"rich", 2},   {"legacy", 1},     {"held", 2},      {"error", 1},        {"video", 1},
    {"release", 2}, {"load", 1},  {"tap", 2},        {"link", 2},      {"vlink", 1},        {"expand", 2},
    {"expandnt", 1}, {"legacyexpand", 1}, {"close", 1}, {"hide", 1},   {"show", 1},         {"closebtn", 2},
    {"playable", 1}, {"moviedone", 1}, {"autoon", 1}, {"autooff", 1}, {"loadinside", 1},   {"letgo", 1},
    {"letgoinside", 1}, {"resign", 1}, {"active", 1}, {"background", 1}, {"foreground", 1}, {"toast", 1},
    {"toastroot", 1}, {"overlay", 1}, {"pad", 1}, {"push", 1}, {"offwindow", 1}, {"putin", 1}, {"putback", 1},
    {"slink", 1}, {"alertok", 1}, {"alertcancel", 1}, {"skip", 1}, {"other", 2}, {"panel", 1}, {"main", 1},
    {"inpanel", 1}, {"turn", 1},
};

// What the host hears. A second expand of an expanded ad tells the delegate again (the page
// asked again, and the host hears each ask): heard as 'w', it is left out of the pairs.
struct Presentations : pelora::PELOBannerViewDelegate {
  void landingPageWillBeDisplayed() override {
    auto c = connector.lock();
    const bool out = c && c->stateUnderHide() == pelora::ORMMAConnector::kExpanded;
    events.push_back(out ? 'w' : 'W');
  }
  void landingPageHasBeenClosed() override { events.push_back('C'); }
  std::string events;
  std::weak_ptr<pelora::ORMMAConnector> connector;
};

enum class Place { InRoot, ToastInWindow, ToastInRoot, FullScreen };

// One of the host's slots: the words play on one, "other" turns them to the second, so two
// slots (a banner's landing page and the overlay, two landing pages) can be up at once.
struct Slot {
  std::shared_ptr<pelora::PELOBannerView> banner;
  std::shared_ptr<pelora::PELOToastBannerView> toast;
  std::shared_ptr<pelora::PELOFullScreenBanner> overlay;
  std::shared_ptr<ORMMAConnector> connector;
  std::shared_ptr<Presentations> presentations = std::make_shared<Presentations>();
  std::shared_ptr<std::vector<pelora_test::Heard>> told = std::make_shared<std::vector<pelora_test::Heard>>();
  std::shared_ptr<pelora_test::RecordingListener> listener =
      std::make_shared<pelora_test::RecordingListener>("host", told.get());
  std::optional<size_t> heardAtLetGo;
  std::vector<std::weak_ptr<platform::MoviePlayerController>> players;  // the banner's, in order
  bool placed = false, second = false;
};

class PELOEventOrderTest : public pelora_test::PeloraTest, protected Slot {
 protected:
  void SetUp() override {
    PeloraTest::SetUp();
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    root = std::make_shared<View>(Rect(0, 0, 320, 480));
    window->addSubview(root);
    screenUp = root;
    hostWindowViews = {root};
    hostKey = window;
    other.second = true;
  }

  // What `add` put in `v`, added to what the host knows is there.
  static void noteAdded(std::vector<std::shared_ptr<View>>& known, const std::vector<std::shared_ptr<View>>& before,
                        const std::shared_ptr<View>& v) {
    for (const auto& s : v->subviews())
      if (std::find(before.begin(), before.end(), s) == before.end()) known.push_back(s);
  }

  void place(Place where) {
    const auto windowBefore = window->subviews(), rootBefore = root->subviews();
    switch (where) {
      case Place::InRoot:
        banner = pelora::PELOBannerView::create();
        banner->setFrame(Rect(0, second ? 300 : 100, 320, 50));
        root->addSubview(banner);
        banner->setDelegate(presentations);
        break;
      case Place::ToastInWindow:
      case Place::ToastInRoot:
        toast = pelora::PELOToastBannerView::create();
        (where == Place::ToastInWindow ? std::static_pointer_cast<View>(window) : root)->addSubview(toast);
        toast->setDelegate(presentations);
        banner = toast->bannerViewForTesting();
        break;
      case Place::FullScreen:
        server->setAd(server->imageAd("fs"));
        overlay = pelora::PELOFullScreenBanner::create();
        window->addSubview(overlay);
        banner = overlay->bannerViewForTesting();
        break;
    }
    banner->addAdListener(listener);
    connector = banner->ormmaConnectorForTesting();
    presentations->connector = connector;
    noteAdded(hostWindowViews, windowBefore, window);
    noteAdded(hostRootViews, rootBefore, root);
    if (!other.placed) {
      statusBarHidden = platform::Application::sharedApplication().isStatusBarHidden();
      idleTimerDisabled = platform::Application::sharedApplication().isIdleTimerDisabled();
    }
    if (overlay) advance(pelora::PELOAdDownloader::kStartDelay), settle();
  }

  void settle() {
    settleTraffic();
    runUntilIdle();
    advance(0.6);  // every slide, expand, close and fade is over
    settleTraffic();
    runUntilIdle();
  }
  std::shared_ptr<WebView> shown() const { return connector ? connector->ormmaView() : nullptr; }
  int state() const { return connector ? connector->bannerState() : ORMMAConnector::kDefault; }

  // The host asks for the next ad, `ad` being what the server answers.
  void load(const testkit::PeloraAd& ad) {
    server->setAd(ad);
    load();
  }
  void load() {
    askForAd();
    advance(pelora::PELOAdDownloader::kStartDelay);
    runUntilIdle();
  }
  void askForAd() {
    if (toast) toast->asyncLoadNewBanner();
    else if (banner && !overlay) banner->asyncLoadNewBanner();
  }
  // The next ad, a rich-media page whose own script the server holds back: it stays in the
  // building until its hold is released.
  void loadHeld() {
    const std::string id = "h" + std::to_string(holds.size());
    auto slow = testkit::ScriptedAnswer::text("var late = 1;");
    slow.hold = std::make_shared<testkit::AnswerHold>();
    holds.push_back(slow.hold);
    server->http().setAnswer("/pelora/slow" + id + ".js", slow);
    load(server->richMediaAd("<p>next</p><script src=\"" + server->url("/pelora/slow" + id + ".js") + "\"></script>", id));
  }
  void releaseHolds() {
    for (const auto& hold : holds) hold->release();
    holds.clear();
  }
  // A finger on the middle of `target`, through the topmost window there: true when it reached it.
  bool finger(const std::shared_ptr<View>& target) {
    if (!target || !target->isShownOnScreen()) return false;
    auto in = target->window();
    const Rect r = in->convertRectFromView(target->bounds(), target);
    const platform::Point p{in->frame().origin.x + r.origin.x + r.size.width / 2,
                            in->frame().origin.y + r.origin.y + r.size.height / 2};
    auto all = platform::Application::sharedApplication().windows();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      if ((*it)->isHidden() || !platform::rectContainsPoint((*it)->frame(), p)) continue;
      auto hit = (*it)->tapAtPoint({p.x - (*it)->frame().origin.x, p.y - (*it)->frame().origin.y});
      return hit && (hit == target || hit->isDescendantOfView(target));
    }
    return false;
  }
  // The user touches the ad on screen, whose handler runs `script`. A touch on an ad at rest
  // that asks for its landing page (`opens`) must open it.
  // The user touches the ad on screen, whose handler runs `script`. A touch on an ad at rest
  // that asks for its landing page (`opens`) must open it. Whether the host heard of one.
  bool touchPage(const std::string& script, bool opens) {
    auto page = shown();
    const bool atRest = state() == ORMMAConnector::kDefault;
    if (!finger(page)) return false;
    const size_t before = presentations->events.size();
    page->stringByEvaluatingJavaScriptFromString(script);
    settle();
    if (opens && atRest) {
      EXPECT_TRUE(presentations->events.size() != before || state() == ORMMAConnector::kExpanded)
          << "a tap on the ad opened nothing";
    }
    return presentations->events.size() != before;
  }
  void page(const std::string& script) {
    if (auto p = shown()) p->stringByEvaluatingJavaScriptFromString(script), runUntilIdle();
  }
  std::shared_ptr<platform::MoviePlayerController> movie() const {
    if (connector && connector->moviePlayerForTesting()) return connector->moviePlayerForTesting();
    return banner ? banner->moviePlayerForTesting() : nullptr;
  }
  // The user's finger on the landing page's close button, through the window.
  void closeByFinger() {
    if (connector && finger(connector->closeButtonForTesting())) settle();
  }
  // The host lets its slot go (taking it out of its view).
  void hostReleasesSlot() {
    if (!banner) return;
    std::shared_ptr<View> slot = toast ? std::static_pointer_cast<View>(toast)
                                 : overlay ? std::static_pointer_cast<View>(overlay)
                                           : std::static_pointer_cast<View>(banner);
    std::erase(hostRootViews, slot);
    std::erase(hostWindowViews, slot);
    std::erase(hostPanelViews, slot);
    heardAtLetGo = presentations->events.size();
    slot->removeFromSuperview();
    banner.reset();
    toast.reset();
    overlay.reset();
    connector.reset();
  }

  // The words, and what must hold across each: no ad is asked for while the banner's own
  // video plays.
  // The host's own screens. It moves its slot to `screen`, and shows `shown` in the window
  // instead of the screen up now.
  static std::shared_ptr<View> slotViewOf(const Slot& s) {
    if (s.toast) return s.toast;
    return s.overlay ? nullptr : std::static_pointer_cast<View>(s.banner);
  }
  std::shared_ptr<View> slotView() const { return slotViewOf(*this); }
  void moveSlot(const std::shared_ptr<View>& screen) {
    auto slot = slotView();
    if (!slot) return;
    std::erase(hostRootViews, slot);
    std::erase(hostWindowViews, slot);
    std::erase(hostPanelViews, slot);
    slot->removeFromSuperview();
    screen->addSubview(slot);
    if (screen == root) hostRootViews.push_back(slot);
    if (screen == panelRoot) hostPanelViews.push_back(slot);
  }
  // The user's finger on the alert the client put up: its last button, or Cancel.
  void answerAlerts(bool ok) {
    for (const auto& alert : platform::AlertView::visibleAlerts()) alert->clickButtonAtIndex(ok ? alert->numberOfButtons() - 1 : 0);
    settle();
  }
  // The new screen takes the old one's place: what lies over it (the overlay) stays over it.
  void showScreen(const std::shared_ptr<View>& shown) {
    const auto subviews = window->subviews();
    const auto at = std::find(subviews.begin(), subviews.end(), screenUp);
    const size_t index = at == subviews.end() ? 0 : static_cast<size_t>(at - subviews.begin());
    if (auto known = std::find(hostWindowViews.begin(), hostWindowViews.end(), screenUp); known != hostWindowViews.end())
      *known = shown;
    else
      hostWindowViews.insert(hostWindowViews.begin(), shown);
    screenUp->removeFromSuperview();
    window->insertSubviewAtIndex(shown, index);
    screenUp = shown;
  }
  std::shared_ptr<View> newScreen() {
    screens.push_back(std::make_shared<View>(Rect(0, 0, 320, 480)));
    return screens.back();
  }

  void play(const std::string& word) {
    const bool videoPlays = banner && banner->isPlayingVideoForTesting();
    const size_t asked = server->adRequests().size();
    playWord(word);
    if (videoPlays && banner && banner->isPlayingVideoForTesting()) {
      settleTraffic();
      EXPECT_EQ(server->adRequests().size(), asked) << "an ad was asked for while the video plays";
    }
    // A video ad has no page of its own: a page in the slot means another ad replaced it.
    if (auto m = banner ? banner->moviePlayerForTesting() : nullptr; m && banner->currentViewForTesting()) {
      EXPECT_FALSE(m->view()->isShownOnScreen()) << "a replaced video plays over the ad after it";
    }
    if (auto current = banner ? banner->moviePlayerForTesting() : nullptr;
        current && (players.empty() || players.back().lock() != current))
      players.push_back(current);
  }

  void playWord(const std::string& word) {
    auto& app = platform::Application::sharedApplication();
    const bool placeWord = word == "toast" || word == "toastroot" || word == "overlay" || word == "pad";
    if (!placed && !placeWord && word != "other") place(Place::InRoot), placed = true;
    if (word == "other") {
      std::swap(static_cast<Slot&>(*this), other);
    } else if (word == "pad") {
      if (!placed && !other.placed) platform::Device::currentDevice().setUserInterfaceIdiom(platform::UserInterfaceIdiom::Pad);
    } else if (placeWord) {
      if (!placed) place(word == "toast" ? Place::ToastInWindow : word == "toastroot" ? Place::ToastInRoot : Place::FullScreen);
      placed = true;
    } else if (word == "image") {
      load(server->imageAd(std::to_string(++ads)));
    } else if (word == "rich") {
      load(server->richMediaAd(testkit::PeloraServer::ormmaCreative(), std::to_string(++ads)));
    } else if (word == "legacy") {
      load(server->richMediaAd("<p id=\"legacy\">Tap me</p>", std::to_string(++ads)));
    } else if (word == "held") {
      loadHeld();
    } else if (word == "error") {
      load(testkit::PeloraServer::errorAd("106", "none"));
    } else if (word == "video") {
      auto ad = server->imageAd(std::to_string(++ads));
      ad.type = "VIDEO";
      ad.mediaFile = server->url("/pelora/ad.mp4");
      load(ad);
    } else if (word == "release") {
      releaseHolds();
    } else if (word == "load") {
      load();
    } else if (word == "tap") {
      auto p = shown();
      const bool atRest = state() == ORMMAConnector::kDefault;
      const size_t before = presentations->events.size();
      if (finger(p) && p->tapLinkWithURLForTesting(server->clickURL("1"))) {
        settle();
        if (atRest) {
          EXPECT_TRUE(presentations->events.size() != before || state() == ORMMAConnector::kExpanded)
              << "a tap on the ad's link opened nothing";
        }
      }
    } else if (word == "link") {
      touchPage("document.location='" + server->url("/pelora/landing") + "'", true);
    } else if (word == "vlink") {
      touchPage("document.location='" + server->url("/pelora/movie.mp4") + "'", false);
    } else if (word == "slink") {
      touchPage("document.location='" + std::string(ORMMAConnector::kStorePrefix) + "app1'", false);
    } else if (word == "alertok" || word == "alertcancel") {
      answerAlerts(word == "alertok");
    } else if (word == "expand") {
      auto p = shown();
      const bool speaks = p && p->stringByEvaluatingJavaScriptFromString("typeof window.ormma") == "object";
      touchPage("ormma.expand({x: 0, y: 0, width: 320, height: 300}, null)", speaks);
    } else if (word == "expandnt") {
      page("ormma.expand({x: 0, y: 0, width: 320, height: 300}, null)");
    } else if (word == "legacyexpand") {
      touchPage("pelora_bridge.expandLegacy()", false);
    } else if (word == "close" || word == "hide" || word == "show") {
      page("ormma." + word + "()");
    } else if (word == "closebtn") {
      closeByFinger();
    } else if (word == "playable") {
      if (auto m = movie()) m->setLoadStateForTesting(platform::kMovieLoadStatePlayable), runUntilIdle();
    } else if (word == "moviedone") {
      if (auto m = movie()) m->finishPlaybackForTesting(), runUntilIdle();
    } else if (word == "autoon" || word == "autooff") {
      if (banner) banner->setAutoReloadEnabled(word == "autoon");
    } else if (word == "loadinside") {
      // The host's code inside a callback only asks: the clock moves on once the turn is over,
      // as it does for an application, never from inside the client's own report.
      listener->then = [this] {
        listener->then = {};
        askForAd();
      };
    } else if (word == "push") {
      if (!slotView()) return;
      auto next = newScreen();
      moveSlot(next);
      showScreen(next);
    } else if (word == "offwindow") {
      if (!slotView()) return;
      offWindow = newScreen();
      moveSlot(offWindow);
    } else if (word == "putin") {
      if (offWindow && offWindow != screenUp) showScreen(offWindow);
    } else if (word == "putback") {
      if (!slotView()) return;
      if (panelRoot && slotView()->superview() == panelRoot) return moveSlot(root);
      if (screenUp == root) return;
      moveSlot(root);
      showScreen(root);
    } else if (word == "skip") {
      if (overlay && finger(overlay->skipButtonForTesting())) settle();
    } else if (word == "panel") {
      // The host's own windows: a panel made key over the foot of its main window, and
      // the banner moved into it; the main window made key again once the panel is hidden.
      if (!panel) {
        panel = platform::Window::create(Rect(0, 430, 320, 50));
        panelRoot = std::make_shared<View>(Rect(0, 0, 320, 50));
        panel->addSubview(panelRoot);
      }
      panel->makeKeyAndVisible();
      hostKey = panel;
    } else if (word == "inpanel") {
      if (!panel || panel->isHidden() || !slotView()) return;
      moveSlot(panelRoot);
      slotView()->setFrame(Rect(0, 0, 320, 50));
    } else if (word == "main") {
      if (!panel) return;
      for (const auto& v : {slotView(), slotViewOf(other)})
        if (v && v->superview() == panelRoot) return;  // the host brings its banner home first
      panel->setHidden(true);
      window->makeKeyWindow();
      hostKey = window;
    } else if (word == "letgo") {
      hostReleasesSlot();
    } else if (word == "letgoinside") {
      listener->then = [this] {
        listener->then = {};
        hostReleasesSlot();
      };
    } else if (word == "turn") {
      // The user turns the device, and the application's status bar turns with it.
      const bool portrait = app.statusBarOrientation() == 1;
      platform::Device::currentDevice().setOrientation(portrait ? platform::DeviceOrientation::LandscapeLeft
                                                                : platform::DeviceOrientation::Portrait);
      app.setStatusBarOrientation(portrait ? 4 : 1);
      runUntilIdle();
    } else if (word == "resign") {
      if (app.applicationState() == platform::ApplicationState::Active) app.resignActive();
    } else if (word == "active") {
      if (app.applicationState() == platform::ApplicationState::Inactive) app.becomeActive();
    } else if (word == "background") {
      if (app.applicationState() != platform::ApplicationState::Background) app.enterBackground();
    } else if (word == "foreground") {
      if (app.applicationState() == platform::ApplicationState::Background) app.enterForeground();
    } else {
      ADD_FAILURE() << "no such word: " << word;
    }
  }

  static size_t webViewsIn(const std::shared_ptr<View>& v) {
    size_t n = 0;
    for (const auto& s : v->subviews()) n += std::dynamic_pointer_cast<WebView>(s) != nullptr;
    return n;
  }

  // What the client put up can be closed, through its own control: the video's, the landing
  // page's close button, or an expanded ORMMA ad's own close. Until `strict`, what the other
  // slot covers waits for the user to close that first.
  void closeWhatIsUp(bool strict) {
    if (auto player = connector ? connector->moviePlayerForTesting() : nullptr) {
      if (strict) {
        EXPECT_TRUE(player->view()->isShownOnScreen()) << "the video, with its controls, is not on screen";
      }
      player->finishPlaybackForTesting();
      settle();
    }
    auto page = shown();
    if (!page || !banner || page->superview() == banner) return;
    if (strict) {
      EXPECT_TRUE(page->isShownOnScreen()) << "the landing page is not on screen";
    }
    auto close = connector->closeButtonForTesting();
    if (!close && connector->isORMMA() && page->stringByEvaluatingJavaScriptFromString("typeof window.ormma") == "object") {
      page->stringByEvaluatingJavaScriptFromString("ormma.close()");
      settle();
      return;
    }
    if (!strict) {
      if (close && finger(close)) settle();
      return;
    }
    ASSERT_NE(close, nullptr) << "the landing page has no close button";
    EXPECT_TRUE(finger(close)) << "the close button is out of reach";
    settle();
  }
  bool somethingUp() const {
    auto page = shown();
    return (connector && connector->moviePlayerForTesting()) || (page && banner && page->superview() != banner);
  }
  void switchSlot() { std::swap(static_cast<Slot&>(*this), other); }

  void expectSlotHolds() {
    // The user comes back to the application and ends what is up, in each slot.
    auto& app = platform::Application::sharedApplication();
    if (app.applicationState() == platform::ApplicationState::Background) app.enterForeground();
    if (app.applicationState() == platform::ApplicationState::Inactive) app.becomeActive();
    // What closing one thing brings (the next ad, a video ad) is ended too.
    for (int round = 0; round < 4; ++round) {
      for (int s = 0; s < 2; ++s, switchSlot()) {
        answerAlerts(false);
        releaseHolds();
        settle();
        if (banner) {
          if (auto m = banner->moviePlayerForTesting()) m->finishPlaybackForTesting();
        }
        settle();
        closeWhatIsUp(round == 3);
        if (testing::Test::HasFatalFailure()) return;
      }
      // An overlay covers what the other slot has up: the user skips it first.
      for (int s = 0; s < 2; ++s, switchSlot()) {
        const bool covers = overlay && overlay->superview() && [&] {
          switchSlot();
          const bool up = somethingUp();
          switchSlot();
          return up;
        }();
        if (covers && finger(overlay->skipButtonForTesting())) settle();
      }
    }
    // 1. Nothing the client put up is left: the windows are as the host left them.
    for (const auto& o : {overlay, other.overlay})
      if (o && !o->superview()) std::erase(hostWindowViews, o);
    EXPECT_TRUE(window->subviews() == hostWindowViews) << "the window is not as the host left it";
    EXPECT_TRUE(root->subviews() == hostRootViews) << "the host's view is not as it left it";
    if (panel) {
      EXPECT_TRUE(panelRoot->subviews() == hostPanelViews) << "the host's panel is not as it left it";
      EXPECT_EQ(panel->subviews().size(), 1u) << "the host's panel holds what the client left";
    }
    EXPECT_EQ(app.keyWindow(), hostKey.lock()) << "the host's key window is not the one it made key";
    for (const auto& screen : screens)
      for (const auto& v : screen->subviews())
        EXPECT_TRUE(v == slotView() || v == slotViewOf(other)) << "the host's screen holds what the client left";
    EXPECT_EQ(app.isStatusBarHidden(), statusBarHidden);
    EXPECT_EQ(app.isIdleTimerDisabled(), idleTimerDisabled);
    EXPECT_EQ(webViewsIn(window) + webViewsIn(root) + (overlay ? webViewsIn(overlay) : 0) +
                  (other.overlay ? webViewsIn(other.overlay) : 0) + (panelRoot ? webViewsIn(panelRoot) : 0),
              0u);
    for (int s = 0; s < 2; ++s, switchSlot())
      if (placed) expectThisSlotHolds();
  }

  void expectThisSlotHolds() {
    // An ad whose page hid itself stays hidden and asks for no ad until it shows itself again:
    // a hidden ad keeps the slot as an expanded one does.
    const bool hidden = state() == ORMMAConnector::kHidden;
    // A video another ad replaced (or whose banner the host let go) is stopped and gone.
    for (const auto& weak : players) {
      auto player = weak.lock();
      if (!player || (banner && player == banner->moviePlayerForTesting())) continue;
      EXPECT_FALSE(player->view()->isShownOnScreen()) << "a replaced video is still on screen";
      EXPECT_FALSE(player->playbackState() == platform::MoviePlaybackState::Playing) << "a replaced video still plays";
    }
    // 3. Each opening is heard once, then its close once.
    std::string ev = presentations->events;
    std::erase(ev, 'w');
    for (size_t i = 0; i < ev.size(); ++i) EXPECT_EQ(ev[i], i % 2 ? 'C' : 'W') << presentations->events;
    // Once the host let go, silence is right.
    if (heardAtLetGo) {
      EXPECT_EQ(presentations->events.size(), *heardAtLetGo) << "the host heard after it let go";
    } else if (!ev.empty()) {
      EXPECT_EQ(ev.back(), 'C') << presentations->events;
    }
    const auto& heard = *told;
    for (size_t i = 1; i < heard.size(); ++i)
      EXPECT_NE(heard[i].banner, heard[i - 1].banner) << "a banner was told twice";
    if (!banner) return;
    // 2. The slot is not stuck: nothing stays half built, the reload runs when on.
    EXPECT_FALSE(banner->isLoadingForTesting()) << "an ad stays in the building";
    EXPECT_EQ(state() == ORMMAConnector::kDefault || state() == ORMMAConnector::kUnknown || hidden, true)
        << "the ad stays out in state " << state();
    if (banner->autoReloadEnabled() && !hidden) {
      EXPECT_TRUE(banner->reloadTimerForTesting()->isRunningForTesting()) << "the reload does not run";
    }
    // 5. No ad page is left behind: the banner holds the ad shown.
    EXPECT_LE(webViewsIn(banner), 1u);
    // 6. A good ad heard is an ad on screen, when the host shows its screen.
    if (banner->window() && !heard.empty() && heard.back().banner->status() == pelora::kPELOBannerStatusSuccess && !hidden &&
        !overlay && heard.back().banner->adType() != pelora::kPELOAdTypeVideo) {
      EXPECT_TRUE(banner->isShownOnScreen()) << "a good ad is not shown";
      EXPECT_EQ(shown(), banner->currentViewForTesting());
    }
    // 2'. A slot the host drives comes back when it asks.
    if (!overlay && !hidden) {
      const size_t before = server->adRequests().size();
      load(server->imageAd("last"));
      settle();
      EXPECT_GT(server->adRequests().size(), before) << "the slot asks for no ad when the host asks";
    }
  }

 public:
  void playRow(const std::string& events) {
    std::istringstream words(events);
    for (std::string word; words >> word;) {
      if (testkit::Explorer::isWait(word)) {
        if (!placed) place(Place::InRoot), placed = true;
        advance(std::stod(word));
        runUntilIdle();
      } else {
        play(word);
      }
    }
    if (!placed) place(Place::InRoot), placed = true;
    expectSlotHolds();
  }

 protected:
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<View> root;
  Slot other;  // the slot the words do not play on now
  std::vector<std::shared_ptr<testkit::AnswerHold>> holds;  // one per answer held, until released
  std::vector<std::shared_ptr<View>> hostWindowViews, hostRootViews, hostPanelViews;
  bool statusBarHidden = false, idleTimerDisabled = false;
  int ads = 0;
  std::vector<std::shared_ptr<View>> screens;  // the host's screens besides the root
  std::shared_ptr<View> screenUp, offWindow;
  std::shared_ptr<platform::Window> panel;  // the host's second window, over the lower part of the main one
  std::shared_ptr<View> panelRoot;
  std::weak_ptr<platform::Window> hostKey;  // the window the host last made key
};

const char* const kRows[] = {
    // image ad: a tap opens the landing page, its close button brings the next ad
    "image tap closebtn",
    // a tap on the ad on screen while the next one loads; the next waits for the close
    "image held tap release closebtn",
    "image held release legacyexpand closebtn",
    "image held error release",
    "image tap 0.1 closebtn",
    "autoon image tap resign active closebtn",
    "image tap letgo",
    // the ad on screen plays its video while the next one loads; the next shows when it ends
    "rich held vlink release playable moviedone",
    "toast legacy legacyexpand letgo",
    "toast legacy legacyexpand image closebtn",
    "toastroot legacy legacyexpand image closebtn",
    "toastroot image error image",
    "toast rich expand close",
    "overlay tap closebtn",
    // a plain link in a rich-media ad, at rest or expanded, opens a landing page the user closes
    "rich link",
    "rich expand link",
    // a close from the page while its video loads ends nothing that was opened
    "held release held vlink close",
    // a page that hid itself while its video played stays hidden after it
    "rich vlink hide",
    "rich vlink hide playable",
    // an ad hidden while expanded is still out: a link, a second expand, the host letting go
    "rich expand hide link",
    "legacy expand hide expand",
    "rich expand hide letgo",
    // the page asks for a video while its close still animates: the close ends once
    "rich expand close vlink",
    // a movie linked from the overlay's landing page plays where it is seen
    "overlay link vlink",
    // the host lets go while a video plays on a pad: the status bar comes back
    "pad rich vlink playable letgo",
    // an expand during the movie's fade keeps its landing page; a video asked for by a page
    // hidden while expanded leaves it hidden
    "rich vlink moviedone expand",
    "rich expand hide vlink",
    // the host moved its banner to another screen, or built its screen off the window and put
    // it in: the landing page goes over the screen shown at the tap
    "image push link",
    "offwindow image putin link",
    // the host changes screens while a landing page or video is up: it follows the slot
    "rich vlink push",
    "offwindow putin image link putback",
    "offwindow push legacy link putin",
    "offwindow rich push link putin",
    "rich vlink offwindow push putin",
    // a second movie asked for while the first fades out gives the status bar back as before
    "pad image vlink moviedone vlink",
    // a store link's alert answered after the ad hid itself at rest closes nothing
    "rich slink hide",
    // the host asks for an ad while the video ad loads: it is not replaced, nor played over the next
    "video image playable",
    // the host replaces the screen a landing page lies over while its banner is off the
    // window: the page follows to the screen shown
    "legacy link offwindow video other push",
    // a link followed by an ad expanded again after its banner left the window: its close
    // goes over the page
    "rich expand offwindow legacyexpand expand link",
    // the host moves its banner into its panel while the landing page is up: the page stays
    // over the main window
    "rich link panel inpanel inpanel",
    // the host puts its banner back in over the expanded ad: the ad and its close come to the front
    "panel inpanel legacy expand inpanel",
    // a landing page opened while a store link's alert waits stays open when the store opens
    "overlay slink 0.1 link",
    // the host replaces the screen under an expanded ad while another slot's video plays over
    // the window: the ad goes over the host's new screen, not into that video
    "legacy legacyexpand other toast load vlink push",
    // the host puts its other banner into the panel over a landing page opened there: the
    // page and its close come back to the front
    "panel load inpanel link other inpanel",
    // the host hides its panel under a landing page opened there: the page goes over the main window
    "panel image inpanel link offwindow main",
};

class PELOEventOrderRow : public PELOEventOrderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PELOEventOrderRow, KeepsTheInvariants) { playRow(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Slot, PELOEventOrderRow, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return testkit::explorerRowName(info.index, info.param); });

TEST(PELOExplorer, ExploresOrders) {
  testkit::ExplorerVocabulary vocabulary;
  vocabulary.words.assign(std::begin(kWords), std::end(kWords));
  vocabulary.waitWeight = 4;
  // About 12 to 15 s of one core in the default build (24 to 29 s per thousand).
  vocabulary.suiteRuns = 500;
  testkit::Explorer("Pelora", vocabulary, testkit::freshFixture<PELOEventOrderTest>()).run();
}

}  // namespace
