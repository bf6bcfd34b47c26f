// Full-screen ads in the client's own key window: what stays up, what closes it, and the
// browser a tap opens in its place.
#include <gtest/gtest.h>

#include "KvBrowserView.h"
#include "KvFullScreenView.h"
#include "KvFullScreenViewController.h"
#include "KvTestSupport.h"
#include "platform/application.h"
#include "platform/screen.h"

namespace kelvane {
namespace {

class KvFullScreenViewControllerTest : public KvTest {
 protected:
  // Shows a full-screen ad and waits for its first notification (or its end).
  void showFullScreen() {
    ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 3, nullptr, 0));
    auto placements = KvAdViewController::livePlacementsForTesting();
    ASSERT_EQ(placements.size(), 1u);
    placement = placements[0];
    kvWindow = placement->kvWindowForTesting();
    ASSERT_TRUE(kvWindow);
    watch = std::make_unique<KvWindowWatch>(kvWindow);
    page = std::dynamic_pointer_cast<KvFullScreenView>(kvWindow->subviews().at(0));
    ASSERT_TRUE(page);
    ASSERT_TRUE(heardNotes(1));
    runUntilIdle();
  }
  bool closed() {
    kvWindow.reset();
    return placement->kvWindowForTesting() == nullptr && watch->hiddenThenReleased() &&
           platform::Application::sharedApplication().keyWindow() == window;
  }
  std::shared_ptr<KvAdViewController> placement;
  std::shared_ptr<platform::Window> kvWindow;
  std::unique_ptr<KvWindowWatch> watch;
  std::shared_ptr<KvFullScreenView> page;
};

TEST_F(KvFullScreenViewControllerTest, AdShowsInItsOwnKeyWindowAndAHouseAdStaysUp) {
  server.addApp("kv-app", "House Ad");
  showFullScreen();
  EXPECT_EQ(platform::Application::sharedApplication().keyWindow(), kvWindow);
  EXPECT_EQ(kvWindow->frame(), platform::Rect(0, 0, 320, 480));
  EXPECT_EQ(page->frame(), kvWindow->frame());
  EXPECT_EQ(server.adRequests()[0].path, testkit::KelvaneServer::kFullScreenPath);
  ASSERT_EQ(names(), std::vector<std::string>{"onReceiveDefaultAd"});
  EXPECT_EQ(notes[0].object, page.get());
  advance(600);
  runUntilIdle();
  EXPECT_EQ(platform::Application::sharedApplication().keyWindow(), kvWindow);
  EXPECT_EQ(server.adRequests().size(), 1u);
}

TEST_F(KvFullScreenViewControllerTest, SkipLinkClosesWithoutAClick) {
  showFullScreen();
  ASSERT_TRUE(page->kvWebView()->tapLinkWithElementIdForTesting("skip"));
  ASSERT_TRUE(runUntil([&] { return placement->kvWindowForTesting() == nullptr; }));
  EXPECT_TRUE(closed());
  EXPECT_EQ(names(), std::vector<std::string>{"onReceiveAd"});
  EXPECT_EQ(page->clickReportCountForTesting(), 0u);
  EXPECT_TRUE(KvAdViewController::livePlacementsForTesting().empty());
}

TEST_F(KvFullScreenViewControllerTest, BackInTheBrowserOfATapClosesBoth) {
  showFullScreen();
  ASSERT_TRUE(page->kvWebView()->tapLinkWithElementIdForTesting("ad"));
  ASSERT_TRUE(runUntil([&] { return !server.clickReports().empty(); }));
  EXPECT_EQ(names(), (std::vector<std::string>{"onReceiveAd", "onClickAd"}));
  EXPECT_EQ(server.clickReports()[0].query, "cn=kv-app&v=1&ci=kv1&s=s1&ed=2-5-4-1");
  // The browser takes the ad's place in the same window.
  EXPECT_EQ(page->superview(), nullptr);
  auto browser = std::dynamic_pointer_cast<KvBrowserView>(kvWindow->subviews().at(0));
  ASSERT_TRUE(browser);
  EXPECT_EQ(platform::Application::sharedApplication().keyWindow(), kvWindow);
  browser->backButtonForTesting()->sendActionsForControlEvents(platform::kControlEventTouchUpInside);
  EXPECT_TRUE(closed());
  EXPECT_EQ(browser->superview(), nullptr);
}

TEST_F(KvFullScreenViewControllerTest, FailuresCloseTheAdAfterTellingIt) {
  struct Case {
    std::optional<std::string> outcome;
    int status;
  };
  const Case cases[] = {{"Internal Error", 200}, {"Invalid Input", 200}, {std::nullopt, 503}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome.value_or("status"));
    server.setOutcome(c.outcome);
    server.setAdStatus(c.status);
    notes.clear();
    showFullScreen();
    EXPECT_TRUE(closed());
    EXPECT_EQ(names(), std::vector<std::string>{"onFailedToReceiveAd"});
  }
}

TEST_F(KvFullScreenViewControllerTest, ClientWindowFollowsTheScreenHeightAndTheStatusBar) {
  using platform::Rect;
  const std::tuple<double, int, Rect> cases[] = {{460, 1, Rect(0, 0, 320, 480)},   {460, 3, Rect(0, 0, 480, 320)},
                                                 {480, 2, Rect(0, 0, 320, 480)},   {1004, 1, Rect(0, 0, 768, 1024)},
                                                 {1004, 4, Rect(0, 0, 1024, 768)}};
  for (const auto& [height, bar, expected] : cases) {
    platform::Screen::mainScreen().setApplicationFrame(Rect(0, 20, 320, height));
    platform::Application::sharedApplication().setStatusBarOrientation(bar);
    EXPECT_EQ(KvAdViewController::create()->initFullScreenWindow()->frame(), expected) << height << " " << bar;
  }
}

// Counts what the full-screen controller tells its delegate.
struct CountingDelegate : KvFullScreenViewControllerDelegate {
  int finished = 0;
  void kvFullScreenViewControllerDidFinish(const std::shared_ptr<KvFullScreenViewController>&) override { ++finished; }
};

TEST_F(KvFullScreenViewControllerTest, FailedAnswerEndsTheAdOnce) {
  server.setAdStatus(500);
  auto delegate = std::make_shared<CountingDelegate>();
  auto controller = KvFullScreenViewController::create();
  controller->setDelegate(delegate);
  controller->setKvFrame(window->frame());
  controller->setUrl(server.url(testkit::KelvaneServer::kFullScreenPath) + "?aid=kv-app");
  window->addSubview(controller->view());
  ASSERT_TRUE(heardNotes(1));
  // Whatever is still on its way after the failure (the rest of the answer, a page load).
  auto page = std::dynamic_pointer_cast<KvPageView>(controller->view());
  ASSERT_TRUE(runUntil([&] { return platform::URLConnection::liveCount() == 0 && !page->kvWebView()->isLoading(); }));
  runUntilIdle();
  EXPECT_EQ(delegate->finished, 1);
  EXPECT_EQ(names(), std::vector<std::string>{"onFailedToReceiveAd"});
  // The skip link of a page that is gone changes nothing.
  controller->done();
  EXPECT_EQ(delegate->finished, 1);
}

}  // namespace
}  // namespace kelvane
