#pragma once
// The Halvern ad bridge server for tests and the demo: it answers the client update request
// ("/hvbridge/v2/req_js.json", gzip-compressed JSON) and serves files and zipped packages
// under "/files/". It counts what it was asked, and can fail, stall or cut any answer.
// Thread-safe, on the loopback server's threads.
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "testing/loopback_server.h"

namespace testing {

class HalvernServer {
 public:
  static constexpr const char* kUpdatePath = "/hvbridge/v2/req_js.json";

  enum class Fault { kNone, kFail, kStall, kCut };

  HalvernServer();

  // What the client is given as its server URL: the base of every path it asks for.
  std::string serverURL() const { return server_.url("/hvbridge"); }
  std::string fileURL(const std::string& name) const { return server_.url("/files/" + name); }

  // The update answer: a status, the client version and its components (name, script), and
  // the switch that disables the client. No components means none is offered.
  void setClientResponse(std::string version, std::vector<std::pair<std::string, std::string>> source,
                         bool isDisabled = false, std::string status = "AllOkay");
  // Any body at all, for answers that are no JSON.
  void setRawUpdateBody(std::string body);
  void setFile(const std::string& name, std::string bytes);
  // Applies to the update answer (name "") or to one file.
  void setFault(const std::string& name, Fault fault);

  std::vector<RecordedRequest> updateRequests() const { return server_.requestsTo(kUpdatePath); }
  size_t downloadCount(const std::string& name) const { return server_.requestsTo("/files/" + name).size(); }
  LoopbackServer& loopback() { return server_; }


 private:
  ScriptedAnswer answerFor(const std::string& name, ScriptedAnswer answer) const;

  LoopbackServer server_;
  mutable std::mutex mutex_;
  std::string updateBody_;
  std::map<std::string, std::string> files_;
  std::map<std::string, Fault> faults_;
};

}  // namespace testing
