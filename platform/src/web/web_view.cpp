#include "platform/web_view.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/run_loop.h"
#include "platform/screen.h"
#include "platform/singleton.h"

namespace platform {
namespace {

std::string lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string schemeOf(const std::string& url) {
  auto u = URL::create(url);
  return u && u->scheme() ? lowered(*u->scheme()) : std::string();
}

// Page URLs may hold characters the URL parser refuses (spaces, quotes, non-ASCII, a "%"
// that starts no escape): escape those, as a browser does, and leave everything else
// (escapes included) alone.
std::string escapeForURL(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  auto isHex = [](char h) { return std::isxdigit(static_cast<unsigned char>(h)) != 0; };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool strayPercent = c == '%' && !(i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2]));
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}' || strayPercent) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> resolve(const std::string& text, const std::string& base) {
  auto baseURL = URL::create(base);
  std::string trimmed = text;
  while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\n' || trimmed.front() == '\t'))
    trimmed.erase(trimmed.begin());
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\n' || trimmed.back() == '\t'))
    trimmed.pop_back();
  for (const std::string& candidate : {trimmed, escapeForURL(trimmed)}) {
    auto u = baseURL ? URL::create(candidate, *baseURL) : URL::create(candidate);
    if (u) return u->absoluteString();
  }
  return std::nullopt;
}

