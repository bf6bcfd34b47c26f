#include "OATCPSocket.h"

namespace analytics {

std::shared_ptr<OATCPSocket> OATCPSocket::create(std::weak_ptr<OATCPSocketDelegate> delegate) {
  return std::make_shared<OATCPSocket>(Passkey{}, std::move(delegate));
}

OATCPSocket::OATCPSocket(Passkey, std::weak_ptr<OATCPSocketDelegate> delegate)
    : delegate_(std::move(delegate)) {}

// The stream must not outlive the socket it reports to; a subclass is already gone here.
OATCPSocket::~OATCPSocket() { OATCPSocket::close(); }

void OATCPSocket::connectPort(const std::string& host, uint16_t port) {
  close();
  stream_ = platform::TCPStream::create(host, port);
  stream_->setDelegate(weak_from_this());
  stream_->open();
}

long OATCPSocket::sendLength(const uint8_t* bytes, size_t length) {
  if (!stream_) return -1;
  outgoing_.append(reinterpret_cast<const char*>(bytes), length);
  if (connected_ && !flush()) return -1;
  return static_cast<long>(length);
}

bool OATCPSocket::flush() {
  while (written_ < outgoing_.size()) {
    long n = stream_->write(reinterpret_cast<const uint8_t*>(outgoing_.data()) + written_,
                            outgoing_.size() - written_);
    if (n < 0) return false;
    if (n == 0) break;  // full: the next space-available event resumes
    written_ += static_cast<size_t>(n);
  }
  if (written_ == outgoing_.size()) {
    outgoing_.clear();
    written_ = 0;
  }
  return true;
}

long OATCPSocket::readLength(uint8_t* bytes, size_t length) {
  if (!stream_) return -1;
  return stream_->read(bytes, length);
}

void OATCPSocket::close() {
  if (stream_) {
    stream_->setDelegate({});
    stream_->close();
    stream_.reset();
  }
  connected_ = false;
  outgoing_.clear();
  written_ = 0;
}

void OATCPSocket::streamHandleEvent(platform::TCPStream& stream, unsigned event) {
  if (&stream != stream_.get()) return;
  auto self = shared_from_this();
  auto delegate = delegate_.lock();
  if (event & platform::TCPStream::ErrorOccurred) {
    if (!connected_) {
      close();
      if (delegate) delegate->socketConnectDidFail(*this);
    } else if (delegate) {
      delegate->socketBecameReadable(*this);  // the read reports the error
    }
    return;
  }
  if (event & platform::TCPStream::HasSpaceAvailable) {
    if (!connected_) {
      connected_ = true;
      if (!flush()) {
        close();
        if (delegate) delegate->socketConnectDidFail(*this);
        return;
      }
      if (delegate) delegate->socketConnectDidSucceed(*this);
    } else if (!flush()) {
      close();
      if (delegate) delegate->socketConnectDidFail(*this);
    }
    return;
  }
  if (event & (platform::TCPStream::HasBytesAvailable | platform::TCPStream::EndEncountered)) {
    if (delegate) delegate->socketBecameReadable(*this);
  }
}

}  // namespace analytics
