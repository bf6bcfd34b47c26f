#include "OAPersistentEventStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cmath>

#include "platform/clock.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/random.h"
#include "platform/sandbox.h"
#include "platform/singleton.h"

namespace analytics {

namespace {

// Whether the next stored hit starts a session. One flag for the whole process: every store
// opened marks a new session, and the first hit stored by any store uses it up.
struct SessionState {
  bool newSession = false;
};

platform::ProcessState<SessionState>& sessionState() {
  static platform::ProcessState<SessionState> state;
  return state;
}

int32_t nowSeconds() { return static_cast<int32_t>(std::floor(platform::Clock::current().now())); }

const char* const kCreateEvents =
    "CREATE TABLE events ( 'event_id' INTEGER PRIMARY KEY, 'random_val' INTEGER NOT NULL, "
    "'timestamp_first' INTEGER NOT NULL, 'timestamp_previous' INTEGER NOT NULL, "
    "'timestamp_current' INTEGER NOT NULL, 'visits' INTEGER NOT NULL, 'category' CHAR(256) NOT "
    "NULL, 'action' CHAR(256) NOT NULL, 'label' CHAR(256), 'value' INTEGER);";
const char* const kCreateSession =
    "CREATE TABLE session ( 'timestamp_first' INTEGER PRIMARY KEY, 'timestamp_previous' INTEGER "
    "NOT NULL, 'timestamp_current' INTEGER NOT NULL, 'visits' INTEGER NOT NULL, 'store_id' "
    "INTEGER NOT NULL);";
const char* const kCreateCustomVariables =
    "CREATE TABLE IF NOT EXISTS custom_variables ( 'cv_id' INTEGER PRIMARY KEY AUTOINCREMENT NOT "
    "NULL, 'event_id' INTEGER NOT NULL, 'cv_scope' INTEGER NOT NULL, 'cv_index' INTEGER NOT "
    "NULL, 'cv_name' CHAR(64) NOT NULL, 'cv_value' CHAR(64) NOT NULL);";
const char* const kCreateCustomVarCache =
    "CREATE TABLE IF NOT EXISTS custom_var_cache ( 'cv_id' INTEGER PRIMARY KEY AUTOINCREMENT NOT "
    "NULL, 'cv_scope' INTEGER NOT NULL, 'cv_index' INTEGER NOT NULL, 'cv_name' CHAR(64) NOT "
    "NULL, 'cv_value' CHAR(64) NOT NULL);";

struct StatementText {
  const char* sql;
  const char* prepareError;
};

}  // namespace

enum OAPersistentEventStore::StatementId : int {
  kBegin,
  kEnd,
  kRollback,
  kUpdateCustomVarCache,
  kInsertCustomVariables,
  kInsertEvent,
  kSelectEvents,
  kDeleteEvent,
  kDeleteCustomVariables,
  kUpdateTimestamp,
  kSelectCustomVariables,
  kSelectVisitorVars,
  kSelectVisitorVarAtSlot,
  kCountEvents,
  kSelectSession,
  kInsertSession,
  kTableExists,
  kSelectCacheIndex,
  kInsertCacheRow,
  kStatementCount
};

namespace {

const StatementText kStatements[] = {
    {"BEGIN TRANSACTION", "Error: Failed to prepare begin transaction statement"},
    {"END TRANSACTION", "Error: Failed to prepare end transaction statement"},
    {"ROLLBACK", "Error: Failed to prepare rollback statement"},
    {"UPDATE custom_var_cache SET cv_scope=?,cv_name=?, cv_value=? WHERE cv_index=?",
     "Error: Failed to prepare custom_var_cache update statment"},
    {"INSERT INTO custom_variables (event_id, cv_scope, cv_index, cv_name, cv_value) "
     "VALUES(?, ?, ?, ?, ?);",
     "Error: Failed to prepare custom_variables insert statement"},
    {"INSERT INTO events (random_val, timestamp_first, timestamp_previous, timestamp_current, "
     "visits, category, action, label, value) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?);",
     "Error: Failed to prepare insert event statement"},
    {"SELECT * FROM events ORDER BY event_id LIMIT ?;",
     "Error: Failed to prepare select event statement"},
    {"DELETE FROM events WHERE event_id = ?", "Error: Failed to prepare delete event statement"},
    {"DELETE FROM custom_variables WHERE event_id = ?",
     "Error: Failed to prepare delete_custom_var_statement"},
    {"UPDATE session SET timestamp_previous=?, timestamp_current=? WHERE timestamp_first=?;",
     "Error: Failed to prepare update timestamp statement"},
    {"SELECT * FROM custom_variables WHERE event_id=?;",
     "Error: Failed to prepare select custom_variables statement"},
    {"SELECT * FROM custom_var_cache WHERE cv_scope=?",
     "Error: Failed to prepare select custom_var_cache statement"},
    {"SELECT * FROM custom_var_cache WHERE cv_scope=? AND cv_index=?;",
     "Error: Failed to prepare custom var cache select statement"},
    {"SELECT COUNT(*) FROM events;", "Error: Failed to prepare count records statement"},
    {"SELECT * FROM session;", "Error: Failed to prepare select session statement"},
    {"INSERT INTO session (timestamp_first, timestamp_previous, timestamp_current, visits, "
     "store_id) VALUES (?, ?, ?, ?, ?);",
     "Error: Failed to prepare update record statement"},
    {"SELECT name FROM sqlite_master WHERE type='table' AND name=?;",
     "Error: Failed to prepare select table statement"},
    {"SELECT * FROM custom_var_cache WHERE cv_index=?",
     "Error: Failed to prepare select custom var cache statement"},
    {"INSERT INTO custom_var_cache (cv_scope, cv_index, cv_name, cv_value) VALUES (?, ?, ?, ?);",
     "Error: Failed to prepare insert custom var cache statement"},
};

}  // namespace

// A prepared statement kept for the life of the store. Every use goes through a Use, which
// resets the statement and clears its bindings when it ends, so no read stays open between
// operations.
class OAPersistentEventStore::Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Statement() { sqlite3_finalize(stmt_); }

