#pragma once
// NSLog-style lines on standard error ("<date> <process>[pid] message"). Tests replace the
// sink to capture the exact lines the clients write. Thread-safe.
#include <functional>
#include <string>
#include <vector>

#include "platform/format.h"

namespace platform {

// Writes one line (the message without the date prefix goes to the sink).
void log(const std::string& message);

// NSLog(fmt, ...): `fmt` must be a literal of the client's, never outside text.
template <class... Args>
void logf(const char* fmt, const Args&... args) {
  log(format(fmt, args...));
}

using LogSink = std::function<void(const std::string& line)>;
// Replaces where lines go; an empty sink restores standard error.
void setLogSink(LogSink sink);

// Captures every line logged while it lives (tests).
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::vector<std::string> lines() const;
  bool contains(const std::string& fragment) const;
  void clear();

 private:
  struct State;
  State* state_;
};

}  // namespace platform
