#include "HVUtil.h"

#include <gtest/gtest.h>

#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::AffineTransform;
using platform::DeviceOrientation;

class HVUtilTest : public testkit::SandboxTest {};

TEST_F(HVUtilTest, OtherApplicationsTakeTheStoreMapsMailAndNewerTelephoneLinks) {
  struct Case {
    const char* url;
    const char* systemVersion;
    bool external;
  };
  const Case cases[] = {
      {"http://apps.store.example/app/id42", "3.0", true},
      {"https://MEDIA.Store.example/album", "6.1", true},
      {"http://maps.example/?q=harbour", "6.1", true},
      {"http://www.halvern.example/landing", "6.1", false},
      {"tel:5550100", "4.2.1", true},
      {"tel:5550100", "4.10", true},
      {"tel:5550100", "4.2", false},
      {"mailto:ads@halvern.example", "3.0", true},
      {"sms:5550100", "6.1", false},
  };
  for (const auto& c : cases) {
    platform::Device::currentDevice().setSystemVersion(c.systemVersion);
    auto url = platform::URL::create(c.url);
    ASSERT_TRUE(url) << c.url;
    EXPECT_EQ(HVUtil::URLWillLoadExternalApp(*url), c.external) << c.url << " on " << c.systemVersion;
  }
}

TEST_F(HVUtilTest, OrientationsTurnTheInterfaceOnlyForTheThreeUprightTurns) {
  const std::pair<DeviceOrientation, AffineTransform> cases[] = {
      {DeviceOrientation::Unknown, AffineTransform{}},
      {DeviceOrientation::PortraitUpsideDown, AffineTransform{-1, 0, 0, -1, 0, 0}},
      {DeviceOrientation::LandscapeLeft, AffineTransform{0, 1, -1, 0, 0, 0}},
      {DeviceOrientation::LandscapeRight, AffineTransform{0, -1, 1, 0, 0, 0}},
      {DeviceOrientation::FaceDown, AffineTransform{}},
  };
  for (const auto& [orientation, expected] : cases)
    EXPECT_EQ(HVUtil::transformForOrientation(orientation), expected) << static_cast<int>(orientation);
}

TEST_F(HVUtilTest, DelimitedTextUsesTheFirstRightDelimiterOfTheWholeText) {
  struct Case {
    const char* text;
    const char* left;
    const char* right;
    size_t start;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"[a]", "[", "]", 0, "a"},
      {"<<key>>", "<<", ">>", 0, "key"},
      {"a[b]c[d]", "[", "]", 0, "b"},
      // The second pair is never reached: the first "]" stands before the "[" found.
      {"a[b]c[d]", "[", "]", 3, std::nullopt},
      {"]a[", "[", "]", 0, std::nullopt},
      {"[]", "[", "]", 0, std::nullopt},
      {"[a", "[", "]", 0, std::nullopt},
      {"[a]", "", "]", 0, std::nullopt},
      {"[a]", "[", "]", 4, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HVUtil::delimitedStringFromStringLeftDelimiterRightDelimiterStart(c.text, c.left, c.right, c.start),
              c.expected)
        << c.text << " from " << c.start;
  }
  EXPECT_EQ(HVUtil::delimitedStringFromStringLeftDelimiterRightDelimiter("(x)", "(", ")"), "x");
}

TEST_F(HVUtilTest, ReplacementTouchesOnlyTheFirstPairInOrder) {
  const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
      {"X", "[", "]", "a[b]c[d]", "a[X]c[d]"},
      {"", "<", ">", "<abc>", "<>"},
      {"X", "[", "]", "a]b[c", "a]b[c"},
      {"X", "{", "}", "none", "none"},
  };
  for (const auto& [replacement, left, right, target, expected] : cases)
    EXPECT_EQ(HVUtil::replaceStringLeftDelimiterRightDelimiterIntoString(replacement, left, right, target), expected)
        << target;
}

}  // namespace
}  // namespace halvern
