// The ad request and its answer over loopback: the query as sent, the banner listeners
// receive, beacons, and what a refused, malformed or cut answer gives.
#include <gtest/gtest.h>

#include "PELOAdDownloader.h"
#include "PELOHttpConnector.h"
#include "PeloraTestSupport.h"
#include "platform/log.h"
#include "platform/url_connection.h"
#include "platform/web_view.h"

namespace {

using pelora::PELOAdDownloader;
using pelora::PELOGlobalSettings;
using pelora_test::RecordingListener;

class PELOAdRequestTest : public pelora_test::PeloraTest {
 protected:
  void SetUp() override {
    PeloraTest::SetUp();
    downloader = PELOAdDownloader::create();
    listener = std::make_shared<RecordingListener>("host", &heard);
    downloader->addAdListener(listener);
    auto settings = downloader->adSettings();
    settings->setPublisherId(12);
    settings->setAdspaceId(34);
    settings->setBannerWidth(320);
    settings->setBannerHeight(50);
  }

  // One request through to its banner.
  std::shared_ptr<pelora::PELOReceivedBannerProtocol> load() {
    const size_t before = heard.size();
    downloader->asyncLoadNewBanner();
    advance(PELOAdDownloader::kStartDelay);  // which lets the request and its answer arrive
    EXPECT_GT(heard.size(), before);
    return heard.size() > before ? heard.back().banner : nullptr;
  }

  std::shared_ptr<PELOAdDownloader> downloader;
  std::shared_ptr<RecordingListener> listener;
};

TEST_F(PELOAdRequestTest, QueryIsSentAsComposedWithEachValueEscaped) {
  auto user = PELOGlobalSettings::globalSettings()->userSettings();
  user->setUserGender(2);
  user->setAge(33);
  user->setKeywordList("cars&pub=99#x");
  user->setCountry("DE");
  user->setCity("K\xC3\xB6ln");
  user->setZip("50667");
  user->setLatitude(50.9375);
  user->setLongitude(6.9603);

  ASSERT_NE(load(), nullptr);
  ASSERT_EQ(server->adRequests().size(), 1u);
  const auto request = server->adRequests()[0];
  EXPECT_EQ(request.query,
            "response=XML&modifyRM=true&formatstrict=true&beacon=true&user=900"
            "&devicemodel=iPhone3,1&session=0d06e266224a67c664f162ddb902ca44&ownid=udid-1&client=pelo_ios_505"
            "&ownid2=64ef59ed159b1cfd56057da3b82a7677&ownid3=7eea0b498f9cc0f7fc6b3eff0aab3fa973a5e491"
            "&pub=12&adspace=34&format=ALL&width=320&height=50&dimension=XXLARGE"
            "&gender=f&age=33&kws=cars%26pub%3D99%23x&country=DE&city=K%C3%B6ln&zip=50667&gps=50.937500,6.960300");
  // The keywords stay one value: the injected key is not there.
  EXPECT_EQ(request.queryItem("pub"), "12");
  EXPECT_EQ(request.queryItem("kws"), "cars&pub=99#x");

  // Once the connection type is known it goes out too; without a profile no targeting.
  user->setUserProfileEnabled(false);
  advance(0.2);
  ASSERT_NE(load(), nullptr);
  const auto second = server->adRequests().back();
  EXPECT_EQ(second.queryItem("connection"), "wifi");
  EXPECT_FALSE(second.queryItem("kws"));
  EXPECT_FALSE(second.queryItem("gps"));
}

TEST_F(PELOAdRequestTest, IdsAndOptionalKeys) {
  platform::LogCapture log;
  PELOGlobalSettings::globalSettings()->setLogLevel(3);
  struct Case {
    int pub, adspace, dimension, os;
    double lat, lon;
    std::vector<std::pair<std::string, std::string>> present;
    std::vector<std::string> absent;
  };
  const Case cases[] = {
      {0, 5, 0, 4, 0, 0, {{"pub", "0"}, {"adspace", "5"}}, {"gps", "dimensionstrict"}},
      {-1, 7, 3, 4, 0, 6.5, {{"adspace", "7"}, {"dimensionstrict", "true"}, {"dimension", "SKY"}, {"modifyRM", "true"}}, {"pub", "gps"}},
      {9, 0, 1, 3, 1.5, 0, {{"pub", "9"}, {"adspace", "0"}, {"dimension", "MEDRECT"}}, {"gps", "modifyRM"}},
  };
  for (const auto& c : cases) {
    downloader->adSettings()->setPublisherId(c.pub);
    downloader->adSettings()->setAdspaceId(c.adspace);
    downloader->adSettings()->setAdDimension(c.dimension);
    platform::Device::currentDevice().setSystemVersion(c.os == 4 ? "4.0" : "3.1.3");
    auto user = PELOGlobalSettings::globalSettings()->userSettings();
    user->setLatitude(c.lat);
    user->setLongitude(c.lon);
    ASSERT_NE(load(), nullptr);
    const auto request = server->adRequests().back();
    for (const auto& [key, value] : c.present) EXPECT_EQ(request.queryItem(key), value) << request.query;
    for (const auto& key : c.absent) EXPECT_FALSE(request.queryItem(key)) << key << " in " << request.query;
  }
  // Each request with a zero id said so; the one with both ids set did not.
  int demoLines = 0;
  for (const auto& line : log.lines())
    if (line == "[iPELO  INFO] Publisher or adspace id is 0. You will receive a demo ad.") ++demoLines;
  EXPECT_EQ(demoLines, 2);
}

TEST_F(PELOAdRequestTest, BeaconsFollowTheListenersOnlyForSuccess) {
  auto ad = server->imageAd("7");
  ad.beacons = {server->beaconURL("a"), server->beaconURL("b")};
  server->setAd(ad);
  size_t beaconsWhenTold = 99;
  listener->then = [&] { beaconsWhenTold = server->beaconHits("a") + server->beaconHits("b"); };
  auto banner = load();
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner->status(), 0);
  EXPECT_EQ(banner->imageUrl(), server->imageURL("7"));
  EXPECT_EQ(banner->clickUrl(), server->clickURL("7"));
  EXPECT_EQ(beaconsWhenTold, 0u);
  EXPECT_TRUE(runUntil([&] { return server->beaconHits("a") == 1 && server->beaconHits("b") == 1; }));
  // Requests and beacons go out as the platform's web view names itself.
  const std::string agent = platform::WebView::userAgent();
  EXPECT_FALSE(agent.empty());
  EXPECT_EQ(server->adRequests().back().header("User-Agent"), agent);
  EXPECT_EQ(server->http().requestsTo("/pelora/beacon/a").at(0).header("User-Agent"), agent);

