// Navigations the page asks for, queued and handed to the delegate one per turn, and the
// history that back, forward and reload walk.
#include "platform/clock.h"
#include "web_view_impl.h"

namespace platform {

using namespace web;

void WebView::Impl::enqueue(Navigation n) {
  if (navigations.size() >= kMaxNavigationsQueued) return;
  n.queuedWhileShown = view.isShownOnScreen();
  // The document a touch's load brought may, while that load is under way, go on where the
  // touch was going; its frames are other pages.
  if (!n.frame && load && load->id == documentId) n.touch = load->touch;
  navigations.push_back(std::move(n));
  scheduleDelivery();
}

void WebView::Impl::scheduleDelivery() {
  if (deliveryScheduled || navigations.empty()) return;
  deliveryScheduled = true;
  later([](Impl& d) {
    d.deliveryScheduled = false;
    d.deliverOne();
  });
}

void WebView::Impl::deliverOne() {
  // What a page asked for dies with it: a document that was replaced while its navigations
  // waited must not speak for the one now showing.
  while (!navigations.empty() && navigations.front().document != documentId) navigations.pop_front();
  if (navigations.empty()) return;
  Navigation n = std::move(navigations.front());
  navigations.pop_front();
  auto keep = self();
  n.request = withUserAgent(std::move(n.request));
  decidingQueuedWhileShown = n.queuedWhileShown;
  decidingTouch = n.touch;
  const bool allowed = ask(n.request, n.type);
  // Should it load, it carries on the touch the decision left unused: the document's own, or
  // the one it inherits (0: neither). One the client used for this navigation is spent.
  const uint64_t touch = activationLiveAt(Clock::current().monotonic()) ? activation->touch
                         : inheritsTouch() ? n.touch
                                           : 0;
  decidingTouch = 0;
  decidingQueuedWhileShown.reset();
  if (allowed) {
    Source source = sourceFor(n.request.url());
    // An ad page from the network must not read the device's files by sending itself there;
    // only a page that came from a file (the client's own) may open another.
    if (source == Source::File && schemeOf(documentURL) != "file") source = Source::FileRefused;
    const bool loadable = source != Source::Unsupported && source != Source::FileRefused;
    // Frames are not modelled: a frame's loadable URL loads nothing, its unloadable one fails.
    if (!n.frame || !loadable) {
      Load next;
      next.request = n.request;
      next.type = n.type;
      next.source = source;
      next.referrer = documentURL;
      // A load nothing here can make fails at once and acts for nobody: the touch stays with
      // the document (a tap's own link, queued behind the page's script, still finds it).
      if (touch != 0 && !n.frame && loadable) {
        // The load is the act the touch made: the document keeps no activation for another.
        if (activation && activation->touch == touch) activation->used = true;
        next.touch = carriedTouch = touch;
      }
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

std::optional<bool> WebView::navigationQueuedWhileShown() const { return impl_->decidingQueuedWhileShown; }

void WebView::Impl::fromPage(uint64_t document, const std::string& text, ScriptHost::NavigationSource source) {
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
  Navigation n{URLRequest(*url), WebViewNavigationType::Other, source == ScriptHost::NavigationSource::Frame,
               document};
  if (source == ScriptHost::NavigationSource::Reload) n.type = WebViewNavigationType::Reload;
  enqueue(std::move(n));
}

bool WebView::Impl::tapLink(const std::string& href) {
  // A script link or one that does not resolve queues nothing: leave the queue's last
  // entry (another navigation, or none) alone.
  size_t before = navigations.size();
  fromPage(documentId, href, ScriptHost::NavigationSource::Location);
  if (navigations.size() == before) return false;
  navigations.back().type = WebViewNavigationType::LinkClicked;
  return true;
}

void WebView::Impl::loadFromHistory(size_t index, WebViewNavigationType type) {
  const HistoryEntry& entry = history[index];
  Load next;
  next.request = entry.request;
  next.type = type;
  next.content = entry.content;
  next.source = entry.content ? Source::Content : sourceFor(entry.request.url());
  next.historyIndex = index;
  begin(std::move(next), false);
}

// A load that returns to an entry updates it; any other one cuts the forward entries off and
// becomes the last.
void WebView::Impl::enterHistory(const Load& l) {
  if (l.historyIndex) {
    historyIndex = *l.historyIndex;
    history[historyIndex].request = l.request;
  } else {
    if (!history.empty()) history.resize(historyIndex + 1);
    history.push_back({l.request, l.content});
    historyIndex = history.size() - 1;
  }
  trimHistory();
}

// A view that reloads for as long as the game runs would otherwise keep every page it
// showed, and large pages make even a short list heavy: the oldest entries go, as a
// browser's back list forgets them, but never the current one.
void WebView::Impl::trimHistory() {
  auto historyEntryBytes = [](const HistoryEntry& e) {
    size_t n = e.request.url().size() + e.request.httpBody().size() + (e.content ? e.content->size() : 0);
    for (const auto& [name, value] : e.request.allHTTPHeaderFields().fields()) n += name.size() + value.size();
    return n;
  };
  size_t bytes = 0;
  for (const auto& e : history) bytes += historyEntryBytes(e);
  size_t drop = 0;
  while (drop < historyIndex &&
         (history.size() - drop > WebView::kHistoryEntriesKept || bytes > WebView::kHistoryBytesKept)) {
    bytes -= historyEntryBytes(history[drop]);
    ++drop;
  }
  history.erase(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(drop));
  historyIndex -= drop;
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

bool WebView::Impl::tapElement(ScriptContext::ClickTarget by, const std::string& key) {
  if (!view.context_) return false;
  grantActivation();  // before the click, so that its handlers act with the user's touch
  auto keep = view.context_;
  auto click = keep->clickElement(by, key);
  if (click.follow) tapLink(*click.follow);
  return click.found;
}

bool WebView::tapLinkWithURLForTesting(const std::string& url) {
  return impl_->tapElement(ScriptContext::ClickTarget::LinkHref, url);
}

bool WebView::tapLinkWithElementIdForTesting(const std::string& elementId) {
  return impl_->tapElement(ScriptContext::ClickTarget::ElementId, elementId);
}

void WebView::injectNavigationForTesting(const URLRequest& request, WebViewNavigationType type) {
  impl_->enqueue({request, type, false, impl_->documentId});
}

}  // namespace platform
