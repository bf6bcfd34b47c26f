#include "testing/pelora_server.h"

namespace testkit {
namespace {

std::string escapeXML(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

ScriptedAnswer typed(std::string body, const char* type, int status = 200) {
  ScriptedAnswer a = ScriptedAnswer::text(std::move(body), status);
  a.headers = {{"Content-Type", type}};
  return a;
}

ScriptedAnswer xmlAnswer(std::string body) { return typed(std::move(body), "text/xml; charset=utf-8"); }

std::string scriptRecording(const char* name) {
  return std::string("window.peloraScriptsLoaded = (window.peloraScriptsLoaded || '') + '") + name + ";';\n";
}

// The page's view of the slot: every change event the client injects is recorded as JSON
// (tests compare them), merged into `properties`, and passed to the listeners.
constexpr const char* kOrmmaBridgeScript = R"JS(
window.ormmaview = {
  changes: [],
  properties: { state: 'unknown' },
  listeners: [],
  fireChangeEvent: function (props) {
    window.ormmaview.changes.push(JSON.stringify(props));
    for (var key in props) window.ormmaview.properties[key] = props[key];
    for (var i = 0; i < window.ormmaview.listeners.length; i++) window.ormmaview.listeners[i](props);
  },
  addChangeListener: function (fn) { window.ormmaview.listeners.push(fn); }
};
)JS";

// What a creative calls: each request goes out through the page's pelora_bridge.
constexpr const char* kOrmmaScript = R"JS(
window.ormma = {
  getState: function () { return ormmaview.properties.state; },
  getSize: function () { return ormmaview.properties.size; },
  getOrientation: function () { return ormmaview.properties.orientation; },
  expand: function (d, url) { pelora_bridge.expand(d.x, d.y, d.width, d.height, url, null); },
  close: function () { pelora_bridge.close(); },
  hide: function () { pelora_bridge.hide(); },
  show: function () { pelora_bridge.show(); },
  open: function (url) { pelora_bridge.open(url, false, false, false); },
  addEventListener: function (event, fn) {
    ormmaview.addChangeListener(function (props) {
      if (event === 'stateChange' && props.state !== undefined) fn(props.state);
      if (event === 'sizeChange' && props.size !== undefined) fn(props.size.width, props.size.height);
    });
  }
};
)JS";

}  // namespace

struct PeloraServer::Impl {
  LoopbackServer http;
};

PeloraServer::PeloraServer() : impl_(std::make_unique<Impl>()) {
  setAd(imageAd());
  impl_->http.setAnswer(kBridgeScriptPath,
                        typed(scriptRecording("ormma_bridge") + kOrmmaBridgeScript, "application/javascript"));
  impl_->http.setAnswer(kOrmmaScriptPath, typed(scriptRecording("ormma") + kOrmmaScript, "application/javascript"));
  setInstallStatus(200);
  // Beacons, pictures and click targets: any other path answers 200.
  impl_->http.setDefaultAnswer(ScriptedAnswer::text("ok"));
}

PeloraServer::~PeloraServer() { stop(); }

std::string PeloraServer::host() const { return "127.0.0.1:" + std::to_string(impl_->http.port()); }
std::string PeloraServer::url(const std::string& pathAndQuery) const { return impl_->http.url(pathAndQuery); }
LoopbackServer& PeloraServer::http() { return impl_->http; }

std::string PeloraServer::answerXML(const PeloraAd& ad) {
  auto element = [&](const char* name, const std::optional<std::string>& text) -> std::string {
    if (!text) return "";
    std::string body = ad.cdata ? "<![CDATA[" + *text + "]]>" : escapeXML(*text);
    return std::string("    <") + name + ">" + body + "</" + name + ">\n";
  };
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response>\n";
  xml += element("sessionid", ad.sessionId);
  xml += element("status", ad.status);
  if (ad.errorCode || ad.errorDesc) {
    xml += "  <error>\n" + element("code", ad.errorCode) + element("desc", ad.errorDesc) + "  </error>\n";
  }
  xml += ad.type ? "  <ad type=\"" + escapeXML(*ad.type) + "\">\n" : std::string("  <ad>\n");
  xml += element("link", ad.imageUrl);
  xml += element("adtext", ad.adText);
  xml += element("mediafile", ad.mediaFile);
  xml += element("mediadata", ad.mediaData);
  if (ad.clickUrl) xml += "    <action target=\"" + escapeXML(*ad.clickUrl) + "\"/>\n";
  if (!ad.beacons.empty()) {
    xml += "    <beacons>\n";
    for (const auto& b : ad.beacons) xml += element("beacon", b);
    xml += "    </beacons>\n";
  }
  xml += "  </ad>\n</response>\n";
  return xml;
}

