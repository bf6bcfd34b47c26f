// A page acts for the user only after the user touched it, through real pages in the web
// view: with no touch nothing reaches beyond the ad; one touch gets one act however often the
// page asks; vibrations need no touch but come at most once in a while; an ad that is not on
// screen takes nobody out of the ad but may still talk to the client; full-screen pages open
// over one another only on fresh touches, and a page the platform would not present is
// neither announced nor waited for.
#include <gtest/gtest.h>

#include <algorithm>

#include "QLTestPrinters.h"

#include "QLAdAllowance.h"
#include "QLNetworkUtilities.h"
#include "QLShownBannerTest.h"
#include "QLViewController.h"
#include "QLWebAppViewController.h"
#include "platform/application.h"
#include "platform/composers.h"
#include "platform/log.h"
#include "platform/media.h"
#include "platform/notification_center.h"
#include "platform/user_defaults.h"
#include "quillon/QLBannerView.h"
#include "quillon/QLInterstitial.h"
#include "testing/quillon_server.h"

namespace {

using testkit::QuillonServer;

size_t count(const std::vector<std::string>& lines, const std::string& fragment) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                           [&](const std::string& l) { return l.find(fragment) != std::string::npos; }));
}

// An ad page that asks for everything in `commands` five times over at each of `seconds`
// after it loaded.
std::string askingPage(const std::vector<std::string>& commands, const std::vector<double>& seconds = {0.5, 5}) {
  std::string fire;
  for (const auto& c : commands) fire += "window.location = '" + c + "';";
  std::string timers;
  for (double at : seconds) timers += "setTimeout(fire, " + std::to_string(static_cast<int>(at * 1000)) + ");";
  return "<html><body><div id=\"pad\">ad</div><script>function fire() { for (var i = 0; i < 5; i++) {" + fire +
         "} } " + timers + "</script></body></html>";
}

class QLUserActsTest : public quillon_test::QLShownBannerTest {
 protected:
  void SetUp() override {
    QLShownBannerTest::SetUp();
    platform::NotificationCenter::defaultCenter().addObserver(
        this, quillon::kQLWillPresentFullScreenNotification, nullptr,
        [this](const platform::Notification&) { ++presentations; });
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    QLShownBannerTest::TearDown();
  }
  // The system's mail composer on screen: 1, else 0 (it is not announced as the client's
  // own pages are).
  size_t composers() {
    return std::dynamic_pointer_cast<platform::MailComposeViewController>(root->presentedViewController()) ? 1 : 0;
  }
  // Everything that reaches beyond the ad, whichever kind.
  size_t acts() {
    return platform::Application::sharedApplication().openedURLs().size() + presentations + composers() +
           server.requestsTo("/click/c").size() + server.requestsTo("/impression/p").size() +
           platform::SystemSounds::played().size();
  }
  // The acts seen once the navigations the page queued, and the traffic they start (a click
  // report reaching the server over loopback), have all run: one that should not come has had
  // every chance to show.
  size_t settledActs() {
    EXPECT_TRUE(settleTraffic());
    return acts();
  }
  // Lets a presentation end, closes what it showed and lets that end: two seconds.
  void closeWhatIsShown() {
    advance(1);
    if (auto page = std::dynamic_pointer_cast<quillon::QLViewController>(root->presentedViewController())) {
      page->relinquishScreen();
    } else if (root->presentedViewController()) {
      root->dismissModalViewControllerAnimated(false);
    }
    advance(1);
    EXPECT_EQ(root->presentedViewController(), nullptr);
  }

  size_t presentations = 0;
};

