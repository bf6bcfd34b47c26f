#include "platform/script_context.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <string>
#include <utility>
#include <vector>

#include "testing/sandbox_test.h"

namespace {

using platform::HtmlDocument;
using platform::ScriptContext;
using platform::ScriptHost;
using Status = ScriptContext::Result::Status;

struct RecordingHost : ScriptHost {
  std::vector<std::pair<std::string, NavigationSource>> navigations;
  std::vector<std::string> alerts;
  std::vector<std::string> console;
  std::vector<std::pair<std::string, int>> scriptRequests;
  void scriptRequestedNavigation(const std::string& url, NavigationSource source) override {
    navigations.emplace_back(url, source);
  }
  void scriptRequestedScript(const std::string& url, int token) override {
    scriptRequests.emplace_back(url, token);
  }
  void scriptAlert(const std::string& message) override { alerts.push_back(message); }
  void scriptConsole(const std::string& level, const std::string& message) override {
    console.push_back(level + ": " + message);
  }
};

class ScriptContextTest : public testkit::SandboxTest {
 protected:
  std::shared_ptr<ScriptContext> make(const std::string& html = "",
                                      ScriptContext::Limits limits = {}) {
    ScriptContext::Facts facts;
    facts.url = "http://ads.example.test:8080/path/page.html?q=1#top";
    facts.referrer = "http://origin.test/";
    facts.userAgent = "Mozilla/5.0 (iPhone; Test) Mobile";
    facts.screenWidth = 320;
    facts.screenHeight = 480;
    facts.orientation = 90;
    return ScriptContext::create(HtmlDocument::parse(html), facts, limits, host_);
  }
  std::string eval(ScriptContext& c, const std::string& js) { return c.evaluate(js).text; }

