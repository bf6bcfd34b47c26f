#pragma once
// Reports purchases and named events to the Cadenzo API on its own connection (identifier
// "CZAnalytics"). Events must arrive: a failed one waits in the user defaults under
// "CZQueuedRequests-CZAnalytics" and is sent again when the singleton is next created (once
// per process). Purchases are sent once. Without the facade's app id and signature every
// call is dropped silently.
//
// Ownership: the singleton lives for the process (tests get a fresh one on test reset).
// Thread safety: sharedAnalytics() from any thread (the resend on creation runs on the main
// loop); the reports on the main thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/passkey.h"
#include "platform/value.h"

namespace cadenzo {

class CZAPIConnection;
class CZSessionSettings;

// What a report takes of a store product and of the payment that bought it.
struct CZStoreProduct {
  std::string productIdentifier;
  std::string localizedTitle;
  double price = 0;
  std::string currencyCode;  // of the product's price locale
};

struct CZPaymentTransaction {
  long quantity = 1;
};

class CZAnalytics {
 public:
  static constexpr const char* kConnectionIdentifier = "CZAnalytics";

  // nullptr on a system older than "4.0". Creating it resends the queued events.
  static std::shared_ptr<CZAnalytics> sharedAnalytics();

  void recordPaymentTransactionForProductMeta(const CZPaymentTransaction& transaction,
                                              const CZStoreProduct& product,
                                              const std::optional<platform::Value>& meta);
  void trackEvent(const std::string& key);
  void trackEventWithMetadata(const std::string& key, const std::optional<platform::Value>& meta);
  void trackEventWithValue(const std::string& key, const std::optional<platform::Value>& value);
  void trackEventWithValueAndMetadata(const std::string& key, const std::optional<platform::Value>& value,
                                      const std::optional<platform::Value>& meta);

  // ---- For tests ----
  const std::shared_ptr<CZAPIConnection>& connectionForTesting() const { return connection_; }

  // Made only through sharedAnalytics(), which hands it the facade's settings.
  CZAnalytics(platform::Passkey<CZAnalytics>, std::shared_ptr<const CZSessionSettings> settings);

 private:
  std::shared_ptr<const CZSessionSettings> settings_;
  std::shared_ptr<CZAPIConnection> connection_;
};

}  // namespace cadenzo
