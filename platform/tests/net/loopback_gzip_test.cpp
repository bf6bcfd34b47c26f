// The test server's gzip answers, seen through a real connection.
#include <gtest/gtest.h>

#include "platform/url_connection.h"
#include "testing/loopback_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::URLConnection;
using platform::URLRequest;

struct Collector : platform::URLConnectionDelegate {
  std::optional<platform::HTTPURLResponse> response;
  std::string body;
  bool finished = false, failed = false;
  void connectionDidReceiveResponse(URLConnection&, const platform::HTTPURLResponse& r) override { response = r; }
  void connectionDidReceiveData(URLConnection&, const platform::Bytes& data) override {
    body.append(data.begin(), data.end());
  }
  void connectionDidFinishLoading(URLConnection&) override { finished = true; }
  void connectionDidFailWithError(URLConnection&, const platform::Error&) override { failed = true; }
};

class LoopbackGzipTest : public testkit::SandboxTest {
 protected:
  std::shared_ptr<Collector> fetch(const std::string& path, bool askForGzip) {
    URLRequest request(server.url(path));
    if (askForGzip) request.setValueForHTTPHeaderField("gzip", "Accept-Encoding");
    auto d = std::make_shared<Collector>();
    auto connection = URLConnection::connectionWithRequestDelegate(request, d);
    EXPECT_TRUE(runUntil([&] { return d->finished || d->failed; }));
    return d;
  }
  testkit::LoopbackServer server;
};

TEST_F(LoopbackGzipTest, BodyArrivesCompressedAndTheConnectionDecodesIt) {
  std::string plain;
  for (int i = 0; i < 400; ++i) plain += "line " + std::to_string(i) + " of a compressible answer\n";
  for (bool chunked : {false, true}) {
    testkit::ScriptedAnswer a = testkit::ScriptedAnswer::text(plain);
    a.gzip = true;
    a.chunked = chunked;
    a.chunkSize = 100;
    server.setAnswer("/z", a);

    auto decoded = fetch("/z", true);
    ASSERT_TRUE(decoded->finished) << chunked;
    EXPECT_EQ(decoded->body, plain);
    EXPECT_EQ(decoded->response->valueForHTTPHeaderField("content-encoding"), "gzip");

    // Without asking, the bytes are the server's own: a gzip member (RFC 1952 magic 1f 8b,
    // method 8), far smaller than the text.
    auto raw = fetch("/z", false);
    ASSERT_TRUE(raw->finished) << chunked;
    ASSERT_GT(raw->body.size(), 3u);
    EXPECT_EQ(raw->body.substr(0, 3), std::string("\x1f\x8b\x08", 3));
    EXPECT_LT(raw->body.size(), plain.size() / 4);
  }
}

}  // namespace
