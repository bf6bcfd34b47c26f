#include "testing/nubira_server.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <set>

namespace testkit {
namespace {

// Every key the client may send, by where it comes from.
const std::set<std::string>& knownKeys() {
  static const std::set<std::string> keys = {
      // targeting
      "u-postalcode", "u-areacode", "u-dateOfbirth", "u-gender", "p-keywords", "p-type", "u-income", "u-education",
      "u-ethnicity", "u-age", "u-interests",
      // device
      "u-id", "d-localization", "d-nettype", "d-devicemodel", "d-devicesystemname", "d-devicesystemversion",
      "d-devicemachinehw", "d-devicemodelcodenohw", "d-devicecpufqhw", "d-devicecpufqmaxhw", "d-deviceramhw",
      "d-devicecputhw", "d-devicecpusthw", "d-devicebthws", "d-devicestoragesize", "d-device-screen-size",
      // application
      "nb-siteid", "adtype", "nb-ad-slot", "nb-version", "nb-ads", "h-user-agent", "u-nubira_iossdkversion",
      "u-appbid", "u-appdnm", "u-appver", "d-orientation", "format", "u-lat_lon_accu", "requestactivity"};
  return keys;
}

const std::vector<std::string> kDeviceRequired = {"u-id", "d-nettype", "d-device-screen-size"};
const std::vector<std::string> kApplicationRequired = {"nb-ad-slot", "nb-version", "nb-ads", "d-orientation",
                                                       "format", "requestactivity"};

bool isEscaped(const std::string& value) {
  for (size_t i = 0; i < value.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (std::isalnum(c) || c == '.' || c == '_') continue;
    if (c == '%' && i + 2 < value.size()) {
      auto hex = [](char h) { return std::isdigit(static_cast<unsigned char>(h)) || (h >= 'A' && h <= 'F'); };
      if (hex(value[i + 1]) && hex(value[i + 2])) {
        i += 2;
        continue;
      }
    }
    return false;
  }
  return true;
}

std::string decode(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size()) {
      out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

}  // namespace

struct NubiraServer::Impl {
  LoopbackServer http;
  mutable std::mutex mutex;
  ScriptedAnswer adAnswer = ScriptedAnswer::text(NubiraServer::kRichMediaReply);
  ScriptedAnswer interstitialAnswer = ScriptedAnswer::text(NubiraServer::kInterstitialReply);
  std::optional<std::string> cachedServer, cachedLife, uploadURL;
  std::set<std::string> extraKeys;
  std::vector<std::string> problems;

  // The problems of one form request, also kept in `problems`.
  std::vector<std::string> check(const RecordedRequest& r) {
    std::vector<std::string> found;
    auto problem = [&](std::string text) { found.push_back(r.path + ": " + std::move(text)); };
    if (r.method != "POST") problem("method " + r.method);
    if (r.header("content-type") != "application/x-www-form-urlencoded") problem("content-type");
    if (r.header("content-length") != std::to_string(r.body.size())) problem("content-length");
    if (r.header("Host") != "127.0.0.1:" + std::to_string(http.port())) {
      problem("Host " + r.header("Host").value_or("(none)"));
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t start = 0;
    while (start <= r.body.size()) {
      size_t end = r.body.find('&', start);
      if (end == std::string::npos) end = r.body.size();
      std::string piece = r.body.substr(start, end - start);
      size_t eq = piece.find('=');
      start = end + 1;
      // An empty piece ("&&", where a request names no site id) carries nothing and loses nothing.
      if (piece.empty()) continue;
      if (eq == std::string::npos || eq == 0) {
        problem("pair without key or value: " + piece);
      } else {
        pairs.emplace_back(piece.substr(0, eq), piece.substr(eq + 1));
      }
    }
    std::set<std::string> seen;
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [key, value] : pairs) {
      if (!knownKeys().count(key) && !extraKeys.count(key)) problem("unknown key " + key);
      if (!seen.insert(key).second) problem("key twice " + key);
      // Numbers travel as signed decimals, the screen size and the activity as they are.
      bool plain = key == "requestactivity" || key == "d-device-screen-size" || key == "u-income" ||
                   key == "u-education" || key == "u-ethnicity" || key == "u-age";
      if (!plain && !isEscaped(value)) {
        problem("value not escaped: " + key);
      }
    }
    auto value = [&](const std::string& key) -> std::optional<std::string> {
      for (const auto& [k, v] : pairs)
        if (k == key) return v;
      return std::nullopt;
    };
    auto require = [&](const std::vector<std::string>& keys) {
      for (const auto& key : keys)
        if (!seen.count(key)) problem("missing " + key);
    };
    auto activity = value("requestactivity");
    if (!activity || *activity == "adrequest") require(kDeviceRequired);
    if (activity) require(kApplicationRequired);
    if (auto v = value("nb-version"); v && *v != "nb%2DPROTO%2DALPHA%2D20101223") problem("nb-version " + *v);
    if (auto v = value("nb-ads"); v && *v != "1") problem("nb-ads " + *v);
    if (auto v = value("format"); v && *v != "xhtml") problem("format " + *v);
    if (auto v = value("d-nettype"); v && *v != "wifi" && *v != "carrier") problem("d-nettype " + *v);
    if (auto v = value("u-gender"); v && *v != "M" && *v != "F") problem("u-gender " + *v);
    if (auto v = value("u-id"); v && r.header("cookie") != "iphone-uuid=" + decode(*v) + ";") problem("cookie");
    if (auto v = value("adtype"); v && *v != "int") problem("adtype " + *v);
    if (auto v = value("nb-ad-slot"); v && value("adtype") && *v != "14" && *v != "16") problem("interstitial slot " + *v);
    problems.insert(problems.end(), found.begin(), found.end());
    return found;
  }

