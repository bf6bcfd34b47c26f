#include "analytics/OATracker.h"

#include <map>

#include "OADataDispatcher.h"
#include "OAPersistentEventStore.h"
#include "platform/log.h"
#include "platform/singleton.h"

namespace analytics {

namespace {

// Separate dispatches in which the collector must refuse a hit before it is given up.
constexpr int kOAMaxRefusalsOfAHit = 3;

// Settings that outlive any one start of the tracker, back to their defaults on a reset.
struct TrackerSettings {
  bool pipelineMode = false;
  OACollectorAddress collector;
  double responseTimeout = kOADefaultResponseTimeout;
};

platform::ProcessState<TrackerSettings>& settings() {
  static platform::ProcessState<TrackerSettings> state;
  return state;
}

// Never destroyed: hits may be tracked while the process shuts down.
platform::ResettableSingleton<OATracker>& sharedSlot() {
  static auto* const slot = new platform::ResettableSingleton<OATracker>();
  return *slot;
}

// Characters, not bytes: a name of 64 accented letters is as long as one of 64 plain ones.
size_t characterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

bool fail(OAErrorOut error, long code) {
  if (error) *error = platform::Error{kOATrackerErrorDomain, code, {}};
  return false;
}

}  // namespace

// Hears the dispatcher on the tracker's behalf, so the tracker itself offers no dispatcher
// interface to the host. Held by the tracker; the dispatcher only keeps a weak reference.
class OATracker::DispatchListener : public OADataDispatcherDelegate {
 public:
  explicit DispatchListener(std::weak_ptr<OATracker> tracker) : tracker_(std::move(tracker)) {}

  void dataDispatcherDispatchedWithEvent(OADataDispatcher& dispatcher,
                                         const std::shared_ptr<OAEvent>& event) override {
    if (auto tracker = tracker_.lock()) {
      tracker->dataDispatcherDispatchedWithEvent(dispatcher, event);
    }
  }
  void dataDispatcherRefusedEventStatusCode(OADataDispatcher& dispatcher,
                                            const std::shared_ptr<OAEvent>& event,
                                            int statusCode) override {
    if (auto tracker = tracker_.lock()) {
      tracker->dataDispatcherRefusedEventStatusCode(dispatcher, event, statusCode);
    }
  }
  void dataDispatcherDidComplete(OADataDispatcher& dispatcher) override {
    if (auto tracker = tracker_.lock()) tracker->dataDispatcherDidComplete(dispatcher);
  }

 private:
  std::weak_ptr<OATracker> tracker_;
};

struct OATracker::Private {
  std::string accountID;
  int32_t dispatchPeriod = -1;
  platform::PerformHandle timer;
  uint64_t timerGeneration = 0;
  std::weak_ptr<OATrackerDelegate> delegate;
  uint32_t hitCount = 0;
  uint32_t dispatchedCount = 0;
  uint32_t inFlight = 0;
  std::unique_ptr<OAPersistentEventStore> store;
  std::shared_ptr<DispatchListener> listener;
  std::shared_ptr<OADataDispatcher> dispatcher;
  std::shared_ptr<OACustomVariableBuffer> pendingCustomVariables;
  bool powerSave = false;
  // Dispatches in which the collector refused each stored hit, by event id. Kept in memory
  // only: a relaunch gives a refused hit its chances again.
  std::map<int64_t, int> refusals;
  // The loop of the thread that started the tracker: the timer and the connection run there.
  platform::RunLoop* loop = nullptr;
};

// Lives as long as a thread that started the tracker and ends before that thread's run loop
// does (it is made after the loop), so the tracker can leave the loop while it still exists.
struct OATracker::StartingThreadWatch {
  platform::RunLoop* loop = nullptr;
  ~StartingThreadWatch() {
    std::lock_guard<std::recursive_mutex> guard(classLock());
    if (auto tracker = sharedSlot().existing(); tracker && loop) tracker->startingLoopEnding(loop);
  }
};

std::recursive_mutex& OATracker::classLock() {
  // Never destroyed, like the tracker it guards.
  static auto* const lock = new std::recursive_mutex();
  return *lock;
}

std::shared_ptr<OATracker> OATracker::sharedTracker() {
  // A reset stops the tracker it drops, so nothing it scheduled reaches the next test.
  return sharedSlot().get([] { return std::shared_ptr<OATracker>(new OATracker()); },
                          [](OATracker& dropped) { dropped.stopTracker(); });
}

OATracker::OATracker() = default;
OATracker::~OATracker() = default;

bool OATracker::getPipelineMode() { return settings().read(&TrackerSettings::pipelineMode); }

void OATracker::setCollector(OACollectorAddress collector) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  settings().write(&TrackerSettings::collector, collector);
  if (auto tracker = sharedSlot().existing(); tracker && tracker->private_) {
    tracker->private_->dispatcher->setCollector(std::move(collector));
  }
}

