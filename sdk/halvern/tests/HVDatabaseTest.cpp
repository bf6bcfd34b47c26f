#include "HVDatabase.h"

#include <sqlite3.h>

#include "HVController.h"
#include "HVTestSupport.h"
#include "platform/file_manager.h"
#include "platform/sandbox.h"

namespace halvern {
namespace {

using platform::Array;
using platform::FileManager;
using platform::Value;
using testsupport::Recorder;

class HVDatabaseTest : public testsupport::HalvernSandboxTest {
 protected:
  std::string folder() const { return platform::Sandbox::documents() + "/HV"; }
};

// Writes the version row the way an older client generation left it.
void setStoredVersion(const std::string& path, const char* version) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE settings SET data=? WHERE id='version'", -1, &st, nullptr), SQLITE_OK);
  sqlite3_bind_text(st, 1, version, -1, SQLITE_TRANSIENT);
  EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST_F(HVDatabaseTest, AnotherVersionWipesTheFolderAndStartsEmpty) {
  const std::string docs = platform::Sandbox::documents();
  {
    auto db = HVDatabase::create(folder());
    EXPECT_TRUE(db->sqlExecute("INSERT INTO settings(id, data) VALUES('kept', 'yes')").empty());
  }
  FileManager::createDirectoryAtPath(folder() + "/Content/slot", true);
  {
    // Same version: everything stays.
    auto db = HVDatabase::create(folder());
    EXPECT_EQ(db->sqlExecute("SELECT data FROM settings WHERE id='kept'"), (Array{Value(Array{Value("yes")})}));
  }
  setStoredVersion(folder() + "/halverndb.sql", "3.1.1");
  FileManager::writeAtomically(docs + "/client.js", std::string_view("old"));
  auto db = HVDatabase::create(folder());
  EXPECT_TRUE(db->initialized());
  EXPECT_FALSE(FileManager::itemExistsAtPath(folder() + "/Content"));
  EXPECT_FALSE(FileManager::itemExistsAtPath(docs + "/client.js"));
  EXPECT_EQ(db->sqlExecute("SELECT id, data FROM settings"), (Array{Value(Array{Value("version"), Value("3.1.2")})}));
}

TEST_F(HVDatabaseTest, AFileThatIsNoDatabaseIsRebuilt) {
  FileManager::createDirectoryAtPath(folder(), true);
  FileManager::writeAtomically(folder() + "/halverndb.sql", std::string_view("garbage that is not SQLite, long enough"));
  auto db = HVDatabase::create(folder());
  EXPECT_EQ(db->sqlExecute("SELECT data FROM settings WHERE id='version'"), (Array{Value(Array{Value("3.1.2")})}));
}

TEST_F(HVDatabaseTest, ValuesKeepTheirTypesThroughBoundParameters) {
  auto db = HVDatabase::create(folder());
  const int64_t big = (int64_t(1) << 40) + 12345;
  const Value values[] = {Value(big), Value(-(int64_t(1) << 62)), Value(0.1), Value("it's \"quoted\"; DROP TABLE settings"),
                          Value(platform::Bytes{0, 1, 0xff}), Value()};
  ASSERT_TRUE(db->sqlExecute("CREATE TABLE t (id INTEGER, data BLOB)").empty());
  for (size_t i = 0; i < std::size(values); ++i)
    ASSERT_TRUE(db->sqlExecuteWithParameters("INSERT INTO t VALUES(?, ?)", {Value(int64_t(i)), values[i]}).succeeded);
  auto rows = db->sqlExecute("SELECT data FROM t ORDER BY id");
  ASSERT_EQ(rows.size(), std::size(values));
  for (size_t i = 0; i < std::size(values); ++i) {
    EXPECT_EQ(rows[i][size_t(0)], values[i]) << i;
    EXPECT_EQ(rows[i][size_t(0)].type(), values[i].type()) << i;
  }
  EXPECT_EQ(db->sqlExecute("SELECT count(*) FROM settings")[size_t(0)][size_t(0)], Value(int64_t(1)));
  // Zero columns make an empty row; a statement that fails says so.
  auto bad = db->sqlExecuteWithParameters("SELECT * FROM nowhere", {});
  EXPECT_FALSE(bad.succeeded);
  EXPECT_NE(bad.errorMessage.find("nowhere"), std::string::npos);
  EXPECT_FALSE(db->sqlExecuteWithParameters("SELECT ?", {Value(1), Value(2)}).succeeded);
}

TEST_F(HVDatabaseTest, KeyedRecordsGoThroughTheDatabaseThreadAndReportTheOutcome) {
  auto controller = HVController::sharedController();
  auto db = controller->database();
  Recorder recorder;
  const int64_t big = (int64_t(1) << 41) + 7;
  db->createTableCallbackContext("ads", recorder.context("create"));
  db->createTableCallbackContext("ads", recorder.context("create again"));
  db->setRecordIDTableStringCallbackContext("quote's", "ads", "it's", recorder.context("string"));
  db->setRecordIDTableNumberCallbackContext("n", "ads", big, recorder.context("number"));
  db->setRecordIDTableDataCallbackContext("d", "ads", platform::Bytes{0, 200, 7}, recorder.context("data"));
  db->setRecordIDTableStringCallbackContext("x", "ads; DROP TABLE settings", "v", recorder.context("bad table"));
  auto fetched = [&](const char* label) { return [&recorder, label](const HVCommandResult& r) { recorder.deliveries.push_back({label, r, true}); }; };
  db->fetchStringForRecordIDTableCallbackInvocation("quote's", "ads", fetched("get string"));
  db->fetchNumberForRecordIDTableCallbackInvocation("n", "ads", fetched("get number"));
  db->fetchDataForRecordIDTableCallbackInvocation("d", "ads", fetched("get data"));
  db->fetchStringForRecordIDTableCallbackInvocation("absent", "ads", fetched("get absent"));
  db->removeRecordIDTableCallbackContext("n", "ads", recorder.context("remove"));
  db->fetchNumberForRecordIDTableCallbackInvocation("n", "ads", fetched("get removed"));
  db->dropTableCallbackContext("ads", recorder.context("drop"));
  db->fetchNumberForRecordIDTableCallbackInvocation("n", "ads", fetched("get dropped"));
  // The first command wakes the worker at once, the rest at the end of the throttle.
  advance(HVAsyncCommandQueue::kFireInterval);

  struct Expect {
    const char* label;
    bool succeeded;
    std::optional<Value> value;
  };
  const Expect expected[] = {
      {"create", true, Value(Array{})},
      {"create again", false, Value(Array{})},
      {"string", true, Value(Array{})},
      {"number", true, Value(Array{})},
      {"data", true, Value(Array{})},
      {"bad table", false, std::nullopt},
      {"get string", true, Value("it's")},
      {"get number", true, Value(big)},
      {"get data", true, Value(platform::Bytes{0, 200, 7})},
      {"get absent", true, std::nullopt},
      {"remove", true, Value(Array{})},
      {"get removed", true, std::nullopt},
      {"drop", true, Value(Array{})},
      {"get dropped", false, std::nullopt},
  };
  ASSERT_EQ(recorder.deliveries.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const auto& got = recorder.deliveries[i];
    EXPECT_EQ(got.label, expected[i].label);
    EXPECT_EQ(got.result.succeeded, expected[i].succeeded) << got.label;
    EXPECT_EQ(got.result.value, expected[i].value) << got.label;
  }
  // The bad table name never reached SQLite.
  EXPECT_EQ(db->sqlExecute("SELECT count(*) FROM settings")[size_t(0)][size_t(0)], Value(int64_t(1)));
}

// What a page's statement may do: its own tables in full, the client's settings and the
// store's files never.
TEST_F(HVDatabaseTest, PageStatementsKeepToThePagesOwnTables) {
  auto db = HVDatabase::create(folder());
  const std::string elsewhere = platform::Sandbox::preferences() + "/copy.db";
  const std::string quoted = "'" + elsewhere + "'";
  const std::vector<std::pair<std::string, bool>> cases = {
      {"CREATE TABLE IF NOT EXISTS ads (slotName TEXT, dlTime INTEGER, expiration INTEGER, trackers TEXT)", true},
      {"INSERT INTO ads (slotName, dlTime, expiration, trackers) VALUES ('b', 1, 2, '[]')", true},
      {"UPDATE ads SET expiration=3 WHERE slotName='b'", true},
      {"SELECT slotName, expiration FROM ads", true},
      {"SELECT data FROM settings WHERE id='version'", true},
      {"PRAGMA table_info(ads)", true},
      {"CREATE INDEX adsBySlot ON ads(slotName)", true},
      {"DELETE FROM ads WHERE slotName='gone'", true},
      {"ATTACH DATABASE " + quoted + " AS other", false},
      {"VACUUM INTO " + quoted, false},
      {"SELECT load_extension('/usr/lib/nothing.so')", false},
      {"PRAGMA journal_mode=OFF", false},
      {"PRAGMA main.synchronous=0", false},
      {"PRAGMA writable_schema=ON", false},
      {"PRAGMA temp_store_directory='/tmp'", false},
      {"DROP TABLE settings", false},
      {"ALTER TABLE settings RENAME TO gone", false},
      {"CREATE INDEX settingsByData ON settings(data)", false},
      {"CREATE TEMP TABLE settings (id TEXT PRIMARY KEY, data BLOB)", false},
      {"CREATE TEMP VIEW settings AS SELECT 'version' AS id, '0.0.0' AS data", false},
      {"CREATE TRIGGER later AFTER DELETE ON ads BEGIN DELETE FROM settings; END", false},
      {"DROP TRIGGER hv_keep_client_delete", false},
      {"DROP TRIGGER temp.hv_keep_client_update", false},
      {"DELETE FROM sqlite_master", false},
  };
  for (const auto& [statement, allowed] : cases) {
    auto outcome = db->pageSqlExecute(statement);
    EXPECT_EQ(outcome.succeeded, allowed) << statement << ": " << outcome.errorMessage;
  }
  EXPECT_FALSE(FileManager::fileExistsAtPath(elsewhere));
  EXPECT_EQ(db->sqlExecute("SELECT expiration FROM ads"), (Array{Value(Array{Value(int64_t(3))})}));
  EXPECT_EQ(db->sqlExecute("PRAGMA journal_mode"), (Array{Value(Array{Value("delete")})}));
  EXPECT_EQ(db->sqlExecute("SELECT id, data FROM settings"), (Array{Value(Array{Value("version"), Value("3.1.2")})}));
  EXPECT_TRUE(db->sqlExecute("SELECT name FROM sqlite_master WHERE type='trigger'").empty());
  // The limits hold for the page's statement alone: the client's own ones run as before.
  EXPECT_TRUE(db->sqlExecuteWithParameters("UPDATE settings SET data=? WHERE id='version'", {Value("3.1.2")}).succeeded);
}

// A page writes and deletes its own settings rows by statement (it has no other way to remove
// one); whatever it writes, the client's own rows stay as the client left them, and the client
// still changes them itself. A store written by an earlier generation works the same, and the
// store keeps nothing an earlier generation could not run.
TEST_F(HVDatabaseTest, PageStatementsChangeTheirOwnSettingsAndNeverTheClients) {
  const std::string path = folder() + "/halverndb.sql";
  {
    // As an earlier generation left its store: the settings table and its rows, nothing else.
    FileManager::createDirectoryAtPath(folder(), true);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw,
                           "CREATE TABLE settings ('id' TEXT PRIMARY KEY, 'data' BLOB);"
                           "INSERT INTO settings VALUES('version', '3.1.2'), ('disabled', 1), ('sbw', 'bar'),"
                           "('a', 'page a'), ('b', 'page b');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
  }
  auto db = HVDatabase::create(folder());
  auto settings = [&] {
    std::string text;
    for (const auto& row : db->sqlExecute("SELECT id, data FROM settings ORDER BY id"))
      text += row[size_t(0)].stringValue() + "=" + row[size_t(1)].stringValue() + ";";
    return text;
  };
  const std::string client = "disabled=1;sbw=bar;version=3.1.2;";
  ASSERT_EQ(settings(), "a=page a;b=page b;" + client);
  const struct {
    const char* statement;
    std::string after;
  } cases[] = {
      {"DELETE FROM settings WHERE id='b'", "a=page a;" + client},
      {"INSERT INTO settings(id, data) VALUES('zz', 'x')", "a=page a;" + client + "zz=x;"},
      {"UPDATE settings SET data='y' WHERE id='zz'", "a=page a;" + client + "zz=y;"},
      {"UPDATE settings SET data='0.0.0' WHERE id='version'", "a=page a;" + client + "zz=y;"},
      {"INSERT OR REPLACE INTO settings(id, data) VALUES('disabled', 0)", "a=page a;" + client + "zz=y;"},
      {"REPLACE INTO settings(id, data) VALUES('sbw', 'other')", "a=page a;" + client + "zz=y;"},
      {"UPDATE settings SET id='sbw' WHERE id='a'", "a=page a;" + client + "zz=y;"},
      {"UPDATE settings SET id='gone' WHERE id='version'", "a=page a;" + client + "zz=y;"},
      {"UPDATE settings SET data=NULL", "a=;" + client + "zz=;"},
      {"DELETE FROM settings WHERE id IN ('version', 'disabled', 'sbw')", "a=;" + client + "zz=;"},
      {"DELETE FROM settings", client},
  };
  for (const auto& c : cases) {
    auto outcome = db->pageSqlExecute(c.statement);
    EXPECT_TRUE(outcome.succeeded) << c.statement << ": " << outcome.errorMessage;
    EXPECT_EQ(settings(), c.after) << c.statement;
  }
  // The client's own writes are not the page's.
  ASSERT_TRUE(db->sqlExecuteWithParameters("DELETE FROM settings WHERE id='sbw'", {}).succeeded);
  ASSERT_TRUE(db->sqlExecuteWithParameters("INSERT OR REPLACE INTO settings(id, data) VALUES('disabled', 0)", {}).succeeded);
  EXPECT_EQ(settings(), "disabled=0;version=3.1.2;");
  db.reset();

  // The file holds no trigger, and a client without this connection's functions writes it.
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(raw, "INSERT OR REPLACE INTO settings VALUES('sbw', 'again'); DELETE FROM settings WHERE id='disabled';",
                         nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(raw);
  sqlite3_close(raw);
  db = HVDatabase::create(folder());
  EXPECT_EQ(settings(), "sbw=again;version=3.1.2;");
}

}  // namespace
}  // namespace halvern
