#pragma once
// The analytics collector for tests and the demo: answers every "/__ova.gif" hit with a
// one-pixel GIF, keeps the hits it acknowledged, and plays the failures a real collector
// shows: closing after k answers, stalling, 503s, refusals of chosen hits, HTTP/1.0 or
// "Connection: close" answers, status lines without reason phrase, chunked bodies, answers
// split at any byte.
//
// It listens on 127.0.0.1 at a port the system chooses (host() and port() say where), on
// its own threads. Every member is thread-safe.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testing/raw_tcp_server.h"

namespace testkit {

// One hit as the collector read it.
struct AnalyticsHit {
  RawRequest request;
  std::string path;  // the target before "?"
  // The query's pairs in order, values as sent (still escaped).
  std::vector<std::pair<std::string, std::string>> rawQuery;
  // How many requests the server had read (on every connection) when it answered this one:
  // a client that waits for answers before sending more shows it here.
  size_t requestsReadWhenAnswered = 0;

  // A value as sent, or nullopt.
  std::optional<std::string> raw(const std::string& key) const;
  // A value with its percent escapes replaced, or nullopt.
  std::optional<std::string> param(const std::string& key) const;
  bool isPageview() const { return raw("ovap").has_value(); }

  // The fields of an event's "5(category*action*label)(value)" text, ext escapes replaced.
  struct EventFields {
    std::string category;
    std::string action;
    std::optional<std::string> label;
    std::optional<long> value;
  };
  std::optional<EventFields> event() const;
};

class AnalyticsCollector {
 public:
  enum class Style {
    Normal,           // "HTTP/1.1 200 OK", persistent
    HTTP10,           // "HTTP/1.0 200 OK", closes after the answer
    ConnectionClose,  // "HTTP/1.1 200 OK" with "Connection: close", closes after the answer
    NoReasonPhrase,   // "HTTP/1.1 200" (no blank after the status)
  };

  AnalyticsCollector();
  ~AnalyticsCollector();
  AnalyticsCollector(const AnalyticsCollector&) = delete;
  AnalyticsCollector& operator=(const AnalyticsCollector&) = delete;

  std::string host() const { return "127.0.0.1"; }
  uint16_t port() const;

  // Scripts; each applies to requests read from then on.
  void setStyle(Style style);
  // Status of every answer (200 by default); hits answered otherwise are not kept.
  void setStatus(int status);
  // Hits for which `refuse` holds are answered with `status` and not kept.
  void setRefusal(std::function<bool(const AnalyticsHit&)> refuse, int status);
  // Closes a connection once it has answered `k` requests (0: never).
  void setCloseAfterAnswers(size_t k);
  // After `n` more answers, accepts requests but never answers (nullopt: never stall).
  void setStallAfter(std::optional<size_t> n);
  // Sends the first half of the next answer and drops its connection; that hit is not kept.
  void cutNextAnswer();
  // Writes each answer `bytes` at a time (0: whole).
  void setWriteSize(size_t bytes);
  // Sends the bodies of 200 answers in chunks (with an extension and a trailer) instead of
  // with a Content-Length.
  void setChunked(bool chunked);
  // Answers every request with exactly these bytes (any answer a hostile collector may give:
  // an endless body, a redirect, garbage), keeping the connection open and no hit; nullopt
  // answers normally again.
  void setRawAnswer(std::optional<std::string> bytes);

  // The hits acknowledged with a 200, in the order they were answered.
  std::vector<AnalyticsHit> hits() const;
  size_t hitCount() const;
  // Answers given so far, whatever their status (stalled requests are not answered).
  size_t answerCount() const;
  // Everything read, answered or not.
  std::vector<RawRequest> requests() const;
  size_t connectionCount() const;
  // Drops every open connection (stalled ones too) from the server's side.
  void closeConnections();
  void stop();

  // The answer's body: a transparent one-pixel GIF.
  static const std::string& pixel();
  static AnalyticsHit parseHit(const RawRequest& request);

 private:
  RawAnswer answer(const RawRequest& request);
  struct State;
  std::shared_ptr<State> state_;
  RawTCPServer server_;
};

}  // namespace testkit
