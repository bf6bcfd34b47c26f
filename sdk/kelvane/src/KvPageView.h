#pragma once
// What the banner view and the full-screen view share: the ad page is fetched by a URL
// connection (the web view's user agent as "User-Agent"), the body of a 200 answer is shown
// in `kvWebView`, the page's scripts are read for the session, the client id and the outcome,
// and a tap on the ad is reported by a hidden web view.
//
// A status other than 200 ends the connection there: the subclass hears answerDidFail() once
// and no empty page follows. Connection failures reach answerDidFail() too, logged once; the
// request carries a total deadline and a size cap, so a server that trickles, stalls or
// sends too much fails the same way (timed out, or too long) instead of holding the view.
//
// A tap on a page that is up but not finished is reported with the session and client id the
// page gives at the tap, or, while it gives none yet, once it is read. Click reports are bounded per ad (kClickReportLimit for each answer
// page); the rest are dropped and that is logged once.
//
// A tapped ad acts beyond itself (the click notification, the report, the browser in the
// client's window), so it counts only when the user's own touch on the shown ad led to it:
// mayClick() uses up that touch (one click per touch) and refuses, logged once per page, a
// link the page followed by itself, an ad that is not on screen, and a second browser while
// one is up.
//
// Only the page made of the answer is read: a page it navigated to in its place (a landing
// page, a redirect) speaks neither for the ad's outcome nor for the client id.
//
// What the ad's web view loads (admitsLoad): the answer, and any document the page moves to
// in its place without a tap (its redirects, frames, form posts, script navigations), but
// never a local file, inline data or a script URL. A tapped link goes to the browser
// instead, unless it too names a local file or inline data.
//
// Main thread only. The connection holds the view while it runs.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/request_budget.h"
#include "platform/url.h"
#include "platform/url_connection.h"
#include "platform/value.h"
#include "platform/view.h"
#include "platform/web_view.h"

namespace kelvane {

class KvPageView : public platform::View,
                   public platform::WebViewDelegate,
                   public platform::URLConnectionDelegate {
 public:
  // Taps are one act each, yet an ad is not let send reports without end.
  static constexpr size_t kClickReportLimit = platform::RequestBudget::kDefaultLimit;

  ~KvPageView() override;

  const std::shared_ptr<platform::WebView>& kvWebView() const { return kvWebView_; }
  const std::string& session() const { return session_; }
  const std::string& cid() const { return cid_; }
  const std::string& error() const { return error_; }

  // Fetches the ad page at `url` (nullopt fails as a connection does).
  void loadUrl(const std::optional<platform::URL>& url);

  void connectionDidReceiveResponse(platform::URLConnection& connection,
                                    const platform::HTTPURLResponse& response) override;
  void connectionDidReceiveData(platform::URLConnection& connection, const platform::Bytes& data) override;
  void connectionDidFinishLoading(platform::URLConnection& connection) override;
  void connectionDidFailWithError(platform::URLConnection& connection, const platform::Error& error) override;

  // The hidden views that sent click reports (tests).
  size_t clickReportCountForTesting() const { return clickReports_; }
  // Body bytes of the answer being received (tests).
  size_t receivedBytesForTesting() const { return httpResponseData_.size(); }

 protected:
  explicit KvPageView(const platform::Rect& frame);
  // Called by the subclass's factory once the view is shared.
  void attachWebView();

  // A status other than 200, or a failed connection.
  virtual void answerDidFail() = 0;

  // True once for the page made of the latest answer when it has loaded; false (and logged)
  // for any other document of the web view.
  bool takeAnswerPage();
  // Reads "GetKvSession();", "GetKvCid();" (a non-empty id replaces the stored one) and
  // "GetKvError();", and returns the notification the outcome calls for (nullptr: none).
  // A session or client id longer than KvClientIdFile::kMaximumLength is not kept (empty).
  const char* readPage();
  // Posts `name` with this view as the sender.
  void post(const char* name);
  // True when a tapped link may count as the user's click (see the top of this file).
  bool mayClick();
  // Whether the ad's web view may load `request` in place (see the top of this file); a
  // refusal is logged once per page.
  bool admitsLoad(const platform::URLRequest& request);
  // Whether a browser may be shown now: one at a time.
  virtual bool canShowBrowser() const = 0;
  // A tapped ad: its target opens in the browser (when it is a URL at all) and the tap is
  // reported for `aid`.
  void clickThrough(const platform::URLRequest& request, const std::string& aid);
  virtual void showBrowser(const platform::URL& url) = 0;
  // Starts the device's orientation notifications and calls `didRotate` on each.
  void observeOrientation(std::function<void(KvPageView&)> didRotate);

  std::shared_ptr<platform::WebView> kvWebView_;
  std::string session_;
  std::string cid_;
  std::string error_;
  platform::Bytes httpResponseData_;
  int httpResponseLength_ = 0;

 private:
  void releaseConnection();
  std::string pageSession() const;
  std::string pageCid() const;
  void sendClickReport(const std::string& aid, const std::string& cid, const std::string& session);

  std::shared_ptr<platform::URLConnection> connection_;
  size_t clickReports_ = 0;
  platform::RequestBudget clickReportBudget_{"Kelvane: this ad asked for more click reports than it may send; the rest are dropped",
                                             kClickReportLimit};
  bool answerPagePending_ = false;
  // Taps on the answer page before it was read, reported once it is.
  std::vector<std::string> heldClickReports_;
};

// Gives a request for an ad answer or a click report the clients' deadline and size cap:
// neither is a download, and no server may hold the client or fill its memory.
void KvBoundSmallAnswer(platform::URLRequest& request);

// A side of the banner as the page measured it (its first image's width or height), read as
// a whole number: a page may make it anything (infinite, not a number, past every integer),
// so only a finite value above 0 counts, and never more than `limit`, the view the banner
// sits in. 0 when the text gives no such side.
double KvMeasuredSide(const std::string& text, double limit);

// A session or client id read from the page. Both go back to the server in the click
// report's query as ids of the server's, so a text longer than KvClientIdFile::kMaximumLength
// is not kept at all (a cut one would be another id): "" then, and `refusal` is logged.
std::string KvBoundedPageId(std::string text, const char* refusal);

// True for a URL naming a local file, inline data or script: nothing an ad may show.
bool KvIsLocalOrInlineUrl(const std::string& url);

// True for the outcome texts that end a full-screen ad ("Internal Error", "Invalid Input").
bool KvIsFailureOutcome(const std::string& error);

}  // namespace kelvane
