#pragma once
// The analytics client's public face: a process-wide tracker that is started with an account
// id and a dispatch period, records page views and events in the persistent store at once,
// and hands the stored hits to the dispatcher every period (or on dispatch()).
//
// Thread safety: every public member takes one recursive lock (the class lock), so tracking
// from several threads at once is safe. The dispatch timer, the connection and the delegate
// run on the run loop of the thread that started the tracker (on the main loop once that
// thread has ended; a dispatch under way then is dropped, its hits stay stored); the delegate
// is called with the lock held: it may call the tracker, but must not wait for another thread
// that does.
// Ownership: the delegate is not retained. The singleton lives for the whole process; a
// process reset (tests only) stops it and the next sharedTracker() makes a fresh one.
// Failure: refusals answer false with an error in kOATrackerErrorDomain (or the store's
// domain when the store failed) when the caller passes an error out-parameter.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "analytics/OACollectorAddress.h"
#include "analytics/OACustomVariableScope.h"
#include "platform/error.h"

namespace platform {
class RunLoop;
}

namespace analytics {

inline constexpr const char* kOATrackerErrorDomain = "com.orvane.analytics.OATrackerError";
inline constexpr long kOATrackerNotStartedError = 12245589;                // 0xBADA55
inline constexpr long kOATrackerInvalidInputError = 195946409;             // 0xBADE7A9
inline constexpr long kOATrackerEventsPerSessionLimitError = -1160417202;  // 0xBAD5704E
inline constexpr uint32_t kOAMaxEventsPerSession = 500;
inline constexpr size_t kOAMaxCustomVariableLength = 64;

class OADataDispatcher;
class OAEvent;
class OATracker;

class OATrackerDelegate {
 public:
  virtual ~OATrackerDelegate() = default;
  // After every dispatch: how many hits the collector took and how many it did not.
  virtual void trackerDispatchDidCompleteEventsDispatchedEventsFailedDispatch(
      OATracker& tracker, unsigned eventsDispatched, unsigned eventsFailedDispatch) = 0;
};

using OAErrorOut = std::optional<platform::Error>*;

class OATracker : public std::enable_shared_from_this<OATracker> {
 public:
  static std::shared_ptr<OATracker> sharedTracker();

  // Opens the store and makes the dispatcher on the first start; a second start while started
  // only replaces the account id and delegate (the dispatcher keeps the first account) and
  // the period. A period below 1 runs no timer.
  void startTrackerWithAccountIDDispatchPeriodDelegate(std::string accountID,
                                                       int32_t dispatchPeriod,
                                                       std::weak_ptr<OATrackerDelegate> delegate);
  // Ends any dispatch, stops the timer, closes the store. Stored hits stay for the next start.
  void stopTracker();

  // A page view: `pageURL` must begin with "/".
  bool trackPageviewWithError(const std::optional<std::string>& pageURL,
                              OAErrorOut error = nullptr);
  // An event; category and action are required. A negative value is not sent.
  bool trackEventActionLabelValueWithError(const std::optional<std::string>& category,
                                           const std::optional<std::string>& action,
                                           const std::optional<std::string>& label, int32_t value,
                                           OAErrorOut error = nullptr);
  // Sets a variable (slot 1 to 5, name and value under 65 bytes, scope 1 to 3) for the next
  // hit tracked.
  bool setCustomVariableAtIndexNameValueScopeWithError(int index,
                                                       const std::optional<std::string>& name,
                                                       const std::optional<std::string>& value,
                                                       int scope, OAErrorOut error = nullptr);
  // The same with page scope (3).
  bool setCustomVariableAtIndexNameValueWithError(int index, const std::optional<std::string>& name,
                                                  const std::optional<std::string>& value,
                                                  OAErrorOut error = nullptr);
  // The stored visitor-scope value of slot `index`, or nullopt.
  std::optional<std::string> getVisitorCustomVarAtIndex(int index);

  // Hands the stored hits to the dispatcher. False when not started, a dispatch is under way,
  // or nothing is stored (then the timer stops until the next hit).
  bool dispatch();
  void setDispatchPeriod(int32_t seconds);
  int32_t dispatchPeriod() const;

  std::optional<std::string> accountID() const;
  std::optional<std::string> visitorID() const;
  std::optional<std::string> sessionID() const;
  bool isStarted() const;
  // The dispatcher's pipeline mode as reported at the end of the last dispatch.
  static bool getPipelineMode();

  // Where dispatchers made from now on send, and the current one too. Defaults to the
  // production collector on port 80.
  static void setCollector(OACollectorAddress collector);
  static OACollectorAddress collector();
  // Seconds of silence after which a dispatch is abandoned (kOADefaultResponseTimeout).
  static void setResponseTimeout(double seconds);

  // ---- For tests: the tracker's inner counts, not part of what a host relies on. ----
  // Hits handed to the dispatcher and not yet reported on; 0 when no dispatch is under way.
  uint32_t inFlightForTesting() const;
  // Hits stored and not yet delivered (0 when not started).
  uint32_t storedEventsForTesting() const;

  OATracker(const OATracker&) = delete;
  OATracker& operator=(const OATracker&) = delete;
  ~OATracker();

 private:
  struct Private;
  struct StartingThreadWatch;
  class DispatchListener;
  OATracker();
  // The thread that started the tracker ends, and its loop with it.
  void startingLoopEnding(platform::RunLoop* loop);
  static std::recursive_mutex& classLock();
  bool checkForErrorsWithError(bool pageview, const OAEvent* event, OAErrorOut error);
  bool createEventActionLabelValueWithError(const std::optional<std::string>& category,
                                            const std::optional<std::string>& action,
                                            const std::optional<std::string>& label, int32_t value,
                                            bool pageview, OAErrorOut error);
  void startTimer();
  void stopTimer();
  // Makes the dispatcher for the current account and store, on the tracker's loop.
  void makeDispatcher(std::string accountID, OACollectorAddress collector, double responseTimeout);
  // The dispatcher's reports, passed on by the listener on the tracker's loop.
  void dataDispatcherDispatchedWithEvent(OADataDispatcher& dispatcher,
                                         const std::shared_ptr<OAEvent>& event);
  void dataDispatcherRefusedEventStatusCode(OADataDispatcher& dispatcher,
                                            const std::shared_ptr<OAEvent>& event, int statusCode);
  void dataDispatcherDidComplete(OADataDispatcher& dispatcher);
  void resetPowerSaveMode();

  std::unique_ptr<Private> private_;
};

}  // namespace analytics
