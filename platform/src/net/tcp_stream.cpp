#include "platform/tcp_stream.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/dispatch.h"
#include "platform/run_loop.h"

namespace platform {
namespace {

std::atomic<size_t> gOpening{0};

struct Address {
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family = AF_INET;
};

// Numeric hosts resolve at once; names may block, so callers do that off the loop.
int resolve(const std::string& host, uint16_t port, bool numericOnly, std::vector<Address>* out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
  addrinfo* list = nullptr;
  int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) return rc;
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    Address a;
    std::memcpy(&a.storage, ai->ai_addr, ai->ai_addrlen);
    a.length = ai->ai_addrlen;
    a.family = ai->ai_family;
    out->push_back(a);
  }
  freeaddrinfo(list);
  return 0;
}

Error posixError(int code) {
  Dictionary info;
  info.set(kLocalizedDescriptionKey, Value(std::string(std::strerror(code))));
  return Error{kPOSIXErrorDomain, code, Value(std::move(info))};
}

}  // namespace

struct TCPStream::Impl {
  TCPStream* owner;
  RunLoop* loop = nullptr;
  std::weak_ptr<TCPStreamDelegate> delegate;
  // The loop's hold while the stream is open.
  std::shared_ptr<TCPStream> retained;
  int fd = -1;
  int watch = -1;
  std::vector<Address> addresses;
  size_t next = 0;
  bool connected = false;
  bool wantSpace = false;
  bool wantBytes = true;
  PerformHandle pendingError;

  explicit Impl(TCPStream* o) : owner(o) {}
  ~Impl() { closeSocket(); }

  void closeSocket() {
    if (watch >= 0 && loop) loop->unwatchFd(watch);
    watch = -1;
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  bool live() const {
    return owner->status_ == Status::Opening || owner->status_ == Status::Open ||
           owner->status_ == Status::AtEnd;
  }

  void emit(unsigned event) {
    if (!live() && event != ErrorOccurred) return;
    if (auto d = delegate.lock()) d->streamHandleEvent(*owner, event);
  }

  // The owner may drop the stream from inside any event, also once the loop's hold is gone
  // (at the end, or after close()): every handler keeps it alive until it returns.
  std::shared_ptr<TCPStream> hold() const { return owner->weak_from_this().lock(); }

  void fail(const Error& error) {
    auto keep = hold();
    owner->setStatus(Status::Error);
    owner->error_ = error;
    closeSocket();
    pendingError.cancel();
    releaseLater();
    if (auto d = delegate.lock()) d->streamHandleEvent(*owner, ErrorOccurred);
  }

  void releaseLater() {
    if (retained && loop) loop->keepAliveUntilEndOfTurn(std::move(retained));
    retained.reset();
  }

  void connectNext(int lastErrno) {
    closeSocket();
    if (next >= addresses.size()) {
      fail(posixError(lastErrno ? lastErrno : ECONNREFUSED));
      return;
    }
    const Address& a = addresses[next++];
    fd = ::socket(a.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      connectNext(errno);
      return;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a.storage), a.length) != 0 &&
        errno != EINPROGRESS) {
      connectNext(errno);
      return;
    }
    // Completion (or refusal) shows as writability, reported on a later turn.
    watch = loop->watchFd(fd, RunLoop::kWritable, [this](int, unsigned events) { onReady(events); });
  }

  void updateWatch() {
    if (watch < 0) return;
    unsigned events = 0;
    if (wantBytes && owner->status_ == Status::Open) events |= RunLoop::kReadable;
    if (wantSpace) events |= RunLoop::kWritable;
    loop->updateFdWatch(watch, events);
  }

  void onReady(unsigned events) {
    auto keep = hold();
    if (!connected) {
      int err = 0;
      socklen_t len = sizeof err;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err != 0) {
        connectNext(err);
        return;
      }
      connected = true;
      owner->setStatus(Status::Open);
      wantSpace = false;
      updateWatch();
      emit(OpenCompleted);
      if (!live()) return;
      emit(HasSpaceAvailable);
      return;
    }
    if ((events & RunLoop::kWritable) && wantSpace) {
      wantSpace = false;
      updateWatch();
      emit(HasSpaceAvailable);
      // Closed, or let go by its last owner (only this handler still holds it): no more
      // events for what happened in the same wake-up.
      if (fd < 0 || !live() || keep.use_count() == 1) return;
    }
    if ((events & (RunLoop::kReadable | RunLoop::kError)) && wantBytes && owner->status_ == Status::Open) {
      char probe;
      ssize_t n = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
      if (n > 0) {
        wantBytes = false;
        updateWatch();
        emit(HasBytesAvailable);
      } else if (n == 0) {
        owner->setStatus(Status::AtEnd);
        wantBytes = false;
        updateWatch();
        emit(EndEncountered);
        releaseLater();
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        fail(posixError(errno));
      }
      return;
    }
    if ((events & RunLoop::kError) && fd >= 0 && live()) {
      int err = 0;
      socklen_t len = sizeof err;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err != 0) {
        fail(posixError(err));
      } else if (wantSpace) {
        // Hung up while the delegate still has bytes to read: stop polling for space, or
        // the hang-up would be reported on every turn; the next read re-arms.
        wantSpace = false;
        updateWatch();
      }
    }
  }

  void startResolved(int rc, std::vector<Address> found) {
    if (owner->status_ != Status::Opening) return;
    if (rc != 0 || found.empty()) {
      Dictionary info;
      info.set(kLocalizedDescriptionKey, Value(std::string(gai_strerror(rc))));
      fail(Error{kCFNetworkErrorDomain, rc == EAI_NONAME ? 1 : 2, Value(std::move(info))});
      return;
    }
    addresses = std::move(found);
    connectNext(0);
  }

  // The result of a non-blocking send or recv: a would-block is 0; a failure is -1 and is
  // reported on a later turn.
  long settle(ssize_t n) {
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    failLater(errno);
    return -1;
  }

  // An error found inside write() or read() is reported on a later turn.
  void failLater(int code) {
    owner->setStatus(Status::Error);
    owner->error_ = posixError(code);
    closeSocket();
    pendingError = loop->postAfter(0, [this] {
      auto keep = hold();
      releaseLater();
      if (auto d = delegate.lock()) d->streamHandleEvent(*owner, ErrorOccurred);
    });
  }
};

