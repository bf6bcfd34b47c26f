#include "CadenzoListeners.h"
#include "platform/run_loop.h"
#include "platform/view_controller.h"
#include "platform/window.h"

namespace cadenzo {

namespace {
constexpr const char* kStoreItemParameter = "SKStoreProductParameterITunesItemIdentifier";
constexpr double kStoreSheetRetryDelay = 0.1;

// The controller on top of the root's presentations: the host may have a screen of its own
// up, and a controller that presents one refuses a second.
std::shared_ptr<platform::ViewController> topViewController(const std::shared_ptr<platform::Window>& window) {
  auto top = window ? window->rootViewController() : nullptr;
  while (top && top->presentedViewController()) top = top->presentedViewController();
  return top;
}
}  // namespace

void Cadenzo::presentStoreSheet(const platform::Value& itemId, const std::optional<std::string>& url) {
  auto sheet = std::make_shared<platform::StoreProductViewController>();
  sheet->setDelegate(listeners_->storeSheet);
  storeSheet_ = sheet;
  std::weak_ptr<Cadenzo> weak = weak_from_this();
  std::weak_ptr<platform::StoreProductViewController> weakSheet = sheet;
  sheet->loadProductWithParametersCompletionBlock(
      platform::Value(platform::Dictionary{{kStoreItemParameter, itemId}}),
      [weak, weakSheet, url](bool, const std::optional<platform::Error>&) {
        auto self = weak.lock();
        auto loaded = weakSheet.lock();
        if (!self || !loaded) return;
        if (auto top = topViewController(self->window())) top->presentModalViewControllerAnimated(loaded, true);
        if (loaded->presentingViewController()) {
          self->dismissLoadingViewIfVisible();
          return;
        }
        // Nothing could present the sheet (no root controller, or one in the middle of a
        // transition): the tap still leads to the ad's address.
        if (self->storeSheet_ == loaded) self->storeSheet_.reset();
        self->openClickTarget(url);
      });
}

void Cadenzo::productViewControllerDidFinish() {
  // Done tapped while the sheet still comes up: a dismissal now would be refused and leave
  // the sheet up with nothing to close it, so it goes once it is up.
  if (storeSheet_ && storeSheet_->isBeingPresented()) {
    std::weak_ptr<Cadenzo> weak = weak_from_this();
    platform::RunLoop::main().postAfter(kStoreSheetRetryDelay, [weak] {
      if (auto self = weak.lock()) self->productViewControllerDidFinish();
    });
    return;
  }
  // Only the sheet goes: whatever the host presented below it stays.
  if (storeSheet_) {
    if (auto presenter = storeSheet_->presentingViewController()) presenter->dismissModalViewControllerAnimated(true);
  }
  if (storeSheet_) platform::RunLoop::main().keepAliveUntilEndOfTurn(storeSheet_);
  storeSheet_.reset();
}

}  // namespace cadenzo
