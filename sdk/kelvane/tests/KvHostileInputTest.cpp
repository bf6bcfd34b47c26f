// Hostile pages and answers against the sandbox ad server, run in the real web view. An ad's
// page may move on in its own place, but the page it reaches is never read; a move to a local
// file, inline data or a script URL is refused and logged once. Either way the ad stays and a
// banner shows the next ad when its period comes. Oversized and self-redirecting answers and
// a script that never stops fail once, logged once, and leave the stored client id; endless
// answers fail once at the deadline. A banner then asks again a period later; a full-screen
// ad whose answer never ends closes.
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

using testkit::ScriptedAnswer;

size_t count(const std::vector<std::string>& lines, const std::string& fragment) {
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(fragment) != std::string::npos; }));
}

ScriptedAnswer page(const std::string& cid, const std::string& outcome, const std::string& body = "") {
  return kvAdPage("'s'", "'" + cid + "'", "'" + outcome + "'", body);
}

class KvHostileInputTest : public KvTest {
 protected:
  void SetUp() override {
    KvTest::SetUp();
    ASSERT_TRUE(KvClientIdFile::write("kv-stored"));
  }
  static const char* adPath(int type) {
    return type == kKelvaneAdTypeBanner ? testkit::KelvaneServer::kBannerPath : testkit::KelvaneServer::kFullScreenPath;
  }
  // Displays a banner in the root view or a full-screen ad; its placement and page view.
  std::pair<std::shared_ptr<KvAdViewController>, std::shared_ptr<KvPageView>> display(int type) {
    const bool banner = type == kKelvaneAdTypeBanner;
    EXPECT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", type, banner ? root : nullptr, 30));
    auto placement = KvAdViewController::livePlacementsForTesting().back();
    std::shared_ptr<KvPageView> view =
        banner ? std::static_pointer_cast<KvPageView>(adView())
               : std::dynamic_pointer_cast<KvPageView>(placement->kvWindowForTesting()->subviews().at(0));
    return {placement, view};
  }
  std::optional<std::string> storedCid() {
    return platform::FileManager::stringContentsAtPath(KvClientIdFile::path());
  }
};

