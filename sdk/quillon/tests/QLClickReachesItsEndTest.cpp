// The user's tap on a banner reaches the store: the page reports the click and opens its
// target, the click address redirects to the store (however long the server takes), or the
// landing page sends itself there while it loads. A page acting without a touch, long after
// its landing page loaded, or twice on one touch gets nothing more. Real pages, the loopback
// click server, and the application's record of the URLs it opened.
#include <gtest/gtest.h>

#include <functional>

#include "QLTestPrinters.h"

#include "QLNetworkUtilities.h"
#include "QLShownBannerTest.h"
#include "QLViewController.h"
#include "platform/application.h"
#include "quillon/QLBannerView.h"
#include "testing/quillon_server.h"

namespace {

using testkit::ScriptedAnswer;

constexpr const char* kStore = "itms-apps://store.example/app/1";

// An ad page whose "pad" answers a tap (or, with `untouched`, a timer half a second after the
// page loaded) by going to each of `commands` in turn.
std::string tappedPage(const std::vector<std::string>& commands, bool untouched) {
  std::string go;
  for (const auto& c : commands) go += "window.location = '" + c + "';";
  return "<html><body><div id=\"pad\" onclick=\"go()\">ad</div><script>function go() {" + go + "}" +
         (untouched ? "setTimeout(go, 500);" : "") + "</script></body></html>";
}

class QLClickReachesItsEndTest : public quillon_test::QLShownBannerTest {
 protected:
  std::string message(const std::string& name, const std::string& url, const std::string& more = "") {
    return "qmsg:///" + name + "?" + more + "u=" + quillon::QLNetworkUtilities::encodeURL(url);
  }
  void closeWhatIsShown() {
    advance(1);
    if (auto shown = std::dynamic_pointer_cast<quillon::QLViewController>(root->presentedViewController())) {
      if (auto nested = std::dynamic_pointer_cast<quillon::QLViewController>(shown->presentedViewController()))
        nested->relinquishScreen();
      advance(1);
      shown->relinquishScreen();
    }
    advance(3);
  }
};

TEST_F(QLClickReachesItsEndTest, ATapReachesTheStoreAndAPageOnItsOwnDoesNot) {
  server.addClick("c");  // a click tracker: 302 to a landing page
  server.setClickRedirect("s", kStore);
  // The click address, held back on the server while the clock moves on.
  auto slow = std::make_shared<testkit::AnswerHold>();
  auto slowAnswer = ScriptedAnswer::redirect(kStore);
  slowAnswer.hold = slow;
  server.http().setAnswer("/slow", slowAnswer);
  server.http().setAnswer("/goes", ScriptedAnswer::html(std::string("<script>location = '") + kStore + "';</script>"));
  server.http().setAnswer("/later", ScriptedAnswer::html(std::string("<script>setTimeout(function () { location = '") +
                                                         kStore + "'; }, 5000);</script>"));
  const std::string store = server.clickURL("s");
  const std::string report = message("click", server.clickURL("c"));
  struct Case {
    const char* name;
    std::vector<std::string> commands;
    bool untouched;
    size_t stores;   // the store links the application opened
    size_t reports;  // the click reports that reached the server
  };
  const Case cases[] = {
      {"a click report, then the browser onto the click address", {report, message("open", store, "a=browser&")},
       false, 1, 1},
      {"the web-app page onto the click address", {message("open", store, "a=webapp&")}, false, 1, 0},
      {"the click address answers long after the tap", {report, message("open", server.url("/slow"), "a=browser&")},
       false, 1, 1},
      {"the landing page goes to the store while it loads", {message("open", server.url("/goes"), "a=browser&")},
       false, 1, 0},
      {"the opening, then its click report", {message("open", store, "a=browser&"), report}, false, 1, 1},
      // Hostile: no touch, a landing page acting long after it loaded, more than one act or
      // report on one touch.
      {"the same page with no touch", {report, message("open", store, "a=browser&")}, true, 0, 0},
      {"the landing page goes to the store long after it loaded",
       {message("open", server.url("/later"), "a=browser&")}, false, 0, 0},
      {"one touch, two openings and two reports",
       {report, report, message("open", store, "a=browser&"), message("open", store, "a=app&")}, false, 1, 1},
  };
  auto& app = platform::Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    loadBanner(tappedPage(c.commands, c.untouched));
    server.http().clearRequests();
    const size_t opened = app.openedURLs().size();
    if (!c.untouched) {
      ASSERT_TRUE(banner->webView()->tapLinkWithElementIdForTesting("pad"));
    }
    advance(0.5);
    if (c.commands.back().find("slow") != std::string::npos) {
      ASSERT_TRUE(runUntil([&] { return slow->waiting() == 1; }));
      advance(5);
      slow->release();
    }
    ASSERT_TRUE(settleTraffic());
    advance(6);  // any timer of the landing page
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(app.openedURLs().size() - opened, c.stores);
    for (size_t i = opened; i < app.openedURLs().size(); ++i) EXPECT_EQ(app.openedURLs()[i], kStore);
    EXPECT_EQ(server.requestsTo("/click/c").size(), c.reports);
    closeWhatIsShown();
  }
}

}  // namespace
