#include "platform/web_view.h"

#include "platform/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "testing/loopback_server.h"
#include "testing/sandbox_test.h"
#include "platform/window.h"

namespace {

using platform::Error;
using platform::URL;
using platform::URLRequest;
using platform::WebView;
using platform::WebViewNavigationType;
// A view on the stack or in a unique_ptr could not hand out the weak references loading needs.
static_assert(!std::is_constructible_v<platform::WebView, platform::Rect>, "views come from create()");

// Records every delegate call as a line; optional hooks decide and react.
struct RecordingDelegate : platform::WebViewDelegate {
  std::vector<std::string> events;
  std::vector<URLRequest> asked;
  std::vector<Error> errors;
  std::function<bool(const URLRequest&, WebViewNavigationType)> decide;
  std::function<void(const std::string& event)> react;
  int depth = 0;
  int maxDepth = 0;

  void note(const std::string& e) {
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    events.push_back(e);
    if (react) react(e);
    --depth;
  }
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<WebView>&, const URLRequest& r, WebViewNavigationType t) override {
    asked.push_back(r);
    bool ok = decide ? decide(r, t) : true;
    note("should " + r.url() + " " + std::to_string(static_cast<int>(t)) + (ok ? "" : " NO"));
    return ok;
  }
  void webViewDidStartLoad(const std::shared_ptr<WebView>&) override { note("start"); }
  void webViewDidFinishLoad(const std::shared_ptr<WebView>&) override { note("finish"); }
  void webViewDidFailLoadWithError(const std::shared_ptr<WebView>&, const Error& e) override {
    errors.push_back(e);
    note("fail " + std::to_string(e.code));
  }
  bool ended() const {
    return !events.empty() && (events.back() == "finish" || events.back().rfind("fail", 0) == 0 ||
                               events.back().find(" NO") != std::string::npos);
  }
};

// The page every flow loads: inline script, an external one relative to the document, a
// second inline one, and the body's onload; each appends to `order`.
const char kPage[] =
    "<html><head><script>var order = ['inline1'];</script>"
    "<script src=\"js/lib.js\"></script></head>"
    "<body onload=\"order.push(&quot;onload&quot;)\"><script>order.push('inline2')</script>"
    "</body></html>";
const char kLib[] = "order.push('external');";

class WebViewTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    server_ = std::make_unique<testkit::LoopbackServer>();
    server_->setAnswer("/page.html", html(kPage));
    server_->setAnswer("/js/lib.js", testkit::ScriptedAnswer::text(kLib));
    view_ = WebView::create(platform::Rect(0, 0, 320, 50));
    view_->setDelegate(delegate_);
  }
  void TearDown() override {
    view_.reset();
    server_.reset();
    testkit::SandboxTest::TearDown();
  }
  static testkit::ScriptedAnswer html(std::string body) {
    auto a = testkit::ScriptedAnswer::text(std::move(body));
    a.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    return a;
  }
  bool waitForEnd() { return runUntil([&] { return delegate_->ended(); }); }
  bool waitForFinish() {
    return runUntil([&] { return !delegate_->events.empty() && delegate_->events.back() == "finish"; });
  }
  void refuseAppScheme() {
    delegate_->decide = [](const URLRequest& r, WebViewNavigationType) { return r.url().rfind("app:", 0) != 0; };
  }
  std::string eval(const std::string& js) { return view_->stringByEvaluatingJavaScriptFromString(js); }
  std::string url(const std::string& path) { return server_->url(path); }
  // Loads `loads` markup pages (`page` is each one's number, `padding` follows its script),
  // then goes back while the view can: the steps taken.
  size_t loadNumberedPagesThenGoBackAllTheWay(size_t loads, const std::string& padding) {
    for (size_t i = 0; i < loads; ++i) {
      delegate_->events.clear();
      view_->loadHTMLStringBaseURL("<script>var page = " + std::to_string(i) + ";</script>" + padding, std::nullopt);
      if (!waitForEnd()) ADD_FAILURE() << "load " << i << " did not end";
    }
    size_t backs = 0;
    while (view_->canGoBack() && backs < loads) {
      delegate_->events.clear();
      view_->goBack();
      if (!waitForEnd()) ADD_FAILURE() << "going back did not end";
      ++backs;
    }
    return backs;
  }

  std::unique_ptr<testkit::LoopbackServer> server_;
  std::shared_ptr<WebView> view_;
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST_F(WebViewTest, EveryWayOfLoadingCallsBackInThePlatformOrder) {
  std::string file = home() + "/Documents/page.html";
  std::filesystem::create_directories(home() + "/Documents/js");
  std::ofstream(file) << kPage;
  std::ofstream(home() + "/Documents/js/lib.js") << kLib;
  const std::string fileURL = URL::fileURLWithPath(file).absoluteString();
  const std::string pageURL = url("/page.html");
  auto serverBase = URL::create(url("/"));

  struct Flow {
    const char* name;
    std::function<void()> load;
    std::string asked;
    const char* order;  // the page's scripts, or nullptr for a page without them
  };
  const Flow flows[] = {
      {"string with base", [&] { view_->loadHTMLStringBaseURL(kPage, serverBase); },
       url("/"), "inline1,external,inline2,onload"},
      {"string without base", [&] { view_->loadHTMLStringBaseURL("<p>x</p>", std::nullopt); },
       "about:blank", nullptr},
      {"data", [&] {
         std::string page = kPage;
         view_->loadDataMIMETypeTextEncodingNameBaseURL(platform::Bytes(page.begin(), page.end()),
                                                        "text/html", "utf-8", serverBase);
       }, url("/"), "inline1,external,inline2,onload"},
      {"http request", [&] { view_->loadRequest(URLRequest(pageURL)); }, pageURL,
       "inline1,external,inline2,onload"},
      {"file request", [&] { view_->loadRequest(URLRequest(fileURL)); }, fileURL,
       "inline1,external,inline2,onload"},
      {"about:blank", [&] { view_->loadRequest(URLRequest("about:blank")); }, "about:blank", nullptr},
  };
  for (const auto& flow : flows) {
    SCOPED_TRACE(flow.name);
    delegate_->events.clear();
    delegate_->asked.clear();
    flow.load();
    EXPECT_TRUE(delegate_->events.empty()) << "no callback inside the load call";
    EXPECT_TRUE(view_->isLoading());
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(delegate_->events,
              (std::vector<std::string>{"should " + flow.asked + " 5", "start", "finish"}));
    ASSERT_EQ(delegate_->asked.size(), 1u);
    EXPECT_EQ(delegate_->asked[0].valueForHTTPHeaderField("User-Agent"), WebView::userAgent());
    EXPECT_FALSE(view_->isLoading());
    EXPECT_EQ(eval("location.href"), flow.asked);
    if (flow.order) {
      EXPECT_EQ(eval("order.join()"), flow.order);
    }
  }
  auto libRequests = server_->requestsTo("/js/lib.js");
  ASSERT_EQ(libRequests.size(), 3u);  // string, data and http loads fetched it relative to the base
  EXPECT_EQ(libRequests[0].header("User-Agent"), WebView::userAgent());
}

