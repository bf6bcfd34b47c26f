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

TEST_F(KvRequestUrlTest, ClientIdThatIsNotAPlainIdentifierIsNeitherStoredNorSent) {
  platform::LogCapture log;
  auto view = placeBanner(kKelvaneAdTypeBanner, 30);
  ASSERT_TRUE(view);
  server.setCid("x&aid=other");
  advance(30);
  ASSERT_TRUE(heardNotes(2));
  // The good id stays, and is sent again.
  EXPECT_EQ(platform::FileManager::stringContentsAtPath(KvClientIdFile::path()), "kv1");
  EXPECT_TRUE(log.contains("not a plain identifier"));

  // A file someone else wrote is not sent as it stands.
  ASSERT_TRUE(platform::FileManager::writeAtomically(KvClientIdFile::path(), std::string_view("id\r\nX-Evil: 1")));
  server.setCid(std::nullopt);
  advance(30);
  ASSERT_EQ(server.adRequests().size(), 3u);
  EXPECT_EQ(server.adRequests()[1].queryItem("cid"), "kv1");
  EXPECT_EQ(server.adRequests()[2].queryItem("cid"), std::nullopt);
  EXPECT_EQ(server.adRequests()[2].queryItem("aid"), "kv-app");
}

}  // namespace
}  // namespace kelvane
