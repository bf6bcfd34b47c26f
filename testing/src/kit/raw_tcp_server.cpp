#include "testing/raw_tcp_server.h"

#include "testing/loopback_traffic.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace testkit {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Parses one request from the front of `buffer`. Returns the bytes it used, or 0 when the
// request is not complete yet. Malformed heads are taken as far as they go.
size_t parseRequest(const std::string& buffer, RawRequest* out) {
  size_t headEnd = buffer.find("\r\n\r\n");
  if (headEnd == std::string::npos) return 0;
  std::string_view head(buffer.data(), headEnd);
  size_t lineEnd = head.find("\r\n");
  std::string_view requestLine = head.substr(0, lineEnd);
  size_t s1 = requestLine.find(' ');
  size_t s2 = s1 == std::string_view::npos ? s1 : requestLine.find(' ', s1 + 1);
  out->method = std::string(requestLine.substr(0, s1));
  if (s1 != std::string_view::npos) {
    out->target = std::string(requestLine.substr(s1 + 1, s2 == std::string_view::npos ? s2 : s2 - s1 - 1));
  }
  if (s2 != std::string_view::npos) out->version = std::string(requestLine.substr(s2 + 1));
  std::string_view rest = lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
  while (!rest.empty()) {
    size_t e = rest.find("\r\n");
    std::string_view line = rest.substr(0, e);
    rest = e == std::string_view::npos ? std::string_view() : rest.substr(e + 2);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    out->headers.emplace_back(std::string(trim(line.substr(0, colon))),
                              std::string(trim(line.substr(colon + 1))));
  }
  size_t pos = headEnd + 4;
  auto te = out->header("Transfer-Encoding");
  if (te && equalsIgnoringCase(trim(*te), "chunked")) {
    for (;;) {
      size_t e = buffer.find("\r\n", pos);
      if (e == std::string::npos) return 0;
      size_t size = std::strtoul(buffer.substr(pos, e - pos).c_str(), nullptr, 16);
      pos = e + 2;
      if (size == 0) {
        // Trailers end with an empty line.
        size_t end = buffer.find("\r\n", pos);
        while (end != std::string::npos && end != pos) {
          pos = end + 2;
          end = buffer.find("\r\n", pos);
        }
        if (end == std::string::npos) return 0;
        return end + 2;
      }
      if (buffer.size() < pos + size + 2) return 0;
      out->body.append(buffer, pos, size);
      pos += size + 2;
    }
  }
  size_t length = 0;
  if (auto cl = out->header("Content-Length")) length = std::strtoul(std::string(trim(*cl)).c_str(), nullptr, 10);
  if (buffer.size() < pos + length) return 0;
  out->body = buffer.substr(pos, length);
  return pos + length;
}

// Every running server of the process, for loopbackTraffic().
std::mutex gServersMutex;
std::vector<const RawTCPServer*> gServers;

}  // namespace

std::optional<std::string> findHeader(const HeaderFields& headers, std::string_view name) {
  for (const auto& [k, v] : headers) {
    if (equalsIgnoringCase(k, name)) return v;
  }
  return std::nullopt;
}

void AnswerHold::release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    isReleased_ = true;
  }
  released_.notify_all();
}

bool AnswerHold::isReleased() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return isReleased_;
}

size_t AnswerHold::waiting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiting_;
}

bool AnswerHold::waitForRelease(const std::function<bool()>& stopped) {
  std::unique_lock<std::mutex> lock(mutex_);
  ++waiting_;
  // The server's stop does not know this hold: look at it every few milliseconds. The look
  // takes the server's lock, and the server asks this hold whether it is released while
  // holding its own, so the look is made with this hold's lock let go.
  while (!isReleased_) {
    lock.unlock();
    const bool stop = stopped();
    lock.lock();
    if (stop || isReleased_) break;
    released_.wait_for(lock, std::chrono::milliseconds(5));
  }
  --waiting_;
  return isReleased_;
}

std::optional<std::string> RawRequest::header(std::string_view name) const {
  return findHeader(headers, name);
}

std::string RawAnswer::serialize() const {
  if (raw) return *raw;
  std::string out = version + " " + std::to_string(status);
  if (!reason.empty()) out += " " + reason;
  out += "\r\n";
  for (const auto& [k, v] : headers) out += k + ": " + v + "\r\n";
  if (contentLength && !findHeader(headers, "Content-Length")) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (connectionClose && !findHeader(headers, "Connection")) out += "Connection: close\r\n";
  out += "\r\n";
  out += body;
  return out;
}

struct RawTCPServer::Impl {
  struct Connection {
    int fd = -1;
    int id = 0;
    int remotePort = 0;
    bool done = false;
    // Reading a request or answering it: set (under the server's mutex) before the bytes
    // are taken from the socket, so that a look at the traffic sees either the unread bytes
    // or this.
    bool busy = false;
    // Waiting on purpose: a hold, a stall or a trickle.
    bool held = false;
    // The hold it waits for: once released, the answer is on its way even before this
    // connection's thread has woken.
    std::shared_ptr<AnswerHold> hold;
    std::thread thread;
  };