  class Use {
   public:
    explicit Use(Statement& s) : stmt_(s.stmt_) {}
    ~Use() {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
    Use& bind(int i, int64_t v) {
      ok_ = ok_ && sqlite3_bind_int64(stmt_, i, v) == SQLITE_OK;
      return *this;
    }
    Use& bind(int i, const std::string& v) {
      ok_ = ok_ && sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()),
                                     SQLITE_TRANSIENT) == SQLITE_OK;
      return *this;
    }
    Use& bind(int i, const std::optional<std::string>& v) {
      if (v) return bind(i, *v);
      ok_ = ok_ && sqlite3_bind_null(stmt_, i) == SQLITE_OK;
      return *this;
    }
    // SQLITE_ROW, SQLITE_DONE, or an error code (a failed bind answers SQLITE_MISUSE).
    int step() { return ok_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }
    bool stepDone() { return step() == SQLITE_DONE; }
    int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::optional<std::string> text(int col) const {
      const unsigned char* t = sqlite3_column_text(stmt_, col);
      if (!t) return std::nullopt;
      return std::string(reinterpret_cast<const char*>(t),
                         static_cast<size_t>(sqlite3_column_bytes(stmt_, col)));
    }

   private:
    sqlite3_stmt* stmt_;
    bool ok_ = true;
  };

 private:
  sqlite3_stmt* stmt_;
};

OAPersistentEventStore::OAPersistentEventStore(std::optional<std::string> path) {
  static_assert(sizeof(kStatements) / sizeof(kStatements[0]) == kStatementCount);
  sessionState().write(&SessionState::newSession, true);
  statements_.resize(kStatementCount);
  if (!openDataBase(path)) return;
  setupStatements();
  initializeSession();
  updateSession();
  countEvents();
}

