#pragma once
// One Nubira HTTP exchange: a POST of the form body with the Nubira headers, its reply
// collected and handed to the delegate, and the reply headers that steer the client (the
// cached server, the device-info upload). May be set up and sent again once an exchange has
// ended. Main thread only; the delegate is not retained.
#include <memory>
#include <optional>
#include <string>

#include "NBHttpRequestDelegate.h"
#include "NBUtilities.h"
#include "platform/passkey.h"
#include "platform/url.h"
#include "platform/url_connection.h"

namespace nubira {

class NBAdRequest;
class NBSDKUtil;
class NBUserInfo;

class NBHttpAdRequest : public std::enable_shared_from_this<NBHttpAdRequest> {
 public:
  // The idle time-out of every exchange, and its whole deadline: a server that keeps
  // trickling bytes must not hold the banner's request (or a click) for ever.
  static constexpr double kTimeout = 30.0;
  static constexpr const char* kCachedServerKey = "Nubiracachedserver";
  static constexpr const char* kCachedLifeKey = "Nubiracachedlife";
  static constexpr const char* kCachedTimestampKey = "Nubira_cached_timestamp";
  static constexpr const char* kNoConnectionMessage =
      "Failed to make a connection with the server. urlConnection returned a null instance";
  static constexpr const char* kInvalidRequestMessage =
      "Invalid request. This could be due to an invalid app-id, or the app-id might not be in the Active state";

  static std::shared_ptr<NBHttpAdRequest> create();
  virtual ~NBHttpAdRequest();

  // Prepares the request: a POST gets the body of `requestType` and the headers. When that
  // cannot be done (no user facts, parameters that are not strings, a header value with a
  // line break, a URL the platform refuses) nothing will be sent: sendRequest reports it.
  void setupRequestUserDataAdRequestRequestMethodRequestType(const std::string& url,
                                                             std::shared_ptr<NBUserInfo> userInfo,
                                                             std::shared_ptr<NBAdRequest> adRequest,
                                                             const std::string& method, int requestType);
  // Sends the prepared request; its outcome reaches the delegate on later turns.
  virtual void sendRequest();
  // Drops the exchange under way, if any: none of its callbacks reaches the delegate.
  void cancel();
  // Sends the prepared request without reading any reply.
  void uploadDeviceInfo();
  // Keeps the cached-server headers of a reply in the user defaults.
  static void storeCachedUrlAndCachedUrlLife(const std::string& server, const std::optional<std::string>& life);

  std::shared_ptr<NBHttpRequestDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<NBHttpRequestDelegate> delegate) { delegate_ = std::move(delegate); }
  int adActionType() const { return adActionType_; }
  void setAdActionType(int v) { adActionType_ = v; }
  int statusCode() const { return statusCode_; }
  // The prepared request, until its exchange ends.
  const std::optional<platform::URLRequest>& urlRequest() const { return urlRequest_; }
  // Why the last set-up left nothing to send, if it did.
  const std::optional<std::string>& setupFailure() const { return setupFailure_; }
  bool isRunning() const { return urlConnection_ != nullptr; }

  explicit NBHttpAdRequest(platform::Passkey<NBHttpAdRequest>);

 protected:
  struct ForSubclass {};
  explicit NBHttpAdRequest(ForSubclass);

  class Listener;
  // Gives a request of this exchange its deadline (kTimeout from the start, redirects
  // included) and its size cap.
  static void boundExchange(platform::URLRequest& request);
  // Opens the connection; false when there was nothing to send.
  bool openConnection();
  void releaseExchange();
  void sendAdRequestSuccessNotification(const platform::Bytes& data);
  void sendAdRequestFailedNotification(const platform::Error& error);
  // Calls the delegate when there is one and it implements `message`.
  template <class F>
  void tellDelegate(NBHttpRequestDelegate::Message message, const char* selector, F&& call) {
    auto delegate = delegate_.lock();
    bool responds = delegate && (delegate->respondedMessages() & message);
    if (NBUtilities::delegateRespondsToSelector(delegate != nullptr, responds, selector)) call(*delegate);
  }

  virtual std::optional<platform::URLRequest> connectionWillSendRequestRedirectResponse(
      const platform::URLRequest& request, const platform::HTTPURLResponse* redirectResponse);
  virtual void connectionDidReceiveResponse(const platform::HTTPURLResponse& response);
  virtual void connectionDidReceiveData(const platform::Bytes& data);
  virtual void connectionDidFailWithError(const platform::Error& error);
  virtual void connectionDidFinishLoading();

  platform::Bytes receivedData_;
  std::optional<platform::URLRequest> urlRequest_;
  std::shared_ptr<platform::URLConnection> urlConnection_;
  std::weak_ptr<NBHttpRequestDelegate> delegate_;
  int adActionType_ = 0;
  int statusCode_ = 0;
  std::shared_ptr<NBSDKUtil> util_;
  std::optional<std::string> setupFailure_;

 private:
  // Throws NBBodyBuildError for a header value with a line break.
  static void setHTTPHeaderFieldsRequestUrlPostBody(platform::URLRequest& request, const NBUserInfo& userInfo,
                                                    const platform::URL& url, const std::string& body);
};

}  // namespace nubira