  int listenFd = -1;
  int wakePipe[2] = {-1, -1};
  uint16_t port = 0;
  std::thread acceptThread;

  mutable std::mutex mutex;
  std::condition_variable cv;
  bool stopping = false;
  std::atomic<size_t> pacedBytes{0};
  Responder responder;
  size_t closeAfter = 0;
  bool coalesce = false;
  std::vector<RawRequest> requests;
  std::vector<std::unique_ptr<Connection>> connections;
  int nextId = 1;
  // Between the listening socket turning readable and the accepted connection's record.
  bool accepting = false;

  void setPhase(Connection* c, bool busy, bool held) {
    std::lock_guard<std::mutex> lock(mutex);
    c->busy = busy;
    c->held = held;
  }

  static bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR));
  }

  // The client closed its end: whatever is held for it waits for nobody.
  static bool clientGone(int fd) {
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
  }

  // Adds what this server is doing to `traffic`.
  void describeTraffic(LoopbackTraffic& traffic) const {
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) return;
    const std::string name = "server :" + std::to_string(port);
    if (accepting || readable(listenFd)) {
      ++traffic.underWay;
      traffic.details.push_back(name + ": a connection waiting to be accepted");
    }
    for (const auto& c : connections) {
      if (c->done) continue;
      if (c->held && !(c->hold && c->hold->isReleased())) {
        // Counted as held it would stand for another client's connection still under way.
        if (c->fd >= 0 && clientGone(c->fd)) continue;
        ++traffic.held;
      } else if (c->busy || c->held) {
        ++traffic.underWay;
        traffic.details.push_back(name + ": connection " + std::to_string(c->id) + " reading or answering a request");
      } else if (c->fd >= 0 && readable(c->fd)) {
        ++traffic.underWay;
        traffic.details.push_back(name + ": connection " + std::to_string(c->id) + " has bytes not read yet");
      }
    }
  }

  // Waits `ms` of real time, returning early (false) when the server stops.
  bool waitFor(std::chrono::milliseconds ms) {
    std::unique_lock<std::mutex> lock(mutex);
    return !cv.wait_for(lock, ms, [this] { return stopping; });
  }
  void waitForStop() {
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait(lock, [this] { return stopping; });
  }
  bool isStopping() {
    std::lock_guard<std::mutex> lock(mutex);
    return stopping;
  }

  static bool sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
      ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  bool write(int fd, const std::string& bytes, size_t writeSize, std::chrono::milliseconds pause,
             size_t wholeFirst = 0) {
    if (writeSize == 0 || writeSize >= bytes.size()) return sendAll(fd, bytes.data(), bytes.size());
    wholeFirst = std::min(wholeFirst, bytes.size());
    if (wholeFirst > 0 && !sendAll(fd, bytes.data(), wholeFirst)) return false;
    for (size_t pos = wholeFirst; pos < bytes.size(); pos += writeSize) {
      if (pos > 0 && pause.count() > 0 && !waitFor(pause)) return false;
      const size_t piece = std::min(writeSize, bytes.size() - pos);
      if (!sendAll(fd, bytes.data() + pos, piece)) return false;
      pacedBytes += piece;
    }
    return true;
  }

  void acceptLoop() {
    for (;;) {
      pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      if (!(fds[0].revents & POLLIN)) continue;
      {
        std::lock_guard<std::mutex> lock(mutex);
        accepting = true;
      }
      sockaddr_in peer{};
      socklen_t len = sizeof peer;
      int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
      std::lock_guard<std::mutex> lock(mutex);
      accepting = false;
      if (fd < 0) continue;
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      if (stopping) {
        ::close(fd);
        return;
      }
      reapLocked();
      auto c = std::make_unique<Connection>();
      c->fd = fd;
      c->id = nextId++;
      c->remotePort = ntohs(peer.sin_port);
      Connection* raw = c.get();
      connections.push_back(std::move(c));
      raw->thread = std::thread([this, raw] { serve(raw); });
    }
  }

  void reapLocked() {
    for (auto it = connections.begin(); it != connections.end();) {
      if ((*it)->done && (*it)->thread.joinable()) {
        (*it)->thread.join();
        it = connections.erase(it);
      } else {
        ++it;
      }
    }
  }

  void serve(Connection* c) {
    std::string buffer;
    size_t index = 0;
    size_t answered = 0;
    bool open = true;
    char chunk[16384];
    while (open) {
      // A partly received request keeps the connection busy: its sender is still at work.
      setPhase(c, !buffer.empty(), false);
      pollfd ready{c->fd, POLLIN, 0};
      if (::poll(&ready, 1, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      setPhase(c, true, false);
      ssize_t n = ::recv(c->fd, chunk, sizeof chunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      buffer.append(chunk, static_cast<size_t>(n));

      std::vector<RawRequest> batch;
      for (;;) {
        RawRequest r;
        size_t used = parseRequest(buffer, &r);
        if (used == 0) break;
        buffer.erase(0, used);
        r.connection = c->id;
        r.indexOnConnection = index++;
        r.remotePort = c->remotePort;
        batch.push_back(std::move(r));
      }
      Responder answerFor;
      bool together;
      size_t limit;
      {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& r : batch) requests.push_back(r);
        answerFor = responder;
        together = coalesce;
        limit = closeAfter;
      }
      std::string pendingBytes;
      for (const auto& r : batch) {
        RawAnswer a = answerFor ? answerFor(r) : RawAnswer{};
        if (a.stall) {
          if (!pendingBytes.empty()) write(c->fd, pendingBytes, 0, {});
          setPhase(c, false, true);
          waitForStop();
          open = false;
          break;
        }
        if (a.hold) {
          {
            std::lock_guard<std::mutex> lock(mutex);
            c->hold = a.hold;
          }
          setPhase(c, false, true);
          const bool released = a.hold->waitForRelease([this] { return isStopping(); });
          setPhase(c, true, false);
          {
            std::lock_guard<std::mutex> lock(mutex);
            c->hold.reset();
          }
          if (!released) {
            open = false;
            break;
          }
        }
        if (a.delay.count() > 0 && !waitFor(a.delay)) {
          open = false;
          break;
        }
        std::string bytes = a.serialize();
        const bool closeNow = a.closeAfter || a.connectionClose || (limit > 0 && answered + 1 >= limit);
        if (together && !closeNow) {
          pendingBytes += bytes;
          ++answered;
          continue;
        }
        const size_t wholeFirst = pendingBytes.size() + a.wholeFirst;
        bytes = pendingBytes + bytes;
        pendingBytes.clear();
        // A trickle never goes idle, yet never ends soon: it waits on purpose.
        const bool trickles = a.writeSize > 0 && a.pause.count() > 0 && a.writeSize < bytes.size();
        if (trickles) setPhase(c, false, true);
        const bool written = write(c->fd, bytes, a.writeSize, a.pause, wholeFirst);
        if (trickles) setPhase(c, true, false);
        if (!written) {
          open = false;
          break;
        }
        ++answered;
        if (closeNow) {
          open = false;
          break;
        }
      }
      if (open && !pendingBytes.empty() && !write(c->fd, pendingBytes, 0, {})) open = false;
    }
    std::lock_guard<std::mutex> lock(mutex);
    ::shutdown(c->fd, SHUT_RDWR);
    ::close(c->fd);
    c->fd = -1;
    c->done = true;
  }
};

RawTCPServer::RawTCPServer() : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (d.listenFd < 0 || ::pipe2(d.wakePipe, O_CLOEXEC) != 0) throw std::runtime_error("RawTCPServer: socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(d.listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(d.listenFd, 64) != 0 ||
      ::getsockname(d.listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    throw std::runtime_error("RawTCPServer: bind");
  }
  d.port = ntohs(addr.sin_port);
  d.acceptThread = std::thread([&d] { d.acceptLoop(); });
  std::lock_guard<std::mutex> lock(gServersMutex);
  gServers.push_back(this);
}

void RawTCPServer::describeTraffic(LoopbackTraffic& traffic) const { impl_->describeTraffic(traffic); }

size_t RawTCPServer::pacedBytesSent() const { return impl_->pacedBytes.load(); }

LoopbackTraffic loopbackTraffic() {
  LoopbackTraffic traffic;
  std::lock_guard<std::mutex> lock(gServersMutex);
  for (const RawTCPServer* server : gServers) server->describeTraffic(traffic);
  return traffic;
}

RawTCPServer::~RawTCPServer() { stop(); }

uint16_t RawTCPServer::port() const { return impl_->port; }

void RawTCPServer::setResponder(Responder responder) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->responder = std::move(responder);
}

