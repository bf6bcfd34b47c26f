// The public calls of WebView and its process-wide settings; the work is in the files
// web_view_impl.h lists.
#include "platform/web_view.h"

#include <atomic>
#include <utility>

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/run_loop.h"
#include "platform/singleton.h"
#include "web_view_impl.h"

namespace platform {

using namespace web;

namespace {

struct Settings {
  std::optional<std::string> userAgent;
  ScriptContext::Limits limits;
};

ProcessState<Settings>& settings() {
  static ProcessState<Settings> s;
  return s;
}

}  // namespace

void WebView::Impl::later(std::function<void(Impl&)> fn) {
  std::weak_ptr<WebView> weak = weakView();
  RunLoop::main().post([weak, fn = std::move(fn)] {
    if (auto v = weak.lock()) fn(*v->impl_);
  });
}

URLRequest WebView::Impl::withUserAgent(URLRequest request) {
  if (!request.valueForHTTPHeaderField("User-Agent")) {
    request.setValueForHTTPHeaderField(WebView::userAgent(), "User-Agent");
  }
  return request;
}

bool WebView::Impl::ask(const URLRequest& request, WebViewNavigationType type) {
  auto d = view.delegate();
  if (!d) return true;
  auto keep = self();
  return d->webViewShouldStartLoadWithRequestNavigationType(keep, request, type).value_or(true);
}

void PageHost::scriptRequestedNavigation(const std::string& url, NavigationSource source) {
  if (auto v = view_.lock()) v->impl_->fromPage(document_, url, source);
}

void PageHost::scriptRequestedScript(const std::string& url, int token) {
  if (auto v = view_.lock()) v->impl_->scriptRequested(document_, url, token);
}

void WebView::Impl::PageMessages::add(std::string text) {
  constexpr size_t kCap = WebView::kPageMessagesBytesKept;
  constexpr size_t kEntry = sizeof(std::string);
  if (text.size() + kEntry > kCap) {
    size_t end = kCap - kEntry;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;  // whole characters
    text.resize(end);
    text.shrink_to_fit();
  }
  const size_t cost = text.size() + kEntry;
  if (bytes + cost > kCap || texts.size() >= kMaxPageMessages) {
    // The oldest go, down to half of each budget, so that a page logging without end costs
    // a constant amount per line rather than a shift of the whole list each time.
    size_t drop = 0;
    while (drop < texts.size() && (bytes + cost > kCap || bytes > kCap / 2 || texts.size() - drop > kMaxPageMessages / 2)) {
      bytes -= texts[drop].size() + kEntry;
      ++drop;
    }
    texts.erase(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(drop));
  }
  bytes += cost;
  texts.push_back(std::move(text));
}

void PageHost::scriptAlert(const std::string& message) {
  if (auto v = view_.lock()) v->impl_->alerts.add(message);
}

void PageHost::scriptConsole(const std::string& level, const std::string& message) {
  if (auto v = view_.lock()) v->impl_->console.add(level + ": " + message);
}

WebView::WebView(const Rect& frame) : View(frame), impl_(std::make_unique<Impl>(*this)) {
  scrollView_ = std::make_shared<ScrollView>(Rect(0, 0, frame.size.width, frame.size.height));
  scrollView_->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  addSubview(scrollView_);
}

WebView::~WebView() {
  if (impl_->load) impl_->stopFetches(*impl_->load);
  impl_->stopScriptFetches();
  if (context_) context_->close();
}

std::shared_ptr<WebView> WebView::create(const Rect& frame) { return std::make_shared<WebView>(Passkey<WebView>{}, frame); }

void WebView::loadHTMLStringBaseURL(const std::string& html, const std::optional<URL>& baseURL) {
  Impl::Load l;
  l.request = URLRequest(baseURL ? baseURL->absoluteString() : std::string("about:blank"));
  l.source = Impl::Source::Content;
  l.content = html;
  l.byHost = true;
  impl_->begin(std::move(l), false);
}

void WebView::loadDataMIMETypeTextEncodingNameBaseURL(const Bytes& data, const std::string& mimeType,
                                                      const std::string& textEncodingName,
                                                      const std::optional<URL>& baseURL) {
  Impl::Load l;
  l.request = URLRequest(baseURL ? baseURL->absoluteString() : std::string("about:blank"));
  l.source = Impl::Source::Content;
  l.content = markupFor(textFromBytes(data, textEncodingName), mimeType);
  l.byHost = true;
  impl_->begin(std::move(l), false);
}

void WebView::loadRequest(const URLRequest& request) {
  Impl::Load l;
  l.request = request;
  l.source = Impl::sourceFor(request.url());
  l.byHost = true;
  impl_->begin(std::move(l), false);
}

void WebView::loadRequestWithUserActivation(const URLRequest& request) {
  loadRequest(request);
  impl_->load->touch = impl_->carriedTouch = Impl::newTouch();
}

std::string WebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
  if (evaluatedScripts_.size() >= kEvaluatedScriptsKept) {
    // Drop a tenth at once, so keeping the record stays cheap per evaluation.
    evaluatedScripts_.erase(evaluatedScripts_.begin(),
                            evaluatedScripts_.begin() + kEvaluatedScriptsKept / 10);
  }
  evaluatedScripts_.push_back(script);
  if (!context_) impl_->commitInitialDocument();
  auto keep = context_;  // the script may not close it, but a delegate later might
  auto result = keep->evaluate(script);
  return result.status == ScriptContext::Result::Status::Value ? result.text : std::string();
}

