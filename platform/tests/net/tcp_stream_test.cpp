#include "platform/tcp_stream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "testing/raw_tcp_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::TCPStream;

// Writes queued bytes when there is space, reads in small bites, and splits what it read
// into answers using their Content-Length (a parser independent of the servers').
struct Pipeliner : platform::TCPStreamDelegate {
  std::string toSend;
  size_t sent = 0;
  size_t readSize = 64;
  size_t reads = 0;
  size_t largestRead = 0;
  size_t readsEndingMidAnswer = 0;
  std::string received;
  std::vector<unsigned> events;
  std::vector<std::string> statusLines, bodies;

  void streamHandleEvent(TCPStream& s, unsigned event) override {
    if (events.empty() || events.back() != event || event == TCPStream::OpenCompleted) events.push_back(event);
    if (event == TCPStream::HasSpaceAvailable && sent < toSend.size()) {
      long n = s.write(reinterpret_cast<const uint8_t*>(toSend.data()) + sent, toSend.size() - sent);
      if (n > 0) sent += static_cast<size_t>(n);
    }
    if (event == TCPStream::HasBytesAvailable) {
      platform::Bytes got = s.read(readSize);
      if (!got.empty()) ++reads;
      largestRead = std::max(largestRead, got.size());
      received.append(got.begin(), got.end());
      split();
      if (!received.empty()) ++readsEndingMidAnswer;
    }
  }

  void split() {
    for (;;) {
      size_t headEnd = received.find("\r\n\r\n");
      if (headEnd == std::string::npos) return;
      std::string head = received.substr(0, headEnd);
      size_t cl = head.find("Content-Length: ");
      size_t length = cl == std::string::npos ? 0 : std::strtoul(head.c_str() + cl + 16, nullptr, 10);
      if (received.size() < headEnd + 4 + length) return;
      statusLines.push_back(head.substr(0, head.find("\r\n")));
      bodies.push_back(received.substr(headEnd + 4, length));
      received.erase(0, headEnd + 4 + length);
    }
  }
  bool saw(unsigned event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

class TCPStreamTest : public testkit::SandboxTest {};

TEST_F(TCPStreamTest, PipelinedRequestsAnsweredInPieces) {
  constexpr int kRequests = 30;
  struct Case {
    const char* name;
    size_t writeSize;
    bool coalesce;
    std::string version, reason;
  };
  for (const Case& c : {Case{"together", 0, true, "HTTP/1.1", "OK"},
                        Case{"byte by byte", 1, false, "HTTP/1.1", "OK"},
                        Case{"split, old style, no reason", 7, false, "HTTP/1.0", ""}}) {
    SCOPED_TRACE(c.name);
    testkit::RawTCPServer server;
    server.setCoalesceAnswers(c.coalesce);
    server.setCloseAfterAnswers(kRequests);
    server.setResponder([&](const testkit::RawRequest& r) {
      testkit::RawAnswer a;
      a.version = c.version;
      a.reason = c.reason;
      a.body = "answer to " + r.target + " #" + std::to_string(r.indexOnConnection);
      a.writeSize = c.writeSize;
      return a;
    });

    auto delegate = std::make_shared<Pipeliner>();
    std::vector<std::string> expectedBodies;
    for (int i = 0; i < kRequests; ++i) {
      std::string target = "/hit?n=" + std::to_string(i);
      std::string body = "event=" + std::to_string(i * 7);
      delegate->toSend += "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body;
      expectedBodies.push_back("answer to " + target + " #" + std::to_string(i));
    }
    auto stream = TCPStream::create("127.0.0.1", server.port());
    stream->setDelegate(delegate);
    EXPECT_EQ(stream->write(std::string("early")), 0) << "nothing is written before the stream opens";
    stream->open();
    EXPECT_TRUE(delegate->events.empty());
    ASSERT_TRUE(runUntil([&] { return delegate->saw(TCPStream::EndEncountered); }));

    EXPECT_EQ(delegate->events.front(), TCPStream::OpenCompleted);
    EXPECT_EQ(delegate->events.at(1), TCPStream::HasSpaceAvailable);
    EXPECT_FALSE(delegate->saw(TCPStream::ErrorOccurred));
    EXPECT_EQ(delegate->bodies, expectedBodies);
    ASSERT_EQ(delegate->statusLines.size(), size_t{kRequests});
    EXPECT_EQ(delegate->statusLines[0], c.reason.empty() ? c.version + " 200" : c.version + " 200 OK");
    EXPECT_TRUE(delegate->received.empty());
    EXPECT_LE(delegate->largestRead, delegate->readSize);
    EXPECT_GT(delegate->readsEndingMidAnswer, 0u) << "answers must have been split across reads";
    EXPECT_EQ(stream->streamStatus(), TCPStream::Status::AtEnd);

    auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), size_t{kRequests});
    for (int i = 0; i < kRequests; ++i) {
      EXPECT_EQ(recorded[i].connection, 1);
      EXPECT_EQ(recorded[i].indexOnConnection, size_t(i));
      EXPECT_EQ(recorded[i].target, "/hit?n=" + std::to_string(i));
      EXPECT_EQ(recorded[i].body, "event=" + std::to_string(i * 7));
    }
    stream->close();
    EXPECT_EQ(stream->write(std::string("late")), -1);
  }
}

