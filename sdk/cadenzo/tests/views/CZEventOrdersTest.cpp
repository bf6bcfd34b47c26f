// Orders of events around Cadenzo's interstitials and more-apps list: their entry and exit,
// clicks through the URL opener or the store sheet, the host's own screens and root
// controller, the application's life cycle and the host letting go of its delegate. A row is
// one line of words (a number is a wait in seconds); the explorer draws more such lines. One
// checker, knowing no row, checks after each that whatever the client put up can be closed by
// a finger, the slot shows again, the delegate heard each end once and the server each show
// once, each tap reached one destination, and nothing outlived its screen. Real pages, the
// client's own controller and the Cadenzo sandbox server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../session/CZSessionTest.h"
#include "CZDefaultViewController.h"
#include "CZWebView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/composers.h"
#include "platform/notification_center.h"
#include "platform/url.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "testing/explorer.h"

namespace {

using cztest::Timeline;

const char* const kLocations[] = {"A", "B", "S", "F", "Next"};
// The words of a row, and how often the explorer draws each.
const testkit::ExplorerWord kWords[] = {
    {"show", 2},          {"tapclose", 2},    {"tapbuy", 2},     {"release", 2},   {"shownext", 1},
    {"showstore", 1},     {"showf", 1},       {"showmore", 1},   {"cacheheld", 1}, {"moreheld", 1},
    {"tapout", 1},        {"leave", 1},       {"holdclick", 1},  {"failclick", 1}, {"silentclick", 1},
    {"cutshort", 1},      {"background", 1},  {"foreground", 1}, {"memory", 1},    {"hostpresents", 1},
    {"hostdismisses", 1}, {"hostroot", 1},    {"sheetloads", 1}, {"sheetdone", 1}, {"forcedismiss", 1},
    {"letgo", 1},         {"letgoinside", 1},
};
// The client gives the server this long before it takes a call as failed.
constexpr double kDeadline = 30;

// A delegate that may let itself go from inside its next dismissal message.
class LettingGoDelegate : public cztest::RecordingCadenzoDelegate {
 public:
  using cztest::RecordingCadenzoDelegate::RecordingCadenzoDelegate;
  void didDismissInterstitial(const std::string& l) override {
    cztest::RecordingCadenzoDelegate::didDismissInterstitial(l);
    letGoIfAsked();
  }
  void didDismissMoreApps() override {
    cztest::RecordingCadenzoDelegate::didDismissMoreApps();
    letGoIfAsked();
  }
  std::function<void()> onDismiss;

 private:
  void letGoIfAsked() {
    if (auto letGo = std::exchange(onDismiss, {})) letGo();
  }
};

class CZEventOrdersTest : public cztest::CZSessionTest {
 protected:
  void SetUp() override {
    CZSessionTest::SetUp();
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    roots.push_back(std::make_shared<platform::ViewController>());
    window->setRootViewController(roots.back());
    window->makeKeyAndVisible();
    controller = cadenzo::CZDefaultViewController::sharedController();
    for (const char* location : kLocations)
      server->setInterstitial(location, answer(location, location == std::string("S")));
    server->setMoreApps(answer("More", false));
    // A browser or the store is another application.
    platform::Application::sharedApplication().setOpenURLLeavesApplication(true);
  }

  // An HTML ad whose "ad_id" names the call that fetched it ("A-3": the third "get").
  std::string answer(const std::string& name, bool storeItem) {
    const std::string target = server->url("/target");
    const std::string escaped = platform::escapeQueryComponent(target);
    return "{\"status\":200,\"type\":\"html\",\"ad_id\":\"" + name + "-" + testkit::CadenzoServer::kCallNumberMark +
           "\",\"link\":\"" + target + "\"" + (storeItem ? ",\"itunes_id\":\"42\"" : "") +
           ",\"html\":\"<html><body><a id='close' href='cadenzo://close'>Close</a>"
           "<a id='buy' href='cadenzo://link/" +
           escaped +
           "'>Buy</a>"
           "<a id='out' href='" +
           target + "'>More</a></body></html>\"}";
  }

