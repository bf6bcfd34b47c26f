#pragma once
// The host's way into the Halvern client: start once with the slots, then ask per slot.
// Holds no state; every call goes to the shared controller.
#include <string>
#include <vector>

#include <memory>

#include "halvern/HVAdSlotDescription.h"
#include "halvern/HalvernDelegate.h"

namespace halvern {

class HVAdEngine {
 public:
  // Misuse throws platform::Exception with the names "NSInvalidArgumentException" or
  // "NSInternalInconsistencyException"; callers are not expected to catch it.
  static void startupWithAppIDAdSlotDescriptions(const std::string& appID,
                                                 const std::vector<HVAdSlotDescription>& descriptions);
  // An empty server URL selects the default server.
  static void startupWithAppIDServerURLAdSlotDescriptions(const std::string& appID, const std::string& serverURL,
                                                          const std::vector<HVAdSlotDescription>& descriptions);
  static bool isNextAdDownloadedForSlotNamed(const std::string& name);
  static bool isAdReadyForSlotNamed(const std::string& name);
  // The delegate that hears of a full-screen slot's ads (nullptr forgets it). Throws
  // ("NSInternalInconsistencyException") for a slot that is not full screen.
  static void setFullScreenDelegateForSlotNamed(std::shared_ptr<HalvernDelegate> delegate, const std::string& name);
  // True when the slot's waiting ad is being shown in the full-screen window; false, with a
  // log line, when there is no network, no such slot, no ad, or another ad holds the screen.
  static bool displayFullScreenAdForSlotNamed(const std::string& name);
  // The driver page's bridge polls at this interval from now on (1/30 s to 1 s).
  static void setDownloadDelayInterval(double seconds);
  // Runs `script` in the driver page, unless the server has disabled the client.
  static void executeCommand(const std::string& script);
  static std::string version();
  // Stops the client, for a host about to exit or done with ads: the driver page hears it
  // first, the worker threads run what they still hold and end, and the controller goes; a
  // later start makes a fresh one (new threads, the database opened again). Call it once the
  // client's views are gone. Nothing happens when the client is not running (never used, or
  // already stopped). Main thread.
  static void shutdown();
  static void enableLogging() {}
};

}  // namespace halvern
