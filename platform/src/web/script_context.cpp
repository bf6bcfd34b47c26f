#include "platform/script_context.h"

#include <duktape.h>

#include <cmath>
#include <map>
#include <utility>

#include "page_prelude.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/run_loop.h"
#include "script_guard.h"

namespace platform {

using web::ScriptArena;
using web::ScriptGuard;

namespace {

constexpr size_t kMaxTimers = 10000;
constexpr int kTimerNestingClamp = 5;  // deeper chains wait at least 4 ms, as browsers do
constexpr size_t kMaxPendingWrites = 1000;  // top-level elements
constexpr const char* kInternals = "internals";

// Elements in a written tree, nested ones included.
size_t elementCount(const HtmlElement& root) {
  size_t n = 0;
  std::vector<const HtmlElement*> stack{&root};
  while (!stack.empty()) {
    const HtmlElement* e = stack.back();
    stack.pop_back();
    ++n;
    for (const auto& c : e->children) stack.push_back(&c);
  }
  return n;
}

enum class CallKind { Eval, Program, Internal };

// What a trampoline needs; read only by the trampoline (no ownership, no destructors run
// inside the guarded region).
struct Call {
  CallKind kind;
  std::string_view source;
  std::string_view name;
  const char* function = nullptr;  // an internal entry point
  int intArg = 0;
  int intArg2 = 0;
  bool hasInt = false, hasInt2 = false;
  std::string_view stringArg;
  bool hasString = false;
};

Call makeCall(CallKind kind, std::string_view source = {}, std::string_view name = {},
              const char* function = nullptr) {
  Call call{};
  call.kind = kind;
  call.source = source;
  call.name = name;
  call.function = function;
  return call;
}

}  // namespace

struct ScriptContext::Impl {
  struct TimerEntry {
    PerformHandle handle;
    int nesting = 0;
  };

  Impl(Facts f, Limits l, std::weak_ptr<ScriptHost> h)
      : arena(l.maxHeapBytes), facts(std::move(f)), limits(l), host(std::move(h)),
        loop(&RunLoop::current()) {
    arena.owner = this;
  }

  ScriptArena arena;
  duk_context* ctx = nullptr;
  Facts facts;
  Limits limits;
  std::weak_ptr<ScriptHost> host;
  RunLoop* loop;
  std::weak_ptr<ScriptContext> self;
  std::map<int, TimerEntry> timers;
  int currentNesting = 0;
  int nextToken = 1;
  bool closed = false;
  bool terminated = false;
  // The engine is running a call of this context (host callbacks happen inside it): another
  // call is refused, and a close only marks the context, its heap going once the call is out.
  bool running = false;
  bool releaseWhenOut = false;
  std::vector<HtmlElement> pendingWrites;
  size_t pendingElements = 0;  // in pendingWrites, nested ones included
  std::vector<HtmlElement> writtenScripts;
  std::string title;