OAPersistentEventStore::~OAPersistentEventStore() {
  statements_.clear();
  if (database_) sqlite3_close(database_);
}

bool OAPersistentEventStore::isNewSession() {
  return sessionState().read(&SessionState::newSession);
}

std::string OAPersistentEventStore::errorMessage() const {
  return database_ ? sqlite3_errmsg(database_) : "no database";
}

OAPersistentEventStore::Statement* OAPersistentEventStore::statement(StatementId id) {
  if (!database_) return nullptr;
  if (!statements_[id]) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(database_, kStatements[id].sql, -1, &stmt, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt);
      platform::log(kStatements[id].prepareError);
      return nullptr;
    }
    statements_[id] = std::make_unique<Statement>(stmt);
  }
  return statements_[id].get();
}

bool OAPersistentEventStore::openDataBase(const std::optional<std::string>& path) {
  std::string file;
  if (path && !path->empty()) {
    file = *path;
  } else {
    std::string documents = platform::Sandbox::documents();
    if (documents.empty()) {
      platform::log("Unable to open Orvane Analytics database");
      return false;
    }
    file = documents + "/" + kOAStoreFileName;
  }
  if (sqlite3_open_v2(file.c_str(), &database_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    platform::log("Unable to open Orvane Analytics database");
    sqlite3_close(database_);
    database_ = nullptr;
    return false;
  }
  // The two first tables are made whenever they are missing, not only for a new file: a
  // creation that failed half-way on an earlier launch must not leave a store without them.
  bool ok = createMissingTable("events", kCreateEvents,
                               "Error: Failed to prepare create events statement") &&
            createMissingTable("session", kCreateSession,
                               "Error: Failed to prepare create session statement") &&
            addCustomVariableTables();
  if (!ok) {
    platform::log("Unable to open Orvane Analytics database");
    statements_.clear();
    statements_.resize(kStatementCount);
    sqlite3_close(database_);
    database_ = nullptr;
    return false;
  }
  return true;
}

bool OAPersistentEventStore::createMissingTable(const char* name, const char* createSQL,
                                                const char* prepareError) {
  Statement* exists = statement(kTableExists);
  if (!exists) return false;
  {
    Statement::Use use(*exists);
    int rc = use.bind(1, std::string(name)).step();
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) return false;
  }
  return [&] {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(database_, createSQL, -1, &stmt, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt);
      platform::log(prepareError);
      return false;
    }
    Statement create(stmt);
    return Statement::Use(create).stepDone();
  }();
}

bool OAPersistentEventStore::addCustomVariableTables() {
  const StatementText creates[] = {
      {kCreateCustomVariables, "Error: Failed to prepare create customvariable table statement"},
      {kCreateCustomVarCache, "Error: Failed to prepare create customvariable cache statement"},
  };
  for (const auto& c : creates) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(database_, c.sql, -1, &stmt, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt);
      platform::log(c.prepareError);
      return false;
    }
    Statement create(stmt);
    if (!Statement::Use(create).stepDone()) return false;
  }
  return populateCustomVariableCache();
}

bool OAPersistentEventStore::populateCustomVariableCache() {
  Statement* select = statement(kSelectCacheIndex);
  Statement* insert = statement(kInsertCacheRow);
  if (!select || !insert) return false;
  for (int index = 1; index <= kOAMaxCustomVariables; ++index) {
    {
      Statement::Use use(*select);
      int rc = use.bind(1, index).step();
      if (rc == SQLITE_ROW) continue;
      if (rc != SQLITE_DONE) return false;
    }
    Statement::Use use(*insert);
    if (!use.bind(1, kOAPageScope)
             .bind(2, index)
             .bind(3, std::string())
             .bind(4, std::string())
             .stepDone()) {
      return false;
    }
  }
  return true;
}

