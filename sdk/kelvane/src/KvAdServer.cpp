#include "KvAdServer.h"

#include "platform/singleton.h"
#include "platform/url.h"

namespace kelvane {
namespace {

struct KvAdServerFacts {
  std::string host = KvAdServer::kDefaultHost;
};

}  // namespace

std::string KvAdServer::host() { return platform::processState<KvAdServerFacts>().read(&KvAdServerFacts::host); }

void KvAdServer::setHost(std::string host) {
  platform::processState<KvAdServerFacts>().write(&KvAdServerFacts::host, std::move(host));
}

std::string KvAdServer::hostName() {
  std::string h = host();
  if (!h.empty() && h.front() == '[') return h.substr(1, h.find(']') - 1);
  return h.substr(0, h.find(':'));
}

std::string KvAdServer::base() { return "http://" + host() + "/kvserve/"; }

std::string KvAdServer::clickReportUrl(const std::string& aid, const std::string& cid, const std::string& session) {
  return base() + "kvClick?cn=" + escapeValue(aid) + "&v=1&ci=" + escapeClientId(cid) + "&s=" + escapeValue(session) +
         "&ed=2-5-4-1";
}

std::string KvAdServer::escapeValue(std::string_view value) {
  std::string stripped;
  for (char c : value)
    if (c != ' ') stripped += c;
  return platform::escapeQueryComponent(stripped);
}

std::string KvAdServer::escapeClientId(std::string_view cid) { return platform::escapeQueryComponent(cid); }

}  // namespace kelvane
