#include "OACustomVariable.h"

#include <gtest/gtest.h>

#include "OAGlobalStore.h"
#include "platform/random.h"
#include "testing/sandbox_test.h"

namespace analytics {
namespace {

std::shared_ptr<OACustomVariable> variable(int index, const std::string& name = "n") {
  return std::make_shared<OACustomVariable>(index, name, "v", kOAPageScope);
}

TEST(OACustomVariableBufferTest, SlotsOneToFiveOnly) {
  struct Case {
    int index;
    bool accepted;
  };
  const Case cases[] = {{-1, false}, {-5, false}, {0, false}, {1, true},
                        {3, true},   {5, true},   {6, false}, {1000, false}};
  for (const auto& c : cases) {
    OACustomVariableBuffer buffer;
    EXPECT_EQ(buffer.addCustomVariable(variable(c.index)), c.accepted) << "index " << c.index;
    EXPECT_EQ(buffer.hasCustomVariables(), c.accepted) << "index " << c.index;
    EXPECT_EQ(buffer.customVariableAt(c.index) != nullptr, c.accepted) << "index " << c.index;
  }
  OACustomVariableBuffer buffer;
  EXPECT_FALSE(buffer.addCustomVariable(nullptr));
  EXPECT_FALSE(buffer.hasCustomVariables());
}

TEST(OACustomVariableBufferTest, OccupiedSlotsAndReplacement) {
  OACustomVariableBuffer buffer;
  ASSERT_TRUE(buffer.addCustomVariable(variable(2, "first")));
  ASSERT_TRUE(buffer.addCustomVariable(variable(5)));
  EXPECT_TRUE(buffer.hasCustomVariables());

  const std::pair<int, bool> available[] = {{0, false}, {1, true},  {2, false}, {3, true},
                                            {4, true},  {5, false}, {6, false}, {-2, false}};
  for (auto [index, free] : available) {
    EXPECT_EQ(buffer.isSlotAvailable(index), free) << "slot " << index;
  }
  EXPECT_EQ(buffer.customVariableAt(6), nullptr);
  EXPECT_EQ(buffer.customVariableAt(0), nullptr);

  ASSERT_TRUE(buffer.addCustomVariable(variable(2, "second")));
  EXPECT_EQ(buffer.customVariableAt(2)->name(), "second");
  EXPECT_EQ(buffer.customVariableAt(5)->name(), "n");
}

class OAGlobalStoreTest : public testing::SandboxTest {};

TEST_F(OAGlobalStoreTest, HitIdIsARandomNonNegativeNumberKeptForTheRun) {
  auto& store = OAGlobalStore::sharedGlobalStore();
  platform::Random::script({123456789u, 0xffffffffu});
  store.initRandomHitID();
  EXPECT_EQ(store.hitID(), "123456789");
  EXPECT_EQ(store.hitID(), "123456789");
  store.initRandomHitID();
  EXPECT_EQ(store.hitID(), "2147483647");
}

}  // namespace
}  // namespace analytics