void OAPersistentEventStore::setupStatements() {
  for (StatementId id : {kBegin, kEnd, kRollback, kUpdateCustomVarCache, kInsertCustomVariables}) {
    statement(id);
  }
}

void OAPersistentEventStore::initializeSession() {
  sessionState().write(&SessionState::newSession, true);
  Statement* select = statement(kSelectSession);
  if (select) {
    Statement::Use use(*select);
    int rc = use.step();
    if (rc == SQLITE_ROW) {
      timestampFirst_ = static_cast<int32_t>(use.integer(0));
      timestampPrevious_ = static_cast<int32_t>(use.integer(1));
      timestampCurrent_ = static_cast<int32_t>(use.integer(2));
      visits_ = static_cast<int32_t>(use.integer(3)) + 1;
      storeID_ = static_cast<int32_t>(use.integer(4));
      return;
    }
    if (rc != SQLITE_DONE) {
      // Unreadable: run this launch on a fresh record but do not write a second row.
      platform::logf("Error: Failed to read from database '%s'", errorMessage());
      select = nullptr;
    }
  }
  timestampFirst_ = timestampPrevious_ = timestampCurrent_ = nowSeconds();
  visits_ = 1;
  storeID_ = static_cast<int32_t>(platform::Random::arc4random() & 0x7fffffffu);
  if (!select) return;
  Statement* insert = statement(kInsertSession);
  if (!insert) return;
  Statement::Use use(*insert);
  if (!use.bind(1, timestampFirst_)
           .bind(2, timestampPrevious_)
           .bind(3, timestampCurrent_)
           .bind(4, visits_)
           .bind(5, storeID_)
           .stepDone()) {
    platform::logf("Error: Failed to set session information '%s'", errorMessage());
  }
}

void OAPersistentEventStore::updateSession() {
  timestampPrevious_ = timestampCurrent_;
  timestampCurrent_ = nowSeconds();
  Statement* update = statement(kUpdateTimestamp);
  if (!update) return;
  Statement::Use use(*update);
  if (!use.bind(1, timestampPrevious_)
           .bind(2, timestampCurrent_)
           .bind(3, timestampFirst_)
           .stepDone()) {
    platform::logf("Error: Failed to update session '%s'", errorMessage());
  }
}

void OAPersistentEventStore::countEvents() {
  Statement* count = statement(kCountEvents);
  if (!count) return;
  Statement::Use use(*count);
  if (use.step() == SQLITE_ROW) {
    storedEvents_ = static_cast<uint32_t>(use.integer(0));
  } else {
    platform::logf("Error: Failed to read from database '%s'", errorMessage());
  }
}

std::string OAPersistentEventStore::visitorID() const {
  return platform::format("%d.%d", storeID_, timestampFirst_);
}

std::string OAPersistentEventStore::sessionID() const {
  return platform::format("%d", timestampCurrent_);
}

bool OAPersistentEventStore::stepTransaction(StatementId id, const char* failureLog) {
  Statement* s = statement(id);
  if (!s) return false;
  Statement::Use use(*s);
  if (use.stepDone()) return true;
  if (failureLog) platform::logf(failureLog, errorMessage());
  return false;
}

