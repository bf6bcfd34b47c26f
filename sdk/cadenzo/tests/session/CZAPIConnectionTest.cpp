// The API request layer over real HTTP against the Cadenzo sandbox server.
#include <gtest/gtest.h>

#include "CZAPIConnection.h"
#include "CZAPIRequest.h"
#include "CZIdentity.h"
#include "platform/crypto.h"
#include "platform/device.h"
#include "platform/locale.h"
#include "platform/reachability.h"
#include "platform/screen.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"
#include "CZSessionTest.h"

namespace {

using cadenzo::CZAPIConnection;
using cadenzo::CZAPIRequest;
using platform::Dictionary;
using platform::Value;
using testkit::ScriptedAnswer;

class APIConnectionTest : public cztest::CZSessionTest {
 protected:
  void SetUp() override {
    cztest::CZSessionTest::SetUp();
    delegate = std::make_shared<cztest::RecordingConnectionDelegate>();
    connection = CZAPIConnection::createWithDelegate(delegate, facade->settings());
  }
  // A request with the device keys and, when `key` is given, one body entry, signed with `secret`.
  static std::shared_ptr<CZAPIRequest> signedRequest(
      const std::string& action, const std::string& key = "", const std::string& value = "",
      const std::string& secret = std::string(testkit::CadenzoServer::kAppSignature)) {
    auto request = CZAPIRequest::requestWithControllerAction("api", action);
    request->appendDeviceInfoParams(std::string(testkit::CadenzoServer::kAppId));
    if (!key.empty()) request->appendBodyArgumentKeyValue(key, Value(value));
    request->signWithAppIdAppSignature(std::string(testkit::CadenzoServer::kAppId), secret);
    return request;
  }
  static std::shared_ptr<CZAPIRequest> signedGet(const std::string& location) {
    return signedRequest("get", "location", location);
  }
  void sendAndWait(const std::shared_ptr<CZAPIRequest>& request) {
    size_t before = delegate->events.size();
    connection->sendRequest(request);
    settleTraffic();
    ASSERT_GT(delegate->events.size(), before);
  }
  std::shared_ptr<cztest::RecordingConnectionDelegate> delegate;
  std::shared_ptr<CZAPIConnection> connection;
};

TEST_F(APIConnectionTest, SignedRequestCarriesHeadersAndDeviceKeysTheServerAccepts) {
  platform::Screen::mainScreen().setScale(2);
  platform::Locale::currentLocale().setLocaleIdentifier("fr_CA");
  auto& device = platform::Device::currentDevice();
  device.setModel("iPad");
  device.setSystemVersion("5.1.1");
  device.setUserInterfaceIdiom(platform::UserInterfaceIdiom::Pad);
  auto request = signedGet("Level end");
  EXPECT_EQ(request->method(), "POST");
  sendAndWait(request);
  auto calls = server->callsTo("get");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].accepted()) << calls[0].problems.front();
  ASSERT_TRUE(delegate->events[0].answered);
  EXPECT_EQ(delegate->events[0].response.get("ad_id"), Value("ad-1"));
  const auto& r = calls[0].request;
  // Fixed headers in their order, then the request's own.
  std::vector<std::string> names;
  for (const auto& [name, value] : r.headers)
    if (name.rfind("X-Cadenzo", 0) == 0 || name == "Content-Type" || name == "Accept") names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"Content-Type", "Accept", "X-Cadenzo-Client", "X-Cadenzo-API",
                                             "X-Cadenzo-App", "X-Cadenzo-Signature"}));
  // The signature recomputed here from the bytes that crossed the wire.
  std::string text = std::string("POST /api/get\n") + testkit::CadenzoServer::kAppSignature + "\n" + r.body;
  EXPECT_EQ(r.header("X-Cadenzo-Signature"), platform::crypto::sha1Hex(text));
  const Value& body = calls[0].body;
  for (const auto& [key, value] : std::vector<std::pair<std::string, Value>>{
           {"model", Value("iPad")}, {"os", Value("5.1.1")}, {"ui", Value("1")},
           {"identity", Value(cadenzo::CZIdentity::hexIdentifier())}, {"tracking", Value(true)},
           {"country", Value("CA")}, {"language", Value("fr")}, {"bundle", Value("1.0")}, {"sdk", Value("3.1.1")},
           {"timestamp", Value(std::to_string(static_cast<unsigned long>(clock().now())))},
           {"retina", Value(true)}, {"app", Value(testkit::CadenzoServer::kAppId)}, {"location", Value("Level end")}})
    EXPECT_EQ(body[key], value) << key;
  EXPECT_EQ(body["reachability"].integerValue(), 1);
  // A cellular network and a device without an idiom.
  platform::Reachability::setNetwork(platform::Reachability::Network::WWAN);
  device.setUserInterfaceIdiom(std::nullopt);
  sendAndWait(signedGet("Default"));
  const auto cellular = server->callsTo("get").at(1);
  EXPECT_TRUE(cellular.accepted());
  EXPECT_EQ(cellular.body["reachability"].integerValue(), 2);
  EXPECT_EQ(cellular.body["ui"], Value("0"));
}

