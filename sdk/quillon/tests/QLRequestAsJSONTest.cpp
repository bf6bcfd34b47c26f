// The request's parameters reach the ad-URL builder as JSON whatever the host puts in them:
// a date or bytes as their text, and a number that has no JSON text fails the load as an
// invalid request, with the reason in the log, rather than handing the builder "nan".
#include <gtest/gtest.h>

#include <cmath>

#include "QLTestPrinters.h"

#include "QLShownBannerTest.h"
#include "platform/log.h"
#include "quillon/QLBannerView.h"
#include "testing/quillon_server.h"

namespace {

using platform::Bytes;
using platform::Dictionary;
using platform::Value;
using testkit::QuillonServer;

class QLRequestAsJSONTest : public quillon_test::QLShownBannerTest {};

TEST_F(QLRequestAsJSONTest, TheHostsExtrasReachTheBuilderOrTheLoadFailsSayingWhy) {
  // The builder hands the host's extras on to the ad request, as it read them.
  server.setBuilderScript("function QL_buildAdURL(p) { window.location = 'qmsg:///loadAdURL?type=quillon&url=' + "
                          "encodeURIComponent('" +
                          server.url(QuillonServer::kAdPath) +
                          "?when=' + encodeURIComponent(p.extras.when) + '&blob=' + encodeURIComponent(p.extras.blob)); }");
  std::vector<std::string> logs;
  platform::setLogSink([&logs](const std::string& line) { logs.push_back(line); });
  struct Case {
    Value when;
    std::vector<std::string> heard;
    std::string sent;  // the "when" the ad request carried; none when there was no request
    std::string log;
  };
  const Case cases[] = {
      {Value::date(978307200), {"receive"}, "2001-01-01 00:00:00 +0000", ""},
      {Value(std::nan("")), {"fail 0"}, "",
       "<Quillon> Cannot write as JSON: Unsupported value for key extras in object: NaN is not a valid number in JSON"},
      {Value(-HUGE_VAL), {"fail 0"}, "",
       "<Quillon> Cannot write as JSON: Unsupported value for key extras in object: -Infinity is not a valid number in "
       "JSON"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when.description());
    recorder->events.clear();
    logs.clear();
    server.http().clearRequests();
    auto request = quillon::QLRequest::request();
    request->setAdditionalParameters(Dictionary{{"when", c.when}, {"blob", Value(Bytes{0xca, 0xfe})}});
    banner->loadRequest(request);
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(recorder->events, c.heard);
    auto ads = server.requestsTo(QuillonServer::kAdPath);
    ASSERT_EQ(ads.size(), c.sent.empty() ? 0u : 1u);
    if (!ads.empty()) {
      EXPECT_EQ(ads[0].queryItem("when"), c.sent);
      EXPECT_EQ(ads[0].queryItem("blob"), "<cafe>");
    }
    EXPECT_EQ(logs.empty() ? "" : logs[0], c.log);
  }
  platform::setLogSink({});
}

}  // namespace
