#include "platform/url_connection.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <limits>
#include <thread>

#include "testing/loopback_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Bytes;
using platform::Error;
using platform::HTTPURLResponse;
using platform::URLConnection;
using platform::URLRequest;

struct Recorder : platform::URLConnectionDelegate {
  std::vector<std::string> events;  // consecutive "data" collapsed
  std::vector<URLRequest> sent;
  std::vector<long> redirectStatuses;
  std::optional<HTTPURLResponse> response;
  std::string body;
  std::optional<Error> error;
  bool finished = false;
  std::function<std::optional<URLRequest>(const URLRequest&, const HTTPURLResponse*)> onWillSend;
  std::function<void(URLConnection&)> onResponse;

  bool done() const { return finished || error.has_value(); }
  void note(const std::string& e) {
    if (e == "data" && !events.empty() && events.back() == "data") return;
    events.push_back(e);
  }
  std::optional<URLRequest> connectionWillSendRequestRedirectResponse(
      URLConnection&, const URLRequest& request, const HTTPURLResponse* redirect) override {
    note(redirect ? "redirect" : "will");
    sent.push_back(request);
    if (redirect) redirectStatuses.push_back(redirect->statusCode());
    if (onWillSend) return onWillSend(request, redirect);
    return request;
  }
  void connectionDidReceiveResponse(URLConnection& c, const HTTPURLResponse& r) override {
    note("response");
    response = r;
    if (onResponse) onResponse(c);
  }
  void connectionDidReceiveData(URLConnection&, const Bytes& data) override {
    note("data");
    body.append(data.begin(), data.end());
  }
  void connectionDidFinishLoading(URLConnection&) override {
    note("finish");
    finished = true;
  }
  void connectionDidFailWithError(URLConnection&, const Error& e) override {
    note("fail");
    error = e;
  }
};

std::string gzip(const std::string& plain) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, plain.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Positions of `names` among the recorded headers, in the order they were found.
std::vector<std::string> headerOrder(const testkit::RecordedRequest& r,
                                     const std::vector<std::string>& names) {
  std::vector<std::string> seen;
  for (const auto& [k, v] : r.headers) {
    if (std::find(names.begin(), names.end(), k) != names.end()) seen.push_back(k);
  }
  return seen;
}

class URLConnectionTest : public testkit::SandboxTest {
 protected:
  std::shared_ptr<Recorder> load(URLRequest request, std::shared_ptr<Recorder> d = nullptr) {
    if (!d) d = std::make_shared<Recorder>();
    connection = URLConnection::connectionWithRequestDelegate(request, d);
    return d;
  }
  bool finish(const std::shared_ptr<Recorder>& d) {
    return runUntil([&] { return d->done(); });
  }
  static long code(const std::shared_ptr<Recorder>& d) { return d->error ? d->error->code : 0; }

  testkit::LoopbackServer server;
  std::shared_ptr<URLConnection> connection;
};

