#pragma once
// The inside of WebView, shared by its files:
//   web_view.cpp             the public calls, process-wide settings, the page's host
//   web_view_loading.cpp     a load from its start to the committed document
//   web_view_scripts.cpp     the document's <script> elements and the scripts a page adds
//   web_view_navigation.cpp  navigations the page asks for, queued, and the history
//   page_text.cpp            text helpers: URLs from page text, bytes to markup
// Main thread only, as the view.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/html_document.h"
#include "platform/script_context.h"
#include "platform/url_connection.h"
#include "platform/web_view.h"

namespace platform {

namespace web {

std::string lowered(std::string s);
std::string schemeOf(const std::string& url);
// `text` as the page wrote it (trimmed, escaped where the URL parser would refuse it)
// resolved against `base`; nullopt when it is no URL even so.
std::optional<std::string> resolve(const std::string& text, const std::string& base);
// Bytes in a named encoding as UTF-8 (Latin-1 names are converted, anything else is kept).
std::string textFromBytes(const Bytes& data, const std::string& encodingName);
// Markup for data of a MIME type: markup types as they are, other text inside the body.
std::string markupFor(const std::string& text, const std::string& mimeType);
bool isScriptType(const HtmlElement& e);
Error makeError(const char* domain, long code, const std::string& description, const std::string& url);

// One fetch over URLConnection, reporting the whole body at the end.
class BodyFetcher : public URLConnectionDelegate {
 public:
  // False refuses a redirect: the fetch ends as interrupted.
  using Redirect = std::function<bool(const URLRequest&)>;
  using Done = std::function<void(bool ok, const std::string& url, const HTTPURLResponse& response,
                                  const Bytes& body, const Error& error)>;
  BodyFetcher(Redirect redirect, Done done) : redirect_(std::move(redirect)), done_(std::move(done)) {}
  // `request` with the web view's deadline and size cap where it names none.
  static URLRequest bounded(URLRequest request);

  std::optional<URLRequest> connectionWillSendRequestRedirectResponse(
      URLConnection&, const URLRequest& request, const HTTPURLResponse* redirect) override;
  void connectionDidReceiveResponse(URLConnection&, const HTTPURLResponse& response) override;
  void connectionDidReceiveData(URLConnection&, const Bytes& data) override;
  void connectionDidFinishLoading(URLConnection&) override;
  void connectionDidFailWithError(URLConnection&, const Error& error) override;

