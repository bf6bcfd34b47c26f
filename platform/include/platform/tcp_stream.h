#pragma once
// A TCP connection as a read/write stream pair, driven by events on the run loop of the
// thread that opened it.
//
// Events, in the order they can come:
//   OpenCompleted      the connection is established (once)
//   HasSpaceAvailable  writes will be accepted; the first one follows OpenCompleted. Another
//                      comes only after a write (when space is available again), so a
//                      delegate that writes nothing is not called in a loop.
//   HasBytesAvailable  data can be read; another comes only after a read.
//   EndEncountered     the peer closed its side and everything before was read (once)
//   ErrorOccurred      refused, unreachable, reset, unknown host, …; then nothing more
// Events never arrive inside open(), write(), read() or close(). After close() nothing is
// delivered.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/passkey.h"
#include "platform/value.h"

namespace platform {

class TCPStream;

// Domain of errors that carry an errno value (ECONNREFUSED, ECONNRESET, …).
inline constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
// Domain of host look-up failures; code 1 is "host not found".
inline constexpr const char* kCFNetworkErrorDomain = "kCFErrorDomainCFNetwork";

class TCPStreamDelegate {
 public:
  virtual ~TCPStreamDelegate() = default;
  // `event` is one TCPStream::Event value.
  virtual void streamHandleEvent(TCPStream& stream, unsigned event) = 0;
};

// Not thread-safe: use it on the thread that called open(). The delegate is not retained.
// While open, the run loop keeps the stream alive; after close() or an error it is the
// owner's to keep or drop.
class TCPStream : public std::enable_shared_from_this<TCPStream> {
 public:
  enum Event : unsigned {
    None = 0,
    OpenCompleted = 1u << 0,
    HasBytesAvailable = 1u << 1,
    HasSpaceAvailable = 1u << 2,
    ErrorOccurred = 1u << 3,
    EndEncountered = 1u << 4,
  };
  enum class Status { NotOpen, Opening, Open, AtEnd, Closed, Error };

  static std::shared_ptr<TCPStream> create(std::string host, uint16_t port);
  ~TCPStream();

  void setDelegate(std::weak_ptr<TCPStreamDelegate> delegate);

  // Starts resolving and connecting on the calling thread's loop. Only the first call counts.
  void open();

  // Writes up to `length` bytes without blocking; returns how many were taken (0 when the
  // socket's buffer is full or the stream is not open yet), or -1 after an error/close.
  long write(const uint8_t* data, size_t length);
  long write(const std::string& data) {
    return write(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  }

  // Reads up to `maxLength` bytes without blocking; returns how many were read, 0 when none
  // are waiting or at end, -1 after an error/close.
  long read(uint8_t* buffer, size_t maxLength);
  // Convenience: up to `maxLength` bytes (empty when none).
  Bytes read(size_t maxLength);

  bool hasSpaceAvailable() const;
  bool hasBytesAvailable() const;

  // Closes both directions and stops every event. Idempotent.
  void close();

  Status streamStatus() const { return status_; }
  // The error behind ErrorOccurred (nullopt otherwise).
  const std::optional<Error>& streamError() const { return error_; }
  const std::string& host() const { return host_; }
  uint16_t port() const { return port_; }

  // Made only by create().
  TCPStream(Passkey<TCPStream>, std::string host, uint16_t port);

  // Streams of the process, on any thread, still resolving or connecting: their handshake
  // shows on neither side's loop until it is done, so a wait for settled traffic asks here.
  static size_t openingCount();

 private:
  struct Impl;
  void setStatus(Status status);
  std::string host_;
  uint16_t port_;
  Status status_ = Status::NotOpen;
  std::optional<Error> error_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
