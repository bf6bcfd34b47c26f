#pragma once
// A headless web view: it loads pages and runs their scripts (Duktape, through
// ScriptContext) without layout or rendering.
//
// Loading (loadHTMLStringBaseURL, loadDataMIMETypeTextEncodingNameBaseURL, loadRequest) is
// always asynchronous. On later turns of the main loop, in this order:
//   webViewShouldStartLoadWithRequestNavigationType (the request carries "User-Agent"; a
//     missing base URL asks for "about:blank"; NO ends the load silently),
//   webViewDidStartLoad,
//   the content arrives (http/https through URLConnection, file from disk, about:blank),
//   the new document commits: a fresh script context replaces the old one,
//   its <script> elements run in document order (src fetched relative to the document),
//   the body's onload attribute (entities decoded), window.onload and load listeners,
//   webViewDidFinishLoad — or webViewDidFailLoadWithError instead of the finish.
// Until a new document commits, evaluation and timers stay with the old one. A load that
// is interrupted (stopLoading, or a newer load once this one started) fails with the
// platform's cancelled error (NSURLErrorDomain −999); a scheme the view cannot load fails
// with unsupported URL (−1002) and leaves the current document in place; a missing file
// with −1100.
//
// Navigations from the page (location, an iframe's src, window.open, a script's own
// element.click() on a link) are queued and handed to the delegate one per turn with type
// Other, never inside the script that made them nor inside a delegate callback. Allowed ones
// load like loadRequest (an iframe's loadable URL is not loaded: frames are not modelled; its
// unloadable one fails as above). Only a user's tap on a link (the tapLink… hooks) arrives as
// LinkClicked. A page never reaches the local disk by navigating unless it came from a file
// itself: from a document of the network, a string or inline data, an allowed navigation to a
// "file:" URL fails with URLErrorNoPermissionsToReadFile (−1102) and leaves the current
// document in place (the host's own loadRequest of a file is not affected).
//
// User activation: a page may act for the user (open a link, dial, compose, go full screen,
// report a click) only just after the user touched it, as browsers grant transient
// activation. A touch grants it when the finger lifts from the view or anything inside it
// (its scroll view, subviews) through Window (tapAtPoint, touchDownAtPoint + touchUpAtPoint),
// and a tapLink… hook grants it before the click runs; in both cases only while the view is
// shown (View::isShownOnScreen). Nothing a page does grants it: script clicks
// (element.click(), dispatched events, whose isTrusted is false), timers, navigations it
// starts, frames, nor pages the view loaded on its own. It lasts kUserActivationSeconds on
// Clock::current()'s monotonic time, serves one act (consume…), belongs to the document that
// was current when the touch came (a new document committing ends it), and counts only while
// the view is shown.
// How a client tells a tapped link from a script's navigation in
// webViewShouldStartLoadWithRequestNavigationType: LinkClicked comes only from a tap, and
// the tap's activation is still there when the delegate is asked (its next turn), so
// consumeUserActivation() answers true; a navigation the page made itself is Other and finds
// an activation only when a touch came in the last kUserActivationSeconds, which one act of
// the page may then use, as a browser lets a click handler open one window.
// A touch reaches the end of what it started. A load a touch started carries that touch on:
// a navigation of the page allowed with the document's activation still unused after the
// decision (the load takes it, so the old document has none left; one the delegate used for
// the navigation is spent), or the host's loadRequestWithUserActivation for a touch it
// counted (on this view or on the ad's view that was touched). While the delegate decides
// that load, any redirect of it, or a navigation the document it brings queued during its
// first load (from the commit until the finish or the failure; not its frames), the decision
// inherits the touch: consumeUserActivation() answers true, once for all of them together,
// however long the server took and whether or not the view is shown at that moment (a
// landing view may still be fading in). So a click address that redirects to a store link,
// or a landing page that sends itself there while it loads, reaches its end; an allowed
// navigation that inherits passes the touch on to its own load in the same way. A script
// navigation after the first load finished, a timer's among them, needs a touch of its own.
// One touch is one gesture: a report that goes with the act (a click report) does not use
// the activation up; recentUserTouch() names the touch so a client can let one report
// through per touch, whether it comes before or after the act.
//
// Bounds: each evaluation may use scriptLimits().cpuSecondsPerEvaluation of CPU time (a
// page that runs past it has its scripts stopped for good; the view keeps working and the
// next load starts afresh), and each document's heap is capped at maxHeapBytes. Scripts a
// page adds are fetched at most six at a time; up to a thousand more wait their turn, and
// past that they fail to load (their onerror runs). A page or page script fetched over
// http(s) must arrive within kURLDefaultDeadlineInterval and bring at most
// kWebViewMaximumContentLength bytes (unless its request names bounds of its own); past
// either the load fails with URLErrorTimedOut or URLErrorDataLengthExceedsMaximum (a
// script that fails so does not run, and its onerror does).
//
// Thread safety: main thread only. Ownership: make with create() (a subclass through its own
// factory, in a shared_ptr); the delegate is not retained. Connections and timers never call into a destroyed view.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/script_context.h"
#include "platform/scroll_view.h"
#include "platform/url.h"
#include "platform/url_connection.h"
#include "platform/value.h"
#include "platform/passkey.h"
#include "platform/view.h"