OACollectorAddress OATracker::collector() {
  return settings().read(&TrackerSettings::collector);
}

void OATracker::setResponseTimeout(double seconds) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  settings().write(&TrackerSettings::responseTimeout, seconds);
  if (auto tracker = sharedSlot().existing(); tracker && tracker->private_) {
    tracker->private_->dispatcher->setResponseTimeout(seconds);
  }
}

void OATracker::makeDispatcher(std::string accountID, OACollectorAddress collector,
                               double responseTimeout) {
  private_->dispatcher =
      OADataDispatcher::create(std::move(accountID), private_->store->storeID(), private_->listener,
                               std::move(collector), &classLock(), private_->loop);
  private_->dispatcher->setResponseTimeout(responseTimeout);
}

void OATracker::startTrackerWithAccountIDDispatchPeriodDelegate(
    std::string accountID, int32_t dispatchPeriod, std::weak_ptr<OATrackerDelegate> delegate) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_) {
    private_ = std::make_unique<Private>();
    private_->loop = &platform::RunLoop::current();
    if (!private_->loop->isMain()) {
      thread_local StartingThreadWatch watch;
      watch.loop = private_->loop;
    }
    private_->store = std::make_unique<OAPersistentEventStore>();
    private_->listener = std::make_shared<DispatchListener>(weak_from_this());
    const auto current = settings().with([](const TrackerSettings& s) { return s; });
    makeDispatcher(accountID, current.collector, current.responseTimeout);
    private_->dispatchPeriod = -1;
  }
  private_->accountID = std::move(accountID);
  private_->delegate = std::move(delegate);
  setDispatchPeriod(dispatchPeriod);
}

void OATracker::stopTracker() {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_) return;
  stopTimer();
  // Nothing scheduled may reach the store or the dispatcher once they are gone.
  private_->dispatcher->cancelDispatch();
  private_->dispatcher.reset();
  private_->store.reset();
  private_.reset();
}

void OATracker::startingLoopEnding(platform::RunLoop* loop) {
  if (!private_ || private_->loop != loop) return;
  // The timer and the connection move to the main loop: hits keep going out, and nothing is
  // left on a loop that is about to be destroyed. A dispatch under way is abandoned (on the
  // loop's own thread, so its connection closes now); its hits stay stored for the next one.
  const bool timerRunning = private_->timer.isPending();
  stopTimer();
  auto old = std::move(private_->dispatcher);
  old->cancelDispatch();
  private_->inFlight = 0;
  private_->loop = &platform::RunLoop::main();
  makeDispatcher(old->accountID(), old->collector(), old->responseTimeout());
  if (timerRunning) startTimer();
}

void OATracker::setDispatchPeriod(int32_t seconds) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_) return;
  const int32_t old = private_->dispatchPeriod;
  private_->dispatchPeriod = seconds;
  if (old == -1 && seconds >= 1) {
    startTimer();
  } else if (old >= 1) {
    stopTimer();
    if (seconds >= 1) startTimer();
  }
}