PeloraAd PeloraServer::adOfType(const std::string& type, const std::string& beaconPrefix, const std::string& id) const {
  PeloraAd ad;
  ad.type = type;
  ad.clickUrl = clickURL(id);
  ad.beacons = {beaconURL(beaconPrefix + "-" + id)};
  return ad;
}

PeloraAd PeloraServer::imageAd(const std::string& id) const {
  PeloraAd ad = adOfType("IMG", "img", id);
  ad.imageUrl = imageURL(id);
  return ad;
}

PeloraAd PeloraServer::textAd(const std::string& text, const std::string& id) const {
  PeloraAd ad = adOfType("TXT", "txt", id);
  ad.adText = text;
  return ad;
}

PeloraAd PeloraServer::richMediaAd(const std::string& markup, const std::string& id) const {
  PeloraAd ad = adOfType("RICHMEDIA", "rm", id);
  ad.mediaData = markup;
  return ad;
}

PeloraAd PeloraServer::errorAd(const std::string& code, const std::string& desc) {
  PeloraAd ad;
  ad.status = "ERROR";
  ad.type.reset();
  ad.errorCode = code;
  ad.errorDesc = desc;
  return ad;
}

void PeloraServer::setAd(const PeloraAd& ad) { impl_->http.setAnswer(kRequestPath, xmlAnswer(answerXML(ad))); }

void PeloraServer::setAds(const std::vector<PeloraAd>& ads) {
  std::vector<ScriptedAnswer> answers;
  for (const auto& ad : ads) answers.push_back(xmlAnswer(answerXML(ad)));
  impl_->http.setAnswers(kRequestPath, std::move(answers));
}

void PeloraServer::setRawAnswer(std::string body, int status) {
  impl_->http.setAnswer(kRequestPath, typed(std::move(body), "text/xml; charset=utf-8", status));
}

void PeloraServer::setMalformedAnswer() {
  setRawAnswer("<?xml version=\"1.0\"?>\n<response>\n  <status>SUCCESS</status>\n  <ad type=\"IMG\">\n</response>\n");
}

void PeloraServer::setCutAnswer(const PeloraAd& ad, size_t bytes) {
  setRawAnswer(answerXML(ad).substr(0, bytes));
}

std::string PeloraServer::beaconURL(const std::string& id) const { return url("/pelora/beacon/" + id); }
std::string PeloraServer::imageURL(const std::string& id) const { return url("/pelora/image/" + id + ".png"); }
std::string PeloraServer::clickURL(const std::string& id) const { return url("/pelora/click/" + id); }

size_t PeloraServer::beaconHits(const std::string& id) const { return impl_->http.requestsTo("/pelora/beacon/" + id).size(); }

std::vector<RecordedRequest> PeloraServer::adRequests() const { return impl_->http.requestsTo(kRequestPath); }

std::string PeloraServer::ormmaCreative() {
  return "<div id=\"creative\">Rich</div>\n"
         "<script type=\"text/javascript\">\n"
         "window.creativeStates = [];\n"
         "ormma.addEventListener('stateChange', function (state) { window.creativeStates.push(state); });\n"
         "pelora_bridge.foundORMMAAd();\n"
         "</script>\n";
}

void PeloraServer::setInstallStatus(int status) { impl_->http.setAnswer(kInstallPath, ScriptedAnswer::text("ok", status)); }

std::vector<RecordedRequest> PeloraServer::installPings() const { return impl_->http.requestsTo(kInstallPath); }

void PeloraServer::stop() { impl_->http.stop(); }

}  // namespace testkit
