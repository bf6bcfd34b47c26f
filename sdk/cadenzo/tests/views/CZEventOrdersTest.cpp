// Orders of events around a shown Cadenzo interstitial: its exit, a click through the URL
// opener or the store sheet, the host's own presentations, the application's life cycle and
// the host letting go of its delegate. Each row is one order; one helper checks after every
// row that whatever the client put up can be closed, the slot loads and shows again, the
// delegate heard each end once, each tap reached one destination, and nothing outlived its
// screen. Real pages, the client's own controller and the Cadenzo sandbox server.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "CZDefaultViewController.h"
#include "CZWebView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/application.h"
#include "platform/composers.h"
#include "platform/notification_center.h"
#include "platform/url.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "../session/CZSessionTest.h"

namespace {

using cztest::Timeline;

enum class Step {
  Show,          // "A" cached, then shown
  ShowNext,      // "B" cached, then shown
  ShowStore,     // "S" (an answer with a store item) cached, then shown
  ShowF,         // the host shows "F" without caching it first
  ShowMore,      // the host shows the more-apps list without caching it first
  CacheHeld,     // the host caches "A"; the answer waits for Release
  MoreHeld,      // the host shows the more-apps list with the loading overlay; the answer waits
  TapClose,      // the user taps the page's close
  TapBuy,        // the user taps the page's link
  HoldClick,     // the next "click" answer waits for Release
  Release,       // held answers go out and are taken in
  Exit,          // a second passes: transitions end
  CutShort,      // every animation on the window's views is removed, as the system does
  Background,    // the user leaves the application
  Foreground,    // and comes back
  HostPresents,  // the host presents its own screen from its root controller
  HostDismisses,
  HostStartsPresenting,  // the same, its transition still running
  SheetLoads,    // the store sheet's product has loaded
  SheetDone,     // the user closes the store sheet
  ForceDismiss,  // the host posts the force-dismiss notification
  DropDelegate,  // the host lets go of its delegate
};

struct Row {
  const char* name;
  std::vector<Step> steps;
  size_t destinations;  // taps that must reach the browser or the store
};

class CZEventOrdersTest : public cztest::CZSessionTest {
 protected:
  void SetUp() override {
    CZSessionTest::SetUp();
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    root = std::make_shared<platform::ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    controller = cadenzo::CZDefaultViewController::sharedController();
    for (const char* location : {"A", "B", "S", "F", "Next"}) server->setInterstitial(location, answer(location == std::string("S")));
    server->setMoreApps(answer(false));
  }

  std::string answer(bool storeItem) {
    const std::string target = server->url("/target");
    const std::string escaped = platform::escapeQueryComponent(target);
    return "{\"status\":200,\"type\":\"html\",\"link\":\"" + target + "\"" +
           (storeItem ? ",\"itunes_id\":\"42\"" : "") +
           ",\"html\":\"<html><body><a id='close' href='cadenzo://close'>Close</a>"
           "<a id='buy' href='cadenzo://link/" + escaped + "'>Buy</a></body></html>\"}";
  }

  void show(const std::string& location) {
    facade->cacheInterstitial(location);
    settleTraffic();
    facade->showInterstitial(location);
  }
  // Notes the ad on screen, if it is new.
  void noteShown() {
    auto shown = facade->visibleImpression();
    if (!shown || std::any_of(made.begin(), made.end(), [&](const auto& m) { return m.lock() == shown; })) return;
    made.push_back(shown);
    views.push_back(std::dynamic_pointer_cast<platform::View>(shown->view()));
  }
  std::shared_ptr<cadenzo::CZWebView> shownPage() {
    auto shown = facade->visibleImpression();
    return shown ? std::dynamic_pointer_cast<cadenzo::CZWebView>(shown->view()) : nullptr;
  }
  void tap(const char* id) {
    if (auto page = shownPage()) page->tapLinkWithElementIdForTesting(id);
    runUntilIdle();
  }

  // The next call of `action` is answered `json` once Release comes.
  void holdNext(const std::string& action, const std::string& json) {
    testkit::ScriptedAnswer held = testkit::ScriptedAnswer::json(json);
    held.hold = hold;
    server->scriptNext(action, held);
  }

