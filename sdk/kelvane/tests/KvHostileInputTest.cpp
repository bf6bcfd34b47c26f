// Hostile answers and pages against the sandbox ad server, run in the real web view: pages
// the ad navigates to in its own place, oversized and endless answers, a page that never
// stops. Each attempt fails, is logged once, keeps the stored client id and leaves the
// placement cycling; the full-screen ad stays up.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "KvClientIdFile.h"
#include "KvFullScreenView.h"
#include "KvTestSupport.h"
#include "platform/application.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/url_connection.h"
#include "platform/web_view.h"
#include "testing/runaway_scripts.h"

namespace kelvane {
namespace {

using testing::ScriptedAnswer;

size_t count(const std::vector<std::string>& lines, const std::string& fragment) {
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(fragment) != std::string::npos; }));
}

ScriptedAnswer page(const std::string& cid, const std::string& outcome, const std::string& body = "") {
  ScriptedAnswer a = ScriptedAnswer::text("<html><head><script>function GetKvSession() { return 's'; }"
                                          "function GetKvCid() { return '" + cid + "'; }"
                                          "function GetKvError() { return '" + outcome + "'; }</script></head><body>" +
                                          body + "</body></html>");
  a.headers = {{"Content-Type", "text/html"}};
  return a;
}

class KvHostileInputTest : public KvTest {
 protected:
  void SetUp() override {
    KvTest::SetUp();
    ASSERT_TRUE(KvClientIdFile::write("kv-stored"));
    // A page elsewhere that would fail the ad and take over the client id.
    server.http().setAnswer("/foreign", page("foreign-id", "Internal Error"));
  }
  std::optional<std::string> storedCid() {
    return platform::FileManager::stringContentsAtPath(KvClientIdFile::path());
  }
};