  Result guarded(Call& call);
  void flushWrites();
  void terminate();
  void close();
  void releaseHeap();
  bool addTimer(int id, double ms, bool repeats);
  void schedule(int id, double ms, bool repeats, int nesting);
  void fireTimer(int id, double ms, bool repeats);
  void report(const Result& r) {
    if (r.status != Result::Status::Exception) return;
    if (auto h = host.lock()) h->scriptConsole("error", r.text);
  }
};

namespace {

ScriptContext::Impl* implOf(duk_context* ctx) {
  duk_memory_functions funcs;
  duk_get_memory_functions(ctx, &funcs);
  return static_cast<ScriptContext::Impl*>(static_cast<ScriptArena*>(funcs.udata)->owner);
}

std::string argString(duk_context* ctx, duk_idx_t i) {
  size_t len = 0;
  const char* s = duk_get_lstring(ctx, i, &len);
  return s ? std::string(s, len) : std::string();
}

// ---- natives: primitives in, never script; C++ work inside a NativeScope ----------------

template <class F>
bool nativeWork(F&& work) {
  ScriptGuard::NativeScope scope;
  try {
    work();
    return true;
  } catch (...) {
    return false;
  }
}

duk_ret_t nNavigate(duk_context* ctx) {
  if (ScriptGuard::deadlineExpired()) return DUK_RET_RANGE_ERROR;
  auto* impl = implOf(ctx);
  int kind = duk_get_int(ctx, 1);
  bool ok = nativeWork([&] {
    std::string url = argString(ctx, 0);
    static constexpr ScriptHost::NavigationSource kSources[] = {
        ScriptHost::NavigationSource::Location, ScriptHost::NavigationSource::Frame,
        ScriptHost::NavigationSource::Window, ScriptHost::NavigationSource::Reload};
    if (auto h = impl->host.lock()) h->scriptRequestedNavigation(url, kSources[kind & 3]);
  });
  return ok ? 0 : DUK_RET_ERROR;
}

duk_ret_t nLoadScript(duk_context* ctx) {
  if (ScriptGuard::deadlineExpired()) return DUK_RET_RANGE_ERROR;
  auto* impl = implOf(ctx);
  int token = 0;
  nativeWork([&] {
    if (auto h = impl->host.lock()) {
      token = impl->nextToken++;
      h->scriptRequestedScript(argString(ctx, 0), token);
    }
  });
  duk_push_int(ctx, token);
  return 1;
}

duk_ret_t nLog(duk_context* ctx) {
  if (ScriptGuard::deadlineExpired()) return DUK_RET_RANGE_ERROR;
  auto* impl = implOf(ctx);
  nativeWork([&] {
    if (auto h = impl->host.lock()) h->scriptConsole(argString(ctx, 0), argString(ctx, 1));
  });
  return 0;
}

duk_ret_t nAlert(duk_context* ctx) {
  if (ScriptGuard::deadlineExpired()) return DUK_RET_RANGE_ERROR;
  auto* impl = implOf(ctx);
  nativeWork([&] {
    if (auto h = impl->host.lock()) h->scriptAlert(argString(ctx, 0));
  });
  return 0;
}

duk_ret_t nSetTimer(duk_context* ctx) {
  if (ScriptGuard::deadlineExpired()) return DUK_RET_RANGE_ERROR;
  auto* impl = implOf(ctx);
  int id = duk_get_int(ctx, 0);
  double ms = duk_get_number(ctx, 1);
  bool repeats = duk_get_boolean(ctx, 2) != 0;
  bool scheduled = false;
  nativeWork([&] { scheduled = impl->addTimer(id, ms, repeats); });
  duk_push_int(ctx, scheduled ? 1 : 0);
  return 1;
}

duk_ret_t nClearTimer(duk_context* ctx) {
  auto* impl = implOf(ctx);
  int id = duk_get_int(ctx, 0);
  nativeWork([&] {
    auto it = impl->timers.find(id);
    if (it != impl->timers.end()) {
      it->second.handle.cancel();
      impl->timers.erase(it);
    }
  });
  return 0;
}

duk_ret_t nNow(duk_context* ctx) {
  double now = 0;
  // Whole milliseconds, as a browser's Date.now() answers.
  nativeWork([&] { now = std::floor(Clock::current().now() * 1000.0); });
  duk_push_number(ctx, now);
  return 1;
}

duk_ret_t nMonotonic(duk_context* ctx) {
  double now = 0;
  nativeWork([&] { now = Clock::current().monotonic() * 1000.0; });
  duk_push_number(ctx, now);
  return 1;
}

duk_ret_t nWrite(duk_context* ctx) {
  if (ScriptGuard::deadlineExpired()) return DUK_RET_RANGE_ERROR;
  auto* impl = implOf(ctx);
  bool ok = nativeWork([&] {
    // The text may be as large as the heap allows and its element tree many times that:
    // read no more elements than the evaluation may still add.
    if (impl->pendingElements >= ScriptContext::kMaxWrittenElements) return;
    auto written = HtmlDocument::parseFragment(
        argString(ctx, 0), ScriptContext::kMaxWrittenElements - impl->pendingElements);
    for (auto& e : written) {
      if (impl->pendingWrites.size() >= kMaxPendingWrites) break;
      impl->pendingElements += elementCount(e);
      impl->pendingWrites.push_back(std::move(e));
    }
  });
  return ok ? 0 : DUK_RET_ERROR;
}

// ---- trampolines: run inside the guard; plain code only ----------------------------------

void pushInternal(duk_context* ctx, const char* name) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kInternals);
  duk_get_prop_string(ctx, -1, name);
  duk_remove(ctx, -2);
  duk_remove(ctx, -2);
}