  std::shared_ptr<RecordingHost> host_ = std::make_shared<RecordingHost>();
};

TEST_F(ScriptContextTest, EvaluationResultsFollowStringOfTheValue) {
  auto c = make();
  struct Case {
    const char* script;
    Status status;
    const char* text;
  };
  const Case cases[] = {
      {"1 + 2", Status::Value, "3"},
      {"0.1 + 0.2", Status::Value, "0.30000000000000004"},
      {"1 / 0", Status::Value, "Infinity"},
      {"'a' + 'b'", Status::Value, "ab"},
      {"[1, [2, 3]]", Status::Value, "1,2,3"},
      {"({})", Status::Value, "[object Object]"},
      {"({toString: function () { return 'T'; }})", Status::Value, "T"},
      {"true", Status::Value, "true"},
      {"var declared = 5", Status::Undefined, ""},
      {"declared * 2", Status::Value, "10"},
      {"undefined", Status::Undefined, ""},
      {"null", Status::Undefined, ""},
      {"javascript:window.declared", Status::Value, "5"},
      {"throw new Error('boom')", Status::Exception, "Error: boom"},
      {"({toString: function () { throw 1; }})", Status::Exception, ""},
      {"1 +", Status::Exception, nullptr},
      {"noSuchName", Status::Exception, nullptr},
  };
  for (const auto& k : cases) {
    auto r = c->evaluate(k.script);
    EXPECT_EQ(r.status, k.status) << k.script;
    if (k.text) {
      EXPECT_EQ(r.text, k.text) << k.script;
    }
  }
  EXPECT_FALSE(c->isClosed());
}

TEST_F(ScriptContextTest, MinimalDocumentReflectsThePage) {
  auto c = make(
      "<html><head><title>T &amp; C</title></head><body onload=\"x()\">"
      "<div id=box class='a b' data-v=\"1&lt;2\"><img id=i1 src=a.png width=320 height=50>"
      "<img src=b.png></div><a id=link href=\"http://x.test/\">go</a></body></html>");
  struct Case {
    const char* script;
    const char* expected;
  };
  const Case cases[] = {
      {"window === self && self === top && top === parent && window.window === window", "true"},
      {"window.document === document", "true"},
      {"document.title", "T & C"},
      {"document.readyState", "loading"},
      {"document.referrer", "http://origin.test/"},
      {"location.href === document.location.href && String(location)", "http://ads.example.test:8080/path/page.html?q=1#top"},
      {"[location.protocol, location.host, location.pathname, location.search, location.hash].join('|')",
       "http:|ads.example.test:8080|/path/page.html|?q=1|#top"},
      {"navigator.userAgent", "Mozilla/5.0 (iPhone; Test) Mobile"},
      {"screen.width + 'x' + screen.height", "320x480"},
      {"window.orientation", "90"},
      {"document.getElementById('box').getAttribute('data-v')", "1<2"},
      {"document.getElementById('box').className", "a b"},
      {"document.getElementById('missing')", nullptr},
      {"document.images.length", "2"},
      {"document.images[0].width + ',' + document.images[0].height", "320,50"},
      {"document.images[1].width", "0"},
      {"document.getElementsByTagName('IMG')[1].src", "b.png"},
      {"document.body.getAttribute('onload')", "x()"},
      {"document.body.tagName + document.head.tagName + document.documentElement.tagName", "BODYHEADHTML"},
      {"var d = document.createElement('DIV'); d.setAttribute('id', 'made');"
       "document.body.appendChild(d); document.getElementById('made') === d", "true"},
      {"document.getElementsByTagName('div').length", "2"},
      {"document.getElementById('made').parentNode === document.body", "true"},
      {"typeof ({}).__defineGetter__ + typeof ({}).__defineSetter__", "functionfunction"},
      {"typeof Duktape", "undefined"},
      {"document.cookie = 'a=1; path=/'; document.cookie = 'b=2'; document.cookie", "a=1; b=2"},
  };
  for (const auto& k : cases) {
    auto r = c->evaluate(k.script);
    if (k.expected) {
      EXPECT_EQ(r.text, k.expected) << k.script;
    } else {
      EXPECT_EQ(r.status, Status::Undefined) << k.script;
    }
  }
}

TEST_F(ScriptContextTest, PageRequestsReachTheHostInOrder) {
  auto c = make("<body></body>");
  c->runScript(
      "location.href = 'app://close';"
      "document.location = 'panel://hide';"
      "window.location = 'mraid://show';"
      "location.assign('a.html'); location.replace('b.html'); location.reload();"
      "window.open('http://w.test/');"
      "var f = document.createElement('iframe'); f.src = 'qmsg:///detached';"
      "document.body.appendChild(f); f.setAttribute('src', 'qmsg:///again');"
      "alert('hello'); alert(); console.log('n', 1, {});",
      "inline");
  using S = ScriptHost::NavigationSource;
  const std::vector<std::pair<std::string, S>> expected = {
      {"app://close", S::Location}, {"panel://hide", S::Location},
      {"mraid://show", S::Location},    {"a.html", S::Location},
      {"b.html", S::Location},          {"http://ads.example.test:8080/path/page.html?q=1#top", S::Reload},
      {"http://w.test/", S::Window},    {"qmsg:///detached", S::Frame},
      {"qmsg:///again", S::Frame}};
  EXPECT_EQ(host_->navigations, expected);
  EXPECT_EQ(host_->alerts, (std::vector<std::string>{"hello", ""}));
  EXPECT_EQ(host_->console, (std::vector<std::string>{"log: n 1 [object Object]"}));
}

// A host that, while serving a page's alert, evaluates in the same context, closes it and
// lets go of its last reference: the nested call is refused, the running one finishes, and
// the heap goes only once the engine is out of it.
TEST_F(ScriptContextTest, AHostClosingOrReenteringFromItsCallbackIsRefusedOrDeferred) {
  struct MeddlingHost : RecordingHost {
    std::shared_ptr<ScriptContext> context;
    ScriptContext::Result nested;
    bool closedInside = false;
    void scriptAlert(const std::string& message) override {
      RecordingHost::scriptAlert(message);
      nested = context->evaluate("1 + 1");
      context->close();
      closedInside = context->isClosed();
      context.reset();
    }
  };
  auto host = std::make_shared<MeddlingHost>();
  ScriptContext::Facts facts;
  facts.url = "http://ads.example.test/page.html";
  auto c = ScriptContext::create(HtmlDocument::parse(""), facts, {}, host);
  host->context = c;
  std::weak_ptr<ScriptContext> weak = c;
  c.reset();
  auto r = weak.lock()->evaluate("var after = []; for (var i = 0; i < 1000; ++i) after.push(i);"
                                 "alert('x'); after.length + after[999]");
  EXPECT_EQ(host->alerts, std::vector<std::string>{"x"});
  EXPECT_EQ(host->nested.status, Status::Exception);
  EXPECT_TRUE(host->closedInside);
  EXPECT_EQ(r.status, Status::Value);
  EXPECT_EQ(r.text, "1999");
  EXPECT_TRUE(weak.expired());
}

TEST_F(ScriptContextTest, UncaughtPageErrorsGoToTheConsoleAndDoNotStopLaterScripts) {
  auto c = make();
  auto r = c->runScript("var before = 1; undefinedFunction(); var after = 1;", "bad.js");
  EXPECT_EQ(r.status, Status::Exception);
  ASSERT_EQ(host_->console.size(), 1u);
  EXPECT_NE(host_->console[0].find("ReferenceError"), std::string::npos);
  EXPECT_EQ(c->runScript("var next = before + 1;", "good.js").status, Status::Undefined);
  EXPECT_EQ(eval(*c, "next + ',' + typeof after"), "2,undefined");
  EXPECT_EQ(c->runScript("function (", "syntax.js").status, Status::Exception);
}

TEST_F(ScriptContextTest, TimersRunOnTheManualClock) {
  auto c = make();
  eval(*c,
       "var log = [];"
       "setTimeout(function (a, b) { log.push('t' + a + b); }, 1000, 1, 2);"
       "var n = 0; var iv = setInterval(function () { if (++n === 3) clearInterval(iv); }, 250);"
       "var gone = setTimeout(function () { log.push('cancelled'); }, 10); clearTimeout(gone);"
       "setTimeout(\"log.push('string')\", 0);");
  EXPECT_EQ(eval(*c, "log.join()"), "");  // never inside the caller
  runUntilIdle();
  EXPECT_EQ(eval(*c, "log.join()"), "string");
  advance(0.999);
  EXPECT_EQ(eval(*c, "log.join() + '/' + n"), "string/3");
  advance(0.001);
  EXPECT_EQ(eval(*c, "log.join()"), "string,t12");
  advance(10);
  EXPECT_EQ(eval(*c, "n"), "3");
  EXPECT_EQ(c->pendingTimerCountForTesting(), 0u);
}

TEST_F(ScriptContextTest, ClearedTimersStopCountingAgainstTheHost) {
  auto c = make();
  eval(*c,
       "var fired = 0; setTimeout(function () { fired++; }, 10);"
       "for (var i = 0; i < 20000; i++) clearTimeout(setTimeout(function () { fired += 100; }, 1e9));");
  EXPECT_EQ(c->pendingTimerCountForTesting(), 1u);
  EXPECT_LT(mainLoop().scheduledEntryCountForTesting(), 200u);
  advance(0.01);
  EXPECT_EQ(eval(*c, "fired"), "1");
}

TEST_F(ScriptContextTest, PageTimeComesFromThePlatformClock) {
  auto c = make();
  std::string first = eval(*c, "Date.now()");
  EXPECT_EQ(first, std::to_string(static_cast<long long>(clock().now() * 1000)));
  advance(2.5);
  EXPECT_EQ(eval(*c, "Date.now() - " + first), "2500");
  EXPECT_EQ(eval(*c, "new Date().getTime() === Date.now() && new Date(0).getTime() === 0 && "
                     "new Date() instanceof Date && new Date(2020, 0).getMonth() === 0"),
            "true");
  // Between two milliseconds the page still reads whole ones, counting up.
  const std::string whole = eval(*c, "Date.now()");
  for (double step : {0.0004, 0.0003, 0.0007, 0.0125}) {
    advance(step);
    EXPECT_EQ(eval(*c, "var t = Date.now(); Number.isInteger(t) && t === new Date().getTime() && String(t).indexOf('.') < 0"),
              "true") << step;
  }
  EXPECT_EQ(eval(*c, "Date.now() - " + whole), "13");
}

TEST_F(ScriptContextTest, RunawayScriptsAreStoppedAndTheirPageClosed) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread sanitizer defers the pre-emption signal indefinitely";
#endif
  ScriptContext::Limits limits;
  limits.cpuSecondsPerEvaluation = 0.05;
  const char* runaways[] = {
      "for (;;) {}",
      "while (true) { try { for (;;) {} } catch (e) {} finally { continue; } }",
      "for (;;) { try { console.log(document.title); } catch (e) {} }",
      "for (;;) { Math.sin(Date.now()); }",
      "/(a+)+b/.test('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac')",
      "function f() { try { return f(); } catch (e) { return f(); } } f()",
      "({toString: function () { for (;;) {} }})",
  };
  for (const char* script : runaways) {
    host_->console.clear();
    auto c = make("<body></body>", limits);
    auto r = c->evaluate(script);
    EXPECT_EQ(r.status, Status::Terminated) << script;
    EXPECT_TRUE(c->isClosed()) << script;
    EXPECT_TRUE(c->wasTerminated()) << script;
    EXPECT_EQ(c->heapBytesInUseForTesting(), 0u);
    EXPECT_EQ(c->evaluate("1").status, Status::Terminated);
  }
  // A runaway timer closes its page without touching another page.
  auto bad = make("", limits);
  auto good = make("", limits);
  eval(*bad, "setTimeout(function () { for (;;) {} }, 10); setInterval(function () {}, 5);");
  eval(*good, "var ticks = 0; setInterval(function () { ticks++; }, 100);");
  advance(0.55);
  EXPECT_TRUE(bad->wasTerminated());
  EXPECT_EQ(bad->pendingTimerCountForTesting(), 0u);
  EXPECT_EQ(eval(*good, "ticks"), "5");
}

