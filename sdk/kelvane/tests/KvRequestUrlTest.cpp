// The request URL as the ad server receives it, and the client id it carries from one page to
// the next request.
#include <gtest/gtest.h>

#include "KvClientIdFile.h"
#include "KvTestSupport.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/screen.h"
#include "platform/web_view.h"

namespace kelvane {
namespace {

class KvRequestUrlTest : public KvTest {
 protected:
  void SetUp() override {
    KvTest::SetUp();
    platform::Device::currentDevice().setUniqueIdentifier("0a1b2c3d");
  }
  // The query a fresh controller builds, without the time.
  std::string query(int type, const std::optional<KelvaneParams>& params) {
    auto controller = KvAdViewController::create();
    controller->setBaseUrlWithTypeWithParams("kv-app", type, params);
    std::string url = controller->getRequestUrl().value_or("");
    return url.substr(url.find('?') + 1, url.rfind("&t=") - url.find('?') - 1);
  }
};

TEST_F(KvRequestUrlTest, BannerRequestWithEveryParameterMatchesTheGoldenText) {
  KelvaneParams params{{1, "25"}, {2, "123"}, {3, "e 1&x=y"}, {4, "Female"},
                       {5, "en"}, {6, "sport,games"}, {7, "Paris"}, {8, "mn/7"}};
  ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReloadWithParams("kv app&x=1", 1, root, 30, params));
  ASSERT_TRUE(runUntil([&] { return !server.adRequests().empty(); }));
  auto request = server.adRequests()[0];
  // The manual clock starts at 1.8e9 seconds since 1970.
  EXPECT_EQ(request.path + "?" + request.query,
            "/kvserve/kvBanner?aid=kvapp%26x%3D1&v=2.0.1-iOS-S-1.0.9&po=123&hid=0a1b2c3d&w=320&h=480"
            "&a=25&eid=e1%26x%3Dy&g=Female&lg=en&k=sport%2Cgames&l=Paris&mn=mn%2F7&t=1800000000");
  // The ad view's page has not loaded yet; its web view still answers with its user agent.
  EXPECT_EQ(request.header("User-Agent"), platform::WebView::userAgent());
}

TEST_F(KvRequestUrlTest, PortalClientNameAndValidatedParametersFollowDeviceAndType) {
  struct Case {
    const char* model;
    platform::UserInterfaceIdiom idiom;
    int type;
    std::optional<KelvaneParams> params;
    const char* expected;
  };
  const auto phone = platform::UserInterfaceIdiom::Phone;
  const auto pad = platform::UserInterfaceIdiom::Pad;
  const std::string common = "&hid=0a1b2c3d&w=320&h=480";
  const Case cases[] = {
      {"iPhone", phone, 1, std::nullopt, "v=2.0.1-iOS-S-1.0.9&po=642"},
      {"iPhone", phone, 2, std::nullopt, "v=2.0.1-iOS-S-1.0.9&po=632"},
      {"iPhone", phone, 3, std::nullopt, "v=2.0.1-iOS-S-1.0.9&po=642"},
      {"iPad", pad, 1, std::nullopt, "v=2.0.1-iPad-S-1.0.9&po=947"},
      {"iPad", pad, 2, std::nullopt, "v=2.0.1-iPad-S-1.0.9&po=946"},
      // Another family's portal gives this device's own.
      {"iPhone", phone, 1, KelvaneParams{{2, "947"}}, "v=2.0.1-iOS-S-1.0.9&po=642"},
      {"iPad", pad, 2, KelvaneParams{{2, "642"}}, "v=2.0.1-iPad-S-1.0.9&po=946"},
      {"iPhone", phone, 1, KelvaneParams{{2, ""}}, "v=2.0.1-iOS-S-1.0.9&po=642"},
      {"iPhone", phone, 1, KelvaneParams{{1, "25.5"}, {4, "male"}}, "v=2.0.1-iOS-S-1.0.9&po=642"},
      {"iPhone", phone, 1, KelvaneParams{{1, "0"}, {4, "M"}}, "v=2.0.1-iOS-S-1.0.9&po=642#&g=M"},
      {"iPhone", phone, 1, KelvaneParams{{1, "120"}, {4, "Male"}}, "v=2.0.1-iOS-S-1.0.9&po=642#&g=Male"},
      {"iPhone", phone, 1, KelvaneParams{{1, "119"}, {4, "f"}}, "v=2.0.1-iOS-S-1.0.9&po=642#&a=119&g=f"},
  };
  for (const auto& c : cases) {
    platform::Device::currentDevice().setModel(c.model);
    platform::Device::currentDevice().setUserInterfaceIdiom(c.idiom);
    std::string expected = c.expected;
    std::string tail;
    if (auto hash = expected.find('#'); hash != std::string::npos) {
      tail = expected.substr(hash + 1);
      expected.resize(hash);
    }
    EXPECT_EQ(query(c.type, c.params), "aid=kv-app&" + expected + common + tail) << c.model << " type " << c.type;
  }
}

TEST_F(KvRequestUrlTest, ScreenSizeIsLeftOutWithoutAScreenAndTheIdWithoutAnIdentifier) {
  platform::Screen::mainScreen().setBounds(platform::Rect(0, 0, 0.5, 480));
  platform::Device::currentDevice().setUniqueIdentifier("");
  EXPECT_EQ(query(1, std::nullopt), "aid=kv-app&v=2.0.1-iOS-S-1.0.9&po=642");
}

TEST_F(KvRequestUrlTest, PageClientIdIsStoredAndSentWithTheNextRequest) {
  auto view = placeBanner(kKelvaneAdTypeBanner, 30);
  ASSERT_TRUE(view);
  EXPECT_EQ(server.adRequests()[0].queryItem("cid"), std::nullopt);
  // The server hands out "kv" and its serial number.
  EXPECT_EQ(platform::FileManager::stringContentsAtPath(KvClientIdFile::path()), "kv1");
  advance(30);
  ASSERT_EQ(server.adRequests().size(), 2u);
  auto second = server.adRequests()[1];
  EXPECT_EQ(second.queryItem("cid"), "kv1");
  EXPECT_NE(second.query.find("&cid=kv1&t=1800000030"), std::string::npos) << second.query;
}

// An id of printable ASCII is kept as the page gave it and goes back whole, escaped so that
// it adds nothing to the request; any other text leaves the stored id as it was.
TEST_F(KvRequestUrlTest, ClientIdOfPrintableAsciiIsStoredAndSentWhole) {
  const std::string longest = std::string(KvClientIdFile::kMaximumLength - 1, '~') + "&";
  struct Case {
    const char* name;
    std::string pageCid;
    std::string stored;  // in the file, and in the next request
    std::string sent;    // as the next request writes it
  };
  const Case cases[] = {
      {"query characters", "x&aid=other", "x&aid=other", "x%26aid%3Dother"},
      {"a space, a path, quotes and markup", "a b/\"<i>'%+#?;", "a b/\"<i>'%+#?;", "a%20b%2F%22%3Ci%3E%27%25%2B%23%3F%3B"},
      {"the longest", longest, longest, longest.substr(0, longest.size() - 1) + "%26"},
      {"one past the longest", longest + "x", "kv-before", "kv-before"},
      {"a line end", "id\r\nX-Evil: 1", "kv-before", "kv-before"},
      {"past ASCII", "caf\xC3\xA9", "kv-before", "kv-before"},
  };
  auto view = placeBanner(kKelvaneAdTypeBanner, 30);
  ASSERT_TRUE(view);
  size_t heard = notes.size();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(platform::FileManager::writeAtomically(KvClientIdFile::path(), std::string_view("kv-before")));
    server.setCid(c.pageCid);
    advance(30);
    ASSERT_TRUE(heardNotes(++heard));
    EXPECT_EQ(platform::FileManager::stringContentsAtPath(KvClientIdFile::path()), c.stored);
    server.setCid(std::nullopt);
    advance(30);
    ASSERT_TRUE(heardNotes(++heard));
    const auto next = server.adRequests().back();
    EXPECT_EQ(next.queryItem("cid"), c.stored);
    EXPECT_NE(next.query.find("&cid=" + c.sent + "&t="), std::string::npos) << next.query;
    std::vector<std::string> keys;
    for (const auto& item : next.queryItems()) keys.push_back(item.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"aid", "v", "po", "hid", "w", "h", "cid", "t"}));
  }

  // A file someone else wrote is not sent as it stands.
  platform::LogCapture log;
  ASSERT_TRUE(platform::FileManager::writeAtomically(KvClientIdFile::path(), std::string_view("id\r\nX-Evil: 1")));
  const size_t requests = server.adRequests().size();
  advance(30);
  ASSERT_EQ(server.adRequests().size(), requests + 1);
  EXPECT_EQ(server.adRequests().back().queryItem("cid"), std::nullopt);
  EXPECT_EQ(server.adRequests().back().queryItem("aid"), "kv-app");
  EXPECT_TRUE(log.contains("it is not sent"));
}

}  // namespace
}  // namespace kelvane
