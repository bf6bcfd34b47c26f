#pragma once
// The views the client builds unless a host sets other ones: the factory that makes the
// HTML, native interstitial and native more-apps views. CZViewFactory starts out with it,
// so an ad is shown with no set-up call from the host.
#include <memory>

#include "CZViewProtocol.h"

namespace cadenzo {

std::shared_ptr<CZViewFactory> CZMakeDefaultViewFactory();

}  // namespace cadenzo
