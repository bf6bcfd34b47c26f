#include "testing/kelvane_server.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>

namespace testkit {
namespace {

// A JavaScript string literal of `text`: nothing a misbehaving test value holds can end the
// literal or the script element.
std::string jsString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c < 0x20 || c == '"' || c == '\\' || c == '<' || c == '>' || c == '\'' || c == '&') {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

ScriptedAnswer html(std::string body, int status = 200) {
  ScriptedAnswer answer = ScriptedAnswer::text(std::move(body), status);
  answer.headers = {{"Content-Type", "text/html; charset=utf-8"}};
  return answer;
}

}  // namespace

struct KelvaneServer::Impl {
  LoopbackServer http;
  mutable std::mutex mutex;
  std::map<std::string, std::string> apps;
  std::optional<std::string> outcome;
  std::optional<std::string> cid;
  int status = 200;
  int serial = 0;
  std::deque<std::pair<NextPage, std::shared_ptr<AnswerHold>>> next;
  std::map<int, std::shared_ptr<AnswerHold>> slowScripts;

  ScriptedAnswer page(const RecordedRequest& request, const std::string& kind) {
    std::string outcomeText, cidText, session;
    int n = 0;
    std::optional<std::pair<NextPage, std::shared_ptr<AnswerHold>>> scripted;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (status != 200) return html("", status);
      if (!next.empty()) {
        scripted = next.front();
        next.pop_front();
        if (scripted->first == NextPage::Failed) return html("", 500);
      }
      n = ++serial;
      if (scripted && scripted->first == NextPage::SlowScript) slowScripts[n] = scripted->second;
      auto aid = request.queryItem("aid");
      if (outcome) {
        outcomeText = *outcome;
      } else if (!aid || !request.queryItem("v") || !request.queryItem("po")) {
        outcomeText = "Invalid Input";
      } else {
        auto app = apps.find(*aid);
        outcomeText = app == apps.end() ? "Unknown App Id" : app->second;
      }
      cidText = cid ? *cid : request.queryItem("cid").value_or("kv" + std::to_string(n));
      session = "s" + std::to_string(n);
    }
    const bool pad = request.queryItem("v").value_or("").find("iPad") != std::string::npos;
    std::string image;
    if (kind == "banner") image = pad ? "728\" height=\"90" : "320\" height=\"50";
    if (kind == "full") image = pad ? "768\" height=\"1024" : "320\" height=\"480";
    std::string ad = image.empty() ? "Fly further with Kelvane"
                                   : "<img src=\"" + http.url("/kvserve/img/" + std::to_string(n) + ".png") +
                                         "\" width=\"" + image + "\">";
    std::string body =
        "<html><head><script>\n"
        "function GetKvSession() { return " + jsString(session) + "; }\n"
        "function GetKvCid() { return " + jsString(cidText) + "; }\n"
        "function GetKvError() { return " + jsString(outcomeText) + "; }\n"
        "</script></head><body>\n"
        "<a id=\"ad\" href=\"" + http.url(std::string(kLandingPath) + "?ad=" + std::to_string(n)) + "\">" + ad + "</a>\n";
    if (kind == "full") body += "<a id=\"skip\" href=\"" + http.url(kSkipPath) + "\">Skip</a>\n";
    if (scripted && scripted->first == NextPage::SlowScript)
      body += "<script src=\"" + http.url(std::string(kScriptPath) + "?n=" + std::to_string(n)) + "\"></script>\n";
    ScriptedAnswer answer = html(body + "</body></html>");
    if (scripted && scripted->first == NextPage::Held) answer.hold = scripted->second;
    return answer;
  }

  ScriptedAnswer script(const RecordedRequest& request) {
    ScriptedAnswer answer = ScriptedAnswer::text("var kvLate = 1;");
    answer.headers = {{"Content-Type", "text/javascript"}};
    std::lock_guard<std::mutex> lock(mutex);
    auto held = slowScripts.find(std::atoi(request.queryItem("n").value_or("0").c_str()));
    if (held != slowScripts.end()) answer.hold = held->second;
    return answer;
  }
};

KelvaneServer::KelvaneServer() : impl_(std::make_unique<Impl>()) {
  Impl* impl = impl_.get();
  impl->http.setHandler(kBannerPath, [impl](const RecordedRequest& r) { return impl->page(r, "banner"); });
  impl->http.setHandler(kTextPath, [impl](const RecordedRequest& r) { return impl->page(r, "text"); });
  impl->http.setHandler(kFullScreenPath, [impl](const RecordedRequest& r) { return impl->page(r, "full"); });
  impl->http.setHandler(kScriptPath, [impl](const RecordedRequest& r) { return impl->script(r); });
  impl->http.setAnswer(kClickPath, html("<html><body>OK</body></html>"));
  impl->http.setAnswer(kLandingPath, html("<html><body><h1>Kelvane landing</h1></body></html>"));
}

KelvaneServer::~KelvaneServer() { stop(); }

std::string KelvaneServer::host() const { return "127.0.0.1:" + std::to_string(impl_->http.port()); }

std::string KelvaneServer::url(const std::string& pathAndQuery) const { return impl_->http.url(pathAndQuery); }

LoopbackServer& KelvaneServer::http() { return impl_->http; }

void KelvaneServer::addApp(const std::string& appId, const std::string& outcome) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->apps[appId] = outcome;
}

void KelvaneServer::setOutcome(std::optional<std::string> outcome) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->outcome = std::move(outcome);
}

void KelvaneServer::setAdStatus(int status) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->status = status;
}

void KelvaneServer::scriptNextPage(NextPage next, std::shared_ptr<AnswerHold> hold) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->next.emplace_back(next, std::move(hold));
}

void KelvaneServer::setCid(std::optional<std::string> cid) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->cid = std::move(cid);
}

std::vector<RecordedRequest> KelvaneServer::adRequests() const {
  std::vector<RecordedRequest> out;
  for (auto& r : impl_->http.requests())
    if (r.path == kBannerPath || r.path == kTextPath || r.path == kFullScreenPath) out.push_back(r);
  return out;
}

std::vector<RecordedRequest> KelvaneServer::clickReports() const { return impl_->http.requestsTo(kClickPath); }

std::vector<RecordedRequest> KelvaneServer::requestsTo(const std::string& path) const {
  return impl_->http.requestsTo(path);
}

void KelvaneServer::stop() { impl_->http.stop(); }

}  // namespace testkit
