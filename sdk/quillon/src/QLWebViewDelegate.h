#pragma once
// The delegate of every web view of the client: page messages ("qmsg:" and "quillon:"
// navigations) become built-in commands or, for the messages the client listens for
// ("loadAdURL", "invalidRequest", "unableToServe", "settings"), notifications, and never
// load (any other message is logged and dropped); every other
// navigation is decided by its scheme. Pages are untrusted: their texts are never formats,
// never paths, and reach other pages only as escaped literals; a page that is not shown
// gives no command that acts for the user and opens nothing outside. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "QLClickTracker.h"
#include "QLOpener.h"
#include "platform/passkey.h"
#include "platform/request_budget.h"
#include "platform/web_view.h"

namespace quillon {

class QLStatistics;

class QLWebViewDelegate : public platform::WebViewDelegate, public std::enable_shared_from_this<QLWebViewDelegate> {
 public:
  // `statistics` hears of the trackings; `opener` opens what pages ask for (may be none).
  static std::shared_ptr<QLWebViewDelegate> create(std::shared_ptr<QLStatistics> statistics,
                                                   std::shared_ptr<QLOpener> opener);
  ~QLWebViewDelegate() override;

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;
  // Tells the page the orientation; the first time, also loadedFirstPage.
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override;
  // For the banner, browser and web-app delegates built on this one.
  virtual void loadedFirstPage(const std::shared_ptr<platform::WebView>& webView) { (void)webView; }

  // Defines window.orientation as 0, 180, 90 or -90 for the interface orientation and calls
  // window.onorientationchange(); other orientations send nothing.
  static void notifyWebViewOfOrientationChange(platform::WebView& webView, int orientation);

  // Tracks the URL of `text` with the delegate's one tracker (a new start stops the previous
  // one); with signals, a click signal for the URL's "ai" is appended when there is one.
  // Nothing is fetched once the tracking budget is spent.
  void trackURLStringAppendSpamSignals(const std::string& text, bool appendSpamSignals);
  // What the pages of this delegate may spend on tracking requests: the budget of the ad they
  // belong to (shared with its impression and click trackers), or else one of the delegate's own.
  const std::shared_ptr<platform::RequestBudget>& trackingBudget() const { return trackingBudget_; }
  void setTrackingBudget(std::shared_ptr<platform::RequestBudget> budget);
  // The budget an ad gets: a few tens of tracking requests, the rest dropped and logged once.
  static std::shared_ptr<platform::RequestBudget> makeTrackingBudget();
  // The parameter's integer value, or -1 when missing.
  static int64_t intForKeyFromDictionary(const std::string& key, const platform::Dictionary& dictionary);

  const std::shared_ptr<QLOpener>& opener() const { return opener_; }
  std::shared_ptr<QLFullScreenController> viewController() const { return viewController_.lock(); }
  void setViewController(std::weak_ptr<QLFullScreenController> controller) { viewController_ = std::move(controller); }
  std::shared_ptr<platform::WebView> openingWebView() const { return openingWebView_.lock(); }
  void setOpeningWebView(std::weak_ptr<platform::WebView> webView) { openingWebView_ = std::move(webView); }
  bool hasLoadedAtLeastOnce() const { return hasLoadedAtLeastOnce_; }

  using Passkey = platform::Passkey<QLWebViewDelegate>;
  QLWebViewDelegate(Passkey, std::shared_ptr<QLStatistics> statistics, std::shared_ptr<QLOpener> opener)
      : QLWebViewDelegate(std::move(statistics), std::move(opener)) {}

 protected:
  // Whether the document `webView` shows (or is loading) may send messages: every document,
  // unless a delegate that knows its view's own page says otherwise. A refused message is
  // logged and does nothing.
  virtual bool acceptsMessagesFrom(const platform::WebView& webView) const {
    (void)webView;
    return true;
  }
  // Whether the page of `webView` is on show to the user: only such a page gives the commands
  // that act for the user or leave for another application.
  virtual bool showsPage(const platform::WebView& webView) const { return !webView.isHidden(); }
  // True when the document `webView` shows (or is loading) has the origin (scheme, host and
  // port) of `own`: the page its owner loaded, or another page of the same site.
  static bool isOnSiteOf(const platform::WebView& webView, const std::optional<platform::URL>& own);
  // For the delegates built on this one, which have factories of their own.
  QLWebViewDelegate(std::shared_ptr<QLStatistics> statistics, std::shared_ptr<QLOpener> opener);
  void setOpener(std::shared_ptr<QLOpener> opener) { opener_ = std::move(opener); }

 private:
  void dispatchMessage(const std::shared_ptr<platform::WebView>& webView, const platform::URL& url);
  void processCanOpenURLs(const std::string& urls, platform::WebView& webView);
  void evaluateJavaScriptInOpener(const std::string& script, const std::shared_ptr<platform::WebView>& webView);

  bool hasLoadedAtLeastOnce_ = false;
  std::shared_ptr<QLOpener> opener_;
  std::shared_ptr<QLClickTracker> tracker_;
  std::weak_ptr<QLFullScreenController> viewController_;
  std::weak_ptr<platform::WebView> openingWebView_;
  std::shared_ptr<QLStatistics> statistics_;
  std::shared_ptr<platform::RequestBudget> trackingBudget_ = makeTrackingBudget();
};

}  // namespace quillon
