#pragma once
// The delegate of every web view of the client: page messages ("qmsg:" and "quillon:"
// navigations) become built-in commands or, for the messages the client listens for
// ("loadAdURL", "invalidRequest", "unableToServe", "settings"), notifications, and never
// load (any other message is logged and dropped); every other
// navigation is decided by its scheme. Pages are untrusted: their texts are never formats,
// never paths, and reach other pages only as escaped literals. A page that is not shown on
// screen takes nobody out of the ad (no opening, no click). What reaches beyond the ad (a
// click, an opening of any kind: another application, the composer, the client's full-screen
// pages) also takes the user's touch on the page, whatever the navigation type says: one
// opening per touch, and one click report, which leaves the touch to the opening it goes
// with. What a touch opened (a click address, a landing page) carries it on to the redirects
// of its load and what its page goes to while it first loads. Vibrations are rate-limited
// per ad. Each refusal is
// logged once per page. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "QLAdAllowance.h"
#include "QLClickTracker.h"
#include "QLOpener.h"
#include "platform/passkey.h"
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
  // Nothing is fetched once the ad's tracking budget is spent.
  void trackURLStringAppendSpamSignals(const std::string& text, bool appendSpamSignals);
  // What the pages of this delegate may do on their own: the allowance of the ad they belong
  // to (shared with its engine), or else one of the delegate's own.
  const std::shared_ptr<QLAdAllowance>& allowance() const { return allowance_; }
  void setAllowance(std::shared_ptr<QLAdAllowance> allowance);
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
  // Whether the document `webView` shows may send messages: every document, unless a
  // delegate that knows its view's own page says otherwise. A refused message does nothing
  // and is logged once per page.
  virtual bool acceptsMessagesFrom(const platform::WebView& webView) const {
    (void)webView;
    return true;
  }
  // For the views that show ads: only the markup the client wrote into the view (the ad
  // page, an interstitial, a web-app page given as markup) talks to the client, never a page
  // that markup went on to (a landing page, whatever link, navigation or redirect led there,
  // on whatever site), since the bridge reaches the opener's page, the installed
  // applications and the client's trackers.
  static bool showsOwnMarkup(const platform::WebView& webView) { return webView.currentDocumentIsGivenMarkup(); }
  // Whether the page of `webView` is on show to the user (in a shown window, nothing on the
  // way hidden): only such a page gives the commands that act for the user or leave for
  // another application.
  virtual bool showsPage(const platform::WebView& webView) const { return webView.isShownOnScreen(); }
  // The decision on a navigation; `actGranted` when the caller has already used the user's
  // touch for it (a click on the banner that leads on to another application).
  std::optional<bool> decideNavigation(const std::shared_ptr<platform::WebView>& webView,
                                       const platform::URLRequest& request,
                                       platform::WebViewNavigationType navigationType, bool actGranted);
  // One act for the user: true, using the touch up, when the page is shown and the user has
  // touched it and not yet used that touch; otherwise logs "<Quillon> Ignoring `what`: ..."
  // once per page for `kind` and answers false.
  bool takeUserAct(platform::WebView& webView, const std::string& what, const std::string& kind);
  // A click report for the user: true once per touch of theirs on the shown page (before or
  // after the act it goes with), without using the touch up; otherwise logs as takeUserAct.
  bool takeUserClick(platform::WebView& webView, const std::string& what);
  // Logs why the page may not act for the user (once per page for `kind`); false.
  bool refuseUserAct(platform::WebView& webView, const std::string& what, const std::string& kind);
  // Logs `line` (never a format) unless the page has already had a refusal of `kind`.
  static void logRefusalOnce(platform::WebView& webView, const std::string& kind, const std::string& line);
  // For the delegates built on this one, which have factories of their own.
  QLWebViewDelegate(std::shared_ptr<QLStatistics> statistics, std::shared_ptr<QLOpener> opener);
  void setOpener(std::shared_ptr<QLOpener> opener) { opener_ = std::move(opener); }

 private:
  // Whether a touch of the user may count for what the page asks: on the shown page, or
  // carried on by the navigation being decided (even off screen).
  bool touchable(const platform::WebView& webView) const;
  void dispatchMessage(const std::shared_ptr<platform::WebView>& webView, const platform::URL& url);
  void processCanOpenURLs(const std::string& urls, platform::WebView& webView);
  void evaluateJavaScriptInOpener(const std::string& script, const std::shared_ptr<platform::WebView>& webView);

  bool hasLoadedAtLeastOnce_ = false;
  std::shared_ptr<QLOpener> opener_;
  std::shared_ptr<QLClickTracker> tracker_;
  std::weak_ptr<QLFullScreenController> viewController_;
  std::weak_ptr<platform::WebView> openingWebView_;
  std::shared_ptr<QLStatistics> statistics_;
  std::optional<uint64_t> clickedTouch_;  // the touch the latest click report went with
  std::shared_ptr<QLAdAllowance> allowance_ = std::make_shared<QLAdAllowance>();
};

}  // namespace quillon