TEST_F(WebViewTest, LoadsThatCannotCompleteFail) {
  server_->setAnswer("/stall", [] { testkit::ScriptedAnswer a; a.stall = true; return a; }());
  struct Flow {
    const char* name;
    std::string url;
    std::vector<std::string> events;
    std::function<void()> whileLoading;
  };
  const std::string missing = URL::fileURLWithPath(home() + "/nothing.html").absoluteString();
  const std::string refused = testkit::LoopbackServer().url("/");  // its port closed with it
  const Flow flows[] = {
      {"missing file", missing, {"should " + missing + " 5", "start", "fail -1100"}, nullptr},
      {"no server", refused, {"should " + refused + " 5", "start", "fail -1004"}, nullptr},
      {"custom scheme", "app://close", {"should app://close 5", "start", "fail -1002"}, nullptr},
      {"stopped", url("/stall"), {"should " + url("/stall") + " 5", "start", "fail -999"},
       [&] { view_->stopLoading(); }},
  };
  for (const auto& flow : flows) {
    SCOPED_TRACE(flow.name);
    delegate_->events.clear();
    view_->loadRequest(URLRequest(flow.url));
    if (flow.whileLoading) {
      ASSERT_TRUE(runUntil([&] { return delegate_->events.size() == 2; }));
      flow.whileLoading();
      EXPECT_FALSE(view_->isLoading());
    }
    ASSERT_TRUE(waitForEnd());
    runUntilIdle();
    EXPECT_EQ(delegate_->events, flow.events);
  }
  EXPECT_EQ(delegate_->errors.back().domain, platform::kURLErrorDomain);

  // Pages from the network are bounded even when their request is not: a page over the
  // size cap, and one that never arrives although its idle time-out would wait an hour.
  server_->setAnswer("/huge.html", html(std::string(platform::kWebViewMaximumContentLength + 1, ' ')));
  for (const char* path : {"/huge.html", "/stall"}) {
    SCOPED_TRACE(path);
    delegate_->events.clear();
    URLRequest request(url(path));
    request.setTimeoutInterval(platform::kURLMaximumTimeoutInterval);
    view_->loadRequest(request);
    if (std::string(path) == "/stall") {
      ASSERT_TRUE(runUntil([&] { return !server_->requestsTo("/stall").empty() && delegate_->events.size() == 2; }));
      advance(platform::kURLDefaultDeadlineInterval - 0.5);
      EXPECT_FALSE(delegate_->ended());
      advance(1);
    }
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(delegate_->events.back(), std::string(path) == "/stall" ? "fail -1001" : "fail -1103");
  }

  // Refused by the delegate: nothing starts.
  delegate_->events.clear();
  delegate_->decide = [](const URLRequest&, WebViewNavigationType) { return false; };
  view_->loadHTMLStringBaseURL("<p>never</p>", std::nullopt);
  runUntilIdle();
  EXPECT_EQ(delegate_->events, (std::vector<std::string>{"should about:blank 5 NO"}));
  EXPECT_FALSE(view_->isLoading());
}

TEST_F(WebViewTest, PageNavigationsArriveOnePerTurnAndNeverReentrantly) {
  refuseAppScheme();
  bool evaluated = false;
  delegate_->react = [&](const std::string& e) {
    if (e == "should app://a 5 NO" && !evaluated) {
      evaluated = true;
      EXPECT_EQ(eval("location.href = 'app://inner'; 'done'"), "done");
    }
  };
  view_->loadHTMLStringBaseURL(
      "<script>location.href = 'app://a'; location.href = 'app://b';"
      "document.location = 'app://c';</script>",
      std::nullopt);
  ASSERT_TRUE(waitForFinish());
  const std::vector<std::string> expected = {"should app://a 5 NO", "should app://b 5 NO",
                                             "should app://c 5 NO",
                                             "should app://inner 5 NO"};
  size_t seen = delegate_->events.size();
  for (const auto& next : expected) {
    mainLoop().runOnce(0);
    ASSERT_EQ(delegate_->events.size(), seen + 1) << "one navigation per turn";
    EXPECT_EQ(delegate_->events.back(), next);
    seen = delegate_->events.size();
  }
  mainLoop().runOnce(0);
  EXPECT_EQ(delegate_->events.size(), seen);
  EXPECT_EQ(delegate_->maxDepth, 1);
}

