#pragma once
// The Nubira ad, click and conversion hosts on loopback, for tests and the demo. Every
// request is recorded with its headers in order (see LoopbackServer).
//   kAdPath          the ad server. A POST's form body is checked key by key: every key known
//                    (or allowed with allowExtraKey), none twice, every value escaped so that
//                    only letters, digits, "." "_" and "%XX" appear, the keys its request
//                    activity needs present, the fixed values right, and the headers
//                    ("content-type", "content-length", "Host" with the port, "cookie"
//                    naming the "u-id"). A request that fails a check is answered 400 and its
//                    problems are kept (formProblems). Otherwise the scripted reply answers.
//   kDeviceInfoPath  the device-info upload: checked the same way, answered 200.
//   /nbclick/<id>/<n> click redirect chains made by addClickChain; the first redirect carries
//                    "Action-Type"; the chain ends at /landing/<id> (200).
//                    A form of an interstitial ("adtype=int") must ask for a full-screen slot
//                    (14 or 16) and gets the interstitial reply.
//   kConvertPath     the conversion ping: answers the scripted XML (status true by default).
// Thread safety: every member may be called from any thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/loopback_server.h"

namespace testkit {

class NubiraServer {
 public:
  static constexpr const char* kAdPath = "/nbserve/ad";
  static constexpr const char* kDeviceInfoPath = "/nbserve/deviceinfo";
  static constexpr const char* kConvertPath = "/nbconvert/v1";

  // A rich-media ad of 320 × 50 with markup in a CDATA section and no AdURL.
  static constexpr const char* kRichMediaReply =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Response>\n"
      "<Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\">"
      "<![CDATA[<div id=\"nb_c\"><b>rich & media</b></div>]]></Ad>\n</Response>\n";
  // A banner with its click target.
  static constexpr const char* kBannerReply =
      "<?xml version=\"1.0\"?>\n<Response><Ad type=\"banner\" actiontype=\"2\" width=\"300\" height=\"250\">"
      "<AdURL>http://127.0.0.1/nbclick/banner?a=1&amp;b=2</AdURL>"
      "<TitleText>Title</TitleText><![CDATA[<img src=\"b.png\">]]></Ad></Response>\n";
  // A banner that names no click target.
  static constexpr const char* kBannerWithoutAdURLReply =
      "<?xml version=\"1.0\"?>\n<Response><Ad type=\"banner\" width=\"320\" height=\"50\">"
      "<![CDATA[<img src=\"b.png\">]]></Ad></Response>\n";
  // The rich-media reply cut short after its complete Ad element.
  static constexpr const char* kCutReply =
      "<?xml version=\"1.0\"?>\n<Response><Ad type=\"rm\" width=\"320\" height=\"50\">"
      "<![CDATA[<p>cut</p>]]></Ad><Ad type=\"ban";

  // A full-screen rich-media ad of 320 × 480. Its page writes down in window.heard, in order,
  // what its MRAID object tells it: "ready", "state:<state>", "viewable:<true|false>"; the
  // element "close" calls mraid.close() and "link" is a plain link to /landing/interstitial.
  static constexpr const char* kInterstitialReply =
      "<?xml version=\"1.0\"?>\n<Response><Ad type=\"rm\" actionType=\"2\" width=\"320\" height=\"480\">"
      "<![CDATA[<div id=\"nb_c\"><a id=\"close\" href=\"#\" onclick=\"mraid.close(); return false;\">x</a>"
      "<a id=\"link\" href=\"/landing/interstitial\">more</a></div><script>window.heard = [];"
      "mraid.addEventListener('ready', function () { heard.push('ready'); });"
      "mraid.addEventListener('stateChange', function (s) { heard.push('state:' + s); });"
      "mraid.addEventListener('viewableChange', function (v) { heard.push('viewable:' + v); });"
      "</script>]]></Ad></Response>\n";

  NubiraServer();
  ~NubiraServer();
  NubiraServer(const NubiraServer&) = delete;
  NubiraServer& operator=(const NubiraServer&) = delete;

  // "http://127.0.0.1:<port>" + pathAndQuery.
  std::string url(const std::string& pathAndQuery) const;
  // The ad server's endpoint as the client uses it: url(kAdPath) + "?".
  std::string adURL() const;
  LoopbackServer& http();

  // The answer of the ad server to a well-formed request.
  void setAdReply(std::string body, int status = 200);
  void setAdAnswer(ScriptedAnswer answer);
  // The answer to a well-formed interstitial request (kInterstitialReply until set).
  void setInterstitialReply(std::string body, int status = 200);
  void setInterstitialAnswer(ScriptedAnswer answer);
  // Reply headers: "Nubiracachedserver" / "Nubiracachedlife" and "X-Nubira-Ph" (nullopt: not
  // sent). They go with every ad reply.
  void setCachedServer(std::optional<std::string> server, std::optional<std::string> life);
  void setDeviceInfoUploadURL(std::optional<std::string> url);

  // Keys besides the client's own that a form may carry (extra parameters, reference pair).
  void allowExtraKey(const std::string& key);
  // Problems found in every checked form so far, in order ("<path>: <problem>").
  std::vector<std::string> formProblems() const;
  void clearFormProblems();

  // /nbclick/<id>/0 → … → /nbclick/<id>/<hops-1> → /landing/<id>?a=1&b=2, each a 302; the
  // first redirect carries "Action-Type: <actionType>" when given. Returns the first URL.
  std::string addClickChain(const std::string& id, int hops, std::optional<std::string> actionType);
  // /nbclick/<id>/0 redirects to itself for ever.
  std::string addSelfRedirect(const std::string& id);

  void setConversionReply(std::string xml);

  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requestsTo(const std::string& path) const;

  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testkit
