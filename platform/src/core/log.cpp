#include "platform/log.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/clock.h"

namespace platform {
namespace {
std::mutex gMutex;
LogSink gSink;
}  // namespace

void log(const std::string& message) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gSink) {
    gSink(message);
    return;
  }
  double now = Clock::current().now();
  time_t secs = static_cast<time_t>(now);
  struct tm tm;
  gmtime_r(&secs, &tm);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  int ms = static_cast<int>((now - static_cast<double>(secs)) * 1000);
  std::fprintf(stderr, "%s.%03d adclients[%d] %s\n", stamp, ms, static_cast<int>(getpid()), message.c_str());
}

void setLogSink(LogSink sink) {
  std::lock_guard<std::mutex> lock(gMutex);
  gSink = std::move(sink);
}

struct LogCapture::State {
  std::mutex mutex;
  std::vector<std::string> lines;
};

LogCapture::LogCapture() : state_(new State) {
  State* s = state_;
  setLogSink([s](const std::string& line) {
    std::lock_guard<std::mutex> lock(s->mutex);
    s->lines.push_back(line);
  });
}

LogCapture::~LogCapture() {
  setLogSink(nullptr);
  delete state_;
}

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->lines;
}

bool LogCapture::contains(const std::string& fragment) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return std::any_of(state_->lines.begin(), state_->lines.end(),
                     [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
}

void LogCapture::clear() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->lines.clear();
}

}  // namespace platform
