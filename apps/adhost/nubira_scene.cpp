// The Nubira adapter on a banner view in the game's window: the sandbox ad server answers a
// rich-media ad whose page talks to the banner through its MRAID object; twenty-one seconds
// of (virtual) time later a plain banner replaces it with a transition, and a tap on it opens
// the landing page in the in-app browser. Then the player touches a rich-media ad, which expands
// over the window, and closes it back into its place.
#include <memory>
#include <string>

#include "nubira/NBAdError.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/bars.h"
#include "platform/navigation_controller.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "pacing.h"
#include "scenes.h"
#include "testing/nubira_server.h"
#include "timeline.h"
#include "view_tree.h"

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
  void adViewWillPresentScreen(nubira::NBAdView&) override { note("adapter", "the banner presents a screen"); }
  void adViewWillDismissScreen(nubira::NBAdView&) override { note("adapter", "the screen will go"); }
  void adViewDidDismissScreen(nubira::NBAdView&) override {
    ++dismissed;
    note("adapter", "the screen is gone");
  }
  int shown = 0;
  int failed = 0;
  int dismissed = 0;
};

std::string richMediaReply(const std::string& markup) {
  return "<?xml version=\"1.0\"?><Response><Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\"><![CDATA[" +
         markup + "]]></Ad></Response>";
}

}  // namespace

bool runNubiraScene(const Options&) {
  heading("Nubira");
  testkit::NubiraServer server;
  nubira::NBAdView::setServers(server.url(""), server.url(""));
  server.setAdReply(richMediaReply(
      "<div id=\"nb_c\">Turbo rocket</div><script>mraid.log('creative ready, state ' + mraid.getState());"
      "mraid.asyncPing('http://127.0.0.1/ping');</script>"));

  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  auto root = std::make_shared<platform::ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  auto adapter = std::make_shared<Adapter>();
  auto banner = nubira::NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(platform::Rect(0, 410, 320, 50),
                                                                                  "demo-site", 15, root);
  banner->setDelegate(adapter);
  note("adapter", "loadNBAdRequest");
  banner->loadNBAdRequest();
  bool ok = passUntil([&] { return adapter->shown == 1; }, 10);
  const auto page = banner->webView1ForTesting();
  notef("page", "window.mraidview is %@", page->stringByEvaluatingJavaScriptFromString("typeof window.mraidview"));

  note("adapter", "loadNBAdRequest again at once");
  banner->loadNBAdRequest();
  note("demo", "twenty-one seconds pass");
  pass(21);
  const std::string click = server.addClickChain("demo", 2, std::string("2"));
  server.setAdReply("<?xml version=\"1.0\"?><Response><Ad type=\"banner\" actionType=\"1\" width=\"320\" "
                    "height=\"50\"><AdURL>" + click + "</AdURL><![CDATA[<img src=\"b.png\">]]></Ad></Response>");
  note("game", "puts the banner in its menu");
  root->view()->addSubview(banner);
  pass(0.5);
  ok = ok && passUntil([&] { return adapter->shown == 2; }, 10);
  notef("ad server", "%zu ad requests", server.requestsTo(testkit::NubiraServer::kAdPath).size());

  note("player", "taps the banner");
  window->tapAtPoint(platform::Point{160, 450});
  ok = ok && passUntil([&] { return banner->browserForTesting() != nullptr; }, 10);
  pass(platform::kModalTransitionDuration);
  // Once by the click's redirects, once by the browser.
  ok = ok && passUntil([&] { return server.requestsTo("/landing/demo").size() == 2; }, 10);
  notef("server", "the landing page was asked for %zu times", server.requestsTo("/landing/demo").size());
  printViewTree(window);
  note("player", "taps the browser's close button, the first of its toolbar");
  auto navigation = std::dynamic_pointer_cast<platform::NavigationController>(root->presentedViewController());
  auto browser = navigation ? navigation->topViewController() : nullptr;
  ok = ok && browser && !browser->toolbarItems().empty() && browser->toolbarItems().front()->tap();
  browser.reset();
  navigation.reset();
  pass(platform::kModalTransitionDuration);
  ok = ok && passUntil([&] { return adapter->dismissed == 1; }, 10);

  note("demo", "twenty-one seconds pass");
  pass(21);
  server.setAdReply(richMediaReply("<div id=\"nb_c\">Tap to grow</div>"));
  banner->loadNBAdRequest();
  ok = ok && passUntil([&] { return adapter->shown == 3; }, 10);
  // The page grows only for the player who touched it.
  note("player", "taps the rich-media ad");
  window->tapAtPoint(platform::Point{160, 435});
  note("page", "mraid.expand(null, {width: 320, height: 300})");
  const auto richPage = banner->webView1ForTesting()->superview() == banner ? banner->webView1ForTesting()
                                                                            : banner->webView2ForTesting();
  richPage->stringByEvaluatingJavaScriptFromString("mraid.expand(null, {width: 320, height: 300});");
  settle();
  const auto expanded = banner->frame();
  notef("banner", "expanded to (%.0f, %.0f) %.0f x %.0f in the window", expanded.origin.x, expanded.origin.y,
        expanded.size.width, expanded.size.height);
  ok = ok && banner->superview() == window && banner->adCloseButtonForTesting();
  note("player", "taps the close button");
  window->tapAtPoint(platform::Point{expanded.origin.x + 5, expanded.origin.y + 5});
  settle();
  notef("banner", "back in the menu at (%.0f, %.0f)", banner->frame().origin.x, banner->frame().origin.y);
  ok = ok && banner->superview() == root->view() && adapter->dismissed == 2;

  banner->setDelegate({});
  banner->removeFromSuperview();
  // The scenes after this one start without a window of ours.
  window->setHidden(true);
  server.stop();
  return ok && adapter->failed == 1;
}

ADHOST_SCENE("nubira", 12, runNubiraScene);

}  // namespace adhost
