#pragma once
// Every analytics hit lives in a SQLite file until the collector has acknowledged it, with the
// visitor's session record and the custom variables of hits and visitor.
//
// Thread safety: none of its own. The tracker uses one store under its lock; any use from
// several threads must be serialised by the caller.
// Failure: a file that cannot be opened, or whose tables cannot be made, leaves a store
// without database: putEventWithError fails with kOAStoreNoDatabase, peekEvents answers
// nullopt, deleteEvent false, the counts stay 0. Every write runs in its own transaction and
// counts only when each step answered "done"; anything else rolls the transaction back and
// answers false, so a hit is either stored whole or not at all.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "OACustomVariable.h"
#include "OAEvent.h"
#include "platform/error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace analytics {

inline constexpr const char* kOAPersistentEventStoreErrorDomain =
    "com.orvane.analytics.OAPersistentEventStoreError";
// 1000 hits are already stored.
inline constexpr long kOAStoreFull = 195946409;  // 0xBADE7A9
// The store has no database.
inline constexpr long kOAStoreNoDatabase = -559038242;  // 0xDEADC0DE as a signed 32-bit value
inline constexpr uint32_t kOAMaxStoredEvents = 1000;
inline constexpr const char* kOAStoreFileName = "orvaneanalytics.sql";

class OAPersistentEventStore {
 public:
  // Opens (creating it when needed) `path`, or "orvaneanalytics.sql" in the sandbox's
  // Documents folder when `path` is empty. Reads or creates the session record, moves its
  // timestamps forward (previous = last current, current = now), counts the stored hits and
  // marks a new session, so the next hit stored carries the visitor-scope variables.
  explicit OAPersistentEventStore(std::optional<std::string> path = std::nullopt);
  ~OAPersistentEventStore();
  OAPersistentEventStore(const OAPersistentEventStore&) = delete;
  OAPersistentEventStore& operator=(const OAPersistentEventStore&) = delete;

  bool isOpen() const { return database_ != nullptr; }

  // Stores `event` with the session's timestamps and visits and a random value, and its custom
  // variables (the first hit of a session without variables of its own takes the visitor's).
  // False with `*error` set when there is no database, 1000 hits are stored, or SQLite failed
  // (then the domain is the store's and the code SQLite's result code).
  bool putEventWithError(OAEvent& event, std::optional<platform::Error>* error = nullptr);
  // Up to `count` stored hits (-1 means 1000) in storing order, each with its custom variables.
  std::optional<std::vector<std::shared_ptr<OAEvent>>> peekEvents(int count);
  // Removes a hit and its custom variables in one transaction. False when nothing matched or
  // SQLite failed; the count changes only when a row went.
  bool deleteEvent(int64_t eventID);

  uint32_t storedEvents() const { return storedEvents_; }
  void setStoredEvents(uint32_t count) { storedEvents_ = count; }
  int32_t storeID() const { return storeID_; }
  // "<store id>.<first timestamp>"
  std::string visitorID() const;
  // "<current timestamp>"
  std::string sessionID() const;
  int32_t timestampFirst() const { return timestampFirst_; }
  int32_t timestampPrevious() const { return timestampPrevious_; }
  int32_t timestampCurrent() const { return timestampCurrent_; }
  // The session count hits carry: the stored count plus one once a session record existed.
  int32_t visits() const { return visits_; }

  // The visitor-scope variables of the cache, one per slot.
  std::shared_ptr<OACustomVariableBuffer> getVisitorVarBuffer();
  // The cached value of slot `index` when its scope is visitor, else nullopt.
  std::optional<std::string> getVisitorCustomVarAtSlot(int index);
  // The custom variables stored with hit `eventID` (an empty buffer when it has none).
  std::shared_ptr<OACustomVariableBuffer> getCustomVariables(int64_t eventID);

  // Whether the next stored hit starts a session: one flag for the process, set by every store
  // opened and cleared by the first hit any store keeps.
  static bool isNewSession();

 private:
  enum StatementId : int;
  class Statement;

  bool openDataBase(const std::optional<std::string>& path);
  bool createMissingTable(const char* name, const char* createSQL, const char* prepareError);
  bool addCustomVariableTables();
  bool populateCustomVariableCache();
  void setupStatements();
  void initializeSession();
  void updateSession();
  void countEvents();
  bool putCustomVariables(OAEvent& event, int64_t eventID, bool newSession);
  Statement* statement(StatementId id);
  bool stepTransaction(StatementId id, const char* failureLog);
  void rollback();
  std::string errorMessage() const;

  sqlite3* database_ = nullptr;
  uint32_t storedEvents_ = 0;
  int32_t timestampFirst_ = 0;
  int32_t timestampPrevious_ = 0;
  int32_t timestampCurrent_ = 0;
  int32_t visits_ = 0;
  int32_t storeID_ = 0;
  std::vector<std::unique_ptr<Statement>> statements_;
};

}  // namespace analytics