TEST_F(KvHostileInputTest, PagesTheAdNavigatesToAreNotRead) {
  struct Case {
    const char* name;
    // Places the ad and answers its page view once it has reported.
    std::function<std::shared_ptr<KvPageView>()> place;
  };
  const Case cases[] = {
      {"banner", [&]() -> std::shared_ptr<KvPageView> { return placeBanner(); }},
      {"full screen",
       [&]() -> std::shared_ptr<KvPageView> {
         EXPECT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", kKelvaneAdTypeFullScreen, nullptr, 0));
         EXPECT_TRUE(waitForNotes(notes.size() + 1));
         auto placement = KvAdViewController::livePlacementsForTesting().back();
         return std::dynamic_pointer_cast<KvFullScreenView>(placement->kvWindowForTesting()->subviews().at(0));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.setCid("kv-served");
    auto view = c.place();
    ASSERT_TRUE(view);
    ASSERT_EQ(storedCid(), "kv-served");
    const auto heard = names();
    platform::LogCapture log;
    view->kvWebView()->stringByEvaluatingJavaScriptFromString("location = '" + server.url("/foreign") + "'");
    ASSERT_TRUE(runUntil([&] {
      auto shown = view->kvWebView()->request();
      return shown && shown->url() == server.url("/foreign") && !view->kvWebView()->isLoading();
    }));
    runUntilIdle();
    EXPECT_EQ(names(), heard);
    EXPECT_EQ(view->cid(), "kv-served");
    EXPECT_EQ(storedCid(), "kv-served");
    EXPECT_EQ(count(log.lines(), "is not the ad's answer; it is not read"), 1u);
    EXPECT_NE(view->superview(), nullptr);  // a full-screen ad is not closed by it
    view->removeFromSuperview();
  }
}

TEST_F(KvHostileInputTest, HostileAnswersFailOnceAndTheCycleGoesOn) {
  const bool guardWorks = testing::shortenScriptTimeLimit();
  const std::string oversized(platform::kURLDefaultMaximumContentLength + 1, ' ');
  auto chunked = ScriptedAnswer::text(oversized);
  chunked.chunked = true;
  chunked.chunkSize = 256 * 1024;
  struct Case {
    const char* name;
    ScriptedAnswer answer;
    std::vector<std::string> posted;
    std::string logged;
  };
  const Case cases[] = {
      {"an answer declaring more than the client takes", ScriptedAnswer::text(oversized), {"onFailedToReceiveAd"},
       "Kelvane: the ad request failed: resource exceeds maximum size"},
      {"an oversized answer in chunks", chunked, {"onFailedToReceiveAd"},
       "Kelvane: the ad request failed: resource exceeds maximum size"},
      {"an answer redirected to itself for ever",
       ScriptedAnswer::redirect(server.url(testing::KelvaneServer::kBannerPath)), {"onFailedToReceiveAd"},
       "Kelvane: the ad request failed:"},
      {"a page whose script never ends", page("never", "OK", "<script>for (;;) {}</script>"), {},
       "web view: a page script ran past its time limit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!guardWorks && c.posted.empty()) continue;
    server.http().setHandler(testing::KelvaneServer::kBannerPath, [a = c.answer](const testing::RecordedRequest&) { return a; });
    platform::LogCapture log;
    notes.clear();
    ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", kKelvaneAdTypeBanner, root, 30));
    auto view = adView();
    ASSERT_TRUE(view);
    ASSERT_TRUE(runUntil([&] { return view->pendingReloadIntervalForTesting().has_value(); }));
    runUntilIdle();
    EXPECT_EQ(names(), c.posted);
    EXPECT_EQ(count(log.lines(), c.logged), 1u);
    EXPECT_EQ(storedCid(), "kv-stored");

    // The next period asks again, and a good page is shown.
    server.http().setHandler(testing::KelvaneServer::kBannerPath,
                             [](const testing::RecordedRequest&) { return page("kv-next", "OK"); });
    notes.clear();
    advance(30);
    ASSERT_TRUE(waitForNotes(1));
    EXPECT_EQ(names(), std::vector<std::string>{"onReceiveAd"});
    EXPECT_EQ(storedCid(), "kv-next");
    ASSERT_TRUE(KvClientIdFile::write("kv-stored"));
    view->removeFromSuperview();
  }
}

// Answers that never end: one that trickles a byte at a time (so it is never idle), one that
// never answers, and one that redirects to one that never answers. Each fails once at the
// deadline, through the path a failed load takes: a banner tells the failure and asks again
// a period later; a full-screen ad tells it and closes. No connection is left behind.
TEST_F(KvHostileInputTest, EndlessAnswersFailOnceAtTheDeadline) {
  auto trickle = page("kv-trickled", "OK", std::string(4096, 'x'));
  trickle.trickle = std::chrono::milliseconds(5);
  ScriptedAnswer stalled;
  stalled.stall = true;
  server.http().setAnswer("/stalled", stalled);
  struct Case {
    const char* name;
    int type;
    ScriptedAnswer answer;
    bool bytesKeepComing;
  };
  const Case cases[] = {
      {"a banner answer trickling a byte at a time", kKelvaneAdTypeBanner, trickle, true},
      {"a banner answer that never comes", kKelvaneAdTypeBanner, stalled, false},
      {"a banner answer redirected to one that never comes", kKelvaneAdTypeBanner,
       ScriptedAnswer::redirect(server.url("/stalled")), false},
      {"a full-screen answer trickling a byte at a time", kKelvaneAdTypeFullScreen, trickle, true},
      {"a full-screen answer that never comes", kKelvaneAdTypeFullScreen, stalled, false},
  };
  const double deadline = platform::kURLDefaultDeadlineInterval;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool banner = c.type == kKelvaneAdTypeBanner;
    const char* path = banner ? testing::KelvaneServer::kBannerPath : testing::KelvaneServer::kFullScreenPath;
    server.http().setHandler(path, [a = c.answer](const testing::RecordedRequest&) { return a; });
    notes.clear();
    const size_t asked = server.adRequests().size();
    platform::LogCapture log;
    ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", c.type, banner ? root : nullptr, 30));
    auto placement = KvAdViewController::livePlacementsForTesting().back();
    std::shared_ptr<KvPageView> view =
        banner ? std::static_pointer_cast<KvPageView>(adView())
               : std::dynamic_pointer_cast<KvPageView>(placement->kvWindowForTesting()->subviews().at(0));
    ASSERT_TRUE(view);
    ASSERT_TRUE(runUntil([&] { return server.adRequests().size() == asked + 1; }));
    EXPECT_EQ(platform::URLConnection::liveCount(), 1u);

    // Half-way the load is still on; bytes that arrive after it keep it from ever being idle.
    advance(deadline / 2);
    if (c.bytesKeepComing) {
      const size_t had = view->receivedBytesForTesting();
      ASSERT_TRUE(runUntil([&] { return view->receivedBytesForTesting() > had; }));
    }
    advance(deadline / 2 - 1);
    runUntilIdle();
    EXPECT_TRUE(notes.empty());
    advance(1);
    runUntilIdle();
    EXPECT_EQ(names(), std::vector<std::string>{"onFailedToReceiveAd"});
    EXPECT_EQ(count(log.lines(), "Kelvane: the ad request failed: The request timed out."), 1u);
    EXPECT_EQ(platform::URLConnection::liveCount(), 0u);

    if (banner) {
      // The next period asks again and a good page is shown.
      server.http().setHandler(path, [](const testing::RecordedRequest&) { return page("kv-next", "OK"); });
      advance(30);
      ASSERT_TRUE(waitForNotes(2));
      EXPECT_EQ(names()[1], "onReceiveAd");
      EXPECT_EQ(server.adRequests().size(), asked + 2);
      view->removeFromSuperview();
    } else {
      EXPECT_EQ(placement->kvWindowForTesting(), nullptr);
      EXPECT_EQ(platform::Application::sharedApplication().keyWindow(), window);
    }
    advance(120);
    runUntilIdle();
  }
}

}  // namespace
}  // namespace kelvane
