// Answers a sound server never gives: a head that is not HTTP, a compressed body that does
// not unpack, a peer that does not speak TLS to an https URL. Each fails the load once, with
// the platform's code and its description, and nothing reaches the delegate as data.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "platform/url_connection.h"
#include "testing/raw_tcp_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::URLConnection;
using platform::URLRequest;

struct Outcome : platform::URLConnectionDelegate {
  std::optional<platform::Error> error;
  bool finished = false;
  size_t dataCalls = 0;
  size_t failures = 0;
  void connectionDidReceiveData(URLConnection&, const platform::Bytes&) override { ++dataCalls; }
  void connectionDidFinishLoading(URLConnection&) override { finished = true; }
  void connectionDidFailWithError(URLConnection&, const platform::Error& e) override {
    ++failures;
    error = e;
  }
};

// A listener that reads whatever arrives first and answers it with a plain HTTP head: an
// https client's greeting gets no TLS back.
class PlainTextPeer {
 public:
  PlainTextPeer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd_, 1) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      throw std::runtime_error("listen");
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      char buffer[512];
      if (::recv(c, buffer, sizeof buffer, 0) > 0) {
        static const char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
        (void)::send(c, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL);
      }
      ::close(c);
    });
  }
  ~PlainTextPeer() {
    ::shutdown(fd_, SHUT_RDWR);  // wakes the accept if no one came
    thread_.join();
    ::close(fd_);
  }
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

class URLConnectionBadAnswerTest : public testkit::SandboxTest {};

TEST_F(URLConnectionBadAnswerTest, EachFailsOnceWithThePlatformCode) {
  testkit::RawTCPServer server;
  server.setResponder([](const testkit::RawRequest& r) {
    testkit::RawAnswer a;
    a.closeAfter = true;
    if (r.target == "/not-http") a.raw = "ICY 200 OK\r\n\r\nbody";
    if (r.target == "/bad-gzip") {
      a.headers = {{"Content-Encoding", "gzip"}};
      a.body = "this was never compressed";
    }
    return a;
  });
  PlainTextPeer plain;
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  struct Case {
    std::string url;
    bool askForGzip;
    long code;
    const char* description;
  } cases[] = {
      {base + "/not-http", false, platform::URLErrorBadServerResponse, "bad server response"},
      {base + "/bad-gzip", true, platform::URLErrorBadServerResponse, "bad server response"},
      {"https://127.0.0.1:" + std::to_string(plain.port()) + "/", false,
       platform::URLErrorSecureConnectionFailed,
       "An SSL error has occurred and a secure connection to the server cannot be made."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    URLRequest request(c.url);
    if (c.askForGzip) request.setValueForHTTPHeaderField("gzip", "Accept-Encoding");
    auto outcome = std::make_shared<Outcome>();
    auto connection = URLConnection::connectionWithRequestDelegate(request, outcome);
    ASSERT_TRUE(runUntil([&] { return outcome->failures > 0 || outcome->finished; }));
    runUntilIdle();
    EXPECT_FALSE(outcome->finished);
    EXPECT_EQ(outcome->failures, 1u);
    EXPECT_EQ(outcome->dataCalls, 0u);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->domain, platform::kURLErrorDomain);
    EXPECT_EQ(outcome->error->code, c.code);
    EXPECT_EQ(outcome->error->localizedDescription(), c.description);
  }
}

}  // namespace
