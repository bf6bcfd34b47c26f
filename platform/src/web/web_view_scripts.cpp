// The document's <script> elements, run in order (a fetched one holds the rest back), and
// the scripts a page adds while it runs, fetched a few at a time.
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/sandbox.h"
#include "web_view_impl.h"

namespace platform {

using namespace web;

namespace {

// A page reads files only when it is a file page itself, and only inside the application's own
// folders (its home and its bundle): a page from the network, or a path that climbs out of
// them, gets nothing.
bool mayReadScriptFile(const std::string& documentURL, const std::string& path) {
  if (schemeOf(documentURL) != "file") return false;
  for (const std::string& root : {Sandbox::home(), Sandbox::bundlePath()}) {
    if (root.empty()) continue;
    const std::string prefix = root.back() == '/' ? root : root + "/";
    if (path.compare(0, prefix.size(), prefix) == 0 &&
        FileManager::confinedPath(root, std::string_view(path).substr(prefix.size())))
      return true;
  }
  return false;
}

}  // namespace

void WebView::Impl::takeWritten() {
  auto written = view.context_->takeWrittenScripts();
  scriptQueue.insert(scriptQueue.begin(), std::make_move_iterator(written.begin()),
                     std::make_move_iterator(written.end()));
}

void WebView::Impl::runScripts(uint64_t id) {
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

void WebView::Impl::requestPageScript(const std::string& url, ScriptDone done) {
  if (scriptFetchesInFlight < kMaxScriptFetchesInFlight && scriptsWaiting.empty()) {
    startPageScript(url, std::move(done));
  } else if (scriptsWaiting.size() < kMaxScriptFetchesWaiting) {
    scriptsWaiting.push_back({url, std::move(done)});
  } else {
    later([done](Impl& d) { done(d, false, {}, {}); });
  }
}

void WebView::Impl::startPageScript(const std::string& url, ScriptDone done) {
  ++scriptFetchesInFlight;
  uint64_t document = documentId;
  fetchScript(
      url,
      [document, done](Impl& d, bool ok, const std::string& source, const std::string& name) {
        if (d.documentId == document) {
          --d.scriptFetchesInFlight;
          while (d.scriptFetchesInFlight < kMaxScriptFetchesInFlight && !d.scriptsWaiting.empty()) {
            WaitingScript next = std::move(d.scriptsWaiting.front());
            d.scriptsWaiting.pop_front();
            d.startPageScript(next.url, std::move(next.done));
          }
        }
        done(d, ok, source, name);
      },
      true);
}

void WebView::Impl::fetchScript(const std::string& url, ScriptDone done, bool dynamic) {
  std::string scheme = schemeOf(url);
  if (scheme == "file") {
    later([url, done](Impl& d) {
      auto u = URL::create(url);
      if (u && !mayReadScriptFile(d.documentURL, u->path())) {
        log("Refused script " + url + " for page " + d.documentURL + ": outside the application's folders");
        return done(d, false, {}, url);
      }
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
  auto connection = URLConnection::connectionWithRequestDelegate(BodyFetcher::bounded(request), fetcher);
  if (dynamic) {
    dynamicFetches.push_back(connection);
  } else {
    scriptFetch = connection;
  }
}

void WebView::Impl::scriptRequested(uint64_t document, const std::string& text, int token) {
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

void WebView::Impl::stopScriptFetches() {
  if (scriptFetch) scriptFetch->cancel();
  scriptFetch.reset();
  for (auto& c : dynamicFetches) c->cancel();
  dynamicFetches.clear();
  scriptsWaiting.clear();
  scriptFetchesInFlight = 0;
}

}  // namespace platform