void pushElementArgs(duk_context* ctx, const HtmlElement& e) {
  duk_push_lstring(ctx, e.tag.data(), e.tag.size());
  duk_idx_t names = duk_push_array(ctx);
  duk_idx_t values = duk_push_array(ctx);
  for (size_t i = 0; i < e.attributes.size(); ++i) {
    const auto& a = e.attributes[i];
    duk_push_lstring(ctx, a.first.data(), a.first.size());
    duk_put_prop_index(ctx, names, static_cast<duk_uarridx_t>(i));
    duk_push_lstring(ctx, a.second.data(), a.second.size());
    duk_put_prop_index(ctx, values, static_cast<duk_uarridx_t>(i));
  }
  duk_push_lstring(ctx, e.text.data(), e.text.size());
}

// Leaves the new element on the stack top. `parent` 0 means none.
void buildElement(duk_context* ctx, duk_idx_t parent, const HtmlElement& e) {
  duk_require_stack(ctx, 10);
  pushInternal(ctx, "makeElement");
  if (parent) duk_dup(ctx, parent); else duk_push_null(ctx);
  pushElementArgs(ctx, e);
  duk_call(ctx, 5);
  duk_idx_t self = duk_get_top_index(ctx);
  for (size_t i = 0; i < e.children.size(); ++i) {
    buildElement(ctx, self, e.children[i]);
    duk_pop(ctx);
  }
}

// Pushes [status, text] from the result (or error) on the stack top, which it consumes.
void pushOutcome(duk_context* ctx, duk_int_t rc) {
  using S = ScriptContext::Result::Status;
  if (rc != DUK_EXEC_SUCCESS) {
    duk_safe_to_string(ctx, -1);
    duk_push_int(ctx, static_cast<int>(S::Exception));
  } else if (duk_is_undefined(ctx, -1) || duk_is_null(ctx, -1)) {
    duk_pop(ctx);
    duk_push_string(ctx, "");
    duk_push_int(ctx, static_cast<int>(S::Undefined));
  } else {
    duk_to_string(ctx, -1);  // String(value); a throwing toString fails the whole call
    duk_push_int(ctx, static_cast<int>(S::Value));
  }
  duk_swap_top(ctx, -2);
}

duk_ret_t runTrampoline(duk_context* ctx, void* udata) {
  auto* call = static_cast<Call*>(udata);
  duk_int_t rc;
  switch (call->kind) {
    case CallKind::Eval:
      duk_push_lstring(ctx, call->source.data(), call->source.size());
      rc = duk_peval(ctx);
      break;
    case CallKind::Program:
      duk_push_lstring(ctx, call->source.data(), call->source.size());
      duk_push_lstring(ctx, call->name.data(), call->name.size());
      rc = duk_pcompile(ctx, 0);
      if (rc == DUK_EXEC_SUCCESS) rc = duk_pcall(ctx, 0);
      break;
    case CallKind::Internal:
    default: {
      pushInternal(ctx, call->function);
      duk_idx_t n = 0;
      if (call->hasInt) { duk_push_int(ctx, call->intArg); ++n; }
      if (call->hasInt2) { duk_push_boolean(ctx, call->intArg2 != 0); ++n; }
      if (call->hasString) { duk_push_lstring(ctx, call->stringArg.data(), call->stringArg.size()); ++n; }
      rc = duk_pcall(ctx, n);
      break;
    }
  }
  pushOutcome(ctx, rc);
  return 2;
}

