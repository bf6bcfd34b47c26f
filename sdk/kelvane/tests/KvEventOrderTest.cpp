// Placements under orders of events a phone produces: banners and full-screen ads placed,
// tapped by a finger, their browsers left by Back; the host taking its banner out, putting it
// back, letting it go, switching between its windows; answers held, failed or stalled, and a
// page whose script is still on the way; the application's life cycle. A row is one line of
// words (a number is a wait in seconds); the explorer draws more such lines. One checker,
// knowing no row, checks after each that whatever the client put up closes by a finger, the
// host's windows and root view are as the host left them, each banner on screen asks for its
// next ad within one period, each tap was heard and reported once for the ad tapped, each
// answer was told at most once, and what the host let go is gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <utility>

#include "KvBrowserView.h"
#include "KvFullScreenView.h"
#include "KvTestSupport.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/screen.h"
#include "testing/explorer.h"

namespace kelvane {
namespace {

using NextPage = testkit::KelvaneServer::NextPage;

const testkit::ExplorerWord kWords[] = {
    {"banner", 2}, {"full", 1},    {"tap", 4},        {"back", 3},    {"skip", 1},   {"out", 2},
    {"putback", 2}, {"letgo", 1},  {"held", 1},       {"release", 1}, {"fail", 1},   {"slowscript", 1},
    {"stall", 1},  {"panel", 1},   {"main", 1},       {"resign", 1},  {"active", 1}, {"background", 1},
    {"foreground", 1}, {"text", 1},    {"pad", 1},        {"letgoonclick", 1},
    {"offwindow", 1},  {"onwindow", 1}, {"turn", 1}, {"inpanel", 1},
};
// A banner's period in these rows, and the deadline of an ad answer.
constexpr int kPeriod = 30;
constexpr double kDeadline = 60;

class KvEventOrderTest : public KvTest {
 public:
  void playRow(const std::string& events) {
    hostKey = window;
    platform::NotificationCenter::defaultCenter().addObserver(
        &banners, kKvOnClickAdNotification, nullptr, [this](const platform::Notification&) {
          if (std::exchange(letGoOnClick, false)) play("clicked");
        });
    std::istringstream words(events);
    for (std::string word; words >> word;) {
      if (testkit::Explorer::isWait(word))
        advance(std::stod(word));
      else
        play(word);
      settle();
    }
    checkPlacements();
  }

 protected:
  struct Banner {
    std::weak_ptr<KvAdView> view;
    std::weak_ptr<KvAdViewController> placement;
    bool outSinceTap = false;
    bool letGo = false;
  };

  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(&banners);
    for (auto& hold : holds) hold->release();
    KvTest::TearDown();
  }

  void settle() {
    settleTraffic();
    runUntilIdle();
  }
  platform::Application& app() const { return platform::Application::sharedApplication(); }
  bool isHostWindow(const std::shared_ptr<platform::Window>& w) const { return w == window || (panel && w == panel); }

  // The window a finger at `p` lands in: the topmost one shown there.
  std::shared_ptr<platform::Window> windowAt(const platform::Point& p) const {
    auto all = app().windows();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
      if (!(*it)->isHidden() && platform::rectContainsPoint((*it)->frame(), p)) return *it;
    return nullptr;
  }
  // The top client window, if one is shown.
  std::shared_ptr<platform::Window> clientWindow() const {
    auto all = app().windows();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
      if (!(*it)->isHidden() && !isHostWindow(*it)) return *it;
    return nullptr;
  }
  static platform::Point backPoint(const platform::Window& w) { return {40, w.frame().size.height - 18}; }
  static bool backInReach(platform::Window& w) {
    return std::dynamic_pointer_cast<platform::Button>(w.hitTestWithEvent(backPoint(w), nullptr)) != nullptr;
  }

