#pragma once
// The request of an ad click: prepared like an ad request, it follows the click URL's
// redirects and reports where they ended and the "Action-Type" the first redirect named,
// instead of a body. Each send starts from a clean record. A chain that redirects to itself
// or past the connection's redirect limit is a failed click. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "NBHttpAdRequest.h"

namespace nubira {

class NBHttpClickRequest : public NBHttpAdRequest {
 public:
  static std::shared_ptr<NBHttpClickRequest> create();
  ~NBHttpClickRequest() override;

  void sendRequest() override;

  const std::optional<std::string>& requestUrl() const { return requestUrl_; }
  const std::optional<std::string>& redirectUrl() const { return redirectUrl_; }
  const std::optional<std::string>& adClickActionType() const { return adClickActionType_; }

  explicit NBHttpClickRequest(platform::Passkey<NBHttpClickRequest>);

 protected:
  std::optional<platform::URLRequest> connectionWillSendRequestRedirectResponse(
      const platform::URLRequest& request, const platform::HTTPURLResponse* redirectResponse) override;
  void connectionDidReceiveResponse(const platform::HTTPURLResponse& response) override;
  // The landing page's body says nothing about the click: it is not kept (and its size is
  // capped on the request).
  void connectionDidReceiveData(const platform::Bytes&) override {}
  void connectionDidFailWithError(const platform::Error& error) override;
  void connectionDidFinishLoading() override;

 private:
  void sendAdClickSuccessNotification(const std::optional<std::string>& url);
  void sendAdClickFailedNotification();

  std::optional<std::string> requestUrl_;
  std::optional<std::string> redirectUrl_;
  std::optional<std::string> adClickActionType_;
};

}  // namespace nubira
