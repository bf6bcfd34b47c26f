#include "CadenzoListeners.h"

#include <algorithm>

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
  storeSheets_.push_back(sheet);
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
        self->forgetStoreSheet(*loaded);
        self->openClickTarget(url);
      });
}

void Cadenzo::forgetStoreSheet(const platform::StoreProductViewController& sheet) {
  std::erase_if(storeSheets_, [&](const auto& kept) {
    if (kept.get() == &sheet) platform::RunLoop::main().keepAliveUntilEndOfTurn(kept);
    return kept.get() == &sheet;
  });
  storeSheet_ = storeSheets_.empty() ? nullptr : storeSheets_.back();
}

void Cadenzo::productViewControllerDidFinish(platform::StoreProductViewController& sheet) {
  auto kept = std::find_if(storeSheets_.begin(), storeSheets_.end(), [&](const auto& k) { return k.get() == &sheet; });
  if (kept == storeSheets_.end()) return;
  // Done tapped while the sheet still comes up: a dismissal now would be refused and leave
  // the sheet up with nothing to close it, so it goes once it is up.
  if (sheet.isBeingPresented()) {
    std::weak_ptr<Cadenzo> weak = weak_from_this();
    std::weak_ptr<platform::StoreProductViewController> weakSheet = *kept;
    platform::RunLoop::main().postAfter(kStoreSheetRetryDelay, [weak, weakSheet] {
      auto self = weak.lock();
      auto again = weakSheet.lock();
      if (self && again) self->productViewControllerDidFinish(*again);
    });
    return;
  }
  // Only the sheet goes (with a later sheet over it): whatever the host presented below stays.
  if (auto presenter = sheet.presentingViewController()) presenter->dismissModalViewControllerAnimated(true);
  for (auto above = sheet.presentedViewController(); above; above = above->presentedViewController()) {
    if (auto covered = std::dynamic_pointer_cast<platform::StoreProductViewController>(above))
      forgetStoreSheet(*covered);
  }
  forgetStoreSheet(sheet);
}

}  // namespace cadenzo
