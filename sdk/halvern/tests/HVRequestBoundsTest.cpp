// Every request an ad page makes ends: within its time limit (the time-out the page names, up
// to the platform's longest), within its size cap, and within the number of requests one ad
// is allowed; a package as large as allowed still gets the time a slow link needs.
#include <algorithm>
#include <chrono>

#include "HVAdViewInternal.h"
#include "HVClientTestSupport.h"
#include "HVDownloadConnection.h"
#include "HVJavascriptBridge.h"
#include "halvern/HVAdView.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/url_connection.h"
#include "testing/zip_builder.h"

namespace halvern {
namespace {

class HVRequestBoundsTest : public testsupport::HalvernClientTest {
 protected:
  // `next` is what the fetch queued by the first display finds.
  void showBanner(const std::vector<std::string>& trackers = {}, const std::vector<std::string>& next = {}) {
    server.setAd("hvBanner", "<b>first</b>", 3600, trackers);
    start();
    ASSERT_TRUE(advanceUntil([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 120));
    server.setAd("hvBanner", "<b>second</b>", 3600, next);
    banner = HVAdView::adViewForSlotNamedDelegate("hvBanner", nullptr);
    window->addSubview(banner);
    ASSERT_TRUE(advanceUntil([&] { return page("HVDisplay.shown") == "1"; }, 120));
  }
  std::string page(const std::string& script) {
    return banner->controller()->webView()->stringByEvaluatingJavaScriptFromString(script);
  }
  // Queues `script`'s commands in the page and has the bridge take them.
  void send(const std::string& script) {
    page(script);
    while (banner->controller()->bridge()->poll() > 0) {
    }
  }

  std::shared_ptr<HVAdView> banner;
};

TEST_F(HVRequestBoundsTest, PagePingsAndDownloadsFailOnceWithinTheirLimitAndTheNextOneGoesOut) {
  const std::string big(platform::kURLDefaultMaximumContentLength + 1, 'b');
  auto stalled = testkit::ScriptedAnswer::text("never");
  stalled.stall = true;
  auto trickling = testkit::ScriptedAnswer::text(std::string(100000, 't'));
  trickling.trickle = std::chrono::milliseconds(20);
  auto chunkedBig = testkit::ScriptedAnswer::text(big);
  chunkedBig.chunked = true;
  chunkedBig.chunkSize = 64 * 1024;
  auto& loopback = server.loopback();
  loopback.setAnswer("/stalled", stalled);
  loopback.setAnswer("/trickling", trickling);
  loopback.setAnswer("/declared-big", testkit::ScriptedAnswer::text(big));
  loopback.setAnswer("/chunked-big", chunkedBig);
  loopback.setAnswer("/loop", testkit::ScriptedAnswer::redirect(loopback.url("/loop")));
  loopback.setAnswer("/to-stalled", testkit::ScriptedAnswer::redirect(loopback.url("/stalled")));
  loopback.setAnswer("/fine", testkit::ScriptedAnswer::text("fine"));

  struct Case {
    const char* name;
    std::string path;
    // How the page asks: a ping with this time-out text, or (empty) a download to a file.
    std::string timeout;
    // Virtual seconds until the one failure; 0 when it comes without the clock moving.
    double failsAfter;
  };
  const Case cases[] = {
      {"a stalled ping with a time-out that is no number", "/stalled", "NaN", 60},
      {"a stalled ping with a negative time-out", "/stalled", "-1", 60},
      {"a trickling ping with a time-out past any limit", "/trickling", "1e308", platform::kURLMaximumTimeoutInterval},
      {"a stalled ping with a long time-out", "/stalled", "900", 900},
      {"a trickling ping with a short time-out", "/trickling", "5", 5},
      {"a ping redirected to a stalled answer", "/to-stalled", "8", 8},
      {"a stalled download", "/stalled", "", 60},
      {"a trickling download", "/trickling", "",
       HVDownloadConnection::deadlineForContentLength(HVDownloadConnection::kDownloadMaximumContentLength)},
      {"a ping declaring a large answer", "/declared-big", "30", 0},
      {"a ping whose chunked answer grows too large", "/chunked-big", "30", 0},
      {"a ping redirected for ever", "/loop", "30", 0},
  };
  showBanner();
  const size_t liveBefore = platform::URLConnection::liveCount();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string url = loopback.url(c.path);
    const size_t asked = loopback.requestsTo(c.path).size();
    send("got = [];" + (c.timeout.empty()
                            ? "BridgeLib.writeFileWithContentsOfURLWithCallback('HV/bounded.bin', '" + url +
                                  "', 'got.push(%d)')"
                            : "BridgeDisplay.pingURLTimeoutCallback('" + url + "', '" + c.timeout + "', 'got.push(%d)')"));
    ASSERT_TRUE(settleTraffic());
    ASSERT_GT(loopback.requestsTo(c.path).size(), asked);
    if (c.failsAfter > 0) {
      // Bytes keep coming (or never come); either way nothing is said before the limit. A
      // trickle has sent more of them before each tenth of the limit passes.
      const double step = c.failsAfter / 10;
      for (double waited = 0; waited < c.failsAfter - 0.5;) {
        const size_t sent = loopback.trickledBytes();
        if (c.path == "/trickling") {
          ASSERT_TRUE(runUntil([&] { return loopback.trickledBytes() > sent; }));
        }
        const double next = std::min(step, c.failsAfter - 0.5 - waited);
        advance(next);
        waited += next;
      }
      EXPECT_EQ(page("got.join()"), "");
      advance(1);
    }
    ASSERT_EQ(page("got.length"), "1");
    EXPECT_EQ(page("got.join()"), "0");
    // The failed load let its connection go (the client's own fetches come and go meanwhile).
    EXPECT_LE(platform::URLConnection::liveCount(), liveBefore);
    advance(120);
    EXPECT_EQ(page("got.join()"), "0") << "told once";

    // The next request goes out and is answered.
    const size_t fine = loopback.requestsTo("/fine").size();
    send("got = []; BridgeDisplay.pingURLTimeoutCallback('" + loopback.url("/fine") + "', '-1', 'got.push(%d)')");
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(page("got.join()"), "1");
    EXPECT_EQ(loopback.requestsTo("/fine").size(), fine + 1);
    EXPECT_LE(platform::URLConnection::liveCount(), liveBefore);
  }
  loopback.stop();
}

// A package over a slow but steady link arrives however long past a minute it takes, within
// the deadline sized for the largest package; one that stalls fails on the idle time-out.
TEST_F(HVRequestBoundsTest, APackageOverASlowLinkArrivesAndAStalledOneEndsWhenItGoesSilent) {
  const double deadline =
      HVDownloadConnection::deadlineForContentLength(HVDownloadConnection::kDownloadMaximumContentLength);
  EXPECT_GE(deadline, 16 * 1024 * 1024 / (256 * 1024 / 8.0)) << "16 MiB at 256 kbit/s";
  EXPECT_LE(deadline, platform::kURLMaximumTimeoutInterval);
  const std::string package = testkit::ZipBuilder().addFile("pack/a.txt", std::string(1500, 'a'), false).bytes();
  auto slow = testkit::ScriptedAnswer::text(package);
  slow.trickle = std::chrono::milliseconds(2);
  auto stalled = testkit::ScriptedAnswer::text("never");
  stalled.stall = true;
  auto& loopback = server.loopback();
  loopback.setAnswer("/slow.zip", slow);
  loopback.setAnswer("/stalled.zip", stalled);
  const struct {
    const char* name;
    const char* path;
    const char* answer;  // what the page hears
    bool unpacked;
  } cases[] = {
      {"a package trickling in over minutes", "/slow.zip", "1", true},
      {"a package whose server goes silent", "/stalled.zip", "0", false},
  };
  showBanner();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = HVController::hvBaseDir() + "/pkg" + c.path;
    send(std::string("got = []; BridgeLib.unzipContentsOfURLToFolderWithCallback('") + loopback.url(c.path) +
         "', 'HV/pkg" + c.path + "', 'got.push(%d)')");
    ASSERT_TRUE(settleTraffic());
    // Virtual time runs well past a minute, in steps shorter than the idle time-out, while a
    // trickle keeps sending.
    for (int step = 0; step < 6 && page("got.length") == "0"; ++step) {
      const size_t sent = loopback.trickledBytes();
      if (c.unpacked) runUntil([&] { return loopback.trickledBytes() > sent || page("got.length") != "0"; });
      advance(platform::kURLDefaultTimeoutInterval / 2);
    }
    if (c.unpacked) {
      ASSERT_TRUE(runUntil([&] { return loopback.trickledBytes() >= package.size(); }, 20));
      ASSERT_TRUE(advanceUntil([&] { return page("got.length") == "1"; }, 5));
    }
    ASSERT_EQ(page("got.length"), "1");
    EXPECT_EQ(page("got.join()"), c.answer);
    EXPECT_EQ(platform::FileManager::fileExistsAtPath(folder + "/pack/a.txt"), c.unpacked);
  }
  loopback.stop();
}

TEST_F(HVRequestBoundsTest, OneAdSendsABoundedNumberOfTrackersAndPingsAndTheNextAdStartsAfresh) {
  std::vector<std::string> trackers;
  for (int i = 0; i < 60; ++i) trackers.push_back("t" + std::to_string(i));
  platform::LogCapture log;
  showBanner(trackers, {"next1", "next2"});
  const size_t limit = HVAdViewInternal::kRequestsPerAd;
  auto hits = [&] {
    size_t total = 0;
    for (const auto& name : trackers) total += server.trackerHits(name);
    return total;
  };
  ASSERT_TRUE(advanceUntil([&] { return hits() >= limit; }, 10));
  // The page pings in a loop: every ping past the budget is answered 0 at once.
  send("got = []; for (var i = 0; i < 20; i++) BridgeDisplay.pingURLTimeoutCallback('" + server.trackerURL("loop") +
       "', '5', 'got.push(%d)');");
  EXPECT_EQ(page("got.length"), "20");
  EXPECT_EQ(page("got.indexOf(1)"), "-1");
  advance(2);
  EXPECT_EQ(hits(), limit);
  EXPECT_EQ(server.trackerHits("loop"), 0u);
  size_t logged = 0;
  for (const auto& line : log.lines())
    logged += line.find("the ad asked for too many pings and trackers") != std::string::npos;
  EXPECT_EQ(logged, 1u);

  // The next ad has its own allowance.
  ASSERT_TRUE(advanceUntil([&] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 120));
  advance(5);
  banner->refresh();
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("next1") == 1 && server.trackerHits("next2") == 1; }, 10));
  EXPECT_EQ(hits(), limit);
}

}  // namespace
}  // namespace halvern
