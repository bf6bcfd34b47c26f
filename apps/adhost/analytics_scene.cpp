#include "scenes.h"
#include "timeline.h"

namespace adhost {

bool runAnalyticsScene(const Options&) {
  heading("Orvane Analytics");
  note("demo", "not wired yet");
  return true;
}

}  // namespace adhost
