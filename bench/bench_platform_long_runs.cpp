// What a long-running host is made to hold, measured over the real platform: its heap (the
// blocks given out and not given back, so freed memory the allocator keeps does not blur it) after
//   - one web view loading 1,000 pages that each alert and log a 1 MiB text;
//   - one web view loading 200 pages of 1 MB markup (its back list);
//   - 200,000 one-hour timers invalidated, one timer moved 200,000 times (schedule entries);
// the files left in a folder of look-alike temporaries after the first atomic write; and the
// text describing arrays nested 10,000 deep. A plain program, not a timed benchmark: it
// prints figures, one line each. Arguments name the parts to run (all by default).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_heap.h"
#include "platform/clock.h"
#include "platform/file_manager.h"
#include "platform/run_loop.h"
#include "platform/value.h"
#include "platform/web_view.h"

namespace {

using platform::RunLoop;
using platform::Timer;
using platform::WebView;

// The heap held more than at the last benchheap::start().
double heapMiB() { return static_cast<double>(benchheap::held()) / (1 << 20); }

void loadAndWait(WebView& view, const std::string& html) {
  view.loadHTMLStringBaseURL(html, std::nullopt);
  RunLoop::main().runUntil([&] { return !view.isLoading(); }, 30);
}

void pageMessages() {
  benchheap::start();
  auto view = WebView::create(platform::Rect(0, 0, 320, 50));
  for (int i = 0; i < 1000; ++i)
    loadAndWait(*view, "<script>var s = new Array((1 << 20) + 1).join('m'); alert(s); console.log(s);</script>");
  std::printf("1,000 pages alerting and logging 1 MiB: host heap +%.1f MiB (%zu alerts, %zu console lines kept)\n",
              heapMiB(), view->alertsForTesting().size(), view->consoleMessagesForTesting().size());
}

void history() {
  benchheap::start();
  auto view = WebView::create(platform::Rect(0, 0, 320, 50));
  const std::string filler(1000000, 'f');
  for (int i = 0; i < 200; ++i) loadAndWait(*view, "<p>" + std::to_string(i) + "</p><!--" + filler + "-->");
  std::printf("200 pages of 1 MB markup: host heap +%.1f MiB\n", heapMiB());
}

void timers() {
  auto& loop = RunLoop::main();
  {
    benchheap::start();
    std::vector<std::shared_ptr<Timer>> held;
    for (int i = 0; i < 200000; ++i) held.push_back(Timer::scheduledTimer(3600, false, [](Timer&) {}));
    for (auto& t : held) t->invalidate();
    held.clear();
    loop.runOnce(0);
    std::printf("200,000 one-hour timers invalidated: %zu schedule entries, heap +%.1f MiB\n",
                loop.scheduledEntryCountForTesting(), heapMiB());
  }
  {
    benchheap::start();
    for (int i = 0; i < 200000; ++i) Timer::scheduledTimer(3600, false, [](Timer&) {})->invalidate();
    loop.runOnce(0);
    std::printf("200,000 one-hour timers made and invalidated one by one: %zu schedule entries, heap +%.1f MiB\n",
                loop.scheduledEntryCountForTesting(), heapMiB());
  }
  {
    benchheap::start();
    auto timer = Timer::scheduledTimer(3600, false, [](Timer&) {});
    const double now = platform::Clock::current().monotonic();
    for (int i = 0; i < 200000; ++i) timer->setFireDate(now + 3600 + i);
    loop.runOnce(0);
    std::printf("one timer moved 200,000 times: %zu schedule entries, heap +%.1f MiB\n",
                loop.scheduledEntryCountForTesting(), heapMiB());
    timer->invalidate();
  }
}

void temporaries() {
  char folderTemplate[] = "/tmp/long-runs-XXXXXX";
  const std::string folder = ::mkdtemp(folderTemplate);
  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string gone = std::to_string(ended);
  const std::vector<std::string> names{
      ".notes.tmp-backup", ".draft.tmp-latest", ".save.tmp-v2beta", ".x.tmp-123456", ".x.tmp-Ab12Cd",
      ".x.tmp-0" + gone + "-Ab12Cd", ".x.tmp-99999999-Ab12Cd", "x.tmp-" + gone + "-Ab12Cd",
      ".a.tmp-" + gone + "-Ab12Cd", ".b.tmp-" + gone + "-Zz9Yy8"};  // the last two: a gone writer's
  for (const auto& n : names) platform::FileManager::appendToFile(folder + "/" + n, "x", 1);
  platform::FileManager::writeAtomically(folder + "/fresh", std::string_view("fresh"));
  auto left = platform::FileManager::contentsOfDirectoryAtPath(folder).value_or(std::vector<std::string>{});
  size_t kept = 0;
  for (const auto& n : names)
    for (const auto& l : left) kept += l == n;
  std::printf("folder of %zu look-alikes and gone writers' temporaries: %zu kept, %zu removed\n", names.size(), kept,
              names.size() - kept);
  for (const auto& l : left) platform::FileManager::removeItemAtPath(folder + "/" + l);
  platform::FileManager::removeItemAtPath(folder);
}

void description() {
  platform::Value v(1);
  for (int i = 0; i < 10000; ++i) {
    platform::Array a;
    a.push_back(std::move(v));
    v = platform::Value(std::move(a));
  }
  std::printf("arrays nested 10,000 deep: description of %zu bytes\n", v.description().size());
}

}  // namespace

int main(int argc, char** argv) {
  const struct {
    const char* name;
    void (*run)();
  } parts[] = {{"temporaries", temporaries}, {"timers", timers},           {"history", history},
               {"messages", pageMessages},   {"description", description}};
  for (const auto& p : parts) {
    bool chosen = argc < 2;
    for (int i = 1; i < argc; ++i) chosen |= std::strcmp(argv[i], p.name) == 0;
    if (chosen) p.run();
  }
  return 0;
}