TEST_F(URLConnectionTest, CallbackOrderForGetAndPost) {
  const std::string big(5000, 'p');  // large enough that a client would normally ask to continue
  server.setAnswer("/get", testkit::ScriptedAnswer::text("hello world"));
  testkit::ScriptedAnswer chunked = testkit::ScriptedAnswer::json("{\"ok\":true,\"items\":[1,2,3]}", 201);
  chunked.chunked = true;
  chunked.chunkSize = 5;
  server.setAnswer("/post", chunked);

  struct Case {
    std::string method, path, body, expectBody;
    long status;
  };
  for (const Case& c : {Case{"GET", "/get?x=1", "", "hello world", 200},
                        Case{"POST", "/post", big, "{\"ok\":true,\"items\":[1,2,3]}", 201}}) {
    SCOPED_TRACE(c.method);
    server.clearRequests();
    URLRequest request(server.url(c.path));
    request.setHTTPMethod(c.method);
    request.setValueForHTTPHeaderField("3", "X-Zeta");
    request.setValueForHTTPHeaderField("1", "X-Alpha");
    request.setValueForHTTPHeaderField("2", "X-Mid");
    request.setValueForHTTPHeaderField("one", "X-Alpha");  // replaced in place
    if (!c.body.empty()) request.setHTTPBody(c.body);
    auto d = load(request);
    EXPECT_TRUE(d->events.empty()) << "nothing may be called inside the creating call";
    ASSERT_TRUE(finish(d));
    EXPECT_EQ(d->events, (std::vector<std::string>{"will", "response", "data", "finish"}));
    ASSERT_TRUE(d->response);
    EXPECT_EQ(d->response->statusCode(), c.status);
    EXPECT_EQ(d->response->url(), server.url(c.path));
    EXPECT_EQ(d->body, c.expectBody);
    EXPECT_FALSE(connection->isRunning());

    auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].method, c.method);
    EXPECT_EQ(recorded[0].body, c.body);
    EXPECT_EQ(headerOrder(recorded[0], {"X-Alpha", "X-Mid", "X-Zeta"}),
              (std::vector<std::string>{"X-Zeta", "X-Alpha", "X-Mid"}));
    EXPECT_EQ(recorded[0].header("X-Alpha"), "one");
    EXPECT_FALSE(recorded[0].header("Expect"));
    EXPECT_FALSE(recorded[0].header("Accept-Encoding"));
    if (c.method == "GET") {
      EXPECT_EQ(recorded[0].queryItem("x"), "1");
    }
  }
  EXPECT_EQ(URLConnection::liveCount(), 0u);
}

