#include "OAPersistentEventStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "OATestSupport.h"
#include "platform/sandbox.h"
#include "testing/sandbox_test.h"

namespace analytics {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using test::SQLitePeer;
using test::variables;

class OAPersistentEventStoreTest : public testkit::SandboxTest {
 protected:
  std::string path() const { return test::storePath(); }
  int32_t now() { return static_cast<int32_t>(std::floor(clock().now())); }
  bool put(OAPersistentEventStore& store, const std::string& category, const std::string& action,
           std::optional<std::string> label = std::nullopt, int32_t value = -1,
           std::shared_ptr<OACustomVariableBuffer> buffer = nullptr, std::optional<platform::Error>* error = nullptr) {
    OAEvent event(category, action, std::move(label), value);
    event.setCustomVariableBuffer(std::move(buffer));
    return store.putEventWithError(event, error);
  }
  static void expectVariable(const std::shared_ptr<const OACustomVariable>& v, const std::string& name,
                             const std::string& value, int scope) {
    ASSERT_TRUE(v);
    EXPECT_EQ(std::tie(v->name(), v->value()), std::tie(name, value));
    EXPECT_EQ(v->scope(), scope);
  }
};

// A fresh install: an empty page-scope cache and a first session; each launch keeps the hits
// and the session and moves its timestamps on.
TEST_F(OAPersistentEventStoreTest, FreshInstallThenRelaunchesKeepHitsAndMoveTimestamps) {
  const int32_t t0 = now();
  const std::string t = std::to_string(t0);
  int32_t storeID;
  {
    OAPersistentEventStore store;
    ASSERT_TRUE(store.isOpen());
    EXPECT_EQ(store.storedEvents(), 0u);
    storeID = store.storeID();
    EXPECT_GE(storeID, 0);
    EXPECT_EQ(store.visitorID(), std::to_string(storeID) + "." + t);
    EXPECT_EQ(store.sessionID(), t);
    EXPECT_TRUE(OAPersistentEventStore::isNewSession());
    SQLitePeer peer(path());
    EXPECT_EQ(peer.rows("SELECT cv_scope, cv_index, cv_name, cv_value FROM custom_var_cache ORDER BY cv_index"),
              (Rows{{"3", "1", "", ""}, {"3", "2", "", ""}, {"3", "3", "", ""}, {"3", "4", "", ""},
                    {"3", "5", "", ""}}));
    EXPECT_EQ(peer.rows("SELECT timestamp_first, timestamp_previous, timestamp_current, visits, store_id FROM session"),
              (Rows{{t, t, t, "1", std::to_string(storeID)}}));
    ASSERT_TRUE(put(store, "cat", "act", "lab", 5));
    ASSERT_TRUE(put(store, kOAPageviewCategory, "/home"));
  }
  clock().advance(100);
  {
    OAPersistentEventStore store;
    EXPECT_EQ(store.storeID(), storeID);
    EXPECT_EQ(store.storedEvents(), 2u);
    ASSERT_TRUE(put(store, "later", "act", std::nullopt, 0));
    auto events = store.peekEvents(-1);
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 3u);
    // category, action, label, value, first, previous, current, visits
    using Fields = std::tuple<std::string, std::string, std::optional<std::string>, int32_t, int32_t, int32_t, int32_t,
                              int32_t>;
    const Fields expected[] = {
        {"cat", "act", "lab", 5, t0, t0, t0, 1},
        {kOAPageviewCategory, "/home", std::nullopt, -1, t0, t0, t0, 1},
        // The second launch: the session row still says 1, hits say 2.
        {"later", "act", std::nullopt, 0, t0, t0, t0 + 100, 2},
    };
    for (size_t i = 0; i < 3; ++i) {
      const OAEvent& e = *(*events)[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(Fields(e.category(), e.action(), e.label(), e.value(), e.timestampFirst(),
                       e.timestampPrevious(), e.timestampCurrent(), e.visits()),
                expected[i]);
      EXPECT_GE(e.randomVal(), 0);
      if (i > 0) { EXPECT_GT(e.eventID(), (*events)[i - 1]->eventID()); }
    }
    SQLitePeer peer(path());
    EXPECT_EQ(peer.rows("SELECT visits, timestamp_previous, timestamp_current FROM session"),
              (Rows{{"1", std::to_string(t0), std::to_string(t0 + 100)}}));
    EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM events WHERE label IS NULL"), 2);
    EXPECT_EQ(store.peekEvents(2)->size(), 2u);
  }
  clock().advance(50);
  OAPersistentEventStore store;
  ASSERT_TRUE(put(store, "third", "act"));
  auto last = store.peekEvents(-1)->back();
  EXPECT_EQ(last->visits(), 2);
  EXPECT_EQ(last->timestampPrevious(), t0 + 100);
  EXPECT_EQ(last->timestampCurrent(), t0 + 150);
}

TEST_F(OAPersistentEventStoreTest, DeleteTakesTheHitsVariablesAndCountsOnlyRealDeletions) {
  OAPersistentEventStore store;
  ASSERT_TRUE(put(store, "c", "a", std::nullopt, -1,
                  variables({{1, "n1", "v1", kOAPageScope}, {4, "n4", "v4", kOASessionScope}})));
  ASSERT_TRUE(put(store, "c", "b"));
  auto events = store.peekEvents(-1);
  ASSERT_EQ(events->size(), 2u);
  const int64_t id = (*events)[0]->eventID();
  auto stored = (*events)[0]->customVariableBuffer();
  ASSERT_TRUE(stored);
  expectVariable(stored->customVariableAt(4), "n4", "v4", kOASessionScope);
  EXPECT_TRUE(stored->isSlotAvailable(2));
  SQLitePeer peer(path());
  EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM custom_variables WHERE event_id=" + std::to_string(id)), 2);
  EXPECT_TRUE(store.deleteEvent(id));
  EXPECT_EQ(store.storedEvents(), 1u);
  EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM custom_variables"), 0);
  EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM events"), 1);
  for (int64_t missing : {id, int64_t{987654}}) {
    EXPECT_FALSE(store.deleteEvent(missing)) << missing;
    EXPECT_EQ(store.storedEvents(), 1u) << missing;
  }
  EXPECT_TRUE(put(store, "after", "deletes"));  // no transaction was left open
  EXPECT_EQ(store.storedEvents(), 2u);
}

TEST_F(OAPersistentEventStoreTest, FirstHitOfASessionCarriesTheVisitorVariables) {
  {
    OAPersistentEventStore store;
    // The first hit brings its own variables, so it takes nothing from the cache.
    ASSERT_TRUE(put(store, "c", "own", std::nullopt, -1,
                    variables({{2, "kind", "gold", kOAVisitorScope}, {3, "p", "x", kOAPageScope}})));
    ASSERT_TRUE(put(store, "c", "plain"));
    EXPECT_EQ(store.getVisitorCustomVarAtSlot(2), "gold");
    EXPECT_EQ(store.getVisitorCustomVarAtSlot(3), std::nullopt);  // page scope
    EXPECT_EQ(store.getVisitorCustomVarAtSlot(1), std::nullopt);
    auto visitor = store.getVisitorVarBuffer();
    for (int slot : {1, 2, 3}) EXPECT_EQ(visitor->isSlotAvailable(slot), slot != 2) << slot;
    auto events = store.peekEvents(-1);
    EXPECT_FALSE((*events)[1]->customVariableBuffer()->hasCustomVariables());
  }
  OAPersistentEventStore store;
  ASSERT_TRUE(put(store, "c", "first of session"));
  ASSERT_TRUE(put(store, "c", "second of session"));
  auto events = store.peekEvents(-1);
  ASSERT_EQ(events->size(), 4u);
  auto first = (*events)[2]->customVariableBuffer();
  expectVariable(first->customVariableAt(2), "kind", "gold", kOAVisitorScope);
  for (int slot : {1, 3, 4, 5}) EXPECT_TRUE(first->isSlotAvailable(slot)) << slot;
  EXPECT_FALSE((*events)[3]->customVariableBuffer()->hasCustomVariables());
}

// Another connection's lock makes a write fail: a write lock makes the insert answer "busy",
// a read lock makes the commit fail. The hit and its variables must be refused whole and not
// counted, and the open transaction rolled back, or every later BEGIN fails for the run.
TEST_F(OAPersistentEventStoreTest, LockedDatabaseRefusesTheHitWholeAndRecovers) {
  const std::vector<const char*> locks[] = {{"BEGIN IMMEDIATE"}, {"BEGIN", "SELECT COUNT(*) FROM events"}};
  for (const auto& lock : locks) {
    SCOPED_TRACE(lock.front());
    std::filesystem::remove(path());
    OAPersistentEventStore store;
    ASSERT_TRUE(put(store, "c", "before"));
    SQLitePeer peer(path());
    for (const char* sql : lock) peer.exec(sql);
    std::optional<platform::Error> error;
    EXPECT_FALSE(put(store, "c", "blocked", std::nullopt, -1,
                     variables({{1, "n", "v", kOAVisitorScope}}), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, kOAPersistentEventStoreErrorDomain);
    EXPECT_EQ(error->code, SQLITE_BUSY);
    EXPECT_EQ(store.storedEvents(), 1u);
    peer.exec("ROLLBACK");
    EXPECT_TRUE(put(store, "c", "after"));
    EXPECT_EQ(store.storedEvents(), 2u);
    EXPECT_EQ(peer.rows("SELECT action FROM events ORDER BY event_id"),
              (Rows{{"before"}, {"after"}}));
    EXPECT_EQ(peer.scalar("SELECT COUNT(*) FROM custom_variables"), 0);
    EXPECT_EQ(store.getVisitorCustomVarAtSlot(1), std::nullopt);
  }
}

// What an earlier launch may have left: a file without the tables, or with only some.
TEST_F(OAPersistentEventStoreTest, MissingTablesAreCreatedOnEveryOpen) {
  const std::vector<std::string> leftovers = {
      "",  // an empty file
      "CREATE TABLE IF NOT EXISTS custom_var_cache ( 'cv_id' INTEGER PRIMARY KEY AUTOINCREMENT "
      "NOT NULL, 'cv_scope' INTEGER NOT NULL, 'cv_index' INTEGER NOT NULL, 'cv_name' CHAR(64) "
      "NOT NULL, 'cv_value' CHAR(64) NOT NULL);",
      "CREATE TABLE session ( 'timestamp_first' INTEGER PRIMARY KEY, 'timestamp_previous' "
      "INTEGER NOT NULL, 'timestamp_current' INTEGER NOT NULL, 'visits' INTEGER NOT NULL, "
      "'store_id' INTEGER NOT NULL);",
  };
  for (const auto& sql : leftovers) {
    SCOPED_TRACE(sql);
    std::filesystem::remove(path());
    std::ofstream(path()).close();
    if (!sql.empty()) SQLitePeer(path()).exec(sql);
    OAPersistentEventStore store;
    ASSERT_TRUE(store.isOpen());
    EXPECT_TRUE(put(store, "c", "a"));
    EXPECT_EQ(store.peekEvents(-1)->size(), 1u);
    EXPECT_EQ(SQLitePeer(path()).scalar("SELECT COUNT(*) FROM custom_var_cache"), 5);
    EXPECT_EQ(SQLitePeer(path()).scalar("SELECT COUNT(*) FROM session"), 1);
  }
}

TEST_F(OAPersistentEventStoreTest, WithoutADatabaseEverythingFails) {
  std::filesystem::create_directories(path());  // a folder where the file should be
  OAPersistentEventStore store;
  EXPECT_FALSE(store.isOpen());
  std::optional<platform::Error> error;
  EXPECT_FALSE(put(store, "c", "a", std::nullopt, -1, nullptr, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, static_cast<int32_t>(0xDEADC0DEu));
  EXPECT_FALSE(store.peekEvents(-1).has_value());
  EXPECT_FALSE(store.deleteEvent(1));
  EXPECT_EQ(store.storedEvents(), 0u);
}

}  // namespace
}  // namespace analytics
