#pragma once
// The client's shared object: its version, the log level that gates its diagnostics, and the
// advertiser's one-time conversion ping. Main thread only.
#include <memory>
#include <string>

#include "platform/log.h"
#include "platform/passkey.h"

namespace nubira {

class NBSDKUtil {
 public:
  static constexpr const char* kSDKVersion = "3.0.2";
  static constexpr const char* kPrefsKey = "nubira_prefs_key";
  static constexpr const char* kPrefsValue = "nubira_prefs_value";
  // Where the conversion server lives unless configured otherwise.
  static constexpr const char* kDefaultAppTrackerServer = "http://tracker.nubira.example";

  // Made on first use; lives for the run (a test reset forgets it).
  static std::shared_ptr<NBSDKUtil> util();

  std::string sdkVersion() const { return kSDKVersion; }
  int logLevel() const { return logLevel_; }
  void setLogLevel(int level) { logLevel_ = level; }

  // Logs `fmt` (the client's own literal) when the log level is above `threshold`.
  template <class... Args>
  void logAbove(int threshold, const char* fmt, const Args&... args) const {
    if (logLevel_ > threshold) platform::logf(fmt, args...);
  }

  // Sends one conversion ping for the advertiser and store ids, unless one already
  // succeeded on this installation or one is running. Its outcome is kept in the user
  // defaults.
  void startAppTrackerConversionITunesId(const std::string& advertiserId, const std::string& iTunesId);
  bool isAppTrackerSuccessful() const;
  void saveNubiraPersistentString() const;
  // True while a ping is under way.
  static bool isAppTrackerInProgress();

  // Scheme, host and port of the conversion server (no trailing slash).
  static std::string appTrackerServer();
  static void setAppTrackerServer(std::string server);

  explicit NBSDKUtil(platform::Passkey<NBSDKUtil>) {}

 private:
  int logLevel_ = 1;
};

// The client's ordinary log line: written when the log level is above 1.
template <class... Args>
void logLine(const char* fmt, const Args&... args) {
  NBSDKUtil::util()->logAbove(1, fmt, args...);
}

}  // namespace nubira
