#pragma once
// The Cadenzo API on loopback, for tests and the demo. It checks every call the way the
// service does and answers from fixtures:
//   - path "/api/<action>", method POST, a JSON object body;
//   - headers "Content-Type" and "Accept" "application/json; charset=UTF-8",
//     "X-Cadenzo-Client" "Cadenzo-iOS-SDK 3.1.1", "X-Cadenzo-API" "3.0.6", "X-Cadenzo-App" a
//     known app id, and "X-Cadenzo-Signature" equal to the lowercase hex SHA-1 of
//     "<method> <uri>\n<app signature>\n<raw body bytes as received>";
//   - the device keys (in their fixed order, with their types), "sdk" "3.1.1", "app" equal
//     to the app header, and only the keys the action allows.
// A call that fails a check is answered 401 with {"status":401,"message":<first problem>}
// and recorded with its problems. Accepted calls get the fixture of their action:
//   "install", "show", "click", "event", "purchase"  {"status":200}
//   "get"   the fixture set for the body's "location", else an HTML interstitial whose
//           "ad_id" is "ad-<n>" (n counts the "get" answers) and whose "link" is
//           url("/target/ad-<n>")
//   "more"  the more-apps fixture, else {"status":200,"type":"native","ad_id":"more-<n>"}
// Scripted answers (silence, non-JSON, 5xx, redirects …) replace the answer of an action,
// while the call is still checked and recorded.
// In any answer's body, kCallNumberMark becomes the call's number among the calls of its
// action (1 for the first "get"), so that an answer can name the call that fetched it.
//
// Thread safety: every member may be called from any thread; the server runs on its own
// threads and records a call completely before answering it.
#include <memory>
#include <string>
#include <vector>

#include "platform/value.h"
#include "testing/loopback_server.h"

namespace testkit {

struct CadenzoCall {
  RecordedRequest request;
  std::string action;                 // the second path segment
  platform::Value body;               // parsed body; null when absent or not JSON
  std::vector<std::string> problems;  // empty when the service accepted the call
  bool accepted() const { return problems.empty(); }
};

class CadenzoServer {
 public:
  // The app every test uses unless it adds others (24 and 40 lowercase hex characters).
  static constexpr const char* kAppId = "4f2a9c3b7d1e5a6b8c9d0e1f";
  static constexpr const char* kAppSignature = "0b1c2d3e4f5a6b7c8d9e0f1a2b3c4d5e6f7a8b9c";
  static constexpr const char* kCallNumberMark = "{{call}}";

  // Serves at once on 127.0.0.1 with kAppId known.
  CadenzoServer();
  ~CadenzoServer();
  CadenzoServer(const CadenzoServer&) = delete;
  CadenzoServer& operator=(const CadenzoServer&) = delete;

  // "http://127.0.0.1:<port>", the endpoint a connection appends its uris to.
  std::string endpoint() const;
  // endpoint() + pathAndQuery.
  std::string url(const std::string& pathAndQuery) const;
  // The underlying server, for further paths (click targets, redirect chains).
  LoopbackServer& http();

  void addApp(const std::string& appId, const std::string& appSignature);

  // `answer` as JSON text, for the setters below.
  static std::string json(const platform::Value& answer);

  // Answer text (any bytes; normally a JSON object) for "get" at `location`.
  void setInterstitial(const std::string& location, std::string answer);
  // Answer text for "more".
  void setMoreApps(std::string answer);
  // The next call of `action` gets `answer` instead (one per call, in order).
  void scriptNext(const std::string& action, ScriptedAnswer answer);
  // Every call of `action` gets `answer` until clearScripts().
  void scriptAlways(const std::string& action, ScriptedAnswer answer);
  void clearScripts();

  std::vector<CadenzoCall> calls() const;
  std::vector<CadenzoCall> callsTo(const std::string& action) const;
  size_t callCount() const;
  void clearCalls();

  // Stops serving (stalled answers are released). Idempotent.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testkit
