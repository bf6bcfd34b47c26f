#pragma once
// Helpers shared by the view tests: pictures, checksums, bundle files, view trees, and a
// fixture that serves pictures and reads a view's verdict on its answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CZViewProtocol.h"
#include "platform/crypto.h"
#include "platform/file_manager.h"
#include "platform/sandbox.h"
#include "platform/value.h"
#include "platform/view.h"
#include "testing/loopback_server.h"
#include "testing/png_fixture.h"
#include "testing/sandbox_test.h"

namespace czviews_test {

using testkit::makePNG;

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

// Serves a made-up picture of `w` x `h` pixels at /<name> on `server` and answers its asset
// entry, with `extra` keys (scale, offset) added.
inline platform::Value servedPicture(testkit::LoopbackServer& server, const std::string& name, uint32_t w, uint32_t h,
                                     const platform::Dictionary& extra = {}) {
  std::string png = makePNG(w, h, static_cast<uint8_t>(name.size() * 7 + w + h));
  server.setAnswer("/" + name, testkit::ScriptedAnswer::text(png));
  platform::Value entry = asset(server.url("/" + name), sha1(png));
  for (const auto& [k, v] : extra) entry.mutableDictionary().set(k, v);
  return entry;
}

class CZViewTest : public testkit::SandboxTest {
 protected:
  platform::Value picture(const std::string& name, uint32_t w, uint32_t h, const platform::Dictionary& extra = {}) {
    return servedPicture(server, name, w, h, extra);
  }
  // Prepares `view` with `response` and waits for "ready" or "failed".
  std::string verdictOf(cadenzo::CZViewProtocol& view, const platform::Dictionary& response) {
    auto verdict = std::make_shared<std::string>();
    view.setDisplayCallback([verdict] { *verdict = "ready"; });
    view.setFailCallback([verdict] { *verdict = "failed"; });
    view.prepareWithResponse(response);
    settleTraffic();
    EXPECT_FALSE(verdict->empty());
    return *verdict;
  }
  testkit::LoopbackServer server;
};

}  // namespace czviews_test
