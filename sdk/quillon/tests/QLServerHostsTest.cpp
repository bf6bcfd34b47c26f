// The hosts a host application configures: each reaches the client's configuration without
// touching its other settings, and a banner's requests go to the hosts set, over loopback.
#include <gtest/gtest.h>

#include "QLConfiguration.h"
#include "platform/view_controller.h"
#include "quillon/QLBannerView.h"
#include "quillon/QLServerHosts.h"
#include "testing/quillon_server.h"
#include "testing/sandbox_test.h"

namespace {

using quillon::QLConfiguration;
using quillon::QLServerHosts;
using testkit::QuillonServer;

class QLServerHostsTest : public testkit::SandboxTest {};

struct Received : quillon::QLBannerViewDelegate {
  void adViewDidReceiveAd(const std::shared_ptr<quillon::QLBannerView>&) override { ++ads; }
  void adViewDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLBannerView>&, const platform::Error&) override {
    ++failures;
  }
  int ads = 0;
  int failures = 0;
};

TEST_F(QLServerHostsTest, EachHostReachesTheConfigurationAndNothingElseChanges) {
  auto configuration = QLConfiguration::current();
  configuration.loadTimeout = 7.0;
  QLConfiguration::setCurrent(configuration);
  const QLServerHosts defaults;
  struct Case {
    std::string QLServerHosts::*host;
    std::string value;
  };
  const Case cases[] = {
      {&QLServerHosts::adServerHost, "ads.test:8081"},
      {&QLServerHosts::scriptHost, "scripts.test:8082"},
      {&QLServerHosts::networkCheckHost, "net.test"},
      {&QLServerHosts::clickServerDomainSuffix, ".clicks.test"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    QLServerHosts hosts;
    hosts.*c.host = c.value;
    QLServerHosts::setCurrent(hosts);
    const QLConfiguration now = QLConfiguration::current();
    for (const auto& other : cases) EXPECT_EQ(now.*other.host, other.host == c.host ? c.value : defaults.*other.host);
    EXPECT_EQ(QLServerHosts::current().*c.host, c.value);
    EXPECT_EQ(now.loadTimeout, 7.0);
  }
}

TEST_F(QLServerHostsTest, ABannerAsksTheScriptHostForItsBuilderAndTheAdServerForItsPage) {
  // Two servers, so each request shows which host it went to. The builder script names the ad
  // page on the origin of the page it runs in, which is the ad server.
  QuillonServer scripts;
  QuillonServer ads;
  scripts.setBuilderScript(
      "function QL_buildAdURL(p) {\n"
      "  var ad = location.origin + '" + std::string(QuillonServer::kAdPath) + "?slot=' + encodeURIComponent(p.slotname || '');\n"
      "  window.location = 'qmsg:///loadAdURL?url=' + encodeURIComponent(ad) + '&type=quillon';\n"
      "}\n");
  ads.setAdPage("<html><body>from the ad server</body></html>");
  QLServerHosts hosts;
  hosts.scriptHost = scripts.hostAndPort();
  hosts.adServerHost = ads.hostAndPort();
  QLServerHosts::setCurrent(hosts);

  auto received = std::make_shared<Received>();
  auto root = platform::ViewController::create();
  auto banner = quillon::QLBannerView::create(platform::Rect(0, 0, 320, 50));
  banner->setAdUnitID("slot-1");
  banner->setDelegate(received);
  banner->setRootViewController(root);
  banner->loadRequest(quillon::QLRequest::request());
  ASSERT_TRUE(runUntil([&] { return received->ads + received->failures > 0; }));

  EXPECT_EQ(received->ads, 1);
  EXPECT_EQ(scripts.requestsTo(QuillonServer::kBuilderPath).size(), 1u);
  EXPECT_TRUE(scripts.requestsTo(QuillonServer::kAdPath).empty());
  EXPECT_TRUE(ads.requestsTo(QuillonServer::kBuilderPath).empty());
  ASSERT_EQ(ads.requestsTo(QuillonServer::kAdPath).size(), 1u);
  EXPECT_EQ(ads.requestsTo(QuillonServer::kAdPath)[0].queryItem("slot"), "slot-1");
}

}  // namespace
