// The kit's servers keep a record of every request until the test clears it: a long test that
// clears as it goes must not keep a second record growing behind the one it cleared.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "testing/loopback_server.h"
#include "testing/raw_tcp_server.h"

namespace {

// A keep-alive client on a blocking socket: each request waits for its whole (bodiless) answer.
class Client {
 public:
  explicit Client(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Sends a POST of `body` to `path` and reads the answer's head; true when one came.
  bool post(const std::string& path, const std::string& body) {
    const std::string request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    if (!connected_ || ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
      return false;
    std::string answer;
    char buffer[4096];
    while (answer.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      answer.append(buffer, static_cast<size_t>(n));
    }
    return answer.find("Content-Length: 0\r\n") != std::string::npos;
  }

 private:
  int fd_;
  bool connected_ = false;
};

struct Record {
  size_t count;
  std::vector<std::string> bodies;     // in arrival order
  std::vector<size_t> indexOnConnection;  // empty where the record does not keep it
};

TEST(LoopbackServerRecordTest, ClearingForgetsTheRequestsSoFarAndRecordsTheNextOnes) {
  struct Case {
    const char* server;
    std::function<uint16_t()> port;
    std::function<Record()> record;
    std::function<void()> clear;
  };
  testkit::RawTCPServer raw;
  testkit::LoopbackServer scripted;
  scripted.setAnswer("/r", testkit::ScriptedAnswer::text(""));
  const Case cases[] = {
      {"RawTCPServer", [&] { return raw.port(); },
       [&] {
         Record r{raw.requestCount(), {}, {}};
         for (const auto& request : raw.requests()) {
           r.bodies.push_back(request.body);
           r.indexOnConnection.push_back(request.indexOnConnection);
         }
         return r;
       },
       [&] { raw.clearRequests(); }},
      {"LoopbackServer", [&] { return scripted.port(); },
       [&] {
         Record r{scripted.requestCount(), {}, {}};
         for (const auto& request : scripted.requestsTo("/r")) r.bodies.push_back(request.body);
         EXPECT_EQ(scripted.requests().size(), r.bodies.size());
         return r;
       },
       [&] { scripted.clearRequests(); }},
  };
  const std::string big(400, 'x');  // about what a client's request weighs
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    Client client(c.port());
    for (const char* body : {"one", "two", "three"}) ASSERT_TRUE(client.post("/r", body + big));
    EXPECT_EQ(c.record().count, 3u);
    c.clear();
    Record cleared = c.record();
    EXPECT_EQ(cleared.count, 0u);
    EXPECT_TRUE(cleared.bodies.empty());
    c.clear();  // clearing an empty record is harmless

    ASSERT_TRUE(client.post("/r", "four"));
    ASSERT_TRUE(client.post("/r", "five"));
    Record later = c.record();
    EXPECT_EQ(later.count, 2u);
    EXPECT_EQ(later.bodies, (std::vector<std::string>{"four", "five"}));
    if (!later.indexOnConnection.empty()) {
      EXPECT_EQ(later.indexOnConnection, (std::vector<size_t>{3, 4})) << "the numbering goes on";
    }
  }
}

}  // namespace