  void show(const std::string& location) {
    facade->cacheInterstitial(location);
    settleTraffic();
    facade->showInterstitial(location);
    runUntilIdle();
  }
  // Notes the ad on screen, if it is new.
  void noteShown() {
    auto shown = facade->visibleImpression();
    if (!shown || std::any_of(made.begin(), made.end(), [&](const Shown& m) { return m.impression.lock() == shown; }))
      return;
    const platform::Value& adId = shown->responseContext().get("ad_id");
    made.push_back({shown, std::dynamic_pointer_cast<platform::View>(shown->view()),
                    adId.isString() ? std::string(adId.string()) : std::string(),
                    shown->type() == cadenzo::CZImpressionTypeInterstitial});
  }
  void noteSheet() {
    for (const auto& sheet : facade->storeSheetsForTesting()) {
      if (!sheet->presentingViewController() ||
          std::any_of(sheetsShown.begin(), sheetsShown.end(), [&](const auto& seen) { return seen.lock() == sheet; }))
        continue;
      sheetsShown.push_back(sheet);
    }
  }

  // A finger on the middle of the screen, where every ad lies. Where it lands on an ad's page,
  // it lands on the page's `element`; anywhere else (the host's screen, the overlay) the ad
  // sees nothing. Returns whether it reached a page.
  bool tap(const char* element) {
    auto& app = platform::Application::sharedApplication();
    if (app.applicationState() == platform::ApplicationState::Background) return false;
    const platform::Rect frame = window->frame();
    auto hit = window->tapAtPoint({frame.size.width / 2, frame.size.height / 2});
    std::shared_ptr<cadenzo::CZWebView> page;
    for (auto view = hit; view && !page; view = view->superview())
      page = std::dynamic_pointer_cast<cadenzo::CZWebView>(view);
    if (!page) {
      runUntilIdle();
      return false;
    }
    auto shown = facade->visibleImpression();
    const bool onScreen = shown && shown->view() == page && shown->state() == cadenzo::CZImpressionStateShown;
    if (onScreen && element != std::string("close")) {
      clicks.push_back({scripted.empty() ? Scripted{} : scripted.front(), now()});
      if (!scripted.empty()) scripted.erase(scripted.begin());
    }
    if (!onScreen) ++tapsWhileLeaving;
    page->tapLinkWithElementIdForTesting(element);
    runUntilIdle();
    return true;
  }

  // The next call of `action` is answered `json` once Release comes. Returns the hold's number.
  size_t holdNext(const std::string& action, const std::string& json) {
    testkit::ScriptedAnswer held = testkit::ScriptedAnswer::json(json);
    held.hold = holds.emplace_back(std::make_shared<testkit::AnswerHold>());
    server->scriptNext(action, held);
    return holdsMade++;
  }
  void noteHost() { hostUp = hostScreen->presentingViewController() && !hostScreen->isBeingDismissed(); }