TEST_F(URLConnectionTest, RedirectChainWithSubstitutionAndCancel) {
  server.setRedirectChain({"/a", "/b", "/c", "/final"}, 302, testkit::ScriptedAnswer::text("end"));
  server.setAnswer("/c", testkit::ScriptedAnswer::redirect("/final", 307));
  server.setAnswer("/sub", testkit::ScriptedAnswer::redirect(server.url("/c"), 301));

  // The delegate swaps the hop to /b for /sub, which rejoins the chain at /c.
  auto d = std::make_shared<Recorder>();
  d->onWillSend = [&](const URLRequest& r, const HTTPURLResponse*) -> std::optional<URLRequest> {
    if (r.url() == server.url("/b")) return URLRequest(server.url("/sub"));
    return r;
  };
  load(URLRequest(server.url("/a")), d);
  ASSERT_TRUE(finish(d));
  EXPECT_EQ(d->events, (std::vector<std::string>{"will", "redirect", "redirect", "redirect",
                                                 "response", "data", "finish"}));
  EXPECT_EQ(d->redirectStatuses, (std::vector<long>{302, 301, 307}));
  std::vector<std::string> paths;
  for (const auto& r : server.requests()) paths.push_back(r.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/a", "/sub", "/c", "/final"}));
  EXPECT_EQ(d->body, "end");
  EXPECT_EQ(d->response->url(), server.url("/final"));
  EXPECT_EQ(connection->currentRequest().url(), server.url("/final"));
  EXPECT_EQ(connection->originalRequest().url(), server.url("/a"));

  // Declining the hop to /final ends the connection without another word.
  server.clearRequests();
  auto cancelling = std::make_shared<Recorder>();
  cancelling->onWillSend = [&](const URLRequest& r, const HTTPURLResponse*) -> std::optional<URLRequest> {
    if (r.url() == server.url("/final")) return std::nullopt;
    return r;
  };
  std::weak_ptr<Recorder> weakDelegate = cancelling;
  load(URLRequest(server.url("/c")), cancelling);
  ASSERT_TRUE(runUntil([&] { return !connection->isRunning(); }));
  runUntilIdle();
  EXPECT_EQ(cancelling->events, (std::vector<std::string>{"will", "redirect"}));
  EXPECT_EQ(server.requestCount(), 1u);
  cancelling.reset();
  EXPECT_TRUE(weakDelegate.expired()) << "an ended connection lets go of its delegate";
}

TEST_F(URLConnectionTest, RedirectMethodRules) {
  struct Case {
    int status;
    std::string expectMethod;
    bool keepsBody;
  };
  for (const Case& c : {Case{301, "GET", false}, Case{302, "GET", false}, Case{303, "GET", false},
                        Case{307, "POST", true}, Case{308, "POST", true}}) {
    SCOPED_TRACE(c.status);
    server.clearRequests();
    server.setAnswer("/form", testkit::ScriptedAnswer::redirect("/landing?from=form", c.status));
    server.setAnswer("/landing", testkit::ScriptedAnswer::text("landed"));
    URLRequest request(server.url("/form"));
    request.setHTTPMethod("POST");
    request.setValueForHTTPHeaderField("application/json", "Content-Type");
    request.setHTTPBody(std::string("{\"a\":1}"));
    auto d = load(request);
    ASSERT_TRUE(finish(d));
    EXPECT_TRUE(d->finished);
    auto landing = server.requestsTo("/landing");
    ASSERT_EQ(landing.size(), 1u);
    EXPECT_EQ(landing[0].method, c.expectMethod);
    EXPECT_EQ(landing[0].query, "from=form");
    EXPECT_EQ(landing[0].body, c.keepsBody ? "{\"a\":1}" : "");
    EXPECT_EQ(landing[0].header("Content-Type").has_value(), c.keepsBody);
  }
}

TEST_F(URLConnectionTest, UnloadableURLsFailWithThePlatformCodes) {
  server.setAnswer("/app", testkit::ScriptedAnswer::redirect("myapp://open?item=7"));
  server.setAnswer("/loop", testkit::ScriptedAnswer::redirect("/loop"));
  const std::string closedURL = testkit::LoopbackServer().url("/x");  // its port closed with it

  struct Case {
    std::string url;
    long code;
    size_t requests;  // reaching the loopback server
  };
  for (const Case& c : {Case{server.url("/app"), platform::URLErrorUnsupportedURL, 1},
                        Case{"myapp://direct", platform::URLErrorUnsupportedURL, 0},
                        Case{"not a url", platform::URLErrorBadURL, 0},
                        Case{server.url("/loop"), platform::URLErrorHTTPTooManyRedirects,
                             URLConnection::kMaxRedirects + 1},
                        Case{closedURL, platform::URLErrorCannotConnectToHost, 0}}) {
    SCOPED_TRACE(c.url);
    server.clearRequests();
    auto d = load(URLRequest(c.url));
    ASSERT_TRUE(finish(d));
    ASSERT_TRUE(d->error);
    EXPECT_EQ(d->error->domain, "NSURLErrorDomain");
    EXPECT_EQ(d->error->code, c.code);
    EXPECT_FALSE(d->response);
    EXPECT_EQ(server.requestCount(), c.requests);
  }
  // The custom scheme was shown to the delegate before the failure.
  server.clearRequests();
  auto d = load(URLRequest(server.url("/app")));
  ASSERT_TRUE(finish(d));
  ASSERT_EQ(d->sent.size(), 2u);
  EXPECT_EQ(d->sent[1].url(), "myapp://open?item=7");
}

// Text that would end a line of the request early never reaches the wire: a URL or a method
// carrying it fails the load, a header field carrying it is left out.
TEST_F(URLConnectionTest, TextThatWouldSplitTheRequestIsNeverSent) {
  server.setDefaultAnswer(testkit::ScriptedAnswer::text("ok"));
  struct Case {
    std::string url, method;
    long code;
  };
  for (const Case& c : {Case{server.url("/a\r\nX-Evil: 1"), "GET", platform::URLErrorBadURL},
                        Case{server.url("/m"), "GET /evil HTTP/1.1\r\nX-Evil: 1\r\nX-Pad:", platform::URLErrorBadURL},
                        Case{server.url("/m"), "POST /evil", platform::URLErrorBadURL},
                        Case{server.url("/m"), "PATCH", 0}}) {
    SCOPED_TRACE(c.method);
    URLRequest request(c.url);
    request.setHTTPMethod(c.method);
    auto d = load(request);
    ASSERT_TRUE(finish(d));
    EXPECT_EQ(code(d), c.code);
    Error syncError;
    auto body = URLConnection::sendSynchronousRequestReturningResponseError(request, nullptr, &syncError);
    EXPECT_EQ(body.has_value(), c.code == 0);
    if (!body) {
      EXPECT_EQ(syncError.code, c.code);
    }
  }
  auto recorded = server.requests();
  ASSERT_EQ(recorded.size(), 2u);
  for (const auto& r : recorded) EXPECT_EQ(r.method, "PATCH");

  server.clearRequests();
  URLRequest fields(server.url("/h"));
  fields.setValueForHTTPHeaderField("v", "X-Name\r\nX-Evil");
  fields.setValueForHTTPHeaderField("v\r\nX-Evil: 2", "X-Value");
  fields.setValueForHTTPHeaderField("kept", "X-Kept");
  auto d = load(fields);
  ASSERT_TRUE(finish(d));
  EXPECT_TRUE(d->finished);
  ASSERT_EQ(server.requestCount(), 1u);
  const auto sent = server.requests()[0];
  EXPECT_FALSE(sent.header("X-Evil"));
  EXPECT_FALSE(sent.header("X-Value"));
  EXPECT_EQ(sent.header("X-Kept"), "kept");
}

TEST_F(URLConnectionTest, IdleTimeOutRunsOnTheClock) {
  testkit::ScriptedAnswer stall;
  stall.stall = true;
  server.setAnswer("/stall", stall);
  URLRequest request(server.url("/stall"));
  request.setTimeoutInterval(10);
  auto d = load(request);
  ASSERT_TRUE(runUntil([&] { return server.requestCount() == 1; }));
  advance(9.5);
  EXPECT_FALSE(d->done());
  advance(0.6);
  ASSERT_TRUE(d->error);
  EXPECT_EQ(d->error->code, platform::URLErrorTimedOut);
  EXPECT_EQ(d->events, (std::vector<std::string>{"will", "fail"}));
  advance(30);
  EXPECT_EQ(d->events.size(), 2u);
}

TEST_F(URLConnectionTest, DroppedConnectionsFailAsLost) {
  testkit::ScriptedAnswer before;
  before.dropBeforeHead = true;
  testkit::ScriptedAnswer midway = testkit::ScriptedAnswer::text("0123456789abcdefghij");
  midway.dropAfterBodyBytes = 5;
  server.setAnswer("/before", before);
  server.setAnswer("/midway", midway);

  auto early = load(URLRequest(server.url("/before")));
  ASSERT_TRUE(finish(early));
  EXPECT_EQ(code(early), platform::URLErrorNetworkConnectionLost);
  EXPECT_EQ(early->events, (std::vector<std::string>{"will", "fail"}));

  auto late = load(URLRequest(server.url("/midway")));
  ASSERT_TRUE(finish(late));
  EXPECT_EQ(code(late), platform::URLErrorNetworkConnectionLost);
  EXPECT_EQ(late->events, (std::vector<std::string>{"will", "response", "data", "fail"}));
  EXPECT_EQ(late->body, "01234");
  EXPECT_EQ(late->response->expectedContentLength(), 20);
}

TEST_F(URLConnectionTest, CancelSilencesEverythingAfter) {
  testkit::ScriptedAnswer longBody = testkit::ScriptedAnswer::text(std::string(200000, 'z'));
  longBody.chunked = true;
  longBody.chunkSize = 1000;
  server.setAnswer("/long", longBody);

  auto d = std::make_shared<Recorder>();
  d->onResponse = [](URLConnection& c) { c.cancel(); };
  std::weak_ptr<Recorder> weak = d;
  load(URLRequest(server.url("/long")), d);
  ASSERT_TRUE(runUntil([&] { return !d->events.empty() && d->events.back() == "response"; }));
  runUntilIdle();
  advance(120);  // no time-out either
  EXPECT_EQ(d->events, (std::vector<std::string>{"will", "response"}));
  EXPECT_FALSE(connection->isRunning());
  connection->cancel();  // idempotent
  d.reset();
  EXPECT_TRUE(weak.expired());

  // Cancelled before its first turn: the server never hears of it.
  server.clearRequests();
  auto quiet = load(URLRequest(server.url("/long")));
  connection->cancel();
  runUntilIdle();
  EXPECT_TRUE(quiet->events.empty());
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_EQ(URLConnection::liveCount(), 0u);
}

TEST_F(URLConnectionTest, FireAndForgetStillLoads) {
  server.setAnswer("/ping", testkit::ScriptedAnswer::text("", 204));
  URLConnection::connectionWithRequestDelegate(URLRequest(server.url("/ping?n=1")), nullptr);
  ASSERT_TRUE(runUntil([&] { return server.requestCount() == 1 && URLConnection::liveCount() == 0; }));
  EXPECT_EQ(server.requests()[0].queryItem("n"), "1");
}

TEST_F(URLConnectionTest, ContentEncodingOnlyWhenAsked) {
  std::string plain;
  for (int i = 0; i < 200; ++i) plain += "line " + std::to_string(i) + " of a compressible body\n";
  const std::string packed = gzip(plain);
  testkit::ScriptedAnswer a = testkit::ScriptedAnswer::text(packed);
  a.headers.emplace_back("Content-Encoding", "gzip");
  server.setAnswer("/z", a);

  URLRequest asking(server.url("/z"));
  asking.setValueForHTTPHeaderField("gzip", "Accept-Encoding");
  auto d = load(asking);
  ASSERT_TRUE(finish(d));
  EXPECT_TRUE(d->finished);
  EXPECT_EQ(d->body, plain);
  EXPECT_EQ(d->response->expectedContentLength(), -1);
  EXPECT_EQ(server.requests().back().header("Accept-Encoding"), "gzip");

  auto raw = load(URLRequest(server.url("/z")));
  ASSERT_TRUE(finish(raw));
  EXPECT_EQ(raw->body, packed);
  EXPECT_FALSE(server.requests().back().header("Accept-Encoding"));
}

TEST_F(URLConnectionTest, NotModifiedReachesTheDelegate) {
  testkit::ScriptedAnswer a = testkit::ScriptedAnswer::text("fresh copy");
  a.lastModified = "Tue, 15 Nov 1994 12:45:26 GMT";
  server.setAnswer("/doc", a);
  struct Case {
    std::optional<std::string> since;
    long status;
    std::string body;
  };
  for (const Case& c : {Case{std::nullopt, 200, "fresh copy"},
                        Case{"Tue, 15 Nov 1994 12:45:26 GMT", 304, ""},
                        Case{"Wed, 16 Nov 1994 00:00:00 GMT", 304, ""},
                        Case{"Mon, 14 Nov 1994 12:45:26 GMT", 200, "fresh copy"}}) {
    SCOPED_TRACE(c.since.value_or("none"));
    URLRequest r(server.url("/doc"));
    r.setValueForHTTPHeaderField(c.since, "If-Modified-Since");
    auto d = load(r);
    ASSERT_TRUE(finish(d));
    EXPECT_TRUE(d->finished);
    EXPECT_EQ(d->response->statusCode(), c.status);
    EXPECT_EQ(d->body, c.body);
  }
}

TEST_F(URLConnectionTest, SynchronousRequestFromABackgroundThread) {
  server.setRedirectChain({"/s1", "/s2"}, 302, testkit::ScriptedAnswer::json("{\"v\":2}", 202));
  const std::string closedURL = testkit::LoopbackServer().url("/");  // its port closed with it

  std::optional<Bytes> body, failed;
  HTTPURLResponse response;
  Error error, failure;
  bool onMain = true;
  std::thread worker([&] {
    onMain = platform::RunLoop::current().isMain();
    URLRequest r(server.url("/s1"));
    r.setHTTPMethod("POST");
    r.setHTTPBody(std::string("q=1"));
    body = URLConnection::sendSynchronousRequestReturningResponseError(r, &response, &error);
    failed = URLConnection::sendSynchronousRequestReturningResponseError(URLRequest(closedURL), nullptr,
                                                                        &failure);
  });
  worker.join();
  EXPECT_FALSE(onMain);
  ASSERT_TRUE(body);
  EXPECT_EQ(std::string(body->begin(), body->end()), "{\"v\":2}");
  EXPECT_EQ(response.statusCode(), 202);
  EXPECT_EQ(response.url(), server.url("/s2"));
  EXPECT_EQ(response.mimeType(), "application/json");
  EXPECT_EQ(server.requestsTo("/s2").at(0).method, "GET");
  EXPECT_FALSE(failed);
  EXPECT_EQ(failure.domain, "NSURLErrorDomain");
  EXPECT_EQ(failure.code, platform::URLErrorCannotConnectToHost);
}

TEST_F(URLConnectionTest, UnsoundTimeOutsAreBroughtToTheRule) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double given, sound;
  };
  const std::vector<Case> table = {{nan, 60}, {inf, 60}, {-inf, 60}, {0, 60},      {-1, 60},
                                   {1e308, 3600}, {3600.5, 3600}, {0.25, 0.25}, {30, 30}};
  for (const Case& c : table) {
    SCOPED_TRACE(c.given);
    URLRequest request("http://127.0.0.1/", platform::URLRequestCachePolicy::UseProtocolCachePolicy, c.given);
    EXPECT_EQ(request.timeoutInterval(), c.sound);
    request.setTimeoutInterval(c.given);
    EXPECT_EQ(request.timeoutInterval(), c.sound);
    request.setDeadlineInterval(c.given);
    EXPECT_EQ(request.deadlineInterval(), c.sound);
  }

  // Over the wire, against a server that never answers: each unsound value still ends the
  // load, as an idle time-out and as a deadline, at the time the rule gives.
  testkit::ScriptedAnswer stall;
  stall.stall = true;
  server.setAnswer("/stall", stall);
  for (bool asDeadline : {false, true}) {
    for (double given : {nan, -1.0, 1e308}) {
      SCOPED_TRACE(std::to_string(given) + (asDeadline ? " deadline" : " idle"));
      URLRequest request(server.url("/stall"));
      if (asDeadline) {
        request.setTimeoutInterval(platform::kURLMaximumTimeoutInterval);
        request.setDeadlineInterval(given);
      } else {
        request.setTimeoutInterval(given);
      }
      const double expected = given == 1e308 ? platform::kURLMaximumTimeoutInterval
                                             : platform::kURLDefaultTimeoutInterval;
      server.clearRequests();
      auto d = load(request);
      ASSERT_TRUE(runUntil([&] { return server.requestCount() == 1; }));
      advance(expected - 0.5);
      EXPECT_FALSE(d->done());
      advance(1);
      ASSERT_TRUE(d->error);
      EXPECT_EQ(d->error->code, platform::URLErrorTimedOut);
      EXPECT_EQ(URLConnection::liveCount(), 0u);
    }
  }
}

