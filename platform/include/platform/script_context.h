#pragma once
// The script world of one document: a Duktape heap holding the page's global object
// (`window`), its minimal document built from an HtmlDocument, and the page's timers.
//
// Bounds, so that one bad page cannot hurt the host:
// - Memory: every allocation of the heap counts against Limits::maxHeapBytes, with what the
//   allocator holds for it beyond the bytes asked for; past it the script gets an
//   out-of-memory error it may catch, and the context stays usable: the call after such an
//   error may use 64 KiB more, enough to let go of what filled the heap.
// - Run time: one evaluation (a client's script, a page script, a timer, the load handlers)
//   may use Limits::cpuSecondsPerEvaluation of CPU time. Past it the evaluation is stopped
//   and the whole context is closed for good (timers cancelled, every later call answers
//   Terminated), as a browser kills an unresponsive page. The budget is CPU time as the
//   shipped build spends it: a sanitizer build, whose code runs several times slower, gives
//   each evaluation eight times as much. The engine we link has no
//   execution hook, so this pre-empts with a timer signal (see src/web/script_guard.h).
// - document.write: what one evaluation writes adds at most kMaxWrittenElements elements
//   (nested ones included) to the document; the rest of the text is dropped, so that the
//   host never holds an element tree many times the size of the heap that wrote it.
// - Script errors and syntax errors come back as a Result, never as an exception.
//
// Page scripts reach the host only through ScriptHost, with plain strings.
//
// Time: Date comes from the platform clock in whole milliseconds, as in a browser (a page
// that names things after Date.now() gets integers); performance.now() counts fractional
// milliseconds of the monotonic clock from the context's start.
//
// Thread safety: a context belongs to the thread that created it (the main thread for web
// views) and must be used and destroyed there; its timers run on that thread's run loop.
// Ownership: held by shared_ptr (its timers hold it weakly); the host is held weakly.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/html_document.h"

namespace platform {

// What a page's scripts ask of the page's owner. Called during an evaluation on the
// context's thread: implementations record or queue; they must not evaluate script in the
// same context or destroy it (the call is refused or deferred if they try).
class ScriptHost {
 public:
  enum class NavigationSource { Location, Frame, Window, Reload };
  virtual ~ScriptHost() = default;
  // `url` is as the page gave it (maybe relative).
  virtual void scriptRequestedNavigation(const std::string& url, NavigationSource source) = 0;
  // A script element added by the page wants `url`; answer later with
  // ScriptContext::runLoadedScript(token, …) or scriptFailedToLoad(token).
  virtual void scriptRequestedScript(const std::string& /*url*/, int /*token*/) {}
  virtual void scriptAlert(const std::string& /*message*/) {}
  // console.* (level "log", "info", "warn", "error", "debug") and uncaught errors ("error").
  virtual void scriptConsole(const std::string& /*level*/, const std::string& /*message*/) {}
};

class ScriptContext : public std::enable_shared_from_this<ScriptContext> {
 public:
  static constexpr size_t kMaxWrittenElements = 10000;

  struct Limits {
    double cpuSecondsPerEvaluation = 2.0;
    size_t maxHeapBytes = size_t{64} << 20;
  };
  // What the page can read about where it lives.
  struct Facts {
    std::string url = "about:blank";
    std::string referrer;
    std::string userAgent;
    std::string platform;  // navigator.platform
    double screenWidth = 320, screenHeight = 480, scale = 1;
    double innerWidth = 320, innerHeight = 480;
    int orientation = 0;
  };
  struct Result {
    enum class Status { Value, Undefined, Exception, Terminated };
    Status status = Status::Undefined;
    std::string text;  // String(value) for Value, the error's text for Exception, else ""
  };

  // Builds the heap, the window and the document's elements. Never null; when even that
  // fails (a memory cap too small) the context is returned closed.
  static std::shared_ptr<ScriptContext> create(const HtmlDocument& document, Facts facts,
                                               Limits limits, std::weak_ptr<ScriptHost> host);
  ~ScriptContext();
  ScriptContext(const ScriptContext&) = delete;
  ScriptContext& operator=(const ScriptContext&) = delete;

  // Eval code in the global scope; the value of the last statement.
  Result evaluate(std::string_view source);
  // A page script (program code); `name` shows in error messages.
  Result runScript(std::string_view source, std::string_view name);
  // Answers to ScriptHost::scriptRequestedScript: runs the text, then the element's onload
  // (or onerror when it failed to load).
  Result runLoadedScript(int token, std::string_view source, std::string_view name);
  void scriptFailedToLoad(int token);
  // End of parsing and load: readyState "interactive" then "complete", DOMContentLoaded,
  // the body's onload attribute (already decoded) as a handler, window.onload, then the
  // window's load listeners. Errors in one handler do not stop the next.
  Result runLoadHandlers(const std::string& bodyOnload);
  // A tap on an element: the one with id `key`, or the first <a> whose href attribute is
  // `key`. A bubbling, cancelable "click" event goes from it up through its ancestors to the
  // document and the window; at each, the onclick handler (one a script set, else the inline
  // attribute as a function of `event`) runs, then the click listeners, until a handler stops
  // the propagation. The default action is the nearest link's (the element or an ancestor
  // <a> with an href): `follow` is that href as written, unless a handler cancelled the
  // event (returned false, called preventDefault() or set returnValue to false).
  // This is the host's entry for a user's tap: its event's isTrusted is true. A page's own
  // element.click() runs the same event with isTrusted false, and follows its link as a
  // location change (ScriptHost::NavigationSource::Location), so it never passes for a tap.
  enum class ClickTarget { ElementId, LinkHref };
  struct Click {
    bool found = false;  // there was such an element (and the page is still running)
    std::optional<std::string> follow;
  };
  Click clickElement(ClickTarget by, std::string_view key);
  // Script elements written by document.write since the last call (they are in the
  // document already), for the loader to run next in order.
  std::vector<HtmlElement> takeWrittenScripts();

  // Stops timers and drops the heap; later calls answer Terminated. Idempotent.
  void close();
  bool isClosed() const;
  // True when the last close was caused by the run-time bound.
  bool wasTerminated() const;
  const Facts& facts() const;

  // ---- for tests ----
  size_t heapBytesInUseForTesting() const;
  // Number of timers scheduled and not yet fired or cleared.
  size_t pendingTimerCountForTesting() const;

  struct Impl;  // the implementation's own

 private:
  explicit ScriptContext(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
