#pragma once
// Virtual time for the scenes. The loopback servers and the clients' own threads work in real
// time while the demo's clock is virtual: time moves on only once what is under way has
// settled, so every run prints the same timeline however fast or busy the machine is, and no
// scene waits for real time that nothing needs.
#include <functional>
#include <string>

namespace adhost {

// The longest real time one wait for the traffic may take before the scene is told it gave up.
inline constexpr double kSettleRealSeconds = 10.0;

// Runs the main loop, without moving virtual time, until every request sent to a loopback
// server has been answered and taken in, the background queue is idle and every condition
// of a live SettledWhile holds. False (with a line on the timeline naming what was still
// under way) when that took longer than kSettleRealSeconds.
bool settle();

// Moves virtual time forward by `seconds`, firing the main loop's timers in time order, and
// settles before time moves, after each instant's timers and at the end. False when a wait
// gave up.
bool pass(double seconds);

// As pass(), stopping at the first instant `done` holds (before any time moves when it holds
// once the traffic has settled). True when it held; time then stands at that instant.
bool passUntil(const std::function<bool()>& done, double atMostSeconds);

// False once any wait of the run gave up: the run did not show what it should, on time.
bool everyWaitSettled();

// While it lives, every wait above also holds until `settled` answers true: a client's own
// worker threads at rest, say, which the loopback traffic does not show.
class SettledWhile {
 public:
  SettledWhile(std::string what, std::function<bool()> settled);
  ~SettledWhile();
  SettledWhile(const SettledWhile&) = delete;
  SettledWhile& operator=(const SettledWhile&) = delete;
};

}  // namespace adhost
