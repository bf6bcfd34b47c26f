// A hostile ad page in the real web view: it clicks its own links, forges link clicks, opens
// store links and fires commands in a loop. Only the user's touch on the shown ad makes a
// click (the notification, the report, the browser), one per touch; an ad that is not on
// screen acts for nobody; the browser hands a URL to the system only for the user's touch.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "KvBrowserView.h"
#include "KvFullScreenView.h"
#include "KvTestSupport.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/web_view.h"

namespace kelvane {
namespace {

using testkit::ScriptedAnswer;
using platform::WebViewNavigationType;

constexpr const char* kStore = "itms-apps://store.example/app/7";

class KvUserActivationTest : public KvTest {
 protected:
  void SetUp() override {
    KvTest::SetUp();
    landing = server.url(testkit::KelvaneServer::kLandingPath);
    // On the banner a tap on "ad" also runs its handler, which clicks the store link twenty
    // times. (On the full-screen ad a store link that fails to load would close the ad.)
    server.http().setAnswer(testkit::KelvaneServer::kBannerPath,
                            page(" onclick=\"for (var i = 0; i < 20; i++) document.getElementById('store').click();\""));
    server.http().setAnswer(testkit::KelvaneServer::kFullScreenPath, page(""));
  }
  ScriptedAnswer page(const std::string& adHandler) const {
    return ScriptedAnswer::html(
        "<html><head><script>function GetKvSession() { return 's'; }"
        "function GetKvCid() { return 'kv-h'; } function GetKvError() { return 'OK'; }</script></head><body>"
        "<a id=\"ad\" href=\"" + landing + "\"" + adHandler + ">ad</a>"
        "<a id=\"store\" href=\"" + std::string(kStore) + "\">store</a></body></html>");
  }

  // Places an ad of `type` and waits for its page.
  std::shared_ptr<KvPageView> place(int type) {
    const size_t heard = notes.size();
    const bool banner = type == kKelvaneAdTypeBanner;
    EXPECT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", type, banner ? root : nullptr, 30));
    EXPECT_TRUE(heardNotes(heard + 1));
    placement = KvAdViewController::livePlacementsForTesting().back();
    if (banner) return adView();
    return std::dynamic_pointer_cast<KvPageView>(placement->kvWindowForTesting()->subviews().at(0));
  }
  size_t browsersShown() const {
    auto w = placement->kvWindowForTesting();
    if (!w) return 0;
    const auto& views = w->subviews();
    return static_cast<size_t>(std::count_if(views.begin(), views.end(), [](const auto& v) {
      return std::dynamic_pointer_cast<KvBrowserView>(v) != nullptr;
    }));
  }
  size_t clicksHeard() const {
    const auto heard = names();
    return static_cast<size_t>(std::count(heard.begin(), heard.end(), std::string(kKvOnClickAdNotification)));
  }
  void forgeLinkClicks(KvPageView& ad, const std::string& url, int times) {
    for (int i = 0; i < times; ++i)
      ad.kvWebView()->injectNavigationForTesting(platform::URLRequest(url), WebViewNavigationType::LinkClicked);
  }