TEST_F(URLConnectionTest, DeadlineEndsALoadThatKeepsTrickling) {
  testkit::ScriptedAnswer trickle = testkit::ScriptedAnswer::text(std::string(100000, 't'));
  trickle.trickle = std::chrono::milliseconds(5);
  server.setAnswer("/trickle", trickle);
  URLRequest bounded(server.url("/trickle"));
  bounded.setTimeoutInterval(10);
  bounded.setDeadlineInterval(30);
  URLRequest idleOnly = bounded;
  idleOnly.setDeadlineInterval(std::nullopt);
  auto d = load(bounded);
  auto idle = std::make_shared<Recorder>();
  auto unbounded = URLConnection::connectionWithRequestDelegate(idleOnly, idle);

  // Bytes arrive on both loads between every step, so the idle time-out never fires; only the
  // deadline can.
  double elapsed = 0;
  while (!d->done() && elapsed < 60) {
    const size_t before = d->body.size(), idleBefore = idle->body.size();
    ASSERT_TRUE(runUntil([&] { return (d->body.size() > before || d->done()) && idle->body.size() > idleBefore; }));
    advance(4);
    elapsed += 4;
  }
  ASSERT_TRUE(d->error);
  EXPECT_EQ(d->error->code, platform::URLErrorTimedOut);
  EXPECT_GE(elapsed, 30);
  EXPECT_LT(elapsed, 34);
  EXPECT_EQ(d->events, (std::vector<std::string>{"will", "response", "data", "fail"}));
  EXPECT_LT(d->body.size(), 100000u);
  EXPECT_TRUE(unbounded->isRunning()) << "the idle time-out alone never ends a trickle";
  unbounded->cancel();
  advance(100);
  EXPECT_EQ(d->events.size(), 4u);
  EXPECT_EQ(URLConnection::liveCount(), 0u);
}

