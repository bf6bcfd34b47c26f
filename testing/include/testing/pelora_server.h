#pragma once
// The Pelora ad host on loopback, for tests and the demo. Every request is recorded.
//   kRequestPath     the ad request; answers the XML built from setAd (an IMG ad with one
//                    beacon unless set), or what setRawAnswer / setMalformedAnswer /
//                    setCutAnswer / setAnswers put there.
//   kBridgeScriptPath, kOrmmaScriptPath   the two scripts a rich-media page loads; each
//                    records itself in window.peloraScriptsLoaded. The first defines
//                    window.ormmaview, which records every change event in
//                    ormmaview.changes (as JSON text) and keeps the latest values in
//                    ormmaview.properties; the second defines window.ormma for creatives,
//                    whose calls go out through the page's pelora_bridge.
//   kInstallPath     the install ping; answers setInstallStatus (200 unless set).
//   /pelora/beacon/<id>   beacon URLs (beaconURL), counted by beaconHits.
//   Every other path (pictures, click targets, beacons) answers 200 "ok".
// Thread safety: every member may be called from any thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/loopback_server.h"

namespace testkit {

// One ad answer. Words as the client reads them; an empty optional leaves the element out.
struct PeloraAd {
  std::string status = "SUCCESS";
  std::optional<std::string> type = "IMG";  // the "type" attribute of <ad>
  std::optional<std::string> sessionId = "sess-1";
  std::optional<std::string> clickUrl;      // <action target="…"/>
  std::optional<std::string> imageUrl;      // <link>
  std::optional<std::string> adText;        // <adtext>
  std::optional<std::string> mediaFile;     // <mediafile>
  std::optional<std::string> mediaData;     // <mediadata>
  std::vector<std::string> beacons;         // <beacon> elements, in order
  std::optional<std::string> errorCode;     // <error><code>
  std::optional<std::string> errorDesc;     // <error><desc>
  // Text elements written as CDATA sections instead of escaped text.
  bool cdata = false;
};

class PeloraServer {
 public:
  static constexpr const char* kRequestPath = "/pelora/request";
  static constexpr const char* kBridgeScriptPath = "/pelora/js/ormma_bridge.js";
  static constexpr const char* kOrmmaScriptPath = "/pelora/js/ormma.js";
  static constexpr const char* kInstallPath = "/pelora/install";

  PeloraServer();
  ~PeloraServer();
  PeloraServer(const PeloraServer&) = delete;
  PeloraServer& operator=(const PeloraServer&) = delete;

  // "127.0.0.1:<port>", what the client takes as its ad host.
  std::string host() const;
  std::string url(const std::string& pathAndQuery) const;
  LoopbackServer& http();

  // The answer's XML text for `ad`.
  static std::string answerXML(const PeloraAd& ad);
  // Typical ads of each kind, pointing at this server.
  PeloraAd imageAd(const std::string& id = "1") const;
  PeloraAd textAd(const std::string& text, const std::string& id = "1") const;
  PeloraAd richMediaAd(const std::string& markup, const std::string& id = "1") const;
  static PeloraAd errorAd(const std::string& code, const std::string& desc);

  void setAd(const PeloraAd& ad);
  // Answers used one per request, in order; the last repeats.
  void setAds(const std::vector<PeloraAd>& ads);
  void setRawAnswer(std::string body, int status = 200);
  // A document that is not well-formed.
  void setMalformedAnswer();
  // The answer of `ad` cut after `bytes` bytes (the connection ends cleanly).
  void setCutAnswer(const PeloraAd& ad, size_t bytes);

  std::string beaconURL(const std::string& id) const;
  std::string imageURL(const std::string& id) const;
  std::string clickURL(const std::string& id) const;
  size_t beaconHits(const std::string& id) const;

  std::vector<RecordedRequest> adRequests() const;

  // Rich-media markup that announces itself as an ORMMA ad and records every state it hears
  // in window.creativeStates.
  static std::string ormmaCreative();
  void setInstallStatus(int status);
  std::vector<RecordedRequest> installPings() const;

  void stop();

 private:
  // An ad of `type` with its click target and one beacon "<beaconPrefix>-<id>".
  PeloraAd adOfType(const std::string& type, const std::string& beaconPrefix, const std::string& id) const;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testkit
