#include "CadenzoListeners.h"
#include "platform/run_loop.h"
#include "platform/view_controller.h"
#include "platform/window.h"

namespace cadenzo {

namespace {
constexpr const char* kStoreItemParameter = "SKStoreProductParameterITunesItemIdentifier";

std::shared_ptr<platform::ViewController> rootViewController(const std::shared_ptr<platform::Window>& window) {
  return window ? window->rootViewController() : nullptr;
}
}  // namespace

void Cadenzo::presentStoreSheet(const platform::Value& itemId) {
  auto sheet = std::make_shared<platform::StoreProductViewController>();
  sheet->setDelegate(listeners_->storeSheet);
  storeSheet_ = sheet;
  std::weak_ptr<Cadenzo> weak = weak_from_this();
  std::weak_ptr<platform::StoreProductViewController> weakSheet = sheet;
  sheet->loadProductWithParametersCompletionBlock(
      platform::Value(platform::Dictionary{{kStoreItemParameter, itemId}}),
      [weak, weakSheet](bool, const std::optional<platform::Error>&) {
        auto self = weak.lock();
        auto loaded = weakSheet.lock();
        if (!self || !loaded) return;
        self->dismissLoadingViewIfVisible();
        if (auto root = rootViewController(self->window())) root->presentModalViewControllerAnimated(loaded, true);
      });
}

void Cadenzo::productViewControllerDidFinish() {
  if (auto root = rootViewController(window())) root->dismissModalViewControllerAnimated(true);
  if (storeSheet_) platform::RunLoop::main().keepAliveUntilEndOfTurn(storeSheet_);
  storeSheet_.reset();
}

}  // namespace cadenzo
