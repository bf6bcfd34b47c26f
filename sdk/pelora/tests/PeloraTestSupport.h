#pragma once
// What the Pelora tests share: the sandbox server as the client's ad host, fixed device
// facts, and a listener that records what it hears.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pelora/PELOAdListenerProtocol.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/device.h"
#include "platform/reachability.h"
#include "platform/system_info.h"
#include "testing/pelora_server.h"
#include "testing/sandbox_test.h"

namespace pelora_test {

struct Heard {
  std::string who;
  std::weak_ptr<pelora::PELOAdDownloaderProtocol> sender;  // weak: a listener keeps no sender alive
  std::shared_ptr<pelora::PELOReceivedBannerProtocol> banner;
};

struct RecordingListener : pelora::PELOAdListenerProtocol {
  RecordingListener(std::string name, std::vector<Heard>* log) : name(std::move(name)), log(log) {}
  void onReceiveAdWithReceivedBanner(const std::shared_ptr<pelora::PELOAdDownloaderProtocol>& sender,
                                     const std::shared_ptr<pelora::PELOReceivedBannerProtocol>& banner) override {
    log->push_back({name, sender, banner});
    if (then) then();
  }
  std::string name;
  std::vector<Heard>* log;
  std::function<void()> then;
};

class PeloraTest : public testing::SandboxTest {
 protected:
  void SetUp() override {
    testing::SandboxTest::SetUp();
    server = std::make_unique<testing::PeloraServer>();
    pelora::PELOGlobalSettings::globalSettings()->setAdHost(server->host());
    auto& device = platform::Device::currentDevice();
    device.setSystemVersion("4.3");
    device.setUniqueIdentifier("udid-1");
    platform::SystemInfo::setProbe("hw.machine", platform::Value("iPhone3,1"));
    platform::NetworkInterface en0;
    en0.name = "en0";
    en0.up = true;
    en0.hardwareAddress = platform::Bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    platform::SystemInfo::setNetworkInterfaces(std::vector<platform::NetworkInterface>{en0});
    platform::Reachability::setNetwork(platform::Reachability::Network::WiFi);
  }
  void TearDown() override {
    server->stop();
    testing::SandboxTest::TearDown();
  }

  std::unique_ptr<testing::PeloraServer> server;
  std::vector<Heard> heard;
};

}  // namespace pelora_test
