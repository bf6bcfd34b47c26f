#include "OADataDispatcher.h"

#include <algorithm>

#include "OAGlobalStore.h"
#include "OADeviceFacts.h"
#include "OATCPSocket.h"
#include "OAWireFormat.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/random.h"

namespace analytics {

namespace {

std::unique_lock<std::recursive_mutex> lockIfAny(std::recursive_mutex* lock) {
  return lock ? std::unique_lock<std::recursive_mutex>(*lock)
              : std::unique_lock<std::recursive_mutex>();
}

}  // namespace

bool OADataDispatcher::refusesTheHit(int statusCode) {
  switch (statusCode) {
    case 400:  // bad request
    case 413:  // too large
    case 414:  // URI too long
    case 422:  // unprocessable
    case 431:  // header fields too large
      return true;
    default: return false;
  }
}

// Socket events reach the dispatcher through this, holding the lock, and only while the
// dispatcher lives.
class OADispatcherSocketBridge : public OATCPSocketDelegate {
 public:
  OADispatcherSocketBridge(std::weak_ptr<OADataDispatcher> dispatcher, std::recursive_mutex* lock)
      : dispatcher_(std::move(dispatcher)), lock_(lock) {}

  void socketConnectDidSucceed(OATCPSocket& socket) override {
    forward(socket, &OADataDispatcher::socketConnectDidSucceed);
  }
  void socketConnectDidFail(OATCPSocket& socket) override {
    forward(socket, &OADataDispatcher::socketConnectDidFail);
  }
  void socketBecameReadable(OATCPSocket& socket) override {
    forward(socket, &OADataDispatcher::socketBecameReadable);
  }

 private:
  void forward(OATCPSocket& socket, void (OADataDispatcher::*fn)(OATCPSocket&)) {
    auto lock = lockIfAny(lock_);
    auto dispatcher = dispatcher_.lock();
    // A socket the dispatcher let go (closed from another thread) is no longer heard.
    if (!dispatcher || dispatcher->socket_.get() != &socket) return;
    ((*dispatcher).*fn)(socket);
  }