 private:
  void finish(bool ok, const std::string& url, const HTTPURLResponse& response, const Error& error);
  Redirect redirect_;
  Done done_;
  std::string url_;
  HTTPURLResponse response_;
  Bytes body_;
};

}  // namespace web

// The page's side of one document: what its scripts ask of the view. A host outliving its
// document (a late callback) is ignored by the view.
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
  enum class Source { Content, Network, File, Blank, Unsupported, FileRefused };
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
    bool byHost = false;  // one of the view's load calls
    std::optional<size_t> historyIndex;  // back/forward/reload: the entry it returns to
    std::shared_ptr<URLConnection> connection;
    uint64_t touch = 0;  // the touch that started it, which it carries on (0: none)
  };
  struct Navigation {
    URLRequest request;
    WebViewNavigationType type;
    bool frame;
    uint64_t document;  // the document that asked; once another commits, the ask is void
    bool queuedWhileShown = false;  // set by enqueue
    uint64_t touch = 0;             // set by enqueue: the touch its document's first load carried
  };
  using ScriptDone = std::function<void(Impl&, bool ok, const std::string& source, const std::string& name)>;
  struct WaitingScript {
    std::string url;
    ScriptDone done;
  };

  // Scripts the page adds are fetched a few at a time, as a browser shares out its
  // connections; the rest wait in order, and past a long queue fail as not loaded. So a page
  // adding scripts in a loop cannot open connections without bound.
  static constexpr size_t kMaxScriptFetchesInFlight = 6;
  static constexpr size_t kMaxScriptFetchesWaiting = 1000;
  // A page flooding navigations loses the excess.
  static constexpr size_t kMaxNavigationsQueued = 1000;

  explicit Impl(WebView& v) : view(v) {}

  WebView& view;

  // ---- the load and the document (web_view_loading.cpp) ----
  std::optional<Load> load;  // the load in progress
  uint64_t nextId = 1;
  std::optional<URLRequest> currentRequest;
  std::string documentURL;
  uint64_t documentId = 0;
  bool documentIsGivenMarkup = false;  // the committed document came from Source::Content
  bool documentIsHostLoaded = false;   // the committed document came from a load call
  std::vector<std::shared_ptr<PageHost>> hosts;  // the current document's host

  static Source sourceFor(const std::string& url);
  // Replaces whatever load is under way; one already started fails as cancelled first.
  void begin(Load next, bool alreadyAllowed);
  void interruptLoad();
  void stopFetches(Load& l);
  bool current(uint64_t id) const { return load && load->id == id; }
  void decide(uint64_t id);
  void start(uint64_t id);
  void loadFile(uint64_t id);
  void fetchPage(uint64_t id);
  void fail(uint64_t id, const Error& error);
  void notifyFail(const Error& error);
  void commit(const std::string& markup, const std::string& url);
  // The empty about:blank document a view has before its first load commits, made when a
  // script is first evaluated: no delegate call, no history, no traffic.
  void commitInitialDocument();
  void enterHistory(const Load& l);
  ScriptContext::Facts documentFacts(const std::string& url, const std::string& referrer) const;

  // ---- scripts (web_view_scripts.cpp) ----
  std::deque<HtmlElement> scriptQueue;
  std::string bodyOnload;
  std::shared_ptr<URLConnection> scriptFetch;
  std::vector<std::shared_ptr<URLConnection>> dynamicFetches;
  std::deque<WaitingScript> scriptsWaiting;
  size_t scriptFetchesInFlight = 0;

  void takeWritten();
  // Runs the document's scripts in order, waiting for each fetched one, then the load handlers.
  void runScripts(uint64_t id);
  void requestPageScript(const std::string& url, ScriptDone done);
  void startPageScript(const std::string& url, ScriptDone done);
  // Fetches a script's text on later turns (file URLs from disk, http/https over the
  // network) and hands it to `done` if the view still exists.
  void fetchScript(const std::string& url, ScriptDone done, bool dynamic = false);
  void scriptRequested(uint64_t document, const std::string& text, int token);
  void stopScriptFetches();

  // ---- navigations from the page and the history (web_view_navigation.cpp) ----
  std::vector<HistoryEntry> history;
  size_t historyIndex = 0;
  std::deque<Navigation> navigations;
  bool deliveryScheduled = false;
  // The queued navigation being decided: whether its view was shown when it was queued.
  std::optional<bool> decidingQueuedWhileShown;

  void enqueue(Navigation n);
  void scheduleDelivery();
  void deliverOne();
  void fromPage(uint64_t document, const std::string& text, ScriptHost::NavigationSource source);
  void loadFromHistory(size_t index, WebViewNavigationType type);
  // Drops the oldest entries past kHistoryEntriesKept or kHistoryBytesKept.
  void trimHistory();
  // A link tap: the link's href navigates as clicked; false when nothing was queued.
  bool tapLink(const std::string& href);
  // A tap on an element of the current document: its click event, then its link unless a
  // handler cancelled it. False when there is no such element.
  bool tapElement(ScriptContext::ClickTarget by, const std::string& key);

  // ---- user activation and refusals noted (web_view.cpp) ----
  struct Activation {
    uint64_t touch;     // the touch's number (newTouch)
    uint64_t document;  // the document current at the touch
    double grantedAt;   // monotonic
    bool used = false;
  };
  std::optional<Activation> activation;
  // The touch a load carries on while nothing has used it yet (0: none), and the one the
  // decision under way inherits (0: none): see "A touch reaches the end" in web_view.h.
  uint64_t carriedTouch = 0;
  uint64_t decidingTouch = 0;
  uint64_t refusalsDocument = 0;
  std::set<std::string, std::less<>> refusalsNoted;

  // A user's touch: the current document may act for the user, if the view is shown.
  void grantActivation();
  // Whether the activation, used or not, still speaks for the current document at monotonic
  // time `at` (not after now).
  bool activationCurrentAt(double at) const;
  // Whether an act at monotonic time `at` (not after now) may use the activation.
  bool activationLiveAt(double at) const;
  // A number no other touch of the process has.
  static uint64_t newTouch();
  // Whether the decision under way inherits a touch nothing has used yet.
  bool inheritsTouch() const { return decidingTouch != 0 && decidingTouch == carriedTouch; }
  // The delegate's answer for a load's own request or a redirect of it, inheriting its touch.
  bool askForLoad(const URLRequest& request, WebViewNavigationType type);

  // ---- what the page showed ----
  // The latest texts within WebView::kPageMessagesBytesKept bytes and kMaxPageMessages
  // entries, counting each entry's own size as well.
  struct PageMessages {
    std::vector<std::string> texts;
    size_t bytes = 0;
    void add(std::string text);
  };
  static constexpr size_t kMaxPageMessages = 10000;
  PageMessages alerts;
  PageMessages console;

  // ---- shared ----
  std::weak_ptr<WebView> weakView() { return std::static_pointer_cast<WebView>(view.shared_from_this()); }
  std::shared_ptr<WebView> self() { return view.sharedAs<WebView>(); }
  // Runs `fn` on a later turn if the view still exists.
  void later(std::function<void(Impl&)> fn);
  URLRequest withUserAgent(URLRequest request);
  // The delegate's answer (allowed when it has none).
  bool ask(const URLRequest& request, WebViewNavigationType type);
};

}  // namespace platform
