// The banners and the interstitial under the orders of events a phone produces. A row is one
// line of words: the user's taps and closes, the ad's page, the host (also from inside its
// delegate's callbacks), the application's life cycle, the keyboard and the device, the
// server's answers held back and let go; a number is a wait. After every row one checker
// checks the same things: every screen can be closed and the window is as the host left it;
// each banner is where the host put it and its slot comes back; each delegate heard present,
// will dismiss and did dismiss once and in order, nothing after it was let go, and no refresh
// under a screen it was told of; the tap led where the row says; nothing outlived its screen.
// The explorer draws rows from the same words.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <utility>

#include "NBAdInterstitialPrivate.h"
#include "NBAdViewReports.h"
#include "NBEmbeddedWebViewController.h"
#include "nubira/NBAdInterstitial.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/bars.h"
#include "platform/clock.h"
#include "platform/composers.h"
#include "platform/controls.h"
#include "platform/device.h"
#include "platform/keyboard.h"
#include "platform/navigation_controller.h"
#include "platform/run_loop.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/explorer.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdInterstitial;
using nubira::NBAdView;
using nubira::NBEmbeddedWebViewController;
using platform::Rect;
using testkit::AnswerHold;
using testkit::ScriptedAnswer;
using Events = std::vector<std::string>;

const std::string kStoreApp = std::string("itms-apps://") + NBEmbeddedWebViewController::kStoreWebHost + "/app/9";
const std::string kOtherApp = "nbother://open/9";

std::string ad(const std::string& type, int actionType, const std::string& target, const std::string& markup) {
  return "<?xml version=\"1.0\"?><Response><Ad type=\"" + type + "\" actionType=\"" + std::to_string(actionType) +
         "\" width=\"320\" height=\"50\">" + (target.empty() ? "" : "<AdURL>" + target + "</AdURL>") + "<![CDATA[" +
         markup + "]]></Ad></Response>";
}

size_t count(const Events& events, const std::string& what) {
  return size_t(std::count_if(events.begin(), events.end(),
                              [&](const std::string& e) { return e.find(what) != std::string::npos; }));
}

struct InterstitialHeard : nubira::NBAdInterstitialDelegate {
  Events events;
  void interstitialDidFinishRequest(NBAdInterstitial&) override { events.push_back("ready"); }
  void interstitialDidFailToReceiveAdWithError(NBAdInterstitial&, const platform::Error& e) override {
    events.push_back(std::to_string(e.code) + " " + e.domain);
  }
  void interstitialDidFailToPresentScreenWithError(NBAdInterstitial&, const platform::Error& e) override {
    events.push_back("present failed " + e.domain);
  }
  void interstitialWillPresentScreen(NBAdInterstitial&) override { events.push_back("present"); }
  void interstitialWillDismissScreen(NBAdInterstitial&) override { events.push_back("will dismiss"); }
  void interstitialDidDismissScreen(NBAdInterstitial&) override { events.push_back("did dismiss"); }
  void interstitialWillLeaveApplication(NBAdInterstitial&) override { events.push_back("leave"); }
};

// The words of a row, and how often the explorer draws each. "rich", "browsing", "leaving",
// "search", "text" and "slow" choose what the server gives from then on (before any other word: the
// first ad too), "toStore", "toOtherApp" and "clickFails" where clicks lead; "ledToLanding",
// "ledToStore", "ledToOtherApp" and "heardPresent" are a row's own checks.
const testkit::ExplorerWord kWords[] = {
    {"tap", 3},         {"click", 2},         {"load", 1},          {"holdReply", 1},     {"reply", 2},
    {"script", 1},      {"expand", 3},        {"open", 2},          {"sms", 1},           {"pageClose", 2},
    {"pageHide", 1},    {"link", 1},          {"closeBrowser", 2},  {"closeExpanded", 2}, {"hostPresents", 1},
    {"hostDismisses", 1}, {"release", 1},     {"letGoInside", 1},   {"removeInside", 1},  {"remove", 1},
    {"readd", 1},       {"hide", 1},          {"unhide", 1},        {"move", 1},          {"dropContainer", 1},
    {"resign", 1},      {"active", 1},        {"background", 1},    {"foreground", 1},    {"keyUp", 1},
    {"keyDown", 1},     {"turn", 1},          {"restyle", 1},       {"interval", 1},      {"noDelegate", 1},
    {"banner2", 1},     {"tap2", 1},          {"interstitial", 1},  {"present", 1},       {"closeButton", 1},
    {"form", 1},        {"rich", 1},          {"browsing", 1},      {"leaving", 1},       {"search", 1},
    {"slow", 1},        {"toStore", 1},       {"text", 1},          {"loadInside", 1},    {"clickFails", 1},
    {"toOtherApp", 1},  {"mail", 1},          {"composerDone", 1},  {"gradient", 1},      {"resize", 1},
    {"hideInside", 1},
};

