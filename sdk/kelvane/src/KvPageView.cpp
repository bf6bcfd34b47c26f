#include "KvPageView.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

#include "KvAdServer.h"
#include "KvClientIdFile.h"
#include "kelvane/KelvaneAd.h"
#include "platform/device.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace kelvane {
namespace {

// Click reports still loading. A report is the user's act and goes out even when its ad goes
// first (a host may let go of its banner inside the click it hears).
struct KvReportsInFlight {
  std::vector<std::shared_ptr<platform::WebView>> all;
};

std::shared_ptr<KvReportsInFlight> reportsInFlight() {
  static auto* reports = new platform::ResettableSingleton<KvReportsInFlight>();
  return reports->get([] { return std::make_shared<KvReportsInFlight>(); });
}

}  // namespace

KvPageView::KvPageView(const platform::Rect& frame) : platform::View(frame) {
  kvWebView_ = platform::WebView::create(bounds());
  kvWebView_->setBackgroundColor(platform::Color::whiteColor());
  addSubview(kvWebView_);
}

KvPageView::~KvPageView() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  if (connection_) connection_->cancel();
}

void KvPageView::attachWebView() {
  kvWebView_->setDelegate(std::dynamic_pointer_cast<platform::WebViewDelegate>(sharedView()));
}

void KvPageView::observeOrientation(std::function<void(KvPageView&)> didRotate) {
  platform::Device::currentDevice().beginGeneratingDeviceOrientationNotifications();
  std::weak_ptr<KvPageView> weak = sharedAs<KvPageView>();
  platform::NotificationCenter::defaultCenter().addObserver(
      this, platform::kDeviceOrientationDidChangeNotification, nullptr,
      [weak, didRotate](const platform::Notification&) {
        if (auto self = weak.lock()) didRotate(*self);
      });
}

void KvPageView::releaseConnection() {
  // Called from the connection's own callbacks: it goes at the end of the turn, not under them.
  if (connection_) platform::RunLoop::main().keepAliveUntilEndOfTurn(std::move(connection_));
  connection_.reset();
}

void KvPageView::loadUrl(const std::optional<platform::URL>& url) {
  if (connection_) connection_->cancel();
  connection_.reset();
  httpResponseData_.clear();
  httpResponseLength_ = 0;
  platform::URLRequest request(url ? url->absoluteString() : std::string());
  KvBoundSmallAnswer(request);
  std::string agent = kvWebView_->stringByEvaluatingJavaScriptFromString("navigator.userAgent");
  if (!agent.empty()) request.setValueForHTTPHeaderField(agent, "User-Agent");
  connection_ = platform::URLConnection::connectionWithRequestDelegate(
      request, std::dynamic_pointer_cast<platform::URLConnectionDelegate>(sharedView()));
}

void KvPageView::connectionDidReceiveResponse(platform::URLConnection& connection,
                                              const platform::HTTPURLResponse& response) {
  if (response.statusCode() == 200) {
    httpResponseData_.clear();
    httpResponseLength_ = 0;
    return;
  }
  // Nothing of this answer is shown: the connection ends here, so the failure is told once.
  connection.cancel();
  releaseConnection();
  auto self = sharedView();
  answerDidFail();
}

void KvPageView::connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& data) {
  httpResponseData_.insert(httpResponseData_.end(), data.begin(), data.end());
  httpResponseLength_ += static_cast<int>(data.size());
}

void KvPageView::connectionDidFinishLoading(platform::URLConnection&) {
  releaseConnection();
  answerPagePending_ = true;
  kvWebView_->loadDataMIMETypeTextEncodingNameBaseURL(httpResponseData_, "text/html", "UTF-8", std::nullopt);
  httpResponseData_.clear();
  httpResponseLength_ = 0;
}

void KvPageView::connectionDidFailWithError(platform::URLConnection&, const platform::Error& error) {
  releaseConnection();
  platform::logf("Kelvane: the ad request failed: %@", error.localizedDescription());
  auto self = sharedView();
  answerDidFail();
}

bool KvPageView::takeAnswerPage() {
  // The answer goes in as markup without a base URL: a page fetched from any address, or a
  // blank one the page went to, is a page it navigated to.
  const auto shown = kvWebView_->request();
  if (answerPagePending_ && shown && shown->url() == "about:blank" && kvWebView_->currentDocumentIsGivenMarkup()) {
    answerPagePending_ = false;
    // A new ad: its clicks get a budget of their own.
    clickReportBudget_.reset();
    return true;
  }
  platform::logf("Kelvane: the page %@ is not the ad's answer; it is not read",
                 shown ? shown->url() : std::string("(none)"));
  return false;
}