// Without a tap, an ad's page moves on in its place, the banner's as the full-screen ad's: a
// script's navigation, a redirect, a frame, a form post, a reload. The page it reached is
// never read (neither its outcome nor its client id), and the banner's next period shows the
// ad again. A local file, inline data or a script URL is never loaded, in place or in the
// browser: each refusal is logged once for the page and the ad stays as it was.
TEST_F(KvHostileInputTest, TheAdsPageMovesOnInPlaceButNeverToLocalFilesOrData) {
  const std::string third = server.url("/third-party");
  // Elsewhere: a page that would fail the ad and take the client id over.
  server.http().setAnswer("/third-party", page("third", "Internal Error", "<p>elsewhere</p>"));
  server.http().setAnswer("/hop", ScriptedAnswer::redirect(third));
  const std::string local = "tried to load a local file or inline data; it stays on the ad";
  const std::string noBrowser = "the tapped link names a local file or inline data; no browser is shown for it";
  auto inject = [](const std::string& url, platform::WebViewNavigationType type, const char* method = "GET") {
    return [=](KvPageView& v) {
      platform::URLRequest request(url);
      request.setHTTPMethod(method);
      v.kvWebView()->injectNavigationForTesting(request, type);
    };
  };
  auto tap = [](const char* id) { return [=](KvPageView& v) { ASSERT_TRUE(v.kvWebView()->tapLinkWithElementIdForTesting(id)); }; };
  auto none = [](KvPageView&) {};
  const auto other = platform::WebViewNavigationType::Other;
  struct Case {
    const char* name;
    int type;
    std::string body;
    std::function<void(KvPageView&)> act;
    // The server path the page moved on to (and shows), or nullptr when it stays on the ad.
    const char* landsOn;
    // How it asked for it.
    const char* method;
    // The refusal logged once, or "" for none.
    std::string said;
  };
  const Case cases[] = {
      // What real ad pages do: each loads in place.
      {"banner: a script moves to a page", kKelvaneAdTypeBanner, "<script>location = '" + third + "';</script>", none,
       "/third-party", "GET", ""},
      {"banner: a page redirected elsewhere", kKelvaneAdTypeBanner,
       "<script>location = '" + server.url("/hop") + "';</script>", none, "/third-party", "GET", ""},
      {"banner: a form posted", kKelvaneAdTypeBanner, "", inject(third, platform::WebViewNavigationType::FormSubmitted, "POST"),
       "/third-party", "POST", ""},
      {"banner: a window opened", kKelvaneAdTypeBanner, "<script>window.open('" + third + "');</script>", none,
       "/third-party", "GET", ""},
      {"banner: a frame", kKelvaneAdTypeBanner,
       "<script>var f = document.createElement('iframe'); f.src = '" + third + "'; document.body.appendChild(f);</script>",
       none, nullptr, "", ""},
      {"banner: the page reloads itself", kKelvaneAdTypeBanner, "",
       inject("about:blank", platform::WebViewNavigationType::Reload), nullptr, "", ""},
      {"full screen: a script moves to a page", kKelvaneAdTypeFullScreen, "<script>location = '" + third + "';</script>",
       none, "/third-party", "GET", ""},
      {"full screen: a form posted", kKelvaneAdTypeFullScreen, "",
       inject(third, platform::WebViewNavigationType::FormSubmitted, "POST"), "/third-party", "POST", ""},
      // Local files, inline data and scripts: refused.
      {"banner to a local file", kKelvaneAdTypeBanner, "<script>location = 'file:///etc/hosts';</script>", none, nullptr, "",
       local},
      {"banner to inline data", kKelvaneAdTypeBanner, "<script>location = 'data:text/html,<b>owned</b>';</script>", none,
       nullptr, "", local},
      {"banner opening a local file", kKelvaneAdTypeBanner, "<script>window.open('FILE:///etc/hosts');</script>", none,
       nullptr, "", local},
      {"banner posting a form to a local file", kKelvaneAdTypeBanner, "",
       inject("file:///etc/hosts", platform::WebViewNavigationType::FormSubmitted, "POST"), nullptr, "", local},
      {"banner redirected to a script URL", kKelvaneAdTypeBanner, "", inject("javascript:alert(1)", other), nullptr, "", local},
      {"tap on a banner's local file link", kKelvaneAdTypeBanner, "<a id='local' href='file:///etc/hosts'>x</a>",
       tap("local"), nullptr, "", noBrowser},
      {"full screen to a local file", kKelvaneAdTypeFullScreen, "<script>location = 'file:///etc/hosts';</script>", none,
       nullptr, "", local},
      {"full screen to inline data", kKelvaneAdTypeFullScreen, "<script>location = 'data:text/html,owned';</script>",
       none, nullptr, "", local},
      {"tap on a full screen's data link", kKelvaneAdTypeFullScreen, "<a id='local' href='data:text/html,owned'>x</a>",
       tap("local"), nullptr, "", noBrowser},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool banner = c.type == kKelvaneAdTypeBanner;
    const bool tapped = c.said == noBrowser;
    const std::string marker = "<p id='the-ad'>the ad</p>";
    server.http().setHandler(adPath(c.type),
                             [&](const testkit::RecordedRequest&) { return page("kv-served", "OK", marker + c.body); });
    server.http().clearRequests();
    notes.clear();
    platform::LogCapture log;
    const auto placed = display(c.type);
    const auto& placement = placed.first;
    const auto& view = placed.second;
    ASSERT_TRUE(view);
    ASSERT_TRUE(heardNotes(1));
    ASSERT_EQ(storedCid(), "kv-served");
    c.act(*view);
    if (!c.said.empty()) {
      ASSERT_TRUE(advanceUntil([&] { return count(log.lines(), c.said) > 0; }, 0.5));
    }
    advance(0.05);
    ASSERT_TRUE(runUntil([&] { return !view->kvWebView()->isLoading(); }));
    runUntilIdle();

    auto shown = view->kvWebView()->request();
    ASSERT_TRUE(shown);
    const auto& source = view->kvWebView()->documentSourceForTesting();
    EXPECT_EQ(source.find(marker) != std::string::npos, c.landsOn == nullptr);
    EXPECT_EQ(source.find("elsewhere") != std::string::npos, c.landsOn != nullptr);
    if (c.landsOn) {
      ASSERT_EQ(server.requestsTo(c.landsOn).size(), 1u);
      EXPECT_EQ(server.requestsTo(c.landsOn)[0].method, c.method);
    } else {
      EXPECT_TRUE(server.requestsTo("/third-party").empty());
    }
    if (c.said.empty()) {
      EXPECT_EQ(count(log.lines(), local), 0u);
    } else {
      EXPECT_EQ(count(log.lines(), c.said), 1u) << ::testing::PrintToString(log.lines());
    }
    // Only the answer was read: the page it moved to neither failed the ad nor set the id.
    EXPECT_EQ(names(), (tapped ? std::vector<std::string>{"onReceiveAd", "onClickAd"}
                               : std::vector<std::string>{"onReceiveAd"}));
    EXPECT_EQ(view->cid(), "kv-served");
    EXPECT_EQ(storedCid(), "kv-served");
    if (banner) {
      // Still the ad's own cycle, and no browser took the screen: the next period shows the
      // ad again and reads it.
      EXPECT_EQ(placement->kvWindowForTesting(), nullptr);
      EXPECT_EQ(platform::Application::sharedApplication().keyWindow(), window);
      server.http().setHandler(adPath(c.type),
                               [&](const testkit::RecordedRequest&) { return page("kv-next", "OK", marker); });
      advance(30);
      ASSERT_TRUE(heardNotes(tapped ? 3 : 2));
      EXPECT_EQ(names().back(), "onReceiveAd");
      EXPECT_NE(view->kvWebView()->documentSourceForTesting().find(marker), std::string::npos);
      EXPECT_EQ(storedCid(), "kv-next");
      ASSERT_TRUE(KvClientIdFile::write("kv-stored"));
    } else {
      // The full-screen ad is still up, and it is its own view that shows.
      ASSERT_NE(placement->kvWindowForTesting(), nullptr);
      EXPECT_EQ(placement->kvWindowForTesting()->subviews().at(0), view);
      std::static_pointer_cast<KvFullScreenView>(view)->done();
    }
    view->removeFromSuperview();
    advance(60);
    runUntilIdle();
  }
}

