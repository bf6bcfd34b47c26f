#pragma once
// The Kelvane ad server on loopback, for tests and the demo. Every request is recorded with
// its headers (see LoopbackServer).
//   kBannerPath, kTextPath, kFullScreenPath   ad pages (HTML). Each page defines the scripts
//       GetKvSession(), GetKvCid() and GetKvError(); its ad is a link to kLandingPath.
//       Banner pages show one image, 320 x 50 on a phone and 728 x 90 on a tablet (the
//       request's "v" names "iPad"); text pages show no image; full-screen pages show one
//       image of the screen (320 x 480 or 768 x 1024) and a skip link to kSkipPath.
//   kClickPath    click reports; answered 200.
//   kLandingPath  where an ad leads; answered 200 with a small page.
// The outcome a page reports: the one set with setOutcome, else "Invalid Input" for a
// request without "aid", "v" or "po", "Unknown App Id" for an application id not added,
// else the outcome the application was added with.
// The session is "s" and the request's serial number; the client id is the one set with
// setCid, else the request's "cid", else "kv" and the serial number.
// Thread safety: every member may be called from any thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/loopback_server.h"

namespace testkit {

class KelvaneServer {
 public:
  static constexpr const char* kBannerPath = "/kvserve/kvBanner";
  static constexpr const char* kTextPath = "/kvserve/kvText";
  static constexpr const char* kFullScreenPath = "/kvserve/kvFullScreen";
  static constexpr const char* kClickPath = "/kvserve/kvClick";
  static constexpr const char* kLandingPath = "/landing";
  static constexpr const char* kSkipPath = "/kvserve/kelvane-skip";
  static constexpr const char* kScriptPath = "/kvserve/kvScript.js";

  KelvaneServer();
  ~KelvaneServer();
  KelvaneServer(const KelvaneServer&) = delete;
  KelvaneServer& operator=(const KelvaneServer&) = delete;

  // "127.0.0.1:<port>": the host the client is configured with.
  std::string host() const;
  // "http://127.0.0.1:<port>" + pathAndQuery.
  std::string url(const std::string& pathAndQuery) const;
  LoopbackServer& http();

  // An application id the server knows, and the outcome its pages report ("OK", "House Ad" …).
  void addApp(const std::string& appId, const std::string& outcome = "OK");
  // Every page reports `outcome` (nullopt: decided by the request as above).
  void setOutcome(std::optional<std::string> outcome);
  // Ad answers carry `status` (200 unless set); a status other than 200 has an empty body.
  void setAdStatus(int status);
  // Every page hands out `cid` (nullopt: as above). Any text, for pages that misbehave.
  void setCid(std::optional<std::string> cid);

  // How the next ad page goes out, one per call, in order: held until `hold` is released,
  // failed with status 500, or complete but with a script at the end of its body that is
  // held until `hold` is released (the page is up, not finished).
  enum class NextPage { Held, Failed, SlowScript };
  void scriptNextPage(NextPage next, std::shared_ptr<AnswerHold> hold = nullptr);
  // Requests to the three ad endpoints, in arrival order.
  std::vector<RecordedRequest> adRequests() const;
  std::vector<RecordedRequest> clickReports() const;
  std::vector<RecordedRequest> requestsTo(const std::string& path) const;

  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testkit
