// The banner and the interstitial under the orders of events a phone produces. A row is one
// line of events: the user's taps and closes, the ad's page, the host, the application's life
// cycle and the keyboard, the server's answers held back and let go. After every row one
// helper checks the same things: every screen can be closed and the window is as the host
// left it; the slot comes back; the host heard each present, will dismiss and did dismiss
// once and in order, with no refresh under a screen it was told of; the tap led somewhere;
// nothing outlived its screen; and no loaded ad was reported failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "NBAdInterstitialPrivate.h"
#include "NBAdViewReports.h"
#include "NBEmbeddedWebViewController.h"
#include "nubira/NBAdInterstitial.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/bars.h"
#include "platform/composers.h"
#include "platform/controls.h"
#include "platform/keyboard.h"
#include "platform/navigation_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"
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

class NBEventOrderTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    root->view()->addSubview(container);
    server.http().setAnswer("/landing", ScriptedAnswer::html("<p>landing</p>"));
    auto& app = platform::Application::sharedApplication();
    statusBarHidden = app.isStatusBarHidden();
    idleTimerDisabled = app.isIdleTimerDisabled();
    windowViews = window->subviews();
  }

  // One row: the ad first shown, the next one the server gives, where a click leads, and the
  // events, one word each (see steps()).
  struct Row {
    const char* name;
    std::string first;
    std::string next;
    std::string clickLeadsTo;  // also what the page opens; empty: /landing
    std::string events;
    // Where the user's tap ends: opened by the system or shown in the browser (empty: no tap).
    std::string leadsTo = "";
    // A report the host must have heard on the way there (empty: none in particular).
    std::string hostHears = "";
  };

  platform::Application& app() { return platform::Application::sharedApplication(); }
  void transition() {
    runUntilIdle();
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
  }
  void tapMiddleOf(const std::shared_ptr<platform::View>& view) {
    const auto size = view->bounds().size;
    window->tapAtPoint(view->convertRectToView(Rect(size.width / 2, size.height / 2, 1, 1), window).origin);
  }
  std::shared_ptr<platform::WebView> bannerPage() const {
    auto one = banner->webView1ForTesting();
    return one->window() ? one : banner->webView2ForTesting();
  }
  std::shared_ptr<platform::WebView> interstitialPage() const { return interstitial->webViewForTesting(); }
  std::shared_ptr<platform::WebView> page() const { return banner ? bannerPage() : interstitialPage(); }
  void pageDoes(const std::string& script) {
    ASSERT_TRUE(page());
    page()->stringByEvaluatingJavaScriptFromString(script);
    runUntilIdle();
  }
  void touch() { tapMiddleOf(page()); }
  std::string target(const Row& row) const { return row.clickLeadsTo.empty() ? server.url("/landing") : row.clickLeadsTo; }
  std::shared_ptr<NBEmbeddedWebViewController> browser() const {
    if (banner) return banner->browserForTesting();
    auto controller = interstitial ? interstitial->viewControllerForTesting() : nullptr;
    return controller ? controller->nbEmbedWebViewController() : nullptr;
  }
  // What the host was told is on screen: present heard and did dismiss not yet.
  bool screenAnnounced(const Events& events) const {
    bool up = false;
    for (const auto& e : events) {
      if (e == "present") up = true;
      if (e == "did dismiss" || e == "leave") up = false;
    }
    return up;
  }
  // Whatever the client put up or made that may not outlive the row.
  void noteMade() {
    for (auto c = root->presentedViewController(); c; c = c->presentedViewController()) made.push_back(c);
    if (auto b = browser()) {
      made.push_back(b);
      if (b->urlString()) shownInBrowser.push_back(*b->urlString());
    }
  }

  // The events of a row, one word each, for the banner or the interstitial on screen.
  std::map<std::string, std::function<void(const Row&)>> steps() {
    return {
        {"tap", [this](const Row&) { tapMiddleOf(banner); }},
        {"click", [this](const Row&) {
           clickHold->release();
           settleTraffic();
           transition();
         }},
        {"load", [this](const Row&) {
           advance(21);
           banner->loadNBAdRequest();
           settleTraffic();
         }},
        {"reply", [this](const Row&) {
           replyHold->release();
           settleTraffic();
           runUntilIdle();
         }},
        {"script", [this](const Row&) {
           scriptHold->release();
           settleTraffic();
           runUntilIdle();
         }},
        {"expand", [this](const Row&) {
           touch();
           pageDoes("mraid.expand(null, {width: 300, height: 200});");
         }},
        {"open", [this](const Row& row) {
           touch();
           pageDoes("mraid.open('" + target(row) + "');");
           transition();
         }},
        {"sms", [this](const Row&) {
           touch();
           pageDoes("mraid.sendSMS('5551234', 'hi');");
           transition();
         }},
        {"pageClose", [this](const Row&) { pageDoes("mraid.close();"); }},
        {"settle", [this](const Row&) { transition(); }},
        {"pageHide", [this](const Row&) { pageDoes("location = 'mraid://hide';"); }},
        // The user's tap on a link of the page.
        {"link", [this](const Row&) {
           const std::string url = server.url("/search?q=birds");
           pageDoes("var a = document.createElement('a'); a.setAttribute('href', '" + url +
                    "'); document.body.appendChild(a);");
           ASSERT_TRUE(page()->tapLinkWithURLForTesting(url));
           runUntilIdle();
         }},
        {"closeBrowser", [this](const Row&) {
           ASSERT_TRUE(browser());
           browser()->closeItem()->tap();
           transition();
         }},
        {"hostDismisses", [this](const Row&) {
           root->dismissModalViewControllerAnimated(false);
           transition();
         }},
        {"release", [this](const Row&) {
           heardAtRelease = (banner ? heard->events : interstitialHeard->events).size();
           if (banner) banner->removeFromSuperview();
           banner.reset();
           interstitial.reset();
           runUntilIdle();
         }},
        {"resign", [this](const Row&) { app().resignActive(); }},
        {"active", [this](const Row&) { app().becomeActive(); }},
        {"background", [this](const Row&) { app().enterBackground(); }},
        {"foreground", [this](const Row&) { app().enterForeground(); }},
        {"keyUp", [](const Row&) { platform::Keyboard::showForTesting(); }},
        {"keyDown", [](const Row&) { platform::Keyboard::hideForTesting(); }},
        {"wait", [this](const Row&) { advance(130); }},
        {"present", [this](const Row&) {
           interstitial->presentFromRootViewController(nullptr);
           transition();
         }},
        {"closeButton", [this](const Row&) {
           tapMiddleOf(interstitial->closeButtonForTesting());
           transition();
         }},
    };
  }

  // Holds the click's answer and the next ad's reply (and, when the next ad's markup asks for
  // /held.js, its script) until the row lets them go.
  void holdAnswers(const Row& row) {
    auto click = ScriptedAnswer::redirect(target(row));
    click.hold = clickHold;
    server.http().setAnswer("/click", click);
    auto script = ScriptedAnswer::text("window.loaded = true;");
    script.hold = scriptHold;
    server.http().setAnswer("/held.js", script);
    if (row.next.empty()) return;
    auto reply = ScriptedAnswer::text(row.next);
    reply.headers = {{"Content-Type", "text/xml"}};
    if (row.events.find("reply") != std::string::npos) reply.hold = replyHold;
    server.setAdAnswer(reply);
  }

  void runSteps(const Row& row, const std::function<Events()>& heard) {
    auto table = steps();
    std::istringstream words(row.events);
    for (std::string word; words >> word;) {
      SCOPED_TRACE(word);
      ASSERT_TRUE(table.count(word)) << word;
      table[word](row);
      noteMade();
      // The host that was told of a screen hears no refresh under it.
      if (banner && screenAnnounced(heard())) {
        EXPECT_FALSE(banner->isRefreshTimerRunningForTesting());
      }
    }
  }

  // Present, will dismiss, did dismiss: each once, in that order, and every screen ended
  // unless the host let go of the ad meanwhile.
  void expectScreensHeardInOrder(const Events& events, bool released) {
    // Nothing at all once the host has let go.
    if (heardAtRelease) {
      EXPECT_EQ(events.size(), *heardAtRelease) << ::testing::PrintToString(events);
    }
    int step = 0;  // 0 nothing up, 1 presented, 2 will dismiss heard
    for (const auto& e : events) {
      if (e == "present") {
        EXPECT_EQ(step, 0) << ::testing::PrintToString(events);
        step = 1;
      } else if (e == "will dismiss") {
        EXPECT_EQ(step, 1) << ::testing::PrintToString(events);
        step = 2;
      } else if (e == "did dismiss") {
        EXPECT_EQ(step, 2) << ::testing::PrintToString(events);
        step = 0;
      }
    }
    if (!released) {
      EXPECT_EQ(step, 0) << ::testing::PrintToString(events);
    }
  }

  // The window, the status bar and the idle timer as the host left them, nothing presented.
  void expectWindowAsTheHostLeftIt() {
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(window->subviews(), windowViews);
    EXPECT_EQ(app().isStatusBarHidden(), statusBarHidden);
    EXPECT_EQ(app().isIdleTimerDisabled(), idleTimerDisabled);
  }

  void expectTheTapLedThere(const Row& row) {
    if (row.leadsTo.empty()) return;
    // Only what this row opened counts.
    const auto& all = app().openedURLs();
    const std::vector<std::string> opened(all.end() - std::min(all.size(), app().openURLCalls() - openedBefore),
                                          all.end());
    const bool reached = std::count(opened.begin(), opened.end(), row.leadsTo) > 0 ||
                         std::count(shownInBrowser.begin(), shownInBrowser.end(), row.leadsTo) > 0;
    EXPECT_TRUE(reached) << row.leadsTo << " opened " << ::testing::PrintToString(opened);
  }

  void expectNothingOutlivesItsScreen() {
    if (banner) banner->removeFromSuperview();
    banner.reset();
    interstitial.reset();
    runUntilIdle();
    advance(1);
    for (const auto& weak : made) EXPECT_TRUE(weak.expired());
  }

  // With the application active again, the user closes what is up, from the top, as they
  // would: the browser by its close button, the composer by its own end, the interstitial and
  // the expanded ad by their close buttons, which must be there to tap (also when the host
  // has let go of the ad).
  void closeWhatIsUp() {
    if (app().applicationState() != platform::ApplicationState::Active) app().becomeActive();
    for (int round = 0; round < 4; ++round) {
      auto top = root->presentedViewController();
      while (top && top->presentedViewController()) top = top->presentedViewController();
      std::shared_ptr<platform::View> button;
      if (auto nav = std::dynamic_pointer_cast<platform::NavigationController>(top)) {
        auto b = std::dynamic_pointer_cast<NBEmbeddedWebViewController>(nav->topViewController());
        ASSERT_TRUE(b);
        EXPECT_TRUE(b->closeItem()->tap());
      } else if (auto sms = std::dynamic_pointer_cast<platform::MessageComposeViewController>(top)) {
        sms->finishWithResult(platform::MessageComposeResult::Cancelled);
      } else if (auto controller = std::dynamic_pointer_cast<nubira::NBAdInterstitialPrivate>(top)) {
        button = controller->closeButton();
      } else if (banner && banner->adCloseButtonForTesting() && banner->adCloseButtonForTesting()->window()) {
        button = banner->adCloseButtonForTesting();
      } else {
        return;
      }
      if (button) {
        EXPECT_EQ(window->tapAtPoint(button->convertRectToView(Rect(12, 12, 1, 1), window).origin), button)
            << "the close button is covered";
      }
      transition();
    }
  }

  // Every row starts with its answers held afresh and nothing heard.
  void startRow() {
    openedBefore = app().openURLCalls();
    heardAtRelease.reset();
    made.clear();
    shownInBrowser.clear();
    heard->events.clear();
    interstitialHeard->events.clear();
    clickHold = std::make_shared<AnswerHold>();
    replyHold = std::make_shared<AnswerHold>();
    scriptHold = std::make_shared<AnswerHold>();
  }

  void checkBanner(const Row& row) {
    SCOPED_TRACE(row.name);
    startRow();
    server.setAdReply(row.first);
    banner = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(Rect(0, 0, 320, 50), "site-1", 15, root);
    made.push_back(banner);
    banner->setDelegate(heard);
    container->addSubview(banner);
    advance(0.5);
    settleTraffic();
    ASSERT_EQ(heard->events, Events{"finish"});
    holdAnswers(row);
    runSteps(row, [this] { return heard->events; });
    if (HasFatalFailure()) return;
    const bool served = !row.next.empty() && row.events.find("release") == std::string::npos;

    platform::Keyboard::hideForTesting();
    closeWhatIsUp();
    scriptHold->release();
    replyHold->release();
    clickHold->release();
    advance(1);  // the load that moving back into its place schedules
    settleTraffic();
    expectWindowAsTheHostLeftIt();
    if (banner) {
      EXPECT_EQ(banner->superview(), container);
      EXPECT_FALSE(banner->isHidden());
    }
    expectScreensHeardInOrder(heard->events, !banner);
    expectTheTapLedThere(row);
    EXPECT_GT(count(heard->events, row.hostHears), 0u) << ::testing::PrintToString(heard->events);
    // A loaded ad is shown and reported, never timed out.
    EXPECT_EQ(count(heard->events, "timed out"), 0u) << ::testing::PrintToString(heard->events);
    if (served) {
      EXPECT_EQ(count(heard->events, "finish"), 2u) << ::testing::PrintToString(heard->events);
    }

    // The slot comes back within one interval: a request, and its ad shown.
    if (banner) {
      server.setAdReply(ad("rm", 1, "", "<p>again</p>"));
      const size_t asked = server.requestsTo(testkit::NubiraServer::kAdPath).size();
      const size_t finishes = count(heard->events, "finish");
      advance(banner->refreshInterval() + 1);
      settleTraffic();
      EXPECT_GT(server.requestsTo(testkit::NubiraServer::kAdPath).size(), asked);
      EXPECT_EQ(count(heard->events, "finish"), finishes + 1) << ::testing::PrintToString(heard->events);
    }
    expectNothingOutlivesItsScreen();
  }

  void checkInterstitial(const Row& row) {
    SCOPED_TRACE(row.name);
    startRow();
    interstitial = NBAdInterstitial::create();
    made.push_back(interstitial);
    interstitial->setNbAppId("site-1");
    interstitial->setDelegate(interstitialHeard);
    holdAnswers(row);
    interstitial->loadRequest(nubira::NBAdRequest::request());
    settleTraffic();
    ASSERT_EQ(interstitialHeard->events, Events{"ready"});
    runSteps(row, [this] { return interstitialHeard->events; });
    if (HasFatalFailure()) return;

    closeWhatIsUp();
    clickHold->release();
    settleTraffic();
    runUntilIdle();
    expectWindowAsTheHostLeftIt();
    expectScreensHeardInOrder(interstitialHeard->events, !interstitial);
    expectTheTapLedThere(row);
    EXPECT_EQ(count(interstitialHeard->events, "timed out"), 0u);

    // Closed, it loads and shows again.
    if (interstitial) {
      EXPECT_EQ(interstitial->state(), nubira::NBAdInterstitialStateInit);
      interstitialHeard->events.clear();
      advance(21);
      interstitial->loadRequest(nubira::NBAdRequest::request());
      settleTraffic();
      EXPECT_EQ(interstitialHeard->events, Events{"ready"});
    }
    expectNothingOutlivesItsScreen();
  }

  testkit::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::View> container = std::make_shared<platform::View>(Rect(0, 100, 320, 50));
  std::shared_ptr<nubiratest::NBAdViewReports> heard = std::make_shared<nubiratest::NBAdViewReports>();
  std::shared_ptr<InterstitialHeard> interstitialHeard = std::make_shared<InterstitialHeard>();
  std::shared_ptr<NBAdView> banner;
  std::shared_ptr<NBAdInterstitial> interstitial;
  std::shared_ptr<AnswerHold> clickHold = std::make_shared<AnswerHold>();
  std::shared_ptr<AnswerHold> replyHold = std::make_shared<AnswerHold>();
  std::shared_ptr<AnswerHold> scriptHold = std::make_shared<AnswerHold>();
  std::vector<std::weak_ptr<const void>> made;
  std::vector<std::string> shownInBrowser;
  size_t openedBefore = 0;
  std::optional<size_t> heardAtRelease;
  bool statusBarHidden = false, idleTimerDisabled = false;
  std::vector<std::shared_ptr<platform::View>> windowViews;
};

