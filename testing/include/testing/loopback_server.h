#pragma once
// An HTTP server on 127.0.0.1 (port chosen by the OS) answering by script, for tests and
// the demo. It runs on its own threads; every member is thread-safe. Requests are recorded
// in arrival order (the record is complete before the answer is sent).
//
// Answers are chosen by path (no query): a handler if one is set for the path, else the
// queue of answers for the path (each used once, the last one repeats), else the default
// answer (404, empty body).
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "testing/raw_tcp_server.h"

namespace testkit {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  std::string method;
  std::string path;   // decoded path, no query
  std::string query;  // raw query text after '?', "" when none
  HeaderList headers; // in the order received, names as sent
  std::string body;
  std::string remoteAddress;
  int remotePort = 0;
  int connection = 0;  // 1 for the first accepted connection, then 2, …

  // First header with this name (case-insensitive).
  std::optional<std::string> header(std::string_view name) const;
  // Query parameters, decoded, in order.
  std::vector<std::pair<std::string, std::string>> queryItems() const;
  std::optional<std::string> queryItem(std::string_view name) const;
};

struct ScriptedAnswer {
  int status = 200;
  HeaderList headers;  // sent in this order; Content-Type defaults to text/plain
  std::string body;
  // Sent with "Transfer-Encoding: chunked" in chunks of `chunkSize` bytes.
  bool chunked = false;
  size_t chunkSize = 16;
  // Real waiting before the answer (keep it small: tests run against real time here).
  std::chrono::milliseconds delay{0};
  // Never answer; the handler waits until the server stops.
  bool stall = false;
  // When set, the answer waits for the hold's release() (see AnswerHold): the way to keep an
  // answer back while the test looks at, or moves time over, the state before it.
  std::shared_ptr<AnswerHold> hold;
  // After the head and this many body bytes, close the connection abruptly.
  // With 0 and `dropBeforeHead`, nothing at all is sent.
  std::optional<size_t> dropAfterBodyBytes;
  bool dropBeforeHead = false;
  // Adds "Location: <redirectTo>" (status should be 3xx). Relative locations are kept as is.
  std::optional<std::string> redirectTo;
  // When set, "Last-Modified" is sent, and a request whose If-Modified-Since is the same
  // HTTP date or later gets a 304 with no body instead.
  std::optional<std::string> lastModified;
  // The body is sent gzip-compressed (zlib) with "Content-Encoding: gzip", whatever the
  // request's Accept-Encoding; chunking and dropping apply to the compressed bytes.
  bool gzip = false;
  // The head at once, then the (encoded) body one byte per `trickle` of real time: a
  // server that never goes idle yet never ends. Stopping the server cuts it short.
  std::optional<std::chrono::milliseconds> trickle;

  static ScriptedAnswer text(std::string body, int status = 200);
  static ScriptedAnswer json(std::string body, int status = 200);
  static ScriptedAnswer html(std::string body, int status = 200);
  static ScriptedAnswer redirect(std::string location, int status = 302);
};

class LoopbackServer {
 public:
  using Handler = std::function<ScriptedAnswer(const RecordedRequest&)>;

  // Binds and starts serving before returning.
  LoopbackServer();
  // Stops, releasing stalled handlers; never hangs.
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  uint16_t port() const;
  // "http://127.0.0.1:<port>"
  std::string baseURL() const;
  // baseURL() + pathAndQuery (which starts with '/').
  std::string url(std::string_view pathAndQuery) const;

  void setAnswer(const std::string& path, ScriptedAnswer answer);
  // Answers used one per request, in order; the last one repeats.
  void setAnswers(const std::string& path, std::vector<ScriptedAnswer> answers);
  void setHandler(const std::string& path, Handler handler);
  // A chain path[0] → path[1] → … each with `status`, the last path answering `final`.
  void setRedirectChain(const std::vector<std::string>& paths, int status, ScriptedAnswer final);
  void setDefaultAnswer(ScriptedAnswer answer);
  void clearScripts();

  // Body bytes of trickling answers sent so far (see ScriptedAnswer::trickle).
  size_t trickledBytes() const;

  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requestsTo(std::string_view path) const;
  size_t requestCount() const;
  void clearRequests();

  // Stops accepting, wakes stalled handlers, closes connections and joins. Idempotent.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testkit
