// A stream opened by host name looks the name up off the main loop and tries each address
// in turn; a peer that goes away under a write is reported as an error on a later turn,
// once, never inside write() itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "platform/tcp_stream.h"
#include "testing/raw_tcp_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::TCPStream;

struct Recorder : platform::TCPStreamDelegate {
  std::vector<unsigned> events;
  std::string received;
  bool reads = true;
  void streamHandleEvent(TCPStream& s, unsigned event) override {
    events.push_back(event);
    if (event == TCPStream::HasBytesAvailable && reads) {
      platform::Bytes got = s.read(256);
      received.append(got.begin(), got.end());
    }
  }
  size_t count(unsigned event) const { return std::count(events.begin(), events.end(), event); }
};

class TCPStreamLookupTest : public testkit::SandboxTest {};

// "localhost" may name ::1 before 127.0.0.1, where the server listens: a refused address
// must fall through to the next one, not fail the stream.
TEST_F(TCPStreamLookupTest, AHostNameIsLookedUpAndItsAddressesTriedInTurn) {
  testkit::RawTCPServer server;
  server.setResponder([](const testkit::RawRequest& r) {
    testkit::RawAnswer a;
    a.body = "for " + r.target;
    return a;
  });
  auto delegate = std::make_shared<Recorder>();
  auto stream = TCPStream::create("localhost", server.port());
  stream->setDelegate(delegate);
  stream->open();
  EXPECT_EQ(stream->streamStatus(), TCPStream::Status::Opening);
  EXPECT_TRUE(delegate->events.empty());  // nothing inside open()
  ASSERT_TRUE(runUntil([&] { return delegate->count(TCPStream::OpenCompleted) == 1; }));
  EXPECT_EQ(delegate->count(TCPStream::ErrorOccurred), 0u);
  const std::string request = "GET /named HTTP/1.1\r\nHost: localhost\r\n\r\n";
  EXPECT_EQ(stream->write(request), static_cast<long>(request.size()));
  ASSERT_TRUE(runUntil([&] { return delegate->received.find("for /named") != std::string::npos; }));
  EXPECT_EQ(delegate->received.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  stream->close();
}

TEST_F(TCPStreamLookupTest, APeerGoneUnderAWriteIsOneErrorOnALaterTurn) {
  testkit::RawTCPServer server;
  auto delegate = std::make_shared<Recorder>();
  auto stream = TCPStream::create("127.0.0.1", server.port());
  stream->setDelegate(delegate);
  stream->open();
  ASSERT_TRUE(runUntil([&] { return delegate->count(TCPStream::OpenCompleted) == 1; }));
  ASSERT_TRUE(runUntil([&] { return server.connectionCount() == 1; }));
  server.closeConnections();
  ASSERT_TRUE(runUntil([&] { return delegate->count(TCPStream::EndEncountered) == 1; }));
  EXPECT_EQ(stream->streamStatus(), TCPStream::Status::AtEnd);

  // Writing after the end is still allowed; the closed peer answers the bytes with a reset,
  // and a later write (or the loop) finds it.
  long last = 0;
  size_t eventsBefore = 0;
  ASSERT_TRUE(runUntil([&] {
    eventsBefore = delegate->events.size();
    last = stream->write(std::string("after the end"));
    return last < 0 || stream->streamStatus() == TCPStream::Status::Error;
  }));
  if (last < 0) {
    EXPECT_EQ(delegate->events.size(), eventsBefore);  // not inside write()
  }
  ASSERT_TRUE(runUntil([&] { return delegate->count(TCPStream::ErrorOccurred) == 1; }));
  EXPECT_EQ(stream->streamStatus(), TCPStream::Status::Error);
  ASSERT_TRUE(stream->streamError());
  EXPECT_EQ(stream->streamError()->domain, platform::kPOSIXErrorDomain);
  EXPECT_TRUE(stream->streamError()->code == EPIPE || stream->streamError()->code == ECONNRESET)
      << stream->streamError()->code;
  EXPECT_EQ(stream->write(std::string("x")), -1);
  EXPECT_EQ(stream->read(8).size(), 0u);
  runUntilIdle();
  EXPECT_EQ(delegate->count(TCPStream::ErrorOccurred), 1u);
  EXPECT_EQ(delegate->events.back(), TCPStream::ErrorOccurred);
}

}  // namespace