// A page's navigation reaches the delegate a turn or more after the page made it, when the
// view may have been shown or hidden since: the view tells the delegate how it stood when the
// page queued it. Here the view is built hidden and shown once loaded, as an ad slot does.
TEST_F(WebViewTest, TheDelegateLearnsWhetherTheViewWasShownWhenThePageQueuedANavigation) {
  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  window->makeKeyAndVisible();
  view_->setHidden(true);
  window->addSubview(view_);
  std::vector<std::string> heard;
  delegate_->decide = [&](const URLRequest& r, WebViewNavigationType) {
    const auto shown = view_->navigationQueuedWhileShown();
    heard.push_back(r.url() + (!shown ? " (not queued by the page)" : *shown ? " shown" : " hidden"));
    return r.url().rfind("app:", 0) != 0;
  };
  delegate_->react = [&](const std::string& e) {
    if (e == "finish") view_->setHidden(false);
  };
  view_->loadHTMLStringBaseURL(
      "<html><body onload=\"location = 'app:onload'\"><a id='link' href='app:tapped'>x</a>"
      "<script>location = 'app:script'; setTimeout(function () { location = 'app:timer'; }, 0);</script>"
      "</body></html>",
      std::nullopt);
  ASSERT_TRUE(waitForFinish());
  advance(0.01);
  runUntilIdle();
  eval("location = 'app:while-shown'");
  runUntilIdle();
  // Queued while hidden, delivered once shown again.
  view_->setHidden(true);
  eval("location = 'app:while-hidden'");
  view_->setHidden(false);
  runUntilIdle();
  ASSERT_TRUE(view_->tapLinkWithElementIdForTesting("link"));
  runUntilIdle();
  // The view's own loads are not the page's.
  view_->loadRequest(URLRequest("about:blank"));
  ASSERT_TRUE(waitForFinish());
  EXPECT_EQ(heard, (std::vector<std::string>{"about:blank (not queued by the page)", "app:script hidden",
                                             "app:onload hidden", "app:timer shown", "app:while-shown shown",
                                             "app:while-hidden hidden", "app:tapped shown",
                                             "about:blank (not queued by the page)"}));
  EXPECT_EQ(view_->navigationQueuedWhileShown(), std::nullopt);
  window->setHidden(true);
}

TEST_F(WebViewTest, NavigationOutcomesRefusedReplacedOrFailed) {
  server_->setAnswer("/next.html", html("<script>var marker = 'next';</script>"));
  view_->loadHTMLStringBaseURL(
      "<script>var marker = 'first'; var fired = false;"
      "setTimeout(function () { fired = true; }, 5000);</script>",
      URL::create(url("/start.html")));
  ASSERT_TRUE(waitForEnd());
  delegate_->decide = [](const URLRequest& r, WebViewNavigationType) {
    return r.url().find("refuse") == std::string::npos;
  };

  struct Step {
    const char* script;
    std::vector<std::string> events;
    const char* marker;
  };
  const Step steps[] = {
      {"location = '/refuse.html'", {"should " + url("/refuse.html") + " 5 NO"}, "first"},
      {"location = 'panel://close'", {"should panel://close 5", "start", "fail -1002"}, "first"},
      {"location = 'next.html'", {"should " + url("/next.html") + " 5", "start", "finish"}, "next"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.script);
    delegate_->events.clear();
    eval(step.script);
    ASSERT_TRUE(waitForEnd());
    runUntilIdle();
    EXPECT_EQ(delegate_->events, step.events);
    EXPECT_EQ(eval("marker"), step.marker);
  }
  EXPECT_EQ(eval("location.href"), url("/next.html"));
  EXPECT_EQ(eval("document.referrer"), url("/start.html"));
  advance(10);  // the replaced page's timer died with it
  EXPECT_EQ(eval("typeof fired"), "undefined");

  // A script URL runs in the page on a later turn and never reaches the delegate.
  delegate_->events.clear();
  eval("location.href = 'javascript:marker%20=%20%22js%22'");
  EXPECT_EQ(eval("marker"), "next");
  runUntilIdle();
  EXPECT_EQ(eval("marker"), "js");
  EXPECT_TRUE(delegate_->events.empty());
}

TEST_F(WebViewTest, AReplacedPagesWaitingNavigationsDieWithIt) {
  // The old page asks for many commands at once; they reach the delegate one per turn, and the
  // new page commits while most still wait. None may arrive once the new page is showing.
  view_->loadHTMLStringBaseURL("<script>for (var i = 0; i < 200; i++) location = 'app://old' + i;</script>",
                               std::nullopt);
  refuseAppScheme();
  ASSERT_TRUE(runUntil([&] { return !delegate_->asked.empty() && delegate_->asked.back().url() == "app://old0"; }));
  delegate_->events.clear();
  view_->loadHTMLStringBaseURL("<script>var page = 'new';</script>", std::nullopt);
  ASSERT_TRUE(waitForFinish());
  runUntilIdle();
  const auto finished = std::find(delegate_->events.begin(), delegate_->events.end(), "finish");
  EXPECT_EQ(std::count_if(finished, delegate_->events.end(),
                          [](const std::string& e) { return e.find("app://old") != std::string::npos; }),
            0);
  EXPECT_LT(delegate_->asked.size(), 50u);
  EXPECT_EQ(eval("page"), "new");
}

TEST_F(WebViewTest, PageURLsTheParserRefusesAreEscapedNotDropped) {
  refuseAppScheme();
  view_->loadHTMLStringBaseURL(
      "<script>location = 'app://msg?text=50% off & \"more\"&ok=%41';"
      "window.open('app://x?p=%2');</script>",
      std::nullopt);
  ASSERT_TRUE(waitForEnd());
  runUntilIdle();
  EXPECT_EQ(delegate_->events,
            (std::vector<std::string>{"should about:blank 5", "start", "finish",
                                      "should app://msg?text=50%25%20off%20&%20%22more%22&ok=%41 5 NO",
                                      "should app://x?p=%252 5 NO"}));
}

