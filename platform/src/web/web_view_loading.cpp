// A load from its start to the committed document: the delegate's decision, the content
// from where the URL says, and the fresh script context of the new document.
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/screen.h"
#include "web_view_impl.h"

namespace platform {

using namespace web;

WebView::Impl::Source WebView::Impl::sourceFor(const std::string& url) {
  std::string scheme = schemeOf(url);
  if (scheme == "http" || scheme == "https") return Source::Network;
  if (scheme == "file") return Source::File;
  if (scheme == "about") return Source::Blank;
  return Source::Unsupported;
}

void WebView::Impl::begin(Load next, bool alreadyAllowed) {
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

void WebView::Impl::interruptLoad() {
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

void WebView::Impl::stopFetches(Load& l) {
  if (l.connection) l.connection->cancel();
  l.connection.reset();
}

void WebView::Impl::decide(uint64_t id) {
  if (!current(id)) return;
  URLRequest request = load->request;
  bool allowed = askForLoad(request, load->type);
  if (!current(id)) return;
  if (!allowed) {
    load.reset();
    return;
  }
  start(id);
}

void WebView::Impl::start(uint64_t id) {
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
      later([id](Impl& d) { d.loadFile(id); });
      break;
    case Source::Network:
      fetchPage(id);
      break;
    case Source::Unsupported:
      later([id, url](Impl& d) {
        if (d.current(id)) d.fail(id, makeError(kURLErrorDomain, URLErrorUnsupportedURL, "unsupported URL", url));
      });
      break;
    case Source::FileRefused:
      later([id, url](Impl& d) {
        if (d.current(id))
          d.fail(id, makeError(kURLErrorDomain, URLErrorNoPermissionsToReadFile, "a page may not load a local file", url));
      });
      break;
  }
}

void WebView::Impl::loadFile(uint64_t id) {
  if (!current(id)) return;
  auto u = URL::create(load->request.url());
  auto bytes = u ? FileManager::contentsAtPath(u->path()) : std::nullopt;
  if (!bytes || FileManager::isDirectory(u->path())) {
    fail(id, makeError(kURLErrorDomain, kURLErrorFileDoesNotExist,
                       "The requested URL was not found on this server.", load->request.url()));
    return;
  }
  std::string ext = lowered(u->pathExtension());
  std::string mime = (ext == "html" || ext == "htm" || ext.empty()) ? "text/html"
                     : (ext == "txt" || ext == "js" || ext == "css") ? "text/plain"
                                                                    : "application/octet-stream";
  commit(markupFor(textFromBytes(*bytes, "utf-8"), mime), load->request.url());
}

void WebView::Impl::fetchPage(uint64_t id) {
  std::weak_ptr<WebView> weak = weakView();
  auto fetcher = std::make_shared<BodyFetcher>(
      [weak, id](const URLRequest& redirected) {
        auto v = weak.lock();
        if (!v || !v->impl_->current(id)) return false;
        return v->impl_->askForLoad(redirected, WebViewNavigationType::Other);
      },
      [weak, id](bool ok, const std::string& finalURL, const HTTPURLResponse& response, const Bytes& body,
                 const Error& error) {
        auto v = weak.lock();
        if (!v || !v->impl_->current(id)) return;
        Impl& d = *v->impl_;
        d.load->connection.reset();
        if (!ok) {
          d.fail(id, error);
          return;
        }
        d.commit(markupFor(textFromBytes(body, response.textEncodingName()), response.mimeType()), finalURL);
      });
  load->connection = URLConnection::connectionWithRequestDelegate(BodyFetcher::bounded(load->request), fetcher);
}

void WebView::Impl::fail(uint64_t id, const Error& error) {
  if (!current(id)) return;
  stopFetches(*load);
  load.reset();
  notifyFail(error);
}

void WebView::Impl::notifyFail(const Error& error) {
  if (auto d = view.delegate()) {
    auto keep = self();
    d->webViewDidFailLoadWithError(keep, error);
  }
}

void WebView::Impl::commit(const std::string& markup, const std::string& url) {
  const Load& l = *load;
  const uint64_t id = l.id;
  enterHistory(l);
  currentRequest = l.request;
  stopScriptFetches();
  if (view.context_) view.context_->close();

  HtmlDocument document = HtmlDocument::parse(markup);
  view.documentSource_ = markup;
  documentURL = url;
  documentId = id;
  documentIsGivenMarkup = l.source == Source::Content;
  documentIsHostLoaded = l.byHost;
  auto host = std::make_shared<PageHost>(weakView(), id);
  hosts.clear();
  hosts.push_back(host);
  view.context_ = ScriptContext::create(document, documentFacts(url, l.referrer), WebView::scriptLimits(), host);
  scriptQueue.clear();
  for (const HtmlElement* s : document.scripts()) scriptQueue.push_back(*s);
  const std::string* onload = document.body().attribute("onload");
  bodyOnload = onload ? *onload : std::string();
  runScripts(id);
}

void WebView::Impl::commitInitialDocument() {
  const uint64_t id = nextId++;
  documentURL = "about:blank";
  documentId = id;
  documentIsGivenMarkup = false;
  documentIsHostLoaded = false;
  // A subclass may evaluate inside its own constructor, before a shared_ptr owns it: its
  // blank page then simply cannot reach the view.
  std::weak_ptr<WebView> weak = std::static_pointer_cast<WebView>(view.weak_from_this().lock());
  auto host = std::make_shared<PageHost>(weak, id);
  hosts.clear();
  hosts.push_back(host);
  view.context_ = ScriptContext::create(HtmlDocument::parse(""), documentFacts(documentURL, ""),
                                        WebView::scriptLimits(), host);
  view.context_->runLoadHandlers("");
}

ScriptContext::Facts WebView::Impl::documentFacts(const std::string& url, const std::string& referrer) const {
  ScriptContext::Facts facts;
  facts.url = url;
  facts.referrer = referrer;
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
  return facts;
}

}  // namespace platform
