#include "halvern/HVAdEngine.h"

#include "HVAdManager.h"
#include "HVClientDriver.h"
#include "HVClientManager.h"
#include "HVController.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/url.h"
#include "platform/url_connection.h"

namespace halvern {
namespace {

// Never contacted: the id is only checked for being usable in a URL.
constexpr const char* kAppIDTestURL = "http://ads.halvern.example/test.htm?";

void requireStarted() {
  if (!HVController::sharedController()->hasStartedUp()) {
    throw platform::Exception("NSInternalInconsistencyException",
                              "HVAdEngine must be started up before invoking any nontrivial methods.");
  }
}

bool isUsableAppID(const std::string& appID) {
  auto url = platform::URL::create(std::string(kAppIDTestURL) + appID);
  return url && platform::URLConnection::canHandleRequest(platform::URLRequest(url->absoluteString()));
}

}  // namespace

void HVAdEngine::startupWithAppIDAdSlotDescriptions(const std::string& appID,
                                                    const std::vector<HVAdSlotDescription>& descriptions) {
  if (descriptions.empty()) {
    throw platform::Exception("NSInvalidArgumentException", "HVAdEngine must be started with a positive number of slots.");
  }
  startupWithAppIDServerURLAdSlotDescriptions(appID, "", descriptions);
}

void HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions(const std::string& appID, const std::string& serverURL,
                                                             const std::vector<HVAdSlotDescription>& descriptions) {
  auto controller = HVController::sharedController();
  if (controller->hasStartedUp()) {
    throw platform::Exception("NSInternalInconsistencyException",
                              "Attempt to start up HVAdEngine after it has already been started.");
  }
  if (!isUsableAppID(appID)) {
    throw platform::Exception("NSInvalidArgumentException", "Invalid appID provided to [HVAdEngine startupWithAppID:]");
  }
  controller->startupWithAppIDServerURLSlotDescriptions(appID, serverURL, descriptions);
}

bool HVAdEngine::isNextAdDownloadedForSlotNamed(const std::string& name) {
  requireStarted();
  return HVController::sharedController()->isNextAdDownloadedForSlotNamed(name);
}

bool HVAdEngine::isAdReadyForSlotNamed(const std::string& name) {
  requireStarted();
  return HVController::sharedController()->isAdReadyForSlotNamed(name);
}

void HVAdEngine::setFullScreenDelegateForSlotNamed(std::shared_ptr<HalvernDelegate> delegate, const std::string& name) {
  requireStarted();
  HVController::sharedController()->setFullScreenDelegateForSlotNamed(std::move(delegate), name);
}

bool HVAdEngine::displayFullScreenAdForSlotNamed(const std::string& name) {
  requireStarted();
  return HVController::sharedController()->displayFullScreenAdForSlotNamed(name);
}

void HVAdEngine::setDownloadDelayInterval(double seconds) {
  requireStarted();
  HVController::sharedController()->setDriverPollingIntervalOverride(seconds);
}

void HVAdEngine::executeCommand(const std::string& script) {
  requireStarted();
  auto controller = HVController::sharedController();
  if (controller->disabled()) return;
  if (auto driver = controller->clientManager()->clientDriver()) driver->executeCommand(script);
}

std::string HVAdEngine::version() { return platform::format("HVSDK %@ universal build", std::string("3.1.2")); }

void HVAdEngine::shutdown() {
  // Asking for the shared controller would make one, with its threads, only to stop it.
  if (auto controller = HVController::existingSharedController()) controller->shutdown();
}

}  // namespace halvern