TEST_F(WebViewTest, FileScriptsComeOnlyFromTheApplicationsFoldersAndOnlyForFilePages) {
  namespace fs = std::filesystem;
  fs::create_directories(home() + "/Documents/js");
  std::ofstream(home() + "/Documents/js/lib.js") << "order.push('inside');";
  // A script just outside the home, where a page climbing out would find it.
  const fs::path outside = fs::path(home()).parent_path() / ("outside-" + fs::path(home()).filename().string() + ".js");
  std::ofstream(outside) << "order.push('outside');";
  const std::string insideURL = URL::fileURLWithPath(home() + "/Documents/js/lib.js").absoluteString();
  const std::string outsideURL = URL::fileURLWithPath(outside.string()).absoluteString();
  struct Case {
    const char* name;
    std::string src;
    bool fromFilePage;
    const char* order;
    int refusals;
  } cases[] = {
      {"beside the page", "js/lib.js", true, "start,inside", 0},
      {"climbing out", "../../" + outside.filename().string(), true, "start", 1},
      {"absolute, outside", outsideURL, true, "start", 1},
      {"a system file", "file:///etc/hostname", true, "start", 1},
      {"a network page asking for a file", insideURL, false, "start", 1},
  };
  const std::string pagePath = home() + "/Documents/page.html";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string page = "<script>var order = ['start'];</script><script src=\"" + c.src + "\"></script>";
    platform::LogCapture log;
    delegate_->events.clear();
    if (c.fromFilePage) {
      std::ofstream(pagePath, std::ios::trunc) << page;
      view_->loadRequest(URLRequest(URL::fileURLWithPath(pagePath).absoluteString()));
    } else {
      view_->loadHTMLStringBaseURL(page, URL::create(url("/")));
    }
    ASSERT_TRUE(waitForFinish());
    EXPECT_EQ(eval("order.join()"), c.order);
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("Refused script") != std::string::npos; }),
              c.refusals);
  }
  fs::remove(outside);
}

