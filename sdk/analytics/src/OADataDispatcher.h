#pragma once
// Delivers stored hits to the collector: each hit becomes a GET of "/__ova.gif" with the hit
// in its query; up to 30 requests go out at once on one HTTP/1.1 connection, and every
// acknowledged answer is reported hit by hit.
//
// Thread safety: the connection, the delayed start and the time-out run on the run loop of the
// thread that created the dispatcher. Without a lock, use it only on that thread. With a
// lock, every run-loop callback (and so every delegate call) runs holding it, and any thread
// holding it may call dispatchEvents and cancelDispatch. The delegate is not retained;
// callbacks never reach a destroyed delegate or come from a destroyed dispatcher.
// Failure: a connection that fails, ends, errs or stays silent for responseTimeout() seconds
// ends the dispatch; an answer that is not 200 ends it once the rest of its batch is answered.
// Hits not acknowledged stay with the caller.
// A hit answered with a status that faults the request itself (400, 413, 414, 422, 431) is
// reported as refused; the caller decides when to give it up. Any other status leaves the hit
// pending like any failure. A 500 or 503 makes the next
// dispatch wait a random part of a doubling retry interval (2 s up to 256 s).
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "OAEvent.h"
#include "analytics/OACollectorAddress.h"
#include "OAHTTPResponseParser.h"
#include "OATCPSocket.h"
#include "platform/run_loop.h"