double KvMeasuredSide(const std::string& text, double limit) {
  const double value = platform::Value(text).doubleValue();
  if (!std::isfinite(value) || value <= 0) return 0;
  return std::min(std::trunc(value), std::max(limit, 0.0));
}

std::string KvBoundedPageId(std::string text, const char* refusal) {
  if (text.size() <= KvClientIdFile::kMaximumLength) return text;
  platform::log(refusal);
  return std::string();
}

std::string KvPageView::pageSession() const {
  return KvBoundedPageId(kvWebView_->stringByEvaluatingJavaScriptFromString("GetKvSession();"),
                         "Kelvane: the page's session is longer than an id may be; it is not kept");
}

std::string KvPageView::pageCid() const {
  return KvBoundedPageId(kvWebView_->stringByEvaluatingJavaScriptFromString("GetKvCid();"),
                         "Kelvane: the page's client id is longer than an id may be; it is not kept");
}

const char* KvPageView::readPage() {
  session_ = pageSession();
  cid_ = pageCid();
  if (!cid_.empty()) KvClientIdFile::write(cid_);
  error_ = kvWebView_->stringByEvaluatingJavaScriptFromString("GetKvError();");
  for (const auto& aid : std::exchange(heldClickReports_, {})) sendClickReport(aid, cid_, session_);
  if (error_ == "OK") return kKvOnReceiveAdNotification;
  if (error_ == "Internal Error") return kKvOnFailedToReceiveAdNotification;
  if (error_ == "House Ad") return kKvOnReceiveDefaultAdNotification;
  if (error_ == "Invalid Input") return kKvOnFailedToReceiveAdNotification;
  if (error_ == "Unknown App Id") return kKvOnReceiveAdNotification;
  return nullptr;
}

void KvBoundSmallAnswer(platform::URLRequest& request) {
  request.setDeadlineInterval(platform::kURLDefaultDeadlineInterval);
  request.setMaximumContentLength(platform::kURLDefaultMaximumContentLength);
}

bool KvIsLocalOrInlineUrl(const std::string& url) {
  const auto colon = url.find(':');
  if (colon == std::string::npos) return false;
  std::string scheme = url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return scheme == "file" || scheme == "data" || scheme == "javascript";
}

bool KvPageView::admitsLoad(const platform::URLRequest& request) {
  if (!KvIsLocalOrInlineUrl(request.url())) return true;
  static constexpr const char* kRefusal =
      "Kelvane: the ad's page tried to load a local file or inline data; it stays on the ad";
  if (kvWebView_->noteRefusalOnce(kRefusal)) platform::log(kRefusal);
  return false;
}

bool KvIsFailureOutcome(const std::string& error) { return error == "Internal Error" || error == "Invalid Input"; }

void KvPageView::post(const char* name) {
  platform::NotificationCenter::defaultCenter().postNotificationName(name, static_cast<const platform::View*>(this));
}

bool KvPageView::mayClick() {
  const char* refusal = nullptr;
  if (!kvWebView_->consumeUserActivation()) {
    refusal = "Kelvane: the ad followed a link without the user's touch on the shown ad; no click is counted";
  } else if (!canShowBrowser()) {
    refusal = "Kelvane: a browser is already up; the ad's second click is not counted";
  }
  if (!refusal) return true;
  if (kvWebView_->noteRefusalOnce(refusal)) platform::log(refusal);
  return false;
}

void KvPageView::clickThrough(const platform::URLRequest& request, const std::string& aid) {
  if (KvIsLocalOrInlineUrl(request.url())) {
    platform::log("Kelvane: the tapped link names a local file or inline data; no browser is shown for it");
  } else if (auto url = platform::URL::create(request.url())) {
    showBrowser(*url);
  }
  if (!answerPagePending_) {
    sendClickReport(aid, cid_, session_);
    return;
  }
  // A page up but not finished has not been read yet: the report names what the tapped page
  // says now, or waits until it is read, rather than going out with the ad before's ids.
  std::string session = pageSession();
  if (session.empty()) {
    heldClickReports_.push_back(aid);
    return;
  }
  sendClickReport(aid, pageCid(), session);
}

void KvPageView::sendClickReport(const std::string& aid, const std::string& cid, const std::string& session) {
  if (!clickReportBudget_.allowRequest()) return;
  auto report = platform::WebView::create(platform::Rect(0, 0, 1, 1));
  report->setHidden(true);
  addSubview(report);
  platform::URLRequest reportRequest(KvAdServer::clickReportUrl(aid, cid, session));
  KvBoundSmallAnswer(reportRequest);
  report->loadRequest(reportRequest);
  auto& inFlight = reportsInFlight()->all;
  std::erase_if(inFlight, [](const auto& sent) { return !sent->isLoading(); });
  inFlight.push_back(report);
  ++clickReports_;
}

}  // namespace kelvane