TEST_F(KvHostileInputTest, HostileAnswersFailOnceAndTheCycleGoesOn) {
  const bool guardWorks = testkit::shortenScriptTimeLimit();
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
       ScriptedAnswer::redirect(server.url(testkit::KelvaneServer::kBannerPath)), {"onFailedToReceiveAd"},
       "Kelvane: the ad request failed:"},
      {"a page whose script never ends", page("never", "OK", "<script>for (;;) {}</script>"), {},
       "web view: a page script ran past its time limit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!guardWorks && c.posted.empty()) continue;
    server.http().setHandler(testkit::KelvaneServer::kBannerPath, [a = c.answer](const testkit::RecordedRequest&) { return a; });
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
    server.http().setHandler(testkit::KelvaneServer::kBannerPath,
                             [](const testkit::RecordedRequest&) { return page("kv-next", "OK"); });
    notes.clear();
    advance(30);
    ASSERT_TRUE(heardNotes(1));
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
    const char* path = adPath(c.type);
    server.http().setHandler(path, [a = c.answer](const testkit::RecordedRequest&) { return a; });
    notes.clear();
    const size_t asked = server.adRequests().size();
    platform::LogCapture log;
    auto [placement, view] = display(c.type);
    ASSERT_TRUE(view);
    ASSERT_TRUE(runUntil([&] { return server.adRequests().size() == asked + 1; }));
    EXPECT_EQ(platform::URLConnection::liveCount(), 1u);

    // Half-way the load is still on; bytes that arrive after it keep it from ever being idle.
    advance(deadline / 2);
    if (c.bytesKeepComing) {
      const size_t had = view->receivedBytesForTesting();
      ASSERT_TRUE(runUntil([&, view = view] { return view->receivedBytesForTesting() > had; }));
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
      server.http().setHandler(path, [](const testkit::RecordedRequest&) { return page("kv-next", "OK"); });
      advance(30);
      ASSERT_TRUE(heardNotes(2));
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
