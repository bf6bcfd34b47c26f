#include "testing/cadenzo_server.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "json_text.h"
#include "platform/crypto.h"

namespace testkit {
namespace {

constexpr const char* kJsonType = "application/json; charset=UTF-8";

// The device keys every call carries, in the order the client writes them.
const std::vector<std::string>& deviceKeys() {
  static const std::vector<std::string> keys = {
      "model", "os", "ui", "identity", "tracking", "country", "language",
      "bundle", "sdk", "timestamp", "device_type", "retina", "reachability", "app"};
  return keys;
}

// Keys that may follow the device keys, per action; `required` ones must be there.
struct ActionRule {
  std::set<std::string> allowed;
  std::set<std::string> required;
};

const std::map<std::string, ActionRule>& actionRules() {
  static const std::map<std::string, ActionRule> rules = {
      {"install", {{}, {}}},
      {"get", {{"location", "cache"}, {"location"}}},
      {"more", {{"cache"}, {}}},
      {"show", {{"ad_id"}, {}}},
      {"click", {{"to", "cgn", "creative", "ad_id", "type", "more_type", "in_app_store"},
                 {"in_app_store"}}},
      {"event", {{"key", "value", "meta"}, {"key"}}},
      {"purchase", {{"product_id", "title", "price", "currency", "meta", "quantity"},
                    {"product_id", "price", "quantity"}}},
  };
  return rules;
}

bool allDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isLowerHex(const std::string& s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

ScriptedAnswer jsonAnswer(std::string body, int status = 200) {
  ScriptedAnswer a;
  a.status = status;
  a.headers = {{"Content-Type", kJsonType}};
  a.body = std::move(body);
  return a;
}

}  // namespace

struct CadenzoServer::Impl {
  LoopbackServer http;
  mutable std::mutex mutex;
  std::map<std::string, std::string> apps;  // app id -> signature
  std::map<std::string, std::string> interstitials;
  std::optional<std::string> moreApps;
  std::map<std::string, std::deque<ScriptedAnswer>> nextScripts;
  std::map<std::string, ScriptedAnswer> alwaysScripts;
  std::vector<CadenzoCall> calls;
  unsigned getCount = 0;
  unsigned moreCount = 0;

  std::vector<std::string> check(const RecordedRequest& r, const std::string& action,
                                 const platform::Value& body, bool bodyIsJson) {
    std::vector<std::string> problems;
    auto expectHeader = [&](const char* name, const std::string& want) {
      auto got = r.header(name);
      if (!got) problems.push_back(std::string("missing header ") + name);
      else if (*got != want) problems.push_back(std::string("header ") + name + " is \"" + *got + "\"");
    };
    if (r.method != "POST") problems.push_back("method " + r.method + ", not POST");
    expectHeader("Content-Type", kJsonType);
    expectHeader("Accept", kJsonType);
    expectHeader("X-Cadenzo-Client", "Cadenzo-iOS-SDK 3.1.1");
    expectHeader("X-Cadenzo-API", "3.0.6");

    auto appId = r.header("X-Cadenzo-App");
    auto signature = r.header("X-Cadenzo-Signature");
    std::optional<std::string> secret;
    if (!appId) {
      problems.push_back("missing header X-Cadenzo-App");
    } else if (auto it = apps.find(*appId); it == apps.end()) {
      problems.push_back("unknown app " + *appId);
    } else {
      secret = it->second;
    }
    if (!signature) {
      problems.push_back("missing header X-Cadenzo-Signature");
    } else if (signature->size() != 40 || !isLowerHex(*signature)) {
      problems.push_back("malformed signature");
    } else if (secret) {
      std::string uri = r.path + (r.query.empty() ? "" : "?" + r.query);
      std::string text = r.method + " " + uri + "\n" + *secret + "\n" + r.body;
      if (platform::crypto::sha1Hex(text) != *signature) problems.push_back("bad signature");
    }

    if (!bodyIsJson || !body.isDictionary()) {
      problems.push_back("body is not a JSON object");
      return problems;
    }
    const platform::Dictionary& d = body.dictionary();
    // Device keys first, in their order; then the action's own keys.
    const auto& device = deviceKeys();
    size_t next = 0;
    bool inActionKeys = false;
    const ActionRule& rule = actionRules().at(action);
    for (const auto& [key, value] : d) {
      auto pos = std::find(device.begin(), device.end(), key);
      if (pos != device.end()) {
        size_t index = size_t(pos - device.begin());
        if (inActionKeys || index < next) problems.push_back("device key " + key + " out of order");
        next = index + 1;
      } else if (rule.allowed.count(key)) {
        inActionKeys = true;
      } else {
        problems.push_back("unexpected key " + key);
      }
    }
    for (const char* key : {"ui", "identity", "tracking", "sdk", "timestamp", "retina", "reachability", "app"}) {
      if (!d.contains(key)) problems.push_back(std::string("missing key ") + key);
    }
    for (const auto& key : rule.required) {
      if (!d.contains(key)) problems.push_back("missing key " + key);
    }
    auto expectString = [&](const char* key) {
      if (auto* v = d.find(key); v && !v->isString()) problems.push_back(std::string(key) + " is not a string");
    };
    for (const char* key : {"model", "os", "identity", "country", "language", "bundle", "device_type",
                            "location", "cache", "ad_id", "key", "value", "price", "quantity"}) {
      expectString(key);
    }
    auto expectBool = [&](const char* key) {
      if (auto* v = d.find(key); v && !v->isBoolean()) problems.push_back(std::string(key) + " is not a boolean");
    };
    for (const char* key : {"tracking", "retina", "in_app_store"}) expectBool(key);
    if (auto* v = d.find("ui"); v && !allDigits(v->string())) problems.push_back("ui is not decimal text");
    if (auto* v = d.find("timestamp"); v && !allDigits(v->string())) problems.push_back("timestamp is not decimal text");
    if (auto* v = d.find("identity"); v && (v->string().empty() || !isLowerHex(v->string()) || v->string().size() % 2))
      problems.push_back("identity is not hex");
    if (auto* v = d.find("reachability");
        v && (!(v->type() == platform::Value::Type::Integer || v->type() == platform::Value::Type::Unsigned) ||
              v->integerValue() < 0 || v->integerValue() > 2))
      problems.push_back("reachability is not 0, 1 or 2");
    if (auto* v = d.find("sdk"); v && v->string() != "3.1.1") problems.push_back("sdk is not 3.1.1");
    if (auto* v = d.find("app"); v && appId && v->string() != *appId) problems.push_back("app differs from header");
    if (auto* v = d.find("cache"); v && v->string() != "1") problems.push_back("cache is not \"1\"");
    return problems;
  }

