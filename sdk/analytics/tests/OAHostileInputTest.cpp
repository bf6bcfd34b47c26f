// Hostile texts through every stored field and hostile collector answers, against the
// tracker with its real store file and the collector over loopback: nothing is lost, nothing
// is read as SQL, a request line or a format, and each bad answer is said once.
#include <gtest/gtest.h>

#include <algorithm>

#include "OATestSupport.h"
#include "analytics/OATracker.h"
#include "platform/log.h"
#include "testing/analytics_collector.h"
#include "testing/sandbox_test.h"

namespace analytics {
namespace {

using test::SQLitePeer;
using testkit::AnalyticsCollector;

class Reports : public OATrackerDelegate {
 public:
  std::vector<std::pair<unsigned, unsigned>> heard;  // (dispatched, failed)
  void trackerDispatchDidCompleteEventsDispatchedEventsFailedDispatch(OATracker&, unsigned ok,
                                                                      unsigned failed) override {
    heard.emplace_back(ok, failed);
  }
};

class OAHostileInputTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    tracker = OATracker::sharedTracker();
    OATracker::setCollector({collector.host(), collector.port()});
    // Only the answers end a dispatch here, never the collector's silence.
    OATracker::setResponseTimeout(3600);
    tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 0, reports);
    // Made after the sandbox, which puts the log back on standard error.
    log = std::make_unique<platform::LogCapture>();
  }
  // Lets the dispatch under way end; virtual time moves only for the back-off after a
  // collector's error, once the answers on their way have been taken in.
  void dispatchAndSettle() {
    ASSERT_TRUE(tracker->dispatch());
    ASSERT_TRUE(advanceUntil([&] { return tracker->inFlightForTesting() == 0; }, 500));
  }
  size_t logged(const std::string& fragment) const {
    const auto lines = log->lines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
  }
  AnalyticsCollector collector;
  std::shared_ptr<OATracker> tracker;
  std::shared_ptr<Reports> reports = std::make_shared<Reports>();
  std::unique_ptr<platform::LogCapture> log;
};

// Every text a host passes is stored and sent as plain data: statements in it do not run,
// line breaks do not add request lines or headers, format directives are not expanded, and
// the hits stored before are still there and go out with the rest.
TEST_F(OAHostileInputTest, HostileTextsInStoredFieldsAreOnlyData) {
  ASSERT_TRUE(tracker->trackPageviewWithError("/before"));
  ASSERT_TRUE(tracker->trackEventActionLabelValueWithError("kept", "before", std::nullopt, -1));
  SQLitePeer peer(test::storePath());
  const auto tables = peer.rows("SELECT name FROM sqlite_master ORDER BY name");
  struct Case { const char* name; std::string text; };
  const Case cases[] = {
      {"statement", "x'); DROP TABLE events; --"},
      {"always true", "' OR '1'='1"},
      {"second statement", "\"; DELETE FROM session; DELETE FROM custom_variables; --"},
      {"format", "%n%s%x%@%d%%%1$s"},
      {"script", "\"'\\</script>\xE2\x80\xA8\xE2\x80\xA9"},
      {"request lines", "a\r\nHost: evil\r\n\r\nGET /x HTTP/1.1\r\n"},
      {"wire separators", "*)!'(5(&ovae=1#?/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<platform::Error> error;
    EXPECT_TRUE(tracker->setCustomVariableAtIndexNameValueScopeWithError(1, c.text, c.text, kOAVisitorScope, &error));
    EXPECT_TRUE(tracker->trackEventActionLabelValueWithError(c.text, c.text, c.text, 7, &error));
    EXPECT_FALSE(error);
    EXPECT_TRUE(tracker->trackPageviewWithError("/" + c.text, &error));
    EXPECT_FALSE(error);
    EXPECT_EQ(tracker->getVisitorCustomVarAtIndex(1), c.text);
  }
  EXPECT_EQ(peer.rows("SELECT name FROM sqlite_master ORDER BY name"), tables);
  const size_t expected = 2 + 2 * std::size(cases);
  EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM events"), static_cast<int64_t>(expected));
  EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM session"), 1);
  EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM custom_variables"), static_cast<int64_t>(std::size(cases)));

  dispatchAndSettle();
  while (tracker->storedEventsForTesting() > 0 && reports->heard.size() < expected) dispatchAndSettle();
  EXPECT_EQ(tracker->storedEventsForTesting(), 0u);
  const auto hits = collector.hits();
  ASSERT_EQ(hits.size(), expected);
  EXPECT_EQ(hits[0].param("ovap"), "/before");
  EXPECT_EQ(hits[1].event()->action, "before");
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const auto& event = hits[2 + 2 * i];
    ASSERT_TRUE(event.event());
    EXPECT_EQ(event.event()->category, cases[i].text);
    EXPECT_EQ(event.event()->action, cases[i].text);
    EXPECT_EQ(event.event()->label, cases[i].text);
    EXPECT_EQ(event.event()->value, 7);
    EXPECT_EQ(hits[3 + 2 * i].param("ovap"), "/" + cases[i].text);
    for (const auto& hit : {event, hits[3 + 2 * i]}) {
      EXPECT_EQ(hit.request.method, "GET");
      EXPECT_EQ(std::count_if(hit.request.headers.begin(), hit.request.headers.end(),
                              [](const auto& h) { return h.first == "Host"; }),
                1);
      EXPECT_EQ(hit.request.target.find_first_of(" \r\n"), std::string::npos);
    }
  }
  EXPECT_EQ(collector.requests().size(), expected);
  EXPECT_EQ(logged("Error"), 0u);
}

