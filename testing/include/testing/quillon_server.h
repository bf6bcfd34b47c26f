#pragma once
// The Quillon ad, script and click hosts on loopback, for tests and the demo. Every request
// is recorded with its headers (see LoopbackServer).
//   kBuilderPath     the ad-URL builder script, sent with "Last-Modified" (a request whose
//                    If-Modified-Since is that date or later gets 304). The default script
//                    defines QL_buildAdURL(parameters), which navigates to
//                    "qmsg:///loadAdURL?url=<ad URL>&type=quillon", the ad URL being
//                    url(kAdPath) with the parameters' "slotname" as "slot".
//   kSearchBuilderPath the search banners' builder script: the same, the ad URL carrying the
//                    parameters' extras "q" as "q".
//   kBuilderPagePath an HTML page that loads the builder script.
//   kAdPath          an ad page (HTML), with any X-Quillon-* control headers and status.
//   /impression/<id> impression tracking URLs made by impressionURL (200, counted through
//                    requestsTo).
//   /click/<id>      tracking URLs made by addClick (302 to /landing/<id>, which answers 200)
//                    or setClickRedirect (to any URL, of any scheme).
// Thread safety: every member may be called from any thread.
#include <memory>
#include <string>
#include <vector>

#include "testing/loopback_server.h"

namespace testkit {

class QuillonServer {
 public:
  static constexpr const char* kBuilderPath = "/quillon/ql-builder-v1.js";
  static constexpr const char* kSearchBuilderPath = "/quillon-search/ql-builder-v1.js";
  static constexpr const char* kBuilderPagePath = "/quillon/builder.html";
  static constexpr const char* kAdPath = "/quillon/ad.html";
  static constexpr const char* kBuilderLastModified = "Tue, 02 Jun 2026 10:00:00 GMT";

  QuillonServer();
  ~QuillonServer();
  QuillonServer(const QuillonServer&) = delete;
  QuillonServer& operator=(const QuillonServer&) = delete;

  // "http://127.0.0.1:<port>" + pathAndQuery.
  std::string url(const std::string& pathAndQuery) const;
  // url("/click/<id>")
  std::string clickURL(const std::string& id) const;
  LoopbackServer& http();

  // "127.0.0.1:<port>", the host the client is configured with.
  std::string hostAndPort() const;

  void setBuilderScript(std::string script);
  // A builder script whose QL_buildAdURL answers with the page message `message` (a "qmsg:"
  // path and query, such as "invalidRequest?reason=x"), whatever the parameters.
  void setBuilderMessage(const std::string& message);
  void setAdPage(std::string html);
  // The ad page with control headers (X-Quillon-Tracking-Urls, X-Quillon-Refresh-Rate …)
  // and a status.
  void setAdAnswer(std::string html, HeaderList headers, int status = 200);
  // A tracking URL that answers 200; requestsTo("/impression/<id>") counts its hits.
  std::string impressionURL(const std::string& id);
  // The tracking URL of `id` redirects to url("/landing/<id>"), which answers 200; returns
  // the tracking URL.
  std::string addClick(const std::string& id);
  // The tracking URL of `id` redirects to `location` (any scheme) with `status`.
  void setClickRedirect(const std::string& id, const std::string& location, int status = 302);

  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requestsTo(const std::string& path) const;

  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testkit