class NBEventOrderTest : public testkit::SandboxTest {
 public:
  void playRow(const std::string& events) {
    snapshot();
    std::istringstream words(events);
    std::vector<std::string> checks;
    for (std::string word; words >> word;) {
      if (word.rfind("ledTo", 0) == 0 || word == "heardPresent") {
        checks.push_back(word);
        continue;
      }
      if (!kinds().count(word) && banners.empty()) addBanner(container);
      SCOPED_TRACE(word);
      if (testkit::Explorer::isWait(word)) {
        advance(std::stod(word));
        runUntilIdle();
      } else {
        ASSERT_TRUE(wordTable().count(word)) << word;
        wordTable()[word]();
      }
      noteMade();
      for (auto& b : banners) {
        if (b.view && !b.heardAtRelease && screenAnnounced(b.heard->events)) {
          EXPECT_FALSE(b.view->isRefreshTimerRunningForTesting());
        }
      }
    }
    if (banners.empty()) addBanner(container);
    settle();
    check(checks);
  }

 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    root->view()->addSubview(container);
    root->view()->addSubview(container2);
    server.http().setAnswer("/landing", ScriptedAnswer::html("<p>landing</p>"));
    server.setAdReply(kindAd("rich"));
    answerClicks();
    auto script = ScriptedAnswer::text("window.loaded = true;");
    script.hold = scriptHold;
    server.http().setAnswer("/held.js", script);
    auto form = ScriptedAnswer::html("<p>sent</p>");
    form.hold = formHold;
    server.http().setAnswer("/form", form);
    openedBefore = app().openURLCalls();
    // Opening another application sends this one to the background, as on a phone.
    app().setOpenURLLeavesApplication(true);
    app().registerOpenableScheme("nbother");
  }
  void TearDown() override {
    app().setOpenURLLeavesApplication(false);
    app().unregisterOpenableScheme("nbother");
    testkit::SandboxTest::TearDown();
  }

  // One banner the row made: where the host wants it and what its delegate heard.
  struct Banner {
    std::shared_ptr<NBAdView> view;
    std::weak_ptr<NBAdView> made;
    std::shared_ptr<platform::View> container;
    std::shared_ptr<nubiratest::NBAdViewReports> heard = std::make_shared<nubiratest::NBAdViewReports>();
    Rect frame = Rect(0, 0, 320, 50);
    bool removed = false, hidden = false, delegateCleared = false;
    std::optional<size_t> heardAtRelease;
    // Set from "will dismiss" of an expanded close, and while "did dismiss" is being heard.
    bool endsExpansion = false, insideDidDismiss = false;
  };
  // A banner's place in the host's screen, which notes when a banner was put into it.
  struct Slot : platform::View {
    explicit Slot(const Rect& frame) : platform::View(frame) {}
    void didAddSubview(const std::shared_ptr<platform::View>&) override {
      movedInAt = platform::Clock::current().now();
    }
    double movedInAt = 0;
  };

  platform::Application& app() { return platform::Application::sharedApplication(); }
  void transition() {
    runUntilIdle();
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
  }
  // The host's state the row starts from and must end in.
  void snapshot() {
    statusBarHidden = app().isStatusBarHidden();
    statusBarStyle = app().statusBarStyle();
    idleTimerDisabled = app().isIdleTimerDisabled();
    activityShown = app().isNetworkActivityIndicatorVisible();
    windowViews = window->subviews();
  }

  std::string kindAd(const std::string& kind) const {
    const std::string click = server.url("/click");
    if (kind == "browsing") return ad("banner", 2, click, "<p>browses</p>");
    if (kind == "leaving") return ad("banner", 1, click, "<p>leaves</p>");
    if (kind == "search") return ad("search", 3, click, "<p>search</p>");
    if (kind == "text") return ad("text", 2, click, "<p>text</p>");
    if (kind == "slow") return ad("rm", 1, "", "<script src=\"" + server.url("/held.js") + "\"></script>");
    return ad("rm", 1, "", "<p>rich</p>");
  }
  static const std::map<std::string, int>& kinds() {
    static const std::map<std::string, int> all = {
        {"rich", 0}, {"text", 0},    {"browsing", 0},   {"leaving", 0},
        {"search", 0}, {"slow", 0}, {"toStore", 0}, {"toOtherApp", 0}, {"clickFails", 0}};
    return all;
  }
  void serve(const std::string& kind) {
    nextKind = kind;
    slowServed = slowServed || kind == "slow";
    auto reply = ScriptedAnswer::text(kindAd(kind));
    reply.headers = {{"Content-Type", "text/xml"}};
    reply.hold = replyHolds.empty() || replyHolds.back()->isReleased() ? nullptr : replyHolds.back();
    server.setAdAnswer(reply);
  }
  // Clicks answer with a redirect to where they lead, each held until the row lets it go.
  void answerClicks() {
    clickHolds.push_back(std::make_shared<AnswerHold>());
    auto click = ScriptedAnswer::redirect(clickTarget.empty() ? server.url("/landing") : clickTarget);
    click.dropBeforeHead = clicksFail;
    click.hold = clickHolds.back();
    server.http().setAnswer("/click", click);
  }
  std::string target() const { return clickTarget.empty() ? server.url("/landing") : clickTarget; }

  void addBanner(const std::shared_ptr<platform::View>& in) {
    Banner b;
    b.view = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(b.frame, "site-1", 15, root);
    b.made = b.view;
    made.push_back(b.view);
    b.container = in;
    b.view->setDelegate(b.heard);
    b.heard->onEvent = [this, index = banners.size()](const std::string& event) { heard(index, event); };
    in->addSubview(b.view);
    banners.push_back(b);
    advance(0.5);
    settleTraffic();
    runUntilIdle();
  }
  Banner* first() { return banners.empty() || !banners[0].view ? nullptr : &banners[0]; }

  void tapMiddleOf(const std::shared_ptr<platform::View>& view) {
    if (!view || !view->window()) return;
    const auto size = view->bounds().size;
    window->tapAtPoint(view->convertRectToView(Rect(size.width / 2, size.height / 2, 1, 1), window).origin);
  }
  bool interstitialUp() const {
    auto c = interstitial ? interstitial->viewControllerForTesting() : nullptr;
    return c && c->presentingViewController();
  }
  std::shared_ptr<platform::WebView> page() {
    if (interstitialUp()) return interstitial->webViewForTesting();
    auto b = first();
    if (!b) return nullptr;
    auto one = b->view->webView1ForTesting();
    return one && one->window() ? one : b->view->webView2ForTesting();
  }
  // The page acts: after the user's touch on it when `touched` (a touch reaches only what is on top).
  void pageDoes(const std::string& script, bool touched = true) {
    auto p = page();
    if (!p || !p->window()) return;
    if (touched) tapMiddleOf(p);
    p->stringByEvaluatingJavaScriptFromString(script);
    runUntilIdle();
  }
  std::shared_ptr<NBEmbeddedWebViewController> browserOf(const std::shared_ptr<platform::ViewController>& top) {
    auto nav = std::dynamic_pointer_cast<platform::NavigationController>(top);
    return nav ? std::dynamic_pointer_cast<NBEmbeddedWebViewController>(nav->topViewController()) : nullptr;
  }
  std::shared_ptr<platform::ViewController> topScreen() const {
    auto top = root->presentedViewController();
    while (top && top->presentedViewController()) top = top->presentedViewController();
    return top;
  }
  // What the host was told is on screen: present heard and did dismiss not yet.
  static bool screenAnnounced(const Events& events) {
    bool up = false;
    for (const auto& e : events) {
      if (e == "present") up = true;
      if (e == "did dismiss" || e == "leave") up = false;
    }
    return up;
  }
  void noteMade() {
    for (auto c = root->presentedViewController(); c; c = c->presentedViewController()) {
      if (c != hostScreen) made.push_back(c);
    }
    for (auto& b : banners) {
      auto view = b.made.lock();  // also one the host let go of inside a callback
      if (auto browser = view ? view->browserForTesting() : nullptr; browser && browser->urlString()) {
        shownInBrowser.push_back(*browser->urlString());
      }
    }
    // A browser whose banner the host let go of inside "present" is still the user's.
    if (auto browser = browserOf(topScreen()); browser && browser->urlString()) {
      shownInBrowser.push_back(*browser->urlString());
    }
    auto controller = interstitial ? interstitial->viewControllerForTesting() : nullptr;
    if (auto browser = controller ? controller->nbEmbedWebViewController() : nullptr; browser && browser->urlString()) {
      shownInBrowser.push_back(*browser->urlString());
    }
  }
  // The host's code runs in a turn of the run loop, as an application's always does: what it
  // lets go of lives to the end of that turn, not into the next one.
  void asHost(std::function<void()> act) {
    platform::RunLoop::main().post(std::move(act));
    runUntilIdle();
  }
  void letGo(Banner& b) {
    if (!b.view) return;
    b.heardAtRelease = b.heard->events.size();
    b.view->removeFromSuperview();
    b.view.reset();
  }
  // The host acts from inside the next callback its first banner's delegate hears.
  void inside(std::function<void(Banner&)> act) {
    if (first()) insideNext = std::move(act);
  }
  std::function<void(Banner&)> loadInsideDidDismiss() {
    return [this](Banner& b) {
      if (b.insideDidDismiss) hostLoads(b);
      else insideNext = loadInsideDidDismiss();
    };
  }
  void hostLoads(Banner& b) {
    if (!b.view || b.heardAtRelease) return;  // not one it is letting go of
    hostLoading = &b;
    b.view->loadNBAdRequest();
    hostLoading = nullptr;
  }
  // Each report as the host hears it: judged, then the host's act from inside it, if any.
  void heard(size_t index, const std::string& event) {
    auto& b = banners[index];
    const bool inHostLoad = hostLoading == &b;
    if (event == "will dismiss") b.endsExpansion = b.view && b.view->currentStateForTesting() == NBAdView::kMRAIDStateExpanded;
    if (event == "did dismiss") b.insideDidDismiss = true;
    if (event.rfind("2 ", 0) == 0) judgeClickRefusal(b, inHostLoad);
    if (index == 0) {
      if (auto act = std::exchange(insideNext, nullptr)) act(banners[0]);
    }
    if (event == "did dismiss") b.insideDidDismiss = false;
  }
  // A load is refused for a click in progress only while one is: the refresh timer stops for
  // the user's click and screens, and a screen that has ended holds no load back. What the
  // Parts ask for besides: the keyboard up over a search ad refuses the refresh so (it holds
  // clicks and loads back); the load a move into a superview schedules half a second later is
  // refused so when a click or screen is under way by then, the move into the window that an
  // expansion makes among them; and the host's load inside adViewDidDismissScreen of an
  // expanded close is refused so too, since the close clears the click only after its reports.
  void judgeClickRefusal(Banner& b, bool hostLoad) {
    const bool expanded = b.view && b.view->currentStateForTesting() == NBAdView::kMRAIDStateExpanded;
    if (hostLoad) {
      EXPECT_TRUE(!b.insideDidDismiss || b.endsExpansion) << "a load after the screen ended was refused for a click";
      return;
    }
    const auto slot = std::dynamic_pointer_cast<Slot>(b.container);
    const bool moveLoad = slot && clock().now() - slot->movedInAt <= 1;
    EXPECT_TRUE(keyboardUp || expanded || moveLoad) << "a refresh ran under a click";
  }
  void toBackground() {
    if (app().applicationState() != platform::ApplicationState::Background) app().enterBackground();
    runUntilIdle();
  }

  std::map<std::string, std::function<void()>>& wordTable() {
    if (!table.empty()) return table;
    for (const auto& [kind, unused] : kinds()) table[kind] = [this, k = kind] { serve(k); };
    table["holdReply"] = [this] {
      replyHolds.push_back(std::make_shared<AnswerHold>());
      serve(nextKind);
    };
    table["toStore"] = [this] {
      clickTarget = kStoreApp;
      answerClicks();
    };
    table["toOtherApp"] = [this] {
      clickTarget = kOtherApp;
      answerClicks();
    };
    // Clicks from then on find the connection dropped before any answer.
    table["clickFails"] = [this] {
      clicksFail = true;
      answerClicks();
    };
    table["tap"] = [this] { tapMiddleOf(first() ? first()->view : nullptr); };
    table["tap2"] = [this] { tapMiddleOf(banners.size() > 1 ? banners[1].view : nullptr); };
    table["click"] = [this] {
      clickHolds.back()->release();
      settleTraffic();
      transition();
      answerClicks();
    };
    table["load"] = [this] {
      advance(21);
      if (first()) hostLoads(banners[0]);
      settleTraffic();
    };
    table["reply"] = [this] {
      for (auto& hold : replyHolds) {
        if (hold->isReleased()) continue;
        hold->release();
        break;
      }
      serve(nextKind);
      settleTraffic();
      runUntilIdle();
    };
    table["script"] = [this] {
      scriptHold->release();
      settleTraffic();
      runUntilIdle();
    };
    table["expand"] = [this] { pageDoes("mraid.expand(null, {width: 300, height: 200});"); };
    table["open"] = [this] {
      pageDoes("mraid.open('" + target() + "');");
      transition();
    };
    table["mail"] = [this] {
      pageDoes("mraid.sendMail('ads@example.com', 'hi', 'there');");
      transition();
    };
    // The user sends what the composer on top holds, which ends it.
    table["composerDone"] = [this] {
      auto top = topScreen();
      if (auto sms = std::dynamic_pointer_cast<platform::MessageComposeViewController>(top)) {
        sms->finishWithResult(platform::MessageComposeResult::Sent);
      } else if (auto mail = std::dynamic_pointer_cast<platform::MailComposeViewController>(top)) {
        mail->finishWithResult(platform::MailComposeResult::Sent);
      }
      transition();
    };
    table["sms"] = [this] {
      pageDoes("mraid.sendSMS('5551234', 'hi');");
      transition();
    };
    // The host lets the ad grow a little; the page asks for it (past its own script's check).
    table["resize"] = [this] {
      if (first()) first()->view->setMaxSize({320, 100});
      pageDoes("mraidview.resize(300, 80);");
    };
    table["pageClose"] = [this] { pageDoes("mraid.close();", false); };
    table["pageHide"] = [this] { pageDoes("location = 'mraid://hide';", false); };
    table["form"] = [this] {
      pageDoes("var f = document.createElement('form'); f.setAttribute('action', '" + server.url("/form") +
               "'); document.body.appendChild(f); f.submit();");
    };
    // The user's tap on a link of the page.
    table["link"] = [this] {
      auto p = page();
      // A finger reaches only a page on screen: not one the host hid.
      if (!p || !p->window() || (!interstitialUp() && first() && first()->view->isHidden())) return;
      const std::string url = server.url("/search?q=birds");
      p->stringByEvaluatingJavaScriptFromString("var a = document.createElement('a'); a.setAttribute('href', '" + url +
                                                "'); document.body.appendChild(a);");
      p->tapLinkWithURLForTesting(url);
      runUntilIdle();
      // A link the user taps leads out of the banner, never into the ad's own page.
      if (auto b = first()) {
        for (const auto& view : {b->view->webView1ForTesting(), b->view->webView2ForTesting()}) {
          EXPECT_FALSE(view->request() && view->request()->url() == url) << "the link loaded inside the banner";
        }
      }
    };
    table["closeBrowser"] = [this] {
      if (auto b = browserOf(topScreen())) b->closeItem()->tap();
      transition();
    };
    table["closeExpanded"] = [this] {
      if (auto b = first(); b && b->view->adCloseButtonForTesting()) {
        auto button = b->view->adCloseButtonForTesting();
        if (button->window()) window->tapAtPoint(button->convertRectToView(Rect(12, 12, 1, 1), window).origin);
      }
      transition();
    };
    table["hostPresents"] = [this] {
      if (!root->presentedViewController()) root->presentModalViewControllerAnimated(hostScreen, false);
      transition();
    };
    table["hostDismisses"] = [this] {
      root->dismissModalViewControllerAnimated(false);
      transition();
    };
    table["release"] = [this] {
      asHost([this] {
        if (first()) letGo(banners[0]);
        if (interstitial) interstitialHeardAtRelease = interstitialHeard->events.size();
        interstitial.reset();
      });
    };
    table["letGoInside"] = [this] { inside([this](Banner& b) { letGo(b); }); };
    // The host asks for an ad from inside the next adViewDidDismissScreen.
    table["loadInside"] = [this] { inside(loadInsideDidDismiss()); };
    table["removeInside"] = [this] {
      inside([](Banner& b) {
        if (!b.view) return;
        b.removed = true;
        b.view->removeFromSuperview();
      });
    };
    table["hideInside"] = [this] {
      inside([](Banner& b) {
        if (!b.view) return;
        b.hidden = true;
        b.view->setHidden(true);
      });
    };
    table["remove"] = [this] {
      if (!first()) return;
      first()->removed = true;
      first()->view->removeFromSuperview();
      runUntilIdle();
    };
    table["readd"] = [this] {
      if (!first() || !first()->removed) return;
      first()->removed = false;
      first()->container->addSubview(first()->view);
      runUntilIdle();
    };
    table["hide"] = [this] {
      if (!first()) return;
      first()->hidden = true;
      first()->view->setHidden(true);
      runUntilIdle();
    };
    table["unhide"] = [this] {
      if (!first()) return;
      first()->hidden = false;
      first()->view->setHidden(false);
      runUntilIdle();
    };
    // The host moves the banner within its container.
    table["move"] = [this] {
      if (!first() || first()->view->superview() != first()->container) return;
      first()->frame.origin.y = first()->frame.origin.y == 0 ? 10 : 0;
      first()->view->setFrame(first()->frame);
      runUntilIdle();
    };
    // The host takes the banner's container out of its screen and lets go of it.
    table["dropContainer"] = [this] {
      if (!first() || first()->container != container) return;
      asHost([this] {
        container->removeFromSuperview();
        first()->removed = true;
        letGo(banners[0]);
      });
    };
    table["resign"] = [this] {
      if (app().applicationState() == platform::ApplicationState::Active) app().resignActive();
    };
    table["active"] = [this] {
      if (app().applicationState() == platform::ApplicationState::Inactive) app().becomeActive();
      runUntilIdle();
    };
    table["background"] = [this] { toBackground(); };
    table["foreground"] = [this] {
      if (app().applicationState() == platform::ApplicationState::Background) app().enterForeground();
      runUntilIdle();
    };
    table["keyUp"] = [this] {
      keyboardUp = true;
      platform::Keyboard::showForTesting();
    };
    table["keyDown"] = [this] {
      platform::Keyboard::hideForTesting();
      keyboardUp = false;
    };
    table["turn"] = [this] {
      landscape = !landscape;
      platform::Device::currentDevice().setOrientation(landscape ? platform::DeviceOrientation::LandscapeLeft
                                                                 : platform::DeviceOrientation::Portrait);
      transition();
    };
    table["restyle"] = [this] {
      if (first()) first()->view->setAdTextColor("#ff0000");
      runUntilIdle();
    };
    table["gradient"] = [this] {
      if (first()) first()->view->setAdBackgroundGradientWithTopColorBottomColor("#fff", "#000");
      runUntilIdle();
    };
    table["interval"] = [this] {
      if (first()) first()->view->setRefreshInterval(first()->view->refreshInterval() == 30 ? 60 : 30);
    };
    table["noDelegate"] = [this] {
      if (!first() || first()->delegateCleared) return;
      first()->delegateCleared = true;
      first()->heardAtRelease = first()->heard->events.size();
      first()->view->setDelegate({});
    };
    table["banner2"] = [this] {
      if (banners.size() < 2) addBanner(container2);
    };
    table["interstitial"] = [this] {
      if (interstitial || interstitialHeardAtRelease) return;
      interstitial = NBAdInterstitial::create();
      made.push_back(interstitial);
      interstitial->setNbAppId("site-1");
      interstitial->setDelegate(interstitialHeard);
      interstitial->loadRequest(nubira::NBAdRequest::request());
      settleTraffic();
      runUntilIdle();
    };
    table["present"] = [this] {
      if (interstitial) interstitial->presentFromRootViewController(nullptr);
      transition();
    };
    table["closeButton"] = [this] {
      if (interstitialUp()) tapMiddleOf(interstitial->closeButtonForTesting());
      transition();
    };
    return table;
  }

  // With the application active again and every answer let go, the user closes what is up,
  // from the top, as they would: the browser by its close button, the composer by its own end,
  // the interstitial and each expanded ad by their close buttons, which must be there to tap
  // (also when the host has let go of the ad); the host ends its own screen. What comes up
  // meanwhile counts as shown.
  void settle() {
    platform::Keyboard::hideForTesting();
    keyboardUp = false;
    insideNext = nullptr;
    releaseAll();
    bool waited = false;
    for (int round = 0; round < 8; ++round) {
      noteMade();
      auto top = topScreen();
      std::shared_ptr<platform::View> button;
      if (auto b = browserOf(top)) {
        EXPECT_TRUE(b->closeItem()->tap());
      } else if (auto sms = std::dynamic_pointer_cast<platform::MessageComposeViewController>(top)) {
        sms->finishWithResult(platform::MessageComposeResult::Cancelled);
      } else if (auto mail = std::dynamic_pointer_cast<platform::MailComposeViewController>(top)) {
        mail->finishWithResult(platform::MailComposeResult::Cancelled);
      } else if (auto controller = std::dynamic_pointer_cast<nubira::NBAdInterstitialPrivate>(top)) {
        button = controller->closeButton();
      } else if (top == hostScreen) {
        hostScreen->presentingViewController()->dismissModalViewControllerAnimated(false);
      } else if (top) {
        ADD_FAILURE() << "a screen nobody can close";
        return;
      } else {
        for (auto& b : banners) {
          auto view = b.made.lock();
          if (view && view->adCloseButtonForTesting() && view->adCloseButtonForTesting()->window()) {
            button = view->adCloseButtonForTesting();
          }
        }
        // A browser a click left waiting for the screen comes a moment after the screen goes.
        if (!button && !std::exchange(waited, true)) {
          advance(1);
          runUntilIdle();
          continue;
        }
        if (!button) break;
      }
      if (button) {
        EXPECT_EQ(window->tapAtPoint(button->convertRectToView(Rect(12, 12, 1, 1), window).origin), button)
            << "the close button is covered";
      }
      transition();
    }
    releaseAll();
  }
  // Every answer let go, past every deadline, and the user back in the application (a click
  // that ends outside it sent it away).
  void releaseAll() {
    scriptHold->release();
    formHold->release();
    for (auto& hold : replyHolds) hold->release();
    for (auto& hold : clickHolds) hold->release();
    advance(NBAdView::kLoadTimeout + 1);
    settleTraffic();
    runUntilIdle();
    if (app().applicationState() == platform::ApplicationState::Background) app().enterForeground();
    if (app().applicationState() != platform::ApplicationState::Active) app().becomeActive();
    runUntilIdle();
  }

  // Present, will dismiss, did dismiss: each once, in that order, every screen ended unless
  // the host let go meanwhile, and nothing at all once it has.
  // The one thing heard after the host let go: the end of a screen it had been told of (the
  // order is checked below).
  static void expectScreensHeardInOrder(const Events& events, std::optional<size_t> heardAtRelease) {
    const auto said = ::testing::PrintToString(events);
    if (heardAtRelease) {
      for (size_t i = *heardAtRelease; i < events.size(); ++i) {
        EXPECT_TRUE(events[i] == "will dismiss" || events[i] == "did dismiss") << "heard after it let go: " << said;
      }
    }
    int step = 0;  // 0 nothing up, 1 presented, 2 will dismiss heard
    for (const auto& e : events) {
      if (e == "present") {
        EXPECT_EQ(step, 0) << said;
        step = 1;
      } else if (e == "will dismiss") {
        EXPECT_EQ(step, 1) << said;
        step = 2;
      } else if (e == "did dismiss") {
        EXPECT_EQ(step, 2) << said;
        step = 0;
      }
    }
    if (!heardAtRelease) { EXPECT_EQ(step, 0) << "a screen never ended: " << said; }
  }

  void check(const std::vector<std::string>& checks) {
    // The window, the status bar, the activity indicator and the idle timer as the host left them.
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(window->subviews(), windowViews) << "something the ads put up stays in the window";
    EXPECT_EQ(app().isStatusBarHidden(), statusBarHidden);
    EXPECT_EQ(app().statusBarStyle(), statusBarStyle);
    EXPECT_EQ(app().isIdleTimerDisabled(), idleTimerDisabled);
    EXPECT_EQ(app().isNetworkActivityIndicatorVisible(), activityShown);
    for (auto& b : banners) {
      SCOPED_TRACE(&b == &banners[0] ? "first banner" : "second banner");
      expectScreensHeardInOrder(b.heard->events, b.heardAtRelease);
      // A page whose script never came may time out; any other ad that loaded is never reported so.
      if (!slowServed) {
        EXPECT_EQ(count(b.heard->events, "timed out"), 0u) << ::testing::PrintToString(b.heard->events);
      }
      if (!b.view) continue;
      EXPECT_EQ(b.view->superview(), b.removed ? nullptr : b.container);
      EXPECT_EQ(b.view->frame(), b.frame);
      EXPECT_EQ(b.view->isHidden(), b.hidden);
    }
    for (const auto& word : checks) {
      if (word == "heardPresent") { EXPECT_GT(count(banners[0].heard->events, "present"), 0u); }
      if (word.rfind("ledTo", 0) != 0) continue;
      const std::string there = word == "ledToStore"      ? kStoreApp
                                : word == "ledToOtherApp" ? kOtherApp
                                                          : server.url("/landing");
      const auto& all = app().openedURLs();
      const Events opened(all.end() - std::min(all.size(), app().openURLCalls() - openedBefore), all.end());
      EXPECT_TRUE(count(opened, there) || count(shownInBrowser, there))
          << there << " opened " << ::testing::PrintToString(opened);
    }
    if (interstitial || interstitialHeardAtRelease) {
      expectScreensHeardInOrder(interstitialHeard->events, interstitialHeardAtRelease);
    }
    // Closed, the interstitial loads again (one never shown stays ready).
    if (interstitial && interstitial->state() != nubira::NBAdInterstitialStateReady) {
      EXPECT_EQ(interstitial->state(), nubira::NBAdInterstitialStateInit);
      interstitialHeard->events.clear();
      advance(21);
      interstitial->loadRequest(nubira::NBAdRequest::request());
      settleTraffic();
      EXPECT_EQ(interstitialHeard->events, Events{"ready"});
    }
    // The slot of each banner the host shows comes back within one interval: a request, and its
    // ad shown. Exactly one interval, wherever the timer stands in it: one refresh, never two.
    server.setAdReply(kindAd("rich"));
    for (auto& b : banners) {
      if (!b.view || b.removed || b.hidden || b.delegateCleared || !b.view->window()) continue;
      const size_t finishes = count(b.heard->events, "finish");
      advance(b.view->refreshInterval());
      settleTraffic();
      runUntilIdle();
      EXPECT_EQ(count(b.heard->events, "finish"), finishes + 1) << ::testing::PrintToString(b.heard->events);
    }
    // Nothing outlives its screen once the host lets go.
    for (auto& b : banners) letGo(b);
    interstitial.reset();
    runUntilIdle();
    advance(1);
    for (const auto& weak : made) EXPECT_TRUE(weak.expired()) << "an ad or its screen outlived the host's hold";
  }

  testkit::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::ViewController> hostScreen = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::View> container = std::make_shared<Slot>(Rect(0, 100, 320, 50));
  std::shared_ptr<platform::View> container2 = std::make_shared<Slot>(Rect(0, 300, 320, 50));
  std::vector<Banner> banners;
  std::shared_ptr<NBAdInterstitial> interstitial;
  std::shared_ptr<InterstitialHeard> interstitialHeard = std::make_shared<InterstitialHeard>();
  std::optional<size_t> interstitialHeardAtRelease;
  std::vector<std::shared_ptr<AnswerHold>> clickHolds, replyHolds;  // one per answer held
  std::shared_ptr<AnswerHold> scriptHold = std::make_shared<AnswerHold>();
  std::shared_ptr<AnswerHold> formHold = std::make_shared<AnswerHold>();  // a submitted form answers at the settle
  std::string nextKind = "rich", clickTarget;
  bool clicksFail = false;
  std::map<std::string, std::function<void()>> table;
  std::function<void(Banner&)> insideNext;  // what the host does inside its next callback
  Banner* hostLoading = nullptr;              // the banner whose load the host is asking for
  bool keyboardUp = false;
  std::vector<std::weak_ptr<const void>> made;
  Events shownInBrowser;
  size_t openedBefore = 0;
  bool statusBarHidden = false, idleTimerDisabled = false, activityShown = false, landscape = false, slowServed = false;
  int statusBarStyle = 0;
  std::vector<std::shared_ptr<platform::View>> windowViews;
};