  // A finger on the banner's strip (the main window's, or the panel's when the host's last
  // banner is there), or on the middle of a full-screen ad: where it lands on an ad's page it
  // lands on the ad's link (or its skip link).
  void tap(const char* element) {
    if (app().applicationState() != platform::ApplicationState::Active) return;
    auto client = clientWindow();
    const Banner* last = lastBanner();
    const bool inPanel = last && panel && last->view.lock()->superview() == panel;
    const platform::Point p = client    ? platform::Point{client->frame().size.width / 2, client->frame().size.height / 2}
                              : inPanel ? platform::Point{160, panel->frame().origin.y + 25}
                                        : platform::Point{160, 25};
    auto w = client ? client : windowAt(p);
    if (!w) return;
    std::shared_ptr<KvPageView> page;
    for (auto v = w->tapAtPoint({p.x - w->frame().origin.x, p.y - w->frame().origin.y}); v && !page; v = v->superview())
      page = std::dynamic_pointer_cast<KvPageView>(v);
    if (!page) return;
    const std::string href =
        page->kvWebView()->stringByEvaluatingJavaScriptFromString(std::string("(document.getElementById('") + element +
                                                                  "') || {}).href || ''");
    if (href.empty()) return;
    if (element == std::string("ad")) {
      // The ad tapped is the one whose page is up: its session is the one its link names.
      const auto at = href.rfind("ad=");
      tappedSessions.push_back(at == std::string::npos ? "" : "s" + href.substr(at + 3));
      for (auto& b : banners)
        if (b.view.lock() == page && (page->superview() == root || page->superview() == panel)) b.outSinceTap = false;
    }
    page->kvWebView()->tapLinkWithElementIdForTesting(element);
  }
  // The user's finger on the browser's Back button.
  void back() {
    auto w = clientWindow();
    if (app().applicationState() != platform::ApplicationState::Active) return;
    if (w && backInReach(*w)) w->tapAtPoint(backPoint(*w));
  }
  void place(int type) {
    if (app().applicationState() != platform::ApplicationState::Active) return;
    KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", type, type == kKelvaneAdTypeFullScreen ? nullptr : root,
                                                   kPeriod);
    if (type == kKelvaneAdTypeFullScreen) return;
    auto placement = KvAdViewController::livePlacementsForTesting().back();
    banners.push_back({std::dynamic_pointer_cast<KvAdView>(placement->view()), placement});
    hostRootViews = root->subviews();
  }
  // The host's last banner it still holds.
  Banner* lastBanner() {
    for (auto it = banners.rbegin(); it != banners.rend(); ++it)
      if (!it->letGo && !it->view.expired()) return &*it;
    return nullptr;
  }
  void hold(NextPage how) {
    holds.push_back(std::make_shared<testkit::AnswerHold>());
    server.scriptNextPage(how, holds.back());
  }