  void run(Step step) {
    auto& app = platform::Application::sharedApplication();
    switch (step) {
      case Step::Show: show("A"); break;
      case Step::ShowNext: show("B"); break;
      case Step::ShowStore: show("S"); break;
      case Step::ShowF: facade->showInterstitial("F"); settleTraffic(); break;
      case Step::ShowMore: facade->showMoreApps(); settleTraffic(); break;
      case Step::CacheHeld: holdNext("get", answer(false)); facade->cacheInterstitial("A"); settleTraffic(); break;
      case Step::MoreHeld:
        delegate->answers["shouldDisplayLoadingViewForMoreApps"] = true;
        holdNext("more", answer(false));
        facade->showMoreApps();
        settleTraffic();
        break;
      case Step::TapClose: tap("close"); break;
      case Step::TapBuy: tap("buy"); settleTraffic(); break;
      case Step::HoldClick: holdNext("click", "{\"status\":200}"); break;
      case Step::Release: hold->release(); settleTraffic(); break;
      case Step::Exit: advance(1); break;
      case Step::CutShort:
        for (const auto& view : window->subviews()) view->layer()->removeAllAnimations();
        runUntilIdle();
        break;
      case Step::Background: app.enterBackground(); runUntilIdle(); break;
      case Step::Foreground: app.enterForeground(); runUntilIdle(); break;
      case Step::HostPresents: root->presentModalViewControllerAnimated(hostScreen, true); advance(1); break;
      case Step::HostStartsPresenting: root->presentModalViewControllerAnimated(hostScreen, true); break;
      case Step::HostDismisses: hostScreen->dismissModalViewControllerAnimated(true); advance(1); break;
      case Step::SheetLoads:
        if (auto sheet = facade->storeSheetForTesting()) {
          sheet->completeLoad(true);
          if (sheet->presentingViewController()) ++sheetsShown;
        }
        advance(1);
        break;
      case Step::SheetDone:
        if (auto sheet = facade->storeSheetForTesting()) sheet->finish();
        advance(1);
        break;
      case Step::ForceDismiss:
        platform::NotificationCenter::defaultCenter().postNotificationName(cadenzo::Cadenzo::kForceDismissViewNotification);
        runUntilIdle();
        break;
      case Step::DropDelegate:
        heardBeforeDrop = timeline.size();
        delegate.reset();
        break;
    }
  }

  // The six invariants, once the row's events have played out.
  void checkInvariants(const Row& row) {
    SCOPED_TRACE(row.name);
    hold->release();
    settleTraffic();
    advance(2);
    // 2. Every ad the server gave was shown, or waits in the cache, or was reported failed.
    const size_t failed = std::count_if(timeline.begin(), timeline.end(),
                                        [](const std::string& t) { return t.rfind("didFailToLoad", 0) == 0; });
    size_t cached = facade->cachedMoreAppsForTesting() ? 1 : 0;
    for (const char* location : {"A", "B", "S", "F"}) cached += facade->hasCachedInterstitial(location) ? 1 : 0;
    EXPECT_EQ(server->callsTo("get").size() + server->callsTo("more").size(), made.size() + cached + failed)
        << "an ad was lost";
    // 4. Each tap reached its destination once, and was counted once.
    const auto& opened = platform::Application::sharedApplication().openedURLs();
    EXPECT_EQ(opened.size() + sheetsShown, row.destinations);
    EXPECT_EQ(server->callsTo("click").size(), row.destinations);
    // 1. Whatever is up can be closed; once closed the window is as the host left it.
    if (auto sheet = facade->storeSheetForTesting(); sheet && sheet->presentingViewController()) run(Step::SheetDone);
    if (facade->visibleImpression()) {
      ASSERT_TRUE(shownPage());
      tap("close");
    }
    advance(1);
    EXPECT_FALSE(controller->loadingViewIsVisible());
    EXPECT_FALSE(facade->visibleImpression());
    for (const auto& view : window->subviews()) {
      const bool host = view == root->view() || (root->presentedViewController() == hostScreen && view == hostScreen->view());
      EXPECT_TRUE(host || view->isHidden()) << "a client view is left on the window";
    }
    EXPECT_TRUE(!root->presentedViewController() || root->presentedViewController() == hostScreen);
    auto& app = platform::Application::sharedApplication();
    EXPECT_EQ(app.isStatusBarHidden(), statusBarHidden);
    EXPECT_EQ(app.isIdleTimerDisabled(), idleTimerDisabled);
    // 3. Each end is told once, as a pair, and nothing after the host let go.
    if (!delegate) {
      EXPECT_EQ(timeline.size(), heardBeforeDrop);
    }
    for (size_t i = 0; i < timeline.size(); ++i) {
      if (timeline[i].rfind("didDismissInterstitial:", 0) != 0) continue;
      const std::string location = timeline[i].substr(timeline[i].find(':') + 1);
      ASSERT_LT(i + 1, timeline.size());
      EXPECT_TRUE(timeline[i + 1] == "didCloseInterstitial:" + location ||
                  timeline[i + 1] == "didClickInterstitial:" + location);
    }
    // 6. Nothing loaded was reported failed.
    EXPECT_EQ(std::count_if(timeline.begin(), timeline.end(),
                            [](const std::string& t) { return t.rfind("didFailToLoad", 0) == 0; }), 0);
    // 2. The slot comes back: the next ad caches, shows and closes.
    show("Next");
    noteShown();
    ASSERT_TRUE(facade->visibleImpression()) << "the slot does not show again";
    tap("close");
    advance(1);
    EXPECT_FALSE(facade->visibleImpression());
    // 5. Every ad and its page are released.
    runUntilIdle();
    for (const auto& impression : made) EXPECT_TRUE(impression.expired()) << "an ad outlived its screen";
    for (const auto& view : views) EXPECT_TRUE(view.expired()) << "a page outlived its screen";
  }

