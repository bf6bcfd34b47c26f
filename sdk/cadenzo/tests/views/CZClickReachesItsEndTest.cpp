// A tap on a Cadenzo HTML interstitial reaches the store: the page's click address redirects
// there (also long after the tap), or a page the tap loaded into the ad sends the ad's click
// command while it loads. A page acting with no touch, long after a page the tap loaded
// finished, or twice on one touch clicks nothing more. Real pages, the Cadenzo sandbox
// server and the application's record of the URLs it opened.
#include <gtest/gtest.h>

#include "CZWebView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/application.h"
#include "platform/notification_center.h"
#include "testing/json_quote.h"
#include "CZHTMLAdTest.h"

namespace {

using testkit::ScriptedAnswer;

constexpr const char* kStore = "itms-apps://apps.store.example/app/id42";

using CZClickReachesItsEndTest = cztest::HTMLAdTest;

TEST_F(CZClickReachesItsEndTest, ATapReachesTheStoreAndAPageOnItsOwnDoesNot) {
  auto& app = platform::Application::sharedApplication();
  app.setOpenURLAnswer(true);
  // The ad's click command for `target`, as a script expression in single quotes (it goes
  // into an attribute).
  auto command = [](const std::string& target) { return "'cadenzo://link/' + encodeURIComponent('" + target + "')"; };
  const std::string clickAddress = server->url("/click");
  const std::string clicks = "location.href = " + command(clickAddress) + ";";
  const std::string landing = "location.href = '" + server->url("/landing") + "';";
  struct Case {
    const char* name;
    std::string onTap;    // what the ad's page does when its "play" element is clicked
    std::string onLoad;   // a script the page runs once loaded, touched or not
    std::string landing;  // the page /landing answers with
    bool touched;
    double serverTakes;  // seconds on the clock before /click answers
    size_t stores;
  };
  const Case cases[] = {
      {"the click address redirects to the store long after the tap", clicks, "", "", true, 2, 1},
      {"a plain link the user tapped leaves the ad through the click and its redirect", "location.href = '" +
       clickAddress + "';", "", "", true, 2, 1},
      // Hostile: no touch, a page leaving the ad on its own, two clicks on one touch.
      {"the page clicks on its own", "", clicks, "", false, 0, 0},
      {"the page leaves for a landing page on its own", "", "setTimeout(function () {" + landing + "}, 100);",
       "<script>location.href = " + command(clickAddress) + ";</script>", false, 0, 0},
      {"the page clicks twice on one touch", clicks + "setTimeout(function () {" + clicks + "}, 10);", "", "", true, 2,
       1},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto hold = std::make_shared<testkit::AnswerHold>();
    auto click = ScriptedAnswer::redirect(kStore);
    click.hold = hold;
    server->http().setAnswer("/click", click);
    server->http().setAnswer("/landing", ScriptedAnswer::html(c.landing));
    const std::string location = "Level-" + std::to_string(n++);
    const std::string page = "<html><body><p id='play' onclick=\"" + c.onTap + "\">Play now</p><script>" + c.onLoad +
                             "</script></body></html>";
    server->setInterstitial(location, "{\"status\":200,\"type\":\"html\",\"ad_id\":\"ad-77\",\"to\":\"t-1\","
                                      "\"link\":\"" + server->url("/target") + "\",\"html\":" +
                                          testkit::jsonQuoted(page) + "}");
    const size_t clicksBefore = server->callsTo("click").size();
    const size_t openedBefore = app.openedURLs().size();
    auto view = cacheAndShow(location);
    ASSERT_TRUE(view);
    if (c.touched) {
      EXPECT_TRUE(view->tapLinkWithElementIdForTesting("play"));
    }
    const bool opens = c.stores > 0;
    if (opens) {
      ASSERT_TRUE(advanceUntil([&] { return hold->waiting() == 1; }, 1));
      advance(c.serverTakes);
    }
    hold->release();
    for (int second = 0; second < 8; ++second) advance(1);  // any timer of the pages
    ASSERT_TRUE(settleTraffic());
    runUntilIdle();
    EXPECT_EQ(server->callsTo("click").size() - clicksBefore, c.stores);
    EXPECT_EQ(app.openedURLs().size() - openedBefore, c.stores);
    for (size_t i = openedBefore; i < app.openedURLs().size(); ++i) EXPECT_EQ(app.openedURLs()[i], kStore);
    // Whatever is still up goes, as the host would take it down.
    if (facade->visibleImpression())
      platform::NotificationCenter::defaultCenter().postNotificationName(cadenzo::Cadenzo::kForceDismissViewNotification);
    advance(0.3);
    runUntilIdle();
  }
}

}  // namespace
