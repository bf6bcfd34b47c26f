#include "CZInterfaceOrientation.h"

#include "cadenzo/Cadenzo.h"
#include "platform/application.h"

namespace cadenzo {

int CZInterfaceOrientation() {
  if (auto facade = Cadenzo::sharedCadenzo()) return facade->orientation();
  return platform::Application::sharedApplication().statusBarOrientation();
}

}  // namespace cadenzo
