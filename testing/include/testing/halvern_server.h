#pragma once
// The Halvern ad bridge server for tests and the demo: it answers the client update request
// ("/hvbridge/v2/req_js.json", gzip-compressed JSON) and serves files and zipped packages
// under "/files/". It counts what it was asked, and can fail, stall or cut any answer.
//
// It also plays the ad side for the driver and display clients written for this project
// (driverScript(), displayScript()): "/hvbridge/v2/ad.json?slot=<name>" describes the next
// ad of a slot (its zipped package, its lifetime and its impression trackers), or has none;
// trackers are answered under "/track/" and counted.
// Thread-safe, on the loopback server's threads.
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "testing/loopback_server.h"

namespace testkit {

class HalvernServer {
 public:
  static constexpr const char* kUpdatePath = "/hvbridge/v2/req_js.json";

  enum class Fault { kNone, kFail, kStall, kCut };

  HalvernServer();
  // Stops answering before the answers' data goes: the listener's threads read it.
  ~HalvernServer();
  HalvernServer(const HalvernServer&) = delete;
  HalvernServer& operator=(const HalvernServer&) = delete;

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

  // The project's own client: a driver that fetches, unpacks and records one ad per request,
  // and a display that shows the ad's "ad.html" and reports its impression.
  static std::string driverScript();
  static std::string displayScript();
  // Offers that client as `version` in the update answer.
  void offerClient(const std::string& version);
  // The next ad of `slot`: a package holding "ad.html" with `html`, living `ttlSeconds`, with
  // one tracker per name. Without an ad the slot's description says there is none.
  void setAd(const std::string& slot, const std::string& html, double ttlSeconds,
             const std::vector<std::string>& trackers);
  void clearAd(const std::string& slot);
  // The next ad of `slot` described by any text at all, for descriptions a server should
  // never send; `package` names what is served at fileURL(`name`) (any bytes).
  void setAdDescription(const std::string& slot, std::string description);
  void setAdPackage(const std::string& slot, const std::string& name, std::string package, double ttlSeconds);
  std::string trackerURL(const std::string& name) const { return server_.url("/track/" + name); }
  size_t trackerHits(const std::string& name) const { return server_.requestsTo("/track/" + name).size(); }
  std::vector<RecordedRequest> adRequests() const { return server_.requestsTo(kAdPath); }

  static constexpr const char* kAdPath = "/hvbridge/v2/ad.json";
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
  // Slot name -> its ad description.
  std::map<std::string, std::string> ads_;
  int packages_ = 0;
};

}  // namespace testkit
