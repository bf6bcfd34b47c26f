// What the bridge reads for a page: the network it is on, the screen turned with the device,
// and whole numbers from a command's parameters.
#include <gtest/gtest.h>

#include <climits>

#include "NBJSBridge.h"
#include "NBReachabilityPrivate.h"
#include "platform/reachability.h"
#include "platform/screen.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBJSBridge;
using platform::Reachability;

class NBJSBridgeValuesTest : public testkit::SandboxTest {};

TEST_F(NBJSBridgeValuesTest, NetworkScreenAndNumbersAsThePageSeesThem) {
  auto bridge = NBJSBridge::create();
  bridge->setReachability(nubira::NBReachabilityPrivate::reachabilityForInternetConnection());
  struct Network {
    uint32_t flags;
    const char* status;
  };
  for (const auto& n : {Network{Reachability::kReachable, "wifi"},
                        Network{Reachability::kReachable | Reachability::kIsWWAN, "cell"}, Network{0, "offline"}}) {
    Reachability::setFlags(n.flags);
    EXPECT_EQ(bridge->networkStatus(), n.status) << n.flags;
  }

  const auto portrait = platform::Screen::mainScreen().bounds().size;
  ASSERT_NE(portrait.width, portrait.height);
  for (int orientation : {1, 2, 3, 4}) {
    const auto size = NBJSBridge::screenSizeForOrientation(orientation);
    const bool landscape = orientation >= 3;
    EXPECT_EQ(size.width, landscape ? portrait.height : portrait.width) << orientation;
    EXPECT_EQ(size.height, landscape ? portrait.width : portrait.height) << orientation;
  }

  const NBJSBridge::Parameters parameters = platform::Dictionary{{"n", platform::Value("42")},
                                                                  {"big", platform::Value("99999999999")},
                                                                  {"small", platform::Value("-99999999999")},
                                                                  {"word", platform::Value("abc")}};
  EXPECT_EQ(NBJSBridge::intFromDictionaryForKey(parameters, "n"), 42);
  EXPECT_EQ(NBJSBridge::intFromDictionaryForKey(parameters, "big"), INT32_MAX);
  EXPECT_EQ(NBJSBridge::intFromDictionaryForKey(parameters, "small"), INT32_MIN);
  EXPECT_EQ(NBJSBridge::intFromDictionaryForKey(parameters, "word"), 0);
  EXPECT_EQ(NBJSBridge::intFromDictionaryForKey(parameters, "missing"), -1);
  EXPECT_EQ(NBJSBridge::intFromDictionaryForKey(std::nullopt, "n"), -1);
}

}  // namespace