TCPStream::TCPStream(Passkey<TCPStream>, std::string host, uint16_t port)
    : host_(std::move(host)), port_(port), impl_(std::make_unique<Impl>(this)) {}

TCPStream::~TCPStream() {
  impl_->pendingError.cancel();
  setStatus(Status::Closed);
}

size_t TCPStream::openingCount() { return gOpening.load(); }

void TCPStream::setStatus(Status status) {
  if (status == status_) return;
  if (status == Status::Opening) ++gOpening;
  if (status_ == Status::Opening) --gOpening;
  status_ = status;
}

std::shared_ptr<TCPStream> TCPStream::create(std::string host, uint16_t port) {
  return std::make_shared<TCPStream>(Passkey<TCPStream>(), std::move(host), port);
}

void TCPStream::setDelegate(std::weak_ptr<TCPStreamDelegate> delegate) {
  impl_->delegate = std::move(delegate);
}

void TCPStream::open() {
  if (status_ != Status::NotOpen) return;
  setStatus(Status::Opening);
  Impl& d = *impl_;
  d.loop = &RunLoop::current();
  d.retained = shared_from_this();
  std::vector<Address> numeric;
  if (resolve(host_, port_, true, &numeric) == 0) {
    d.loop->postAfter(0, [weak = weak_from_this(), numeric]() mutable {
      if (auto self = weak.lock()) self->impl_->startResolved(0, std::move(numeric));
    });
    return;
  }
  RunLoop* loop = d.loop;
  DispatchQueue::global().async([weak = weak_from_this(), host = host_, port = port_, loop] {
    std::vector<Address> found;
    int rc = resolve(host, port, false, &found);
    loop->post([weak, rc, found]() mutable {
      if (auto self = weak.lock()) self->impl_->startResolved(rc, std::move(found));
    });
  });
}

long TCPStream::write(const uint8_t* data, size_t length) {
  Impl& d = *impl_;
  if (status_ == Status::Error || status_ == Status::Closed) return -1;
  if (status_ != Status::Open && status_ != Status::AtEnd) return 0;
  if (length == 0) return 0;
  long n = d.settle(::send(d.fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT));
  if (n >= 0) d.wantSpace = true;
  d.updateWatch();
  return n;
}

long TCPStream::read(uint8_t* buffer, size_t maxLength) {
  Impl& d = *impl_;
  if (status_ == Status::Error || status_ == Status::Closed) return -1;
  if (status_ != Status::Open || maxLength == 0) return 0;
  long n = d.settle(::recv(d.fd, buffer, maxLength, MSG_DONTWAIT));
  // Whatever is left, or the end, is announced by the next readiness.
  if (n >= 0) d.wantBytes = true;
  d.updateWatch();
  return n;
}

Bytes TCPStream::read(size_t maxLength) {
  Bytes out(maxLength);
  long n = read(out.data(), maxLength);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

bool TCPStream::hasSpaceAvailable() const {
  if (status_ != Status::Open && status_ != Status::AtEnd) return false;
  pollfd p{impl_->fd, POLLOUT, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT);
}

bool TCPStream::hasBytesAvailable() const {
  if (status_ != Status::Open) return false;
  char probe;
  return ::recv(impl_->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

void TCPStream::close() {
  if (status_ == Status::Closed) return;
  setStatus(Status::Closed);
  impl_->pendingError.cancel();
  impl_->closeSocket();
  impl_->releaseLater();
}

}  // namespace platform