namespace platform {

inline constexpr long kURLErrorFileDoesNotExist = URLErrorFileDoesNotExist;
// The most bytes a page or a page script may bring over http(s).
inline constexpr uint64_t kWebViewMaximumContentLength = 4 * 1024 * 1024;
inline constexpr const char* kWebKitErrorDomain = "WebKitErrorDomain";
// A load stopped because the delegate refused a redirect of it.
inline constexpr long kWebKitErrorFrameLoadInterrupted = 102;

enum class WebViewNavigationType : int {
  LinkClicked = 0,
  FormSubmitted = 1,
  BackForward = 2,
  Reload = 3,
  FormResubmitted = 4,
  Other = 5,
};

enum DataDetectorTypes : unsigned {
  kDataDetectorTypeNone = 0,
  kDataDetectorTypePhoneNumber = 1 << 0,
  kDataDetectorTypeLink = 1 << 1,
  kDataDetectorTypeAddress = 1 << 2,
  kDataDetectorTypeCalendarEvent = 1 << 3,
  kDataDetectorTypeAll = ~0u,
};

// How long a touch lets the page act for the user.
inline constexpr double kUserActivationSeconds = 1.0;

class WebView;
class PageHost;

// Every method is optional. Called on the main loop, never re-entrantly for one view.
class WebViewDelegate {
 public:
  virtual ~WebViewDelegate() = default;
  // nullopt (not implemented) allows the load.
  virtual std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<WebView>& webView, const URLRequest& request,
      WebViewNavigationType navigationType) {
    (void)webView;
    (void)request;
    (void)navigationType;
    return std::nullopt;
  }
  virtual void webViewDidStartLoad(const std::shared_ptr<WebView>& webView) { (void)webView; }
  virtual void webViewDidFinishLoad(const std::shared_ptr<WebView>& webView) { (void)webView; }
  virtual void webViewDidFailLoadWithError(const std::shared_ptr<WebView>& webView,
                                           const Error& error) {
    (void)webView;
    (void)error;
  }
};

class WebView : public View {
 public:
  // A view loads through weak references to itself, so it lives in a shared_ptr from the
  // start: create() makes one, and a subclass's own factory makes it the same way.
  static std::shared_ptr<WebView> create(const Rect& frame = Rect{});
  WebView(Passkey<WebView>, const Rect& frame) : WebView(frame) {}
  ~WebView() override;

  std::shared_ptr<WebViewDelegate> delegate() const { return delegate_.lock(); }
  // Virtual: a page view that is its own delegate may refuse others.
  virtual void setDelegate(std::weak_ptr<WebViewDelegate> delegate) { delegate_ = std::move(delegate); }

  // Loading. A null base URL means "about:blank".
  void loadHTMLStringBaseURL(const std::string& html, const std::optional<URL>& baseURL);
  // Only text types become documents (text/html and XHTML as markup, other text/* as the
  // body's text); the encoding name is "utf-8" (also for "") or a Latin-1 one.
  void loadDataMIMETypeTextEncodingNameBaseURL(const Bytes& data, const std::string& mimeType,
                                               const std::string& textEncodingName,
                                               const std::optional<URL>& baseURL);
  void loadRequest(const URLRequest& request);
  // loadRequest for an act the user's touch asked for, which the client has counted (used up
  // on this view, or on the view the user touched): the load carries a touch of its own on to
  // its redirects and its document's first load (see the top). Only for that: never for a
  // load the client makes by itself.
  void loadRequestWithUserActivation(const URLRequest& request);

