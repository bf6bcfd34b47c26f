// The game's Quillon banner and an interstitial, against the Quillon sandbox server on
// loopback: the banner loads through the downloaded builder script, is shown, refreshes
// when the server says, and is tapped into the in-app browser and closed; the interstitial
// loads in the background, is shown full screen and closed.
#include <memory>
#include <string>

#include "platform/bars.h"
#include "platform/controls.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "quillon/QLBannerView.h"
#include "quillon/QLInterstitial.h"
#include "quillon/QLServerHosts.h"
#include "pacing.h"
#include "scenes.h"
#include "testing/quillon_server.h"
#include "timeline.h"
#include "view_tree.h"

namespace adhost {
namespace {

class BannerPrinter : public quillon::QLBannerViewDelegate {
 public:
  void adViewDidReceiveAd(const std::shared_ptr<quillon::QLBannerView>&) override {
    note("banner", "adViewDidReceiveAd:");
    ++received;
  }
  void adViewDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLBannerView>&,
                                         const platform::Error& error) override {
    notef("banner", "adView:didFailToReceiveAdWithError: %ld %@", error.code, error.localizedDescription());
  }
  void adViewWillPresentScreen(const std::shared_ptr<quillon::QLBannerView>&) override {
    note("banner", "adViewWillPresentScreen:");
  }
  void adViewWillDismissScreen(const std::shared_ptr<quillon::QLBannerView>&) override {
    note("banner", "adViewWillDismissScreen:");
  }
  void adViewDidDismissScreen(const std::shared_ptr<quillon::QLBannerView>&) override {
    note("banner", "adViewDidDismissScreen:");
    ++dismissed;
  }
  int received = 0;
  int dismissed = 0;
};

class InterstitialPrinter : public quillon::QLInterstitialDelegate {
 public:
  void interstitialDidReceiveAd(const std::shared_ptr<quillon::QLInterstitial>&) override {
    note("interstitial", "interstitialDidReceiveAd:");
  }
  void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLInterstitial>&,
                                               const platform::Error& error) override {
    notef("interstitial", "interstitial:didFailToReceiveAdWithError: %ld", error.code);
  }
  void interstitialWillPresentScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    note("interstitial", "interstitialWillPresentScreen:");
  }
  void interstitialWillDismissScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    note("interstitial", "interstitialWillDismissScreen:");
  }
  void interstitialDidDismissScreen(const std::shared_ptr<quillon::QLInterstitial>&) override {
    note("interstitial", "interstitialDidDismissScreen:");
    ++dismissed;
  }
  int dismissed = 0;
};

}  // namespace

bool runQuillonScene(const Options&) {
  heading("Quillon");
  testkit::QuillonServer server;
  quillon::QLServerHosts hosts;
  hosts.scriptHost = hosts.adServerHost = server.hostAndPort();
  quillon::QLServerHosts::setCurrent(hosts);
  notef("server", "sandbox Quillon server at %@", server.hostAndPort());
  server.setAdAnswer("<html><body><a id=\"ad\" href=\"" + server.url("/landing/ad-1") + "\">Fly further</a></body></html>",
                     {{"X-Quillon-Tracking-Urls", server.impressionURL("banner")}, {"X-Quillon-Refresh-Rate", "30"}});
  server.addClick("ad-1");

  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  auto root = platform::ViewController::create();
  window->setRootViewController(root);
  window->makeKeyAndVisible();

  auto printer = std::make_shared<BannerPrinter>();
  auto banner = quillon::QLBannerView::create(platform::Rect(0, 430, 320, 50));
  root->view()->addSubview(banner);
  banner->setAdUnitID("zavrellion-menu");
  banner->setDelegate(printer);
  banner->setRootViewController(root);
  note("game", "loadRequest: on the menu banner");
  banner->loadRequest(quillon::QLRequest::request());
  bool ok = passUntil([&] { return printer->received == 1; }, 10);
  passUntil([&] { return !server.requestsTo("/impression/banner").empty(); }, 5);
  notef("server", "builder script fetched %zu time(s), ad page %zu, impressions %zu",
        server.requestsTo(testkit::QuillonServer::kBuilderPath).size(),
        server.requestsTo(testkit::QuillonServer::kAdPath).size(), server.requestsTo("/impression/banner").size());

  note("demo", "thirty seconds pass: the server asked for a refresh every 30 s");
  pass(30.5);
  ok = passUntil([&] { return printer->received == 2; }, 10) && ok;
  notef("server", "ad page fetched %zu time(s)", server.requestsTo(testkit::QuillonServer::kAdPath).size());

  note("player", "taps the banner");
  window->touchDownAtPoint({20, 450});
  window->touchUpAtPoint({20, 450});
  pass(1);
  banner->webView()->tapLinkWithElementIdForTesting("ad");
  ok = passUntil([&] { return root->presentedViewController() != nullptr; }, 5) && ok;
  pass(1);
  note("player", "closes the in-app browser");
  if (auto presented = root->presentedViewController())
    if (auto toolbar = findView<platform::Toolbar>(presented->view()))
      for (const auto& item : toolbar->items())
        if (item->systemItem() == platform::BarButtonSystemItem::Done) item->tap();
  pass(1);
  ok = passUntil([&] { return printer->dismissed == 1; }, 5) && ok;

  heading("Quillon interstitial");
  auto interstitialPrinter = std::make_shared<InterstitialPrinter>();
  server.setAdAnswer("<html><body>Full-screen ad</body></html>", {{"X-Quillon-Orientation", "portrait"}});
  auto interstitial = quillon::QLInterstitial::create();
  interstitial->setDelegate(interstitialPrinter);
  interstitial->setAdUnitID("zavrellion-interstitial");
  note("game", "loadRequest: on the interstitial");
  interstitial->loadRequest(quillon::QLRequest::request());
  ok = passUntil([&] { return interstitial->isReady(); }, 10) && ok;
  note("game", "presentFromRootViewController:");
  interstitial->presentFromRootViewController(root);
  pass(1);
  ok = passUntil([&] { return root->presentedViewController() != nullptr; }, 5) && ok;
  note("player", "closes the interstitial");
  if (auto presented = root->presentedViewController())
    if (auto close = findView<platform::Button>(presented->view(), [](const platform::Button& b) { return b.currentImage() != nullptr; }))
      close->simulateTap();
  pass(1);
  ok = passUntil([&] { return interstitialPrinter->dismissed == 1; }, 5) && ok;
  banner->removeFromSuperview();
  return ok;
}

ADHOST_SCENE("quillon", 7, runQuillonScene);

}  // namespace adhost