// A page sending itself (or a tapped link) to a local file reaches the disk only when it
// came from a file itself; otherwise the load fails and the page stays where it was.
TEST_F(WebViewTest, OnlyPagesFromFilesNavigateToLocalFiles) {
  const std::string otherPath = home() + "/Documents/other.html";
  std::ofstream(otherPath) << "<script>var marker = 'file';</script>";
  const std::string other = URL::fileURLWithPath(otherPath).absoluteString();
  const std::string pagePath = home() + "/Documents/page.html";
  const std::string page = "<script>var marker = 'first';</script><a href=\"" + other + "\">go</a>";
  std::ofstream(pagePath) << page;
  struct Case {
    const char* name;
    std::function<void()> load;
    bool tap;
    const char* marker;
    std::vector<std::string> events;
  } cases[] = {
      {"a network page", [&] { view_->loadHTMLStringBaseURL(page, URL::create(url("/start.html"))); }, false, "first",
       {"should " + other + " 5", "start", "fail -1102"}},
      {"a string without base, by a tap", [&] { view_->loadHTMLStringBaseURL(page, std::nullopt); }, true, "first",
       {"should " + other + " 0", "start", "fail -1102"}},
      {"a file page", [&] { view_->loadRequest(URLRequest(URL::fileURLWithPath(pagePath).absoluteString())); }, false,
       "file", {"should " + other + " 5", "start", "finish"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.load();
    ASSERT_TRUE(waitForFinish());
    delegate_->events.clear();
    if (c.tap) {
      ASSERT_TRUE(view_->tapLinkWithURLForTesting(other));
    } else {
      eval("location = '" + other + "'");
    }
    ASSERT_TRUE(waitForEnd());
    runUntilIdle();
    EXPECT_EQ(delegate_->events, c.events);
    EXPECT_EQ(eval("marker"), c.marker);
  }
}

TEST_F(WebViewTest, ScriptsAPageAddsInBulkAreFetchedAFewAtATime) {
  // Each fetch is held unanswered until the test lets it go, one at a time in the order they
  // arrived: all the view allows at once stay open together, and each answer lets exactly one
  // more start.
  constexpr size_t kScripts = 30, kAtOnce = 6;
  std::vector<std::shared_ptr<testkit::AnswerHold>> holds;
  for (size_t i = 0; i < kScripts; ++i) holds.push_back(std::make_shared<testkit::AnswerHold>());
  auto arrived = std::make_shared<std::atomic<size_t>>(0);
  server_->setHandler("/bulk.js", [holds, arrived](const testkit::RecordedRequest& r) {
    auto answer = testkit::ScriptedAnswer::text("loaded.push(" + r.queryItem("n").value_or("-1") + ");");
    answer.hold = holds.at(std::min((*arrived)++, kScripts - 1));
    return answer;
  });
  auto waiting = [&] {
    size_t n = 0;
    for (const auto& hold : holds) n += hold->waiting();
    return n;
  };
  view_->loadHTMLStringBaseURL(
      "<script>var loaded = [];"
      "for (var n = 0; n < 30; n++) {"
      "  var s = document.createElement('script'); s.src = 'bulk.js?n=' + n; document.body.appendChild(s);"
      "}</script>",
      URL::create(url("/")));
  for (size_t released = 0; released < kScripts; ++released) {
    SCOPED_TRACE(released);
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(waiting(), std::min(kAtOnce, kScripts - released)) << "the view opens six fetches at once";
    EXPECT_EQ(server_->requestsTo("/bulk.js").size(), std::min(kScripts, kAtOnce + released));
    holds[released]->release();
  }
  ASSERT_TRUE(waitForEnd());
  ASSERT_TRUE(runUntil([&] { return eval("loaded.length") == "30"; }));
  // Each ran once, in whatever order they arrived, as added scripts do.
  std::string every;
  for (int n = 0; n < 30; ++n) every += (n ? "," : "") + std::to_string(n);
  EXPECT_EQ(eval("loaded.sort(function (a, b) { return a - b; }).join()"), every);
}

TEST_F(WebViewTest, EvaluationGoesToTheOldDocumentUntilTheNewOneCommits) {
  server_->setAnswer("/b.html", html("<script>var marker = 'b';</script>"));
  EXPECT_EQ(eval("1 + 1"), "2") << "the blank page a view has before its first load";
  view_->loadHTMLStringBaseURL("<script>var marker = 'a';</script>", std::nullopt);
  ASSERT_TRUE(waitForEnd());
  std::vector<std::string> seen;
  delegate_->events.clear();
  delegate_->react = [&](const std::string& e) { seen.push_back(e + ":" + eval("marker")); };
  view_->loadRequest(URLRequest(url("/b.html")));
  EXPECT_EQ(eval("marker"), "a");
  ASSERT_TRUE(waitForFinish());
  EXPECT_EQ(seen, (std::vector<std::string>{"should " + url("/b.html") + " 5:a", "start:a", "finish:b"}));
  EXPECT_EQ(view_->evaluatedScriptsForTesting().front(), "1 + 1");
  EXPECT_EQ(view_->evaluatedScriptsForTesting().size(), 5u);
  EXPECT_EQ(view_->documentSourceForTesting(), "<script>var marker = 'b';</script>");
}

TEST_F(WebViewTest, TheRecordOfEvaluatedScriptsKeepsOnlyTheLatest) {
  const size_t total = WebView::kEvaluatedScriptsKept * 3 + 7;
  for (size_t i = 0; i < total; ++i) eval("step(" + std::to_string(i) + ")");
  const auto& kept = view_->evaluatedScriptsForTesting();
  ASSERT_LE(kept.size(), WebView::kEvaluatedScriptsKept);
  ASSERT_GE(kept.size(), WebView::kEvaluatedScriptsKept * 9 / 10);
  for (size_t k = 0; k < kept.size(); ++k)
    EXPECT_EQ(kept[k], "step(" + std::to_string(total - kept.size() + k) + ")");
}

TEST_F(WebViewTest, PageBehaviourClientsRelyOn) {
  view_->loadHTMLStringBaseURL(
      "<html><body onload=\"record(&quot;loaded&quot;, &quot;a&amp;b&quot;)\">"
      "<img id=ad src=ad.png width=300 height=250>"
      "<script>var calls = [];"
      "function record(a, b) { calls.push(a + ':' + b); }"
      "setTimeout(function () { calls.push('timer'); }, 2000);"
      "window.onorientationchange = function () { calls.push('orientation:' + window.orientation); };"
      "</script></body></html>",
      std::nullopt);
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(eval("calls.join()"), "loaded:a&b");
  advance(1.999);
  EXPECT_EQ(eval("calls.length"), "1");
  advance(0.001);
  EXPECT_EQ(eval("calls.join()"), "loaded:a&b,timer");
  eval("window.__defineGetter__('orientation',function(){return -90;});window.onorientationchange();");
  EXPECT_EQ(eval("calls[2]"), "orientation:-90");
  EXPECT_EQ(eval("document.images[0].width + 'x' + document.images[0].height"), "300x250");

  struct Case {
    const char* script;
    const char* result;
  };
  const Case results[] = {
      {"6 * 7", "42"}, {"'str' + 'ing'", "string"}, {"undefined", ""}, {"null", ""},
      {"void 0", ""},  {"throw new Error('x')", ""}, {"1 +* 2", ""},    {"[1,2]", "1,2"},
      {"1.5", "1.5"},  {"false", "false"},
  };
  for (const auto& c : results) EXPECT_EQ(eval(c.script), c.result) << c.script;
}

TEST_F(WebViewTest, RunawayPagesAreStoppedWithoutFreezingTheHost) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread sanitizer defers the pre-emption signal indefinitely";
#endif
  platform::ScriptContext::Limits limits;
  limits.cpuSecondsPerEvaluation = 0.05;
  WebView::setScriptLimits(limits);
  view_->loadHTMLStringBaseURL("<body onload=\"loaded = true\"><script>var loaded = false;"
                               "for (;;) {}</script><script>var after = 1;</script></body>",
                               std::nullopt);
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(delegate_->events.back(), "finish");
  EXPECT_EQ(eval("loaded"), "");
  EXPECT_TRUE(view_->scriptContextForTesting()->wasTerminated());

  // The view loads the next page normally, and a client's runaway script is stopped too.
  delegate_->events.clear();
  view_->loadHTMLStringBaseURL("<script>var ok = 'yes';</script>", std::nullopt);
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(eval("ok"), "yes");
  EXPECT_EQ(eval("while (true) {}"), "");
  EXPECT_EQ(eval("ok"), "");
}

TEST_F(WebViewTest, HistoryStateFlagsAndTestHooks) {
  server_->setAnswer("/a.html", html("<a id=next href='b.html'>b</a><script>var page='a'</script>"));
  server_->setAnswer("/b.html", html("<script>var page='b'</script>"));
  EXPECT_FALSE(view_->canGoBack());
  EXPECT_FALSE(view_->request().has_value());
  for (const auto& view : {view_, WebView::create(platform::Rect(0, 0, 10, 10))}) {
    ASSERT_FALSE(view->subviews().empty());
    EXPECT_EQ(view->subviews()[0], view->scrollView());
    EXPECT_NE(std::dynamic_pointer_cast<platform::ScrollView>(view->subviews()[0]), nullptr);
  }

  view_->loadRequest(URLRequest(url("/a.html")));
  ASSERT_TRUE(waitForEnd());
  EXPECT_FALSE(view_->tapLinkWithURLForTesting("missing.html"));
  ASSERT_TRUE(view_->tapLinkWithElementIdForTesting("next"));
  ASSERT_TRUE(runUntil([&] { return eval("page") == "b"; }));
  EXPECT_TRUE(view_->canGoBack());
  EXPECT_FALSE(view_->canGoForward());
  EXPECT_EQ(view_->request()->url(), url("/b.html"));

  delegate_->events.clear();
  view_->goBack();
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(eval("page"), "a");
  EXPECT_TRUE(view_->canGoForward());
  view_->reload();
  ASSERT_TRUE(runUntil([&] { return delegate_->events.size() == 6; }));
  view_->injectNavigationForTesting(URLRequest(url("/b.html")), WebViewNavigationType::FormSubmitted);
  ASSERT_TRUE(runUntil([&] { return delegate_->events.size() == 9; }));
  EXPECT_EQ(delegate_->events,
            (std::vector<std::string>{"should " + url("/a.html") + " 2", "start", "finish",
                                      "should " + url("/a.html") + " 3", "start", "finish",
                                      "should " + url("/b.html") + " 1", "start", "finish"}));
  EXPECT_FALSE(view_->canGoForward()) << "a new page drops the forward list";

  view_->stopLoading();  // idle: nothing to report
  runUntilIdle();
  EXPECT_EQ(delegate_->events.size(), 9u);
}

TEST_F(WebViewTest, TheBackListKeepsTheLatestPagesWithTheMarkupGoingBackReplays) {
  // A view reloading its ad page for as long as the game runs.
  const size_t loads = WebView::kHistoryEntriesKept + 50;
  EXPECT_EQ(loadNumberedPagesThenGoBackAllTheWay(loads, ""), WebView::kHistoryEntriesKept - 1);
  EXPECT_EQ(eval("page"), std::to_string(loads - WebView::kHistoryEntriesKept)) << "the oldest kept page replays";
  view_->goForward();
  ASSERT_TRUE(runUntil([&] { return eval("page") == std::to_string(loads - WebView::kHistoryEntriesKept + 1); }));
}

TEST_F(WebViewTest, OnlyMarkupTheViewWasHandedCountsAsGivenMarkupAndOnlyItsLoadCallsAsHostLoaded) {
  EXPECT_EQ(eval("1"), "1");
  EXPECT_FALSE(view_->currentDocumentIsGivenMarkup()) << "the blank page of a view that never loaded";
  EXPECT_FALSE(view_->currentDocumentIsHostLoaded()) << "the blank page of a view that never loaded";
  const std::string base = url("/page.html");
  server_->setAnswer("/moved", testkit::ScriptedAnswer::redirect(url("/page.html")));
  struct Step {
    const char* name;
    std::function<void()> act;
    bool given;
    bool hostLoaded;
  };
  const Step steps[] = {
      {"a string load", [&] { view_->loadHTMLStringBaseURL("<p>ad</p>", URL::create(base)); }, true, true},
      {"the page going on to a URL of its own site",
       [&] { eval("window.location = '" + url("/page.html") + "';"); }, false, false},
      {"back to the markup", [&] { view_->goBack(); }, true, false},
      {"a reload of the markup", [&] { view_->reload(); }, true, false},
      {"a request for the very base URL of the markup",
       [&] { view_->loadRequest(URLRequest(url("/page.html"))); }, false, true},
      {"the page reloading what it was loaded from", [&] { eval("location.reload();"); }, false, false},
      {"a request the server redirects", [&] { view_->loadRequest(URLRequest(url("/moved"))); }, false, true},
      {"the page going on to the URL it was loaded from",
       [&] { eval("window.location = '" + url("/moved") + "';"); }, false, false},
      {"a data load",
       [&] {
         view_->loadDataMIMETypeTextEncodingNameBaseURL(platform::Bytes{'h', 'i'}, "text/html", "utf-8", std::nullopt);
       },
       true, true},
      {"about:blank asked for", [&] { view_->loadRequest(URLRequest("about:blank")); }, false, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    delegate_->events.clear();
    const bool before = view_->currentDocumentIsGivenMarkup();
    const bool hostLoadedBefore = view_->currentDocumentIsHostLoaded();
    step.act();
    // Until the new document commits, the old one (and what it was) stays.
    EXPECT_EQ(view_->currentDocumentIsGivenMarkup(), before);
    EXPECT_EQ(view_->currentDocumentIsHostLoaded(), hostLoadedBefore);
    ASSERT_TRUE(waitForFinish());
    EXPECT_EQ(view_->currentDocumentIsGivenMarkup(), step.given);
    EXPECT_EQ(view_->currentDocumentIsHostLoaded(), step.hostLoaded);
  }
}

TEST_F(WebViewTest, LargePagesLeaveTheBackListWithinItsBytes) {
  // Pages of a quarter of the byte budget: only the latest few fit, the current one always.
  const std::string filler(WebView::kHistoryBytesKept / 4, 'f');
  const size_t loads = 12;
  // Four pages are just over the budget (their markup has more than the filler), so three stay.
  EXPECT_EQ(loadNumberedPagesThenGoBackAllTheWay(loads, "<!--" + filler + "-->"), 2u);
  EXPECT_EQ(eval("page"), std::to_string(loads - 3)) << "the oldest kept page replays its markup";

  // A single page larger than the whole budget is still kept while it is the current one.
  const std::string huge(WebView::kHistoryBytesKept + 1, 'h');
  delegate_->events.clear();
  view_->loadHTMLStringBaseURL("<script>var page = 'huge';</script><!--" + huge + "-->", std::nullopt);
  ASSERT_TRUE(waitForEnd());
  EXPECT_FALSE(view_->canGoBack());
  delegate_->events.clear();
  view_->reload();
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(eval("page"), "huge");
}

TEST_F(WebViewTest, WhatThePageShowedIsKeptWithinItsBytesLatestFirst) {
  auto bytesOf = [](const std::vector<std::string>& texts) {
    size_t n = 0;
    for (const auto& t : texts) n += t.size();
    return n;
  };
  struct Case {
    const char* name;
    std::string call;  // the page's call, with `s` the text
    std::string prefix;
    const std::vector<std::string>& (WebView::*kept)() const;
  };
  const Case cases[] = {
      {"alert", "alert(s)", "", &WebView::alertsForTesting},
      {"console", "console.log(s)", "log: ", &WebView::consoleMessagesForTesting},
  };
  for (const auto& c : cases) {
    view_ = WebView::create(platform::Rect(0, 0, 320, 50));
    view_->setDelegate(delegate_);
    // Pages showing texts a little past the budget over and over, then a few short numbered
    // ones, reloaded. The texts stay small enough that the page is far inside its CPU budget
    // on a slow machine under a sanitizer.
    const size_t twoByteCharacters = WebView::kPageMessagesBytesKept / 2 + 1001;
    for (int load = 0; load < 3; ++load) {
      delegate_->events.clear();
      view_->loadHTMLStringBaseURL("<script>var s = new Array(" + std::to_string(twoByteCharacters) +
                                       ").join('\\u00e9');"
                                       "for (var i = 0; i < 4; ++i) " + c.call + ";</script>",
                                   std::nullopt);
      ASSERT_TRUE(waitForEnd()) << c.name;
      const auto& kept = ((*view_).*c.kept)();
      // The latest large text alone, cut to the budget on a character's boundary.
      ASSERT_EQ(kept.size(), 1u) << c.name;
      EXPECT_LE(kept[0].size(), WebView::kPageMessagesBytesKept) << c.name;
      EXPECT_GT(kept[0].size(), WebView::kPageMessagesBytesKept / 2) << c.name;
      EXPECT_EQ(kept[0].rfind(c.prefix + "\xC3\xA9", 0), 0u) << c.name;
      EXPECT_EQ(kept[0].substr(kept[0].size() - 2), "\xC3\xA9") << c.name;
      eval("for (var i = 0; i < 3; ++i) { s = 'short " + std::to_string(load) + ".' + i; " + c.call + "; }");
      ASSERT_GE(kept.size(), 3u) << c.name;
      EXPECT_LE(bytesOf(kept), WebView::kPageMessagesBytesKept) << c.name;
      for (int i = 0; i < 3; ++i)
        EXPECT_EQ(kept[kept.size() - 3 + i], c.prefix + "short " + std::to_string(load) + "." + std::to_string(i))
            << c.name;
    }
    // Many short lines: the latest are kept, in order, without a gap.
    delegate_->events.clear();
    view_->loadHTMLStringBaseURL("<script>for (var i = 0; i < 30000; ++i) { var s = 'n' + i; " + c.call +
                                     "; }</script>",
                                 std::nullopt);
    ASSERT_TRUE(waitForEnd()) << c.name;
    const auto& kept = ((*view_).*c.kept)();
    ASSERT_GE(kept.size(), 1000u) << c.name;
    EXPECT_LE(bytesOf(kept), WebView::kPageMessagesBytesKept) << c.name;
    for (size_t k = 0; k < kept.size(); ++k)
      ASSERT_EQ(kept[k], c.prefix + "n" + std::to_string(30000 - kept.size() + k)) << c.name;
  }
}

TEST_F(WebViewTest, TappingAScriptLinkRunsItAndRelabelsNoOtherNavigation) {
  view_->loadHTMLStringBaseURL("<a href=\"javascript:taps++\">run</a><script>var taps = 0;</script>",
                               std::nullopt);
  ASSERT_TRUE(waitForEnd());
  delegate_->events.clear();
  // A navigation the page queued is still waiting when the script link is tapped.
  eval("location = 'app://pending'");
  EXPECT_TRUE(view_->tapLinkWithURLForTesting("javascript:taps++"));
  runUntilIdle();
  EXPECT_EQ(delegate_->events, (std::vector<std::string>{"should app://pending 5", "start", "fail -1002"}));
  EXPECT_EQ(eval("taps"), "1");
  // With nothing queued, a tap on it only runs the script.
  delegate_->events.clear();
  EXPECT_TRUE(view_->tapLinkWithURLForTesting("javascript:taps++"));
  runUntilIdle();
  EXPECT_TRUE(delegate_->events.empty());
  EXPECT_EQ(eval("taps"), "2");
}

TEST_F(WebViewTest, ADelegateMayReleaseTheViewInsideItsCallbacks) {
  for (const char* moment : {"start", "finish", "should app://x 5"}) {
    SCOPED_TRACE(moment);
    auto view = WebView::create();
    std::weak_ptr<WebView> weak = view;
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->react = [&](const std::string& e) {
      if (e == moment) view.reset();
    };
    view->setDelegate(delegate);
    view->loadHTMLStringBaseURL("<script>location = 'app://x'; location = 'app://y';</script>",
                                std::nullopt);
    ASSERT_TRUE(settleTraffic());
    EXPECT_TRUE(weak.expired());
  }
}

}  // namespace

namespace {

TEST_F(WebViewTest, AViewThatNeverLoadedAnswersScriptsFromABlankPageWithoutTraffic) {
  WebView::setUserAgent("Agent/7 (probe)");
  auto fresh = WebView::create(platform::Rect(0, 0, 1, 1));
  auto delegate = std::make_shared<RecordingDelegate>();
  fresh->setDelegate(delegate);
  EXPECT_EQ(fresh->stringByEvaluatingJavaScriptFromString("navigator.userAgent"), "Agent/7 (probe)");
  EXPECT_EQ(fresh->stringByEvaluatingJavaScriptFromString("location.href + ' ' + document.readyState"),
            "about:blank complete");
  EXPECT_EQ(fresh->stringByEvaluatingJavaScriptFromString("var kept = 3; kept"), "3");
  EXPECT_EQ(fresh->stringByEvaluatingJavaScriptFromString("kept"), "3") << "one document for every call";
  runUntilIdle();
  EXPECT_TRUE(delegate->events.empty());
  EXPECT_FALSE(fresh->request().has_value());
  EXPECT_FALSE(fresh->isLoading());
  EXPECT_FALSE(fresh->canGoBack());
  EXPECT_EQ(server_->requestCount(), 0u);

  // So can a subclass inside its own constructor, before anything owns it.
  struct Probe : WebView {
    Probe() : WebView(platform::Rect{}) { agent = stringByEvaluatingJavaScriptFromString("navigator.userAgent"); }
    std::string agent;
  };
  EXPECT_EQ(std::make_shared<Probe>()->agent, "Agent/7 (probe)");

  // The first real load replaces the blank page.
  fresh->loadHTMLStringBaseURL("<script>var page = 'real';</script>", std::nullopt);
  ASSERT_TRUE(runUntil([&] { return delegate->ended(); }));
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"should about:blank 5", "start", "finish"}));
  EXPECT_EQ(fresh->stringByEvaluatingJavaScriptFromString("page + typeof kept"), "realundefined");
  EXPECT_FALSE(fresh->canGoBack()) << "the blank page is no history entry";
}