  // Runs `script` in the current document, synchronously, as eval code in the global scope:
  // String(result), or "" for undefined, null, an exception, a syntax error or a stopped
  // script. A view whose first load has not committed has an empty "about:blank" document
  // (made on the first call, with no delegate call and no traffic), so that it can answer
  // navigator.userAgent as a browser's fresh view does.
  std::string stringByEvaluatingJavaScriptFromString(const std::string& script);

  // History and state. The back list keeps the latest kHistoryEntriesKept pages (each with
  // the markup a string or data load replays), and of those only the latest that fit in
  // kHistoryBytesKept bytes of addresses, bodies and markup (the current page always stays);
  // going back past them is not possible.
  static constexpr size_t kHistoryEntriesKept = 100;
  static constexpr size_t kHistoryBytesKept = size_t{4} << 20;
  bool canGoBack() const;
  bool canGoForward() const;
  void goBack();
  void goForward();
  void reload();
  void stopLoading();
  // True from a load call until it finishes, fails or is refused.
  bool isLoading() const;
  // The request of the current (or loading) document; nullopt before the first load.
  std::optional<URLRequest> request() const;
  // True when the committed document is markup the view was handed
  // (loadHTMLStringBaseURL, loadDataMIMETypeTextEncodingNameBaseURL, or the back list or a
  // reload replaying one of them); false for a document fetched from a URL, whatever link,
  // navigation or redirect led there, for the blank page of a view that never loaded, and
  // before the first commit. A load under way changes it only when its document commits.
  // So a client can tell the page it wrote from any page that page went on to.
  bool currentDocumentIsGivenMarkup() const;
  // True when the committed document came from one of the load calls above (the markup
  // handed over, or loadRequest's URL wherever that request's redirects led); false for any
  // document reached after it (a link, a navigation of the page, the back list, a reload),
  // for the blank page of a view that never loaded, and before the first commit. So a
  // client can tell the document it loaded from a URL from the pages that one went on to.
  bool currentDocumentIsHostLoaded() const;

  // The inner scroll view, the view's first subview.
  std::shared_ptr<ScrollView> scrollView() const { return scrollView_; }

  // Stored flags.
  bool scalesPageToFit() const { return scalesPageToFit_; }
  void setScalesPageToFit(bool v) { scalesPageToFit_ = v; }
  unsigned dataDetectorTypes() const { return dataDetectorTypes_; }
  void setDataDetectorTypes(unsigned v) { dataDetectorTypes_ = v; }
  bool allowsInlineMediaPlayback() const { return allowsInlineMediaPlayback_; }
  void setAllowsInlineMediaPlayback(bool v) { allowsInlineMediaPlayback_ = v; }
  bool mediaPlaybackRequiresUserAction() const { return mediaPlaybackRequiresUserAction_; }
  void setMediaPlaybackRequiresUserAction(bool v) { mediaPlaybackRequiresUserAction_ = v; }
  // Whether media may play on an external screen. Systems without the setting are modelled
  // by the runtime key "UIWebView.setMediaPlaybackAllowsAirPlay:" (Runtime); the flag itself
  // is always stored.
  bool mediaPlaybackAllowsAirPlay() const { return mediaPlaybackAllowsAirPlay_; }
  void setMediaPlaybackAllowsAirPlay(bool v) { mediaPlaybackAllowsAirPlay_ = v; }

