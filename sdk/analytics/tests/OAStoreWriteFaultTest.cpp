// A write the database itself refuses part-way (here a trigger another program left in the
// file, standing in for a full disk or a damaged table): the hit or the deletion is refused
// whole, the open transaction is rolled back, the failure is logged once with the database's
// own reason, and the store keeps working once the cause is gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "OAPersistentEventStore.h"
#include "OATestSupport.h"
#include "platform/log.h"
#include "testing/sandbox_test.h"

namespace analytics {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using test::SQLitePeer;

class OAStoreWriteFaultTest : public testkit::SandboxTest {};

TEST_F(OAStoreWriteFaultTest, ARefusedStepLeavesNothingHalfWrittenAndIsLoggedOnce) {
  enum Operation { Put, Delete };
  struct Case {
    const char* trigger;  // the statement the database refuses
    Operation operation;
    const char* log;
  } cases[] = {
      {"BEFORE INSERT ON custom_variables", Put,
       "Error: Failed to insert custom variables for database 'refused'"},
      {"BEFORE UPDATE ON custom_var_cache", Put,
       "Error: Failed to update custom var cache for database 'refused'"},
      {"BEFORE DELETE ON custom_variables", Delete,
       "Error: Failed to delete custom variable from database 'refused'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trigger);
    std::filesystem::remove(test::storePath());
    OAPersistentEventStore store;
    ASSERT_TRUE(store.isOpen());
    OAEvent kept("c", "kept", std::nullopt, -1);
    kept.setCustomVariableBuffer(test::variables({{2, "k", "kept", kOAVisitorScope}}));
    ASSERT_TRUE(store.putEventWithError(kept));
    SQLitePeer peer(test::storePath());
    peer.exec(std::string("CREATE TRIGGER refuse ") + c.trigger +
              " BEGIN SELECT RAISE(ABORT, 'refused'); END");

    platform::LogCapture log;
    if (c.operation == Put) {
      OAEvent event("c", "refused", std::nullopt, -1);
      event.setCustomVariableBuffer(test::variables({{1, "n", "v", kOAVisitorScope}}));
      std::optional<platform::Error> error;
      EXPECT_FALSE(store.putEventWithError(event, &error));
      ASSERT_TRUE(error);
      EXPECT_EQ(error->domain, kOAPersistentEventStoreErrorDomain);
      EXPECT_EQ(error->code, SQLITE_CONSTRAINT);
    } else {
      EXPECT_FALSE(store.deleteEvent((*store.peekEvents(-1))[0]->eventID()));
    }
    auto lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), c.log), 1) << ::testing::PrintToString(lines);

    // Nothing of the refused write stays, and nothing was counted.
    EXPECT_EQ(store.storedEvents(), 1u);
    EXPECT_EQ(peer.rows("SELECT action FROM events"), (Rows{{"kept"}}));
    EXPECT_EQ(peer.rows("SELECT cv_name, cv_value FROM custom_variables"), (Rows{{"k", "kept"}}));
    EXPECT_EQ(peer.rows("SELECT cv_name FROM custom_var_cache WHERE cv_index = 1"), (Rows{{""}}));

    // With the cause gone the store writes and deletes again: no transaction was left open.
    peer.exec("DROP TRIGGER refuse");
    OAEvent after("c", "after", std::nullopt, -1);
    after.setCustomVariableBuffer(test::variables({{1, "n", "v", kOAVisitorScope}}));
    EXPECT_TRUE(store.putEventWithError(after));
    EXPECT_TRUE(store.deleteEvent((*store.peekEvents(-1))[0]->eventID()));
    EXPECT_EQ(peer.rows("SELECT action FROM events"), (Rows{{"after"}}));
    EXPECT_EQ(store.storedEvents(), 1u);
  }
}

}  // namespace
}  // namespace analytics