namespace analytics {

class OADataDispatcher;
class OADispatcherSocketBridge;

class OADataDispatcherDelegate {
 public:
  virtual ~OADataDispatcherDelegate() = default;
  // The collector acknowledged `event`.
  virtual void dataDispatcherDispatchedWithEvent(OADataDispatcher& dispatcher,
                                                 const std::shared_ptr<OAEvent>& event) = 0;
  // The collector refused `event` with a status that faults the request itself; sent again,
  // it may well be refused again.
  virtual void dataDispatcherRefusedEventStatusCode(OADataDispatcher& dispatcher,
                                                    const std::shared_ptr<OAEvent>& event,
                                                    int statusCode) = 0;
  // The dispatch is over (every hit acknowledged, the batch limit reached, or a failure).
  virtual void dataDispatcherDidComplete(OADataDispatcher& dispatcher) = 0;
};

inline constexpr size_t kOAMaxPipelinedRequests = 30;
inline constexpr unsigned kOAMaxBatches = 5;

class OADataDispatcher : public std::enable_shared_from_this<OADataDispatcher>,
                         private OAHTTPResponseParserDelegate {
  // Only create() can name it: a dispatcher built any other way would never hear its socket.
  struct Passkey {
    explicit Passkey() = default;
  };

 public:
  // `userID` is the store id (the cookie's second field). `lock`, when given, must outlive
  // the dispatcher. The connection runs on `loop`, by default the calling thread's.
  static std::shared_ptr<OADataDispatcher> create(std::string accountID, int32_t userID,
                                                  std::weak_ptr<OADataDispatcherDelegate> delegate,
                                                  OACollectorAddress collector = {},
                                                  std::recursive_mutex* lock = nullptr,
                                                  platform::RunLoop* loop = nullptr);
  ~OADataDispatcher() override;
  OADataDispatcher(const OADataDispatcher&) = delete;
  OADataDispatcher& operator=(const OADataDispatcher&) = delete;

  // Starts a dispatch of `events` (in order) on a later turn, after the retry delay when the
  // last one ended on a 500 or 503 (at once with an injected socket class, below). Ignored
  // while a connection is open.
  void dispatchEvents(const std::vector<std::shared_ptr<OAEvent>>& events);
  // Ends the dispatch at once: closes the connection, cancels the delayed start and the
  // time-out, forgets the pending hits. The delegate hears nothing more of it.
  void cancelDispatch();
  // True until an answer says its connection is not persistent; then one request per
  // connection for the rest of this dispatcher's life.
  bool pipelineMode() const { return pipelineMode_; }
  // True for the statuses that fault the request itself rather than the collector or path.
  static bool refusesTheHit(int statusCode);
  // Connections opened from now on are sockets of `socketClass` instead of the plain TCP
  // socket; one already open keeps its socket. Once a class is injected, a dispatch starts its
  // first batch within dispatchEvents itself (on the dispatcher's loop; posted from any other
  // thread), with no retry delay. A class that makes no socket (empty, or answering null)
  // fails each connection the way an unreachable collector does.
  void injectSocketClass(OASocketClass socketClass);

  const std::string& accountID() const { return accountID_; }
  void setCollector(OACollectorAddress collector) { collector_ = std::move(collector); }
  const OACollectorAddress& collector() const { return collector_; }
  // Seconds of silence (no connection, no answer bytes) after which a dispatch is given up.
  void setResponseTimeout(double seconds) { responseTimeout_ = seconds; }
  double responseTimeout() const { return responseTimeout_; }

  // ---- For tests: the dispatcher's inner state, read by nothing else. ----
  // True from dispatchEvents until the delegate hears dataDispatcherDidComplete.
  bool isDispatchingForTesting() const { return dispatching_; }
  int lastStatusCodeForTesting() const { return lastStatusCode_; }
  // Seconds whose random part the next dispatch waits after a 500 or 503.
  double retryIntervalForTesting() const { return retryInterval_; }

  OADataDispatcher(Passkey, std::string accountID, int32_t userID,
                   std::weak_ptr<OADataDispatcherDelegate> delegate, OACollectorAddress collector,
                   std::recursive_mutex* lock, platform::RunLoop* loop);

 private:
  friend class OADispatcherSocketBridge;
  // Runs `fn` on this dispatcher's loop after `seconds`, holding the lock, while both the
  // dispatcher and the current dispatch (by generation) still exist.
  platform::PerformHandle performAfter(double seconds, void (OADataDispatcher::*fn)());
  void dispatchPendingEvents();
  std::string constructRequest();
  void sendData();
  void closeConnection();
  void finishDispatch();
  void armTimeout();
  // Socket events, from the bridge.
  void socketConnectDidSucceed(OATCPSocket& socket);
  void socketConnectDidFail(OATCPSocket& socket);
  void socketBecameReadable(OATCPSocket& socket);
  // Parser events.
  void responseParsedPersistentConnection(bool persistentConnection) override;
  void responseRefusedStatusCode(int statusCode) override;
  void parseErrorStatusCode(int statusCode) override;
  // After each answer: waits for the rest of the batch, or sends the next, or ends.
  void answerRead(bool persistentConnection);

  std::weak_ptr<OADataDispatcherDelegate> delegate_;
  std::string accountID_;
  std::shared_ptr<OATCPSocket> socket_;
  std::shared_ptr<OADispatcherSocketBridge> socketBridge_;
  // Empty: the plain TCP socket, whose dispatches start on a later turn. An injected class is
  // never empty (one that makes no socket answers null).
  OASocketClass socketClass_;
  bool pipelineMode_ = true;
  std::deque<std::shared_ptr<OAEvent>> pendingEvents_;
  std::string pendingRequest_;
  uint32_t eventsDispatched_ = 0;
  OAHTTPResponseParser responseParser_;
  std::string userAgent_;
  int32_t userID_;
  uint32_t sequentialRequests_ = 0;
  size_t batchSize_ = 0;       // requests in the batch on the wire
  size_t batchAnswers_ = 0;    // answers read for it
  bool refusedInDispatch_ = false;  // an answer other than 200: no batch after this one
  int lastStatusCode_ = 0;
  double retryInterval_ = 2.0;
  OACollectorAddress collector_;
  double responseTimeout_ = kOADefaultResponseTimeout;
  bool dispatching_ = false;
  uint64_t generation_ = 0;  // moves when a dispatch ends, so stale callbacks do nothing
  platform::RunLoop* loop_;
  std::recursive_mutex* lock_;
  platform::PerformHandle delayedStart_;
  platform::PerformHandle timeout_;
};

}  // namespace analytics