int32_t OATracker::dispatchPeriod() const {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  return private_ ? private_->dispatchPeriod : -1;
}

void OATracker::startTimer() {
  stopTimer();
  // A repeating timer built from delayed performs: unlike a timer, a perform may be scheduled
  // and cancelled from any tracking thread, while it always fires on the tracker's loop.
  const uint64_t generation = ++private_->timerGeneration;
  std::weak_ptr<OATracker> weak = weak_from_this();
  private_->timer = private_->loop->postAfter(
      private_->dispatchPeriod,
      [weak, generation] {
        std::lock_guard<std::recursive_mutex> guard(classLock());
        auto self = weak.lock();
        if (!self || !self->private_ || self->private_->timerGeneration != generation) return;
        self->startTimer();
        self->dispatch();
      },
      this);
}

void OATracker::stopTimer() {
  ++private_->timerGeneration;
  private_->timer.cancel();
}

void OATracker::resetPowerSaveMode() {
  if (private_->powerSave && private_->dispatchPeriod >= 1) {
    private_->powerSave = false;
    startTimer();
  }
}

bool OATracker::checkForErrorsWithError(bool pageview, const OAEvent* event, OAErrorOut error) {
  if (error) error->reset();
  if (!private_) return fail(error, kOATrackerNotStartedError);
  if (!event) return fail(error, kOATrackerInvalidInputError);
  if (pageview && (event->action().empty() || event->action()[0] != '/')) {
    return fail(error, kOATrackerInvalidInputError);
  }
  if (private_->hitCount++ >= kOAMaxEventsPerSession) {
    return fail(error, kOATrackerEventsPerSessionLimitError);
  }
  return true;
}

bool OATracker::createEventActionLabelValueWithError(const std::optional<std::string>& category,
                                                     const std::optional<std::string>& action,
                                                     const std::optional<std::string>& label,
                                                     int32_t value, bool pageview,
                                                     OAErrorOut error) {
  // A hit without category or action cannot be made; it is refused as invalid input.
  std::optional<OAEvent> event;
  if (category && action) event.emplace(*category, *action, label, value);
  if (!checkForErrorsWithError(pageview, event ? &*event : nullptr, error)) return false;
  event->setCustomVariableBuffer(std::move(private_->pendingCustomVariables));
  private_->pendingCustomVariables.reset();
  if (!private_->store->putEventWithError(*event, error)) return false;
  resetPowerSaveMode();
  return true;
}

bool OATracker::trackPageviewWithError(const std::optional<std::string>& pageURL,
                                       OAErrorOut error) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  return createEventActionLabelValueWithError(std::string(kOAPageviewCategory), pageURL,
                                              std::nullopt, -1, true, error);
}

bool OATracker::trackEventActionLabelValueWithError(const std::optional<std::string>& category,
                                                    const std::optional<std::string>& action,
                                                    const std::optional<std::string>& label,
                                                    int32_t value, OAErrorOut error) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  return createEventActionLabelValueWithError(category, action, label, value, false, error);
}

bool OATracker::setCustomVariableAtIndexNameValueScopeWithError(
    int index, const std::optional<std::string>& name, const std::optional<std::string>& value,
    int scope, OAErrorOut error) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (error) error->reset();
  if (!private_) return fail(error, kOATrackerNotStartedError);
  if (index < 1 || index > kOAMaxCustomVariables || !name) {
    return fail(error, kOATrackerInvalidInputError);
  }
  if (characterCount(*name) > kOAMaxCustomVariableLength || !value ||
      characterCount(*value) > kOAMaxCustomVariableLength || scope < kOAVisitorScope ||
      scope > kOAPageScope) {
    return fail(error, kOATrackerInvalidInputError);
  }
  if (!private_->pendingCustomVariables) {
    private_->pendingCustomVariables = std::make_shared<OACustomVariableBuffer>();
  }
  return private_->pendingCustomVariables->addCustomVariable(
      std::make_shared<OACustomVariable>(index, *name, *value, scope));
}

