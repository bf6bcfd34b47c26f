#pragma once
// The application's home folder and its standard places. Tests and the demo point it at a
// fresh temporary folder; the default is $ADC_HOME or ~/.adclients/home. Thread-safe.
#include <string>

namespace platform {

class Sandbox {
 public:
  // Makes `path` the home and creates the standard folders below it.
  static void setHome(const std::string& path);
  static std::string home();
  static std::string documents();          // home/Documents
  static std::string library();            // home/Library
  static std::string caches();             // home/Library/Caches
  static std::string applicationSupport(); // home/Library/Application Support
  static std::string preferences();        // home/Library/Preferences
  static std::string tmp();                // home/tmp
  // The application bundle's folder (its resources): home/App.app by default.
  static std::string bundlePath();
  static void setBundlePath(const std::string& path);
};

}  // namespace platform
