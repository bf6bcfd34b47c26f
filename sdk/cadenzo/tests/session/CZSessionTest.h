#pragma once
// Shared set-up for the session tests: a sandbox, the Cadenzo sandbox server as the API
// endpoint, and the facade holding the server's credentials.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CZAPIConnection.h"
#include "cadenzo/Cadenzo.h"
#include "testing/cadenzo_server.h"
#include "testing/sandbox_test.h"

namespace cztest {

// An answer the server never sends.
inline testkit::ScriptedAnswer silence() {
  testkit::ScriptedAnswer s;
  s.stall = true;
  return s;
}

class CZSessionTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    server = std::make_unique<testkit::CadenzoServer>();
    configureFacade();
  }
  // The server as the endpoint, and the facade holding its credentials.
  void configureFacade() {
    cadenzo::CZAPIConnection::setDefaultEndpoint(server->endpoint());
    facade = cadenzo::Cadenzo::sharedCadenzo();
    ASSERT_TRUE(facade);
    facade->setAppId(std::string(testkit::CadenzoServer::kAppId));
    facade->setAppSignature(std::string(testkit::CadenzoServer::kAppSignature));
  }
  void TearDown() override {
    server->stop();
    facade.reset();
    testkit::SandboxTest::TearDown();
  }
  std::unique_ptr<testkit::CadenzoServer> server;
  std::shared_ptr<cadenzo::Cadenzo> facade;
};

using Timeline = std::vector<std::string>;

// Writes the facade's notices, and the questions it answers, to a timeline
// ("shouldDisplayMoreApps", "didCacheInterstitial:Menu"): its own or one it shares. It
// answers the questions listed in `answers` (by method name); any other is "not implemented".
class RecordingCadenzoDelegate : public cadenzo::CadenzoDelegate {
 public:
  RecordingCadenzoDelegate() : timeline(own) {}
  explicit RecordingCadenzoDelegate(Timeline& t) : timeline(t) {}
  RecordingCadenzoDelegate(const RecordingCadenzoDelegate&) = delete;
  using Answer = std::optional<bool>;
  Answer ask(const std::string& name, const std::string& arg = "") {
    auto it = answers.find(name);
    if (it == answers.end()) return std::nullopt;
    note(name, arg);
    return it->second;
  }
  void note(const std::string& name, const std::string& arg = "") {
    timeline.push_back(name + (arg.empty() ? "" : ":" + arg));
  }
  Answer shouldRequestInterstitial(const std::string& l) override { return ask("shouldRequestInterstitial", l); }
  Answer shouldRequestInterstitialsInFirstSession() override { return ask("shouldRequestInterstitialsInFirstSession"); }
  Answer shouldDisplayInterstitial(const std::string& l) override { return ask("shouldDisplayInterstitial", l); }
  Answer shouldDisplayMoreApps() override { return ask("shouldDisplayMoreApps"); }
  Answer shouldDisplayLoadingViewForMoreApps() override { return ask("shouldDisplayLoadingViewForMoreApps"); }
  void didCacheInterstitial(const std::string& l) override { note("didCacheInterstitial", l); }
  void didCacheMoreApps() override { note("didCacheMoreApps"); }
  void didFailToLoadInterstitial(const std::string& l) override { note("didFailToLoadInterstitial", l); }
  void didFailToLoadMoreApps() override { note("didFailToLoadMoreApps"); }
  void didDismissInterstitial(const std::string& l) override { note("didDismissInterstitial", l); }
  void didCloseInterstitial(const std::string& l) override { note("didCloseInterstitial", l); }
  void didClickInterstitial(const std::string& l) override { note("didClickInterstitial", l); }
  void didDismissMoreApps() override { note("didDismissMoreApps"); }
  void didCloseMoreApps() override { note("didCloseMoreApps"); }
  void didClickMoreApps() override { note("didClickMoreApps"); }

  Timeline own;
  Timeline& timeline;
  std::map<std::string, bool> answers;
};

// Records what a connection tells its delegate.
class RecordingConnectionDelegate : public cadenzo::CZAPIConnectionDelegate {
 public:
  struct Event { bool answered; std::shared_ptr<cadenzo::CZAPIRequest> request; platform::Dictionary response; };
  void didReceiveAPIResponseForRequest(const platform::Dictionary& response,
                                       const std::shared_ptr<cadenzo::CZAPIRequest>& request) override {
    events.push_back({true, request, response});
  }
  void didFailToReceiveAPIResponseForRequest(const std::shared_ptr<cadenzo::CZAPIRequest>& request) override {
    events.push_back({false, request, {}});
  }
  size_t failures() const {
    size_t n = 0;
    for (const auto& e : events) n += e.answered ? 0 : 1;
    return n;
  }
  std::vector<Event> events;
};

}  // namespace cztest