  void play(const Row& row) {
    statusBarHidden = platform::Application::sharedApplication().isStatusBarHidden();
    idleTimerDisabled = platform::Application::sharedApplication().isIdleTimerDisabled();
    facade->setDelegate(delegate);
    for (Step step : row.steps) {
      run(step);
      noteShown();
    }
    checkInvariants(row);
  }

  Timeline timeline;
  std::shared_ptr<cztest::RecordingCadenzoDelegate> delegate = std::make_shared<cztest::RecordingCadenzoDelegate>(timeline);
  std::shared_ptr<testkit::AnswerHold> hold = std::make_shared<testkit::AnswerHold>();
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root;
  std::shared_ptr<platform::ViewController> hostScreen = std::make_shared<platform::ViewController>();
  std::shared_ptr<cadenzo::CZDefaultViewController> controller;
  std::vector<std::weak_ptr<cadenzo::CZImpression>> made;
  std::vector<std::weak_ptr<platform::View>> views;
  size_t sheetsShown = 0;
  size_t heardBeforeDrop = 0;
  bool statusBarHidden = false;
  bool idleTimerDisabled = false;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

using S = Step;
const Row kRows[] = {
    {"close, the exit runs", {S::Show, S::TapClose, S::Exit}, 0},
    {"close during the entry", {S::Show, S::TapClose}, 0},
    {"close, background, the exit is cut short", {S::Show, S::TapClose, S::Background, S::CutShort, S::Foreground}, 0},
    {"next ad shown while the first leaves", {S::Show, S::TapClose, S::ShowNext, S::Exit}, 0},
    {"next ad shown after an exit cut short", {S::Show, S::TapClose, S::CutShort, S::ShowNext, S::Exit}, 0},
    {"click held, background, released", {S::Show, S::HoldClick, S::TapBuy, S::Background, S::Release, S::Foreground}, 1},
    {"click held, force-dismiss, released", {S::Show, S::HoldClick, S::TapBuy, S::ForceDismiss, S::Release}, 1},
    {"force-dismiss, then a tap while it leaves", {S::Show, S::ForceDismiss, S::TapBuy, S::Exit}, 0},
    {"delegate let go while shown", {S::Show, S::DropDelegate, S::TapClose, S::Exit}, 0},
    {"an ad loaded to show while another is on screen", {S::Show, S::ShowF, S::TapClose, S::Exit, S::ShowF}, 0},
    {"more apps while an interstitial is on screen", {S::Show, S::ShowMore, S::TapClose, S::Exit, S::ShowMore}, 0},
    {"an interstitial while more apps are on screen", {S::ShowMore, S::ShowF, S::TapClose, S::Exit, S::ShowF}, 0},
    {"cache answer held, shown meanwhile, then cached", {S::CacheHeld, S::Show, S::Release, S::TapClose, S::Exit}, 0},
    {"more apps held behind the overlay, background", {S::MoreHeld, S::Background, S::Release, S::Foreground, S::TapBuy}, 1},
    {"store sheet, closed", {S::ShowStore, S::TapBuy, S::SheetLoads, S::SheetDone}, 1},
    {"host presents before the sheet loads", {S::ShowStore, S::TapBuy, S::HostPresents, S::SheetLoads, S::SheetDone, S::HostDismisses}, 1},
    {"sheet loads while the host's screen comes up", {S::ShowStore, S::TapBuy, S::HostStartsPresenting, S::SheetLoads}, 1},
    {"store sheet held behind the click, background", {S::ShowStore, S::HoldClick, S::TapBuy, S::Background, S::Release, S::Foreground, S::SheetLoads}, 1},
};

class CZEventOrderRow : public CZEventOrdersTest, public ::testing::WithParamInterface<Row> {};

TEST_P(CZEventOrderRow, KeepsTheInvariants) { play(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Interstitial, CZEventOrderRow, ::testing::ValuesIn(kRows));

}  // namespace
