#include "testing/halvern_server.h"

#include "testing/json_quote.h"

#include <cstdio>

namespace testing {

HalvernServer::HalvernServer() {
  setClientResponse("", {});
  server_.setHandler(kUpdatePath, [this](const RecordedRequest&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ScriptedAnswer answer = ScriptedAnswer::json(updateBody_);
    answer.gzip = true;
    return answerFor("", answer);
  });
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

}  // namespace testing