void OAPersistentEventStore::rollback() {
  // SQLite may already have rolled back on its own (disk full, I/O error); only a
  // transaction still open needs it.
  if (!database_ || sqlite3_get_autocommit(database_)) return;
  if (!stepTransaction(kRollback, nullptr)) {
    // The kept statement may be what failed; the plain form still ends the transaction.
    sqlite3_exec(database_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

bool OAPersistentEventStore::putEventWithError(OAEvent& event,
                                               std::optional<platform::Error>* error) {
  if (error) error->reset();
  auto fail = [&](long code, const std::string& description) {
    if (error) {
      platform::Dictionary info;
      if (!description.empty()) info.set(platform::kLocalizedDescriptionKey, description);
      *error = platform::Error{kOAPersistentEventStoreErrorDomain, code,
                               info.empty() ? platform::Value() : platform::Value(info)};
    }
    return false;
  };
  if (!database_) return fail(kOAStoreNoDatabase, "");
  if (storedEvents_ >= kOAMaxStoredEvents) return fail(kOAStoreFull, "");
  auto sqliteFailure = [&] { return fail(sqlite3_errcode(database_), errorMessage()); };

  if (!stepTransaction(kBegin, "Error: Failed begin transaction from database '%s'")) {
    return sqliteFailure();
  }
  Statement* insert = statement(kInsertEvent);
  bool inserted = false;
  std::string message;
  if (insert) {
    Statement::Use use(*insert);
    inserted = use.bind(1, static_cast<int64_t>(platform::Random::random() & 0x7fffffff))
                   .bind(2, timestampFirst_)
                   .bind(3, timestampPrevious_)
                   .bind(4, timestampCurrent_)
                   .bind(5, visits_)
                   .bind(6, event.category())
                   .bind(7, event.action())
                   .bind(8, event.label())
                   .bind(9, event.value())
                   .stepDone();
    if (!inserted) message = errorMessage();
  }
  if (!inserted) {
    platform::logf("Error: Failed to insert event into database '%s'", message);
    auto result = sqliteFailure();
    rollback();
    return result;
  }
  int64_t eventID = sqlite3_last_insert_rowid(database_);
  const bool newSession = isNewSession();
  if (!putCustomVariables(event, eventID, newSession)) {
    auto result = sqliteFailure();
    rollback();
    return result;
  }
  if (!stepTransaction(kEnd, "Error: Failed end transaction from database '%s'")) {
    // A failed commit leaves the transaction open; without this every later BEGIN fails.
    auto result = sqliteFailure();
    rollback();
    return result;
  }
  // Only a hit that really went in uses up the session's visitor variables.
  if (newSession) sessionState().write(&SessionState::newSession, false);
  ++storedEvents_;
  return true;
}

bool OAPersistentEventStore::putCustomVariables(OAEvent& event, int64_t eventID, bool newSession) {
  if (newSession && !event.customVariableBuffer()) {
    auto buffer = std::make_shared<OACustomVariableBuffer>();
    auto visitor = getVisitorVarBuffer();
    for (int i = 1; i <= kOAMaxCustomVariables; ++i) {
      if (auto v = visitor->customVariableAt(i); v && buffer->isSlotAvailable(i)) {
        buffer->addCustomVariable(v);
      }
    }
    event.setCustomVariableBuffer(buffer);
  }
  const auto& buffer = event.customVariableBuffer();
  if (!buffer || !buffer->hasCustomVariables()) return true;
  Statement* insert = statement(kInsertCustomVariables);
  Statement* update = statement(kUpdateCustomVarCache);
  if (!insert || !update) return false;
  for (int i = 1; i <= kOAMaxCustomVariables; ++i) {
    auto v = buffer->customVariableAt(i);
    if (!v) continue;
    if (!Statement::Use(*insert)
             .bind(1, eventID)
             .bind(2, v->scope())
             .bind(3, v->index())
             .bind(4, v->name())
             .bind(5, v->value())
             .stepDone()) {
      platform::logf("Error: Failed to insert custom variables for database '%s'", errorMessage());
      return false;
    }
    if (!Statement::Use(*update)
             .bind(1, v->scope())
             .bind(2, v->name())
             .bind(3, v->value())
             .bind(4, v->index())
             .stepDone()) {
      platform::logf("Error: Failed to update custom var cache for database '%s'", errorMessage());
      return false;
    }
  }
  return true;
}

std::optional<std::vector<std::shared_ptr<OAEvent>>> OAPersistentEventStore::peekEvents(int count) {
  if (!database_) return std::nullopt;
  if (count == -1) count = static_cast<int>(kOAMaxStoredEvents);
  Statement* select = statement(kSelectEvents);
  if (!select) return std::nullopt;
  std::vector<std::shared_ptr<OAEvent>> events;
  {
    Statement::Use use(*select);
    use.bind(1, count);
    int rc;
    while ((rc = use.step()) == SQLITE_ROW) {
      events.push_back(std::make_shared<OAEvent>(
          use.integer(0), static_cast<int32_t>(use.integer(1)),
          static_cast<int32_t>(use.integer(2)), static_cast<int32_t>(use.integer(3)),
          static_cast<int32_t>(use.integer(4)), static_cast<int32_t>(use.integer(5)),
          use.text(6).value_or(""), use.text(7).value_or(""), use.text(8),
          static_cast<int32_t>(use.integer(9))));
    }
    if (rc != SQLITE_DONE) {
      platform::logf("Error: Failed to read from database '%s'", errorMessage());
    }
  }
  for (auto& event : events) event->setCustomVariableBuffer(getCustomVariables(event->eventID()));
  return events;
}

std::shared_ptr<OACustomVariableBuffer> OAPersistentEventStore::getCustomVariables(
    int64_t eventID) {
  auto buffer = std::make_shared<OACustomVariableBuffer>();
  Statement* select = statement(kSelectCustomVariables);
  if (!select) return buffer;
  Statement::Use use(*select);
  use.bind(1, eventID);
  while (use.step() == SQLITE_ROW) {
    buffer->addCustomVariable(std::make_shared<OACustomVariable>(
        static_cast<int>(use.integer(3)), use.text(4).value_or(""), use.text(5).value_or(""),
        static_cast<int>(use.integer(2))));
  }
  return buffer;
}

std::shared_ptr<OACustomVariableBuffer> OAPersistentEventStore::getVisitorVarBuffer() {
  auto buffer = std::make_shared<OACustomVariableBuffer>();
  Statement* select = statement(kSelectVisitorVars);
  if (!select) return buffer;
  Statement::Use use(*select);
  use.bind(1, kOAVisitorScope);
  while (use.step() == SQLITE_ROW) {
    buffer->addCustomVariable(std::make_shared<OACustomVariable>(
        static_cast<int>(use.integer(2)), use.text(3).value_or(""), use.text(4).value_or(""),
        static_cast<int>(use.integer(1))));
  }
  return buffer;
}

std::optional<std::string> OAPersistentEventStore::getVisitorCustomVarAtSlot(int index) {
  Statement* select = statement(kSelectVisitorVarAtSlot);
  if (!select) return std::nullopt;
  Statement::Use use(*select);
  if (use.bind(1, kOAVisitorScope).bind(2, index).step() != SQLITE_ROW) return std::nullopt;
  return use.text(4);
}

bool OAPersistentEventStore::deleteEvent(int64_t eventID) {
  if (!database_) return false;
  if (!stepTransaction(kBegin, "Error: Failed begin transaction from database '%s'")) {
    return false;
  }
  Statement* deleteEvent = statement(kDeleteEvent);
  if (!deleteEvent || !Statement::Use(*deleteEvent).bind(1, eventID).stepDone()) {
    platform::logf("Error: Failed to delete event from database '%s'", errorMessage());
    rollback();
    return false;
  }
  if (sqlite3_changes(database_) == 0) {
    // Nothing matched: nothing to commit and nothing to count.
    rollback();
    return false;
  }
  Statement* deleteVariables = statement(kDeleteCustomVariables);
  if (!deleteVariables || !Statement::Use(*deleteVariables).bind(1, eventID).stepDone()) {
    platform::logf("Error: Failed to delete custom variable from database '%s'", errorMessage());
    rollback();
    return false;
  }
  if (!stepTransaction(kEnd, "Error: Failed end transaction from database '%s'")) {
    rollback();
    return false;
  }
  if (storedEvents_ > 0) --storedEvents_;
  return true;
}

}  // namespace analytics