TEST_F(ScriptContextTest, MemoryPerContextIsCapped) {
  ScriptContext::Limits limits;
  limits.maxHeapBytes = size_t{8} << 20;
  auto c = make("", limits);
  const char* hogs[] = {
      "var s = 'x'; for (;;) s += s;",
      "var a = []; for (;;) a.push({n: a.length, s: 'item' + a.length});",
      "'x'.repeat(1e9)",
      "new Uint8Array(1 << 30)",
      // Live data up to the last bytes: only the call after the error can let go of it.
      "var a = null; for (;;) a = {n: a};",
  };
  for (const char* script : hogs) {
    auto r = c->evaluate(script);
    EXPECT_EQ(r.status, Status::Exception) << script;
    EXPECT_LE(c->heapBytesInUseForTesting(), limits.maxHeapBytes);
    eval(*c, "s = null; a = null;");
    EXPECT_EQ(eval(*c, "6 * 7"), "42") << "still usable after " << script;
  }
  // A cap too small for the window itself gives a closed context, not a crash.
  limits.maxHeapBytes = 4096;
  auto tiny = make("<p>hi</p>", limits);
  EXPECT_TRUE(tiny->isClosed());
  EXPECT_EQ(tiny->evaluate("1").status, Status::Terminated);
}

TEST_F(ScriptContextTest, TheHeapCapBoundsWhatTheHostHolds) {
  auto held = [] {
    struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
  };
  ScriptContext::Limits limits;
  limits.maxHeapBytes = size_t{8} << 20;
  const size_t before = held();
  auto c = make("", limits);
  // Small objects, on which the allocator's headers and rounding weigh most.
  EXPECT_EQ(c->evaluate("var a = []; for (;;) a.push({n: a.length});").status, Status::Exception);
  EXPECT_LE(c->heapBytesInUseForTesting(), limits.maxHeapBytes);
  // What the context keeps outside its heap is small beside the cap.
  EXPECT_LE(held() - before, limits.maxHeapBytes + (size_t{256} << 10));
  EXPECT_EQ(eval(*c, "a = null; 6 * 7"), "42");
  c.reset();
  EXPECT_LE(held(), before + (size_t{64} << 10)) << "every block of the heap went with it";
}

