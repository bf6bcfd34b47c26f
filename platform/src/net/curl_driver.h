#pragma once
// One libcurl multi handle per thread, pumped by that thread's run loop: libcurl's sockets
// become descriptor watchers, and its timer a timerfd that the loop also watches, so
// libcurl's own deadlines run on real time whatever the platform clock is. Callbacks from
// libcurl only record; transfers deliver to their delegates after libcurl has returned, so
// a delegate may cancel or start connections freely. Not thread-safe: the owning thread only.
#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/run_loop.h"

namespace platform::net {

class CurlTransfer {
 public:
  virtual ~CurlTransfer() = default;
  // Hands what libcurl recorded since the last call to the delegate.
  virtual void deliverPending() = 0;
  // The transfer ended (libcurl's result). The transfer removes itself.
  virtual void transferDone(CURLcode result) = 0;
};

class CurlDriver {
 public:
  // The calling thread's driver, created on first use.
  static CurlDriver& current();
  ~CurlDriver();

  // Starts `easy` for `transfer`, which must call remove() before it goes away.
  bool add(CURL* easy, CurlTransfer* transfer);
  void remove(CURL* easy);
  // The transfer of `easy` has something to deliver after libcurl returns.
  void markPending(CURL* easy);

  // Forgets every transfer without calling them (tests reset between cases).
  void abandonAll();

 private:
  CurlDriver();
  static int socketCallback(CURL* easy, curl_socket_t fd, int what, void* user, void* socketData);
  static int timerCallback(CURLM* multi, long timeoutMs, void* user);
  void act(curl_socket_t fd, int mask);
  void armTimer(long timeoutMs);
  // The transfer `easy` was started for under `serial`, or nullptr when it has been removed
  // since: a handle may be removed and started again for another transfer while libcurl's
  // reports of one pass are delivered.
  CurlTransfer* live(CURL* easy, uint64_t serial) const;

  struct Started {
    CurlTransfer* transfer;
    uint64_t serial;
  };

  RunLoop& loop_;
  CURLM* multi_ = nullptr;
  int timerFd_ = -1;
  int timerWatch_ = -1;
  bool inCurl_ = false;
  std::unordered_map<curl_socket_t, int> watches_;
  std::unordered_map<CURL*, Started> transfers_;
  uint64_t nextSerial_ = 1;
  std::vector<CURL*> pending_;
};

}  // namespace platform::net