void WebView::stopLoading() { impl_->interruptLoad(); }
bool WebView::isLoading() const { return impl_->load.has_value(); }

std::optional<URLRequest> WebView::request() const {
  if (impl_->load) return impl_->load->request;
  return impl_->currentRequest;
}

bool WebView::currentDocumentIsGivenMarkup() const { return impl_->documentIsGivenMarkup; }

bool WebView::currentDocumentIsHostLoaded() const { return impl_->documentIsHostLoaded; }

std::string WebView::userAgent() {
  if (auto set = settings().read(&Settings::userAgent)) return *set;
  auto& device = Device::currentDevice();
  return "Mozilla/5.0 (" + device.model() + "; " + device.systemName() + " " + device.systemVersion() +
         ") Mobile";
}

void WebView::setUserAgent(std::string userAgent) {
  settings().write(&Settings::userAgent, std::optional<std::string>(std::move(userAgent)));
}

ScriptContext::Limits WebView::scriptLimits() { return settings().read(&Settings::limits); }

void WebView::setScriptLimits(ScriptContext::Limits limits) { settings().write(&Settings::limits, limits); }

uint64_t WebView::Impl::newTouch() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

void WebView::Impl::grantActivation() {
  if (view.isShownOnScreen()) activation = Activation{newTouch(), documentId, Clock::current().monotonic()};
}

bool WebView::Impl::askForLoad(const URLRequest& request, WebViewNavigationType type) {
  decidingTouch = load->touch;
  const bool allowed = ask(request, type);
  decidingTouch = 0;
  return allowed;
}

void WebView::userTouchEnded() {
  View::userTouchEnded();
  impl_->grantActivation();
}

bool WebView::Impl::activationCurrentAt(double at) const {
  // A time ahead of the clock is never a time the page queued anything.
  return activation && activation->document == documentId && view.isShownOnScreen() &&
         at <= Clock::current().monotonic() && at >= activation->grantedAt &&
         at - activation->grantedAt < kUserActivationSeconds;
}

bool WebView::Impl::activationLiveAt(double at) const { return activationCurrentAt(at) && !activation->used; }

bool WebView::hasUserActivation() const {
  return impl_->activationLiveAt(Clock::current().monotonic()) || impl_->inheritsTouch();
}

bool WebView::consumeUserActivation() { return consumeUserActivationQueuedAt(Clock::current().monotonic()); }

bool WebView::consumeUserActivationQueuedAt(double queuedAt) {
  auto& d = *impl_;
  if (d.activationLiveAt(queuedAt)) {
    d.activation->used = true;
    return true;
  }
  if (!d.inheritsTouch()) return false;
  d.carriedTouch = 0;
  return true;
}

bool WebView::navigationInheritsUserActivation() const { return impl_->inheritsTouch(); }

std::optional<uint64_t> WebView::recentUserTouch() const {
  const auto& d = *impl_;
  if (d.decidingTouch != 0) return d.decidingTouch;
  if (d.activationCurrentAt(Clock::current().monotonic())) return d.activation->touch;
  return std::nullopt;
}

bool WebView::noteRefusalOnce(std::string_view key) {
  auto& d = *impl_;
  if (d.refusalsDocument != d.documentId) {
    d.refusalsNoted.clear();
    d.refusalsDocument = d.documentId;
  }
  if (d.refusalsNoted.size() >= kRefusalKeysNoted) return false;
  return d.refusalsNoted.emplace(key).second;
}

const std::vector<std::string>& WebView::alertsForTesting() const { return impl_->alerts.texts; }
const std::vector<std::string>& WebView::consoleMessagesForTesting() const { return impl_->console.texts; }

}  // namespace platform
