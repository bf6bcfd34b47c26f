#include "timeline.h"

#include <cstdio>

#include "platform/clock.h"

namespace adhost {
namespace {
double gStart = 0;
}

void startTimeline() { gStart = platform::Clock::current().monotonic(); }

void note(const std::string& actor, const std::string& text) {
  double t = platform::Clock::current().monotonic() - gStart;
  std::printf("[%8.3fs] %-10s %s\n", t, actor.c_str(), text.c_str());
  std::fflush(stdout);
}

void heading(const std::string& text) {
  std::printf("\n== %s ==\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace adhost
