// Taps on the banner over loopback: the click request, the redirect's action type choosing the
// in-app browser or leaving the application, the refresh timer around them, the routing of
// what the ad's pages try to load, and the browser itself.
#include <gtest/gtest.h>

#include "NBAdViewReports.h"
#include "NBEmbeddedWebViewController.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/bars.h"
#include "platform/navigation_controller.h"
#include "platform/text_quoting.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdView;
using platform::WebViewNavigationType;

class NBAdViewClickTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    freshView();
  }
  void freshView() {
    if (view) view->removeFromSuperview();
    heard = std::make_shared<nubiratest::NBAdViewReports>();
    // The browser comes on a later turn than the report that it will.
    heard->onEvent = [this](const std::string& e) {
      if (e == "present" && view && view->browserForTesting()) heard->events.back() = "present after browser";
    };
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    root = std::make_shared<platform::ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    view = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(platform::Rect(0, 0, 320, 50), "site-1", 15,
                                                                     root);
    view->setDelegate(heard);
  }
  void TearDown() override {
    platform::Application::sharedApplication().registerOpenableScheme("http");
    testkit::SandboxTest::TearDown();
  }
  void loadBanner(const std::string& target, int actionType, const std::string& markup = "<p>ad</p>") {
    server.setAdReply("<?xml version=\"1.0\"?><Response><Ad type=\"banner\" actionType=\"" +
                      std::to_string(actionType) + "\" width=\"320\" height=\"50\"><AdURL>" + target +
                      "</AdURL><![CDATA[" + markup + "]]></Ad></Response>");
    // Joining the window starts the first load.
    window->addSubview(view);
    advance(0.5);
    ASSERT_EQ(heard->events, std::vector<std::string>{"finish"});
    heard->events.clear();
  }
  // The user's tap on a link to `url` in the ad's page (the link is added to the page first),
  // or a navigation the page makes itself. Each leaves no touch behind for the next.
  void navigate(const std::shared_ptr<platform::WebView>& page, const std::string& url, WebViewNavigationType type) {
    if (type == WebViewNavigationType::LinkClicked) {
      page->stringByEvaluatingJavaScriptFromString("var a = document.createElement('a'); a.setAttribute('href', " +
                                                   platform::quoteScriptString(url) + "); document.body.appendChild(a);");
      ASSERT_TRUE(page->tapLinkWithURLForTesting(url));
    } else {
      page->injectNavigationForTesting(platform::URLRequest(url), type);
    }
  }
  void letTheTouchExpire() { advance(platform::kUserActivationSeconds); }
  const std::vector<std::string>& opened() const { return platform::Application::sharedApplication().openedURLs(); }

  testkit::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root;
  std::shared_ptr<nubiratest::NBAdViewReports> heard;
  std::shared_ptr<NBAdView> view;
};

