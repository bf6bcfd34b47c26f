#include "platform/sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace platform {
namespace {
std::mutex gMutex;
std::string gHome;
std::string gBundle;

std::string defaultHome() {
  if (const char* h = std::getenv("ADC_HOME")) return h;
  const char* user = std::getenv("HOME");
  return std::string(user ? user : "/tmp") + "/.adclients/home";
}

void createFolders(const std::string& home) {
  std::error_code ec;
  for (const char* sub : {"Documents", "Library/Caches", "Library/Application Support", "Library/Preferences", "tmp"})
    std::filesystem::create_directories(std::filesystem::path(home) / sub, ec);
}

std::string homeLocked() {
  if (gHome.empty()) {
    gHome = defaultHome();
    createFolders(gHome);
  }
  return gHome;
}
}  // namespace

void Sandbox::setHome(const std::string& path) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHome = path;
  gBundle.clear();
  createFolders(gHome);
}

std::string Sandbox::home() {
  std::lock_guard<std::mutex> lock(gMutex);
  return homeLocked();
}

std::string Sandbox::documents() { return home() + "/Documents"; }
std::string Sandbox::library() { return home() + "/Library"; }
std::string Sandbox::caches() { return home() + "/Library/Caches"; }
std::string Sandbox::applicationSupport() { return home() + "/Library/Application Support"; }
std::string Sandbox::preferences() { return home() + "/Library/Preferences"; }
std::string Sandbox::tmp() { return home() + "/tmp"; }

std::string Sandbox::bundlePath() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gBundle.empty() ? homeLocked() + "/App.app" : gBundle;
}

void Sandbox::setBundlePath(const std::string& path) {
  std::lock_guard<std::mutex> lock(gMutex);
  gBundle = path;
}

}  // namespace platform