// A collector that answers without end, redirects, or sends what is no answer at all: the
// dispatch ends at once with every hit still stored, the trouble is said once, and the next
// dispatch to a sound collector delivers them all in order.
TEST_F(OAHostileInputTest, HostileAnswersEndTheDispatchAndKeepTheHits) {
  for (const char* action : {"a1", "a2", "a3"}) {
    ASSERT_TRUE(tracker->trackEventActionLabelValueWithError("c", action, std::nullopt, -1));
  }
  std::string headers;
  while (headers.size() < 100000) headers += "X-Pad: " + std::string(90, 'p') + "\r\n";
  const std::string unread = "could not be read";
  struct Case { const char* name; std::string answer; std::string said; };
  const Case cases[] = {
      {"endless body", "HTTP/1.1 200 OK\r\nContent-Length: 999999999999999\r\n\r\n" + std::string(100000, 'x'), unread},
      {"endless chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffff\r\n" + std::string(100000, 'x'),
       unread},
      {"endless headers", "HTTP/1.1 200 OK\r\n" + headers, unread},
      {"endless line", "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(20000, 'p'), unread},
      {"not an answer", "%n%s%x%@\r\n\r\n", unread},
      {"redirect to itself",
       "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(collector.port()) +
           "/__ova.gif\r\nContent-Length: 0\r\n\r\n",
       "the collector answered 302;"},
      {"format in the status line", "HTTP/1.1 %n%s %x%@\r\nContent-Length: 0\r\n\r\n", "the collector answered 0;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    collector.setRawAnswer(c.answer);
    collector.closeConnections();
    log->clear();
    reports->heard.clear();
    dispatchAndSettle();
    EXPECT_EQ(reports->heard, (std::vector<std::pair<unsigned, unsigned>>{{0, 3}}));
    EXPECT_EQ(tracker->storedEventsForTesting(), 3u);
    EXPECT_EQ(logged(c.said), 1u);
    EXPECT_EQ(log->lines().size(), 1u);
  }
  EXPECT_EQ(collector.hitCount(), 0u);
  collector.setRawAnswer(std::nullopt);
  collector.closeConnections();
  while (tracker->storedEventsForTesting() > 0 && collector.hitCount() < 3) dispatchAndSettle();
  std::vector<std::string> actions;
  for (const auto& hit : collector.hits()) actions.push_back(hit.event()->action);
  EXPECT_EQ(actions, (std::vector<std::string>{"a1", "a2", "a3"}));
  EXPECT_EQ(tracker->storedEventsForTesting(), 0u);
}

}  // namespace
}  // namespace analytics
