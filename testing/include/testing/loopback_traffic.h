#pragma once
// Loopback traffic crosses real time while a test's clock is virtual: a test must let the
// answers on their way arrive before it moves virtual time past them, or a time-out overtakes
// an answer only because the machine was slow. This is the one place that knows whether the
// kit's servers and the process's URL connections still have something under way.
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class RunLoop;
}

namespace testkit {

// What the kit's running servers (LoopbackServer, RawTCPServer and the servers built on
// them) are doing at one moment.
struct LoopbackTraffic {
  // Connections waiting to be accepted, requests being received or answered (a real-time
  // `delay` included), bytes a server has not read yet.
  size_t underWay = 0;
  // Answers waiting on purpose: held by an AnswerHold, stalled, or trickling (one whose
  // client has closed its end counts neither here nor as under way).
  size_t held = 0;
  // One line per thing under way, for a failure message.
  std::vector<std::string> details;
};

LoopbackTraffic loopbackTraffic();

// A condition the traffic must also meet to be settled (a client's own worker threads being
// idle, say), named for the failure message.
using SettledCondition = std::pair<std::string, std::function<bool()>>;

// Runs `loop` (waiting for its descriptors in real time) until the traffic has settled:
// no kit server has anything under way, every URL connection of the process has ended or
// waits on a held answer, no TCP stream is still connecting, the loop has nothing ready, the background queue is idle, no other
// thread's run loop has a timer the clock made due it has not run yet, and every one of `conditions` holds,
// twice in a row with a turn in between that found nothing to run. Answers "" once settled,
// else, after `realSeconds` of real time, a description of what was still under way.
std::string settleLoopbackTraffic(platform::RunLoop& loop, double realSeconds,
                                  const std::vector<SettledCondition>& conditions = {});

}  // namespace testkit