  void play(const std::string& word) {
    auto& a = app();
    const auto state = a.applicationState();
    if (word == "banner") place(kKelvaneAdTypeBanner);
    if (word == "text") place(kKelvaneAdTypeText);
    // A pad from the start: the client's windows and the ads are a pad's.
    if (word == "pad" && server.adRequests().empty()) {
      platform::Device::currentDevice().setModel("iPad");
      platform::Device::currentDevice().setUserInterfaceIdiom(platform::UserInterfaceIdiom::Pad);
      platform::Screen::mainScreen().setApplicationFrame(platform::Rect(0, 20, 768, 1004));
    }
    // The user turns the device, and the application's status bar turns with it.
    if (word == "turn") {
      const bool portrait = a.statusBarOrientation() == 1;
      platform::Device::currentDevice().setOrientation(portrait ? platform::DeviceOrientation::LandscapeLeft
                                                                : platform::DeviceOrientation::Portrait);
      a.setStatusBarOrientation(portrait ? 4 : 1);
    }
    // The host takes its screen off the window, as one built or moved off it, and puts it back.
    if (word == "offwindow" && root->superview()) root->removeFromSuperview();
    if (word == "onwindow" && !root->superview()) window->addSubview(root);
    // The host lets go of its banner from inside the next click it hears.
    if (word == "letgoonclick") letGoOnClick = true;
    if (word == "full") place(kKelvaneAdTypeFullScreen);
    if (word == "tap") tap("ad");
    if (word == "skip") tap("skip");
    if (word == "back") back();
    if (word == "held") hold(NextPage::Held);
    if (word == "slowscript") hold(NextPage::SlowScript);
    if (word == "stall") {
      stalls.push_back(std::make_shared<testkit::AnswerHold>());
      server.scriptNextPage(NextPage::Held, stalls.back());
    }
    if (word == "fail") server.scriptNextPage(NextPage::Failed);
    if (word == "release")
      for (auto& h : holds) h->release();
    if (word == "resign" && state == platform::ApplicationState::Active) a.resignActive();
    if (word == "active" && state == platform::ApplicationState::Inactive) a.becomeActive();
    if (word == "background" && state != platform::ApplicationState::Background) a.enterBackground();
    if (word == "foreground" && state == platform::ApplicationState::Background) a.enterForeground();
    // The host's own windows: a small panel made key over its main window, and back.
    if (word == "panel" && !clientWindow()) {
      if (!panel) panel = platform::Window::create(platform::Rect(0, 400, 320, 80));
      panel->makeKeyAndVisible();
      hostKey = panel;
    }
    if (word == "main" && panel && !clientWindow()) {
      panel->setHidden(true);
      window->makeKeyWindow();
      hostKey = window;
    }
    Banner* b = lastBanner();
    if (!b) return;
    auto v = b->view.lock();
    if (word == "out" && v->superview()) {
      v->removeFromSuperview();
      kept.push_back(v);
      b->outSinceTap = true;
      hostRootViews = root->subviews();
      std::erase(hostPanelViews, v);
    }
    if (word == "putback" && (!v->superview() || v->superview() == panel)) {
      root->addSubview(v);
      hostRootViews = root->subviews();
      if (panel) hostPanelViews = panel->subviews();
    }
    // The host moves its banner into its panel, another window, at the panel's top.
    if (word == "inpanel" && panel && !panel->isHidden() && v->superview() != panel) {
      panel->addSubview(v);
      v->setFrame(platform::Rect(0, 0, 320, 50));
      hostRootViews = root->subviews();
      hostPanelViews = panel->subviews();
    }
    if (word == "letgo" || word == "clicked") {
      v->removeFromSuperview();
      std::erase(kept, v);
      b->letGo = true;
      hostRootViews = root->subviews();
      std::erase(hostPanelViews, v);
    }
  }

  size_t count(const char* name) const {
    const auto heard = names();
    return static_cast<size_t>(std::count(heard.begin(), heard.end(), std::string(name)));
  }
  size_t bannerRequests() const {
    return server.requestsTo(testkit::KelvaneServer::kBannerPath).size() +
           server.requestsTo(testkit::KelvaneServer::kTextPath).size();
  }

