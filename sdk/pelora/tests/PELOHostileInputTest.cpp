// Hostile ad answers and pages, served by the sandbox server and run in the real web view:
// texts that try to leave their place in the ad page, commands from pages that do not show
// the ad (still hidden, replaced, or a landing page), oversized and endless answers, a page
// that never stops, and format directives. Each attempt fails, is logged once, and the slot
// takes the next ad; the user's stored settings stay as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ORMMAConnector.h"
#include "PELOAdDownloader.h"
#include "PELOHttpConnector.h"
#include "PeloraTestSupport.h"
#include "pelora/PELOBannerView.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/user_defaults.h"
#include "platform/web_view.h"
#include "testing/runaway_scripts.h"
#include "platform/window.h"

namespace {

using pelora::ORMMAConnector;
using platform::Rect;
using platform::WebView;

// Breaks out of a single-quoted script string, a double-quoted attribute, the script element
// and the line, and calls alert() if any of that works.
const std::string kBreakOut = "';alert(1);'\"><script>alert(2)</script>\\\xE2\x80\xA8\xE2\x80\xA9";

size_t count(const std::vector<std::string>& lines, const std::string& fragment) {
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(fragment) != std::string::npos; }));
}

class PELOHostileInputTest : public pelora_test::PeloraSlotTest {
 protected:
  void SetUp() override {
    PeloraSlotTest::SetUp();
    pelora::PELOGlobalSettings::globalSettings()->setLogLevel(4);
    auto& defaults = platform::UserDefaults::standardUserDefaults();
    defaults.setBoolForKey(true, "PELOStartResult");
    defaults.setObjectForKey(platform::Value("f"), "gender_preference");
  }
  void TearDown() override {
    // Nothing hostile reached what the user stored.
    auto& defaults = platform::UserDefaults::standardUserDefaults();
    EXPECT_TRUE(defaults.boolForKey("PELOStartResult"));
    EXPECT_EQ(defaults.objectForKey("gender_preference"), platform::Value("f"));
    PeloraSlotTest::TearDown();
  }

  static std::string eval(const std::shared_ptr<WebView>& w, const std::string& script) {
    return w->stringByEvaluatingJavaScriptFromString(script);
  }
  // The slot is still in business: a plain ad comes and shows.
  void expectNextAdShows() {
    server->setAd(server->imageAd("next"));
    auto ad = load();
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(heard.back().banner->status(), 0);
    EXPECT_FALSE(ad->isHidden());
    EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  }
};

