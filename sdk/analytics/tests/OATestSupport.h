#pragma once
// Helpers shared by the analytics tests.
#include <sqlite3.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "OACustomVariable.h"
#include "platform/sandbox.h"

namespace analytics::test {

// A buffer of (index, name, value, scope) variables.
inline std::shared_ptr<OACustomVariableBuffer> variables(
    std::initializer_list<std::tuple<int, const char*, const char*, int>> list) {
  auto b = std::make_shared<OACustomVariableBuffer>();
  for (auto [index, name, value, scope] : list) {
    b->addCustomVariable(std::make_shared<OACustomVariable>(index, name, value, scope));
  }
  return b;
}

inline std::string storePath() { return platform::Sandbox::documents() + "/orvaneanalytics.sql"; }

// A second, plain connection to a store's file: what another process (or a curious test)
// sees, and a way to hold SQLite locks against the store.
class SQLitePeer {
 public:
  explicit SQLitePeer(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open " + path);
    // The peer may run on a server thread while the tracker has the file open on the main
    // loop: wait out the tracker's short transactions instead of failing on them.
    sqlite3_busy_timeout(db_, 2000);
  }
  ~SQLitePeer() { sqlite3_close(db_); }
  SQLitePeer(const SQLitePeer&) = delete;
  SQLitePeer& operator=(const SQLitePeer&) = delete;
  // Every row of one test-written statement as text ("NULL" for a null column). A statement
  // that fails throws, so a lock a test means to hold cannot silently be missing.
  using Rows = std::vector<std::vector<std::string>>;
  Rows rows(const std::string& sql) {
    Rows out;
    auto collect = [](void* to, int n, char** values, char**) {
      static_cast<Rows*>(to)->emplace_back(n);
      for (int i = 0; i < n; ++i) static_cast<Rows*>(to)->back()[i] = values[i] ? values[i] : "NULL";
      return 0;
    };
    if (sqlite3_exec(db_, sql.c_str(), collect, &out, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
    }
    return out;
  }
  void exec(const std::string& sql) { rows(sql); }
  int64_t scalar(const std::string& sql) { return std::stoll(rows(sql).at(0).at(0)); }
  // Plain hits written straight into the file, in one statement.
  void insertEvents(int count) {
    exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
         std::to_string(count) +
         ") INSERT INTO events (random_val, timestamp_first, timestamp_previous, "
         "timestamp_current, visits, category, action, label, value) "
         "SELECT 1, 1, 1, 1, 1, 'c', 'a', NULL, -1 FROM n");
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace analytics::test
