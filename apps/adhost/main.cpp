// The demo host: plays the part of the game's ad layer and analytics service against the
// sandbox servers on loopback (or servers named on the command line), on virtual time, and
// prints what happened.
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/sandbox.h"
#include "pacing.h"
#include "scenes.h"
#include "timeline.h"

namespace {

void usage() {
  std::string names;
  for (const auto& scene : adhost::scenes()) names += (names.empty() ? "" : "|") + scene.name;
  std::printf(
      "usage: adhost [--only %s] [--cadenzo-server URL --cadenzo-app-id ID\n"
      "              --cadenzo-app-signature SIG] [--collector HOST:PORT] [--home DIR]\n"
      "Without servers named, embedded sandbox servers on 127.0.0.1 play the services.\n",
      names.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  adhost::Options options;
  std::string home;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--cadenzo-server") options.cadenzoServer = value();
    else if (arg == "--cadenzo-app-id") options.cadenzoAppId = value();
    else if (arg == "--cadenzo-app-signature") options.cadenzoAppSignature = value();
    else if (arg == "--collector") options.collector = value();
    else if (arg == "--home") home = value();
    else if (arg == "--only") {
      options.only = value();
    } else {
      usage();
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }
  if (!options.cadenzoServer.empty() && (options.cadenzoAppId.empty() || options.cadenzoAppSignature.empty())) {
    std::fprintf(stderr, "adhost: --cadenzo-server needs --cadenzo-app-id and --cadenzo-app-signature\n");
    return 2;
  }

  // A fresh home for this run, so nothing of an earlier run is sent again by surprise. It is
  // kept in memory where the system offers that: the clients' databases sync every write,
  // which on a busy disk would cost more real time than everything else the demo does.
  const bool freshHome = home.empty();
  if (freshHome) {
    std::error_code ec;
    const std::filesystem::path memory = "/dev/shm";
    const auto base = std::filesystem::is_directory(memory, ec) ? memory : std::filesystem::temp_directory_path();
    home = (base / ("adhost-" + std::to_string(::getpid()))).string();
  }
  platform::Sandbox::setHome(home);
  // Virtual time: the demo shows minutes of an ad's life in a second of real time.
  platform::Clock::setCurrent(std::make_shared<platform::ManualClock>());
  adhost::startTimeline();
  // On stderr: the folder differs on every run, and the timeline on stdout must not.
  std::fprintf(stderr, "adhost: home %s%s\n", home.c_str(), freshHome ? " (removed at exit; --home keeps one)" : "");

  bool ok = true;
  bool ran = false;
  for (const auto& scene : adhost::scenes()) {
    if (!options.only.empty() && options.only != scene.name) continue;
    ran = true;
    ok = scene.run(options) && ok;
  }
  if (freshHome) {
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
  }
  if (!ran) {
    std::fprintf(stderr, "adhost: no scene named %s\n", options.only.c_str());
    return 2;
  }
  ok = ok && adhost::everyWaitSettled();
  std::printf("\nadhost: %s\n", ok ? "every scene did what it should" : "a scene did not finish as expected");
  return ok ? 0 : 1;
}
