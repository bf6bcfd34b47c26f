#pragma once
// The spam-signal module. This build sends no signals: every fill reports failure, so no
// signal parameter is sent and nothing is added to clicks, and readings are dropped.
// Tests may install a source of click signals to follow what the callers do with one.
#include <functional>
#include <string>

#include "platform/url.h"

namespace quillon {

class QLSpamSignals {
 public:
  // After every "loadAdURL" answer of the builder page.
  static void builderDidAnswer(int requestType, const std::string& sdkVersion);
  // Fills `signal` with "key=value" for the ad URL; true on success.
  static bool fillAdURLSignal(std::string& signal);
  // A page's "touch" message.
  static void processTouch(int tx, int ty, int td);
  // Fills `signal` for a click whose URL carries the ad identifier `ai`; true on success.
  static bool fillClickSignal(const std::string& ai, std::string& signal);

  // `url` with the click signal for its "ai" parameter appended as a parameter without value,
  // when the module gives one; otherwise `url` itself.
  static platform::URL urlWithClickSignal(const platform::URL& url);

  using ClickSource = std::function<bool(const std::string& ai, std::string& signal)>;
  // An empty source restores the module's own behaviour.
  static void setClickSourceForTesting(ClickSource source);
};

}  // namespace quillon