void RawTCPServer::setCloseAfterAnswers(size_t k) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->closeAfter = k;
}

void RawTCPServer::setCoalesceAnswers(bool coalesce) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->coalesce = coalesce;
}

std::vector<RawRequest> RawTCPServer::requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

size_t RawTCPServer::requestCount() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests.size();
}

void RawTCPServer::clearRequests() {
  std::vector<RawRequest> forgotten;  // freed outside the lock
  std::lock_guard<std::mutex> lock(impl_->mutex);
  forgotten.swap(impl_->requests);
}

size_t RawTCPServer::connectionCount() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return static_cast<size_t>(impl_->nextId - 1);
}

void RawTCPServer::closeConnections() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (auto& c : impl_->connections) {
    if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
  }
}

void RawTCPServer::stop() {
  Impl& d = *impl_;
  {
    std::lock_guard<std::mutex> lock(gServersMutex);
    std::erase(gServers, this);
  }
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.stopping) return;
    d.stopping = true;
    for (auto& c : d.connections) {
      if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
    }
  }
  d.cv.notify_all();
  char byte = 1;
  ssize_t ignored = ::write(d.wakePipe[1], &byte, 1);
  (void)ignored;
  if (d.acceptThread.joinable()) d.acceptThread.join();
  std::vector<std::unique_ptr<Impl::Connection>> connections;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    connections.swap(d.connections);
  }
  for (auto& c : connections) {
    if (c->thread.joinable()) c->thread.join();
  }
  ::close(d.listenFd);
  ::close(d.wakePipe[0]);
  ::close(d.wakePipe[1]);
}

}  // namespace testkit
