#include "HVDriverCommandHandler.h"

#include <cmath>
#include <limits>

#include "HVAdManager.h"
#include "HVClientDriver.h"
#include "HVController.h"
#include "platform/format.h"

namespace halvern {

bool HVDriverCommandHandler::isAdManagerProperty(const std::string& key) {
  return key == "fetchReenqueueDelay" || key == "slotDict";
}

HVDriverCommandHandler::HVDriverCommandHandler(std::weak_ptr<HVClientDriver> driver)
    : HVCommandHandler("BridgeDriver"), m_driver(std::move(driver)) {
  using A = const HVCommandArguments&;
  auto withDriver = [this](auto fn) {
    return [this, fn](A args) {
      if (auto driver = m_driver.lock()) fn(*driver, args);
    };
  };
  declareCommand("bridge_notifyInitSucceeded", withDriver([](HVClientDriver& d, A) { d.initSucceeded(); }));
  declareCommand("bridge_notifyInitFailed", withDriver([](HVClientDriver& d, A) { d.initFailed(); }));
  declareCommand("bridge_setState:", withDriver([](HVClientDriver& d, A args) {
    const auto state = integerArgument(args, 0);
    if (state && (*state == HVClientDriver::kIdle || *state == HVClientDriver::kFetching)) d.setState(static_cast<int>(*state));
  }));
  declareCommand("bridge_notifyAdFetchSucceededForSlotNamed:dlTime:expiration:", withDriver([](HVClientDriver& d, A args) {
    const auto dlTime = integerArgument(args, 1);
    const auto expiration = integerArgument(args, 2);
    // Times no 64-bit integer holds name no ad the client could find again.
    if (!dlTime || !expiration) d.adFetchFailedForSlotNamed(stringArgument(args, 0));
    else d.adFetchSucceededForSlotNamedDlTimeExpiration(stringArgument(args, 0), *dlTime, *expiration);
  }));
  declareCommand("bridge_notifyAdFetchFailedForSlotNamed:", withDriver([](HVClientDriver& d, A args) {
    d.adFetchFailedForSlotNamed(stringArgument(args, 0));
  }));
  declareCommand("bridge_pingURL:", withDriver([](HVClientDriver& d, A args) { d.pingURL(stringArgument(args, 0)); }));
  declareCommand("bridge_reloadAndExecute:baseURL:", withDriver([](HVClientDriver& d, A args) {
    d.reloadAndExecuteBaseURL(stringArgument(args, 0), stringArgument(args, 1));
  }));
  declareCommand("bridge_reloadAndExecute:", withDriver([](HVClientDriver& d, A args) {
    d.reloadAndExecuteBaseURL(stringArgument(args, 0), std::nullopt);
  }));
  declareCommand("bridge_getAdManagerProperty:callback:", [this](A args) {
    auto manager = HVController::sharedController()->adManager();
    const std::string key = stringArgument(args, 0);
    if (!manager || !isAdManagerProperty(key)) return;
    std::string value;
    if (key == "fetchReenqueueDelay") {
      value = platform::format("%g", manager->fetchReenqueueDelay());
    } else {
      for (const auto& [name, slot] : manager->slotDict()) value += (value.empty() ? "" : ",") + name;
    }
    answerCallback(args[1], platform::quoteScriptString(value));
  });
  declareCommand("bridge_setAdManagerProperty:value:", [](A args) {
    auto manager = HVController::sharedController()->adManager();
    const double value = numberArgument(args, 1);
    // The slots are fixed at the start; only the delay may change.
    if (manager && stringArgument(args, 0) == "fetchReenqueueDelay" && std::isfinite(value))
      manager->setFetchReenqueueDelay(value);
  });
}

}  // namespace halvern
