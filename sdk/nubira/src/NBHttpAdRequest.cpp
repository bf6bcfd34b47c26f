#include "NBHttpAdRequest.h"

#include "NBHttpRequestBuilder.h"
#include "NBSDKUtil.h"
#include "NBUtilities.h"
#include "nubira/NBAdError.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBUserInfo.h"
#include "platform/clock.h"
#include "platform/format.h"
#include "platform/url.h"
#include "platform/user_defaults.h"

namespace nubira {

namespace {

// A value with a line break would end the header early and start another.
void setHeader(platform::URLRequest& request, const std::optional<std::string>& value, const char* name) {
  if (value && value->find_first_of("\r\n") != std::string::npos) {
    throw NBBodyBuildError(platform::format("the header %@ holds a line break", name));
  }
  request.setValueForHTTPHeaderField(value, name);
}

}  // namespace

// The connection keeps its delegate until it ends; through this the request object lives as
// long as its exchange, as its owner expects.
class NBHttpAdRequest::Listener : public platform::URLConnectionDelegate {
 public:
  explicit Listener(std::shared_ptr<NBHttpAdRequest> owner) : owner_(std::move(owner)) {}
  std::optional<platform::URLRequest> connectionWillSendRequestRedirectResponse(
      platform::URLConnection&, const platform::URLRequest& request,
      const platform::HTTPURLResponse* redirectResponse) override {
    return owner_->connectionWillSendRequestRedirectResponse(request, redirectResponse);
  }
  void connectionDidReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) override {
    owner_->connectionDidReceiveResponse(response);
  }
  void connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& data) override {
    owner_->connectionDidReceiveData(data);
  }
  void connectionDidFinishLoading(platform::URLConnection&) override { owner_->connectionDidFinishLoading(); }
  void connectionDidFailWithError(platform::URLConnection&, const platform::Error& error) override {
    owner_->connectionDidFailWithError(error);
  }

 private:
  std::shared_ptr<NBHttpAdRequest> owner_;
};

NBHttpAdRequest::NBHttpAdRequest(platform::Passkey<NBHttpAdRequest>) : util_(NBSDKUtil::util()) {}
NBHttpAdRequest::NBHttpAdRequest(ForSubclass) : util_(NBSDKUtil::util()) {}

NBHttpAdRequest::~NBHttpAdRequest() = default;

std::shared_ptr<NBHttpAdRequest> NBHttpAdRequest::create() {
  return std::make_shared<NBHttpAdRequest>(platform::Passkey<NBHttpAdRequest>());
}

void NBHttpAdRequest::setupRequestUserDataAdRequestRequestMethodRequestType(const std::string& urlText,
                                                                           std::shared_ptr<NBUserInfo> userInfo,
                                                                           std::shared_ptr<NBAdRequest> adRequest,
                                                                           const std::string& method,
                                                                           int requestType) {
  urlRequest_.reset();
  setupFailure_.reset();
  auto url = platform::URL::create(urlText);
  if (!url) return;  // nothing to connect to: sendRequest reports it
  platform::URLRequest request(url->absoluteString(), platform::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                               kTimeout);
  boundExchange(request);
  request.setHTTPMethod(method);
  if (method == "POST") {
    try {
      std::string body = NBHttpRequestBuilder::adRequestPostBodyUsingAdRequestForRequestType(userInfo.get(),
                                                                                            adRequest.get(), requestType);
      setHTTPHeaderFieldsRequestUrlPostBody(request, *userInfo, *url, body);
    } catch (const NBBodyBuildError& e) {
      // A half-made request would reach the server as an empty POST: send nothing instead.
      setupFailure_ = e.what();
      return;
    }
  }
  urlRequest_ = std::move(request);
}

void NBHttpAdRequest::setHTTPHeaderFieldsRequestUrlPostBody(platform::URLRequest& request, const NBUserInfo& info,
                                                            const platform::URL& url, const std::string& body) {
  setHeader(request, std::string(info.testMode() ? "YES" : "NO"), "x-nubira-testmode");
  setHeader(request, info.appId(), "x-nubira-siteid");
  setHeader(request, info.userAgent(), "user-agent");
  // The port belongs to the host the server is reached at.
  std::optional<std::string> host = url.host();
  if (host && url.port()) *host += platform::format(":%d", *url.port());
  setHeader(request, host, "Host");
  setHeader(request, platform::format("%d", info.adUnitSlot()), "nb-banner-size");
  setHeader(request, info.phoneUserAgent(), "x-nubira-phone-useragent");
  if (info.testMode()) setHeader(request, info.testModeAdActionType().value_or("web"), "X-Nubira-AdActionType");
  std::optional<std::string> cookie;
  if (auto id = info.deviceId()) cookie = platform::format("iphone-uuid=%@;", *id);
  setHeader(request, cookie, "cookie");
  setHeader(request, std::string("application/x-www-form-urlencoded"), "content-type");
  request.setHTTPMethod("POST");
  setHeader(request, platform::format("%d", static_cast<int>(body.size())), "content-length");
  request.setHTTPBody(body);
}

