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
    std::function<testing::PeloraAd()> ad;
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

TEST_F(PELOHostileInputTest, OnlyTheAdOnShowGivesCommands) {
  auto& app = platform::Application::sharedApplication();
  // A landing page that tries the rich-media commands as soon as it loads.
  auto landing = testing::ScriptedAnswer::text(
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
         // The page asks at once and then keeps loading, so its requests arrive while it is hidden.
         auto slow = testing::ScriptedAnswer::text("var late = 1;");
         slow.delay = std::chrono::milliseconds(150);
         server->http().setAnswer("/pelora/slow.js", slow);
         show(server->richMediaAd("<script>pelora_bridge.foundORMMAAd(); pelora_bridge.open('http://evil.example/run');"
                                  "</script><script src=\"" + server->url("/pelora/slow.js") + "\"></script>"));
         EXPECT_TRUE(connector->isORMMA());  // saying what it is stays allowed
       },
       "Ignoring pelora://open/http://evil.example/run from an ad page that is not shown"},
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
         ASSERT_TRUE(runUntil([&] { return heard.size() > before; }));
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

TEST_F(PELOHostileInputTest, HostileAnswersFailWithAClearErrorAndTheSlotGoesOn) {
  const bool guardWorks = testing::shortenScriptTimeLimit();
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
         auto a = testing::ScriptedAnswer::text(oversized);
         a.chunked = true;
         a.chunkSize = 256 * 1024;
         server->http().setAnswer(testing::PeloraServer::kRequestPath, a);
       },
       1, pelora::PELOHttpConnector::kConnectionFailedMessage, "[iPELO ERROR] Server connection failed with error:"},
      {"a request redirected to itself for ever",
       [&] {
         server->http().setAnswer(testing::PeloraServer::kRequestPath,
                                  testing::ScriptedAnswer::redirect(server->url(testing::PeloraServer::kRequestPath)));
       },
       1, pelora::PELOHttpConnector::kConnectionFailedMessage, "[iPELO ERROR] Server connection failed with error:"},
      {"format directives in the server's error text",
       [&] { server->setAd(testing::PeloraServer::errorAd("42", "%n%s%x%@%d")); }, 1, "%n%s%x%@%d",
       " at ad request: %n%s%x%@%d"},
      {"an ad naming more beacons than the client requests", [&] { server->setAd(manyBeacons()); }, 0, "",
       pelora::PELOHttpConnector::kBeaconBudgetExceededLine,
       [&] {
         const size_t limit = std::dynamic_pointer_cast<pelora::PELOHttpConnector>(
                                  std::dynamic_pointer_cast<pelora::PELOAdDownloader>(view->downloaderForTesting())
                                      ->connectorForTesting())
                                  ->beaconLimit();
         ASSERT_LT(limit, 40u);
         ASSERT_TRUE(runUntil([&] { return beaconHits() == limit; }));
         for (int i = 0; i < 5; ++i) runUntilIdle();
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