TEST_F(TCPStreamTest, StalledServerStopsCleanlyAndClientSeesTheEnd) {
  testkit::RawTCPServer server;
  server.setResponder([](const testkit::RawRequest& r) {
    testkit::RawAnswer a;
    a.body = r.target;
    a.stall = r.indexOnConnection == 2;
    return a;
  });
  auto delegate = std::make_shared<Pipeliner>();
  for (int i = 0; i < 5; ++i) delegate->toSend += "GET /" + std::to_string(i) + " HTTP/1.1\r\n\r\n";
  auto stream = TCPStream::create("127.0.0.1", server.port());
  stream->setDelegate(delegate);
  stream->open();
  ASSERT_TRUE(settleTraffic());  // the stalled answer counts as settled
  ASSERT_EQ(server.requestCount(), 5u);
  ASSERT_EQ(delegate->bodies.size(), 2u);
  server.stop();  // must not wait for the stalled answer
  ASSERT_TRUE(runUntil([&] {
    return delegate->saw(TCPStream::EndEncountered) || delegate->saw(TCPStream::ErrorOccurred);
  }));
  EXPECT_EQ(delegate->bodies, (std::vector<std::string>{"/0", "/1"}));
}

// The owner may let go of its stream inside an event, also once the peer has closed and the
// loop no longer holds the stream: nothing is touched or delivered after that.
TEST_F(TCPStreamTest, OwnerMayDropTheStreamInsideAnEventAfterTheEnd) {
  struct Dropper : platform::TCPStreamDelegate {
    std::shared_ptr<TCPStream> stream;
    unsigned dropOn = TCPStream::None;
    bool ended = false;
    std::vector<unsigned> events;
    void streamHandleEvent(TCPStream& s, unsigned event) override {
      events.push_back(event);
      if (event == TCPStream::HasSpaceAvailable && !ended && events.size() == 2) {
        s.write(std::string("GET /last HTTP/1.1\r\n\r\n"));
      } else if (event == TCPStream::HasBytesAvailable) {
        s.read(4096);
      } else if (event == TCPStream::EndEncountered) {
        ended = true;
        // Only the peer's side is closed: this write is taken, and space is announced again.
        EXPECT_GT(s.write(std::string("late")), 0);
      }
      if (ended && event == dropOn) stream.reset();
    }
  };
  for (unsigned dropOn : {unsigned{TCPStream::EndEncountered}, unsigned{TCPStream::HasSpaceAvailable}}) {
    SCOPED_TRACE(dropOn);
    testkit::RawTCPServer server;
    server.setResponder([](const testkit::RawRequest&) {
      testkit::RawAnswer a;
      a.body = "bye";
      a.connectionClose = true;
      return a;
    });
    auto delegate = std::make_shared<Dropper>();
    delegate->dropOn = dropOn;
    delegate->stream = TCPStream::create("127.0.0.1", server.port());
    std::weak_ptr<TCPStream> weak = delegate->stream;
    delegate->stream->setDelegate(delegate);
    delegate->stream->open();
    ASSERT_TRUE(runUntil([&] { return !delegate->stream; }));
    runUntilIdle();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(delegate->events.back(), dropOn);
    const size_t seen = delegate->events.size();
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(delegate->events.size(), seen);
  }
}

TEST_F(TCPStreamTest, RefusedConnectionReportsAnError) {
  const uint16_t port = testkit::RawTCPServer().port();  // closed again with the server
  auto delegate = std::make_shared<Pipeliner>();
  auto stream = TCPStream::create("127.0.0.1", port);
  stream->setDelegate(delegate);
  stream->open();
  ASSERT_TRUE(runUntil([&] { return delegate->saw(TCPStream::ErrorOccurred); }));
  EXPECT_EQ(delegate->events, (std::vector<unsigned>{TCPStream::ErrorOccurred}));
  ASSERT_TRUE(stream->streamError());
  EXPECT_EQ(stream->streamError()->domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(stream->streamError()->code, ECONNREFUSED);
  EXPECT_EQ(stream->streamStatus(), TCPStream::Status::Error);
  EXPECT_EQ(stream->write(std::string("x")), -1);
}

}  // namespace