  auto error = testkit::PeloraServer::errorAd("42", "No ad available");
  error.beacons = {server->beaconURL("never")};
  server->setAd(error);
  banner = load();
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner->status(), 1);
  EXPECT_EQ(banner->errorCode(), 3);
  EXPECT_EQ(banner->errorMessage(), "No ad available");
  runUntilIdle();
  EXPECT_EQ(server->beaconHits("never"), 0u);
}

TEST_F(PELOAdRequestTest, ABeaconAnswerNeverMixesWithTheNextAdAnswer) {
  // The first answer's beacon and the second ad answer are both held; the beacon's answer is
  // let go first, so it arrives while the next ad answer is awaited.
  auto first = server->imageAd("1");
  auto second = server->textAd("Second ad", "2");
  auto firstAnswer = testkit::ScriptedAnswer::text(testkit::PeloraServer::answerXML(first));
  auto secondAnswer = testkit::ScriptedAnswer::text(testkit::PeloraServer::answerXML(second));
  secondAnswer.hold = std::make_shared<testkit::AnswerHold>();
  server->http().setAnswers(testkit::PeloraServer::kRequestPath, {firstAnswer, secondAnswer});
  auto beaconAnswer = testkit::ScriptedAnswer::text("<beacon-body-that-is-not-xml");
  beaconAnswer.hold = std::make_shared<testkit::AnswerHold>();
  server->http().setAnswer("/pelora/beacon/img-1", beaconAnswer);

  ASSERT_NE(load(), nullptr);
  ASSERT_EQ(beaconAnswer.hold->waiting(), 1u);
  const size_t before = heard.size();
  downloader->asyncLoadNewBanner();
  advance(PELOAdDownloader::kStartDelay);
  ASSERT_EQ(secondAnswer.hold->waiting(), 1u);
  beaconAnswer.hold->release();
  ASSERT_TRUE(settleTraffic());
  EXPECT_EQ(heard.size(), before) << "the beacon's answer was taken for the ad answer";
  secondAnswer.hold->release();
  ASSERT_TRUE(settleTraffic());
  ASSERT_EQ(heard.size(), before + 1);
  auto banner = heard.back().banner;
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(server->beaconHits("img-1"), 1u);
  EXPECT_EQ(banner->status(), 0) << banner->errorMessage();
  EXPECT_EQ(banner->adText(), "Second ad");
}

TEST_F(PELOAdRequestTest, FailuresBecomeErrorBanners) {
  platform::LogCapture log;
  PELOGlobalSettings::globalSettings()->setLogLevel(1);

  server->setMalformedAnswer();
  auto banner = load();
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner->status(), 1);
  EXPECT_EQ(banner->errorCode(), 5);

  const std::string full = testkit::PeloraServer::answerXML(server->imageAd());
  server->setCutAnswer(server->imageAd(), full.size() - 20);
  banner = load();
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner->errorCode(), 5);

  // Nobody listens on the port any more: the connection is refused.
  server->stop();
  banner = load();
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner->status(), 1);
  EXPECT_EQ(banner->errorCode(), 2);
  EXPECT_EQ(banner->errorMessage(), "Server connection failed.");
  EXPECT_TRUE(log.contains("[iPELO ERROR] Server connection failed with error: "));
}

