#pragma once
// Helpers shared by the view tests: pictures, checksums, bundle files and view trees.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/crypto.h"
#include "platform/file_manager.h"
#include "platform/sandbox.h"
#include "platform/value.h"
#include "platform/view.h"
#include "testing/png_fixture.h"

namespace czviews_test {

using testing::makePNG;

inline std::string sha1(const std::string& bytes) { return platform::crypto::sha1Hex(bytes); }

// Writes `bytes` to `relative` under the bundle folder, creating folders.
inline void writeBundleFile(const std::string& relative, const std::string& bytes) {
  const std::string path = platform::FileManager::stringByAppendingPathComponent(platform::Sandbox::bundlePath(), relative);
  platform::FileManager::createDirectoryAtPath(platform::FileManager::stringByDeletingLastPathComponent(path), true);
  platform::FileManager::writeAtomically(path, std::string_view(bytes));
}

inline bool contains(const std::shared_ptr<platform::View>& parent, const std::shared_ptr<platform::View>& child) {
  const auto& subs = parent->subviews();
  return std::find(subs.begin(), subs.end(), child) != subs.end();
}

// An image entry of an answer.
inline platform::Value asset(const std::string& url, const std::string& checksum) {
  return platform::Value(platform::Dictionary{{"url", platform::Value(url)}, {"checksum", platform::Value(checksum)}});
}

}  // namespace czviews_test