TEST_F(NBAdViewClickTest, RedirectActionTypeChoosesBrowserOrLeavingTheApplication) {
  struct Case {
    const char* name;
    int hops;
    std::optional<std::string> actionType;
    bool httpOpenable;
    std::vector<std::string> events;
    bool browser;
    bool openedLanding;
    bool timerAfter;
    bool busy = false;  // the root controller already shows a screen
  };
  const Case cases[] = {
      {"type 1 leaves", 2, "1", true, {"leave"}, false, true, false},
      {"new type 2 opens the browser", 2, "2", true, {"present"}, true, false, false},
      {"no redirect: nothing, refresh resumes", 0, std::nullopt, true, {}, false, false, true},
      {"unopenable: nothing, refresh resumes", 2, "1", false, {}, false, false, true},
      {"a screen already up: the browser goes over it", 2, "2", true, {"present"}, true, false, false, true},
  };
  auto& app = platform::Application::sharedApplication();
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    freshView();
    app.registerOpenableScheme("http");
    const std::string id = "c" + std::to_string(n++);
    const std::string first = server.addClickChain(id, c.hops, c.actionType);
    loadBanner(first, 1);
    if (!c.httpOpenable) app.unregisterOpenableScheme("http");
    if (c.busy) root->presentModalViewControllerAnimated(std::make_shared<platform::ViewController>(), false);
    const size_t openedBefore = opened().size();
    // A second tap while the click is under way starts nothing.
    EXPECT_EQ(window->tapAtPoint(platform::Point{10, 10}), view->hideWebViewForTesting());
    window->tapAtPoint(platform::Point{10, 10});
    EXPECT_TRUE(view->isTouchedDownOnAdForTesting());
    EXPECT_FALSE(view->isRefreshTimerRunningForTesting());
    settleTraffic();
    ASSERT_FALSE(server.requestsTo("/landing/" + id).empty());
    EXPECT_EQ(server.requestsTo("/nbclick/" + id + "/0").size(), c.hops ? 1u : 0u);
    EXPECT_EQ(heard->events, c.events);
    EXPECT_EQ(view->browserForTesting() != nullptr, c.browser);
    const bool openedLanding = opened().size() > openedBefore &&
                               opened().back() == server.url("/landing/" + id + "?a=1&b=2");
    EXPECT_EQ(openedLanding, c.openedLanding);
    EXPECT_EQ(view->isRefreshTimerRunningForTesting(), c.timerAfter);
    EXPECT_EQ(view->isTouchedDownOnAdForTesting(), c.browser);
    if (c.browser) {
      auto browser = view->browserForTesting();
      EXPECT_NE(root->presentedViewController(), nullptr);
      runUntilIdle();
      advance(platform::kModalTransitionDuration);
      ASSERT_TRUE(browser->webView()->request().has_value());
      EXPECT_FALSE(browser->webView()->isLoading());
      EXPECT_EQ(browser->webView()->request()->url(), server.url("/landing/" + id + "?a=1&b=2"));
      heard->events.clear();
      EXPECT_TRUE(browser->closeItem()->tap());
      EXPECT_EQ(heard->events, std::vector<std::string>{"will dismiss"});
      runUntilIdle();
      advance(platform::kModalTransitionDuration);
      runUntilIdle();
      EXPECT_EQ(heard->events, (std::vector<std::string>{"will dismiss", "did dismiss"}));
      EXPECT_TRUE(view->isRefreshTimerRunningForTesting());
      EXPECT_FALSE(view->isTouchedDownOnAdForTesting());
      EXPECT_EQ(view->browserForTesting(), nullptr);
    }
  }
}

// However the browser goes once its landing page is up, the host hears it go in order and
// the banner is its own again at once: the click is over, the refresh runs, and the next tap
// clicks and opens a browser again.
TEST_F(NBAdViewClickTest, TheBannerIsBackAtOnceHoweverItsBrowserCloses) {
  using Close = std::function<void(nubira::NBEmbeddedWebViewController&)>;
  const std::pair<const char*, Close> cases[] = {
      {"its close button", [](nubira::NBEmbeddedWebViewController& b) { EXPECT_TRUE(b.closeItem()->tap()); }},
      {"the host dismisses it without animation",
       [this](nubira::NBEmbeddedWebViewController&) { root->dismissModalViewControllerAnimated(false); }},
      {"its navigation controller is dismissed without animation",
       [](nubira::NBEmbeddedWebViewController& b) { b.navigationController()->dismissModalViewControllerAnimated(false); }},
  };
  int n = 0;
  for (const auto& [name, close] : cases) {
    SCOPED_TRACE(name);
    freshView();
    const std::string id = "b" + std::to_string(n++);
    loadBanner(server.addClickChain(id, 1, std::string("2")), 1);
    for (int tap = 0; tap < 2; ++tap) {
      window->tapAtPoint(platform::Point{10, 10});
      settleTraffic();
      runUntilIdle();
      advance(platform::kModalTransitionDuration);
      auto browser = view->browserForTesting();
      ASSERT_NE(browser, nullptr) << "tap " << tap;
      ASSERT_TRUE(runUntil([&] { return !browser->webView()->isLoading(); }));
      EXPECT_EQ(browser->webView()->request()->url(), server.url("/landing/" + id + "?a=1&b=2"));
      EXPECT_EQ(heard->events, std::vector<std::string>{"present"});
      heard->events.clear();
      if (tap == 0) {
        close(*browser);
      } else {
        EXPECT_TRUE(browser->closeItem()->tap());
      }
      runUntilIdle();
      advance(platform::kModalTransitionDuration);
      runUntilIdle();
      EXPECT_EQ(heard->events, (std::vector<std::string>{"will dismiss", "did dismiss"}));
      heard->events.clear();
      EXPECT_EQ(root->presentedViewController(), nullptr);
      EXPECT_EQ(view->browserForTesting(), nullptr);
      EXPECT_EQ(browser->view()->window(), nullptr);
      EXPECT_FALSE(view->isTouchedDownOnAdForTesting());
      EXPECT_TRUE(view->isRefreshTimerRunningForTesting());
    }
    // Each tap: the click's chain reaches the landing page, then the browser shows it.
    EXPECT_EQ(server.requestsTo("/landing/" + id).size(), 4u);
  }
}