TEST_F(APIConnectionTest, TheServiceRefusesABodyChangedAfterSigningOrAWrongSecret) {
  auto changed = signedGet("A");
  changed->appendBodyArgumentKeyValue("location", Value("B"));
  sendAndWait(changed);
  sendAndWait(signedRequest("install", "", "", std::string(40, 'f')));
  auto calls = server->calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& call : calls) {
    ASSERT_EQ(call.problems.size(), 1u);
    EXPECT_EQ(call.problems[0], "bad signature");
  }
  EXPECT_EQ(delegate->failures(), 2u);
}

TEST_F(APIConnectionTest, WatchdogFailsASilentRequestOnceAtItsDelay) {
  struct Case { unsigned long timeout; double delay; };
  // 0 is the default of 30 s; below 10 is raised to 10; from 10 on the value holds.
  for (Case c : std::vector<Case>{{0, 30}, {1, 10}, {5, 10}, {9, 10}, {10, 10}, {11, 11}, {45, 45}}) {
    SCOPED_TRACE(c.timeout);
    EXPECT_EQ(cadenzo::CZAPIWatchdogDelay(c.timeout), c.delay);
    facade->setTimeout(c.timeout);
    delegate->events.clear();
    server->scriptNext("get", cztest::silence());
    size_t callsBefore = server->callCount();
    connection->sendRequest(signedGet("Default"));
    settleTraffic();
    ASSERT_GT(server->callCount(), callsBefore);
    advance(c.delay - 0.5);
    EXPECT_TRUE(delegate->events.empty());
    EXPECT_EQ(connection->activeConnectionCountForTesting(), 1u);
    advance(0.5);
    ASSERT_EQ(delegate->events.size(), 1u);
    EXPECT_FALSE(delegate->events[0].answered);
    EXPECT_EQ(connection->activeConnectionCountForTesting(), 0u);
    advance(60);  // the transport's own time-out must not report the request again
    EXPECT_EQ(delegate->events.size(), 1u);
  }
}

TEST_F(APIConnectionTest, BytesArrivingAfterTheWatchdogAreIgnored) {
  facade->setTimeout(1);
  ScriptedAnswer late = ScriptedAnswer::json("{\"status\":200}");
  late.hold = std::make_shared<testkit::AnswerHold>();
  server->scriptNext("install", late);
  connection->sendRequest(signedRequest("install"));
  settleTraffic();
  ASSERT_EQ(server->callCount(), 1);
  advance(10);
  ASSERT_EQ(delegate->events.size(), 1u);
  EXPECT_FALSE(delegate->events[0].answered);
  // The server answers only now; nothing more may reach the delegate.
  late.hold->release();
  settleTraffic();
  EXPECT_EQ(delegate->events.size(), 1u);
  EXPECT_EQ(platform::URLConnection::liveCount(), 0u);
}

