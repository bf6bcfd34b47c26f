#include "NBURLRouting.h"

#include "NBSDKUtil.h"
#include "platform/text_helpers.h"
#include "platform/url.h"
#include "platform/url_connection.h"

namespace nubira {

namespace {

// What follows "<scheme>:" and an optional "//".
std::string afterScheme(const std::string& url) {
  const auto colon = url.find(':');
  std::string rest = colon == std::string::npos ? std::string() : url.substr(colon + 1);
  if (rest.rfind("//", 0) == 0) rest.erase(0, 2);
  return rest;
}

// One per connection, so that two referrals under way never mix their addresses.
class ReferralListener : public platform::URLConnectionDelegate {
 public:
  ReferralListener(std::string url, NBURLRouting::Opener open) : last_(std::move(url)), open_(std::move(open)) {}

  std::optional<platform::URLRequest> connectionWillSendRequestRedirectResponse(
      platform::URLConnection&, const platform::URLRequest& request, const platform::HTTPURLResponse* redirect) override {
    if (redirect) {
      NBSDKUtil::util()->logAbove(1, "connection will send request..");
      last_ = request.url();
    }
    return request;
  }
  void connectionDidReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) override {
    NBSDKUtil::util()->logAbove(1, "response uRL=%@", response.url());
    if (!response.url().empty()) last_ = response.url();
  }
  void connectionDidFinishLoading(platform::URLConnection&) override { finish(); }
  // A store or landing page the client cannot load still opens where the chain got to; a
  // chain that never ends has no destination, and opening where it stopped would only start
  // the loop again elsewhere, so it opens nothing.
  void connectionDidFailWithError(platform::URLConnection&, const platform::Error& error) override {
    if (error.domain == platform::kURLErrorDomain && error.code == platform::URLErrorHTTPTooManyRedirects) {
      NBSDKUtil::util()->logAbove(1, "too many redirects, not opening %@", last_);
      open_ = nullptr;
      return;
    }
    finish();
  }

 private:
  void finish() {
    NBSDKUtil::util()->logAbove(1, "%@", last_);
    if (open_) std::exchange(open_, nullptr)(last_);
  }
  std::string last_;
  NBURLRouting::Opener open_;
};

}  // namespace

std::string NBURLRouting::schemeOf(const std::string& url) {
  const auto colon = url.find(':');
  return colon == std::string::npos ? std::string() : platform::lowercase(url.substr(0, colon));
}

bool NBURLRouting::isHttp(const std::string& url) {
  const auto scheme = schemeOf(url);
  return scheme == "http" || scheme == "https";
}

bool NBURLRouting::isLocalFile(const std::string& url) { return schemeOf(url) == "file"; }

bool NBURLRouting::opensInBrowser(const std::string& url) {
  const auto scheme = schemeOf(url);
  return !scheme.empty() && scheme != "file" && scheme != "javascript";
}

bool NBURLRouting::isPhoneNumber(const std::string& number) {
  int digits = 0;
  for (char c : number) {
    if (c >= '0' && c <= '9')
      ++digits;
    else if (c != '+' && c != '-' && c != ' ' && c != '(' && c != ')' && c != '.')
      return false;
  }
  return digits > 0;
}

std::optional<std::string> NBURLRouting::telNumber(const std::string& url) {
  auto number = platform::replacingPercentEscapes(afterScheme(url));
  if (!number || !isPhoneNumber(*number)) return std::nullopt;
  return number;
}

std::optional<std::string> NBURLRouting::mailtoRecipient(const std::string& url) {
  if (schemeOf(url) != "mailto") return std::nullopt;
  std::string address = afterScheme(url);
  return address.substr(0, address.find('?'));
}

platform::URLRequest NBURLRouting::boundedRequest(const std::string& url) {
  platform::URLRequest request(url);
  request.setDeadlineInterval(platform::kURLDefaultDeadlineInterval);
  request.setMaximumContentLength(platform::kURLDefaultMaximumContentLength);
  return request;
}

void NBURLRouting::openReferralURL(const std::string& url, Opener open) {
  platform::URLConnection::connectionWithRequestDelegate(boundedRequest(url),
                                                         std::make_shared<ReferralListener>(url, std::move(open)));
}

void NBURLRouting::ping(const std::string& url) {
  platform::URLConnection::connectionWithRequestDelegate(boundedRequest(url), nullptr);
}

}  // namespace nubira