TEST_F(NBAdViewClickTest, PageNavigationsActOnlyOnTheUsersTap) {
  server.http().setAnswer("/ref", testkit::ScriptedAnswer::redirect(server.url("/final")));
  server.http().setAnswer("/final", testkit::ScriptedAnswer::html("<p>final</p>"));
  loadBanner(server.url("/click"), 1);
  auto page = view->webView1ForTesting();
  struct Case {
    std::string url;
    WebViewNavigationType type;
    std::optional<std::string> opens;  // what the system is asked to open, if anything
  };
  const std::string store = std::string("http://") + nubira::NBEmbeddedWebViewController::kStoreWebHost + "/app/1";
  const Case cases[] = {
      {"file:///etc/hosts", WebViewNavigationType::LinkClicked, std::nullopt},
      {"tel:5551234", WebViewNavigationType::Other, std::nullopt},
      {"tel:5551234", WebViewNavigationType::LinkClicked, "tel:5551234"},
      {"tel:555%3B*21%23", WebViewNavigationType::LinkClicked, std::nullopt},
      {"sms:5551234", WebViewNavigationType::Other, std::nullopt},
      {"sms:5551234", WebViewNavigationType::LinkClicked, "sms:5551234"},
      {server.url("/ref"), WebViewNavigationType::Other, std::nullopt},
      // A referral follows its redirects and opens where they end.
      {server.url("/ref"), WebViewNavigationType::LinkClicked, server.url("/final")},
      // A referral that fails still opens the last address it reached.
      {store, WebViewNavigationType::LinkClicked, store},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url + (c.type == WebViewNavigationType::Other ? " (page)" : " (tap)"));
    const size_t before = opened().size();
    navigate(page, c.url, c.type);
    // A referral followed by mistake would open where it ends, once its traffic has settled.
    settleTraffic();
    EXPECT_EQ(opened().size(), before + (c.opens ? 1 : 0));
    if (c.opens) {
      EXPECT_EQ(opened().back(), *c.opens);
    }
    EXPECT_EQ(page->request()->url(), "about:blank");
    letTheTouchExpire();
  }
  EXPECT_TRUE(heard->events.empty());
}

TEST_F(NBAdViewClickTest, BrowserFollowsHistoryAndHandsStoreLinksToTheSystem) {
  const std::string store = std::string("https://") + nubira::NBEmbeddedWebViewController::kStoreMediaHost + "/a";
  server.http().setAnswer(
      "/p1", testkit::ScriptedAnswer::html("<a id=\"next\" href=\"/p2\">n</a><a id=\"store\" href=\"" + store +
                                           "\">s</a><a id=\"file\" href=\"file:///etc/hosts\">f</a>"));
  server.http().setAnswer("/p2", testkit::ScriptedAnswer::html("<p>two</p>"));
  auto browser = nubira::NBEmbeddedWebViewController::create();
  browser->setUrlString(server.url("/p1"));
  auto navigation = platform::NavigationController::createWithRootViewController(browser);
  root->presentModalViewControllerAnimated(navigation, true);
  runUntilIdle();
  advance(platform::kModalTransitionDuration);
  auto web = browser->webView();
  auto shows = [&](const std::string& path) {
    settleTraffic();
    return !web->isLoading() && web->request() && web->request()->url() == server.url(path);
  };
  ASSERT_TRUE(shows("/p1"));
  EXPECT_FALSE(navigation->isToolbarHidden());
  EXPECT_FALSE(browser->backItem()->isEnabled());
  EXPECT_FALSE(browser->fwdItem()->isEnabled());
  for (const char* refused : {"store", "file"}) web->tapLinkWithElementIdForTesting(refused);
  runUntilIdle();
  EXPECT_EQ(opened(), std::vector<std::string>{store});
  EXPECT_EQ(web->request()->url(), server.url("/p1"));
  // Any other load stays in the browser, whatever its scheme, one another application could
  // open included; only the disk is out of reach.
  platform::Application::sharedApplication().registerOpenableScheme("myapp");
  const std::pair<const char*, bool> loads[] = {
      {"myapp://open/1", true},      {"sms:5551234", true},          {"about:srcdoc", true},
      {"file:///etc/hosts", false}, {"FILE:///etc/hosts", false}, {"File://localhost/etc/hosts", false},
  };
  for (const auto& [url, allowed] : loads) {
    SCOPED_TRACE(url);
    EXPECT_EQ(web->delegate()->webViewShouldStartLoadWithRequestNavigationType(web, platform::URLRequest(url),
                                                                               WebViewNavigationType::LinkClicked),
              std::optional<bool>(allowed));
  }
  EXPECT_EQ(opened(), std::vector<std::string>{store});
  web->tapLinkWithElementIdForTesting("next");
  ASSERT_TRUE(shows("/p2"));
  EXPECT_TRUE(browser->backItem()->isEnabled());
  EXPECT_FALSE(browser->fwdItem()->isEnabled());
  browser->backItem()->tap();
  ASSERT_TRUE(shows("/p1"));
  EXPECT_FALSE(browser->backItem()->isEnabled());
  EXPECT_TRUE(browser->fwdItem()->isEnabled());

  // Opening the page outside asks first; cancelling opens nothing.
  for (bool cancel : {true, false}) {
    browser->safariItem()->tap();
    auto sheet = platform::ActionSheet::shownSheets().at(cancel ? 0 : 1);
    EXPECT_EQ(sheet->shownFromBarButtonItem(), browser->safariItem());
    EXPECT_EQ(sheet->buttonTitleAtIndex(0) + "|" + sheet->buttonTitleAtIndex(1), "Open in Safari|Cancel");
    sheet->clickButtonAtIndex(cancel ? sheet->cancelButtonIndex() : 0);
    EXPECT_EQ(opened().size(), cancel ? 1u : 2u);
  }
  EXPECT_EQ(opened().back(), server.url("/p1"));
}

