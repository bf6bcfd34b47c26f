#include "NBHttpClickRequest.h"

#include "NBSDKUtil.h"
#include "platform/text_helpers.h"
#include "platform/url_connection.h"

namespace nubira {

NBHttpClickRequest::NBHttpClickRequest(platform::Passkey<NBHttpClickRequest>) : NBHttpAdRequest(ForSubclass{}) {}

NBHttpClickRequest::~NBHttpClickRequest() = default;

std::shared_ptr<NBHttpClickRequest> NBHttpClickRequest::create() {
  return std::make_shared<NBHttpClickRequest>(platform::Passkey<NBHttpClickRequest>());
}

void NBHttpClickRequest::sendRequest() {
  // A click request may be reused: what the previous click recorded says nothing of this one.
  requestUrl_.reset();
  redirectUrl_.reset();
  adClickActionType_.reset();
  if (setupFailure_ || !openConnection()) sendAdClickFailedNotification();
}

void NBHttpClickRequest::sendAdClickSuccessNotification(const std::optional<std::string>& url) {
  auto actionType = adClickActionType_;
  tellDelegate(NBHttpRequestDelegate::kAdClickFinished, "adClickRequestFinishedWithUrl:newAdActionType:",
               [&](NBHttpRequestDelegate& d) { d.adClickRequestFinishedWithUrlNewAdActionType(url, actionType); });
}

void NBHttpClickRequest::sendAdClickFailedNotification() {
  tellDelegate(NBHttpRequestDelegate::kAdClickFailed, "adClickRequestFailed",
               [](NBHttpRequestDelegate& d) { d.adClickRequestFailed(); });
}

std::optional<platform::URLRequest> NBHttpClickRequest::connectionWillSendRequestRedirectResponse(
    const platform::URLRequest& request, const platform::HTTPURLResponse* redirectResponse) {
  const std::string& next = request.url();
  util_->logAbove(1, "req url=%@", next);
  if (!requestUrl_) {
    requestUrl_ = platform::trimWhitespaceAndNewlines(next);
  } else if (!redirectUrl_) {
    redirectUrl_ = platform::trimWhitespaceAndNewlines(next);
  } else if (*redirectUrl_ != next) {
    redirectUrl_ = platform::trimWhitespaceAndNewlines(next);
    // A plain request, bounded as the click's own: the deadline still runs from the click.
    platform::URLRequest plain(next);
    boundExchange(plain);
    return plain;
  } else {
    // A target that redirects to itself would be asked for again and again: the click fails
    // here, as one whose connection gave up on its redirects does.
    util_->logAbove(1, "too many redirects!");
    if (urlConnection_) urlConnection_->cancel();
    connectionDidFailWithError(platform::Error{platform::kURLErrorDomain, platform::URLErrorHTTPTooManyRedirects, {}});
    return std::nullopt;
  }
  if (redirectResponse) {
    if (auto action = redirectResponse->valueForHTTPHeaderField("Action-Type")) {
      adClickActionType_ = platform::trimWhitespaceAndNewlines(*action);
    }
  }
  return request;
}

void NBHttpClickRequest::connectionDidReceiveResponse(const platform::HTTPURLResponse& response) {
  receivedData_.clear();
  util_->logAbove(1, "connection did receive repsonse");
  util_->logAbove(1, "response code = %d", response.statusCode());
}

void NBHttpClickRequest::connectionDidFinishLoading() {
  auto keepAlive = shared_from_this();
  releaseExchange();
  sendAdClickSuccessNotification(redirectUrl_);
}

void NBHttpClickRequest::connectionDidFailWithError(const platform::Error& error) {
  auto keepAlive = shared_from_this();
  releaseExchange();
  // A chain that never ends has no destination: the last address it reached would only start
  // the loop again wherever it were opened, so the click fails.
  const bool endless = error.domain == platform::kURLErrorDomain && error.code == platform::URLErrorHTTPTooManyRedirects;
  if (!redirectUrl_ || endless) {
    sendAdClickFailedNotification();
    return;
  }
  std::string url = *redirectUrl_;
  if (auto amp = url.find('&'); amp != std::string::npos) url.erase(amp);
  sendAdClickSuccessNotification(url);
}

}  // namespace nubira
