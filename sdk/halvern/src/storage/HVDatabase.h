#pragma once
// The client's persistent store: one SQLite file, "halverndb.sql", in the client's folder,
// with a `settings` table of keyed values and the tables the scripts make. A file of another
// version, or one that cannot be read, is thrown away with everything else in the folder.
//
// Statements run synchronously with sqlExecute… on any thread (the connection is serialised
// by SQLite), or through the keyed operations, which go to the database worker and report
// the real outcome on the main thread. Values always travel as bound parameters; table
// names must be plain identifiers.
#include <memory>
#include <string>
#include <string_view>

#include "HVCallbackContext.h"
#include "platform/passkey.h"
#include "platform/value.h"

struct sqlite3;

namespace halvern {

class HVAsyncCommandManager;

class HVDatabase : public std::enable_shared_from_this<HVDatabase> {
 public:
  static constexpr const char* kFileName = "halverndb.sql";
  static constexpr const char* kVersion = "3.1.2";
  // The longest text or blob the store keeps and the longest statement it compiles.
  static constexpr int kMaxValueLength = 32 * 1024 * 1024;
  static constexpr int kMaxStatementLength = 1024 * 1024;

  // Opens the file in `folder`, or rebuilds the folder and the file from nothing.
  static std::shared_ptr<HVDatabase> create(std::string folder);
  HVDatabase(platform::Passkey<HVDatabase>, std::string folder);
  ~HVDatabase();

  bool initialized() const { return initialized_; }
  const std::string& path() const { return path_; }

  struct Outcome {
    platform::Array rows;  // each row an array, one value per column
    bool succeeded = true;
    std::string errorMessage;
  };
  // Rows as they come: integer → signed 64-bit, float → double, text → string, blob → data,
  // null → null. A failure mid-way keeps the rows read so far.
  Outcome sqlExecuteWithParameters(const std::string& statement, const platform::Array& parameters);
  // A statement a page wrote, as sqlExecuteWithParameters without parameters, but held to what
  // a page's own tables need: it may read anything, create, change and drop its own tables and
  // write its own rows of `settings`, and fails (nothing done) when it would attach or copy the
  // store to another file, load code, change the store's files or journaling by pragma, drop,
  // alter or stand in for `settings`, or make or drop triggers. Its changes to the client's own
  // settings rows (isClientSetting) are skipped without an error.
  Outcome pageSqlExecute(const std::string& statement);
  // The rows alone; a statement that fails gives what it read (usually nothing).
  platform::Array sqlExecute(const std::string& statement) { return sqlExecuteWithParameters(statement, {}).rows; }

  // Where the keyed operations go. Without one they fail at once.
  void setDbQueryManager(std::weak_ptr<HVAsyncCommandManager> manager) { dbQueryManager_ = std::move(manager); }

  // Each sends one statement to the database worker; `context` (may be null) hears the rows
  // and whether the statement succeeded. A table name that is no plain identifier fails.
  void removeRecordIDTableCallbackContext(const std::string& recordID, const std::string& table,
                                          std::shared_ptr<HVCallbackContext> context);
  void setRecordIDTableStringCallbackContext(const std::string& recordID, const std::string& table,
                                             const std::string& value, std::shared_ptr<HVCallbackContext> context);
  void setRecordIDTableNumberCallbackContext(const std::string& recordID, const std::string& table, int64_t value,
                                             std::shared_ptr<HVCallbackContext> context);
  // Stored as standard Base64 text.
  void setRecordIDTableDataCallbackContext(const std::string& recordID, const std::string& table,
                                           const platform::Bytes& value, std::shared_ptr<HVCallbackContext> context);
  void dropTableCallbackContext(const std::string& table, std::shared_ptr<HVCallbackContext> context);
  // The same two columns as `settings`.
  void createTableCallbackContext(const std::string& table, std::shared_ptr<HVCallbackContext> context);

  // `invocation` (may be empty) is called on the main thread in any case: with the record's
  // value when there is one (data decoded from Base64), without when the id is missing.
  void fetchStringForRecordIDTableCallbackInvocation(const std::string& recordID, const std::string& table,
                                                     HVCallback invocation);
  void fetchNumberForRecordIDTableCallbackInvocation(const std::string& recordID, const std::string& table,
                                                     HVCallback invocation);
  void fetchDataForRecordIDTableCallbackInvocation(const std::string& recordID, const std::string& table,
                                                   HVCallback invocation);

  static bool isValidIdentifier(std::string_view name);
  // The `settings` ids the client itself keeps and reads at launch ("version", "disabled",
  // "sbw"): written by the client alone, never by a page.
  static bool isClientSetting(std::string_view id);

 private:
  bool open();
  void close();
  bool loadFromFile();
  bool flush();
  bool initialize();
  // Makes the connection's triggers that skip a page's changes to the client's own settings.
  void protectClientSettings();
  Outcome execute(const std::string& statement, const platform::Array& parameters, bool fromPage);
  void send(std::string statement, platform::Array parameters, std::shared_ptr<HVCallbackContext> context,
            const std::string& table);
  void fetch(const std::string& recordID, const std::string& table, HVCallback invocation, bool decodeData);

  std::string folder_;
  std::string path_;
  sqlite3* database_ = nullptr;
  bool initialized_ = false;
  // A page's statement runs (read and written under the connection's mutex).
  bool pageStatement_ = false;
  std::weak_ptr<HVAsyncCommandManager> dbQueryManager_;
};

}  // namespace halvern
