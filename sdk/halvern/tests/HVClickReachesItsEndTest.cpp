// A tap on a banner's link reaches the store through the ad's browser: the click address
// redirects there (while the banner still fades into the full-screen window, or long after
// the tap), or the landing page sends itself there while it loads. A page acting without a
// touch, long after its landing page loaded, or twice on one touch opens nothing more. Real
// pages, a loopback server and the application's record of the URLs it opened.
#include "halvern/HVAdView.h"

#include "HVAdSlot.h"
#include "HVAdViewInternal.h"
#include "HVClientTestSupport.h"
#include "HVFullScreenAdWindow.h"
#include "platform/application.h"

namespace halvern {
namespace {

using testkit::ScriptedAnswer;

constexpr const char* kStore = "itms-apps://store.example/app/5";

class HVClickReachesItsEndTest : public testsupport::ShownBannerTest {};

TEST_F(HVClickReachesItsEndTest, ATappedLinkReachesTheStoreAndAPageOnItsOwnDoesNot) {
  const std::string goes = std::string("<script>location = '") + kStore + "';</script>";
  struct Case {
    const char* name;
    // Where /click redirects: the store (empty) or /landing with this page.
    std::string landing;
    bool touched;        // the user's tap on the banner before its link goes to /click
    double serverTakes;  // seconds on the clock before /click answers
    size_t stores;
  };
  const Case cases[] = {
      {"the click address redirects to the store during the expansion", "", true, 0, 1},
      {"the redirect comes long after the tap", "", true, 2, 1},
      {"the landing page goes to the store while it loads", goes, true, 0, 1},
      // Hostile: no touch, a landing page acting long after it loaded, two acts on one touch.
      {"the page's own script goes to the click address", "", false, 0, 0},
      {"the landing page goes to the store long after it loaded",
       std::string("<script>setTimeout(function () { location = '") + kStore + "'; }, 5000);</script>", true, 0, 0},
      {"the landing page goes to the store twice", goes + goes, true, 0, 1},
  };
  auto& app = platform::Application::sharedApplication();
  showBanner();
  auto slot = HVController::sharedController()->adManager()->slotForName("hvBanner");
  int shown = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto hold = std::make_shared<testkit::AnswerHold>();
    auto click = ScriptedAnswer::redirect(c.landing.empty() ? kStore : pages.url("/landing"));
    click.hold = hold;
    pages.setAnswer("/click", click);
    pages.setAnswer("/landing", ScriptedAnswer::html(c.landing));
    pages.clearRequests();
    const size_t opened = app.openedURLs().size();
    const std::string follow = "location.href = '" + pages.url("/click") + "';";
    if (c.touched) {
      ASSERT_TRUE(tapOn(banner));
      // The tap's link: the ad's own browser opens onto the click address.
      internal->webView()->injectNavigationForTesting(platform::URLRequest(pages.url("/click")),
                                                      platform::WebViewNavigationType::LinkClicked);
    } else {
      page(follow);
    }
    ASSERT_TRUE(advanceUntil([&] { return hold->waiting() == 1; }, 1));
    advance(c.serverTakes);
    hold->release();
    ASSERT_TRUE(advanceUntil([&] { return !internal->webView()->isLoading(); }, 10));
    advance(6);  // any timer of the landing page
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(app.openedURLs().size() - opened, c.stores);
    for (size_t i = opened; i < app.openedURLs().size(); ++i) EXPECT_EQ(app.openedURLs()[i], kStore);
    // The browser closes; the banner shows an ad again (its own, or the next one).
    const std::string next = "<b>ad " + std::to_string(++shown) + "</b>";
    server.setAd("hvBanner", next, 3600, {});
    ASSERT_TRUE(advanceUntil([&] { return slot->nextAdDlTime() != 0; }, 120));
    internal->dismiss();
    ASSERT_TRUE(advanceUntil([&] { return page("typeof HVDisplay") == "object" && banner->alpha() == 1; }, 120));
    advance(platform::kUserActivationSeconds);
  }
}

}  // namespace
}  // namespace halvern
