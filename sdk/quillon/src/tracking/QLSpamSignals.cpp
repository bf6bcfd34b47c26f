#include "QLSpamSignals.h"

#include "QLNetworkUtilities.h"
#include "platform/singleton.h"

namespace quillon {
namespace {
struct SignalState {
  QLSpamSignals::ClickSource clickSource;
};
platform::ProcessState<SignalState>& state() {
  static platform::ProcessState<SignalState> s;
  return s;
}
}  // namespace

void QLSpamSignals::builderDidAnswer(int, const std::string&) {}

bool QLSpamSignals::fillAdURLSignal(std::string&) { return false; }

void QLSpamSignals::processTouch(int, int, int) {}

bool QLSpamSignals::fillClickSignal(const std::string& ai, std::string& signal) {
  auto source = state().read(&SignalState::clickSource);
  return source ? source(ai, signal) : false;
}

platform::URL QLSpamSignals::urlWithClickSignal(const platform::URL& url) {
  auto ai = QLNetworkUtilities::parameterValueForKeyFromURL("ai", url);
  std::string signal;
  if (!ai || !fillClickSignal(*ai, signal)) return url;
  return QLNetworkUtilities::appendQueryKeyValueToURL(signal, platform::Value(), url).value_or(url);
}

void QLSpamSignals::setClickSourceForTesting(ClickSource source) {
  state().write(&SignalState::clickSource, std::move(source));
}

}  // namespace quillon
