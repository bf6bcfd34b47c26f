// A tap on a banner: the click notification and report, the in-app browser in the client's own
// window, and the way back to the application's window and the banner's cycle.
#include <gtest/gtest.h>

#include "KvBrowserView.h"
#include "KvClientIdFile.h"
#include "KvTestSupport.h"
#include "platform/application.h"
#include "platform/log.h"

#include <algorithm>

namespace kelvane {
namespace {

class KvBrowserViewControllerTest : public KvTest {
 protected:
  // Taps the banner's ad and waits until the browser's page was asked for.
  std::shared_ptr<KvBrowserView> tapBanner() {
    banner = placeBanner(kKelvaneAdTypeBanner, 30);
    EXPECT_TRUE(banner->kvWebView()->tapLinkWithElementIdForTesting("ad"));
    EXPECT_TRUE(runUntil([&] { return !server.requestsTo(testkit::KelvaneServer::kLandingPath).empty(); }));
    controller = banner->kvAdViewController();
    kvWindow = controller->kvWindowForTesting();
    return kvWindow ? std::dynamic_pointer_cast<KvBrowserView>(kvWindow->subviews().back()) : nullptr;
  }
  std::shared_ptr<KvAdView> banner;
  std::shared_ptr<KvAdViewController> controller;
  std::shared_ptr<platform::Window> kvWindow;
};

TEST_F(KvBrowserViewControllerTest, TapOpensTheBrowserReportsTheClickAndBackRestoresTheWindow) {
  auto browser = tapBanner();
  ASSERT_TRUE(browser);
  ASSERT_EQ(names(), (std::vector<std::string>{"onReceiveAd", "onClickAd"}));
  EXPECT_EQ(notes[1].object, banner.get());
  auto& app = platform::Application::sharedApplication();
  EXPECT_EQ(app.keyWindow(), kvWindow);
  EXPECT_EQ(kvWindow->frame(), platform::Rect(0, 0, 320, 480));
  EXPECT_EQ(browser->frame(), kvWindow->frame());
  EXPECT_EQ(browser->backButtonForTesting()->frame(), platform::Rect(5, 450, 70, 25));

  ASSERT_TRUE(runUntil([&] { return !server.clickReports().empty(); }));
  auto report = server.clickReports()[0];
  EXPECT_EQ(report.query, "cn=kv-app&v=1&ci=kv1&s=s1&ed=2-5-4-1");

  // The one-second reload finds the browser's window in front and waits a period.
  advance(1);
  EXPECT_EQ(banner->pendingReloadIntervalForTesting(), 30);

  KvWindowWatch watch(kvWindow);
  kvWindow.reset();
  controller->kvWindowForTesting()->tapAtPoint(platform::Point{40, 462});
  EXPECT_TRUE(watch.hiddenThenReleased());
  EXPECT_EQ(app.keyWindow(), window);
  EXPECT_EQ(browser->superview(), nullptr);

  advance(30);
  ASSERT_TRUE(heardNotes(3));
  EXPECT_EQ(server.adRequests().size(), 2u);
}

TEST_F(KvBrowserViewControllerTest, ClickReportEscapesWhatThePageSaid) {
  server.setCid("a b&c");
  auto browser = tapBanner();
  ASSERT_TRUE(browser);
  ASSERT_TRUE(runUntil([&] { return !server.clickReports().empty(); }));
  EXPECT_EQ(server.clickReports()[0].query, "cn=kv-app&v=1&ci=a%20b%26c&s=s1&ed=2-5-4-1");
}

// What a page says its session and client id are goes back to the server in the click report:
// an id of the longest length is sent whole, a longer text (up to a MiB) not at all.
TEST_F(KvBrowserViewControllerTest, ClickReportCarriesIdsNoLongerThanAnId) {
  const std::string longest(KvClientIdFile::kMaximumLength, 's');
  const std::string tooLong = longest + "s";
  auto literal = [](const std::string& text) { return "'" + text + "'"; };
  // Made by the page's script: the answer itself is small.
  const std::string mebibyte = "new Array((1 << 20) + 1).join('s')";
  struct Case {
    const char* name;
    // Script expressions of the page's session and client id.
    std::string session;
    std::string cid;
    std::string query;
  };
  const Case cases[] = {
      {"ids of the longest length", literal(longest), literal(longest),
       "cn=kv-app&v=1&ci=" + longest + "&s=" + longest + "&ed=2-5-4-1"},
      {"a session one past it", literal(tooLong), "'kv7'", "cn=kv-app&v=1&ci=kv7&s=&ed=2-5-4-1"},
      {"a session of a MiB", mebibyte, "'kv7'", "cn=kv-app&v=1&ci=kv7&s=&ed=2-5-4-1"},
      {"a client id of a MiB", "'s7'", mebibyte, "cn=kv-app&v=1&ci=&s=s7&ed=2-5-4-1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string link = "<a id='ad' href='" + server.url(testkit::KelvaneServer::kLandingPath) + "'>ad</a>";
    server.http().setHandler(testkit::KelvaneServer::kBannerPath, [&](const testkit::RecordedRequest&) {
      return kvAdPage(c.session, c.cid, "'OK'", link);
    });
    const size_t reported = server.clickReports().size();
    auto ad = placeBanner();
    ASSERT_TRUE(ad);
    ASSERT_TRUE(ad->kvWebView()->tapLinkWithElementIdForTesting("ad"));
    ASSERT_TRUE(runUntil([&] { return server.clickReports().size() == reported + 1; }));
    EXPECT_EQ(server.clickReports().back().query, c.query);
    auto placement = ad->kvAdViewController();
    ASSERT_TRUE(placement->kvWindowForTesting());
    placement->kvWindowForTesting()->tapAtPoint(platform::Point{40, 462});  // Back
    ad->removeFromSuperview();
  }
}

TEST_F(KvBrowserViewControllerTest, InterruptedLoadKeepsTheBrowserAndAFailedOneClosesIt) {
  // The landing page is held back, so the user stops a load still under way.
  testkit::ScriptedAnswer held = testkit::ScriptedAnswer::text("<html><body>held</body></html>");
  held.hold = std::make_shared<testkit::AnswerHold>();
  server.http().setAnswer(testkit::KelvaneServer::kLandingPath, held);
  auto browser = tapBanner();
  ASSERT_TRUE(browser);
  auto page = browser->kvWebViewForTesting();
  ASSERT_TRUE(settleTraffic());
  ASSERT_EQ(held.hold->waiting(), 1u);
  ASSERT_TRUE(page->isLoading());
  page->stopLoading();
  ASSERT_TRUE(settleTraffic());
  EXPECT_FALSE(page->isLoading());
  EXPECT_EQ(controller->kvWindowForTesting(), kvWindow);
  EXPECT_EQ(browser->superview(), kvWindow);

  // A store link the web view cannot show, reached after the user touched the page, goes to
  // the system, and the browser closes.
  controller->kvWindowForTesting()->tapAtPoint(platform::Point{160, 200});
  page->injectNavigationForTesting(platform::URLRequest("itms-apps://store.example/app/42"),
                                   platform::WebViewNavigationType::LinkClicked);
  ASSERT_TRUE(runUntil([&] { return controller->kvWindowForTesting() == nullptr; }));
  auto& app = platform::Application::sharedApplication();
  EXPECT_EQ(app.openedURLs(), std::vector<std::string>{"itms-apps://store.example/app/42"});
  EXPECT_EQ(app.keyWindow(), window);
}

TEST_F(KvBrowserViewControllerTest, ClickReportsOfOneAdAreBoundedAndTheNextAdHasItsOwn) {
  platform::LogCapture log;
  auto browser = tapBanner();
  ASSERT_TRUE(browser);
  const size_t taps = KvPageView::kClickReportLimit + 3;
  for (size_t i = 1; i < taps; ++i) {
    controller->kvWindowForTesting()->tapAtPoint(platform::Point{40, 462});  // Back
    ASSERT_EQ(controller->kvWindowForTesting(), nullptr);
    ASSERT_TRUE(banner->kvWebView()->tapLinkWithElementIdForTesting("ad"));
    ASSERT_TRUE(runUntil([&] { return controller->kvWindowForTesting() != nullptr; }));
  }
  // Every tap is a click the application hears; only the first reports of this ad are sent.
  const auto heardNames = names();
  EXPECT_EQ(std::count(heardNames.begin(), heardNames.end(), "onClickAd"), static_cast<long>(taps));
  EXPECT_EQ(banner->clickReportCountForTesting(), KvPageView::kClickReportLimit);
  ASSERT_TRUE(runUntil([&] { return server.clickReports().size() == KvPageView::kClickReportLimit; }));
  const auto dropped = [&] {
    const auto lines = log.lines();
    return std::count(lines.begin(), lines.end(),
                      "Kelvane: this ad asked for more click reports than it may send; the rest are dropped");
  };
  EXPECT_EQ(dropped(), 1);

  // The next ad reports its own tap.
  controller->kvWindowForTesting()->tapAtPoint(platform::Point{40, 462});
  const size_t heard = notes.size();
  advance(1);
  ASSERT_TRUE(heardNotes(heard + 1));
  ASSERT_TRUE(banner->kvWebView()->tapLinkWithElementIdForTesting("ad"));
  ASSERT_TRUE(runUntil([&] { return server.clickReports().size() == KvPageView::kClickReportLimit + 1; }));
  EXPECT_EQ(dropped(), 1);
}

}  // namespace
}  // namespace kelvane
