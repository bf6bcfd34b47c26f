#include "CZDefaultViews.h"

#include "CZNativeInterstitialView.h"
#include "CZNativeMoreAppsView.h"
#include "CZViewProtocol.h"
#include "CZWebView.h"

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

std::shared_ptr<CZViewFactory> CZMakeDefaultViewFactory() { return std::make_shared<CZDefaultViewFactory>(); }

}  // namespace cadenzo
