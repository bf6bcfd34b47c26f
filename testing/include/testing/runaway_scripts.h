#pragma once
// Pages whose scripts never stop: tests give each evaluation a short CPU budget so that the
// web view's script guard stops such a page at once (the guard and its limits are the web
// view's; see platform/web_view.h).
#include "platform/web_view.h"

namespace testkit {

// Lowers the web view's per-evaluation CPU budget to `seconds` (the platform reset restores
// it). False, with nothing changed, where the guard cannot pre-empt a script in time: the
// thread sanitizer defers the guard's signal indefinitely, so callers skip such cases there.
inline bool shortenScriptTimeLimit(double seconds = 0.05) {
#if defined(__SANITIZE_THREAD__)
  (void)seconds;
  return false;
#else
  platform::ScriptContext::Limits limits;
  limits.cpuSecondsPerEvaluation = seconds;
  platform::WebView::setScriptLimits(limits);
  return true;
#endif
}

}  // namespace testkit
