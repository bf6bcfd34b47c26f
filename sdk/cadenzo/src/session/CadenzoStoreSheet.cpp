#include "cadenzo/Cadenzo.h"

namespace cadenzo {

// The platform has no store product sheet yet: the click then goes to the URL opener, as
// it does where the sheet's class is missing, so the user is still forwarded and the
// loading view still comes down.
bool Cadenzo::presentStoreSheet(const platform::Value& itemId) {
  (void)itemId;
  return false;
}

void Cadenzo::productViewControllerDidFinish(const std::shared_ptr<platform::StoreProductViewController>&) {}

}  // namespace cadenzo
