#include "curl_driver.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace platform::net {

CurlDriver& CurlDriver::current() {
  // Leaked on purpose: a thread's loop may still run watchers while thread-locals unwind.
  thread_local CurlDriver* driver = new CurlDriver();
  return *driver;
}

CurlDriver::CurlDriver() : loop_(RunLoop::current()) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlDriver::socketCallback);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlDriver::timerCallback);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
  timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
}

CurlDriver::~CurlDriver() {
  abandonAll();
  curl_multi_cleanup(multi_);
  if (timerFd_ >= 0) ::close(timerFd_);
}

bool CurlDriver::add(CURL* easy, CurlTransfer* transfer) {
  if (timerWatch_ < 0) {
    timerWatch_ = loop_.watchFd(timerFd_, RunLoop::kReadable, [this](int fd, unsigned) {
      uint64_t expirations = 0;
      while (::read(fd, &expirations, sizeof expirations) > 0) {
      }
      act(CURL_SOCKET_TIMEOUT, 0);
    });
  }
  curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer);
  if (curl_multi_add_handle(multi_, easy) != CURLM_OK) return false;
  transfers_[easy] = Started{transfer, nextSerial_++};
  return true;
}

void CurlDriver::remove(CURL* easy) {
  if (transfers_.erase(easy) == 0) return;
  curl_multi_remove_handle(multi_, easy);
  pending_.erase(std::remove(pending_.begin(), pending_.end(), easy), pending_.end());
}

void CurlDriver::markPending(CURL* easy) {
  if (std::find(pending_.begin(), pending_.end(), easy) == pending_.end()) pending_.push_back(easy);
}

void CurlDriver::abandonAll() {
  for (auto& [easy, transfer] : transfers_) curl_multi_remove_handle(multi_, easy);
  transfers_.clear();
  pending_.clear();
  for (auto& [fd, id] : watches_) loop_.unwatchFd(id);
  watches_.clear();
  if (timerWatch_ >= 0) loop_.unwatchFd(timerWatch_);
  timerWatch_ = -1;
  armTimer(-1);
}

int CurlDriver::socketCallback(CURL*, curl_socket_t fd, int what, void* user, void*) {
  auto* self = static_cast<CurlDriver*>(user);
  auto it = self->watches_.find(fd);
  if (what == CURL_POLL_REMOVE) {
    if (it != self->watches_.end()) {
      self->loop_.unwatchFd(it->second);
      self->watches_.erase(it);
    }
    return 0;
  }
  unsigned events = 0;
  if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= RunLoop::kReadable;
  if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= RunLoop::kWritable;
  if (it != self->watches_.end()) {
    self->loop_.updateFdWatch(it->second, events);
  } else {
    self->watches_[fd] = self->loop_.watchFd(fd, events, [self](int readyFd, unsigned ready) {
      int mask = 0;
      if (ready & RunLoop::kReadable) mask |= CURL_CSELECT_IN;
      if (ready & RunLoop::kWritable) mask |= CURL_CSELECT_OUT;
      if (ready & RunLoop::kError) mask |= CURL_CSELECT_ERR;
      self->act(readyFd, mask);
    });
  }
  return 0;
}

int CurlDriver::timerCallback(CURLM*, long timeoutMs, void* user) {
  static_cast<CurlDriver*>(user)->armTimer(timeoutMs);
  return 0;
}

void CurlDriver::armTimer(long timeoutMs) {
  if (timerFd_ < 0) return;
  itimerspec spec{};
  if (timeoutMs >= 0) {
    // A zero it_value would disarm; "now" is the next poll.
    long ns = timeoutMs == 0 ? 1 : (timeoutMs % 1000) * 1000000L;
    spec.it_value.tv_sec = timeoutMs / 1000;
    spec.it_value.tv_nsec = ns;
  }
  timerfd_settime(timerFd_, 0, &spec, nullptr);
}

void CurlDriver::act(curl_socket_t fd, int mask) {
  if (inCurl_) return;
  int running = 0;
  inCurl_ = true;
  curl_multi_socket_action(multi_, fd, mask, &running);
  struct Done {
    CURL* easy;
    uint64_t serial;
    CURLcode result;
  };
  std::vector<Done> done;
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    auto it = transfers_.find(msg->easy_handle);
    if (it != transfers_.end()) done.push_back({msg->easy_handle, it->second.serial, msg->data.result});
  }
  inCurl_ = false;

  // Delegates may cancel (removing handles) or start transfers while we deliver, so every
  // report is checked against the transfer it was made for before it is used.
  std::vector<std::pair<CURL*, uint64_t>> pending;
  for (CURL* easy : pending_) {
    auto it = transfers_.find(easy);
    if (it != transfers_.end()) pending.emplace_back(easy, it->second.serial);
  }
  pending_.clear();
  for (auto [easy, serial] : pending) {
    if (CurlTransfer* transfer = live(easy, serial)) transfer->deliverPending();
  }
  for (const Done& d : done) {
    if (CurlTransfer* transfer = live(d.easy, d.serial)) transfer->transferDone(d.result);
  }
}

CurlTransfer* CurlDriver::live(CURL* easy, uint64_t serial) const {
  auto it = transfers_.find(easy);
  return it != transfers_.end() && it->second.serial == serial ? it->second.transfer : nullptr;
}

}  // namespace platform::net