  std::string landing;
  std::shared_ptr<KvAdViewController> placement;
};

TEST_F(KvUserActivationTest, OnlyTheUsersTouchOnTheShownAdMakesAClickAndOnlyOne) {
  struct Case {
    const char* name;
    int type;
    // What happens to the ad once its page is up.
    std::function<void(KvPageView&)> act;
    size_t clicks;
    // Browsers up at the end (the one of the click, unless the user went back).
    size_t browsers;
  };
  auto tapAd = [](KvPageView& ad) { ASSERT_TRUE(ad.kvWebView()->tapLinkWithElementIdForTesting("ad")); };
  auto tapThenForge = [&](KvPageView& ad) {
    tapAd(ad);
    forgeLinkClicks(ad, landing, 20);
  };
  const Case cases[] = {
      // (a) No touch at all.
      {"the page clicks its own link", kKelvaneAdTypeBanner,
       [](KvPageView& ad) { ad.kvWebView()->stringByEvaluatingJavaScriptFromString("document.getElementById('ad').click()"); },
       0, 0},
      {"the page forges link clicks", kKelvaneAdTypeBanner, [&](KvPageView& ad) { forgeLinkClicks(ad, landing, 5); }, 0, 0},
      {"the page goes to a store link", kKelvaneAdTypeBanner,
       [](KvPageView& ad) { ad.kvWebView()->stringByEvaluatingJavaScriptFromString(std::string("location = '") + kStore + "'"); },
       0, 0},
      {"a timer clicks ten seconds later", kKelvaneAdTypeBanner,
       [&](KvPageView& ad) {
         ad.kvWebView()->stringByEvaluatingJavaScriptFromString(
             "setTimeout(function () { document.getElementById('ad').click(); }, 10000)");
         advance(10);
       },
       0, 0},
      {"the full-screen page forges link clicks", kKelvaneAdTypeFullScreen,
       [&](KvPageView& ad) { forgeLinkClicks(ad, landing, 5); }, 0, 0},
      // (b) One touch, then commands in a loop: one click, one browser, one report.
      {"a tap, then the page's loop and forged clicks", kKelvaneAdTypeBanner, tapThenForge, 1, 1},
      {"a tap, Back, then forged clicks", kKelvaneAdTypeBanner,
       [&](KvPageView& ad) {
         tapAd(ad);
         ASSERT_TRUE(runUntil([&] { return browsersShown() == 1; }));
         placement->kvWindowForTesting()->tapAtPoint(platform::Point{40, 462});  // Back
         ASSERT_EQ(browsersShown(), 0u);
         forgeLinkClicks(ad, landing, 5);
       },
       1, 0},
      {"a tap on the full-screen ad, then forged clicks", kKelvaneAdTypeFullScreen, tapThenForge, 1, 1},
      {"two taps while the browser is up", kKelvaneAdTypeBanner,
       [&](KvPageView& ad) {
         tapAd(ad);
         ASSERT_TRUE(runUntil([&] { return browsersShown() == 1; }));
         tapAd(ad);
       },
       1, 1},
      // (c) An ad that is not on screen acts for nobody, tapped or not.
      {"a hidden banner", kKelvaneAdTypeBanner,
       [&](KvPageView& ad) {
         ad.setHidden(true);
         tapAd(ad);
       },
       0, 0},
      {"a banner faded out", kKelvaneAdTypeBanner,
       [&](KvPageView& ad) {
         ad.setAlpha(0);
         tapAd(ad);
       },
       0, 0},
      {"a banner taken out of its window", kKelvaneAdTypeBanner,
       [&](KvPageView& ad) {
         ad.removeFromSuperview();
         tapAd(ad);
         advance(10);
         forgeLinkClicks(ad, landing, 3);
       },
       0, 0},
      {"a banner in a hidden window", kKelvaneAdTypeBanner,
       [&](KvPageView& ad) {
         window->setHidden(true);
         tapAd(ad);
       },
       0, 0},
  };
  auto& app = platform::Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    notes.clear();
    const size_t reportsBefore = server.clickReports().size();
    platform::LogCapture log;
    auto ad = place(c.type);
    ASSERT_TRUE(ad);
    c.act(*ad);
    runUntilIdle();
    EXPECT_TRUE(runUntil([&] { return server.clickReports().size() == reportsBefore + c.clicks; }));
    runUntilIdle();

    EXPECT_EQ(clicksHeard(), c.clicks);
    EXPECT_EQ(ad->clickReportCountForTesting(), c.clicks);
    EXPECT_EQ(server.clickReports().size(), reportsBefore + c.clicks);
    EXPECT_TRUE(app.openedURLs().empty());
    EXPECT_EQ(browsersShown(), c.browsers);
    if (c.type == kKelvaneAdTypeBanner) {
      // The client's window is up exactly while its browser is.
      EXPECT_EQ(placement->kvWindowForTesting() != nullptr, c.browsers > 0);
    } else {
      // The full-screen ad stays up, or the one browser took its place.
      EXPECT_EQ(ad->superview() != nullptr, c.clicks == 0);
    }
    if (c.clicks == 0) {
      const auto lines = log.lines();
      EXPECT_LE(std::count_if(lines.begin(), lines.end(),
                              [](const std::string& l) { return l.find("without the user's touch") != std::string::npos; }),
                1);
    }

    // Leave: Back closes any browser (and a full-screen ad with it), then the banner goes.
    if (auto w = placement->kvWindowForTesting()) {
      if (browsersShown() > 0) w->tapAtPoint(platform::Point{40, 462});
      else std::static_pointer_cast<KvFullScreenView>(ad)->done();
    }
    window->setHidden(false);
    window->makeKeyAndVisible();
    ad->removeFromSuperview();
    advance(60);
    runUntilIdle();
  }
}

TEST_F(KvUserActivationTest, TheBrowserHandsAUrlToTheSystemOnlyForTheUsersTouch) {
  struct Case {
    const char* name;
    // The landing page the banner's link leads to (nullopt: the link leads to the store).
    std::optional<std::string> landingPage;
    // What happens on the browser's page once it is up.
    std::function<void(platform::WebView&)> act;
    std::vector<std::string> opened;
    // The ad's link is a click address that redirects to the store (`landingPage` unused).
    bool clickRedirectsToStore = false;
  };
  const Case cases[] = {
      {"a frame of the landing page is an sms link",
       "<html><body><script>var f = document.createElement('iframe'); f.src = 'sms:555';"
       " document.body.appendChild(f);</script></body></html>", [](platform::WebView&) {}, {}},
      {"the landing page goes to sms by itself",
       "<html><body><script>setTimeout(function () { location = 'sms:555'; }, 0)</script></body></html>",
       [](platform::WebView&) {}, {}},
      {"the user taps an sms link on the landing page",
       "<html><body><a id=\"sms\" href=\"sms:555\">text us</a></body></html>",
       [](platform::WebView& page) { ASSERT_TRUE(page.tapLinkWithElementIdForTesting("sms")); }, {"sms:555"}},
      {"the tapped ad leads to the store itself", std::nullopt, [](platform::WebView&) {}, {kStore}},
      // The user's tap goes on to its end: the click address's redirect, or the landing page
      // sending itself there while it loads; once.
      {"the tapped ad's click address redirects to the store", "", [](platform::WebView&) {}, {kStore}, true},
      {"the landing page goes to the store while it loads",
       std::string("<html><body><script>location = '") + kStore + "'; location = 'sms:555';</script></body></html>",
       [](platform::WebView&) {}, {kStore}},
  };
  auto& app = platform::Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t openedBefore = app.openedURLs().size();
    if (c.clickRedirectsToStore) {
      server.http().setAnswer(testkit::KelvaneServer::kLandingPath, ScriptedAnswer::redirect(kStore));
    } else if (c.landingPage) {
      server.http().setAnswer(testkit::KelvaneServer::kLandingPath, ScriptedAnswer::html(*c.landingPage));
    }
    auto ad = place(kKelvaneAdTypeBanner);
    ASSERT_TRUE(ad);
    const std::string link = c.landingPage ? "ad" : "store";
    ASSERT_TRUE(ad->kvWebView()->tapLinkWithElementIdForTesting(link));
    ASSERT_TRUE(runUntil([&] { return placement->kvWindowForTesting() != nullptr; }));
    auto browser = std::dynamic_pointer_cast<KvBrowserView>(placement->kvWindowForTesting()->subviews().back());
    ASSERT_TRUE(browser);
    auto page = browser->kvWebViewForTesting();
    if (c.landingPage && !c.clickRedirectsToStore) {
      ASSERT_TRUE(runUntil([&] { return !page->isLoading() && !page->documentSourceForTesting().empty(); }));
    }
    c.act(*page);
    runUntilIdle();
    ASSERT_TRUE(runUntil([&] { return !page->isLoading(); }));
    runUntilIdle();
    EXPECT_EQ(std::vector<std::string>(app.openedURLs().begin() + static_cast<long>(openedBefore), app.openedURLs().end()),
              c.opened);

    if (auto w = placement->kvWindowForTesting()) w->tapAtPoint(platform::Point{40, 462});
    ad->removeFromSuperview();
    advance(60);
    runUntilIdle();
  }
}

}  // namespace
}  // namespace kelvane