bool OATracker::setCustomVariableAtIndexNameValueWithError(int index,
                                                           const std::optional<std::string>& name,
                                                           const std::optional<std::string>& value,
                                                           OAErrorOut error) {
  return setCustomVariableAtIndexNameValueScopeWithError(index, name, value, kOAPageScope, error);
}

std::optional<std::string> OATracker::getVisitorCustomVarAtIndex(int index) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (index < 1 || index > kOAMaxCustomVariables) {
    platform::log("Error: index must be between 1 and kOAMaxCustomVariables");
    return std::nullopt;
  }
  if (!private_) return std::nullopt;
  return private_->store->getVisitorCustomVarAtSlot(index);
}

bool OATracker::dispatch() {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_ || private_->inFlight > 0) return false;
  private_->inFlight = private_->store->storedEvents();
  if (private_->inFlight == 0) {
    stopTimer();
    private_->powerSave = true;
    return false;
  }
  private_->dispatchedCount = 0;
  auto events = private_->store->peekEvents(-1);
  if (!events || events->empty()) {
    // The count said there were hits but none could be read: no dispatch is under way.
    private_->inFlight = 0;
    return false;
  }
  private_->dispatcher->dispatchEvents(*events);
  return true;
}

void OATracker::dataDispatcherDispatchedWithEvent(OADataDispatcher& dispatcher,
                                                  const std::shared_ptr<OAEvent>& event) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_ || private_->dispatcher.get() != &dispatcher) return;
  private_->refusals.erase(event->eventID());
  // A hit already gone (nothing deleted) was counted before; it must not be counted twice.
  if (private_->store->deleteEvent(event->eventID())) ++private_->dispatchedCount;
}

void OATracker::dataDispatcherRefusedEventStatusCode(OADataDispatcher& dispatcher,
                                                     const std::shared_ptr<OAEvent>& event,
                                                     int statusCode) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_ || private_->dispatcher.get() != &dispatcher) return;
  // One refusal may be the collector's passing trouble; a hit refused in several dispatches
  // would hold its place in the queue for ever.
  if (++private_->refusals[event->eventID()] < kOAMaxRefusalsOfAHit) return;
  private_->refusals.erase(event->eventID());
  if (private_->store->deleteEvent(event->eventID())) {
    platform::logf("Orvane Analytics: hit refused with status %d in %d dispatches, dropped",
                   statusCode, kOAMaxRefusalsOfAHit);
  }
}

void OATracker::dataDispatcherDidComplete(OADataDispatcher& dispatcher) {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_ || private_->dispatcher.get() != &dispatcher) return;
  settings().write(&TrackerSettings::pipelineMode, dispatcher.pipelineMode());
  const uint32_t dispatched = private_->dispatchedCount;
  const uint32_t failed = private_->inFlight > dispatched ? private_->inFlight - dispatched : 0;
  private_->inFlight = 0;
  if (auto delegate = private_->delegate.lock()) {
    auto self = shared_from_this();
    delegate->trackerDispatchDidCompleteEventsDispatchedEventsFailedDispatch(*this, dispatched,
                                                                             failed);
  }
}

std::optional<std::string> OATracker::accountID() const {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_) return std::nullopt;
  return private_->accountID;
}

std::optional<std::string> OATracker::visitorID() const {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_) return std::nullopt;
  return private_->store->visitorID();
}

std::optional<std::string> OATracker::sessionID() const {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  if (!private_) return std::nullopt;
  return private_->store->sessionID();
}

bool OATracker::isStarted() const {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  return private_ != nullptr;
}

uint32_t OATracker::inFlightForTesting() const {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  return private_ ? private_->inFlight : 0;
}

uint32_t OATracker::storedEventsForTesting() const {
  std::lock_guard<std::recursive_mutex> guard(classLock());
  return private_ ? private_->store->storedEvents() : 0;
}

}  // namespace analytics
