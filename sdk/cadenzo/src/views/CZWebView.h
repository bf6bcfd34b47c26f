#pragma once
// The view of an HTML ad: a web view that loads the answer's "html" and turns the page's
// "cadenzo" URLs into the close and click callbacks of CZViewProtocol. A finished load is
// the display callback, a failed one the fail callback.
//
// The page's commands (the command is the URL's host; every "/" inside a part is escaped,
// since the URL is cut at every "/"):
//   cadenzo://close                          close
//   cadenzo://link/<escaped URL>             click with that URL and no extra data
//   cadenzo://link/<escaped URL>/<escaped JSON>   click with the parsed JSON (nullopt when it
//                                            does not parse, or is not ASCII once unescaped)
// A "link" without a URL, a "cadenzo" URL with fewer than three pieces, or a navigation
// without a URL count as a close, and that navigation is refused. "close", "link" and
// other hosts are allowed as loads (unknown hosts do nothing); the web view cannot load
// them and reports the failure, which reaches the fail callback like any other (the facade
// ignores it once the ad is built). Every other scheme is allowed.
//
// A "link" counts only right after a touch of the user on the shown view (one click per
// touch, CZPageGuard::allowsUserAct); otherwise nothing is called, so a page's timer or its
// own script click reports nothing (the navigation is allowed as for a counted click, so the
// page cannot probe for a touch). A close spends a touch behind it just the same, and says
// whether there was one (closeComesOfATouch).
//
// Once the ad's document has loaded, no top-level navigation replaces it: a link the user
// tapped (a touch on the shown view) is reported as a click of that address, anything else is
// refused.
//
// Before any of that, CZPageGuard refuses commands from a document other than the ad's own
// (a page it navigated to) and files outside the application bundle.
//
// The view is its own web-view delegate; setDelegate() on a CZWebView does nothing.
// Ownership: make with createWithFrame (the delegate link needs the shared object).
// Thread safety: main thread only, except the callbacks' accessors (any thread).
#include <memory>
#include <optional>
#include <string>

#include "CZPageGuard.h"
#include "CZViewProtocol.h"
#include "platform/passkey.h"
#include "platform/web_view.h"

namespace cadenzo {

class CZWebView : public platform::WebView, public CZViewCallbacks, public platform::WebViewDelegate {
 public:
  static std::shared_ptr<CZWebView> createWithFrame(const platform::Rect& frame);
  CZWebView(platform::Passkey<CZWebView>, const platform::Rect& frame);

  // Nobody else becomes the delegate.
  void setDelegate(std::weak_ptr<platform::WebViewDelegate> delegate) override { (void)delegate; }

  // CZViewProtocol: loads `html` with `baseURL` (absolute URL text; an unparsable one is
  // taken as none).
  void loadHTMLStringBaseURL(const std::string& html, const std::string& baseURL) override;
  // The page's close is the user's only right after a touch on the shown view.
  bool closeComesOfATouch() const override { return closeTouched_; }

  // WebViewDelegate.
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                   const platform::Error& error) override;

 private:
  CZPageGuard guard_{"CZWebView"};
  bool closeTouched_ = false;
  // The ad's own document has finished loading: from then on it is never replaced.
  bool documentLoaded_ = false;
};

}  // namespace cadenzo
