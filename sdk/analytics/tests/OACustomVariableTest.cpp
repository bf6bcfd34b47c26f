#include "OACustomVariable.h"

#include <gtest/gtest.h>

#include "OAGlobalStore.h"
#include "platform/random.h"
#include "platform/singleton.h"
#include "testing/sandbox_test.h"

namespace analytics {
namespace {

std::shared_ptr<OACustomVariable> variable(int index, const std::string& name = "n") {
  return std::make_shared<OACustomVariable>(index, name, "v", kOAPageScope);
}

// Slots 1 to 5 only; a variable replaces what its slot held and leaves the others be.
TEST(OACustomVariableBufferTest, SlotsOneToFiveAndReplacement) {
  OACustomVariableBuffer buffer;
  EXPECT_FALSE(buffer.addCustomVariable(nullptr));
  for (int index : {-5, -1, 0, 6, 1000}) {
    EXPECT_FALSE(buffer.addCustomVariable(variable(index))) << index;
    EXPECT_FALSE(buffer.isSlotAvailable(index)) << index;
    EXPECT_EQ(buffer.customVariableAt(index), nullptr) << index;
  }
  EXPECT_FALSE(buffer.hasCustomVariables());
  for (int index : {1, 5}) {
    EXPECT_TRUE(buffer.isSlotAvailable(index)) << index;
    ASSERT_TRUE(buffer.addCustomVariable(variable(index, "first"))) << index;
    EXPECT_FALSE(buffer.isSlotAvailable(index)) << index;
  }
  EXPECT_TRUE(buffer.hasCustomVariables());
  for (int index : {2, 3, 4}) EXPECT_TRUE(buffer.isSlotAvailable(index)) << index;
  ASSERT_TRUE(buffer.addCustomVariable(variable(1, "second")));
  EXPECT_EQ(buffer.customVariableAt(1)->name(), "second");
  EXPECT_EQ(buffer.customVariableAt(5)->name(), "first");
}

class OAGlobalStoreTest : public testkit::SandboxTest {};

TEST_F(OAGlobalStoreTest, HitIdIsARandomNonNegativeNumberKeptForTheRun) {
  auto& store = OAGlobalStore::sharedGlobalStore();
  platform::Random::script({123456789u, 0xffffffffu});
  store.initRandomHitID();
  EXPECT_EQ(store.hitID(), "123456789");
  EXPECT_EQ(store.hitID(), "123456789");
  store.initRandomHitID();
  EXPECT_EQ(store.hitID(), "2147483647");
  // Drawn afresh, and only when first asked for, after a reset.
  platform::resetForTesting();
  platform::Random::script({42u});
  EXPECT_EQ(store.hitID(), "42");
}

}  // namespace
}  // namespace analytics