TEST_F(ScriptContextTest, DocumentWriteAddsElementsAndHandsScriptsToTheLoader) {
  auto c = make("<body><p id=a></p></body>");
  c->runScript("document.write('<img id=w src=p.gif width=7><script>written()</scr' + 'ipt>');"
               "document.writeln('<iframe src=\"tracker://ping\"></iframe>');",
               "inline");
  EXPECT_EQ(eval(*c, "document.getElementById('w').width"), "7");
  auto scripts = c->takeWrittenScripts();
  ASSERT_EQ(scripts.size(), 1u);
  EXPECT_EQ(scripts[0].text, "written()");
  EXPECT_TRUE(c->takeWrittenScripts().empty());
  ASSERT_EQ(host_->navigations.size(), 1u);
  EXPECT_EQ(host_->navigations[0].first, "tracker://ping");
}

TEST_F(ScriptContextTest, WhatOneEvaluationWritesIsBounded) {
  auto c = make("<body></body>");
  const size_t cells = ScriptContext::kMaxWrittenElements + 5000;
  eval(*c, "var cells = new Array(" + std::to_string(cells + 1) + ").join('<b></b>');"
           "document.write('<div id=big>' + cells + '</div>'); document.write('<img id=late>');");
  EXPECT_EQ(eval(*c, "document.getElementById('big').getElementsByTagName('b').length + 1"),
            std::to_string(ScriptContext::kMaxWrittenElements));
  EXPECT_EQ(eval(*c, "document.getElementById('late') === null"), "true");
  // The next evaluation writes afresh.
  eval(*c, "document.write('<img id=next>')");
  EXPECT_EQ(eval(*c, "document.getElementById('next').id"), "next");
}

