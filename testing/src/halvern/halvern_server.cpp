#include "testing/halvern_server.h"

#include "testing/json_quote.h"
#include "testing/zip_builder.h"

#include <cstdio>

namespace testkit {

HalvernServer::~HalvernServer() { server_.stop(); }

HalvernServer::HalvernServer() {
  setClientResponse("", {});
  server_.setHandler(kUpdatePath, [this](const RecordedRequest&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ScriptedAnswer answer = ScriptedAnswer::json(updateBody_);
    answer.gzip = true;
    return answerFor("", answer);
  });
  server_.setHandler(kAdPath, [this](const RecordedRequest& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = ads_.find(request.queryItem("slot").value_or(""));
    return answerFor("ad.json", ScriptedAnswer::json(it == ads_.end() ? "{\"none\":true}" : it->second));
  });
}

void HalvernServer::offerClient(const std::string& version) {
  setClientResponse(version, {{"display", displayScript()}, {"driver", driverScript()}});
}

void HalvernServer::setAd(const std::string& slot, const std::string& html, double ttlSeconds,
                          const std::vector<std::string>& trackers) {
  std::string name;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    name = slot + "-" + std::to_string(++packages_) + ".zip";
  }
  setFile(name, ZipBuilder().addFile("ad.html", html).bytes());
  std::string description = "{\"package\":" + jsonQuoted(fileURL(name)) + ",\"ttl\":" + std::to_string(ttlSeconds) +
                            ",\"trackers\":[";
  for (size_t i = 0; i < trackers.size(); ++i) {
    description += (i ? "," : "") + jsonQuoted(trackerURL(trackers[i]));
    server_.setHandler("/track/" + trackers[i], [](const RecordedRequest&) { return ScriptedAnswer::text("ok"); });
  }
  description += "]}";
  std::lock_guard<std::mutex> lock(mutex_);
  ads_[slot] = std::move(description);
}

void HalvernServer::setAdDescription(const std::string& slot, std::string description) {
  std::lock_guard<std::mutex> lock(mutex_);
  ads_[slot] = std::move(description);
}

void HalvernServer::setAdPackage(const std::string& slot, const std::string& name, std::string package,
                                 double ttlSeconds) {
  setFile(name, std::move(package));
  setAdDescription(slot, "{\"package\":" + jsonQuoted(fileURL(name)) + ",\"ttl\":" + std::to_string(ttlSeconds) +
                             ",\"trackers\":[]}");
}

void HalvernServer::clearAd(const std::string& slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  ads_.erase(slot);
}

void HalvernServer::setClientResponse(std::string version, std::vector<std::pair<std::string, std::string>> source,
                                      bool isDisabled, std::string status) {
  std::string body = "{\"status\":" + jsonQuoted(status) + ",\"content\":{\"clientResponse\":{\"clientVersion\":" +
                     jsonQuoted(version) + ",\"isDisabled\":" + (isDisabled ? "true" : "false");
  if (!source.empty()) {
    body += ",\"source\":{";
    for (size_t i = 0; i < source.size(); ++i) {
      if (i) body += ",";
      body += jsonQuoted(source[i].first) + ":" + jsonQuoted(source[i].second);
    }
    body += "}";
  }
  body += "}}}";
  setRawUpdateBody(std::move(body));
}

void HalvernServer::setRawUpdateBody(std::string body) {
  std::lock_guard<std::mutex> lock(mutex_);
  updateBody_ = std::move(body);
}

void HalvernServer::setFile(const std::string& name, std::string bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    files_[name] = std::move(bytes);
  }
  server_.setHandler("/files/" + name, [this, name](const RecordedRequest&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ScriptedAnswer answer;
    answer.headers = {{"Content-Type", "application/octet-stream"}};
    answer.body = files_[name];
    return answerFor(name, answer);
  });
}

void HalvernServer::setFault(const std::string& name, Fault fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_[name] = fault;
}

ScriptedAnswer HalvernServer::answerFor(const std::string& name, ScriptedAnswer answer) const {
  auto it = faults_.find(name);
  const Fault fault = it == faults_.end() ? Fault::kNone : it->second;
  switch (fault) {
    case Fault::kNone: break;
    case Fault::kFail: return ScriptedAnswer::text("failed", 500);
    case Fault::kStall: answer.stall = true; break;
    case Fault::kCut: answer.dropAfterBodyBytes = answer.gzip ? 8 : answer.body.size() / 2; break;
  }
  return answer;
}

}  // namespace testkit
