// The Nubira adapter on a banner view: it asks for an ad, the sandbox ad server answers a
// rich-media ad whose page talks to the banner through its MRAID object, and twenty-one
// seconds of (virtual) time later a plain banner replaces it with a transition.
#include <memory>
#include <string>

#include "nubira/NBAdError.h"
#include "nubira/NBAdView.h"
#include "platform/run_loop.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "scenes.h"
#include "testing/nubira_server.h"
#include "timeline.h"

namespace adhost {
namespace {

class Adapter : public nubira::NBAdDelegate {
 public:
  void adViewDidFinishRequest(nubira::NBAdView&) override {
    ++shown;
    note("adapter", "ad shown");
  }
  void adViewDidFailRequestWithError(nubira::NBAdView&, const platform::Error& error) override {
    ++failed;
    notef("adapter", "no ad: %ld \"%@\"", error.code, error.domain);
  }
  int shown = 0;
  int failed = 0;
};

}  // namespace

bool runNubiraScene(const Options&) {
  heading("Nubira");
  auto& loop = platform::RunLoop::main();
  testing::NubiraServer server;
  nubira::NBAdView::setServers(server.url(""), server.url(""));
  server.setAdReply(
      "<?xml version=\"1.0\"?><Response><Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\"><![CDATA["
      "<div id=\"nb_c\">Turbo rocket</div><script>mraid.log('creative ready, state ' + mraid.getState());"
      "mraid.asyncPing('http://127.0.0.1/ping');</script>]]></Ad></Response>");

  auto adapter = std::make_shared<Adapter>();
  auto root = std::make_shared<platform::ViewController>();
  auto banner = nubira::NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(platform::Rect(0, 0, 320, 50),
                                                                                  "demo-site", 15, root);
  banner->setDelegate(adapter);
  note("adapter", "loadNBAdRequest");
  banner->loadNBAdRequest();
  bool ok = loop.runUntil([&] { return adapter->shown == 1; }, 10.0);
  const auto page = banner->webView1ForTesting();
  notef("page", "window.mraidview is %@", page->stringByEvaluatingJavaScriptFromString("typeof window.mraidview"));

  note("adapter", "loadNBAdRequest again at once");
  banner->loadNBAdRequest();
  note("demo", "twenty-one seconds pass");
  loop.advance(21);
  server.setAdReply(testing::NubiraServer::kBannerReply);
  banner->loadNBAdRequest();
  ok = ok && loop.runUntil([&] { return adapter->shown == 2; }, 10.0);
  notef("ad server", "%zu ad requests", server.requestsTo(testing::NubiraServer::kAdPath).size());
  banner->setDelegate({});
  server.stop();
  return ok && adapter->failed == 1 && banner->webView2ForTesting()->superview() == banner;
}

ADHOST_SCENE("nubira", 12, runNubiraScene);

}  // namespace adhost