TEST_F(QLUserActsTest, NoActWithoutATouchAndOneActPerTouch) {
  const std::string landing = server.url("/landing/t");
  server.addClick("t");
  server.addClick("c");
  struct Case {
    const char* name;
    std::string command;
    // Untouched, the ad's own link stays a navigation inside the ad: it leaves the page, so
    // that row asks only from the touch on.
    bool asksUntouchedFirst = true;
  };
  const Case cases[] = {
      {"another application", "qmsg:///open?a=app&u=tel%3A5550100"},
      {"a bare dial", "tel:5550101"},
      {"a bare message", "sms:5550102"},
      {"an application store", "itms-apps://store.example/app/id1"},
      {"the mail composer", "mailto:ads@example.com?subject=Hi"},
      {"the in-app browser", "qmsg:///open?a=browser&u=" + quillon::QLNetworkUtilities::encodeURL(landing)},
      {"a web-app page", "qmsg:///open?a=webapp&html=%3Chtml%3Ehello%3C%2Fhtml%3E"},
      {"a click report", "qmsg:///click?u=" + quillon::QLNetworkUtilities::encodeURL(server.clickURL("c"))},
      {"the ad's own link, as a click", landing, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::LogCapture log;
    loadBanner(askingPage({c.command}, c.asksUntouchedFirst ? std::vector<double>{0.5, 5, 9.5}
                                                            : std::vector<double>{5, 9.5}));
    server.http().clearRequests();
    size_t before = acts();
    if (c.asksUntouchedFirst) {
      // Nobody touched the ad; the page asks five times: nothing.
      advance(0.5);
      EXPECT_EQ(settledActs(), before);
      advance(4);
    } else {
      advance(4.5);
    }
    // The user touches the ad; the page then asks five times: once.
    window->tapAtPoint({5, 5});
    advance(0.5);
    EXPECT_EQ(settledActs(), before + 1);
    closeWhatIsShown();

    // Long after that touch the page asks five times again: nothing.
    before = acts();
    advance(2.5);
    EXPECT_EQ(settledActs(), before);
    closeWhatIsShown();
    // All the refusals, one line for the page.
    EXPECT_EQ(count(log.lines(), ": the user has not touched the page."), 1u);
    EXPECT_EQ(banner->stateForTesting(), 6);  // the ad stays where it is
  }

  // A vibration takes no touch, but the ad vibrates once in a while, not whenever it asks.
  platform::LogCapture log;
  loadBanner(askingPage({"qmsg:///vibrate"}));
  size_t before = acts();
  advance(0.5);
  EXPECT_EQ(settledActs(), before + 1);
  advance(4.5);
  EXPECT_EQ(settledActs(), before + 1);
  EXPECT_EQ(count(log.lines(), "the ad has vibrated within the last 5 seconds."), 1u);
  // Once the interval has passed, it may again.
  advance(quillon::QLAdAllowance::kVibrationInterval);
  loadBanner(askingPage({"qmsg:///vibrate"}));
  before = acts();
  advance(0.5);
  EXPECT_EQ(settledActs(), before + 1);
}

TEST_F(QLUserActsTest, AnAdThatIsNotOnScreenTakesNobodyOutOfTheAdButMaySpeakToTheClient) {
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  server.addClick("c");
  // Five times over: what would take the user out of the ad. Once: what only talks to the
  // client (a ping of its own, its settings).
  std::string page = askingPage({
      "qmsg:///open?a=app&u=tel%3A5550100",
      "tel:5550101",
      "mailto:ads@example.com",
      "qmsg:///open?a=webapp&html=x",
      "qmsg:///click?u=" + quillon::QLNetworkUtilities::encodeURL(server.clickURL("c")),
  });
  page.insert(page.find("</body>"),
              "<script>setTimeout(function () { window.location = 'qmsg:///httpTrack?u=" +
                  quillon::QLNetworkUtilities::encodeURL(server.impressionURL("p")) +
                  "'; window.location = 'qmsg:///settings?applicationTimeout=2.5'; }, 500);</script>");
  auto leavingActs = [&] {
    return platform::Application::sharedApplication().openedURLs().size() + presentations + composers() +
           server.requestsTo("/click/c").size();
  };
  auto interstitial = quillon::QLInterstitial::create();
  struct Case {
    const char* name;
    // Puts the ad that asks out of sight (the banner, loaded and shown first, or the interstitial).
    std::function<void()> hideAd;
    bool banner = true;
  };
  const Case cases[] = {
      {"a hidden banner", [&] { banner->setHidden(true); }},
      {"a banner taken from its window", [&] { banner->removeFromSuperview(); }},
      {"a banner in a window that is hidden", [&] { window->setHidden(true); }},
      {"an interstitial loaded and not presented",
       [&] {
         banner->removeFromSuperview();
         server.setAdPage(page);
         interstitial->loadRequest(quillon::QLRequest::request());
         ASSERT_TRUE(runUntil([&] { return interstitial->isReady(); }));
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window->addSubview(banner);
    banner->setHidden(false);
    window->setHidden(false);
    defaults.setDoubleForKey(5, "applicationTimeout");
    if (c.banner) loadBanner(page);
    platform::LogCapture log;
    server.http().clearRequests();
    const size_t before = leavingActs();
    c.hideAd();
    // A finger where the ad was, and a tap on the page itself: neither reaches it.
    window->tapAtPoint({5, 5});
    banner->webView()->tapLinkWithElementIdForTesting("pad");
    advance(0.5);
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(leavingActs(), before);
    // Five of each, one line for each kind (both openings are one kind) for the page.
    EXPECT_EQ(count(log.lines(), "from a page that is not shown."), 4u);
    // What only talks to the client is heard.
    EXPECT_EQ(server.requestsTo("/impression/p").size(), 1u);
    EXPECT_EQ(defaults.doubleForKey("applicationTimeout"), 2.5);
  }
}

TEST_F(QLUserActsTest, FullScreenPagesDoNotStackAndARefusedOneIsNeitherAnnouncedNorAwaited) {
  // Each banner page opens a web-app page on its "open", half a second after it loaded.
  const std::string open = "qmsg:///open?a=webapp&html=%3Chtml%3Epage%3C%2Fhtml%3E";
  server.setAdAnswer(askingPage({open}), {{"X-Quillon-Refresh-Rate", "30"}});
  banner->loadRequest(quillon::QLRequest::request());
  ASSERT_TRUE(runUntil([&] { return recorder->events.size() == 1; }));

  // The host is presenting a screen of its own when the user's touch makes the page open:
  // the platform will not present over a presentation under way.
  auto hostScreen = platform::ViewController::create();
  window->tapAtPoint({5, 5});
  advance(0.3);
  root->presentModalViewControllerAnimated(hostScreen, true);
  platform::LogCapture log;
  advance(0.2);
  ASSERT_TRUE(settleTraffic());
  EXPECT_EQ(count(log.lines(), "<Quillon> The full-screen page could not be presented."), 1u);
  EXPECT_EQ(presentations, 0u);
  EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
  EXPECT_EQ(root->presentedViewController(), hostScreen);
  advance(0.2);
  root->dismissModalViewControllerAnimated(false);
  advance(1);
  // Nothing of the client's is on screen, so the refresh comes at its time.
  advance(28.5);
  ASSERT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 2u);
  ASSERT_TRUE(runUntil([&] { return recorder->events.size() == 2; }));

  // A first page, then the pages each one opens.
  window->tapAtPoint({5, 5});
  advance(0.5);
  ASSERT_TRUE(settleTraffic());
  advance(1);
  auto first = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(root->presentedViewController());
  ASSERT_TRUE(first);
  ASSERT_TRUE(runUntil([&] { return !first->webView()->isLoading(); }));
  // Each page opens the next on a fresh touch of its own; without one, a page's script
  // stacks nothing, nor does the banner under the pages.
  struct Step {
    const char* name;
    bool touched;
    bool fromBanner;
    bool opens;
    const char* refusal;
  };
  const Step steps[] = {
      {"the first page, touched", true, false, true, nullptr},
      {"the page it opened, touched", true, false, true, nullptr},
      {"that page's script, untouched", false, false, false, ": the user has not touched the page."},
      {"the page it opened, touched", true, false, true, nullptr},
      {"the banner under the pages, touched", true, true, false,
       "<Quillon> Not opening a page while a page of the client is on screen."},
  };
  std::vector<std::shared_ptr<quillon::QLWebAppViewController>> pages{first};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    log.clear();
    const size_t presentedBefore = presentations;
    auto top = pages.back();
    platform::WebView& asking = step.fromBanner ? *banner->webView() : *top->webView();
    if (step.touched && step.fromBanner) {
      ASSERT_TRUE(banner->webView()->tapLinkWithElementIdForTesting("pad"));
    } else if (step.touched) {
      window->tapAtPoint({160, 240});
    } else {
      advance(2);  // the last touch is long gone
    }
    asking.stringByEvaluatingJavaScriptFromString("window.location = '" + open + "';");
    ASSERT_TRUE(settleTraffic());
    advance(1);
    auto next = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(top->presentedViewController());
    EXPECT_EQ(next != nullptr, step.opens);
    EXPECT_EQ(presentations, presentedBefore + (step.opens ? 1 : 0));
    if (step.refusal) {
      EXPECT_EQ(count(log.lines(), step.refusal), 1u);
    }
    if (next) {
      pages.push_back(next);
      ASSERT_TRUE(runUntil([&] { return !next->webView()->isLoading(); }));
    }
  }
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "receive", "willPresent"}));

  first.reset();
  while (!pages.empty()) {
    pages.back()->relinquishScreen();
    pages.pop_back();
    advance(1);
  }
  advance(3);  // the pages' web views are let go two seconds after their controllers
  ASSERT_EQ(recorder->events.back(), "didDismiss");
}

}  // namespace