  void play(const std::string& word) {
    if (std::none_of(std::begin(kWords), std::end(kWords), [&](const auto& known) { return known.word == word; })) {
      ADD_FAILURE() << "no such word: " << word;
      return;
    }
    auto& app = platform::Application::sharedApplication();
    const auto state = app.applicationState();
    const auto sheet = facade->storeSheetForTesting();
    if (word == "show")
      show("A");
    else if (word == "shownext")
      show("B");
    else if (word == "showstore")
      show("S");
    else if (word == "showf")
      facade->showInterstitial("F"), settleTraffic();
    else if (word == "showmore")
      facade->showMoreApps(), settleTraffic();
    else if (word == "cacheheld") {
      heldAds.push_back({now(), holdNext("get", answer("A", false))});
      facade->cacheInterstitial("A");
      settleTraffic();
    } else if (word == "moreheld") {
      if (delegate) delegate->answers["shouldDisplayLoadingViewForMoreApps"] = true;
      heldAds.push_back({now(), holdNext("more", answer("More", false))});
      facade->showMoreApps();
      settleTraffic();
    } else if (word == "tapclose")
      tap("close"), settleTraffic();
    else if (word == "tapbuy")
      tap("buy"), settleTraffic();
    else if (word == "tapout")
      tap("out"), settleTraffic();
    else if (word == "leave") {
      if (auto shown = facade->visibleImpression())
        if (auto page = std::dynamic_pointer_cast<cadenzo::CZWebView>(shown->view()))
          page->stringByEvaluatingJavaScriptFromString("location.href = '" + server->url("/elsewhere") + "';");
      runUntilIdle();
    } else if (word == "holdclick")
      scripted.push_back({Answer::Held, holdNext("click", "{\"status\":200}")});
    else if (word == "failclick") {
      server->scriptNext("click", testkit::ScriptedAnswer::json("{\"status\":500}", 500));
      scripted.push_back({Answer::Failed, 0});
    } else if (word == "silentclick")
      server->scriptNext("click", cztest::silence()), scripted.push_back({Answer::None, 0});
    else if (word == "release")
      release();
    else if (word == "cutshort") {
      for (const auto& view : window->subviews()) view->layer()->removeAllAnimations();
      runUntilIdle();
    } else if (word == "background" && state != platform::ApplicationState::Background)
      app.enterBackground(), runUntilIdle();
    else if (word == "foreground" && state == platform::ApplicationState::Background)
      app.enterForeground(), runUntilIdle();
    else if (word == "memory")
      app.receiveMemoryWarning(), runUntilIdle();
    else if (word == "hostpresents")
      roots.back()->presentModalViewControllerAnimated(hostScreen, true), noteHost(), runUntilIdle();
    else if (word == "hostdismisses")
      hostScreen->dismissModalViewControllerAnimated(true), noteHost(), runUntilIdle();
    else if (word == "hostroot") {
      roots.push_back(std::make_shared<platform::ViewController>());
      window->setRootViewController(roots.back());
      runUntilIdle();
    } else if (word == "sheetloads" && sheet)
      sheet->completeLoad(true), runUntilIdle();
    else if (word == "sheetdone" && sheet && sheet->presentingViewController())
      sheet->finish(), runUntilIdle();
    else if (word == "forcedismiss") {
      platform::NotificationCenter::defaultCenter().postNotificationName(
          cadenzo::Cadenzo::kForceDismissViewNotification);
      runUntilIdle();
    } else if (word == "letgo")
      letGo();
    else if (word == "letgoinside" && delegate)
      delegate->onDismiss = [this] { letGo(); };
    noteShown();
    noteSheet();
    noteCached();
    if (hostScreen->presentingViewController() == nullptr) hostUp = false;
  }
  struct Held {
    double sent;
    size_t hold;
  };
  static double now() { return platform::Clock::current().monotonic(); }
  void release() {
    for (const auto& held : std::exchange(holds, {})) held->release();
    releases.push_back({now(), holdsMade});
    settleTraffic();
  }
  // Whether an answer held from `sent` may have come only after the client's deadline for
  // it (`surely`: not at the very instant of the deadline, where either may come first).
  bool answeredLate(const Held& held, bool surely = false) const {
    auto answered =
        std::find_if(releases.begin(), releases.end(), [&](const Release& r) { return r.holdsBefore > held.hold; });
    const double waited = answered == releases.end() ? kDeadline * 2 : answered->at - held.sent;
    return surely ? waited > kDeadline + 1e-6 : waited > kDeadline - 1e-6;
  }
  void letGo() {
    if (!delegate) return;
    heardBeforeLetGo = timeline.size();
    delegate.reset();
  }

  // What the host heard: each dismissal followed by exactly one close or click of the same
  // ad, none of those on their own, nothing after it let go; one dismissal per ad that came
  // on screen and per tap that reached an ad while it left.
  void checkPairs() {
    const size_t heard = delegate ? timeline.size() : heardBeforeLetGo;
    EXPECT_EQ(timeline.size(), heard) << "a message after the host let go of its delegate";
    size_t dismissals = 0;
    for (size_t i = 0; i < heard; ++i) {
      const std::string& said = timeline[i];
      const bool more = said == "didDismissMoreApps";
      const bool interstitial = said.rfind("didDismissInterstitial:", 0) == 0;
      const std::string what =
          more ? "MoreApps" : "Interstitial:" + (interstitial ? said.substr(said.find(':') + 1) : "");
      if (more || interstitial) {
        ++dismissals;
        if (i + 1 == heard && !delegate) continue;  // it let go inside the dismissal
        ASSERT_LT(i + 1, heard) << "a dismissal with no close or click: " << said;
        EXPECT_TRUE(timeline[i + 1] == "didClose" + what || timeline[i + 1] == "didClick" + what)
            << said << " is followed by " << timeline[i + 1];
        ++i;
      } else {
        EXPECT_TRUE(said.rfind("didClose", 0) != 0 && said.rfind("didClick", 0) != 0) << said << " without a dismissal";
      }
    }
    // A second close or click that reaches an ad while it leaves is the user's act too: the
    // host hears its dismissal and its close or click again.
    if (delegate) {
      EXPECT_EQ(dismissals, made.size() + tapsWhileLeaving) << "an ad's end told other than once";
    }
  }