// Writes one element tree (document.write output) into the body.
duk_ret_t appendTrampoline(duk_context* ctx, void* udata) {
  const auto* e = static_cast<const HtmlElement*>(udata);
  pushInternal(ctx, "appendWritten");
  buildElement(ctx, 0, *e);
  duk_call(ctx, 1);
  duk_pop(ctx);
  duk_push_int(ctx, static_cast<int>(ScriptContext::Result::Status::Undefined));
  duk_push_string(ctx, "");
  return 2;
}

struct Setup {
  const HtmlDocument* document;
  const ScriptContext::Facts* facts;
  const std::string* title;
};

void putString(duk_context* ctx, const char* key, const std::string& value) {
  duk_push_lstring(ctx, value.data(), value.size());
  duk_put_prop_string(ctx, -2, key);
}

void putNumber(duk_context* ctx, const char* key, double value) {
  duk_push_number(ctx, value);
  duk_put_prop_string(ctx, -2, key);
}

duk_ret_t setupTrampoline(duk_context* ctx, void* udata) {
  const auto* setup = static_cast<Setup*>(udata);
  duk_eval_string(ctx, web::kPagePrelude);
  static const duk_function_list_entry kNatives[] = {
      {"navigate", nNavigate, 2},   {"loadScript", nLoadScript, 1}, {"log", nLog, 2},
      {"alert", nAlert, 1},         {"setTimer", nSetTimer, 3},     {"clearTimer", nClearTimer, 1},
      {"now", nNow, 0},             {"monotonic", nMonotonic, 0},   {"write", nWrite, 1},
      {nullptr, nullptr, 0}};
  duk_push_object(ctx);
  duk_put_function_list(ctx, -1, kNatives);
  const auto& f = *setup->facts;
  duk_push_object(ctx);
  putString(ctx, "url", f.url);
  putString(ctx, "referrer", f.referrer);
  putString(ctx, "userAgent", f.userAgent);
  putString(ctx, "platform", f.platform);
  putString(ctx, "title", *setup->title);
  putNumber(ctx, "screenWidth", f.screenWidth);
  putNumber(ctx, "screenHeight", f.screenHeight);
  putNumber(ctx, "scale", f.scale);
  putNumber(ctx, "innerWidth", f.innerWidth);
  putNumber(ctx, "innerHeight", f.innerHeight);
  putNumber(ctx, "orientation", f.orientation);
  duk_push_global_object(ctx);
  duk_call(ctx, 3);
  duk_push_heap_stash(ctx);
  duk_dup(ctx, -2);
  duk_put_prop_string(ctx, -2, kInternals);
  duk_pop_2(ctx);

  pushInternal(ctx, "setDocument");
  buildElement(ctx, 0, setup->document->root());
  duk_call(ctx, 1);
  duk_pop(ctx);
  duk_push_int(ctx, static_cast<int>(ScriptContext::Result::Status::Undefined));
  duk_push_string(ctx, "");
  return 2;
}

ScriptContext::Result readOutcome(duk_context* ctx) {
  ScriptContext::Result r;
  r.status = static_cast<ScriptContext::Result::Status>(duk_get_int(ctx, -2));
  size_t len = 0;
  const char* s = duk_get_lstring(ctx, -1, &len);
  if (s) r.text.assign(s, len);
  duk_pop_2(ctx);
  return r;
}

}  // namespace

// ---- Impl --------------------------------------------------------------------------------

ScriptContext::Result ScriptContext::Impl::guarded(Call& call) {
  if (closed || !ctx) return {Result::Status::Terminated, {}};
  if (running) return {Result::Status::Exception, "Evaluation refused: the context is busy"};
  running = true;
  Result r;
  arena.beginCall();
  auto outcome = ScriptGuard::run(ctx, runTrampoline, &call, 0, 2, limits.cpuSecondsPerEvaluation);
  arena.endCall();
  if (outcome == ScriptGuard::Outcome::Terminated) {
    terminate();
    r = {Result::Status::Terminated, {}};
  } else {
    if (outcome == ScriptGuard::Outcome::Failed) {
      duk_pop_2(ctx);
      r = {Result::Status::Exception, {}};
    } else {
      r = readOutcome(ctx);
    }
    flushWrites();
  }
  running = false;
  if (releaseWhenOut) releaseHeap();
  return r;
}

