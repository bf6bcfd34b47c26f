// What the client reads from an ad answer's control headers, whatever the server sends.
#include <gtest/gtest.h>

#include "QLAdAnswerHeaders.h"

namespace {

using quillon::QLAdAnswerHeaders;

QLAdAnswerHeaders read(std::initializer_list<std::pair<const char*, const char*>> fields) {
  platform::HTTPHeaderFields headers;
  for (const auto& [name, value] : fields) headers.set(name, value);
  return QLAdAnswerHeaders::fromHeaders(headers);
}

std::vector<std::string> texts(const std::vector<platform::URL>& urls) {
  std::vector<std::string> out;
  for (const auto& url : urls) out.push_back(url.absoluteString());
  return out;
}

TEST(QLAdAnswerHeadersTest, TrackingURLsAreTheBlankSeparatedPiecesThatAreURLs) {
  auto h = read({{"X-Quillon-Tracking-Urls", "http://a.example/1 http://b.example/2  \thttp://c.example/3\t"},
                 {"X-Quillon-Click-Tracking-Urls", "http://c.example/x"}});
  EXPECT_EQ(texts(h.trackingURLs),
            (std::vector<std::string>{"http://a.example/1", "http://b.example/2", "http://c.example/3"}));
  EXPECT_EQ(texts(h.clickTrackingURLs), std::vector<std::string>{"http://c.example/x"});
  EXPECT_TRUE(read({}).trackingURLs.empty());
}

TEST(QLAdAnswerHeadersTest, NumbersAndOrientations) {
  struct Case {
    const char* value;
    std::optional<double> seconds;
  } cases[] = {{"30", 30}, {"0.5", 0.5}, {"0", 0}, {"", std::nullopt}, {"inf", std::nullopt},
               {"nan", std::nullopt}, {"1e999", std::nullopt}, {"12abc", 12}, {"abc", 0}};
  for (const auto& c : cases) {
    auto h = read({{"X-Quillon-Refresh-Rate", c.value}, {"X-Quillon-Interstitial-Timeout", c.value}});
    EXPECT_EQ(h.refreshRate, c.seconds) << c.value;
    EXPECT_EQ(h.interstitialTimeout, c.seconds) << c.value;
  }
  struct Orientation {
    const char* value;
    std::optional<int> orientations;
  } orientations[] = {{"any", 1}, {"portrait", 2}, {"landscape", 3}, {"Portrait", std::nullopt}, {"", std::nullopt}};
  for (const auto& o : orientations)
    EXPECT_EQ(read({{"X-Quillon-Orientation", o.value}}).orientations, o.orientations) << o.value;
}

}  // namespace