  ScriptedAnswer fixture(const std::string& action, const platform::Value& body) {
    if (action == "get") {
      ++getCount;
      auto it = interstitials.find(body["location"].string());
      if (it != interstitials.end()) return jsonAnswer(it->second);
      std::string adId = "ad-" + std::to_string(getCount);
      return jsonAnswer("{\"status\":200,\"ad_id\":" + cadenzo_json::quote(adId) +
                        ",\"type\":\"html\",\"link\":" + cadenzo_json::quote(http.url("/target/" + adId)) +
                        ",\"html\":\"<html><body><a href=\\\"cadenzo://close\\\">x</a></body></html>\"}");
    }
    if (action == "more") {
      ++moreCount;
      if (moreApps) return jsonAnswer(*moreApps);
      return jsonAnswer("{\"status\":200,\"type\":\"native\",\"ad_id\":\"more-" + std::to_string(moreCount) + "\"}");
    }
    return jsonAnswer("{\"status\":200}");
  }

  ScriptedAnswer handle(const RecordedRequest& r, const std::string& action) {
    auto parsed = cadenzo_json::parse(r.body);
    CadenzoCall call;
    call.request = r;
    call.action = action;
    if (parsed) call.body = *parsed;
    std::lock_guard<std::mutex> lock(mutex);
    call.problems = check(r, action, call.body, parsed.has_value());
    calls.push_back(call);
    const size_t serial = static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const CadenzoCall& c) { return c.action == action; }));
    return numbered(answerFor(action, call), serial);
  }

  ScriptedAnswer answerFor(const std::string& action, const CadenzoCall& call) {
    if (auto it = nextScripts.find(action); it != nextScripts.end() && !it->second.empty()) {
      ScriptedAnswer a = std::move(it->second.front());
      it->second.pop_front();
      return a;
    }
    if (auto it = alwaysScripts.find(action); it != alwaysScripts.end()) return it->second;
    if (!call.accepted()) {
      return jsonAnswer("{\"status\":401,\"message\":" + cadenzo_json::quote(call.problems.front()) + "}", 401);
    }
    return fixture(action, call.body);
  }

  static ScriptedAnswer numbered(ScriptedAnswer answer, size_t serial) {
    const std::string mark = kCallNumberMark;
    for (size_t at = answer.body.find(mark); at != std::string::npos; at = answer.body.find(mark, at))
      answer.body.replace(at, mark.size(), std::to_string(serial));
    return answer;
  }
};

CadenzoServer::CadenzoServer() : impl_(std::make_unique<Impl>()) {
  impl_->apps[kAppId] = kAppSignature;
  for (const auto& [action, rule] : actionRules()) {
    (void)rule;
    std::string name = action;
    impl_->http.setHandler("/api/" + action,
                           [this, name](const RecordedRequest& r) { return impl_->handle(r, name); });
  }
}

CadenzoServer::~CadenzoServer() { stop(); }

std::string CadenzoServer::json(const platform::Value& answer) { return cadenzo_json::write(answer); }

std::string CadenzoServer::endpoint() const { return impl_->http.baseURL(); }
std::string CadenzoServer::url(const std::string& pathAndQuery) const { return impl_->http.url(pathAndQuery); }
LoopbackServer& CadenzoServer::http() { return impl_->http; }

void CadenzoServer::addApp(const std::string& appId, const std::string& appSignature) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->apps[appId] = appSignature;
}

void CadenzoServer::setInterstitial(const std::string& location, std::string answer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->interstitials[location] = std::move(answer);
}

void CadenzoServer::setMoreApps(std::string answer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->moreApps = std::move(answer);
}

void CadenzoServer::scriptNext(const std::string& action, ScriptedAnswer answer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->nextScripts[action].push_back(std::move(answer));
}

void CadenzoServer::scriptAlways(const std::string& action, ScriptedAnswer answer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->alwaysScripts[action] = std::move(answer);
}

void CadenzoServer::clearScripts() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->nextScripts.clear();
  impl_->alwaysScripts.clear();
}

std::vector<CadenzoCall> CadenzoServer::calls() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->calls;
}

std::vector<CadenzoCall> CadenzoServer::callsTo(const std::string& action) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  std::vector<CadenzoCall> out;
  for (const auto& c : impl_->calls)
    if (c.action == action) out.push_back(c);
  return out;
}

size_t CadenzoServer::callCount() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->calls.size();
}

void CadenzoServer::clearCalls() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->calls.clear();
}

void CadenzoServer::stop() { impl_->http.stop(); }

}  // namespace testkit