TEST_F(WebViewTest, ATapRunsTheClickHandlersAndFollowsTheLinkUnlessOneCancels) {
  const char kPage[] =
      "<body onclick=\"log.push('body')\">"
      "<a id=plain href='plain.html'>plain</a>"
      "<a id=returnsFalse href='r.html' onclick=\"log.push('a'); return false\">r</a>"
      "<a id=prevents href='p.html' onclick=\"event.preventDefault(); log.push('a')\">p</a>"
      "<a id=returnValue href='v.html' onclick=\"event.returnValue = false; log.push('a')\">v</a>"
      "<a id=entities href='e.html' onclick=\"log.push(&quot;e&amp;&quot; + (this.id))\">e</a>"
      "<a id=stops href='s.html' onclick=\"event.stopPropagation(); log.push('a')\">s</a>"
      "<a id=listened href='l.html'>l</a>"
      "<a id=replaced href='x.html' onclick=\"log.push('attribute')\">x</a>"
      "<button id=button onclick=\"log.push('button')\">b</button>"
      "<a id=wrap href='wrap.html'><span id=inner onclick=\"log.push('inner')\">w</span></a>"
      "<p id=opener onclick=\"openLink();\">o</p>"
      "<a id=throws href='t.html' onclick=\"log.push('a'); missing()\">t</a>"
      "<script>var log = []; function openLink() { document.location = 'app://opened'; }"
      "document.getElementById('listened').addEventListener('click', function (e) {"
      "  e.preventDefault(); log.push('listener:' + e.currentTarget.id); });"
      "document.getElementById('replaced').onclick = function () { log.push('property'); };"
      "</script></body>";
  const std::string base = "http://ads.example/dir/";
  // Link taps and the app scheme are refused, so each tap's navigation shows and loads nothing.
  delegate_->decide = [](const URLRequest& r, WebViewNavigationType t) {
    return t != WebViewNavigationType::LinkClicked && r.url().rfind("app:", 0) != 0;
  };
  view_->loadHTMLStringBaseURL(kPage, URL::create(base));
  ASSERT_TRUE(waitForEnd());

  struct Case {
    const char* tap;
    bool byURL;
    const char* log;
    std::string navigation;  // "" for none
  } cases[] = {
      {"plain", false, "body", "should " + base + "plain.html 0 NO"},
      {"plain.html", true, "body", "should " + base + "plain.html 0 NO"},
      {"r.html", true, "a,body", ""},
      {"returnsFalse", false, "a,body", ""},
      {"prevents", false, "a,body", ""},
      {"returnValue", false, "a,body", ""},
      {"entities", false, "e&entities,body", "should " + base + "e.html 0 NO"},
      {"stops", false, "a", "should " + base + "s.html 0 NO"},
      {"listened", false, "listener:listened,body", ""},
      {"replaced", false, "property,body", "should " + base + "x.html 0 NO"},
      {"button", false, "button,body", ""},
      {"inner", false, "inner,body", "should " + base + "wrap.html 0 NO"},
      {"opener", false, "body", "should app://opened 5 NO"},
      {"throws", false, "a,body", "should " + base + "t.html 0 NO"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tap);
    eval("log = []");
    delegate_->events.clear();
    EXPECT_TRUE(c.byURL ? view_->tapLinkWithURLForTesting(c.tap) : view_->tapLinkWithElementIdForTesting(c.tap));
    runUntilIdle();
    EXPECT_EQ(eval("log.join()"), c.log);
    EXPECT_EQ(delegate_->events, c.navigation.empty() ? std::vector<std::string>{}
                                                      : std::vector<std::string>{c.navigation});
  }
  EXPECT_FALSE(view_->tapLinkWithElementIdForTesting("nothing"));
  EXPECT_FALSE(view_->tapLinkWithURLForTesting("nothing.html"));
  EXPECT_EQ(eval("log.join()"), "a,body") << "a tap on nothing runs nothing";
}

}  // namespace