  // Each interstitial that came on screen from the cache is counted once; one fetched to be
  // shown was counted by its fetch.
  void checkShowsCounted() {
    std::vector<std::string> expected, counted;
    const auto gets = server->callsTo("get");
    for (const auto& shown : made) {
      if (!shown.interstitial) continue;
      const size_t call = std::stoul(shown.adId.substr(shown.adId.find('-') + 1));
      ASSERT_LE(call, gets.size());
      if (gets[call - 1].body["cache"] == platform::Value("1")) expected.push_back(shown.adId);
    }
    for (const auto& call : server->callsTo("show")) counted.push_back(std::string(call.body["ad_id"].string()));
    std::sort(expected.begin(), expected.end());
    std::sort(counted.begin(), counted.end());
    EXPECT_EQ(counted, expected) << "the shows counted differ from the ads that came on screen";
  }

  // Each tap on the link of the ad on screen is one click for the server and, once answered,
  // one destination: a browser or the store. The click is counted before the ad is left, so
  // a failed or unanswered "click" forwards nothing.
  void checkTaps() {
    EXPECT_EQ(server->callsTo("click").size(), clicks.size())
        << "clicks counted differ from the taps on the ad's links";
    const size_t surely = std::count_if(clicks.begin(), clicks.end(), [&](const Click& click) {
      return click.answer.kind == Answer::Given ||
             (click.answer.kind == Answer::Held && !answeredLate({click.sent, click.answer.hold}));
    });
    const size_t maybe = std::count_if(clicks.begin(), clicks.end(), [&](const Click& click) {
      return click.answer.kind == Answer::Given ||
             (click.answer.kind == Answer::Held && !answeredLate({click.sent, click.answer.hold}, true));
    });
    const size_t opened = platform::Application::sharedApplication().openedURLs().size();
    const size_t reached = opened + sheetsShown.size();
    EXPECT_TRUE(reached >= surely && reached <= maybe)
        << "a click reached " << opened << " addresses and " << sheetsShown.size() << " store sheets, not " << surely;
  }

  static std::string adIdOf(const std::shared_ptr<cadenzo::CZImpression>& impression) {
    const platform::Value* id = impression ? impression->responseContext().find("ad_id") : nullptr;
    return id && id->isString() ? std::string(id->string()) : std::string();
  }
  // Notes the ads waiting in the cache, and how many calls of their action had gone out then.
  void noteCached() {
    auto note = [&](const std::shared_ptr<cadenzo::CZImpression>& impression, const char* action) {
      const std::string id = adIdOf(impression);
      if (!id.empty()) seenCached[id] = server->callsTo(action).size();
    };
    for (const char* location : kLocations) note(facade->cachedInterstitialForTesting(location), "get");
    note(facade->cachedMoreAppsForTesting(), "more");
  }
  size_t adsUnaccounted() const {
    size_t unaccounted = 0;
    for (const char* action : {"get", "more"}) {
      const auto calls = server->callsTo(action);
      for (size_t i = 0; i < calls.size(); ++i) {
        const std::string name = calls[i].action == "more" ? "More" : std::string(calls[i].body["location"].string());
        const std::string id = name + "-" + std::to_string(i + 1);
        const bool shown = std::any_of(made.begin(), made.end(), [&](const Shown& m) { return m.adId == id; });
        // The cache keeps one ad per place: one that came for a place already holding another
        // ad, or that a later one for the place replaced there (shown or waiting since), gave
        // its place.
        const bool gaveWay =
            std::any_of(seenCached.begin(), seenCached.end(),
                        [&](const auto& seen) {
                          return seen.first != id && seen.first.rfind(name + "-", 0) == 0 && seen.second > i;
                        }) ||
            std::any_of(made.begin(), made.end(), [&](const Shown& m) {
              return m.adId.rfind(name + "-", 0) == 0 && std::stoul(m.adId.substr(name.size() + 1)) > i + 1;
            });
        bool cached = adIdOf(facade->cachedMoreAppsForTesting()) == id;
        for (const char* location : kLocations)
          cached = cached || adIdOf(facade->cachedInterstitialForTesting(location)) == id;
        if (!shown && !gaveWay && !cached) ++unaccounted;
      }
    }
    return unaccounted;
  }