bool NBHttpAdRequest::openConnection() {
  if (!urlRequest_) return false;
  urlConnection_ = platform::URLConnection::connectionWithRequestDelegate(
      *urlRequest_, std::make_shared<Listener>(shared_from_this()));
  if (!urlConnection_) return false;
  receivedData_.clear();
  return true;
}

void NBHttpAdRequest::sendRequest() {
  if (setupFailure_) {
    sendAdRequestFailedNotification(NBAdError::errorWithDomainCodeUserInfo(
        "Failed to build the ad request: " + *setupFailure_, NBAdErrorCodeInternalError));
    return;
  }
  if (!openConnection()) {
    sendAdRequestFailedNotification(
        NBAdError::errorWithDomainCodeUserInfo(kNoConnectionMessage, NBAdErrorCodeInternalError));
  }
}

void NBHttpAdRequest::cancel() {
  if (urlConnection_) urlConnection_->cancel();
  releaseExchange();
}

void NBHttpAdRequest::uploadDeviceInfo() {
  if (!urlRequest_) return;
  urlConnection_ = platform::URLConnection::connectionWithRequestDelegate(*urlRequest_, nullptr);
}

void NBHttpAdRequest::storeCachedUrlAndCachedUrlLife(const std::string& server, const std::optional<std::string>& life) {
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  if (platform::URL::create(server)) defaults.setObjectForKey(platform::Value(server), kCachedServerKey);
  if (life) {
    int64_t seconds = platform::Value(*life).integerValue();
    if (seconds != 0) defaults.setObjectForKey(platform::Value(static_cast<long long>(seconds)), kCachedLifeKey);
  }
  defaults.setDoubleForKey(platform::Clock::current().now(), kCachedTimestampKey);
}

void NBHttpAdRequest::sendAdRequestSuccessNotification(const platform::Bytes& data) {
  tellDelegate(NBHttpRequestDelegate::kAdRequestFinished, "nbAdRequestFinished:",
               [&](NBHttpRequestDelegate& d) { d.nbAdRequestFinished(data); });
}

void NBHttpAdRequest::sendAdRequestFailedNotification(const platform::Error& error) {
  tellDelegate(NBHttpRequestDelegate::kAdRequestFailed, "nbAdRequestFailed:",
               [&](NBHttpRequestDelegate& d) { d.nbAdRequestFailed(error); });
}

std::optional<platform::URLRequest> NBHttpAdRequest::connectionWillSendRequestRedirectResponse(
    const platform::URLRequest& request, const platform::HTTPURLResponse*) {
  return request;
}

void NBHttpAdRequest::connectionDidReceiveResponse(const platform::HTTPURLResponse& response) {
  util_->logAbove(1, "connection did receive repsonse");
  util_->logAbove(1, "response code = %d", response.statusCode());
  statusCode_ = static_cast<int>(response.statusCode());
  auto keepAlive = shared_from_this();
  if (auto upload = response.valueForHTTPHeaderField("X-Nubira-Ph")) {
    tellDelegate(NBHttpRequestDelegate::kStartDeviceInfoUpload, "startDeviceInfoUploadOnUrl:",
                 [&](NBHttpRequestDelegate& d) { d.startDeviceInfoUploadOnUrl(*upload); });
  }
  if (auto server = response.valueForHTTPHeaderField(kCachedServerKey)) {
    storeCachedUrlAndCachedUrlLife(*server, response.valueForHTTPHeaderField(kCachedLifeKey));
  }
  receivedData_.clear();
}

void NBHttpAdRequest::boundExchange(platform::URLRequest& request) {
  request.setDeadlineInterval(kTimeout);
  // An ad reply is a few kilobytes of XML, a click's landing page is not read at all: past
  // the cap the exchange fails as any failed load does.
  request.setMaximumContentLength(platform::kURLDefaultMaximumContentLength);
}

void NBHttpAdRequest::connectionDidReceiveData(const platform::Bytes& data) {
  receivedData_.insert(receivedData_.end(), data.begin(), data.end());
}

void NBHttpAdRequest::releaseExchange() {
  urlConnection_.reset();
  receivedData_.clear();
  urlRequest_.reset();
}

void NBHttpAdRequest::connectionDidFinishLoading() {
  util_->logAbove(1, "connection finished getting an ad request..");
  auto keepAlive = shared_from_this();
  // Released first, so that a delegate may set up and send the next exchange from here.
  platform::Bytes data = std::move(receivedData_);
  releaseExchange();
  if (statusCode_ == 200) {
    sendAdRequestSuccessNotification(data);
  } else {
    sendAdRequestFailedNotification(
        NBAdError::errorWithDomainCodeUserInfo(kInvalidRequestMessage, NBAdErrorCodeInvalidRequest));
  }
}

void NBHttpAdRequest::connectionDidFailWithError(const platform::Error& error) {
  auto keepAlive = shared_from_this();
  releaseExchange();
  util_->logAbove(1, "connection failed while getting an ad request..");
  sendAdRequestFailedNotification(NBAdError::errorWithDomainCodeUserInfo(error.domain, NBAdErrorCodeNetworkError));
}

}  // namespace nubira