// A rich-media page opens its landing page only on the user's touch, and that is no click of
// the banner: the host hears nothing, coming or going, and the refresh runs on throughout.
TEST_F(NBAdViewClickTest, ARichMediaPageOpensTheBrowserOnATouchAndTellsTheHostNothing) {
  server.http().setAnswer("/landing", testkit::ScriptedAnswer::html("<p>landing</p>"));
  for (bool touched : {true, false}) {
    SCOPED_TRACE(touched ? "after a touch" : "on its own");
    freshView();
    server.setAdReply(
        "<?xml version=\"1.0\"?><Response><Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\">"
        "<![CDATA[<p>rich</p>]]></Ad></Response>");
    window->addSubview(view);
    advance(0.5);
    ASSERT_EQ(heard->events, std::vector<std::string>{"finish"});
    heard->events.clear();
    if (touched) window->tapAtPoint(platform::Point{10, 10});
    view->webView1ForTesting()->stringByEvaluatingJavaScriptFromString("mraid.open('" + server.url("/landing") +
                                                                       "');");
    runUntilIdle();
    advance(platform::kModalTransitionDuration);
    auto browser = view->browserForTesting();
    ASSERT_EQ(browser != nullptr, touched);
    EXPECT_TRUE(view->isRefreshTimerRunningForTesting());
    if (browser) {
      ASSERT_TRUE(runUntil([&] { return !browser->webView()->isLoading(); }));
      EXPECT_EQ(browser->webView()->request()->url(), server.url("/landing"));
      EXPECT_TRUE(view->isRefreshTimerRunningForTesting());
      EXPECT_TRUE(browser->closeItem()->tap());
      runUntilIdle();
      advance(platform::kModalTransitionDuration);
      runUntilIdle();
      EXPECT_EQ(root->presentedViewController(), nullptr);
    }
    EXPECT_TRUE(heard->events.empty()) << ::testing::PrintToString(heard->events);
    EXPECT_TRUE(view->isRefreshTimerRunningForTesting());
    EXPECT_FALSE(view->isTouchedDownOnAdForTesting());
    letTheTouchExpire();
  }
}

