#pragma once
// "BridgeApp": what a page may read of the application.
#include "HVCommandHandler.h"

namespace halvern {

class HVApplicationCommandHandler final : public HVCommandHandler {
 public:
  HVApplicationCommandHandler();
};

}  // namespace halvern
