#pragma once
// Where the client's requests go, and how a value enters one of its URLs. Every value that
// reaches a URL (application id, parameters, client id, session) is stripped of spaces, as
// the ad server has always received it, and then query-escaped, so a value can never add a
// parameter of its own or break the URL.
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
};

}  // namespace kelvane
