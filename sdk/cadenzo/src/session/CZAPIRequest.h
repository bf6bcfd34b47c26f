#pragma once
// One call of the Cadenzo API: controller and action (the two path segments), a JSON body,
// query pairs, headers, and what to do with the answer. It signs itself and survives an
// archive, so that calls that must be delivered can wait in the user defaults.
//
// Ownership: shared (the connection keeps a request while it is in flight).
// Thread safety: none; requests are built and used on the main thread.
// Failure: appending a missing value changes nothing; unarchiving bytes that are not a
// request gives nullptr.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/passkey.h"
#include "platform/value.h"

namespace cadenzo {

class CZAPIRequest {
 public:
  // What the owner runs with the answer object when it arrives.
  using ContextBlock = std::function<void(const platform::Dictionary& response)>;

  static constexpr const char* kSDKVersion = "3.1.1";

  // initWithController:action: — method "GET", no body.
  CZAPIRequest(platform::Passkey<CZAPIRequest>, std::string controller, std::string action);
  static std::shared_ptr<CZAPIRequest> requestWithControllerAction(std::string controller,
                                                                   std::string action);

  // Setting a body (not nullopt) makes the request "POST"; clearing it keeps the method.
  const std::optional<platform::Dictionary>& body() const { return body_; }
  void setBody(std::optional<platform::Dictionary> body);
  const std::optional<platform::Dictionary>& query() const { return query_; }
  void setQuery(std::optional<platform::Dictionary> query) { query_ = std::move(query); }
  const std::optional<platform::Dictionary>& headers() const { return headers_; }
  void setHeaders(std::optional<platform::Dictionary> headers) { headers_ = std::move(headers); }
  // Kept and archived, never sent.
  const platform::Value& params() const { return params_; }
  void setParams(platform::Value params) { params_ = std::move(params); }

  const std::string& controller() const { return controller_; }
  void setController(std::string c) { controller_ = std::move(c); }
  const std::string& action() const { return action_; }
  void setAction(std::string a) { action_ = std::move(a); }
  const ContextBlock& contextBlock() const { return contextBlock_; }
  void setContextBlock(ContextBlock block) { contextBlock_ = std::move(block); }
  bool ensureDelivery() const { return ensureDelivery_; }
  void setEnsureDelivery(bool v) { ensureDelivery_ = v; }
  const std::string& method() const { return method_; }
  void setMethod(std::string m) { method_ = std::move(m); }

  // A nullopt value changes nothing; otherwise the key is set (replacing an earlier value
  // in place). A body argument makes the request "POST".
  void appendBodyArgumentKeyValue(const std::string& key, const std::optional<platform::Value>& value);
  void appendQueryArgumentKeyValue(const std::string& key, const std::optional<platform::Value>& value);
  void appendHeaderKeyValue(const std::string& key, const std::optional<platform::Value>& value);

  // The device body keys, in their fixed order: model, os, ui, identity, tracking, country,
  // language, bundle, sdk, timestamp, device_type, retina, reachability, app. A fact the
  // device does not have leaves its key out, and so does a missing `appId`.
  void appendDeviceInfoParams(const std::optional<std::string>& appId);

  // Adds "X-Cadenzo-App" (the app id) and "X-Cadenzo-Signature": lowercase hex SHA-1 of
  // "<method> <uri>\n<app signature>\n<serialized body>". The body must not change after.
  void signWithAppIdAppSignature(const std::optional<std::string>& appId,
                                 const std::optional<std::string>& appSignature);

  // "/<controller>/<action>" followed, when there are query pairs, by "?" and the pairs
  // "key=value" joined with "&" in dictionary order.
  std::string uri() const;
  // The body as JSON text; nullopt without a body (or a body that cannot be written).
  std::optional<std::string> serializedBody() const;

  // encodeWithCoder: the archive holds controller, action, params, query, body (as its JSON
  // text, so nulls and exact decimals survive) and ensureDelivery. Headers, method and
  // context block are left out. Archives holding the body as a dictionary still read.
  std::optional<platform::Bytes> archivedData() const;
  // initWithCoder: rebuilt through the constructor and the setters (so a stored body makes
  // it "POST" again). nullptr for bytes that are not an archived request.
  static std::shared_ptr<CZAPIRequest> requestWithArchivedData(const platform::Bytes& data);

 private:
  std::optional<platform::Dictionary> body_;
  std::optional<platform::Dictionary> query_;
  std::optional<platform::Dictionary> headers_;
  platform::Value params_;
  std::string controller_;
  std::string action_;
  ContextBlock contextBlock_;
  bool ensureDelivery_ = false;
  std::string method_ = "GET";
};

}  // namespace cadenzo
