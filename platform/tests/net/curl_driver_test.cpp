// The driver under URLConnection, at the level where libcurl reports several transfers done
// in one pass and a delegate cancels and starts transfers while those reports are delivered.
#include "../../src/net/curl_driver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "testing/sandbox_test.h"

namespace {

using platform::net::CurlDriver;
using platform::net::CurlTransfer;

struct FileTransfer : CurlTransfer {
  CURL* easy = nullptr;
  size_t bytes = 0;
  int done = 0;
  std::function<void()> onDone;

  static size_t write(char*, size_t size, size_t count, void* self) {
    static_cast<FileTransfer*>(self)->bytes += size * count;
    return size * count;
  }
  // `handle` may be one another transfer let go of: libcurl handles are reusable.
  void start(const std::string& url, CURL* handle = nullptr) {
    easy = handle ? handle : curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &FileTransfer::write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    ASSERT_TRUE(CurlDriver::current().add(easy, this));
  }
  void stop() { curl_easy_cleanup(release()); }
  CURL* release() {
    CURL* handle = easy;
    if (handle) CurlDriver::current().remove(handle);
    easy = nullptr;
    return handle;
  }
  void deliverPending() override {}
  void transferDone(CURLcode) override {
    ++done;
    stop();
    if (onDone) onDone();
  }
  ~FileTransfer() override { stop(); }
};

class CurlDriverTest : public testkit::SandboxTest {
 protected:
  // The loop's watchers go with the sandbox; the driver must forget its own, as the
  // connections' reset does for it.
  void TearDown() override {
    CurlDriver::current().abandonAll();
    testkit::SandboxTest::TearDown();
  }
};

// Local files finish within the pass that starts them, so both transfers are reported done
// together. The first delivery cancels the second and starts a third on the second's handle:
// the second's report must not reach the third.
TEST_F(CurlDriverTest, AReportForACancelledTransferNeverReachesItsSuccessor) {
  const std::string path = home() + "/payload.bin";
  std::ofstream(path) << std::string(5000, 'x');
  const std::string url = "file://" + path;
  FileTransfer first, second, third;
  auto cancelOtherAndStartThird = [&](FileTransfer& other) {
    return [&] {
      if (third.easy || third.done) return;
      CURL* handle = other.release();
      ASSERT_NE(handle, nullptr) << "both transfers were to be reported in one pass";
      third.start(url, handle);
    };
  };
  first.onDone = cancelOtherAndStartThird(second);
  second.onDone = cancelOtherAndStartThird(first);
  first.start(url);
  second.start(url);
  ASSERT_TRUE(runUntil([&] { return third.done > 0; }));
  EXPECT_EQ(first.done + second.done, 1);
  EXPECT_EQ(third.done, 1);
  EXPECT_EQ(third.bytes, 5000u);
}

}  // namespace
