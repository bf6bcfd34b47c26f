#include "cadenzo/Cadenzo.h"

namespace cadenzo {

// Placeholder until the store product sheet exists on the platform.
void Cadenzo::presentStoreSheet(const platform::Value& itemId) { (void)itemId; }
void Cadenzo::productViewControllerDidFinish(const std::shared_ptr<platform::StoreProductViewController>&) {}

}  // namespace cadenzo
