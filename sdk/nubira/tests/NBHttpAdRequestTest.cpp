// Ad requests over loopback to the Nubira sandbox server: the exact body and headers, every
// kind of reply and failure, the steering headers, and requests that must not be sent.
#include <gtest/gtest.h>

#include "NBAdXMLParser.h"
#include "NBHttpAdRequest.h"
#include "NBRecorder.h"
#include "NBRequestFixtures.h"
#include "nubira/NBAdError.h"
#include "platform/user_defaults.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBHttpAdRequest;
using testkit::NubiraServer;
using testkit::ScriptedAnswer;

class NBHttpAdRequestTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    info = nubiratest::filledUserInfo();
    adRequest = nubiratest::filledAdRequest();
    request->setDelegate(recorder);
    server.allowExtraKey("campaign");
    server.allowExtraKey("ref");
  }
  // Sends one request and waits for its one report.
  void send(const std::string& url, int type = 0) {
    recorder->events.clear();
    request->setupRequestUserDataAdRequestRequestMethodRequestType(url, info, adRequest, "POST", type);
    request->sendRequest();
    settleTraffic();
    ASSERT_TRUE(!recorder->events.empty() && !request->isRunning());
    runUntilIdle();
  }
  std::string lastEvent() const { return recorder->events.empty() ? "" : recorder->events.back(); }

  NubiraServer server;
  std::shared_ptr<nubira::NBUserInfo> info;
  std::shared_ptr<nubira::NBAdRequest> adRequest;
  std::shared_ptr<NBHttpAdRequest> request = NBHttpAdRequest::create();
  std::shared_ptr<nubiratest::Recorder> recorder = std::make_shared<nubiratest::Recorder>();
};

TEST_F(NBHttpAdRequestTest, BodyAndHeadersAsTheServerReadsThem) {
  send(server.adURL());
  EXPECT_EQ(lastEvent(), "finished");
  EXPECT_TRUE(server.formProblems().empty()) << server.formProblems().front();
  auto recorded = server.requestsTo(NubiraServer::kAdPath);
  ASSERT_EQ(recorded.size(), 1u);
  const auto& r = recorded[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.body, std::string(nubiratest::kTargetingPart) + "&" + nubiratest::kDevicePart + "&" +
                        nubiratest::kApplicationPart + "adrequest");

  const std::vector<std::pair<std::string, std::string>> expected = {
      {"x-nubira-testmode", "NO"},
      {"x-nubira-siteid", "site-42"},
      {"user-agent", "nubira_iossdk=3.0.2 (iPhone; iPhone OS 6.1; HW iPhone3,1)"},
      {"Host", "127.0.0.1:" + std::to_string(server.http().port())},
      {"nb-banner-size", "15"},
      {"x-nubira-phone-useragent", "Mozilla/5.0 (test)"},
      {"cookie", "iphone-uuid=dev-1;"},
      {"content-type", "application/x-www-form-urlencoded"},
      {"content-length", std::to_string(r.body.size())},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(r.header(name), value) << name;
  EXPECT_FALSE(r.header("X-Nubira-AdActionType"));
  // The client's own headers go out in the order they were set (the transport places the
  // ones it also knows, such as Host, itself).
  std::vector<std::string> order;
  for (const auto& [name, value] : r.headers) {
    if (name.rfind("x-nubira", 0) == 0 || name == "nb-banner-size" || name == "cookie") order.push_back(name);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"x-nubira-testmode", "x-nubira-siteid", "nb-banner-size",
                                             "x-nubira-phone-useragent", "cookie"}));

  info->setTestMode(true);
  send(server.adURL());
  EXPECT_EQ(server.requestsTo(NubiraServer::kAdPath).back().header("X-Nubira-AdActionType"), "web");
  EXPECT_EQ(server.requestsTo(NubiraServer::kAdPath).back().header("x-nubira-testmode"), "YES");
}

TEST_F(NBHttpAdRequestTest, RepliesAndFailures) {
  auto unit = [&] {
    nubira::NBAdXMLParser parser;
    return parser.buildAdUnitFromResponseData(recorder->data);
  };
  send(server.adURL());
  ASSERT_EQ(lastEvent(), "finished");
  ASSERT_TRUE(unit());
  EXPECT_EQ(unit()->adType, 5);

  server.setAdReply(NubiraServer::kBannerWithoutAdURLReply);
  send(server.adURL());
  ASSERT_EQ(lastEvent(), "finished");
  EXPECT_FALSE(unit());

  server.setAdReply(NubiraServer::kCutReply);
  send(server.adURL());
  ASSERT_EQ(lastEvent(), "finished");
  ASSERT_TRUE(unit());
  EXPECT_EQ(unit()->CDATABlock, "<p>cut</p>");

  server.setAdReply("");  // no fill is the caller's to decide: the exchange itself succeeded
  send(server.adURL());
  ASSERT_EQ(lastEvent(), "finished");
  EXPECT_TRUE(recorder->data.empty());
  EXPECT_FALSE(unit());

  for (int status : {204, 500}) {
    server.setAdReply(NubiraServer::kRichMediaReply, status);
    send(server.adURL());
    EXPECT_EQ(lastEvent(), "failed 0");
    EXPECT_EQ(recorder->error.domain, NBHttpAdRequest::kInvalidRequestMessage);
  }

  ScriptedAnswer dropped;
  dropped.dropBeforeHead = true;
  dropped.dropAfterBodyBytes = 0;
  server.setAdAnswer(dropped);
  send(server.adURL());
  EXPECT_EQ(lastEvent(), "failed 4");
  EXPECT_EQ(recorder->error.domain, "NSURLErrorDomain");

  send("http://bad host/nbserve/ad?");
  EXPECT_EQ(lastEvent(), "failed 5");
  EXPECT_EQ(recorder->error.domain, NBHttpAdRequest::kNoConnectionMessage);
}