  // User activation (see the top of this file). Each reads Clock::current().monotonic().
  // True while the current document holds an activation granted less than
  // kUserActivationSeconds ago and not consumed, and the view is shown on screen now; or
  // while the delegate decides a navigation that inherits a touch not yet used.
  bool hasUserActivation() const;
  // hasUserActivation(), and if so uses it up (the document's own activation first, else the
  // inherited touch): one act per touch.
  bool consumeUserActivation();
  // While the delegate decides a navigation that inherits a touch (see the top), whether that
  // touch is still unused: true then even for a view that is not shown, so that a client
  // whose own checks refuse acts of pages off screen can let the inherited act through.
  bool navigationInheritsUserActivation() const;
  // The touch behind the current activation, used or not, as a number that differs for every
  // touch of the process: while deciding a navigation that inherits one, that touch; otherwise
  // the latest touch granted less than kUserActivationSeconds ago on the current document of
  // the shown view; nullopt when there is none.
  std::optional<uint64_t> recentUserTouch() const;
  // For a bridge that hands over a page's command after the page queued it (a polling
  // bridge, a command queue): the command counts as of `queuedAt`, the monotonic time the
  // client first knew of it (a poll: when that poll collected it), never a time the page
  // states. True, using the activation up, when the current document's unconsumed activation
  // was granted at or before `queuedAt` and less than kUserActivationSeconds before it,
  // `queuedAt` is not in the future, and the view is shown now; or, as consumeUserActivation(),
  // while deciding a navigation that inherits an unused touch.
  bool consumeUserActivationQueuedAt(double queuedAt);
  // While the delegate decides a navigation the page queued (in
  // webViewShouldStartLoadWithRequestNavigationType for a location change, a frame,
  // window.open, a script's click or a tapped link), whether the view was shown on screen
  // (View::isShownOnScreen) when the page queued it. The delegate hears of it a turn or more
  // later, when the page may have been shown or hidden since: a client judges a page's
  // command by the page's state when the page gave it. nullopt while deciding any other
  // load (the load calls, history, reload) and outside that call.
  std::optional<bool> navigationQueuedWhileShown() const;
  // Lets a client log a refusal once per page: true the first time `key` is noted for the
  // current document, false after, until a new document commits. A document keeps at most
  // kRefusalKeysNoted keys; past them every new key answers false, so a page cannot make a
  // client log without bound.
  static constexpr size_t kRefusalKeysNoted = 64;
  bool noteRefusalOnce(std::string_view key);

  // Process-wide settings (tests and the demo may change them; reset with the platform).
  static std::string userAgent();
  static void setUserAgent(std::string userAgent);
  static ScriptContext::Limits scriptLimits();
  static void setScriptLimits(ScriptContext::Limits limits);

  // ---- for tests: hooks and what the page did, not for clients ----
  // A user's tap on the first <a> whose href attribute is `url`, or on the element with id
  // `elementId` (any element): it grants user activation as a touch does (when the view is
  // shown), then its click event runs the onclick handlers of the element and its ancestors
  // (see ScriptContext::clickElement); then, unless a handler cancelled it, the nearest
  // link's href, resolved against the document, is queued as a link-clicked navigation.
  // False when there is no such element.
  bool tapLinkWithURLForTesting(const std::string& url);
  bool tapLinkWithElementIdForTesting(const std::string& elementId);
  // Queues a navigation as if the page made it, with any type.
  void injectNavigationForTesting(const URLRequest& request, WebViewNavigationType type);
  // The scripts given to stringByEvaluatingJavaScriptFromString, in order: the latest
  // kEvaluatedScriptsKept, so a view that lives long does not keep them all.
  static constexpr size_t kEvaluatedScriptsKept = 1000;
  const std::vector<std::string>& evaluatedScriptsForTesting() const { return evaluatedScripts_; }
  void clearEvaluatedScriptsForTesting() { evaluatedScripts_.clear(); }
  // The source of the current document ("" before the first commit).
  const std::string& documentSourceForTesting() const { return documentSource_; }
  // What the page showed with alert()/confirm()/prompt(), and its console lines
  // ("<level>: <text>"), in order, across documents: the latest ones, each list within
  // kPageMessagesBytesKept bytes (a longer text is cut to it), so that no page can make the
  // host hold more than its heap plus that much.
  static constexpr size_t kPageMessagesBytesKept = size_t{256} << 10;
  const std::vector<std::string>& alertsForTesting() const;
  const std::vector<std::string>& consoleMessagesForTesting() const;
  // The current document's script context (nullptr before the first commit or evaluation).
  std::shared_ptr<ScriptContext> scriptContextForTesting() const { return context_; }

 protected:
  explicit WebView(const Rect& frame = Rect{});
  // A subclass that overrides it calls this one, or its touches grant no activation.
  void userTouchEnded() override;

 private:
  struct Impl;
  friend class PageHost;
  std::weak_ptr<WebViewDelegate> delegate_;
  std::shared_ptr<ScrollView> scrollView_;
  std::shared_ptr<ScriptContext> context_;
  std::string documentSource_;
  std::vector<std::string> evaluatedScripts_;
  bool scalesPageToFit_ = false;
  unsigned dataDetectorTypes_ = kDataDetectorTypePhoneNumber;
  bool allowsInlineMediaPlayback_ = false;
  bool mediaPlaybackRequiresUserAction_ = true;
  bool mediaPlaybackAllowsAirPlay_ = true;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
