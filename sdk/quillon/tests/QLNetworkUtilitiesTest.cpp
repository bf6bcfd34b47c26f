// URL and query helpers, and the network type behind "net".
#include <gtest/gtest.h>

#include "QLTestPrinters.h"

#include "QLConfiguration.h"
#include "QLNetworkChecker.h"
#include "QLNetworkUtilities.h"
#include "platform/reachability.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Dictionary;
using platform::URL;
using platform::Value;
using quillon::QLNetworkChecker;
using quillon::QLNetworkUtilities;

std::string appended(const std::string& url, const Dictionary& parameters) {
  auto result = QLNetworkUtilities::appendQueryParametersToURL(parameters, *URL::create(url));
  return result ? result->absoluteString() : "<none>";
}

TEST(QLNetworkUtilitiesTest, AppendingParameters) {
  struct Case {
    std::string url;
    Dictionary parameters;
    std::string expected;
  };
  const Case cases[] = {
      {"http://h/p", {{"a", Value("a b&c")}}, "http://h/p?a=a%20b%26c"},
      {"http://h/p?a=1", {{"b", Value(2)}}, "http://h/p?a=1&b=2"},
      {"http://h/p", {{"k", Value("")}, {"x", Value("/?")}}, "http://h/p?k&x=%2F%3F"},
      {"http://h/p?", {{"k", Value("v")}}, "http://h/p?k=v"},
      // Parameters go before the fragment, which keeps whatever it holds.
      {"http://h/p#frag", {{"k", Value("v")}}, "http://h/p?k=v#frag"},
      {"http://h/p?a=1#x?y&z", {{"k", Value("v")}}, "http://h/p?a=1&k=v#x?y&z"},
      {"http://h/p", {{"bad key", Value("v")}}, "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(appended(c.url, c.parameters), c.expected) << c.url;

  auto keyOnly = QLNetworkUtilities::appendQueryKeyValueToURL("sig", Value(), *URL::create("http://h/c?ai=1"));
  EXPECT_EQ(keyOnly->absoluteString(), "http://h/c?ai=1&sig");
  EXPECT_EQ(QLNetworkUtilities::encodeURL("!*'();:@&=+$,/?%#[] \xC3\xA9~"),
            "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20%C3%A9~");
}

TEST(QLNetworkUtilitiesTest, ReadingQueries) {
  auto parsed = QLNetworkUtilities::dictionaryFromQueryString(
      "URL=http%3A%2F%2Fx%2F%3Fq%3D1&Type=banner;a=b=c;bad=%zz;alone;k=1&K=2");
  EXPECT_EQ(parsed, (Dictionary{{"url", Value("http://x/?q=1")}, {"type", Value("banner")}, {"k", Value("2")}}));

  auto url = *URL::create("http://h/c?aid=1&ai&ai=x%20y=z&ai=2");
  EXPECT_EQ(QLNetworkUtilities::parameterValueForKeyFromURL("ai", url), "x%20y");
  EXPECT_EQ(QLNetworkUtilities::parameterValueForKeyFromURL("AI", url), std::nullopt);
  EXPECT_EQ(QLNetworkUtilities::parameterValueForKeyFromURL("ai", *URL::create("http://h/c")), std::nullopt);
}

class QLNetworkCheckerTest : public testkit::SandboxTest {};

TEST_F(QLNetworkCheckerTest, TypeIsUnknownUntilTheFirstReportThenFollowsChanges) {
  using platform::Reachability;
  QLNetworkUtilities::setUserAgentString("");
  EXPECT_EQ(QLNetworkUtilities::userAgentString(), std::nullopt);

  auto checker = QLNetworkChecker::sharedChecker();
  EXPECT_TRUE(checker->isEnabled());
  EXPECT_EQ(checker->networkTypeString(), std::nullopt);  // the first request goes without "net"
  runUntilIdle();
  EXPECT_EQ(checker->networkTypeString(), "wi");

  struct Step {
    uint32_t flags;
    int type;
    std::optional<std::string> text;
  };
  const Step steps[] = {
      {Reachability::kReachable | Reachability::kIsWWAN, QLNetworkChecker::kCellular, "ed"},
      {0, QLNetworkChecker::kNotReachable, std::nullopt},
      // Wi-Fi and cellular both up, routed over Wi-Fi: no cellular flag.
      {Reachability::kReachable | Reachability::kIsDirect, QLNetworkChecker::kWiFi, "wi"},
  };
  for (const auto& step : steps) {
    Reachability::setFlags(step.flags);
    runUntilIdle();
    EXPECT_EQ(checker->networkType(), step.type);
    EXPECT_EQ(checker->networkTypeString(), step.text);
  }
  EXPECT_EQ(checker->changeCount(), 4);

  checker->setEnabled(false);
  EXPECT_EQ(checker->networkType(), QLNetworkChecker::kUnknown);
  Reachability::setFlags(Reachability::kReachable);
  runUntilIdle();
  EXPECT_EQ(checker->changeCount(), 4);
}

}  // namespace