TEST_F(APIConnectionTest, OnlyAJSONObjectInA2xxAnswerSucceeds) {
  struct Case { const char* name; ScriptedAnswer answer; bool succeeds; };
  ScriptedAnswer dropped = ScriptedAnswer::json("{\"status\":200}");
  dropped.dropBeforeHead = true;
  dropped.dropAfterBodyBytes = 0;
  ScriptedAnswer truncated = ScriptedAnswer::json("{\"status\":200,\"message\":\"long enough\"}");
  truncated.dropAfterBodyBytes = 5;
  server->http().setRedirectChain({"/hop1", "/hop2", "/final"}, 307, ScriptedAnswer::json("{\"status\":200}"));
  std::vector<Case> cases = {
      {"object", ScriptedAnswer::json("{\"status\":200}"), true},
      {"object with 201", ScriptedAnswer::json("{\"a\":1}", 201), true},
      {"array", ScriptedAnswer::json("[1,2]"), false},
      {"not json", ScriptedAnswer::text("<html>busy</html>"), false},
      {"empty 204", ScriptedAnswer::text("", 204), false},
      {"object with 500", ScriptedAnswer::json("{\"status\":200}", 500), false},
      {"object with 404", ScriptedAnswer::json("{\"status\":200}", 404), false},
      {"invalid UTF-8", ScriptedAnswer::json("{\"a\":\"\xff\"}"), false},
      {"dropped", dropped, false},
      {"truncated", truncated, false},
      {"object after a chain of redirects", ScriptedAnswer::redirect(server->url("/hop1"), 307), true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    delegate->events.clear();
    server->scriptNext("get", c.answer);
    // The transport may retry once on a kept-alive connection that closed with no answer.
    if (c.answer.dropBeforeHead) server->scriptNext("get", c.answer);
    sendAndWait(signedGet("Default"));
    ASSERT_EQ(delegate->events.size(), 1u);
    EXPECT_EQ(delegate->events[0].answered, c.succeeds);
  }
}

// Request ids count from one; a request sent offline fails before sendRequest returns and takes none.
TEST_F(APIConnectionTest, RequestIdsAndOfflineFailure) {
  platform::Reachability::setNetwork(platform::Reachability::Network::None);
  connection->sendRequest(signedGet("Default"));
  ASSERT_EQ(delegate->events.size(), 1u);
  EXPECT_FALSE(delegate->events[0].answered);
  EXPECT_EQ(connection->requestIdMax(), 1u);
  platform::Reachability::setNetwork(platform::Reachability::Network::WiFi);
  connection->sendRequest(signedGet("a"));
  connection->sendRequest(signedGet("b"));
  EXPECT_EQ(connection->requestIdMax(), 3u);
  EXPECT_EQ(connection->activeConnectionCountForTesting(), 2u);
  settleTraffic();
  ASSERT_EQ(delegate->events.size(), 3u);
  EXPECT_EQ(connection->activeConnectionCountForTesting(), 0u);
  EXPECT_EQ(server->callCount(), 2u);
}

// The resend after a relaunch is pinned by the analytics tests, whose queue this is.
TEST_F(APIConnectionTest, FailedDeliveriesWaitInTheQueue) {
  auto queued = CZAPIConnection::createWithDelegateIdentifier(delegate, std::string("CZAnalytics"), facade->settings());
  EXPECT_EQ(queued->queueKey(), "CZQueuedRequests-CZAnalytics");
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  auto queuedCount = [&] { return defaults.arrayForKey(queued->queueKey()).size(); };
  auto event = signedRequest("event", "key", "level_won");
  event->setEnsureDelivery(true);
  server->scriptAlways("event", ScriptedAnswer::json("{}", 503));
  queued->sendRequest(event);
  settleTraffic();
  ASSERT_TRUE(queued->activeConnectionCountForTesting() == 0 && server->callCount() == 1);
  EXPECT_EQ(queuedCount(), 1u);
  // Retrying while offline leaves the queue as it is.
  platform::Reachability::setNetwork(platform::Reachability::Network::None);
  queued->retryDeliveries();
  EXPECT_EQ(queuedCount(), 1u);
  EXPECT_TRUE(delegate->events.empty());
}

TEST_F(APIConnectionTest, FailureReachesTheDelegateUnlessBothQueueConditionsHold) {
  struct Case { bool identifier; bool ensure; bool queued; };
  platform::Reachability::setNetwork(platform::Reachability::Network::None);
  for (Case c : std::vector<Case>{{false, false, false}, {false, true, false}, {true, false, false}, {true, true, true}}) {
    SCOPED_TRACE(::testing::Message() << c.identifier << c.ensure);
    platform::UserDefaults::standardUserDefaults().removeObjectForKey("CZQueuedRequests-Q");
    delegate->events.clear();
    auto conn = CZAPIConnection::createWithDelegateIdentifier(
        delegate, c.identifier ? std::optional<std::string>("Q") : std::nullopt);
    auto request = signedGet("x");
    request->setEnsureDelivery(c.ensure);
    conn->sendRequest(request);
    EXPECT_EQ(delegate->events.size(), c.queued ? 0u : 1u);
    EXPECT_EQ(platform::UserDefaults::standardUserDefaults().arrayForKey("CZQueuedRequests-Q").size(),
              c.queued ? 1u : 0u);
  }
}

TEST(APIRequest, ArchiveKeepsBodyAndMethodRulesButNoHeaders) {
  auto withBody = CZAPIRequest::requestWithControllerAction("api", "event");
  withBody->appendBodyArgumentKeyValue("key", Value("k"));
  withBody->appendBodyArgumentKeyValue("n", Value(3));
  withBody->setEnsureDelivery(true);
  withBody->appendHeaderKeyValue("X-Cadenzo-App", Value("a"));
  auto restored = CZAPIRequest::requestWithArchivedData(*withBody->archivedData());
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->method(), "POST");
  EXPECT_EQ(restored->body(), withBody->body());
  EXPECT_EQ(restored->serializedBody(), withBody->serializedBody());
  EXPECT_TRUE(restored->ensureDelivery());
  EXPECT_FALSE(restored->headers());
  EXPECT_EQ(restored->uri(), "/api/event");
  auto noBody = CZAPIRequest::requestWithControllerAction("api", "install");
  auto restoredGet = CZAPIRequest::requestWithArchivedData(*noBody->archivedData());
  ASSERT_TRUE(restoredGet);
  EXPECT_EQ(restoredGet->method(), "GET");
  EXPECT_FALSE(restoredGet->ensureDelivery());
  EXPECT_FALSE(CZAPIRequest::requestWithArchivedData(platform::Bytes{'x', 'y'}));
  // The form queues were written in before bodies were kept as JSON text.
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
      "\t<key>controller</key>\n\t<string>api</string>\n\t<key>action</key>\n\t<string>event</string>\n"
      "\t<key>body</key>\n\t<dict>\n\t\t<key>key</key>\n\t\t<string>won</string>\n\t</dict>\n"
      "\t<key>ensureDelivery</key>\n\t<true/>\n</dict>\n</plist>\n";
  auto old = CZAPIRequest::requestWithArchivedData(platform::Bytes(xml.begin(), xml.end()));
  ASSERT_TRUE(old);
  EXPECT_EQ(old->serializedBody(), "{\"key\":\"won\"}");
  EXPECT_EQ(old->method(), "POST");
  EXPECT_TRUE(old->ensureDelivery());
}

