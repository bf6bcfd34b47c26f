// Clicks over loopback: where a redirect chain ends, the action type of its first redirect,
// unloadable targets, loops, failures, and a click request used twice.
#include <gtest/gtest.h>

#include "NBHttpClickRequest.h"
#include "NBRecorder.h"
#include "NBRequestFixtures.h"
#include "platform/url_connection.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using testkit::ScriptedAnswer;

class NBHttpClickRequestTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    info = nubiratest::filledUserInfo();
    click->setDelegate(recorder);
  }
  void clickOn(const std::string& url) {
    recorder->events.clear();
    recorder->clickUrl.reset();
    recorder->clickAction.reset();
    click->setupRequestUserDataAdRequestRequestMethodRequestType(url, info, nullptr, "POST", 2);
    click->sendRequest();
    settleTraffic();
    ASSERT_TRUE(!recorder->events.empty() && !click->isRunning());
    runUntilIdle();
  }

  testkit::NubiraServer server;
  std::shared_ptr<nubira::NBUserInfo> info;
  std::shared_ptr<nubira::NBHttpClickRequest> click = nubira::NBHttpClickRequest::create();
  std::shared_ptr<nubiratest::Recorder> recorder = std::make_shared<nubiratest::Recorder>();
};

TEST_F(NBHttpClickRequestTest, WhereTheRedirectsEnd) {
  struct Case {
    const char* name;
    std::string url;
    std::string event;
    std::optional<std::string> finalUrl;
    std::optional<std::string> action;
  };
  server.http().setAnswer("/plain", ScriptedAnswer::text("no redirect"));
  server.http().setAnswer("/app", ScriptedAnswer::redirect("market://details?id=7&ref=nb"));
  const Case cases[] = {
      {"three hops", server.addClickChain("c", 3, "3"), "click finished", server.url("/landing/c?a=1&b=2"), "3"},
      {"one hop", server.addClickChain("d", 1, "1"), "click finished", server.url("/landing/d?a=1&b=2"), "1"},
      {"no action type", server.addClickChain("e", 2, std::nullopt), "click finished",
       server.url("/landing/e?a=1&b=2"), std::nullopt},
      {"no redirect", server.url("/plain"), "click finished", std::nullopt, std::nullopt},
      {"unloadable target", server.url("/app"), "click finished", "market://details?id=7", std::nullopt},
      {"nothing listening", "http://127.0.0.1:1/nbclick", "click failed", std::nullopt, std::nullopt},
      {"no URL at all", "http://bad host/", "click failed", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clickOn(c.url);
    EXPECT_EQ(recorder->events, std::vector<std::string>{c.event});
    EXPECT_EQ(recorder->clickUrl, c.finalUrl);
    EXPECT_EQ(recorder->clickAction, c.action);
  }
  // The click posts the application part and nothing else.
  auto first = server.requestsTo("/nbclick/c/0");
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].method, "POST");
  EXPECT_EQ(first[0].body.rfind("nb-siteid=site%2D42&nb-ad-slot=15&", 0), 0u);
  EXPECT_NE(first[0].body.find("&requestactivity=adclick"), std::string::npos);
}

// A chain with no end has no destination: the click fails, with no address, once the loop is
// seen or the redirect limit is passed, and no further hop is asked for.
TEST_F(NBHttpClickRequestTest, EndlessRedirectsFailTheClick) {
  server.http().setAnswer("/ring/a", ScriptedAnswer::redirect(server.url("/ring/b?x=1&y=2")));
  server.http().setAnswer("/ring/b", ScriptedAnswer::redirect(server.url("/ring/a")));
  const std::tuple<const char*, std::string, std::string, size_t> cases[] = {
      {"to itself", server.addSelfRedirect("loop"), "/nbclick/loop/0", 3},
      {"two addresses in a ring", server.url("/ring/a"), "/ring/a",
       platform::URLConnection::kMaxRedirects / 2 + 1},
  };
  for (const auto& [name, url, path, most] : cases) {
    SCOPED_TRACE(name);
    clickOn(url);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"click failed"});
    EXPECT_EQ(recorder->clickUrl, std::nullopt);
    EXPECT_GE(server.requestsTo(path).size(), 2u);
    EXPECT_LE(server.requestsTo(path).size(), most);
  }
}

TEST_F(NBHttpClickRequestTest, AReusedRequestStartsClean) {
  clickOn(server.addClickChain("first", 2, "5"));
  EXPECT_EQ(recorder->clickAction, "5");
  server.http().setAnswer("/plain", ScriptedAnswer::text("no redirect"));
  clickOn(server.url("/plain"));
  EXPECT_EQ(recorder->events, std::vector<std::string>{"click finished"});
  EXPECT_EQ(recorder->clickUrl, std::nullopt);
  EXPECT_EQ(recorder->clickAction, std::nullopt);
  EXPECT_EQ(click->requestUrl(), server.url("/plain"));
}

}  // namespace