void ScriptContext::Impl::flushWrites() {
  while (!closed && !pendingWrites.empty()) {
    std::vector<HtmlElement> batch;
    batch.swap(pendingWrites);
    pendingElements = 0;
    for (const auto& e : batch) {
      if (closed) return;
      auto outcome = ScriptGuard::run(ctx, appendTrampoline, const_cast<HtmlElement*>(&e), 0, 2,
                                      limits.cpuSecondsPerEvaluation);
      if (outcome == ScriptGuard::Outcome::Terminated) {
        terminate();
        return;
      }
      duk_pop_2(ctx);
      if (e.tag == "script") writtenScripts.push_back(e);
      std::vector<const HtmlElement*> stack{&e};
      while (!stack.empty()) {
        const HtmlElement* n = stack.back();
        stack.pop_back();
        for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) {
          if (it->tag == "script") writtenScripts.push_back(*it);
          stack.push_back(&*it);
        }
      }
    }
  }
}

void ScriptContext::Impl::terminate() {
  log("web view: a page script ran past its time limit and the page's scripts were stopped");
  terminated = true;
  close();
}

void ScriptContext::Impl::close() {
  if (closed) return;
  closed = true;
  loop->cancelPerforms(this);
  timers.clear();
  pendingWrites.clear();
  pendingElements = 0;
  if (running) {
    releaseWhenOut = true;
    return;
  }
  releaseHeap();
}

void ScriptContext::Impl::releaseHeap() {
  releaseWhenOut = false;
  // Nothing outside the arena belongs to the heap, and pages cannot register finalizers,
  // so dropping the arena is the whole tear-down (and the only safe one after a stop).
  ctx = nullptr;
  arena.releaseAll();
}

bool ScriptContext::Impl::addTimer(int id, double ms, bool repeats) {
  if (closed || timers.size() >= kMaxTimers) return false;
  schedule(id, ms, repeats, currentNesting + 1);
  return true;
}

void ScriptContext::Impl::schedule(int id, double ms, bool repeats, int nesting) {
  if (!(ms >= 0)) ms = 0;
  if ((repeats || nesting > kTimerNestingClamp) && ms < 4) ms = 4;
  std::weak_ptr<ScriptContext> weak = self;
  TimerEntry& entry = timers[id];
  entry.handle.cancel();
  entry.nesting = nesting;
  entry.handle = loop->postAfter(
      ms / 1000.0,
      [weak, id, ms, repeats] {
        if (auto context = weak.lock()) context->impl_->fireTimer(id, ms, repeats);
      },
      this);
}

void ScriptContext::Impl::fireTimer(int id, double ms, bool repeats) {
  auto it = timers.find(id);
  if (closed || it == timers.end()) return;
  int nesting = it->second.nesting;
  if (repeats) {
    schedule(id, ms, repeats, nesting + 1);
  } else {
    timers.erase(it);
  }
  Call call = makeCall(CallKind::Internal, {}, {}, "fireTimer");
  call.intArg = id;
  call.hasInt = true;
  int saved = currentNesting;
  currentNesting = nesting;
  Result r = guarded(call);
  currentNesting = saved;
  report(r);
}

// ---- ScriptContext -----------------------------------------------------------------------

ScriptContext::ScriptContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ScriptContext::~ScriptContext() { impl_->close(); }