TEST(APIRequest, MissingValuesChangeNothingAndQueryPairsJoinTheUri) {
  auto r = CZAPIRequest::requestWithControllerAction("api", "get");
  r->appendBodyArgumentKeyValue("a", std::nullopt);
  r->appendQueryArgumentKeyValue("b", std::nullopt);
  r->appendHeaderKeyValue("c", std::nullopt);
  EXPECT_FALSE(r->body());
  EXPECT_FALSE(r->query());
  EXPECT_FALSE(r->headers());
  EXPECT_EQ(r->method(), "GET");
  EXPECT_EQ(r->uri(), "/api/get");
  r->appendQueryArgumentKeyValue("x", Value("1"));
  r->appendQueryArgumentKeyValue("y", Value(2));
  r->appendQueryArgumentKeyValue("x", Value("3"));
  EXPECT_EQ(r->uri(), "/api/get?x=3&y=2");
  EXPECT_EQ(r->method(), "GET");
}

TEST(APIRequest, SignatureCoversMethodUriSecretAndBody) {
  // Computed by hand from "<method> <uri>\n<secret>\n<body>"; "(null)" stands for a missing body.
  auto r = CZAPIRequest::requestWithControllerAction("api", "install");
  r->signWithAppIdAppSignature(std::string("app"), std::string("secret"));
  EXPECT_EQ(r->headers()->get("X-Cadenzo-App"), Value("app"));
  EXPECT_EQ(r->headers()->get("X-Cadenzo-Signature"), Value(platform::crypto::sha1Hex("GET /api/install\nsecret\n(null)")));
  auto p = CZAPIRequest::requestWithControllerAction("api", "event");
  p->appendBodyArgumentKeyValue("key", Value("a\"b"));
  p->signWithAppIdAppSignature(std::string("app"), std::string("secret"));
  EXPECT_EQ(p->headers()->get("X-Cadenzo-Signature"),
            Value(platform::crypto::sha1Hex("POST /api/event\nsecret\n{\"key\":\"a\\\"b\"}")));
}

}  // namespace
