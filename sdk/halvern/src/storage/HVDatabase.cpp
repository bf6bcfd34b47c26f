#include "HVDatabase.h"

#include <sqlite3.h>

#include "HVAsyncCommand.h"
#include "HVAsyncCommandManager.h"
#include "HVBase64.h"
#include "platform/file_manager.h"
#include "platform/run_loop.h"
#include "platform/sandbox.h"

namespace halvern {

using platform::FileManager;
using platform::Value;

namespace {

bool bind(sqlite3_stmt* statement, int index, const Value& value) {
  switch (value.type()) {
    case Value::Type::Null: return sqlite3_bind_null(statement, index) == SQLITE_OK;
    case Value::Type::Boolean:
    case Value::Type::Integer: return sqlite3_bind_int64(statement, index, value.integerValue()) == SQLITE_OK;
    case Value::Type::Unsigned:
      if (value.unsignedValue() <= static_cast<uint64_t>(INT64_MAX))
        return sqlite3_bind_int64(statement, index, value.integerValue()) == SQLITE_OK;
      return sqlite3_bind_double(statement, index, value.doubleValue()) == SQLITE_OK;
    case Value::Type::Double:
    case Value::Type::Date: return sqlite3_bind_double(statement, index, value.doubleValue()) == SQLITE_OK;
    case Value::Type::Data: {
      const auto& bytes = value.data();
      return sqlite3_bind_blob64(statement, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT) == SQLITE_OK;
    }
    default: {
      const std::string text = value.stringValue();
      return sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) ==
             SQLITE_OK;
    }
  }
}

Value columnValue(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER: return Value(static_cast<int64_t>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT: return Value(sqlite3_column_double(statement, column));
    case SQLITE_TEXT: {
      auto text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      return Value(std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column))));
    }
    case SQLITE_BLOB: {
      auto bytes = static_cast<const uint8_t*>(sqlite3_column_blob(statement, column));
      const int size = sqlite3_column_bytes(statement, column);
      return Value(bytes ? platform::Bytes(bytes, bytes + size) : platform::Bytes());
    }
    default: return Value();
  }
}

// The pragmas a page may use: they only describe tables. Every other one could move the
// store's files, change its journaling or open the schema to writing.
bool isDescriptivePragma(const char* name) {
  for (const char* allowed : {"table_info", "table_xinfo", "table_list", "index_list", "index_info", "index_xinfo",
                              "foreign_key_list"})
    if (sqlite3_stricmp(name, allowed) == 0) return true;
  return false;
}

// The schema tables change with every table a page makes; the connection's defensive mode
// keeps them from being written directly.
bool isClientTable(const char* table) { return table && sqlite3_stricmp(table, "settings") == 0; }

constexpr const char* kClientSettings[] = {"version", "disabled", "sbw"};

// "hv_page_statement()": true while a page's statement runs, for the triggers that keep the
// client's own settings out of its reach.
void pageStatementFunction(sqlite3_context* context, int, sqlite3_value**) {
  sqlite3_result_int(context, *static_cast<const bool*>(sqlite3_user_data(context)) ? 1 : 0);
}

// Checked while a page's statement is compiled (and while it runs, for what it compiles in
// turn, such as the attach a copy into another file makes).
int pageAuthorizer(void*, int action, const char* first, const char* second, const char*, const char*) {
  switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_TEMP_TRIGGER:
    case SQLITE_CREATE_VTABLE:
    case SQLITE_DROP_VTABLE: return SQLITE_DENY;
    case SQLITE_PRAGMA: return first && isDescriptivePragma(first) ? SQLITE_OK : SQLITE_DENY;
    case SQLITE_FUNCTION:
      return second && sqlite3_stricmp(second, "load_extension") == 0 ? SQLITE_DENY : SQLITE_OK;
    // A page keeps its own settings rows as it likes; the client's rows are guarded by the
    // connection's triggers.
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE: return SQLITE_OK;
    // A table or view of that name in the connection's temporary schema would stand in for
    // the client's settings in the client's own statements.
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_TEMP_VIEW: return isClientTable(first) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_DROP_TABLE:
    case SQLITE_ALTER_TABLE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_DROP_INDEX: return isClientTable(action == SQLITE_DROP_TABLE ? first : second) ? SQLITE_DENY : SQLITE_OK;
    default: return SQLITE_OK;
  }
}

}  // namespace

std::shared_ptr<HVDatabase> HVDatabase::create(std::string folder) {
  return std::make_shared<HVDatabase>(platform::Passkey<HVDatabase>{}, std::move(folder));
}

HVDatabase::HVDatabase(platform::Passkey<HVDatabase>, std::string folder)
    : folder_(std::move(folder)), path_(FileManager::stringByAppendingPathComponent(folder_, kFileName)) {
  if (!loadFromFile()) flush();
  protectClientSettings();
  initialized_ = true;
}