  std::weak_ptr<OADataDispatcher> dispatcher_;
  std::recursive_mutex* lock_;
};

std::shared_ptr<OADataDispatcher> OADataDispatcher::create(
    std::string accountID, int32_t userID, std::weak_ptr<OADataDispatcherDelegate> delegate,
    OACollectorAddress collector, std::recursive_mutex* lock, platform::RunLoop* loop) {
  auto dispatcher = std::make_shared<OADataDispatcher>(Passkey{}, std::move(accountID), userID,
                                                       std::move(delegate), std::move(collector),
                                                       lock, loop);
  dispatcher->socketBridge_ = std::make_shared<OADispatcherSocketBridge>(dispatcher, lock);
  return dispatcher;
}

OADataDispatcher::OADataDispatcher(Passkey, std::string accountID, int32_t userID,
                                   std::weak_ptr<OADataDispatcherDelegate> delegate,
                                   OACollectorAddress collector, std::recursive_mutex* lock,
                                   platform::RunLoop* loop)
    : delegate_(std::move(delegate)),
      accountID_(std::move(accountID)),
      responseParser_(this),
      userID_(userID),
      collector_(std::move(collector)),
      loop_(loop ? loop : &platform::RunLoop::current()),
      lock_(lock) {
  OADeviceFacts facts = currentDeviceFacts();
  userAgent_ = platform::format("OrvaneAnalytics/1.1 (%@; U; CPU %@ %@ like Mac OS X; %@-%@)",
                                facts.model, facts.systemName, facts.systemVersion,
                                facts.languageCode, facts.countryCode);
}

OADataDispatcher::~OADataDispatcher() { cancelDispatch(); }

platform::PerformHandle OADataDispatcher::performAfter(double seconds,
                                                       void (OADataDispatcher::*fn)()) {
  std::weak_ptr<OADataDispatcher> weak = weak_from_this();
  const uint64_t generation = generation_;
  std::recursive_mutex* lock = lock_;
  return loop_->postAfter(
      seconds,
      [weak, generation, lock, fn] {
        auto guard = lockIfAny(lock);
        auto self = weak.lock();
        if (!self || self->generation_ != generation) return;
        ((*self).*fn)();
      },
      this);
}

void OADataDispatcher::dispatchEvents(const std::vector<std::shared_ptr<OAEvent>>& events) {
  if (dispatching_ || socket_) return;
  dispatching_ = true;
  pendingEvents_.insert(pendingEvents_.end(), events.begin(), events.end());
  eventsDispatched_ = 0;
  sequentialRequests_ = 0;
  refusedInDispatch_ = false;
  double delay = 0;
  if (lastStatusCode_ == 500 || lastStatusCode_ == 503) {
    // Single precision on purpose: the delay is drawn as the collector's other clients do.
    float fraction = static_cast<float>(platform::Random::random()) * 0x1p-31f;
    delay = static_cast<float>(retryInterval_) * fraction;
    if (retryInterval_ < 256) retryInterval_ *= 2;
  } else {
    retryInterval_ = 2.0;
  }
  // A socket that stands in for the real one is driven straight away: whoever injected it
  // sees the connection made by the call that asked for it.
  if (socketClass_ && loop_->isCurrent()) {
    dispatchPendingEvents();
    return;
  }
  delayedStart_ = performAfter(socketClass_ ? 0 : delay, &OADataDispatcher::dispatchPendingEvents);
}

void OADataDispatcher::injectSocketClass(OASocketClass socketClass) {
  // Kept non-empty, so that an injected class is told from none by its truth alone.
  socketClass_ = socketClass ? std::move(socketClass)
                             : OASocketClass([](auto) { return std::shared_ptr<OATCPSocket>(); });
}

std::string OADataDispatcher::constructRequest() {
  OADeviceFacts facts = currentDeviceFacts();
  wire::HitContext context{accountID_,
                           userID_,
                           OAGlobalStore::sharedGlobalStore().hitID(),
                           facts.screenWidth,
                           facts.screenHeight,
                           facts.languageCode,
                           facts.countryCode};
  std::string host = collector_.port == 80
                         ? collector_.host
                         : platform::format("%@:%u", collector_.host, unsigned(collector_.port));
  const size_t count =
      std::min(pendingEvents_.size(), pipelineMode_ ? kOAMaxPipelinedRequests : size_t{1});
  batchSize_ = count;
  batchAnswers_ = 0;
  std::string request;
  for (size_t i = 0; i < count; ++i) {
    const OAEvent& event = *pendingEvents_[i];
    long random = platform::Random::random();
    std::string path = event.isPageview()
                           ? wire::constructPageviewRequestPath(event, context, random)
                           : wire::constructEventRequestPath(event, context, random);
    request += platform::format("GET %@ HTTP/1.1\r\nHost: %@\r\nUser-Agent: %@\r\n\r\n", path, host,
                                userAgent_);
  }
  return request;
}

void OADataDispatcher::dispatchPendingEvents() {
  auto self = shared_from_this();
  if (pendingEvents_.empty()) {
    finishDispatch();
    return;
  }
  pendingRequest_ = constructRequest();
  responseParser_.reset();
  ++sequentialRequests_;
  if (socket_) {
    sendData();
    return;
  }
  socket_ = socketClass_ ? socketClass_(socketBridge_) : OATCPSocket::create(socketBridge_);
  if (!socket_) {
    finishDispatch();
    return;
  }
  armTimeout();
  socket_->connectPort(collector_.host, collector_.port);
}

void OADataDispatcher::sendData() {
  long sent = socket_
                  ? socket_->sendLength(reinterpret_cast<const uint8_t*>(pendingRequest_.data()),
                                        pendingRequest_.size())
                  : -1;
  if (sent < 0) {
    finishDispatch();
    return;
  }
  armTimeout();
}

void OADataDispatcher::armTimeout() {
  timeout_.cancel();
  timeout_ = performAfter(responseTimeout_, &OADataDispatcher::finishDispatch);
}

void OADataDispatcher::socketConnectDidSucceed(OATCPSocket&) { sendData(); }

void OADataDispatcher::socketConnectDidFail(OATCPSocket&) { finishDispatch(); }

void OADataDispatcher::socketBecameReadable(OATCPSocket& socket) {
  uint8_t buffer[1024];
  long count = socket.readLength(buffer, sizeof buffer);
  if (count <= 0) {
    finishDispatch();
    return;
  }
  armTimeout();
  responseParser_.parseResponse(buffer, static_cast<size_t>(count));
}

void OADataDispatcher::responseParsedPersistentConnection(bool persistentConnection) {
  auto self = shared_from_this();
  const uint64_t generation = generation_;
  // A refusal earlier in the dispatch decides the wait before the next one.
  if (!refusedInDispatch_) lastStatusCode_ = 200;
  ++eventsDispatched_;
  ++batchAnswers_;
  if (!pendingEvents_.empty()) {
    auto event = pendingEvents_.front();
    pendingEvents_.pop_front();
    if (auto delegate = delegate_.lock()) delegate->dataDispatcherDispatchedWithEvent(*this, event);
    if (generation_ != generation) return;
  }
  if (!persistentConnection && pipelineMode_) pipelineMode_ = false;
  answerRead(persistentConnection);
}

void OADataDispatcher::responseRefusedStatusCode(int statusCode) {
  auto self = shared_from_this();
  const uint64_t generation = generation_;
  lastStatusCode_ = statusCode;
  const bool firstRefusal = !refusedInDispatch_;
  refusedInDispatch_ = true;
  ++batchAnswers_;
  // The hit leaves this dispatch either way; unless dropped below it stays with the caller.
  std::shared_ptr<OAEvent> event;
  if (!pendingEvents_.empty()) {
    event = pendingEvents_.front();
    pendingEvents_.pop_front();
  }
  // Only a few statuses speak of the request itself; the others (401, 403, 404, 407, 408,
  // 429, 5xx, ...) speak of the collector, a proxy or the path, and every hit would get them.
  if (event && refusesTheHit(statusCode)) {
    if (auto delegate = delegate_.lock()) {
      delegate->dataDispatcherRefusedEventStatusCode(*this, event, statusCode);
    }
    if (generation_ != generation) return;
  } else if (firstRefusal) {
    platform::logf("Orvane Analytics: the collector answered %d; the hits stay stored for the next dispatch",
                   statusCode);
  }
  // A refusal that closes its connection says so as much as an acknowledgement does: the
  // next dispatch must not pipeline requests whose answers would then be cut short and their
  // hits sent again.
  if (!responseParser_.persistentConnection()) pipelineMode_ = false;
  answerRead(responseParser_.persistentConnection());
}

void OADataDispatcher::answerRead(bool persistentConnection) {
  // The answers still due on this connection belong to hits already sent: they are read
  // before the dispatch ends, so none of those hits goes out twice.
  const bool batchDone = batchAnswers_ >= batchSize_ || !persistentConnection;
  if (!batchDone) return;
  if (refusedInDispatch_ || pendingEvents_.empty()) {
    finishDispatch();
    return;
  }
  if (!pipelineMode_) closeConnection();
  if (sequentialRequests_ >= kOAMaxBatches) {
    finishDispatch();
  } else {
    dispatchPendingEvents();
  }
}

void OADataDispatcher::parseErrorStatusCode(int statusCode) {
  platform::log("Orvane Analytics: the collector's answer could not be read; the hits stay stored for the next dispatch");
  lastStatusCode_ = statusCode;
  // As with a refusal: an unreadable answer that had said "close" ends pipelining too.
  if (!responseParser_.persistentConnection()) pipelineMode_ = false;
  finishDispatch();
}

void OADataDispatcher::closeConnection() {
  timeout_.cancel();
  pendingRequest_.clear();
  if (!socket_) return;
  auto socket = std::move(socket_);
  if (loop_->isCurrent()) {
    socket->close();
  } else {
    // Streams belong to their loop's thread; close it there. Its events are no longer heard.
    loop_->post([socket] { socket->close(); });
  }
}

void OADataDispatcher::cancelDispatch() {
  ++generation_;
  delayedStart_.cancel();
  // The rest of a read being parsed came on the connection let go here: none of it may end
  // this dispatch again or answer a hit of the next one.
  responseParser_.reset();
  closeConnection();
  pendingEvents_.clear();
  dispatching_ = false;
}

void OADataDispatcher::finishDispatch() {
  auto self = shared_from_this();
  cancelDispatch();
  if (auto delegate = delegate_.lock()) delegate->dataDispatcherDidComplete(*this);
}

}  // namespace analytics
