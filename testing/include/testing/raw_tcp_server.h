#pragma once
// A bare TCP server on 127.0.0.1 (port chosen by the OS) for clients that speak HTTP over
// their own stream and pipeline requests. It parses each request as soon as its bytes have
// arrived (request line, headers, Content-Length body) and answers by script, one answer
// per request, in order. It runs on its own thread; every member is thread-safe.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testkit {

struct LoopbackTraffic;

// Holds answers until the test releases them: a request arrives and is recorded at once,
// while its answer waits, as long as the test needs, for release(). A held answer counts as
// settled traffic (see loopback_traffic.h), so virtual time may move on while it waits.
// Stopping the server ends the wait without sending. Thread-safe; share it between answers.
class AnswerHold {
 public:
  // Lets every answer waiting now, and every later one, go out.
  void release();
  bool isReleased() const;
  // Answers waiting for release() right now.
  size_t waiting() const;

 private:
  friend class RawTCPServer;
  // Waits until released or `stopped()` holds; true when released.
  bool waitForRelease(const std::function<bool()>& stopped);
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool isReleased_ = false;
  size_t waiting_ = 0;
};

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

// The first header named `name` (case-insensitive) in `headers`.
std::optional<std::string> findHeader(const HeaderFields& headers, std::string_view name);

struct RawRequest {
  std::string method;
  std::string target;   // as on the request line, query included
  std::string version;  // "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  int connection = 0;     // 1 for the first accepted connection, then 2, …
  size_t indexOnConnection = 0;  // 0 for the first request read on that connection
  int remotePort = 0;     // the client's port for that connection

  std::optional<std::string> header(std::string_view name) const;  // case-insensitive
};

struct RawAnswer {
  std::string version = "HTTP/1.1";  // "HTTP/1.0" for old-style answers
  int status = 200;
  std::string reason = "OK";  // empty: the status line has no reason phrase
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool contentLength = true;   // adds "Content-Length" unless a header names it
  bool connectionClose = false;  // adds "Connection: close" and closes after sending
  // Closes the connection after sending, adding nothing (with `raw`: a dropped connection).
  bool closeAfter = false;
  // Exact bytes instead of the composed answer (may be empty).
  std::optional<std::string> raw;
  // Real waiting before the first byte (keep it small).
  std::chrono::milliseconds delay{0};
  // Bytes per write (0: all at once, 1: byte by byte), with `pause` of real time between.
  size_t writeSize = 0;
  std::chrono::milliseconds pause{0};
  // The first this many bytes (a head, say) go in one write before the pieces start.
  size_t wholeFirst = 0;
  // Never answer this request (nor later ones on the connection) until the server stops.
  bool stall = false;
  // When set, the answer waits for the hold's release() before its first byte (and before
  // `delay`).
  std::shared_ptr<AnswerHold> hold;

  // The bytes this answer puts on the wire.
  std::string serialize() const;
};

class RawTCPServer {
 public:
  using Responder = std::function<RawAnswer(const RawRequest&)>;

  // Binds and starts serving before returning.
  RawTCPServer();
  ~RawTCPServer();  // stop()
  RawTCPServer(const RawTCPServer&) = delete;
  RawTCPServer& operator=(const RawTCPServer&) = delete;

  uint16_t port() const;

  // Answer for every request (default: 200 with an empty body).
  void setResponder(Responder responder);
  // Close a connection after it has answered `k` requests (0: never).
  void setCloseAfterAnswers(size_t k);
  // Answers to requests that arrived in the same read go out in one write.
  void setCoalesceAnswers(bool coalesce);

  // Every request read so far, in arrival order, until clearRequests().
  std::vector<RawRequest> requests() const;
  size_t requestCount() const;
  // Forgets the requests recorded so far; the numbering of connections and of the requests
  // on each goes on.
  void clearRequests();
  size_t connectionCount() const;  // accepted so far
  // Closes every open connection from the server's side (the client sees end of stream).
  void closeConnections();

  // Stops accepting, releases stalls, closes everything and joins. Idempotent.
  void stop();

  // Adds what this server is doing now to `traffic` (see loopback_traffic.h).
  void describeTraffic(LoopbackTraffic& traffic) const;
  // Bytes sent so far in the paced pieces of answers (a `writeSize` with a `pause`): a test
  // waits for more of them to know a trickle still reaches the client between steps of time.
  size_t pacedBytesSent() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testkit
