// Arbitrary bytes as an API answer: decoded as the connection does, then, when they make an
// answer object, turned into impressions of both types, prepared, shown and clicked through
// the facade (offline, so the click call fails at once). Nothing may crash or leak.
#include <cstdint>
#include <memory>

#include "CZAPIConnection.h"
#include "CZImpression.h"
#include "CZViewProtocol.h"
#include "cadenzo/Cadenzo.h"
#include "platform/reachability.h"
#include "platform/run_loop.h"

namespace {

class QuietView : public cadenzo::CZViewCallbacks {};

class QuietFactory : public cadenzo::CZViewFactory {
 public:
  std::shared_ptr<cadenzo::CZViewProtocol> viewWithFrame(Kind, const platform::Rect&) override {
    return std::make_shared<QuietView>();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    cadenzo::CZViewFactory::setShared(std::make_shared<QuietFactory>());
    platform::Reachability::setNetwork(platform::Reachability::Network::None);
    return true;
  }();
  (void)ready;

  platform::Bytes bytes(data, data + size);
  auto answer = cadenzo::CZAPIConnection::answerObjectForStatusData(200, bytes);
  if (!answer) return 0;
  auto facade = cadenzo::Cadenzo::sharedCadenzo();
  for (int type : {cadenzo::CZImpressionTypeInterstitial, cadenzo::CZImpressionTypeMoreApps}) {
    auto impression = cadenzo::CZImpression::createWithResponseType(*answer, type);
    if (!impression) continue;
    impression->setDelegate(facade->impressionDelegateForTesting());
    impression->setLocation(std::string("fuzz"));
    impression->setState(cadenzo::CZImpressionStateLoadingToShow);
    platform::RunLoop::main().runUntilIdle();
    auto view = impression->view();
    if (auto display = view->displayCallback()) display();
    if (auto click = view->clickCallback()) click(std::nullopt, platform::Value(*answer));
    platform::RunLoop::main().runUntilIdle();
  }
  return 0;
}