TEST_F(PELOHostileInputTest, AnswerTextsStayTextInTheAdPage) {
  struct Case {
    const char* name;
    std::function<testkit::PeloraAd()> ad;
    // A script whose value is "ok" when the page kept the text as data.
    std::string check;
  };
  const std::string click = server->clickURL("x") + "?q=" + kBreakOut;
  const Case cases[] = {
      {"text ad: the text and the click target", [&] { auto a = server->textAd(kBreakOut); a.clickUrl = click; return a; },
       "typeof openLink == 'function' && typeof shrink == 'function' ? 'ok' : 'broken'"},
      {"image ad: the click target and the picture",
       [&] {
         auto a = server->imageAd();
         a.clickUrl = click;
         a.imageUrl = kBreakOut;
         return a;
       },
       "document.getElementsByTagName('a').length == 1 && document.images.length == 1 ? 'ok' : 'broken'"},
      {"CDATA sections", [&] { auto a = server->textAd(kBreakOut + "]]"); a.cdata = true; return a; },
       "typeof openLink == 'function' ? 'ok' : 'broken'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto ad = show(c.ad());
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(heard.back().banner->status(), 0);
    EXPECT_EQ(eval(ad, c.check), "ok");
    EXPECT_TRUE(ad->alertsForTesting().empty());
  }
}

// A video ad plays its media file, and a tap opens its click address over the application.
// A media file that is no web address fails the ad with an error the host hears, and nothing
// of it is on screen. A video without a click address, or with one that is no web address,
// plays all the same; only the tap opens nothing then, and the video plays on.
TEST_F(PELOHostileInputTest, AVideoAdPlaysAndOpensOnlyWebAddresses) {
  auto& app = platform::Application::sharedApplication();
  const std::string media = server->url("/pelora/media/v.mp4");
  const std::string click = server->clickURL("v");
  struct Case {
    const char* name;
    std::string mediaFile, clickUrl;
    bool plays, opens;
  };
  const Case cases[] = {
      {"plain web addresses", media, click, true, true},
      {"web addresses written in capitals", "HTTPS://media.example/ad.mp4", "HTTP://" + server->host() + "/pelora/click/v",
       true, true},
      {"a video without a click address", media, "", true, false},
      {"a script to run on the tap", media, "javascript:alert(document.cookie)", true, false},
      {"a file of the phone to open on the tap", media, "file:///etc/hosts", true, false},
      {"a web address without a host", media, "http:///pelora/click/v", true, false},
      {"a picture from the phone's camera roll", "file:///var/mobile/Media/DCIM/100APPLE/IMG_0001.MOV", click, false,
       false},
      {"a script as the movie", "javascript:alert(1)", click, false, false},
      {"a movie inside the answer", "data:video/mp4;base64,AAAAIGZ0eXA=", click, false, false},
      {"no movie at all", "", click, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::PeloraAd video = server->imageAd("v");
    video.type = "VIDEO";
    video.mediaFile = c.mediaFile;
    video.clickUrl = c.clickUrl;
    const size_t clicksBefore = server->http().requestsTo("/pelora/click/v").size();
    platform::LogCapture log;
    show(video);
    ASSERT_FALSE(heard.empty());
    const auto player = view->moviePlayerForTesting();
    if (!c.plays) {
      EXPECT_EQ(heard.back().banner->status(), pelora::kPELOBannerStatusError);
      EXPECT_EQ(heard.back().banner->errorCode(), pelora::kPELOErrorCodeAdPageFailed);
      EXPECT_EQ(player, nullptr);
      EXPECT_EQ(view->activityIndicatorForTesting(), nullptr);
      EXPECT_TRUE(view->isHidden());
      EXPECT_EQ(count(log.lines(), "Refusing a video ad whose media file is not a web address"), 1u);
    } else {
      EXPECT_EQ(heard.back().banner->status(), 0);
      ASSERT_NE(player, nullptr);
      EXPECT_EQ(player->contentURL(), c.mediaFile);
      EXPECT_EQ(count(log.lines(), "Refusing a video ad"), 0u);
    }
    // The user touches where the banner is: a web click address opens its landing page; any
    // other leaves nothing over the application and the video where it was.
    window->tapAtPoint(platform::Point{160, 125});
    runUntilIdle();
    EXPECT_EQ(connector->bannerState() == ORMMAConnector::kExpanded, c.opens);
    const auto over = master->subviews();
    // the banner, and the landing page with its close button
    EXPECT_EQ(std::count_if(over.begin(), over.end(), [&](const auto& v) { return v == view || !v->isHidden(); }),
              c.opens ? 3 : 1);
    EXPECT_TRUE(app.openedURLs().empty());
    if (c.plays) {
      EXPECT_EQ(view->moviePlayerForTesting() != nullptr, !c.opens);
      EXPECT_EQ(count(log.lines(), "The video ad has no web address to open"), c.opens ? 0u : 1u);
    }
    if (c.opens) {  // the landing page is asked for; closing it asks for the next ad by itself
      if (c.clickUrl == click) {
        ASSERT_TRUE(runUntil([&] { return server->http().requestsTo("/pelora/click/v").size() > clicksBefore; }));
      }
      const size_t before = heard.size();
      connector->closeViewWithAnimation(false);
      advance(pelora::PELOAdDownloader::kStartDelay);
      ASSERT_GT(heard.size(), before);
      runUntilIdle();
    } else {
      EXPECT_EQ(server->http().requestsTo("/pelora/click/v").size(), clicksBefore);
    }
    view->stopVideoPlayback();
    expectNextAdShows();
  }
}

// A page may ask to expand anywhere and to any size: the ad stays inside the window the
// user sees (below the status bar), a size of nothing is refused, and the close button of a
// landing page stays on screen where the user's finger closes it.
TEST_F(PELOHostileInputTest, AnExpandedAdStaysOnScreenAndItsCloseButtonInReach) {
  const Rect window320x480(0, 0, 320, 480);
  struct Case {
    const char* command;
    std::optional<Rect> expanded;  // nullopt: refused
  };
  const Case cases[] = {
      {"expand/0/0/100000/480", Rect(0, 20, 320, 460)},
      {"expand/-500/-500/300/250", Rect(0, 20, 300, 250)},
      {"expand/2147483648/2147483648/2147483648/2147483648", Rect(0, 20, 320, 460)},
      {"expand/100000/300/300/250", Rect(20, 230, 300, 250)},
      {"expand/10/5/20/10", Rect(10, 20, 20, 10)},  // smaller than its close button
      {"expand/0/0/0/480", std::nullopt},
      {"expand/0/0/-300/250", std::nullopt},
      {"expand/0/0/300/-2147483649", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    auto ad = show(server->richMediaAd("<p>legacy</p>"));
    ASSERT_NE(ad, nullptr);
    platform::LogCapture log;
    ASSERT_TRUE(touch(ad));
    eval(ad, std::string("document.location = 'pelora://") + c.command + "'");
    runUntilIdle();
    advance(0.5);
    if (!c.expanded) {
      EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
      EXPECT_EQ(ad->superview(), view);
      EXPECT_EQ(connector->closeButtonForTesting(), nullptr);
      EXPECT_EQ(count(log.lines(), "an expanded ad needs a width and a height"), 1u);
      continue;
    }
    ASSERT_EQ(connector->bannerState(), ORMMAConnector::kExpanded);
    EXPECT_EQ(ad->frame(), *c.expanded);
    auto close = connector->closeButtonForTesting();
    ASSERT_NE(close, nullptr);
    const Rect button = window->convertRectFromView(close->bounds(), close);
    EXPECT_TRUE(platform::rectContainsRect(window320x480, button));
    // The user's finger on the button, through the window, closes the page.
    const size_t before = heard.size();
    EXPECT_EQ(window->tapAtPoint(platform::Point{button.origin.x + button.size.width / 2,
                                                 button.origin.y + button.size.height / 2}),
              close);
    advance(0.3);
    EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
    EXPECT_EQ(ad->superview(), view);
    advance(pelora::PELOAdDownloader::kStartDelay);
    ASSERT_GT(heard.size(), before);
    runUntilIdle();
  }
}

TEST_F(PELOHostileInputTest, OnlyTheAdOnShowGivesCommands) {
  auto& app = platform::Application::sharedApplication();
  // A landing page that tries the rich-media commands as soon as it loads.
  auto landing = testkit::ScriptedAnswer::text(
      "<html><body><script>document.location = 'pelora://open/http://evil.example/run';</script></body></html>");
  landing.headers = {{"Content-Type", "text/html"}};
  server->http().setAnswer("/pelora/click/evil", landing);
  struct Case {
    const char* name;
    std::function<void()> attempt;
    std::string logged;
  };
  const Case cases[] = {
      {"a page still being built, before it is shown",
       [&] {
         // The page asks at once and then keeps loading (its script is held back), so its
         // requests arrive while it is hidden.
         auto slow = testkit::ScriptedAnswer::text("var late = 1;");
         slow.hold = std::make_shared<testkit::AnswerHold>();
         server->http().setAnswer("/pelora/slow.js", slow);
         server->setAd(server->richMediaAd(
             "<script>pelora_bridge.foundORMMAAd(); pelora_bridge.open('http://evil.example/run');"
             "</script><script src=\"" + server->url("/pelora/slow.js") + "\"></script>"));
         const size_t before = heard.size();
         view->asyncLoadNewBanner();
         advance(pelora::PELOAdDownloader::kStartDelay);
         ASSERT_EQ(slow.hold->waiting(), 1u);
         slow.hold->release();
         ASSERT_TRUE(settleTraffic());
         ASSERT_GT(heard.size(), before);
         EXPECT_TRUE(connector->isORMMA());  // saying what it is stays allowed
       },
       "Ignoring pelora://open/http://evil.example/run from an ad page that is not shown"},
      {"a page's commands queued while it was built, arriving once it shows and the user touches it",
       [&] {
         server->setAd(server->richMediaAd(
             "<script>pelora_bridge.foundORMMAAd(); pelora_bridge.hide(); pelora_bridge.expand(0, 0, 320, 460);"
             "pelora_bridge.open('http://evil.example/run');</script>"));
         const size_t before = heard.size();
         view->asyncLoadNewBanner();
         advance(pelora::PELOAdDownloader::kStartDelay);
         ASSERT_GT(heard.size(), before);
         auto ad = std::dynamic_pointer_cast<WebView>(view->currentViewForTesting());
         ASSERT_NE(ad, nullptr);
         ASSERT_TRUE(touch(ad));  // as soon as it shows, before what it queued has arrived
         runUntilIdle();
         EXPECT_TRUE(connector->isORMMA());  // saying what it is stays allowed
         EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
         EXPECT_EQ(ad->superview(), view);
         // What it asks now that it shows is heard.
         eval(ad, "pelora_bridge.hide()");
         runUntilIdle();
         EXPECT_TRUE(view->isHidden());
         eval(ad, "pelora_bridge.show()");
         runUntilIdle();
       },
       "Refusing pelora://hide that the ad page gave while it was not on screen"},
      {"the landing page the user went to",
       [&] {
         auto a = server->imageAd();
         a.clickUrl = server->clickURL("evil");
         auto ad = show(a);
         ASSERT_TRUE(ad->tapLinkWithURLForTesting(server->clickURL("evil")));
         ASSERT_TRUE(runUntil([&] { return server->http().requestsTo("/pelora/click/evil").size() == 1; }));
         ASSERT_TRUE(runUntil([&] { return !ad->isLoading(); }));
         runUntilIdle();
         EXPECT_EQ(connector->bannerState(), ORMMAConnector::kExpanded);
         // Closing the landing page asks for the next ad by itself.
         const size_t before = heard.size();
         connector->closeViewWithAnimation(false);
         advance(pelora::PELOAdDownloader::kStartDelay);
         ASSERT_GT(heard.size(), before);
         runUntilIdle();
       },
       "Ignoring pelora://open/http://evil.example/run from a page the ad navigated to"},
      {"a page that has been replaced",
       [&] {
         auto old = show(server->richMediaAd("<p>old</p>"));
         show(server->imageAd("new"));
         eval(old, "pelora_bridge.hide()");
         runUntilIdle();
       },
       "Ignoring pelora://hide from a page that no longer shows the ad"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::LogCapture log;
    c.attempt();
    EXPECT_TRUE(app.openedURLs().empty());
    EXPECT_FALSE(view->isHidden());
    EXPECT_EQ(count(log.lines(), c.logged), 1u);
    expectNextAdShows();
  }
}

struct Presentations : pelora::PELOBannerViewDelegate {
  void landingPageWillBeDisplayed() override { ++opened; }
  int opened = 0;
};

// Every act that reaches beyond the ad, fired by the page many times over: without a touch
// nothing happens (and the refusal is logged once for the page); after one touch on the ad
// on screen exactly one act happens; a touch on an ad that then leaves the screen, or one
// that is too old, lets nothing happen.
TEST_F(PELOHostileInputTest, APageActsForTheUserOnlyJustAfterATouchOnTheAdOnScreen) {
  auto& app = platform::Application::sharedApplication();
  app.registerOpenableScheme("tel");
  auto presentations = std::make_shared<Presentations>();
  view->setDelegate(presentations);
  struct Act {
    const char* name;
    std::function<std::string(int)> command;  // the page's i-th attempt
    std::string once;                         // what one touch gives
    bool ormma = true;                        // a creative that announces itself
  };
  const Act acts[] = {
      {"open a web address", [](int i) { return "pelora_bridge.open('http://example.org/" + std::to_string(i) + "')"; },
       "opened http://example.org/0"},
      {"open a phone number", [](int i) { return "pelora_bridge.open('tel:555" + std::to_string(i) + "')"; }, "alert 5550"},
      {"dial from a link", [](int i) { return "document.location = 'tel:555" + std::to_string(i) + "'"; }, "alert 5550"},
      {"expand over the application", [](int) { return std::string("pelora_bridge.expand(0, 0, 100, 100)"); }, "presented"},
      {"legacy expand", [](int) { return std::string("pelora_bridge.expandLegacy()"); }, "presented", false},
      {"follow the ad's link", [&](int i) { return "document.location = '" + server->clickURL(std::to_string(i)) + "'"; },
       "presented"},
      {"play a video full screen",
       [&](int i) { return "document.location = '" + server->url("/pelora/v" + std::to_string(i) + ".mp4") + "'"; },
       "video " + server->url("/pelora/v0.mp4")},
  };
  struct Situation {
    const char* name;
    bool touched;
    std::function<void()> leave = [] {};  // after the touch, before the page acts
    std::function<void()> back = [] {};
    size_t acts = 0;
  };
  const Situation situations[] = {
      {"no touch", false},
      {"one touch", true, [] {}, [] {}, 1},
      {"touched, then the ad hidden", true, [&] { view->setHidden(true); }, [&] { view->setHidden(false); }},
      {"touched, then the ad faded out", true, [&] { view->setAlpha(0); }, [&] { view->setAlpha(1); }},
      {"touched, then the ad taken from its window", true, [&] { master->removeFromSuperview(); },
       [&] { window->addSubview(master); }},
      {"touched, then the window hidden", true, [&] { window->setHidden(true); }, [&] { window->setHidden(false); }},
      {"touched too long ago", true, [&] { advance(platform::kUserActivationSeconds); }},
  };
  for (const auto& act : acts) {
    for (const auto& situation : situations) {
      SCOPED_TRACE(std::string(act.name) + ", " + situation.name);
      auto ad = show(server->richMediaAd(act.ormma ? testkit::PeloraServer::ormmaCreative() : "<p>legacy</p>"));
      ASSERT_NE(ad, nullptr);
      ASSERT_EQ(connector->isORMMA(), act.ormma);
      const size_t opened = app.openedURLs().size();
      const size_t alerts = platform::AlertView::shownAlerts().size();
      const int presented = presentations->opened;
      platform::LogCapture log;
      if (situation.touched) {
        ASSERT_TRUE(touch(ad));
      }
      situation.leave();
      // The ad's page keeps trying: in one script and over later turns, for as long as it
      // is the page shown (a landing page it led to is the user's to browse).
      for (int round = 0; round < 3; ++round) {
        if (ad->request() && ad->request()->url().rfind("about:", 0) != 0) break;
        std::string script;
        for (int i = round * 10; i < round * 10 + 10; ++i) script += act.command(i) + ";";
        ad->stringByEvaluatingJavaScriptFromString(script);
        runUntilIdle();
      }
      situation.back();
      std::vector<std::string> happened;
      for (size_t i = opened; i < app.openedURLs().size(); ++i) happened.push_back("opened " + app.openedURLs()[i]);
      const auto shown = platform::AlertView::shownAlerts();
      for (size_t i = alerts; i < shown.size(); ++i) happened.push_back("alert " + shown[i]->message());
      for (int i = presented; i < presentations->opened; ++i) happened.push_back("presented");
      if (auto player = connector->moviePlayerForTesting()) happened.push_back("video " + player->contentURL());
      if (situation.acts == 0) {
        EXPECT_TRUE(happened.empty()) << happened.front();
        EXPECT_NE(connector->bannerState(), ORMMAConnector::kExpanded);
        EXPECT_EQ(count(log.lines(), "Refusing"), 1u);
      } else {
        EXPECT_EQ(happened, std::vector<std::string>{act.once});
      }
      // A followed link is one click at the ad's server, whatever the page tried after it.
      auto clicks = [&] {
        size_t n = 0;
        for (int i = 0; i < 30; ++i) n += server->http().requestsTo("/pelora/click/" + std::to_string(i)).size();
        return n;
      };
      const bool link = act.command(0).find("/pelora/click/") != std::string::npos;
      ASSERT_TRUE(settleTraffic());
      EXPECT_EQ(clicks(), link ? situation.acts : 0u);
      server->http().clearRequests();
      // Leave the slot as the user would: the alert answered, the video stopped, the page closed.
      for (const auto& alert : platform::AlertView::visibleAlerts()) alert->clickButtonAtIndex(0);
      connector->stopVideoPlayback();
      connector->closeViewWithAnimation(false);
      runUntilIdle();
    }
  }
}

TEST_F(PELOHostileInputTest, HostileAnswersFailWithAClearErrorAndTheSlotGoesOn) {
  const bool guardWorks = testkit::shortenScriptTimeLimit();
  const std::string oversized = std::string(platform::kURLDefaultMaximumContentLength + 1, ' ');
  struct Case {
    const char* name;
    std::function<void()> serve;
    int status;  // of the banner the listener hears
    std::string message;
    std::string logged;
    std::function<void()> then = [] {};
  };
  auto manyBeacons = [&] {
    auto ad = server->imageAd();
    ad.beacons.clear();
    for (int i = 0; i < 40; ++i) ad.beacons.push_back(server->beaconURL("many-" + std::to_string(i)));
    return ad;
  };
  auto beaconHits = [&] {
    size_t hits = 0;
    for (int i = 0; i < 40; ++i) hits += server->beaconHits("many-" + std::to_string(i));
    return hits;
  };
  const Case cases[] = {
      {"an answer declaring more than the client takes", [&] { server->setRawAnswer(oversized); }, 1,
       pelora::PELOHttpConnector::kConnectionFailedMessage, "[iPELO ERROR] Server connection failed with error:"},
      {"an oversized answer in chunks",
       [&] {
         auto a = testkit::ScriptedAnswer::text(oversized);
         a.chunked = true;
         a.chunkSize = 256 * 1024;
         server->http().setAnswer(testkit::PeloraServer::kRequestPath, a);
       },
       1, pelora::PELOHttpConnector::kConnectionFailedMessage, "[iPELO ERROR] Server connection failed with error:"},
      {"a request redirected to itself for ever",
       [&] {
         server->http().setAnswer(testkit::PeloraServer::kRequestPath,
                                  testkit::ScriptedAnswer::redirect(server->url(testkit::PeloraServer::kRequestPath)));
       },
       1, pelora::PELOHttpConnector::kConnectionFailedMessage, "[iPELO ERROR] Server connection failed with error:"},
      {"format directives in the server's error text",
       [&] { server->setAd(testkit::PeloraServer::errorAd("42", "%n%s%x%@%d")); }, 1, "%n%s%x%@%d",
       " at ad request: %n%s%x%@%d"},
      {"an ad naming more beacons than the client requests", [&] { server->setAd(manyBeacons()); }, 0, "",
       pelora::PELOHttpConnector::kBeaconBudgetExceededLine,
       [&] {
         const size_t limit = std::dynamic_pointer_cast<pelora::PELOHttpConnector>(
                                  std::dynamic_pointer_cast<pelora::PELOAdDownloader>(view->downloaderForTesting())
                                      ->connectorForTesting())
                                  ->beaconLimit();
         ASSERT_LT(limit, 40u);
         ASSERT_TRUE(settleTraffic());
         EXPECT_EQ(beaconHits(), limit);
       }},
      {"a page whose script never ends",
       [&] { server->setAd(server->richMediaAd("<script>for (;;) {}</script><p>stuck</p>")); }, 0, "",
       "web view: a page script ran past its time limit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!guardWorks && c.status == 0) continue;
    platform::LogCapture log;
    c.serve();
    load();
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().banner->status(), c.status);
    EXPECT_EQ(heard.back().banner->errorMessage(), c.message);
    EXPECT_EQ(count(log.lines(), c.logged), 1u);
    c.then();
    expectNextAdShows();
  }
}

}  // namespace
