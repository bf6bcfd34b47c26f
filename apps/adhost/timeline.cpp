#include "timeline.h"

#include <cctype>
#include <cstdio>
#include <map>

#include "platform/clock.h"

namespace adhost {
namespace {
double gStart = 0;

// The sandbox servers listen on ports the system picks, others on every run: the timeline
// shows each loopback port by the order it first appeared in, so that two runs compare line
// by line and differ only where what happened differs.
std::string withStablePorts(const std::string& text) {
  static std::map<std::string, int> seen;
  static const std::string kLoopback = "127.0.0.1:";
  std::string out;
  size_t from = 0;
  for (size_t at; (at = text.find(kLoopback, from)) != std::string::npos;) {
    size_t end = at + kLoopback.size();
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    out += text.substr(from, at + kLoopback.size() - from);
    const std::string port = text.substr(at + kLoopback.size(), end - at - kLoopback.size());
    if (!port.empty()) out += "<port " + std::to_string(seen.emplace(port, static_cast<int>(seen.size()) + 1).first->second) + ">";
    from = end;
  }
  return out + text.substr(from);
}
}  // namespace

void startTimeline() { gStart = platform::Clock::current().monotonic(); }

void note(const std::string& actor, const std::string& text) {
  double t = platform::Clock::current().monotonic() - gStart;
  std::printf("[%8.3fs] %-10s %s\n", t, actor.c_str(), withStablePorts(text).c_str());
  std::fflush(stdout);
}

void heading(const std::string& text) {
  std::printf("\n== %s ==\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace adhost