std::string textFromBytes(const Bytes& data, const std::string& encodingName) {
  std::string enc = lowered(encodingName);
  bool latin1 = enc == "iso-8859-1" || enc == "latin1" || enc == "iso_8859-1" ||
                enc == "windows-1252" || enc == "cp1252";
  std::string out;
  out.reserve(data.size());
  for (uint8_t b : data) {
    if (latin1 && b >= 0x80) {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

std::string escapeHTMLText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<') out += "&lt;";
    else if (c == '&') out += "&amp;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

// Markup for data of a MIME type: markup types as they are, other text inside the body.
std::string markupFor(const std::string& text, const std::string& mimeType) {
  std::string mime = lowered(mimeType);
  if (mime.empty() || mime == "text/html" || mime == "application/xhtml+xml") return text;
  if (mime.rfind("text/", 0) == 0) return "<html><body><pre>" + escapeHTMLText(text) + "</pre></body></html>";
  return "<html><body></body></html>";
}

bool isScriptType(const HtmlElement& e) {
  const std::string* type = e.attribute("type");
  const std::string* language = e.attribute("language");
  if (type && !type->empty()) {
    std::string t = lowered(*type);
    auto semicolon = t.find(';');
    if (semicolon != std::string::npos) t.resize(semicolon);
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t == "text/javascript" || t == "application/javascript" || t == "text/ecmascript" ||
           t == "application/ecmascript" || t == "application/x-javascript" ||
           t == "text/x-javascript" || t == "text/jscript" || t == "module";
  }
  if (language && !language->empty()) return lowered(*language).rfind("javascript", 0) == 0;
  return true;
}

// A JavaScript string literal holding `text`, so that outside text reaches a page as a value.
std::string jsStringLiteral(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

Error makeError(const char* domain, long code, const std::string& description,
                const std::string& url) {
  Dictionary info;
  info.set(kLocalizedDescriptionKey, Value(description));
  info.set("NSErrorFailingURLStringKey", Value(url));
  return Error{domain, code, Value(std::move(info))};
}

struct Settings {
  std::mutex mutex;
  std::optional<std::string> userAgent;
  ScriptContext::Limits limits;
};

Settings& settings() {
  static Settings* s = [] {
    auto* made = new Settings;
    onProcessReset([made] {
      std::lock_guard<std::mutex> lock(made->mutex);
      made->userAgent.reset();
      made->limits = ScriptContext::Limits{};
    });
    return made;
  }();
  return *s;
}

// One fetch over URLConnection, reporting the whole body at the end.
class BodyFetcher : public URLConnectionDelegate {
 public:
  using Redirect = std::function<bool(const URLRequest&)>;
  using Done = std::function<void(bool ok, const std::string& url, const HTTPURLResponse& response,
                                  const Bytes& body, const Error& error)>;
  BodyFetcher(Redirect redirect, Done done) : redirect_(std::move(redirect)), done_(std::move(done)) {}

  std::optional<URLRequest> connectionWillSendRequestRedirectResponse(
      URLConnection&, const URLRequest& request, const HTTPURLResponse* redirect) override {
    if (redirect && redirect_ && !redirect_(request)) {
      finish(false, request.url(), {}, makeError(kWebKitErrorDomain, kWebKitErrorFrameLoadInterrupted,
                                                 "Frame load interrupted", request.url()));
      return std::nullopt;
    }
    url_ = request.url();
    return request;
  }
  void connectionDidReceiveResponse(URLConnection&, const HTTPURLResponse& response) override {
    response_ = response;
    if (!response.url().empty()) url_ = response.url();
    body_.clear();
  }
  void connectionDidReceiveData(URLConnection&, const Bytes& data) override {
    body_.insert(body_.end(), data.begin(), data.end());
  }
  void connectionDidFinishLoading(URLConnection&) override { finish(true, url_, response_, {}); }
  void connectionDidFailWithError(URLConnection&, const Error& error) override {
    finish(false, url_, response_, error);
  }

 private:
  void finish(bool ok, const std::string& url, const HTTPURLResponse& response, const Error& error) {
    Done done = std::move(done_);
    done_ = nullptr;
    if (done) done(ok, url, response, body_, error);
  }
  Redirect redirect_;
  Done done_;
  std::string url_;
  HTTPURLResponse response_;
  Bytes body_;
};

}  // namespace

// ---- the page's side of a document -------------------------------------------------------

class PageHost : public ScriptHost {
 public:
  explicit PageHost(std::weak_ptr<WebView> view, uint64_t document)
      : view_(std::move(view)), document_(document) {}
  void scriptRequestedNavigation(const std::string& url, NavigationSource source) override;
  void scriptRequestedScript(const std::string& url, int token) override;
  void scriptAlert(const std::string& message) override;
  void scriptConsole(const std::string& level, const std::string& message) override;

 private:
  std::weak_ptr<WebView> view_;
  uint64_t document_;
};

struct WebView::Impl {
  enum class Source { Content, Network, File, Blank, Unsupported };
  struct HistoryEntry {
    URLRequest request;
    std::optional<std::string> content;  // string and data loads replay their markup
  };
  struct Load {
    uint64_t id = 0;
    URLRequest request;
    WebViewNavigationType type = WebViewNavigationType::Other;
    Source source = Source::Blank;
    std::optional<std::string> content;
    std::string referrer;
    bool started = false;
    std::optional<size_t> historyIndex;  // back/forward/reload: the entry it returns to
    std::shared_ptr<URLConnection> connection;
  };
  struct Navigation {
    URLRequest request;
    WebViewNavigationType type;
    bool frame;
  };

  WebView& view;
  std::optional<Load> load;  // the load in progress
  uint64_t nextId = 1;
  std::optional<URLRequest> currentRequest;
  std::string documentURL;
  uint64_t documentId = 0;
  std::deque<HtmlElement> scriptQueue;
  std::string bodyOnload;
  std::shared_ptr<URLConnection> scriptFetch;
  std::vector<std::shared_ptr<URLConnection>> dynamicFetches;
  std::vector<HistoryEntry> history;
  size_t historyIndex = 0;
  std::deque<Navigation> navigations;
  bool deliveryScheduled = false;
  std::vector<std::string> alerts;
  std::vector<std::string> console;

  explicit Impl(WebView& v) : view(v) {}

  std::weak_ptr<WebView> weakView() { return std::static_pointer_cast<WebView>(view.shared_from_this()); }
  std::shared_ptr<WebView> self() { return view.sharedAs<WebView>(); }

  // Runs `fn` on a later turn if the view still exists.
  void later(std::function<void(Impl&)> fn) {
    std::weak_ptr<WebView> weak = weakView();
    RunLoop::main().post([weak, fn = std::move(fn)] {
      if (auto v = weak.lock()) fn(*v->impl_);
    });
  }

  URLRequest withUserAgent(URLRequest request) {
    if (!request.valueForHTTPHeaderField("User-Agent")) {
      request.setValueForHTTPHeaderField(WebView::userAgent(), "User-Agent");
    }
    return request;
  }

  static Source sourceFor(const std::string& url) {
    std::string scheme = schemeOf(url);
    if (scheme == "http" || scheme == "https") return Source::Network;
    if (scheme == "file") return Source::File;
    if (scheme == "about") return Source::Blank;
    return Source::Unsupported;
  }

  std::optional<bool> ask(const URLRequest& request, WebViewNavigationType type) {
    auto d = view.delegate();
    if (!d) return true;
    auto keep = self();
    return d->webViewShouldStartLoadWithRequestNavigationType(keep, request, type).value_or(true);
  }

  // ---- starting and ending loads ----

  // Replaces whatever load is under way; one already started fails as cancelled first.
  void begin(Load next, bool alreadyAllowed) {
    interruptLoad();
    next.id = nextId++;
    next.request = withUserAgent(std::move(next.request));
    load = std::move(next);
    uint64_t id = load->id;
    if (alreadyAllowed) {
      start(id);
    } else {
      later([id](Impl& d) { d.decide(id); });
    }
  }

  void interruptLoad() {
    if (!load) return;
    if (load->started) {
      Load old = std::move(*load);
      load.reset();
      stopFetches(old);
      Error cancelled = makeError(kURLErrorDomain, URLErrorCancelled, "cancelled", old.request.url());
      later([cancelled](Impl& d) { d.notifyFail(cancelled); });
    } else {
      load.reset();
    }
  }

  void stopFetches(Load& l) {
    if (l.connection) l.connection->cancel();
    l.connection.reset();
  }

  bool current(uint64_t id) const { return load && load->id == id; }

  void decide(uint64_t id) {
    if (!current(id)) return;
    URLRequest request = load->request;
    bool allowed = ask(request, load->type).value_or(true);
    if (!current(id)) return;
    if (!allowed) {
      load.reset();
      return;
    }
    start(id);
  }

  void start(uint64_t id) {
    load->started = true;
    if (auto d = view.delegate()) {
      auto keep = self();
      d->webViewDidStartLoad(keep);
    }
    if (!current(id)) return;
    const std::string url = load->request.url();
    switch (load->source) {
      case Source::Content:
        later([id](Impl& d) {
          if (d.current(id)) d.commit(*d.load->content, d.load->request.url());
        });
        break;
      case Source::Blank:
        later([id](Impl& d) {
          if (d.current(id)) d.commit("", d.load->request.url());
        });
        break;
      case Source::File:
        later([id](Impl& d) {
          if (!d.current(id)) return;
          auto u = URL::create(d.load->request.url());
          auto bytes = u ? FileManager::contentsAtPath(u->path()) : std::nullopt;
          if (!bytes || FileManager::isDirectory(u->path())) {
            d.fail(id, makeError(kURLErrorDomain, kURLErrorFileDoesNotExist,
                                 "The requested URL was not found on this server.", d.load->request.url()));
            return;
          }
          std::string ext = lowered(u->pathExtension());
          std::string mime = (ext == "html" || ext == "htm" || ext.empty()) ? "text/html"
                             : (ext == "txt" || ext == "js" || ext == "css") ? "text/plain"
                                                                            : "application/octet-stream";
          d.commit(markupFor(textFromBytes(*bytes, "utf-8"), mime), d.load->request.url());
        });
        break;
      case Source::Network: {
        std::weak_ptr<WebView> weak = weakView();
        auto fetcher = std::make_shared<BodyFetcher>(
            [weak, id](const URLRequest& redirected) {
              auto v = weak.lock();
              if (!v || !v->impl_->current(id)) return false;
              return v->impl_->ask(redirected, WebViewNavigationType::Other).value_or(true);
            },
            [weak, id](bool ok, const std::string& finalURL, const HTTPURLResponse& response,
                       const Bytes& body, const Error& error) {
              auto v = weak.lock();
              if (!v || !v->impl_->current(id)) return;
              Impl& d = *v->impl_;
              d.load->connection.reset();
              if (!ok) {
                d.fail(id, error);
                return;
              }
              std::string mime = response.mimeType();
              d.commit(markupFor(textFromBytes(body, response.textEncodingName()), mime), finalURL);
            });
        load->connection = URLConnection::connectionWithRequestDelegate(load->request, fetcher);
        break;
      }
      case Source::Unsupported:
        later([id, url](Impl& d) {
          if (d.current(id)) d.fail(id, makeError(kURLErrorDomain, URLErrorUnsupportedURL, "unsupported URL", url));
        });
        break;
    }
  }

  void fail(uint64_t id, const Error& error) {
    if (!current(id)) return;
    stopFetches(*load);
    load.reset();
    notifyFail(error);
  }

  void notifyFail(const Error& error) {
    if (auto d = view.delegate()) {
      auto keep = self();
      d->webViewDidFailLoadWithError(keep, error);
    }
  }

  // ---- the new document ----

  void commit(const std::string& markup, const std::string& url) {
    Load& l = *load;
    uint64_t id = l.id;
    if (l.historyIndex) {
      historyIndex = *l.historyIndex;
      history[historyIndex].request = l.request;
    } else {
      if (!history.empty()) history.resize(historyIndex + 1);
      history.push_back({l.request, l.content});
      historyIndex = history.size() - 1;
    }
    currentRequest = l.request;
    if (scriptFetch) scriptFetch->cancel();
    scriptFetch.reset();
    for (auto& c : dynamicFetches) c->cancel();
    dynamicFetches.clear();
    scriptsWaiting.clear();
    scriptFetchesInFlight = 0;
    if (view.context_) view.context_->close();

    HtmlDocument document = HtmlDocument::parse(markup);
    view.documentSource_ = markup;
    documentURL = url;
    documentId = id;
    ScriptContext::Facts facts;
    facts.url = url;
    facts.referrer = l.referrer;
    facts.userAgent = WebView::userAgent();
    facts.platform = Device::currentDevice().model();
    Rect screen = Screen::mainScreen().bounds();
    facts.screenWidth = screen.size.width;
    facts.screenHeight = screen.size.height;
    facts.scale = Screen::mainScreen().scale();
    facts.innerWidth = view.bounds().size.width;
    facts.innerHeight = view.bounds().size.height;
    switch (Device::currentDevice().orientation()) {
      case DeviceOrientation::PortraitUpsideDown: facts.orientation = 180; break;
      case DeviceOrientation::LandscapeLeft: facts.orientation = 90; break;
      case DeviceOrientation::LandscapeRight: facts.orientation = -90; break;
      default: facts.orientation = 0; break;
    }
    auto host = std::make_shared<PageHost>(weakView(), id);
    hosts.clear();
    hosts.push_back(host);
    view.context_ = ScriptContext::create(document, facts, WebView::scriptLimits(), host);
    scriptQueue.clear();
    for (const HtmlElement* s : document.scripts()) scriptQueue.push_back(*s);
    const std::string* onload = document.body().attribute("onload");
    bodyOnload = onload ? *onload : std::string();
    runScripts(id);
  }

  std::vector<std::shared_ptr<PageHost>> hosts;  // the current document's host

  void takeWritten() {
    auto written = view.context_->takeWrittenScripts();
    scriptQueue.insert(scriptQueue.begin(), std::make_move_iterator(written.begin()),
                       std::make_move_iterator(written.end()));
  }

  void runScripts(uint64_t id) {
    auto keep = self();
    while (current(id) && !scriptQueue.empty()) {
      HtmlElement script = std::move(scriptQueue.front());
      scriptQueue.pop_front();
      if (!isScriptType(script)) continue;
      if (const std::string* src = script.attribute("src")) {
        auto url = resolve(*src, documentURL);
        if (!url) continue;
        fetchScript(*url, [id](Impl& d, bool ok, const std::string& source, const std::string& name) {
          if (!d.current(id)) return;
          if (ok) {
            d.view.context_->runScript(source, name);
            d.takeWritten();
          }
          d.runScripts(id);
        });
        return;
      }
      view.context_->runScript(script.text, documentURL);
      takeWritten();
    }
    if (!current(id)) return;
    view.context_->runLoadHandlers(bodyOnload);
    load.reset();
    if (auto d = view.delegate()) d->webViewDidFinishLoad(keep);
  }

  using ScriptDone = std::function<void(Impl&, bool ok, const std::string& source, const std::string& name)>;

  // Scripts the page adds are fetched a few at a time, as a browser shares out its
  // connections; the rest wait in order, and past a long queue fail as not loaded. So a page
  // adding scripts in a loop cannot open connections without bound.
  static constexpr size_t kMaxScriptFetchesInFlight = 6;
  static constexpr size_t kMaxScriptFetchesWaiting = 1000;
  struct WaitingScript {
    std::string url;
    ScriptDone done;
  };
  std::deque<WaitingScript> scriptsWaiting;
  size_t scriptFetchesInFlight = 0;

  void requestPageScript(const std::string& url, ScriptDone done) {
    if (scriptFetchesInFlight < kMaxScriptFetchesInFlight && scriptsWaiting.empty()) {
      startPageScript(url, std::move(done));
    } else if (scriptsWaiting.size() < kMaxScriptFetchesWaiting) {
      scriptsWaiting.push_back({url, std::move(done)});
    } else {
      later([done](Impl& d) { done(d, false, {}, {}); });
    }
  }

  void startPageScript(const std::string& url, ScriptDone done) {
    ++scriptFetchesInFlight;
    uint64_t document = documentId;
    fetchScript(url, [document, done](Impl& d, bool ok, const std::string& source, const std::string& name) {
      if (d.documentId == document) {
        --d.scriptFetchesInFlight;
        while (d.scriptFetchesInFlight < kMaxScriptFetchesInFlight && !d.scriptsWaiting.empty()) {
          WaitingScript next = std::move(d.scriptsWaiting.front());
          d.scriptsWaiting.pop_front();
          d.startPageScript(next.url, std::move(next.done));
        }
      }
      done(d, ok, source, name);
    }, true);
  }

  // Fetches a script's text on later turns (file URLs from disk, http/https over the
  // network) and hands it to `done` if the view still exists.
  void fetchScript(const std::string& url, ScriptDone done, bool dynamic = false) {
    std::string scheme = schemeOf(url);
    if (scheme == "file") {
      later([url, done](Impl& d) {
        auto u = URL::create(url);
        auto bytes = u ? FileManager::contentsAtPath(u->path()) : std::nullopt;
        done(d, bytes.has_value(), bytes ? textFromBytes(*bytes, "utf-8") : std::string(), url);
      });
      return;
    }
    if (scheme != "http" && scheme != "https") {
      later([url, done](Impl& d) { done(d, false, {}, url); });
      return;
    }
    std::weak_ptr<WebView> weak = weakView();
    auto fetcher = std::make_shared<BodyFetcher>(
        nullptr, [weak, done](bool ok, const std::string& finalURL, const HTTPURLResponse& response,
                              const Bytes& body, const Error&) {
          auto v = weak.lock();
          if (!v) return;
          bool good = ok && response.statusCode() >= 200 && response.statusCode() < 300;
          done(*v->impl_, good, textFromBytes(body, response.textEncodingName()), finalURL);
        });
    URLRequest request(url);
    request.setValueForHTTPHeaderField(WebView::userAgent(), "User-Agent");
    if (!documentURL.empty()) request.setValueForHTTPHeaderField(documentURL, "Referer");
    auto connection = URLConnection::connectionWithRequestDelegate(request, fetcher);
    if (dynamic) {
      dynamicFetches.push_back(connection);
    } else {
      scriptFetch = connection;
    }
  }

  // ---- navigations from the page ----

  void enqueue(Navigation n) {
    if (navigations.size() >= 1000) return;  // a page flooding navigations loses the excess
    navigations.push_back(std::move(n));
    scheduleDelivery();
  }

  void scheduleDelivery() {
    if (deliveryScheduled || navigations.empty()) return;
    deliveryScheduled = true;
    later([](Impl& d) {
      d.deliveryScheduled = false;
      d.deliverOne();
    });
  }

  void deliverOne() {
    if (navigations.empty()) return;
    Navigation n = std::move(navigations.front());
    navigations.pop_front();
    auto keep = self();
    n.request = withUserAgent(std::move(n.request));
    bool allowed = ask(n.request, n.type).value_or(true);
    if (allowed) {
      Source source = sourceFor(n.request.url());
      if (!n.frame || source == Source::Unsupported) {
        Load next;
        next.request = n.request;
        next.type = n.type;
        next.source = source;
        next.referrer = documentURL;
        if (n.type == WebViewNavigationType::Reload && history.size() > historyIndex &&
            history[historyIndex].request.url() == n.request.url()) {
          next.historyIndex = historyIndex;
          next.content = history[historyIndex].content;
          if (next.content) next.source = Source::Content;
        }
        begin(std::move(next), true);
      }
    }
    scheduleDelivery();
  }

  void fromPage(uint64_t document, const std::string& text, ScriptHost::NavigationSource source) {
    if (document != documentId) return;
    if (lowered(text.substr(0, 11)) == "javascript:") {
      // Script URLs run in the document on a later turn; they never load anything.
      std::string code = replacingPercentEscapes(text.substr(11)).value_or(text.substr(11));
      later([document, code](Impl& d) {
        if (d.documentId == document && d.view.context_) d.view.context_->runScript(code, "javascript:");
      });
      return;
    }
    auto url = resolve(text, documentURL);
    if (!url) return;
    Navigation n{URLRequest(*url), WebViewNavigationType::Other,
                 source == ScriptHost::NavigationSource::Frame};
    if (source == ScriptHost::NavigationSource::Reload) n.type = WebViewNavigationType::Reload;
    enqueue(std::move(n));
  }

  void scriptRequested(uint64_t document, const std::string& text, int token) {
    if (document != documentId) return;
    auto url = resolve(text, documentURL);
    std::weak_ptr<ScriptContext> context = view.context_;
    auto done = [context, token](Impl&, bool ok, const std::string& source, const std::string& name) {
      auto c = context.lock();
      if (!c) return;
      if (ok) {
        c->runLoadedScript(token, source, name);
      } else {
        c->scriptFailedToLoad(token);
      }
    };
    if (!url) {
      later([done](Impl& d) { done(d, false, {}, {}); });
      return;
    }
    requestPageScript(*url, done);
  }

  void loadFromHistory(size_t index, WebViewNavigationType type) {
    const HistoryEntry& entry = history[index];
    Load next;
    next.request = entry.request;
    next.type = type;
    next.content = entry.content;
    next.source = entry.content ? Source::Content : sourceFor(entry.request.url());
    next.historyIndex = index;
    begin(std::move(next), false);
  }
};

void PageHost::scriptRequestedNavigation(const std::string& url, NavigationSource source) {
  if (auto v = view_.lock()) v->impl_->fromPage(document_, url, source);
}

void PageHost::scriptRequestedScript(const std::string& url, int token) {
  if (auto v = view_.lock()) v->impl_->scriptRequested(document_, url, token);
}

void PageHost::scriptAlert(const std::string& message) {
  if (auto v = view_.lock()) {
    if (v->impl_->alerts.size() < 10000) v->impl_->alerts.push_back(message);
  }
}

void PageHost::scriptConsole(const std::string& level, const std::string& message) {
  if (auto v = view_.lock()) {
    auto& lines = v->impl_->console;
    if (lines.size() < 10000) lines.push_back(level + ": " + message);
  }
}

// ---- WebView -----------------------------------------------------------------------------

WebView::WebView(const Rect& frame) : View(frame), impl_(std::make_unique<Impl>(*this)) {
  scrollView_ = std::make_shared<ScrollView>(Rect(0, 0, frame.size.width, frame.size.height));
  scrollView_->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  addSubview(scrollView_);
}

WebView::~WebView() {
  if (impl_->load) impl_->stopFetches(*impl_->load);
  if (impl_->scriptFetch) impl_->scriptFetch->cancel();
  for (auto& c : impl_->dynamicFetches) c->cancel();
  if (context_) context_->close();
}

std::shared_ptr<WebView> WebView::create(const Rect& frame) { return std::make_shared<WebView>(frame); }

void WebView::loadHTMLStringBaseURL(const std::string& html, const std::optional<URL>& baseURL) {
  Impl::Load l;
  l.request = URLRequest(baseURL ? baseURL->absoluteString() : std::string("about:blank"));
  l.source = Impl::Source::Content;
  l.content = html;
  impl_->begin(std::move(l), false);
}

void WebView::loadDataMIMETypeTextEncodingNameBaseURL(const Bytes& data, const std::string& mimeType,
                                                      const std::string& textEncodingName,
                                                      const std::optional<URL>& baseURL) {
  Impl::Load l;
  l.request = URLRequest(baseURL ? baseURL->absoluteString() : std::string("about:blank"));
  l.source = Impl::Source::Content;
  l.content = markupFor(textFromBytes(data, textEncodingName), mimeType);
  impl_->begin(std::move(l), false);
}

void WebView::loadRequest(const URLRequest& request) {
  Impl::Load l;
  l.request = request;
  l.source = Impl::sourceFor(request.url());
  impl_->begin(std::move(l), false);
}

std::string WebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
  if (evaluatedScripts_.size() >= kEvaluatedScriptsKept) {
    // Drop a tenth at once, so keeping the record stays cheap per evaluation.
    evaluatedScripts_.erase(evaluatedScripts_.begin(),
                            evaluatedScripts_.begin() + kEvaluatedScriptsKept / 10);
  }
  evaluatedScripts_.push_back(script);
  if (!context_) return "";
  auto keep = context_;  // the script may not close it, but a delegate later might
  auto result = keep->evaluate(script);
  return result.status == ScriptContext::Result::Status::Value ? result.text : std::string();
}

bool WebView::canGoBack() const { return !impl_->history.empty() && impl_->historyIndex > 0; }
bool WebView::canGoForward() const {
  return !impl_->history.empty() && impl_->historyIndex + 1 < impl_->history.size();
}
void WebView::goBack() {
  if (canGoBack()) impl_->loadFromHistory(impl_->historyIndex - 1, WebViewNavigationType::BackForward);
}
void WebView::goForward() {
  if (canGoForward()) impl_->loadFromHistory(impl_->historyIndex + 1, WebViewNavigationType::BackForward);
}
void WebView::reload() {
  if (!impl_->history.empty()) impl_->loadFromHistory(impl_->historyIndex, WebViewNavigationType::Reload);
}
void WebView::stopLoading() { impl_->interruptLoad(); }
bool WebView::isLoading() const { return impl_->load.has_value(); }

std::optional<URLRequest> WebView::request() const {
  if (impl_->load) return impl_->load->request;
  return impl_->currentRequest;
}

std::string WebView::userAgent() {
  auto& s = settings();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.userAgent) return *s.userAgent;
  }
  auto& device = Device::currentDevice();
  return "Mozilla/5.0 (" + device.model() + "; " + device.systemName() + " " + device.systemVersion() +
         ") Mobile";
}