TEST_F(NBHttpAdRequestTest, TimesOutAfterThirtySeconds) {
  ScriptedAnswer stalled;
  stalled.stall = true;
  server.setAdAnswer(stalled);
  request->setupRequestUserDataAdRequestRequestMethodRequestType(server.adURL(), info, adRequest, "POST", 0);
  request->sendRequest();
  settleTraffic();
  ASSERT_EQ(server.requestsTo(NubiraServer::kAdPath).size(), 1u);
  advance(29);
  runUntilIdle();
  EXPECT_TRUE(recorder->events.empty());
  advance(2);
  settleTraffic();
  ASSERT_FALSE(recorder->events.empty());
  EXPECT_EQ(lastEvent(), "failed 4");
  server.stop();
}

TEST_F(NBHttpAdRequestTest, RequestsThatCannotBeBuiltAreNotSent) {
  struct Case {
    const char* name;
    std::function<void()> spoil;
  };
  const Case cases[] = {
      {"extra parameter not a string", [&] { adRequest->setParamsDictionary(platform::Dictionary{{"n", 5}}); }},
      {"line break in the site id", [&] { info->setAppId("site\r\nX-Evil: 1"); }},
      {"line break in the phone user agent", [&] { info->setPhoneUserAgent("Mozilla\n"); }},
      {"no user facts", [&] { info.reset(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    info = nubiratest::filledUserInfo();
    adRequest = nubiratest::filledAdRequest();
    server.http().clearRequests();
    c.spoil();
    send(server.adURL());
    EXPECT_EQ(lastEvent(), "failed 5");
    EXPECT_EQ(recorder->error.domain.rfind("Failed to build the ad request: ", 0), 0u) << recorder->error.domain;
    EXPECT_EQ(server.requests().size(), 0u);
  }
}

TEST_F(NBHttpAdRequestTest, SteeringHeaders) {
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  server.setCachedServer("http://cache.nubira.example/nbserve/ad?", "3600");
  send(server.adURL());
  EXPECT_EQ(defaults.stringForKey("Nubiracachedserver"), "http://cache.nubira.example/nbserve/ad?");
  EXPECT_EQ(defaults.integerForKey("Nubiracachedlife"), 3600);
  EXPECT_DOUBLE_EQ(defaults.doubleForKey("Nubira_cached_timestamp"), clock().now());

  defaults.removeObjectForKey("Nubiracachedserver");
  defaults.removeObjectForKey("Nubiracachedlife");
  advance(5);
  server.setCachedServer("not a url", "0");
  send(server.adURL());
  EXPECT_FALSE(defaults.stringForKey("Nubiracachedserver"));
  EXPECT_TRUE(defaults.objectForKey("Nubiracachedlife").isNull());
  EXPECT_DOUBLE_EQ(defaults.doubleForKey("Nubira_cached_timestamp"), clock().now());

  // The upload the reply asks for carries the device part to the named URL.
  auto upload = NBHttpAdRequest::create();
  auto uploadRecorder = std::make_shared<nubiratest::Recorder>();
  upload->setDelegate(uploadRecorder);
  recorder->onUpload = [&](const std::string& url) {
    upload->setupRequestUserDataAdRequestRequestMethodRequestType(url, info, adRequest, "POST", 1);
    upload->sendRequest();
  };
  server.setDeviceInfoUploadURL(server.url(NubiraServer::kDeviceInfoPath));
  send(server.adURL());
  EXPECT_EQ(recorder->events,
            (std::vector<std::string>{"upload " + server.url(NubiraServer::kDeviceInfoPath), "finished"}));
  settleTraffic();
  ASSERT_FALSE(uploadRecorder->events.empty());
  EXPECT_EQ(uploadRecorder->events, std::vector<std::string>{"finished"});
  auto uploads = server.requestsTo(NubiraServer::kDeviceInfoPath);
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].body, nubiratest::kDevicePart);
  EXPECT_TRUE(server.formProblems().empty());

  // A delegate that does not take the message leaves the header without effect.
  recorder->responds &= ~nubira::NBHttpRequestDelegate::kStartDeviceInfoUpload;
  send(server.adURL());
  EXPECT_EQ(recorder->events, std::vector<std::string>{"finished"});
}

}  // namespace