std::shared_ptr<ScriptContext> ScriptContext::create(const HtmlDocument& document, Facts facts,
                                                     Limits limits,
                                                     std::weak_ptr<ScriptHost> host) {
  auto impl = std::make_unique<Impl>(std::move(facts), limits, std::move(host));
  std::shared_ptr<ScriptContext> context(new ScriptContext(std::move(impl)));
  Impl& d = *context->impl_;
  d.self = context;
  d.title = document.title();
  d.ctx = duk_create_heap(ScriptArena::alloc, ScriptArena::realloc, ScriptArena::free, &d.arena,
                          ScriptGuard::fatal);
  if (!d.ctx) {
    d.closed = true;
    d.arena.releaseAll();
    return context;
  }
  Setup setup{&document, &d.facts, &d.title};
  auto outcome = ScriptGuard::run(d.ctx, setupTrampoline, &setup, 0, 2,
                                  d.limits.cpuSecondsPerEvaluation);
  if (outcome == ScriptGuard::Outcome::Terminated) {
    d.terminate();
  } else if (outcome == ScriptGuard::Outcome::Failed) {
    log("web view: the page's script context could not be set up");
    d.close();
  } else {
    duk_pop_2(d.ctx);
  }
  return context;
}

ScriptContext::Result ScriptContext::evaluate(std::string_view source) {
  auto keep = shared_from_this();
  Call call = makeCall(CallKind::Eval, source);
  return impl_->guarded(call);
}

ScriptContext::Result ScriptContext::runScript(std::string_view source, std::string_view name) {
  auto keep = shared_from_this();
  Call call = makeCall(CallKind::Program, source, name);
  Result r = impl_->guarded(call);
  impl_->report(r);
  return r;
}

ScriptContext::Result ScriptContext::runLoadedScript(int token, std::string_view source,
                                                     std::string_view name) {
  auto keep = shared_from_this();
  Result r = runScript(source, name);
  Call done = makeCall(CallKind::Internal, {}, {}, "scriptDone");
  done.intArg = token;
  done.hasInt = true;
  done.intArg2 = 1;
  done.hasInt2 = true;
  impl_->report(impl_->guarded(done));
  return r;
}

void ScriptContext::scriptFailedToLoad(int token) {
  auto keep = shared_from_this();
  Call done = makeCall(CallKind::Internal, {}, {}, "scriptDone");
  done.intArg = token;
  done.hasInt = true;
  done.intArg2 = 0;
  done.hasInt2 = true;
  impl_->report(impl_->guarded(done));
}

ScriptContext::Result ScriptContext::runLoadHandlers(const std::string& bodyOnload) {
  auto keep = shared_from_this();
  Call call = makeCall(CallKind::Internal, {}, {}, "runLoad");
  call.stringArg = bodyOnload;
  call.hasString = true;
  Result r = impl_->guarded(call);
  impl_->report(r);
  return r;
}

ScriptContext::Click ScriptContext::clickElement(ClickTarget by, std::string_view key) {
  auto keep = shared_from_this();
  Call call = makeCall(CallKind::Internal, {}, {}, "click");
  call.intArg = by == ClickTarget::ElementId ? 0 : 1;
  call.hasInt = true;
  call.stringArg = key;
  call.hasString = true;
  Result r = impl_->guarded(call);
  impl_->report(r);
  Click click;
  if (r.status != Result::Status::Value || r.text.empty()) return click;
  click.found = true;
  if (r.text[0] == 'H') click.follow = r.text.substr(1);
  return click;
}

std::vector<HtmlElement> ScriptContext::takeWrittenScripts() {
  std::vector<HtmlElement> out;
  out.swap(impl_->writtenScripts);
  return out;
}

void ScriptContext::close() { impl_->close(); }
bool ScriptContext::isClosed() const { return impl_->closed; }
bool ScriptContext::wasTerminated() const { return impl_->terminated; }
size_t ScriptContext::heapBytesInUseForTesting() const { return impl_->arena.bytesInUse(); }
const ScriptContext::Facts& ScriptContext::facts() const { return impl_->facts; }
size_t ScriptContext::pendingTimerCountForTesting() const { return impl_->timers.size(); }

}  // namespace platform