TEST_F(NBAdViewClickTest, TouchesTintTheOverlayAndClickOnlyWhenLiftedInside) {
  // Down at (10, 10), then up (or cancelled) at the point given.
  const std::tuple<const char*, std::optional<platform::Point>, bool> cases[] = {
      {"inside", platform::Point{20, 30}, true},
      {"outside", platform::Point{10, 200}, false},
      {"cancelled", std::nullopt, false},
  };
  for (const auto& [name, up, clicks] : cases) {
    SCOPED_TRACE(name);
    freshView();
    loadBanner(server.addClickChain(name, 0, std::nullopt), 1);
    auto overlay = view->hideWebViewForTesting();
    EXPECT_EQ(window->touchDownAtPoint({10, 10}), overlay);
    EXPECT_EQ(overlay->backgroundColor(), platform::Color::white(0, 0.2));
    if (up) {
      window->touchMovedToPoint(*up);
      window->touchUpAtPoint(*up);
    } else {
      window->touchCancel();
    }
    EXPECT_EQ(overlay->backgroundColor(), platform::Color::clearColor());
    EXPECT_EQ(view->isTouchedDownOnAdForTesting(), clicks);
    settleTraffic();
    EXPECT_FALSE(view->isTouchedDownOnAdForTesting());
    EXPECT_EQ(server.requestsTo(std::string("/landing/") + name).size(), clicks ? 1u : 0u);
  }
  // While the next ad is being asked for, the ad on screen still takes the touch: it is the
  // one the user sees, and the one its click is for.
  auto stalled = testkit::ScriptedAnswer::text("");
  stalled.stall = true;
  server.setAdAnswer(stalled);
  advance(21);
  view->loadNBAdRequest();
  window->touchDownAtPoint({10, 10});
  EXPECT_EQ(view->hideWebViewForTesting()->backgroundColor(), platform::Color::white(0, 0.2));
}

// A click that fails tells the publisher nothing, opens nothing and gives the banner back: the
// next tap clicks again, and the next refresh is not held as a click in progress.
TEST_F(NBAdViewClickTest, AFailedClickLeavesTheBannerClickable) {
  auto hangUp = testkit::ScriptedAnswer::text("");
  hangUp.dropBeforeHead = true;
  hangUp.dropAfterBodyBytes = 0;
  server.http().setAnswer("/hang-up", hangUp);
  server.http().setAnswer("/ring/a", testkit::ScriptedAnswer::redirect(server.url("/ring/b")));
  server.http().setAnswer("/ring/b", testkit::ScriptedAnswer::redirect(server.url("/ring/a")));
  const std::pair<const char*, const char*> cases[] = {{"the server hangs up", "/hang-up"},
                                                       {"the redirects never end", "/ring/a"}};
  for (const auto& [name, path] : cases) {
    SCOPED_TRACE(name);
    freshView();
    loadBanner(server.url(path), 2);
    for (int tap = 1; tap <= 2; ++tap) {
      SCOPED_TRACE(tap);
      const size_t asked = server.requestsTo(path).size();
      window->tapAtPoint(platform::Point{10, 10});
      EXPECT_TRUE(view->isTouchedDownOnAdForTesting());
      // The refresh timer starts again when the click has failed.
      settleTraffic();
      ASSERT_TRUE(view->isRefreshTimerRunningForTesting());
      EXPECT_FALSE(view->isTouchedDownOnAdForTesting());
      EXPECT_GT(server.requestsTo(path).size(), asked);
      EXPECT_TRUE(heard->events.empty());
      EXPECT_TRUE(opened().empty());
      EXPECT_EQ(root->presentedViewController(), nullptr);
    }
    // The refresh a full interval after the failure loads the next ad.
    advance(NBAdView::kDefaultRefreshInterval);
    EXPECT_EQ(heard->events, std::vector<std::string>{"finish"});
  }
}

TEST_F(NBAdViewClickTest, LinksOfASearchAdClickWithTheirQuery) {
  loadBanner(server.addClickChain("s", 0, std::nullopt), 3);
  EXPECT_EQ(view->hideWebViewForTesting()->superview(), nullptr);
  // The query of the click request each link gives, when it gives one.
  const std::tuple<std::string, WebViewNavigationType, std::optional<std::string>> cases[] = {
      {"http://x.example/s?q=birds&n=2", WebViewNavigationType::LinkClicked, "q=birds&n=2"},
      {"http://x.example/s?q=cats", WebViewNavigationType::Other, std::nullopt},
      {"http://x.example/s?first?second", WebViewNavigationType::LinkClicked, "first?second"},
  };
  size_t clicks = 0;
  for (const auto& [link, type, query] : cases) {
    SCOPED_TRACE(link);
    navigate(view->webView1ForTesting(), link, type);
    if (query) ++clicks;
    // A link that is no click would have reached the landing page by the time traffic settles.
    settleTraffic();
    EXPECT_FALSE(view->isTouchedDownOnAdForTesting());
    ASSERT_EQ(server.requestsTo("/landing/s").size(), clicks);
    if (query) {
      EXPECT_EQ(server.requestsTo("/landing/s").back().query, *query);
    }
    letTheTouchExpire();
  }
  EXPECT_TRUE(opened().empty());
}

}  // namespace
