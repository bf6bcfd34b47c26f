#include "cadenzo/CZDefaultViews.h"

#include "CZDefaultViewController.h"
#include "CZNativeInterstitialView.h"
#include "CZNativeMoreAppsView.h"
#include "cadenzo/CZViewProtocol.h"
#include "CZWebView.h"
#include "cadenzo/Cadenzo.h"

namespace cadenzo {

namespace {

class CZDefaultViewFactory : public CZViewFactory {
 public:
  std::shared_ptr<CZViewProtocol> viewWithFrame(Kind kind, const platform::Rect& frame) override {
    switch (kind) {
      case Kind::HTML: return CZWebView::createWithFrame(frame);
      case Kind::NativeInterstitial: return CZNativeInterstitialView::createWithFrame(frame);
      case Kind::NativeMoreApps: return CZNativeMoreAppsView::createWithFrame(frame);
    }
    return nullptr;
  }
};

}  // namespace

void installDefaultViews() {
  if (!std::dynamic_pointer_cast<CZDefaultViewFactory>(CZViewFactory::shared()))
    CZViewFactory::setShared(std::make_shared<CZDefaultViewFactory>());
  if (auto facade = Cadenzo::sharedCadenzo()) facade->setPresentationController(CZDefaultViewController::sharedController());
}

}  // namespace cadenzo