  ScriptedAnswer answerAd(const RecordedRequest& r) {
    auto found = check(r);
    std::lock_guard<std::mutex> lock(mutex);
    const bool interstitial = r.body.find("&adtype=int") != std::string::npos;
    ScriptedAnswer answer =
        !found.empty() ? ScriptedAnswer::text("bad form", 400) : interstitial ? interstitialAnswer : adAnswer;
    if (cachedServer) answer.headers.emplace_back("Nubiracachedserver", *cachedServer);
    if (cachedLife) answer.headers.emplace_back("Nubiracachedlife", *cachedLife);
    if (uploadURL) answer.headers.emplace_back("X-Nubira-Ph", *uploadURL);
    return answer;
  }
};

NubiraServer::NubiraServer() : impl_(std::make_unique<Impl>()) {
  impl_->http.setHandler(kAdPath, [this](const RecordedRequest& r) { return impl_->answerAd(r); });
  impl_->http.setHandler(kDeviceInfoPath, [this](const RecordedRequest& r) {
    return impl_->check(r).empty() ? ScriptedAnswer::text("") : ScriptedAnswer::text("bad form", 400);
  });
  setConversionReply("<?xml version=\"1.0\"?><response><status>true</status></response>");
}

NubiraServer::~NubiraServer() { stop(); }

std::string NubiraServer::url(const std::string& pathAndQuery) const { return impl_->http.url(pathAndQuery); }
std::string NubiraServer::adURL() const { return url(std::string(kAdPath) + "?"); }
LoopbackServer& NubiraServer::http() { return impl_->http; }

void NubiraServer::setAdReply(std::string body, int status) {
  ScriptedAnswer answer = ScriptedAnswer::text(std::move(body), status);
  answer.headers = {{"Content-Type", "text/xml"}};
  setAdAnswer(std::move(answer));
}

void NubiraServer::setAdAnswer(ScriptedAnswer answer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->adAnswer = std::move(answer);
}

void NubiraServer::setInterstitialReply(std::string body, int status) {
  ScriptedAnswer answer = ScriptedAnswer::text(std::move(body), status);
  answer.headers = {{"Content-Type", "text/xml"}};
  setInterstitialAnswer(std::move(answer));
}

void NubiraServer::setInterstitialAnswer(ScriptedAnswer answer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->interstitialAnswer = std::move(answer);
}

void NubiraServer::setCachedServer(std::optional<std::string> server, std::optional<std::string> life) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->cachedServer = std::move(server);
  impl_->cachedLife = std::move(life);
}

void NubiraServer::setDeviceInfoUploadURL(std::optional<std::string> url) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->uploadURL = std::move(url);
}

void NubiraServer::allowExtraKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->extraKeys.insert(key);
}

std::vector<std::string> NubiraServer::formProblems() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->problems;
}

void NubiraServer::clearFormProblems() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->problems.clear();
}

std::string NubiraServer::addClickChain(const std::string& id, int hops, std::optional<std::string> actionType) {
  std::string base = "/nbclick/" + id + "/";
  std::string landing = "/landing/" + id;
  impl_->http.setAnswer(landing, ScriptedAnswer::text("landed"));
  for (int i = 0; i < hops; ++i) {
    std::string next = i + 1 < hops ? base + std::to_string(i + 1) : landing + "?a=1&b=2";
    ScriptedAnswer hop = ScriptedAnswer::redirect(url(next));
    if (i == 0 && actionType) hop.headers.emplace_back("Action-Type", *actionType);
    if (i == 1) hop.headers.emplace_back("Action-Type", "not-the-first");
    impl_->http.setAnswer(base + std::to_string(i), std::move(hop));
  }
  return url(hops > 0 ? base + "0" : landing);
}

std::string NubiraServer::addSelfRedirect(const std::string& id) {
  std::string path = "/nbclick/" + id + "/0";
  impl_->http.setAnswer(path, ScriptedAnswer::redirect(url(path + "?x=1&y=2")));
  return url(path + "?x=1&y=2");
}

void NubiraServer::setConversionReply(std::string xml) {
  ScriptedAnswer answer = ScriptedAnswer::text(std::move(xml));
  answer.headers = {{"Content-Type", "text/xml"}};
  impl_->http.setAnswer(kConvertPath, std::move(answer));
}

std::vector<RecordedRequest> NubiraServer::requests() const { return impl_->http.requests(); }
std::vector<RecordedRequest> NubiraServer::requestsTo(const std::string& path) const {
  return impl_->http.requestsTo(path);
}

void NubiraServer::stop() { impl_->http.stop(); }

}  // namespace testkit
