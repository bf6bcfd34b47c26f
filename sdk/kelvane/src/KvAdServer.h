#pragma once
// Where the client's requests go, and how a value enters one of its URLs. Every value that
// reaches a URL is query-escaped, so a value can never add a parameter of its own or break
// the URL. The application id, the parameters and the session are also stripped of spaces,
// as the ad server has always received them; the client id goes back exactly as the server
// handed it out.
// Thread-safe.
#include <string>
#include <string_view>

namespace kelvane {

class KvAdServer {
 public:
  static constexpr const char* kDefaultHost = "ads.kelvane.com";

  // Host with an optional ":port".
  static std::string host();
  static void setHost(std::string host);
  // The host without its port: the reachability target.
  static std::string hostName();
  // "http://" + host + "/kvserve/"
  static std::string base();
  // The click report of a tap on an ad.
  static std::string clickReportUrl(const std::string& aid, const std::string& cid, const std::string& session);
  // A value as it goes into a URL: spaces removed, then query-escaped.
  static std::string escapeValue(std::string_view value);
  // The client id as it goes into a URL: query-escaped, spaces kept (as "%20").
  static std::string escapeClientId(std::string_view cid);
};

}  // namespace kelvane
