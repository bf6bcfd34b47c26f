#pragma once
// Shared set-up for the session tests: a sandbox, the Cadenzo sandbox server as the API
// endpoint, and the facade holding the server's credentials.
#include <memory>
#include <string>
#include <vector>

#include "CZAPIConnection.h"
#include "cadenzo/Cadenzo.h"
#include "testing/cadenzo_server.h"
#include "testing/sandbox_test.h"

namespace cztest {

class CZSessionTest : public testing::SandboxTest {
 protected:
  void SetUp() override {
    testing::SandboxTest::SetUp();
    server = std::make_unique<testing::CadenzoServer>();
    cadenzo::CZAPIConnection::setDefaultEndpoint(server->endpoint());
    facade = cadenzo::Cadenzo::sharedCadenzo();
    ASSERT_TRUE(facade);
    facade->setAppId(std::string(testing::CadenzoServer::kAppId));
    facade->setAppSignature(std::string(testing::CadenzoServer::kAppSignature));
  }
  void TearDown() override {
    server->stop();
    facade.reset();
    testing::SandboxTest::TearDown();
  }

  std::unique_ptr<testing::CadenzoServer> server;
  std::shared_ptr<cadenzo::Cadenzo> facade;
};

// Records the facade's notices as short lines ("cache Menu", "click more").
class NoticeListener : public cadenzo::CadenzoDelegate {
 public:
  void didCacheInterstitial(const std::string& l) override { events.push_back("cache " + l); }
  void didFailToLoadInterstitial(const std::string& l) override { events.push_back("fail " + l); }
  void didDismissInterstitial(const std::string& l) override { events.push_back("dismiss " + l); }
  void didCloseInterstitial(const std::string& l) override { events.push_back("close " + l); }
  void didClickInterstitial(const std::string& l) override { events.push_back("click " + l); }
  void didFailToLoadMoreApps() override { events.push_back("fail more"); }
  void didDismissMoreApps() override { events.push_back("dismiss more"); }
  void didCloseMoreApps() override { events.push_back("close more"); }
  void didClickMoreApps() override { events.push_back("click more"); }
  std::vector<std::string> events;
};

// Records what a connection tells its delegate.
class RecordingConnectionDelegate : public cadenzo::CZAPIConnectionDelegate {
 public:
  struct Event {
    bool answered;
    std::shared_ptr<cadenzo::CZAPIRequest> request;
    platform::Dictionary response;
  };
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