TEST_F(NBEventOrderTest, Banner) {
  const std::string click = server.url("/click");
  const std::string landing = server.url("/landing");
  const std::string richMedia = ad("rm", 1, "", "<p>rich</p>");
  const std::string slowRichMedia = ad("rm", 1, "", "<script src=\"" + server.url("/held.js") + "\"></script>");
  const std::string leaving = ad("banner", 1, click, "<p>leaves</p>");
  const std::string browsing = ad("banner", 2, click, "<p>browses</p>");
  const std::string search = ad("search", 3, click, "<p>search</p>");
  const Row rows[] = {
      // A tap onto the store's application link.
      {"a browser ad's click redirects to the store's application link", browsing, "", kStoreApp, "tap click",
       kStoreApp},
      {"the page opens the browser on the store's application link", richMedia, "", kStoreApp, "open", kStoreApp},
      // Expansion against the next ad.
      {"the next ad arrives while the ad is expanded", richMedia, richMedia, "", "load expand reply"},
      {"the next ad arrives while expanded, then the page closes itself", richMedia, richMedia, "",
       "load expand reply pageClose"},
      {"the host lets go of the expanded banner before the next ad arrives", richMedia, richMedia, "",
       "load expand release reply"},
      {"expanded across resigning and becoming active", richMedia, "", "", "expand resign active wait"},
      {"the expanded ad opens the browser and the user closes it", richMedia, "", "", "expand open closeBrowser",
       landing},
      {"the expanded ad closes itself under the browser it opened", richMedia, "", "",
       "expand open pageClose closeBrowser", landing},
      {"the host dismisses the composer the expanded ad opened", richMedia, "", "", "expand sms hostDismisses"},
      {"the expanded ad closes itself under the composer it opened", richMedia, "", "", "expand sms pageClose"},
      // The page on screen acting while the next one loads.
      {"the page closes itself while the next ad loads", richMedia, slowRichMedia, "", "load pageClose script"},
      {"the page hides itself while the next ad loads", richMedia, slowRichMedia, "", "load pageHide script"},
      // The keyboard over a search ad.
      {"the keyboard comes up over a search ad, the next ad replaces it, the keyboard goes", search, leaving, "",
       "load keyUp reply keyDown"},
      {"the keyboard is up over a search ad while the application goes away and back", search, "", "",
       "keyUp background foreground keyDown"},
      {"the user taps the search ad's link with the keyboard up", search, "", "", "keyUp link click keyDown",
       landing, "present"},
      // Clicks and the application's life cycle.
      {"the application becomes active under the click's browser", browsing, "", "", "tap click resign active wait",
       landing},
      {"the click answers while the application is inactive", browsing, "", "", "tap resign click active", landing},
      {"the host dismisses the click's browser", browsing, "", "", "tap click hostDismisses", landing},
      {"a click that leaves the application, away and back", leaving, "", "", "tap click background foreground",
       landing},
      {"the host lets go of the banner while its click is under way", browsing, "", "", "tap release click"},
      {"the host lets go of the banner under the click's browser", browsing, "", "", "tap click release", landing},
      {"the host lets go of the banner under the composer its page opened", richMedia, "", "", "sms release"},
      // The next ad loading behind the one the user taps.
      {"a tap while the next ad is under way opens the browser of the ad tapped", browsing, leaving, "",
       "load tap reply click", landing, "present"},
      {"the next ad arrives in the background", browsing, richMedia, "", "load background reply foreground"},
      {"the next ad arrives under the click's browser", browsing, richMedia, "", "load tap click reply closeBrowser",
       landing},
  };
  for (const auto& row : rows) {
    checkBanner(row);
    if (HasFatalFailure()) return;
  }
}

TEST_F(NBEventOrderTest, Interstitial) {
  const std::string landing = server.url("/landing");
  const Row rows[] = {
      {"the page opens the browser on the store's application link", "", "", kStoreApp, "present open", kStoreApp},
      {"the page closes itself under the browser it opened", "", "", "", "present open pageClose settle", landing},
      {"the page closes itself under the message composer it opened", "", "", "", "present sms pageClose settle"},
      {"the user taps close as the page closes itself", "", "", "", "present pageClose closeButton"},
      {"the user closes the browser, then the ad", "", "", "", "present open closeBrowser", landing},
      {"the application goes away and back while the ad is shown", "", "", "", "present resign background foreground"},
      {"the host dismisses the ad itself", "", "", "", "present hostDismisses"},
      {"the host dismisses the ad under the composer it opened", "", "", "", "present sms hostDismisses"},
      {"the host dismisses the ad under the browser it opened", "", "", "", "present open hostDismisses", landing},
      {"the host lets go of the ad while it is shown", "", "", "", "present release"},
  };
  for (const auto& row : rows) {
    checkInterstitial(row);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
