#pragma once
// What the Pelora tests share: the sandbox server as the client's ad host, fixed device
// facts, and a listener that records what it hears.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ORMMAConnector.h"
#include "PELOAdDownloader.h"
#include "pelora/PELOAdListenerProtocol.h"
#include "pelora/PELOBannerView.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/device.h"
#include "platform/reachability.h"
#include "platform/system_info.h"
#include "platform/web_view.h"
#include "platform/window.h"
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

class PeloraTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    server = std::make_unique<testkit::PeloraServer>();
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
    testkit::SandboxTest::TearDown();
  }

  std::unique_ptr<testkit::PeloraServer> server;
  std::vector<Heard> heard;
};

// A slot on screen: a shown window, the master view filling it, and a banner view of
// 320 x 50 at y 100 in the master view, heard by a recording listener.
class PeloraSlotTest : public PeloraTest {
 protected:
  void SetUp() override {
    PeloraTest::SetUp();
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    master = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
    window->addSubview(master);
    view = pelora::PELOBannerView::create();
    view->setFrame(platform::Rect(0, 100, 320, 50));
    master->addSubview(view);
    view->addAdListener(listener);
    connector = view->ormmaConnectorForTesting();
  }

  // Asks for an ad and waits until the listener heard of it and its page ran its scripts;
  // the web view then shown.
  std::shared_ptr<platform::WebView> load() {
    const size_t before = heard.size();
    view->asyncLoadNewBanner();
    advance(pelora::PELOAdDownloader::kStartDelay);  // which lets the request and the page arrive
    EXPECT_GT(heard.size(), before);
    return std::dynamic_pointer_cast<platform::WebView>(view->currentViewForTesting());
  }
  // A user's finger on the middle of `webView`, through the window; true when it reached
  // the page (only a page shown on screen can be touched).
  bool touch(const std::shared_ptr<platform::WebView>& webView) {
    const platform::Rect r = window->convertRectFromView(webView->bounds(), webView);
    const platform::Point middle{r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2};
    auto hit = window->tapAtPoint(middle);
    return hit && (hit == webView || hit->isDescendantOfView(webView));
  }
  std::shared_ptr<platform::WebView> show(const testkit::PeloraAd& ad) {
    server->setAd(ad);
    return load();
  }

  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::View> master;
  std::shared_ptr<pelora::PELOBannerView> view;
  std::shared_ptr<pelora::ORMMAConnector> connector;
  std::shared_ptr<RecordingListener> listener = std::make_shared<RecordingListener>("host", &heard);
};

}  // namespace pelora_test