void HVDatabase::protectClientSettings() {
  // Temporary triggers live with the connection only: the file stays as every client
  // generation writes and reads it.
  std::string ids;
  for (const char* id : kClientSettings) ids += std::string(ids.empty() ? "" : ",") + "'" + id + "'";
  const std::string guard = " ON main.settings WHEN hv_page_statement() AND ";
  const std::string ignore = " BEGIN SELECT RAISE(IGNORE); END";
  sqlExecute("CREATE TEMP TRIGGER IF NOT EXISTS hv_keep_client_insert BEFORE INSERT" + guard + "NEW.id IN (" + ids +
             ")" + ignore);
  sqlExecute("CREATE TEMP TRIGGER IF NOT EXISTS hv_keep_client_update BEFORE UPDATE" + guard + "(OLD.id IN (" + ids +
             ") OR NEW.id IN (" + ids + "))" + ignore);
  sqlExecute("CREATE TEMP TRIGGER IF NOT EXISTS hv_keep_client_delete BEFORE DELETE" + guard + "OLD.id IN (" + ids +
             ")" + ignore);
}

HVDatabase::~HVDatabase() { close(); }

bool HVDatabase::open() {
  // Serialised mode: the main thread and the database worker share the connection.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path_.c_str(), &database_, flags, nullptr) != SQLITE_OK) {
    close();
    return false;
  }
  // No statement of the client's or a page's needs another file, code loaded from disk or a
  // writable schema; strings, statements and expressions stay within what the client stores.
  sqlite3_db_config(database_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(database_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_limit(database_, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_limit(database_, SQLITE_LIMIT_LENGTH, kMaxValueLength);
  sqlite3_limit(database_, SQLITE_LIMIT_SQL_LENGTH, kMaxStatementLength);
  sqlite3_limit(database_, SQLITE_LIMIT_EXPR_DEPTH, 100);
  sqlite3_limit(database_, SQLITE_LIMIT_COMPOUND_SELECT, 50);
  sqlite3_limit(database_, SQLITE_LIMIT_TRIGGER_DEPTH, 1);
  sqlite3_create_function_v2(database_, "hv_page_statement", 0, SQLITE_UTF8 | SQLITE_INNOCUOUS, &pageStatement_,
                             pageStatementFunction, nullptr, nullptr, nullptr);
  return true;
}

void HVDatabase::close() {
  if (database_) sqlite3_close_v2(database_);
  database_ = nullptr;
}

bool HVDatabase::loadFromFile() {
  if (!open()) return false;
  auto rows = sqlExecute("SELECT data FROM settings WHERE id='version'");
  return !rows.empty() && !rows[0].array().empty() && rows[0][size_t(0)] == Value(kVersion);
}

bool HVDatabase::flush() {
  close();
  const std::string documents = platform::Sandbox::documents();
  for (const char* leftover : {"halverndb.sql", "boot.js", "client.js", "HVContent"})
    FileManager::removeItemAtPath(FileManager::stringByAppendingPathComponent(documents, leftover));
  FileManager::removeItemAtPath(
      FileManager::stringByAppendingPathComponent(platform::Sandbox::library(), "Cookies/Cookies.plist"));
  FileManager::removeItemAtPath(folder_);
  FileManager::createDirectoryAtPath(folder_, true);
  return initialize();
}

bool HVDatabase::initialize() {
  if (!open()) return false;
  sqlExecute("CREATE TABLE settings ('id' TEXT PRIMARY KEY, 'data' BLOB)");
  return sqlExecuteWithParameters("INSERT OR REPLACE INTO settings(id, data) VALUES('version', ?)", {Value(kVersion)})
      .succeeded;
}

HVDatabase::Outcome HVDatabase::sqlExecuteWithParameters(const std::string& statementText,
                                                         const platform::Array& parameters) {
  return execute(statementText, parameters, false);
}

HVDatabase::Outcome HVDatabase::pageSqlExecute(const std::string& statementText) {
  return execute(statementText, {}, true);
}

HVDatabase::Outcome HVDatabase::execute(const std::string& statementText, const platform::Array& parameters,
                                        bool fromPage) {
  Outcome outcome;
  if (!database_) return {{}, false, "the database is not open"};
  // One statement and its error text as a unit, whichever thread asks; the page's limits hold
  // for its statement alone.
  sqlite3_mutex* mutex = sqlite3_db_mutex(database_);
  sqlite3_mutex_enter(mutex);
  if (fromPage) sqlite3_set_authorizer(database_, pageAuthorizer, nullptr);
  pageStatement_ = fromPage;
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(database_, statementText.data(), static_cast<int>(statementText.size()), &statement,
                              nullptr);
  if (rc == SQLITE_OK && statement) {
    for (size_t i = 0; i < parameters.size() && rc == SQLITE_OK; ++i)
      if (!bind(statement, static_cast<int>(i + 1), parameters[i])) rc = SQLITE_RANGE;
    if (rc == SQLITE_OK) {
      while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const int columns = sqlite3_data_count(statement);
        platform::Array row;
        row.reserve(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c) row.push_back(columnValue(statement, c));
        outcome.rows.emplace_back(std::move(row));
      }
      if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
  } else if (rc == SQLITE_OK) {
    rc = SQLITE_MISUSE;  // nothing but blanks or comments
  }
  if (rc != SQLITE_OK) {
    outcome.succeeded = false;
    outcome.errorMessage = rc == SQLITE_RANGE ? "cannot bind the parameters" : sqlite3_errmsg(database_);
  }
  sqlite3_finalize(statement);
  if (fromPage) sqlite3_set_authorizer(database_, nullptr, nullptr);
  pageStatement_ = false;
  sqlite3_mutex_leave(mutex);
  return outcome;
}

bool HVDatabase::isValidIdentifier(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (!isAlpha(name[0])) return false;
  for (char c : name)
    if (!isAlpha(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

bool HVDatabase::isClientSetting(std::string_view id) {
  for (const char* own : kClientSettings)
    if (id == own) return true;
  return false;
}

void HVDatabase::send(std::string statement, platform::Array parameters, std::shared_ptr<HVCallbackContext> context,
                      const std::string& table) {
  std::shared_ptr<HVAsyncCommand> query;
  if (isValidIdentifier(table))
    query = HVDBQuery::queryWithQueryCallbackContext(shared_from_this(), std::move(statement), std::move(parameters),
                                                     context);
  else
    query = HVDBQuery::rejectedQuery("not a table name: " + table, context);
  auto manager = dbQueryManager_.lock();
  if (manager && manager->sendAsyncCommand(query)) return;
  if (context)
    platform::RunLoop::main().post(
        [context] { context->deliver(HVCommandResult::failure("the database thread is not running")); });
}

void HVDatabase::removeRecordIDTableCallbackContext(const std::string& recordID, const std::string& table,
                                                    std::shared_ptr<HVCallbackContext> context) {
  send("DELETE FROM " + table + " WHERE id=?", {Value(recordID)}, std::move(context), table);
}

void HVDatabase::setRecordIDTableStringCallbackContext(const std::string& recordID, const std::string& table,
                                                       const std::string& value,
                                                       std::shared_ptr<HVCallbackContext> context) {
  send("INSERT OR REPLACE INTO " + table + " (data, id) VALUES(?, ?)", {Value(value), Value(recordID)},
       std::move(context), table);
}

void HVDatabase::setRecordIDTableNumberCallbackContext(const std::string& recordID, const std::string& table,
                                                       int64_t value, std::shared_ptr<HVCallbackContext> context) {
  send("INSERT OR REPLACE INTO " + table + " (data, id) VALUES(?, ?)", {Value(value), Value(recordID)},
       std::move(context), table);
}

void HVDatabase::setRecordIDTableDataCallbackContext(const std::string& recordID, const std::string& table,
                                                     const platform::Bytes& value,
                                                     std::shared_ptr<HVCallbackContext> context) {
  send("INSERT OR REPLACE INTO " + table + " (data, id) VALUES(?, ?)",
       {Value(HVBase64::base64StringWithData(value)), Value(recordID)}, std::move(context), table);
}

void HVDatabase::dropTableCallbackContext(const std::string& table, std::shared_ptr<HVCallbackContext> context) {
  send("DROP TABLE " + table, {}, std::move(context), table);
}

void HVDatabase::createTableCallbackContext(const std::string& table, std::shared_ptr<HVCallbackContext> context) {
  send("CREATE TABLE " + table + " ('id' TEXT PRIMARY KEY, 'data' BLOB)", {}, std::move(context), table);
}

void HVDatabase::fetch(const std::string& recordID, const std::string& table, HVCallback invocation,
                       bool decodeData) {
  std::shared_ptr<HVCallbackContext> context;
  if (invocation) {
    context = HVCallbackContext::contextWithCallbackInvocationPassResults(
        [invocation = std::move(invocation), decodeData](const HVCommandResult& rows) {
          HVCommandResult found{rows.succeeded, std::nullopt, rows.errorMessage};
          const Value& first = rows.value ? (*rows.value)[size_t(0)][size_t(0)] : Value::null();
          if (rows.value && !(*rows.value)[size_t(0)].array().empty()) {
            found.value = decodeData && first.isString() ? Value(HVBase64::dataWithBase64String(first.string())) : first;
          }
          invocation(found);
        },
        true);
  }
  send("SELECT data FROM " + table + " WHERE id=?", {Value(recordID)}, std::move(context), table);
}

void HVDatabase::fetchStringForRecordIDTableCallbackInvocation(const std::string& recordID, const std::string& table,
                                                               HVCallback invocation) {
  fetch(recordID, table, std::move(invocation), false);
}

void HVDatabase::fetchNumberForRecordIDTableCallbackInvocation(const std::string& recordID, const std::string& table,
                                                               HVCallback invocation) {
  fetch(recordID, table, std::move(invocation), false);
}

void HVDatabase::fetchDataForRecordIDTableCallbackInvocation(const std::string& recordID, const std::string& table,
                                                             HVCallback invocation) {
  fetch(recordID, table, std::move(invocation), true);
}

}  // namespace halvern
