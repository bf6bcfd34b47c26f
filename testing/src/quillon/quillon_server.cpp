#include "testing/quillon_server.h"

namespace testkit {
namespace {

constexpr const char* kDefaultBuilder =
    "function QL_buildAdURL(p) {\n"
    "  var ad = '%AD%?slot=' + encodeURIComponent(p.slotname || '');\n"
    "  window.location = 'qmsg:///loadAdURL?url=' + encodeURIComponent(ad) + '&type=quillon';\n"
    "}\n";

constexpr const char* kSearchBuilder =
    "function QL_buildAdURL(p) {\n"
    "  var ad = '%AD%?q=' + encodeURIComponent((p.extras && p.extras.q) || '');\n"
    "  window.location = 'qmsg:///loadAdURL?url=' + encodeURIComponent(ad) + '&type=quillon';\n"
    "}\n";

constexpr const char* kBuilderPage =
    "<html><head><script src=\"/quillon/ql-builder-v1.js\"></script></head><body></body></html>";

constexpr const char* kDefaultAd = "<html><body><a href=\"/click/ad-1\">ad</a></body></html>";

ScriptedAnswer typed(std::string body, const char* type) {
  ScriptedAnswer a = ScriptedAnswer::text(std::move(body));
  a.headers = {{"Content-Type", type}};
  return a;
}

std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

}  // namespace

struct QuillonServer::Impl {
  LoopbackServer http;
};

QuillonServer::QuillonServer() : impl_(std::make_unique<Impl>()) {
  setBuilderScript(replaceAll(kDefaultBuilder, "%AD%", url(kAdPath)));
  setAdPage(kDefaultAd);
  impl_->http.setAnswer(kSearchBuilderPath,
                        typed(replaceAll(kSearchBuilder, "%AD%", url(kAdPath)), "application/javascript"));
  impl_->http.setAnswer(kBuilderPagePath, ScriptedAnswer::html(kBuilderPage));
}

QuillonServer::~QuillonServer() { stop(); }

std::string QuillonServer::url(const std::string& pathAndQuery) const { return impl_->http.url(pathAndQuery); }

std::string QuillonServer::clickURL(const std::string& id) const { return url("/click/" + id); }

LoopbackServer& QuillonServer::http() { return impl_->http; }

void QuillonServer::setBuilderScript(std::string script) {
  ScriptedAnswer answer = typed(std::move(script), "application/javascript");
  answer.lastModified = kBuilderLastModified;
  impl_->http.setAnswer(kBuilderPath, std::move(answer));
}

void QuillonServer::setAdPage(std::string html) {
  impl_->http.setAnswer(kAdPath, ScriptedAnswer::html(std::move(html)));
}

std::string QuillonServer::hostAndPort() const { return "127.0.0.1:" + std::to_string(impl_->http.port()); }

void QuillonServer::setBuilderMessage(const std::string& message) {
  std::string quoted;
  for (char c : message) {
    if (c == '\\' || c == '\'') quoted += '\\';
    quoted += c;
  }
  setBuilderScript("function QL_buildAdURL(p) { window.location = 'qmsg:///" + quoted + "'; }\n");
}

void QuillonServer::setAdAnswer(std::string html, HeaderList headers, int status) {
  ScriptedAnswer answer = ScriptedAnswer::html(std::move(html));
  answer.status = status;
  answer.headers.insert(answer.headers.end(), headers.begin(), headers.end());
  impl_->http.setAnswer(kAdPath, std::move(answer));
}

std::string QuillonServer::impressionURL(const std::string& id) {
  impl_->http.setAnswer("/impression/" + id, typed("", "image/gif"));
  return url("/impression/" + id);
}

std::string QuillonServer::addClick(const std::string& id) {
  impl_->http.setAnswer("/landing/" + id, ScriptedAnswer::html("landed"));
  setClickRedirect(id, url("/landing/" + id));
  return clickURL(id);
}

void QuillonServer::setClickRedirect(const std::string& id, const std::string& location, int status) {
  impl_->http.setAnswer("/click/" + id, ScriptedAnswer::redirect(location, status));
}

std::vector<RecordedRequest> QuillonServer::requests() const { return impl_->http.requests(); }

std::vector<RecordedRequest> QuillonServer::requestsTo(const std::string& path) const {
  return impl_->http.requestsTo(path);
}

void QuillonServer::stop() { impl_->http.stop(); }

}  // namespace testkit