TEST_F(ScriptContextTest, DynamicScriptElementsAreFetchedThroughTheHost) {
  auto c = make("<head></head><body></body>");
  eval(*c,
       "var events = [];"
       "var s = document.createElement('script'); s.src = 'lib.js';"
       "s.onload = function () { events.push('loaded:' + typeof libValue); };"
       "document.head.appendChild(s);"
       "var t = document.createElement('script'); t.src = 'missing.js';"
       "t.onerror = function () { events.push('error'); }; document.body.appendChild(t);"
       "var u = document.createElement('script'); u.text = 'events.push(\"inline\")';"
       "document.body.appendChild(u);");
  ASSERT_EQ(host_->scriptRequests.size(), 2u);
  EXPECT_EQ(host_->scriptRequests[0].first, "lib.js");
  c->runLoadedScript(host_->scriptRequests[0].second, "var libValue = 1;", "lib.js");
  c->scriptFailedToLoad(host_->scriptRequests[1].second);
  EXPECT_EQ(eval(*c, "events.join()"), "inline,loaded:number,error");
}

TEST_F(ScriptContextTest, LoadHandlersRunInOrderAndSurviveEachOthersErrors) {
  auto c = make("<body></body>");
  c->runScript(
      "var order = [];"
      "document.addEventListener('DOMContentLoaded', function () { order.push('ready:' + document.readyState); });"
      "window.onload = function (e) { order.push('onload:' + e.type); throw new Error('x'); };"
      "window.addEventListener('load', function () { order.push('listener'); });",
      "inline");
  c->runLoadHandlers("order.push('attr:' + document.readyState + ':' + (this === window)); nope();");
  EXPECT_EQ(eval(*c, "order.join()"),
            "ready:interactive,attr:complete:true,onload:load,listener");
  EXPECT_EQ(host_->console.size(), 2u);  // the two uncaught errors
}

}  // namespace
