#include "CZAnalytics.h"

#include <mutex>

#include "CZSystemVersion.h"
#include "CZAPIConnection.h"
#include "cadenzo/Cadenzo.h"
#include "platform/format.h"
#include "platform/singleton.h"
#include "platform/thread.h"

namespace cadenzo {

using platform::Passkey;
using platform::Value;

namespace {
platform::ResettableSingleton<CZAnalytics> gShared;

// The configured credentials, or nullopt when either is missing.
std::optional<std::pair<std::string, std::string>> credentials(const CZSessionSettings* settings) {
  if (!settings) return std::nullopt;
  auto appId = settings->appId();
  auto appSignature = settings->appSignature();
  if (!appId || !appSignature) return std::nullopt;
  return std::make_pair(*appId, *appSignature);
}
}  // namespace

std::shared_ptr<CZAnalytics> CZAnalytics::sharedAnalytics() {
  if (CZSystemVersionBelow("4.0")) return nullptr;
  bool made = false;
  // Events are signed with the facade's credentials: the facade is where the application sets them.
  auto facade = Cadenzo::sharedCadenzo();
  auto settings = facade ? facade->settings() : nullptr;
  auto instance = gShared.get([&] { return std::make_shared<CZAnalytics>(Passkey<CZAnalytics>{}, settings); }, {}, &made);
  // Outside the lock: resending may fail requests at once. The
  // connection lives on the main loop (its answers and watchdog arrive there), so a
  // singleton first asked for on another thread resends from there.
  if (made) {
    if (platform::Thread::isMainThread()) {
      instance->connection_->retryDeliveries();
    } else {
      platform::performOnMainThread([instance] { instance->connection_->retryDeliveries(); });
    }
  }
  return instance;
}

CZAnalytics::CZAnalytics(Passkey<CZAnalytics>, std::shared_ptr<const CZSessionSettings> settings)
    : settings_(std::move(settings)),
      connection_(CZAPIConnection::createWithDelegateIdentifier({}, std::string(kConnectionIdentifier), settings_)) {}

void CZAnalytics::recordPaymentTransactionForProductMeta(const CZPaymentTransaction& transaction,
                                                         const CZStoreProduct& product,
                                                         const std::optional<Value>& meta) {
  auto creds = credentials(settings_.get());
  if (!creds) return;
  auto request = CZAPIRequest::requestWithControllerAction("api", "purchase");
  request->appendDeviceInfoParams(creds->first);
  request->appendBodyArgumentKeyValue("product_id", Value(product.productIdentifier));
  request->appendBodyArgumentKeyValue("title", Value(product.localizedTitle));
  request->appendBodyArgumentKeyValue("price", Value(platform::format("%.2f", product.price)));
  request->appendBodyArgumentKeyValue("currency", Value(product.currencyCode));
  request->appendBodyArgumentKeyValue("meta", meta);
  request->appendBodyArgumentKeyValue("quantity", Value(platform::format("%d", transaction.quantity)));
  request->signWithAppIdAppSignature(creds->first, creds->second);
  connection_->sendRequest(request);
}

void CZAnalytics::trackEvent(const std::string& key) { trackEventWithValueAndMetadata(key, std::nullopt, std::nullopt); }

void CZAnalytics::trackEventWithMetadata(const std::string& key, const std::optional<Value>& meta) {
  trackEventWithValueAndMetadata(key, std::nullopt, meta);
}

void CZAnalytics::trackEventWithValue(const std::string& key, const std::optional<Value>& value) {
  trackEventWithValueAndMetadata(key, value, std::nullopt);
}

void CZAnalytics::trackEventWithValueAndMetadata(const std::string& key, const std::optional<Value>& value,
                                                 const std::optional<Value>& meta) {
  auto creds = credentials(settings_.get());
  if (!creds) return;
  auto request = CZAPIRequest::requestWithControllerAction("api", "event");
  request->appendDeviceInfoParams(creds->first);
  request->appendBodyArgumentKeyValue("key", Value(key));
  if (value) request->appendBodyArgumentKeyValue("value", Value(value->stringValue()));
  request->appendBodyArgumentKeyValue("meta", meta);
  request->signWithAppIdAppSignature(creds->first, creds->second);
  request->setEnsureDelivery(true);
  connection_->sendRequest(request);
}

}  // namespace cadenzo
