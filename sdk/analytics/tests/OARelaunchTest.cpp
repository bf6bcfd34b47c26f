#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/sandbox.h"
#include "testing/analytics_collector.h"
#include "testing/sandbox_test.h"

extern char** environ;

namespace analytics {
namespace {

using testkit::AnalyticsCollector;

// The tracking child, its standard output read through a pipe.
struct Child {
  pid_t pid = -1;
  int out = -1;
  std::string pending;

  explicit Child(std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    args.insert(args.begin(), OA_TRACKING_CHILD);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid, OA_TRACKING_CHILD, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out = fds[0];
  }
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    if (out >= 0) ::close(out);
  }
  // The next line the child printed (blocking), or nullopt at the end of its output.
  std::optional<std::string> line() {
    for (;;) {
      if (size_t nl = pending.find('\n'); nl != std::string::npos) {
        std::string l = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        return l;
      }
      char buffer[256];
      ssize_t n = ::read(out, buffer, sizeof buffer);
      if (n <= 0) return std::nullopt;
      pending.append(buffer, size_t(n));
    }
  }
  int wait() {
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }
};

class OARelaunchTest : public testkit::SandboxTest {};

// A process killed at a random point while it tracks and dispatches (to a collector that
// answers 408 to every seventh request) leaves a store from which the next process delivers
// every hit the tracker accepted: once, or twice for hits answered but not yet deleted when
// the first process died (at most one batch of them).
TEST_F(OARelaunchTest, KilledWhileTrackingThenRelaunchedDeliversEveryAcceptedHit) {
  for (unsigned seed : {1u, 2u}) {
    SCOPED_TRACE(seed);
    AnalyticsCollector collector;
    auto seen = std::make_shared<std::atomic<int>>(0);
    collector.setRefusal([seen](const testkit::AnalyticsHit&) { return ++*seen % 7 == 0; }, 408);
    const std::string home = platform::Sandbox::home() + "/run" + std::to_string(seed);
    const std::string port = std::to_string(collector.port());
    std::mt19937 random(seed);
    const int killAfter = std::uniform_int_distribution<int>(5, 50)(random);
    std::set<std::string> accepted;
    {
      Child child({"track", home, port, "60"});
      ASSERT_GT(child.pid, 0);
      while (accepted.size() < size_t(killAfter)) {
        auto l = child.line();
        ASSERT_TRUE(l);
        accepted.insert("hit " + *l);
      }
      ::kill(child.pid, SIGKILL);
      child.wait();
      while (auto l = child.line()) accepted.insert("hit " + *l);  // printed before the kill
    }
    const size_t firstRunConnections = collector.connectionCount();
    collector.setRefusal(nullptr, 400);
    Child deliverer({"deliver", home, port});
    ASSERT_GT(deliverer.pid, 0);
    const int status = deliverer.wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::map<std::string, std::pair<int, int>> received;  // (first run, second run)
    for (const auto& hit : collector.hits()) {
      auto& counts = received[hit.event()->action];
      (size_t(hit.request.connection) <= firstRunConnections ? counts.first : counts.second)++;
    }
    int twice = 0;
    for (const auto& name : accepted) {
      auto [first, second] = received[name];
      EXPECT_LE(first, 1) << name;
      EXPECT_LE(second, 1) << name;
      EXPECT_GE(first + second, 1) << name;
      twice += first + second == 2;
    }
    EXPECT_LE(twice, 30);
    // A hit tracked as the child died, not yet reported accepted, goes out at most once.
    for (const auto& [name, counts] : received) {
      if (!accepted.count(name)) {
        EXPECT_LE(counts.first + counts.second, 1) << name;
      }
    }
  }
}

}  // namespace
}  // namespace analytics