  // A finger closes whatever the client has up; it has no other way.
  void closeWhatIsUp() {
    for (auto sheets = facade->storeSheetsForTesting().size(); sheets > 0; --sheets) {
      if (auto sheet = facade->storeSheetForTesting(); sheet && sheet->presentingViewController()) sheet->finish();
      advance(1);
    }
    if (facade->visibleImpression()) {
      const size_t leaving = tapsWhileLeaving;
      EXPECT_TRUE(tap("close")) << "the ad on screen cannot be reached by a finger";
      tapsWhileLeaving = leaving;
    }
    advance(1);
  }

  // The six invariants, once the row's events have played out and settled.
  void checkInvariants() {
    auto& app = platform::Application::sharedApplication();
    release();
    advance(61);  // past every deadline
    for (const auto& sheet : std::vector(facade->storeSheetsForTesting())) sheet->completeLoad(true);
    advance(2);
    if (app.applicationState() == platform::ApplicationState::Background) app.enterForeground();
    advance(1);
    noteShown();
    noteSheet();
    noteCached();
    // 2. Every ad the server gave was shown, or waits in the cache, or gave its place to a
    // newer one the host asked for, or was reported failed.
    const size_t failed = std::count_if(timeline.begin(), timeline.end(),
                                        [](const std::string& t) { return t.rfind("didFailToLoad", 0) == 0; });
    const size_t late =
        std::count_if(heldAds.begin(), heldAds.end(), [&](const Held& held) { return answeredLate(held); });
    // Failures the host let go of before they came are not heard.
    EXPECT_LE(adsUnaccounted(), delegate ? failed : late) << "an ad was lost";
    // 4. Each tap reached its destination once, and was counted once.
    checkTaps();
    checkShowsCounted();
    // 1. Whatever is up can be closed; once closed the window is as the host left it.
    closeWhatIsUp();
    EXPECT_FALSE(controller->loadingViewIsVisible());
    EXPECT_FALSE(facade->visibleImpression());
    for (const auto& view : window->subviews()) {
      const bool host = view == hostScreen->view() ||
                        std::any_of(roots.begin(), roots.end(), [&](const auto& r) { return view == r->view(); });
      // The backgrounds keep alpha 0 and are seen only through an animation on their layers.
      const bool unseen = view->isHidden() || (view->alpha() < 0.01 && view->layer()->animationKeys().empty());
      EXPECT_TRUE(host || unseen) << "a client view is left on the window";
    }
    EXPECT_EQ(hostScreen->presentingViewController() != nullptr, hostUp) << "the host's own screen was moved";
    EXPECT_EQ(app.isStatusBarHidden(), statusBarHidden);
    EXPECT_EQ(app.isIdleTimerDisabled(), idleTimerDisabled);
    // 3. Each end is told once, as a pair, and nothing after the host let go.
    checkPairs();
    // 6. Nothing loaded was reported failed: only an ad whose answer came past its deadline.
    EXPECT_LE(failed, late);
    // 2. The slot comes back: the next ad caches, shows and closes.
    if (hostUp) hostScreen->dismissModalViewControllerAnimated(false);
    runUntilIdle();
    show("Next");
    noteShown();
    ASSERT_TRUE(facade->visibleImpression()) << "the slot does not show again";
    EXPECT_TRUE(tap("close")) << "the next ad cannot be reached by a finger";
    advance(1);
    EXPECT_FALSE(facade->visibleImpression());
    // 5. Every ad and its page are released.
    runUntilIdle();
    for (const auto& shown : made) {
      EXPECT_TRUE(shown.impression.expired()) << "an ad outlived its screen";
      EXPECT_TRUE(shown.view.expired()) << "a page outlived its screen";
    }
  }