TEST_F(URLConnectionTest, AnswersOverTheSizeCapFailOnce) {
  std::string compressible;
  while (compressible.size() < 20000) compressible += "the same words again and again ";
  struct Case {
    std::string name;
    testkit::ScriptedAnswer answer;
    bool askGzip;
    std::vector<std::string> events;
  };
  testkit::ScriptedAnswer declared = testkit::ScriptedAnswer::text(std::string(2000, 'd'));
  testkit::ScriptedAnswer chunked = testkit::ScriptedAnswer::text(std::string(2000, 'c'));
  chunked.chunked = true;
  chunked.chunkSize = 100;
  testkit::ScriptedAnswer gzipped = testkit::ScriptedAnswer::text(compressible);
  gzipped.gzip = true;
  testkit::ScriptedAnswer exact = testkit::ScriptedAnswer::text(std::string(1000, 'e'));
  const std::vector<Case> table = {
      // A declared length over the cap is refused before the delegate sees the answer.
      {"declared", declared, false, {"will", "fail"}},
      {"chunked", chunked, false, {"will", "response", "data", "fail"}},
      // Fewer than 1000 bytes cross the wire, but the decoded body is far larger.
      {"gzip", gzipped, true, {"will", "response", "fail"}},
      {"exact", exact, false, {"will", "response", "data", "finish"}},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.name);
    server.setAnswer("/" + c.name, c.answer);
    URLRequest request(server.url("/" + c.name));
    request.setMaximumContentLength(1000);
    if (c.askGzip) request.setValueForHTTPHeaderField("gzip", "Accept-Encoding");
    auto d = load(request);
    ASSERT_TRUE(finish(d));
    std::vector<std::string> events = d->events;
    // Whether bytes under the cap were delivered before the failure depends on the reads.
    if (c.name == "gzip" && events.size() == 4) events.erase(events.begin() + 2);
    EXPECT_EQ(events, c.events);
    EXPECT_LE(d->body.size(), 1000u);
    if (d->error) {
      EXPECT_EQ(d->error->code, platform::URLErrorDataLengthExceedsMaximum);
    }
    EXPECT_EQ(URLConnection::liveCount(), 0u);
    const size_t calls = d->events.size();
    advance(120);
    EXPECT_EQ(d->events.size(), calls);
  }

  // The blocking load keeps both bounds too (its deadline on real time).
  testkit::ScriptedAnswer trickle = testkit::ScriptedAnswer::text(std::string(100000, 't'));
  trickle.trickle = std::chrono::milliseconds(5);
  server.setAnswer("/trickle", trickle);
  std::vector<long> codes;
  std::thread worker([&] {
    for (const char* path : {"/declared", "/gzip", "/trickle"}) {
      URLRequest r(server.url(path));
      r.setValueForHTTPHeaderField("gzip", "Accept-Encoding");
      if (std::string(path) == "/trickle") {
        r.setDeadlineInterval(0.3);
      } else {
        r.setMaximumContentLength(1000);
      }
      Error error;
      auto body = URLConnection::sendSynchronousRequestReturningResponseError(r, nullptr, &error);
      codes.push_back(body ? 0 : error.code);
    }
  });
  worker.join();
  EXPECT_EQ(codes, (std::vector<long>{platform::URLErrorDataLengthExceedsMaximum,
                                      platform::URLErrorDataLengthExceedsMaximum,
                                      platform::URLErrorTimedOut}));
}

}  // namespace
