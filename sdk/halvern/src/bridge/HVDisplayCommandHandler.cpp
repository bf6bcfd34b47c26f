#include "HVDisplayCommandHandler.h"

#include "HVAdViewInternal.h"
#include "HVClientDriver.h"
#include "HVClientManager.h"
#include "HVController.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "platform/format.h"

namespace halvern {

HVDisplayCommandHandler::HVDisplayCommandHandler(std::weak_ptr<HVAdViewInternal> adController)
    : HVCommandHandler("BridgeDisplay"), m_adController(std::move(adController)) {
  using A = const HVCommandArguments&;
  using C = HVAdViewInternal&;
  auto with = [this](auto fn) {
    return [this, fn](A args) {
      if (auto controller = m_adController.lock()) fn(*controller, args);
    };
  };
  declareCommand("bridge_notifyAdContentWillLoad", with([](C c, A) { c.adContentWillLoad(); }));
  declareCommand("bridge_notifyAdContentDidLoad", with([](C c, A) { c.adContentDidLoad(); }));
  declareCommand("bridge_notifyAdDisplayFailedForSlotNamed:",
                 with([](C c, A args) { c.adDisplayFailedForSlotNamed(stringArgument(args, 0)); }));
  declareCommand("bridge_notifyAdReadyDelayed:", with([](C c, A args) { c.adReadyDelayed(stringArgument(args, 0)); }));
  declareCommand("bridge_notifyAdViewNeedsDisplay", with([](C c, A) { c.adViewNeedsDisplay(); }));
  // An ad that is not on screen reports no impression and pings nobody; one that is acts
  // for the user (expansion, pages, click-throughs) only after the user touched it.
  declareCommand("bridge_trackImpression", with([](C c, A) {
    if (c.isOnScreenFor("an impression")) c.trackImpression();
  }));
  declareCommand("bridge_expand", with([](C c, A) {
    if (c.mayActForUser(HVAdViewInternal::UserAct::kPresentation, "an expansion")) c.expand();
  }));
  declareCommand("bridge_dismiss", with([](C c, A) { c.dismiss(); }));
  declareCommand("bridge_requestURL:", with([](C c, A args) {
    if (c.mayActForUser(HVAdViewInternal::UserAct::kPresentation, "opening a page")) c.requestPage(stringArgument(args, 0));
  }));
  declareCommand("bridge_pingURL:timeout:callback:", with([](C c, A args) {
    c.pageFetchUrlTimeoutCallback(stringArgument(args, 0), numberArgument(args, 1),
                                  hasArgument(args, 2) ? platform::Value(stringArgument(args, 2)) : platform::Value());
  }));
  declareCommand("bridge_pingURL:", with([](C c, A args) {
    c.pageFetchUrlTimeoutCallback(stringArgument(args, 0), 0.0, platform::Value());
  }));
  declareCommand("bridge_sendDriverCommand:", [](A args) {
    if (auto driver = HVController::sharedController()->clientManager()->clientDriver())
      driver->executeCommand(stringArgument(args, 0));
  });
  // Only the ad on screen reads the device; it gives the accelerometer back when it goes.
  declareCommand("bridge_captureAccelerometer:", with([](C c, A args) {
    if (!c.isOnScreenFor("the accelerometer")) return;
    auto controller = HVController::sharedController();
    controller->setSdkAccelerometerUpdateInterval(numberArgument(args, 0));
    controller->captureAccelerometer(std::static_pointer_cast<HVAdViewInternal>(c.shared_from_this()));
  }));
  declareCommand("bridge_getViewBoundsWithCallback:", with([this](C c, A args) {
    if (!hasArgument(args, 0)) return;
    const auto bounds = c.webView()->bounds();
    const std::string filled = fillCallbackTemplate(fillCallbackTemplate(stringArgument(args, 0),
                                                                         platform::format("%f", bounds.size.width)),
                                                    platform::format("%f", bounds.size.height));
    if (auto b = bridge()) b->sendJavascriptCommand(filled);
  }));
  declareCommand("bridge_requestClickthroughWithCallback:",
                 with([this](C c, A args) { requestClickthroughWithCallback(c, stringArgument(args, 0)); }));
  // The action sheet belongs to full-screen ads; a banner's page asks in vain.
  declareCommand("bridge_prepareActionSheet", with([](C c, A) {
    if (c.controlsFullScreenSlot()) c.prepareActionSheet();
  }));
  declareCommand("bridge_addButtonToActionSheet:callback:", with([](C c, A args) {
    if (c.controlsFullScreenSlot()) c.addButtonToActionSheetCallback(stringArgument(args, 0), stringArgument(args, 1));
  }));
  declareCommand("bridge_displayActionSheet", with([](C c, A) {
    if (c.controlsFullScreenSlot()) c.displayActionSheet();
  }));
}

void HVDisplayCommandHandler::requestClickthroughWithCallback(HVAdViewInternal& adController,
                                                              const std::string& script) {
  auto controller = HVController::sharedController();
  auto window = controller->fullScreenAdWindow();
  uint64_t claim = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(window->lock());
    if (!window->isDisplaying() && !adController.isRefreshing() &&
        adController.wasTouchedByUser("a click-through"))
      claim = window->claimForDisplay(&adController);
  }
  if (claim == 0) return;
  // A click-through that never opens anything must not keep every other ad off the screen.
  std::weak_ptr<HVFullScreenAdWindow> weakWindow = window;
  platform::RunLoop::main().postAfter(kClickthroughClaimTimeLimit, [weakWindow, claim] {
    auto w = weakWindow.lock();
    if (w && w->releaseUnopenedClaim(claim)) HVController::sharedController()->fullScreenAdWindowIsDisplaying(false);
  });
  if (auto b = bridge()) b->sendJavascriptCommand(script);
}

}  // namespace halvern