const char* const kRows[] = {
    // A tap onto the store's application link.
    "browsing toStore tap click ledToStore",
    "toStore open ledToStore",
    // Expansion against the next ad.
    "holdReply load expand reply",
    "holdReply load expand reply pageClose",
    "holdReply load expand release reply",
    "expand resign active 130",
    "expand open closeBrowser ledToLanding",
    "expand open pageClose closeBrowser ledToLanding",
    "expand sms hostDismisses",
    "expand sms pageClose",
    // The page on screen acting while the next one loads.
    "slow load pageClose script",
    "slow load pageHide script",
    // The keyboard over a search ad.
    "search leaving holdReply load keyUp reply keyDown",
    "search keyUp background foreground keyDown",
    "search keyUp link click keyDown ledToLanding heardPresent",
    // Clicks and the application's life cycle.
    "browsing tap click resign active 130 ledToLanding",
    "browsing tap resign click active ledToLanding",
    "browsing tap click hostDismisses ledToLanding",
    "leaving tap click background foreground ledToLanding",
    "browsing tap release click",
    "browsing tap click release ledToLanding",
    "sms release",
    // The next ad loading behind the one the user taps.
    "browsing holdReply load leaving tap reply click ledToLanding heardPresent",
    "browsing holdReply load background reply foreground",
    "browsing holdReply load tap click rich reply closeBrowser ledToLanding",
    // The interstitial.
    "toStore interstitial present open ledToStore",
    "interstitial present open pageClose",
    "interstitial present sms pageClose",
    "interstitial present pageClose closeButton",
    "interstitial present open closeBrowser ledToLanding",
    "interstitial present resign background foreground",
    "interstitial present hostDismisses",
    "interstitial present sms hostDismisses",
    "interstitial present open hostDismisses ledToLanding",
    "interstitial present release",
    // The host moves, hides or takes out an expanded banner, also from inside its messages.
    "move expand closeExpanded",
    "expand remove",
    "expand remove readd",
    "expand hide pageClose",
    "letGoInside expand",
    "removeInside expand",
    "expand removeInside closeExpanded",
    "expand banner2 letGoInside pageClose",
    "expand pageClose letGoInside 1",
    // The refresh interval changed under a screen waits for the screen to end.
    "expand interval",
    // The interstitial presented where it cannot be, or twice.
    "interstitial hostPresents present",
    "interstitial present present",
    // A link on a restyled ad, or on the ad on screen while the next one loads.
    "text restyle link",
    "reply slow load link",
    // The host's own screen or its interstitial comes and goes over an expanded ad.
    "expand hostPresents hostDismisses",
    "expand interstitial present",
    // The host lets go inside a report while the next one falls due in the same instant.
    "letGoInside slow 600",
    "banner2 slow letGoInside 600",
    // A click answered under another screen, or to a host letting go inside what it hears.
    "browsing tap hostPresents click ledToLanding",
    "browsing tap letGoInside click ledToLanding",
    "leaving tap letGoInside click ledToLanding",
    "search banner2 tap tap2",
    // The browser a click put over the host's own screen goes with it when the host ends it.
    "search open hostPresents click hostDismisses",
    "browsing open load hostPresents click hostDismisses load",
    // The host lets go of an expanded banner whose next ad has loaded behind it.
    "600 expand holdReply pageClose load expand open hostPresents reply dropContainer",
    "holdReply expand closeExpanded load expand click click reply dropContainer",
    // The checker's own wait for the slot starts just before a refresh falls due.
    "banner2 turn interstitial 0.01 present 3 30 open",
    // A click answered while the next ad is expanded or the interstitial is up: its browser
    // comes once that screen has gone.
    "browsing 1 rich holdReply load tap reply expand click ledToLanding",
    "browsing tap interstitial present click closeButton ledToLanding",
    // The interstitial closed while a form it sent still loads.
    "interstitial present form closeButton",
    // The host's load inside the end of an expanded close, and of a browser's.
    "expand loadInside closeExpanded",
    "browsing tap click loadInside closeBrowser ledToLanding",
    // A click that leads to another application.
    "leaving toOtherApp tap click ledToOtherApp",
};

class NBEventOrderRow : public NBEventOrderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NBEventOrderRow, KeepsTheInvariants) { playRow(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Nubira, NBEventOrderRow, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return testkit::explorerRowName(info.index, info.param); });

TEST(NBExplorer, ExploresOrders) {
  testkit::ExplorerVocabulary vocabulary;
  vocabulary.words.assign(std::begin(kWords), std::end(kWords));
  vocabulary.waitWeight = 4;
  // About 15 s of one core in the default build (37 s per thousand).
  vocabulary.suiteRuns = 400;
  testkit::Explorer("Nubira", vocabulary, testkit::freshFixture<NBEventOrderTest>()).run();
}

}  // namespace
