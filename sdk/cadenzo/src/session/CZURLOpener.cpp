#include "CZURLOpener.h"

#include <algorithm>
#include <cctype>

#include "platform/application.h"
#include "platform/log.h"

namespace cadenzo {

using platform::Passkey;

namespace {

std::string lowercaseScheme(const std::string& url) {
  auto colon = url.find(':');
  std::string scheme = colon == std::string::npos ? std::string() : url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return scheme;
}

bool isWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

bool isStoreScheme(const std::string& scheme) {
  return scheme == "itms" || scheme == "itmss" || scheme == "itms-apps" || scheme == "itms-appss";
}

}  // namespace

bool CZURLOpener::isOpenableFromPage(const std::string& url) {
  const std::string scheme = lowercaseScheme(url);
  return isWebScheme(scheme) || isStoreScheme(scheme);
}

bool CZURLOpener::isOpenableAppLink(const std::string& url) {
  static const char* const kNever[] = {"tel",        "telprompt", "sms",  "facetime", "facetime-audio",
                                       "javascript", "file",      "data", "about"};
  const std::string scheme = lowercaseScheme(url);
  if (scheme.empty()) return false;
  for (const char* never : kNever) {
    if (scheme == never) return false;
  }
  return true;
}

std::shared_ptr<CZURLOpener> CZURLOpener::openerWithDelegate(std::weak_ptr<CZUrlOpenerDelegate> delegate) {
  return std::make_shared<CZURLOpener>(Passkey<CZURLOpener>{}, std::move(delegate));
}

std::optional<std::string> CZURLOpener::lastUrl() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastUrl_;
}

void CZURLOpener::setLastUrl(std::string url) {
  std::lock_guard<std::mutex> lock(mutex_);
  lastUrl_ = std::move(url);
}

void CZURLOpener::handOver(const std::string& url) {
  auto self = shared_from_this();
  if (auto d = delegate_.lock()) d->urlWillOpen(url);
  platform::Application::sharedApplication().openURL(url);
}

void CZURLOpener::refuse(const std::string& url) {
  auto self = shared_from_this();
  platform::logf("CZURLOpener: an ad may not open %@", platform::Value(url));
  if (auto d = delegate_.lock()) d->urlWasRefused(url);
}

void CZURLOpener::open(const std::string& url) {
  if (!isWebScheme(lowercaseScheme(url))) {
    if (isOpenableAppLink(url)) handOver(url);
    else refuse(url);
    return;
  }
  setLastUrl(url);
  // Only the redirects matter, never the page: the load is bounded like any small answer and
  // ends by its deadline, so a landing server that never finishes still ends the click (on
  // the last address requested, as any failed load does).
  platform::URLRequest request(url);
  request.setDeadlineInterval(platform::kURLDefaultDeadlineInterval);
  request.setMaximumContentLength(platform::kURLDefaultMaximumContentLength);
  // The connection retains this opener (its delegate) until the load ends.
  platform::URLConnection::connectionWithRequestDelegate(request, shared_from_this());
}

std::optional<platform::URLRequest> CZURLOpener::connectionWillSendRequestRedirectResponse(
    platform::URLConnection&, const platform::URLRequest& request, const platform::HTTPURLResponse*) {
  // The request about to go out, not the redirect answer that named it: otherwise the
  // opener would end one hop short of the chain.
  setLastUrl(request.url());
  return request;
}

void CZURLOpener::handOverWhereTheChainEnded() {
  auto url = lastUrl();
  if (!url) return;
  // A redirect is the server's, not a tap: it may not lead to a call or a message.
  if (isOpenableFromPage(*url)) handOver(*url);
  else refuse(*url);
}

void CZURLOpener::connectionDidFinishLoading(platform::URLConnection&) { handOverWhereTheChainEnded(); }

void CZURLOpener::connectionDidFailWithError(platform::URLConnection&, const platform::Error& error) {
  auto url = lastUrl();
  if (error.domain == platform::kURLErrorDomain && error.code == platform::URLErrorHTTPTooManyRedirects) {
    // The chain was cut short, not ended: where it stopped is just another hop of the loop,
    // no landing the ad chose, so the click opens nothing.
    platform::logf("CZURLOpener: the click's redirects went past the limit at %@; nothing is opened",
                   url ? platform::Value(*url) : platform::Value());
    refuse(url.value_or(std::string()));
    return;
  }
  platform::logf("CZURLOpener: load failed (%@), ending on %@", platform::Value(error.localizedDescription()),
                 url ? platform::Value(*url) : platform::Value());
  handOverWhereTheChainEnded();
}

}  // namespace cadenzo