 public:
  void playRow(const std::string& events) {
    statusBarHidden = platform::Application::sharedApplication().isStatusBarHidden();
    idleTimerDisabled = platform::Application::sharedApplication().isIdleTimerDisabled();
    facade->setDelegate(delegate);
    std::istringstream words(events);
    for (std::string word; words >> word;) {
      if (testkit::Explorer::isWait(word))
        advance(std::stod(word));
      else
        play(word);
    }
    checkInvariants();
  }

 protected:
  struct Shown {
    std::weak_ptr<cadenzo::CZImpression> impression;
    std::weak_ptr<platform::View> view;
    std::string adId;
    bool interstitial;
  };
  Timeline timeline;
  std::shared_ptr<LettingGoDelegate> delegate = std::make_shared<LettingGoDelegate>(timeline);
  std::vector<std::shared_ptr<testkit::AnswerHold>> holds;  // one per answer held, until released
  std::shared_ptr<platform::Window> window;
  std::vector<std::shared_ptr<platform::ViewController>> roots;
  std::shared_ptr<platform::ViewController> hostScreen = std::make_shared<platform::ViewController>();
  std::shared_ptr<cadenzo::CZDefaultViewController> controller;
  std::vector<Shown> made;
  std::map<std::string, size_t> seenCached;  // ad id: the calls of its action gone out when it was last seen cached
  enum class Answer { Given, Held, Failed, None };
  struct Scripted {
    Answer kind = Answer::Given;
    size_t hold = 0;  // the number of its hold, when held
  };
  struct Click {
    Scripted answer;
    double sent;
  };
  struct Release {
    double at;
    size_t holdsBefore;  // it released the holds numbered below this
  };
  std::vector<Scripted> scripted;  // "click" answers scripted and not yet taken, in order
  std::vector<Click> clicks;       // the clicks the taps made
  std::vector<Held> heldAds;       // each held "get" or "more"
  std::vector<Release> releases;
  size_t holdsMade = 0;
  size_t tapsWhileLeaving = 0;
  std::vector<std::weak_ptr<platform::StoreProductViewController>> sheetsShown;
  size_t heardBeforeLetGo = 0;
  bool hostUp = false;
  bool statusBarHidden = false;
  bool idleTimerDisabled = false;
};

const char* const kRows[] = {
    "show tapclose 1",
    "show tapclose",
    "show tapclose background cutshort foreground",
    "show tapclose shownext 1",
    "show tapclose cutshort shownext 1",
    "show holdclick tapbuy background release foreground",
    "show holdclick tapbuy forcedismiss release",
    "show forcedismiss tapbuy 1",
    "show letgo tapclose 1",
    "show showf tapclose 1 showf",
    "show showmore tapclose 1 showmore",
    "showmore showf tapclose 1 showf",
    "cacheheld show release tapclose 1",
    "moreheld background release foreground tapbuy",
    "showstore tapbuy sheetloads 1 sheetdone 1",
    "showstore tapbuy hostpresents 1 sheetloads 1 sheetdone 1 hostdismisses 1",
    "showstore tapbuy hostpresents sheetloads",
    "showstore holdclick tapbuy background release foreground sheetloads",
    "showstore tapbuy sheetloads sheetdone",
    "show hostpresents 1 hostdismisses 1",
    "showmore hostroot",
    "show leave 1",
    "show tapout 1",
    "showstore tapbuy showstore tapbuy",
    "showstore tapbuy sheetloads showstore tapbuy",
};

class CZEventOrderRow : public CZEventOrdersTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CZEventOrderRow, KeepsTheInvariants) { playRow(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Interstitial, CZEventOrderRow, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return testkit::explorerRowName(info.index, info.param); });

TEST(CZExplorer, ExploresOrders) {
  testkit::ExplorerVocabulary vocabulary;
  vocabulary.words.assign(std::begin(kWords), std::end(kWords));
  vocabulary.waitWeight = 4;
  // About 15 s of one core in the default build: the seven explorers share a few minutes.
  vocabulary.suiteRuns = 450;
  testkit::Explorer("Cadenzo", vocabulary, testkit::freshFixture<CZEventOrdersTest>()).run();
}

}  // namespace
