#include "testing/loopback_traffic.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/run_loop.h"
#include "platform/tcp_stream.h"
#include "platform/url_connection.h"

namespace testkit {
namespace {

// What keeps the traffic from being settled now, one line each; empty when settled.
std::vector<std::string> stillUnderWay(const std::vector<SettledCondition>& conditions) {
  LoopbackTraffic traffic = loopbackTraffic();
  std::vector<std::string> open = std::move(traffic.details);
  // A connection, or a blocking load, waiting on a held answer is settled; any other is on
  // its way somewhere.
  const size_t synchronous = platform::URLConnection::synchronousLoadCount();
  const size_t connections = platform::URLConnection::liveCount() + synchronous;
  if (connections > traffic.held)
    open.push_back(std::to_string(connections) + " URL connection(s) and blocking load(s) live, " +
                   std::to_string(traffic.held) + " answer(s) held");
  if (const size_t opening = platform::TCPStream::openingCount())
    open.push_back(std::to_string(opening) + " TCP stream(s) still resolving or connecting");
  // A worker waiting on its loop or a blocking load waits on the traffic above, unless its
  // loop has a timer due (a deadline the test's clock has just passed) it has not run yet.
  if (platform::DispatchQueue::globalBusyCountForTesting() > 0)
    open.push_back("the background queue is busy");
  if (const size_t loops = platform::RunLoop::waitingLoopsWithDueWorkForTesting())
    open.push_back(std::to_string(loops) + " run loop(s) of other threads with a timer due");
  for (const auto& [what, settled] : conditions)
    if (!settled()) open.push_back(what);
  return open;
}

}  // namespace

std::string settleLoopbackTraffic(platform::RunLoop& loop, double realSeconds,
                                  const std::vector<SettledCondition>& conditions) {
  const double deadline = platform::realMonotonicSeconds() + realSeconds;
  int quietLooks = 0;
  for (;;) {
    const bool ran = loop.runUntilIdle();
    auto open = stillUnderWay(conditions);
    // Settled traffic stays settled across one more turn: the turn takes in what the last
    // answer left readable. When it ran anything it may have started more (an answer read
    // opens the next connection and sends on it), and a quick server may have answered that
    // before this look, leaving bytes only the loop can see: the look after a turn that ran
    // something is only the first quiet one.
    quietLooks = open.empty() ? (ran ? 1 : quietLooks + 1) : 0;
    if (quietLooks == 2) return "";
    const double left = deadline - platform::realMonotonicSeconds();
    if (left <= 0) {
      std::string text;
      for (const auto& line : open) text += line + "\n";
      return text;
    }
    if (!open.empty()) loop.runOnce(std::min(left, 0.002));
  }
}

}  // namespace testkit
