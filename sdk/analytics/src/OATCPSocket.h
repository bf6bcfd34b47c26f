#pragma once
// A plain TCP client over the platform's stream pair, for the dispatcher.
//
// Not thread-safe: use it on the thread that connected it; events come on that thread's run
// loop. The delegate is not retained. send() takes everything it is given: what the socket
// cannot take at once is written as space becomes available, so a short write never loses
// the end of a request. A subclass may stand in for it (see OASocketClass): it overrides what
// it changes and reports through the same delegate.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/tcp_stream.h"

namespace analytics {

class OATCPSocket;

class OATCPSocketDelegate {
 public:
  virtual ~OATCPSocketDelegate() = default;
  // The connection is up; sending may start.
  virtual void socketConnectDidSucceed(OATCPSocket& socket) = 0;
  // The connection could not be made, or writing to it failed.
  virtual void socketConnectDidFail(OATCPSocket& socket) = 0;
  // Bytes, the end of the stream or a read error wait: read() tells which.
  virtual void socketBecameReadable(OATCPSocket& socket) = 0;
};

class OATCPSocket : public platform::TCPStreamDelegate,
                    public std::enable_shared_from_this<OATCPSocket> {
 protected:
  // Only create() and subclasses can name it: the socket hands the stream a weak reference to
  // itself, so it must live in a shared_ptr.
  struct Passkey {
    explicit Passkey() = default;
  };

 public:
  static std::shared_ptr<OATCPSocket> create(std::weak_ptr<OATCPSocketDelegate> delegate);
  ~OATCPSocket() override;

  // Starts connecting on the current run loop.
  virtual void connectPort(const std::string& host, uint16_t port);
  // Queues `length` bytes and writes what the connection takes now. Answers `length`, or -1
  // when there is no open stream.
  virtual long sendLength(const uint8_t* bytes, size_t length);
  // Up to `length` bytes: the count, 0 at the end of the stream, -1 on error or when closed.
  virtual long readLength(uint8_t* bytes, size_t length);
  virtual void close();

  OATCPSocket(Passkey, std::weak_ptr<OATCPSocketDelegate> delegate);

 private:
  void streamHandleEvent(platform::TCPStream& stream, unsigned event) override;
  // False when the stream failed.
  bool flush();

  std::weak_ptr<OATCPSocketDelegate> delegate_;
  std::shared_ptr<platform::TCPStream> stream_;
  bool connected_ = false;
  std::string outgoing_;
  size_t written_ = 0;
};

// The kind of socket a dispatcher opens its connections with: makes one, not yet connected,
// reporting to `delegate`. An empty one, or one that answers null, makes no socket at all.
using OASocketClass =
    std::function<std::shared_ptr<OATCPSocket>(std::weak_ptr<OATCPSocketDelegate> delegate)>;

}  // namespace analytics