void WebView::setUserAgent(std::string userAgent) {
  auto& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.userAgent = std::move(userAgent);
}

ScriptContext::Limits WebView::scriptLimits() {
  auto& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.limits;
}

void WebView::setScriptLimits(ScriptContext::Limits limits) {
  auto& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.limits = limits;
}

bool WebView::tapLinkWithURL(const std::string& url) {
  if (!context_) return false;
  // The URL reaches the page as a value, never as script text.
  auto found = context_->evaluate(
      "(function(){var a=document.getElementsByTagName('a');for(var i=0;i<a.length;i++)"
      "if(a[i].getAttribute('href')===" + jsStringLiteral(url) + ")return a[i].getAttribute('href');})()");
  if (found.status != ScriptContext::Result::Status::Value) return false;
  // A script link or one that does not resolve queues nothing: leave the queue's last
  // entry (another navigation, or none) alone.
  size_t before = impl_->navigations.size();
  impl_->fromPage(impl_->documentId, found.text, ScriptHost::NavigationSource::Location);
  if (impl_->navigations.size() > before) impl_->navigations.back().type = WebViewNavigationType::LinkClicked;
  return true;
}

bool WebView::tapLinkWithElementId(const std::string& elementId) {
  if (!context_) return false;
  auto found = context_->evaluate("(function(){var e=document.getElementById(" + jsStringLiteral(elementId) +
                                  ");return e&&e.getAttribute('href');})()");
  if (found.status != ScriptContext::Result::Status::Value) return false;
  size_t before = impl_->navigations.size();
  impl_->fromPage(impl_->documentId, found.text, ScriptHost::NavigationSource::Location);
  if (impl_->navigations.size() == before) return false;
  impl_->navigations.back().type = WebViewNavigationType::LinkClicked;
  return true;
}

void WebView::injectNavigation(const URLRequest& request, WebViewNavigationType type) {
  impl_->enqueue({request, type, false});
}

const std::vector<std::string>& WebView::alerts() const { return impl_->alerts; }
const std::vector<std::string>& WebView::consoleMessages() const { return impl_->console; }

}  // namespace platform