  void checkPlacements() {
    // Every answer the row held comes; an answer that stalls for good is waited out. A
    // full-screen ad whose answer stalls stays blank until its deadline closes it: that is
    // its way out, so the check comes after the deadline, not before.
    for (auto& h : holds) h->release();
    if (app().applicationState() == platform::ApplicationState::Background) app().enterForeground();
    if (app().applicationState() == platform::ApplicationState::Inactive) app().becomeActive();
    settle();
    advance(kDeadline + 1);
    settle();
    // 1. Whatever the client put up closes by the user's finger: Back, or a full-screen ad's skip.
    // Each turn closes one window or fails.
    while (auto w = clientWindow()) {
      EXPECT_EQ(app().keyWindow(), w) << "the client's window is up but not key";
      if (backInReach(*w))
        back();
      else
        tap("skip");
      settle();
      if (clientWindow() == w) {
        ADD_FAILURE() << "a client window nobody can close";
        return;
      }
    }
    // 2. The host's windows and root view are as it left them.
    EXPECT_EQ(app().keyWindow(), hostKey.lock()) << "the host's key window was not given back";
    if (panel) {
      EXPECT_EQ(panel->isHidden(), hostKey.lock() != panel) << "the host's panel is not as it left it";
      EXPECT_EQ(panel->subviews(), hostPanelViews) << "the host's panel does not hold what it put there";
    }
    EXPECT_EQ(root->subviews(), hostRootViews);
    // 3. Each tap on an ad was heard once and reported once, for the ad tapped.
    EXPECT_EQ(count(kKvOnClickAdNotification), tappedSessions.size());
    std::vector<std::string> reported;
    for (const auto& r : server.clickReports()) reported.push_back(r.queryItem("s").value_or(""));
    std::vector<std::string> tapped = tappedSessions;
    std::sort(reported.begin(), reported.end());
    std::sort(tapped.begin(), tapped.end());
    EXPECT_EQ(reported, tapped) << "the click reports name other ads than those tapped";
    // 4. Each answer is told at most once.
    EXPECT_LE(notes.size() - count(kKvOnClickAdNotification), server.adRequests().size());
    // 5. Each banner on screen in the key window asks for its next ad within one period
    // (counted from the deadline of an answer that stalls). A banner taken out may have ended
    // its cycle there; put back, it reloads only once tapped again.
    size_t reloading = 0;
    // Banners lie in one strip of each window: the last one covers the rest.
    for (const auto& strip : {std::static_pointer_cast<platform::View>(root), std::static_pointer_cast<platform::View>(panel)}) {
      if (!strip) continue;
      std::shared_ptr<platform::View> top;
      for (const auto& v : strip->subviews())
        if (std::dynamic_pointer_cast<KvAdView>(v)) top = v;
      for (const auto& b : banners)
        if (top && b.view.lock() == top && strip->window() == app().keyWindow() && !b.outSinceTap) ++reloading;
    }
    const size_t before = bannerRequests();
    advance(kPeriod + 1 + (stalls.empty() ? 0 : kDeadline));
    settle();
    EXPECT_GE(bannerRequests() - before, reloading) << "a banner on screen asked for no ad within its period";
    // 6. What the host let go is gone with its placement once the cycle is over.
    for (const auto& b : banners) {
      if (!b.letGo) continue;
      EXPECT_TRUE(b.view.expired()) << "a banner outlived the host's hold";
      EXPECT_TRUE(b.placement.expired()) << "a placement outlived its banner";
    }
    for (const auto& p : KvAdViewController::livePlacementsForTesting()) {
      EXPECT_TRUE(std::any_of(banners.begin(), banners.end(),
                              [&](const Banner& b) { return !b.letGo && b.placement.lock() == p; }))
          << "a placement outlived its ad";
    }
  }

  std::vector<Banner> banners;
  bool letGoOnClick = false;
  std::vector<std::shared_ptr<KvAdView>> kept;
  std::vector<std::shared_ptr<platform::View>> hostRootViews, hostPanelViews;
  std::vector<std::shared_ptr<testkit::AnswerHold>> holds;   // released by the settle
  std::vector<std::shared_ptr<testkit::AnswerHold>> stalls;  // never answered
  std::vector<std::string> tappedSessions;
  std::shared_ptr<platform::Window> panel;
  std::weak_ptr<platform::Window> hostKey;  // the host's window it last made key
};

const char* const kRows[] = {
    "banner tap back",
    "banner out 30 putback tap back",
    "banner held 30 out release putback tap back",
    "banner held 30 tap release back",
    "banner tap out 1 back putback tap back",
    "banner tap letgo 1 back",
    "banner letgo 30",
    "banner tap resign active back",
    "banner tap 31 back 30",
    "banner background 30 foreground",
    "banner tap full skip back",
    "full tap back",
    "fail full",
    "full skip",
    "full tap resign active back",
    "full stall",
    "slowscript banner tap back",
    "slowscript full tap back",
    "banner panel tap back main tap back",
    "banner out 30 putback tap letgo back",
    "stall full full",
    "banner tap out 1 back putback letgoonclick tap",
};

class KvEventOrderRow : public KvEventOrderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(KvEventOrderRow, KeepsThePlacementWhole) { playRow(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Placement, KvEventOrderRow, ::testing::ValuesIn(kRows));

TEST(KVExplorer, ExploresOrders) {
  testkit::ExplorerVocabulary vocabulary;
  vocabulary.words.assign(std::begin(kWords), std::end(kWords));
  vocabulary.waitWeight = 4;
  // About 15 s of one core in the default build (17 ms a sequence).
  vocabulary.suiteRuns = 800;
  testkit::Explorer("Kelvane", vocabulary, testkit::freshFixture<KvEventOrderTest>()).run();
}

}  // namespace
}  // namespace kelvane