// Answers that never end, or end past what an ad answer may be, each fail the one request
// they answer: the listener hears one ERROR banner, the connection goes, and the next
// request goes out and shows an ad.
TEST_F(PELOAdRequestTest, AnswersThatNeverEndOrOverflowFailOnceAndTheNextRequestGoesOut) {
  using pelora::PELOHttpConnector;
  using testkit::ScriptedAnswer;
  const std::string xml = testkit::PeloraServer::answerXML(server->imageAd("slow"));
  const std::string oversized(platform::kURLDefaultMaximumContentLength + 1, ' ');
  struct Case {
    const char* name;
    ScriptedAnswer answer;
    // Manual seconds after which the failure must have come (0: at once).
    double failsBy;
  };
  ScriptedAnswer trickle = ScriptedAnswer::text(xml + std::string(200000, ' '));
  trickle.trickle = std::chrono::milliseconds(2);
  ScriptedAnswer stalled = ScriptedAnswer::text(xml);
  stalled.stall = true;
  ScriptedAnswer chunked = ScriptedAnswer::text(oversized);
  chunked.chunked = true;
  chunked.chunkSize = 64 * 1024;
  const Case cases[] = {
      {"a server sending a byte now and then", trickle, PELOHttpConnector::kTimeout},
      {"a server that never answers", stalled, PELOHttpConnector::kTimeout},
      {"an answer declaring more than an ad answer may be", ScriptedAnswer::text(oversized), 0},
      {"an oversized answer in chunks", chunked, 0},
      {"a request redirected to itself for ever",
       ScriptedAnswer::redirect(server->url(testkit::PeloraServer::kRequestPath)), 0},
  };
  PELOGlobalSettings::globalSettings()->setLogLevel(3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(runUntil([] { return platform::URLConnection::liveCount() == 0; }));
    platform::LogCapture log;
    server->http().setAnswer(testkit::PeloraServer::kRequestPath, c.answer);
    const size_t before = heard.size();
    const size_t requestsBefore = server->adRequests().size();
    downloader->asyncLoadNewBanner();
    advance(PELOAdDownloader::kStartDelay);
    ASSERT_GT(server->adRequests().size(), requestsBefore);
    if (c.failsBy > 0) {
      // Short of the deadline the request is still in flight, and a second call is skipped.
      // A trickle moves bytes between every step, so no idle time-out can end it.
      auto connector = std::dynamic_pointer_cast<PELOHttpConnector>(downloader->connectorForTesting());
      ASSERT_NE(connector, nullptr);
      for (double t = 0; t + 4 < c.failsBy; t += 4) {
        if (c.answer.trickle) {
          const size_t read = connector->adBytesReceivedForTesting();
          ASSERT_TRUE(runUntil([&] { return connector->adBytesReceivedForTesting() > read; }));
        }
        advance(4);
        runUntilIdle();
      }
      EXPECT_EQ(heard.size(), before);
      EXPECT_LE(platform::URLConnection::liveCount(), 2u);  // the ad request, perhaps the install ping
      downloader->asyncLoadNewBanner();
      EXPECT_TRUE(log.contains("[iPELO  INFO] Skipping call"));
      advance(4);
    }
    ASSERT_TRUE(runUntil([&] { return heard.size() > before; }));
    runUntilIdle();
    ASSERT_EQ(heard.size(), before + 1);
    EXPECT_EQ(heard.back().banner->status(), 1);
    EXPECT_EQ(heard.back().banner->errorCode(), 2);
    EXPECT_EQ(heard.back().banner->errorMessage(), PELOHttpConnector::kConnectionFailedMessage);
    EXPECT_TRUE(log.contains("[iPELO ERROR] Server connection failed with error: "));
    EXPECT_TRUE(runUntil([] { return platform::URLConnection::liveCount() == 0; }));
    // Told once: nothing more comes for that request.
    advance(2 * PELOHttpConnector::kTimeout);
    runUntilIdle();
    EXPECT_EQ(heard.size(), before + 1);

    server->setAd(server->imageAd("next"));
    auto banner = load();
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->status(), 0) << banner->errorMessage();
    EXPECT_EQ(banner->imageUrl(), server->imageURL("next"));
  }
}

TEST_F(PELOAdRequestTest, ASecondCallWhileOneIsInFlightIsSkipped) {
  platform::LogCapture log;
  PELOGlobalSettings::globalSettings()->setLogLevel(3);
  downloader->asyncLoadNewBanner();
  downloader->asyncLoadNewBanner();
  advance(PELOAdDownloader::kStartDelay);
  ASSERT_EQ(heard.size(), 1u);
  runUntilIdle();
  EXPECT_EQ(server->adRequests().size(), 1u);
  EXPECT_TRUE(log.contains("[iPELO  INFO] Skipping call"));
  // Done: the next call goes out.
  ASSERT_NE(load(), nullptr);
  EXPECT_EQ(server->adRequests().size(), 2u);
}

}  // namespace
