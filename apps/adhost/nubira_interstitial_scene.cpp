// A Nubira interstitial loaded in advance and shown when the game chooses: the sandbox ad
// server answers a full-screen rich-media ad, the page hears that it is shown, the player
// taps the close button, and the page hears that it is hidden.
#include <memory>
#include <string>

#include "nubira/NBAdInterstitial.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "platform/controls.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "pacing.h"
#include "scenes.h"
#include "testing/nubira_server.h"
#include "timeline.h"

namespace adhost {
namespace {

class InterstitialManager : public nubira::NBAdInterstitialDelegate {
 public:
  void interstitialDidFinishRequest(nubira::NBAdInterstitial& ad) override {
    ready = true;
    notef("manager", "interstitial ready (state %d)", ad.state());
  }
  void interstitialDidFailToReceiveAdWithError(nubira::NBAdInterstitial&, const platform::Error& error) override {
    ++failed;
    notef("manager", "no interstitial: %ld \"%@\"", error.code, error.domain);
  }
  void interstitialWillPresentScreen(nubira::NBAdInterstitial&) override { note("manager", "game paused"); }
  void interstitialWillDismissScreen(nubira::NBAdInterstitial&) override { note("manager", "ad closing"); }
  void interstitialDidDismissScreen(nubira::NBAdInterstitial& ad) override {
    dismissed = true;
    notef("manager", "game resumed (state %d)", ad.state());
  }
  bool ready = false;
  bool dismissed = false;
  int failed = 0;
};

}  // namespace

bool runNubiraInterstitialScene(const Options&) {
  heading("Nubira interstitial");
  testkit::NubiraServer server;
  nubira::NBAdView::setServers(server.url(""), server.url(""));

  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  auto root = std::make_shared<platform::ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();

  auto manager = std::make_shared<InterstitialManager>();
  auto ad = nubira::NBAdInterstitial::create();
  ad->setNbAppId("demo-site");
  ad->setDelegate(manager);
  note("manager", "presentFromRootViewController before loading");
  ad->presentFromRootViewController(root);
  note("manager", "loadRequest");
  ad->loadRequest(nubira::NBAdRequest::request());
  bool ok = passUntil([&] { return manager->ready; }, 10);
  if (!ok) return false;

  note("manager", "presentFromRootViewController");
  ad->presentFromRootViewController(root);
  pass(platform::kModalTransitionDuration);
  const auto page = ad->webViewForTesting();
  notef("page", "heard %@", page->stringByEvaluatingJavaScriptFromString("heard.join(', ')"));
  ok = ok && root->presentedViewController() != nullptr && ad->state() == nubira::NBAdInterstitialStateActive;

  note("player", "taps the close button");
  ad->closeButtonForTesting()->simulateTap();
  pass(platform::kModalTransitionDuration);
  notef("page", "heard %@", page->stringByEvaluatingJavaScriptFromString("heard.join(', ')"));
  notef("ad server", "%zu interstitial requests", server.requestsTo(testkit::NubiraServer::kAdPath).size());
  ad->setDelegate({});
  server.stop();
  window->setHidden(true);
  return ok && manager->dismissed && manager->failed == 1 && ad->state() == nubira::NBAdInterstitialStateInit &&
         root->presentedViewController() == nullptr;
}

ADHOST_SCENE("nubira interstitial", 13, runNubiraInterstitialScene);

}  // namespace adhost
