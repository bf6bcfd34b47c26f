// The identity document and its BSON encoding, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CZBSONWriter.h"
#include "CZBSON.h"
#include "CZCrypto.h"
#include "CZIdentity.h"
#include "platform/advertising_identifier.h"
#include "platform/device.h"
#include "platform/log.h"
#include "platform/runtime.h"
#include "platform/system_info.h"
#include "testing/sandbox_test.h"

namespace cadenzo {
namespace {

using platform::Bytes;

// BSON built by hand from the published layout, independent of the writer.
struct Doc {
  Bytes body;
  static void put32(Bytes& to, size_t n) {
    for (int i = 0; i < 4; ++i) to.push_back(static_cast<uint8_t>(n >> (8 * i)));
  }
  Doc& element(uint8_t type, const std::string& key) {
    body.push_back(type);
    body.insert(body.end(), key.begin(), key.end());
    body.push_back(0);
    return *this;
  }
  Doc& null(const std::string& key) { return element(0x0A, key); }
  Doc& str(const std::string& key, const std::string& value) {
    put32(element(0x02, key).body, value.size() + 1);
    body.insert(body.end(), value.begin(), value.end());
    body.push_back(0);
    return *this;
  }
  Bytes bytes() const {
    Bytes out;
    put32(out, body.size() + 5);
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(0);
    return out;
  }
};

class CZIdentityTest : public ::testkit::SandboxTest {};

TEST_F(CZIdentityTest, AllIdentifiersFromThePlatform) {
  const std::string uuid(40, 'a');
  platform::Device::currentDevice().setUniqueIdentifier(uuid);
  platform::NetworkInterface en0;
  en0.name = "en0";
  en0.hardwareAddress = Bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  platform::SystemInfo::setNetworkInterfaces(std::vector<platform::NetworkInterface>{en0});
  platform::AdvertisingIdentifierManager::sharedManager().setAdvertisingIdentifierBytes(
      Bytes{0xde, 0xad, 0xbe, 0xef, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xfe, 0xff});
  // SHA-1 of 00:11:22:33:44:55, computed independently.
  const std::string macid = "81981e4d41e4f19f489a808b1e4a5b58b7dad4cf";
  const Bytes expected =
      Doc().str("uuid", uuid).str("macid", macid).str("ifa", "deadbeef00010203040506070809feff").bytes();
  EXPECT_EQ(CZIdentity::combinedIdentifier(), expected);
  EXPECT_EQ(CZIdentity::hexIdentifier(), *CZCrypto::hexRepresentationOfData(expected));
}

TEST_F(CZIdentityTest, MissingSourcesBecomeNull) {
  // No en0 at all, and one without a 6-byte address.
  platform::NetworkInterface eth0, en0;
  eth0.name = "eth0";
  eth0.hardwareAddress = Bytes{1, 2, 3, 4, 5, 6};
  en0.name = "en0";
  platform::SystemInfo::setNetworkInterfaces(std::vector<platform::NetworkInterface>{eth0});
  EXPECT_FALSE(CZIdentity::czma());
  EXPECT_FALSE(CZIdentity::czhhna());
  platform::SystemInfo::setNetworkInterfaces(std::vector<platform::NetworkInterface>{eth0, en0});
  EXPECT_FALSE(CZIdentity::czhhna());
  platform::Runtime::setAvailable("UIDevice.uniqueIdentifier", false);
  EXPECT_FALSE(CZIdentity::czui());
  platform::Device::currentDevice().setSystemVersion("5.1");
  platform::Runtime::setAvailable("ASIdentifierManager", false);
  platform::LogCapture log;
  EXPECT_FALSE(CZIdentity::czuia());
  EXPECT_TRUE(CZIdentity::advertisingTrackingEnabled());
  EXPECT_TRUE(log.lines().empty());
  // Three null elements, their bytes also spelled out once by hand.
  EXPECT_EQ(CZIdentity::combinedIdentifier(), Doc().null("uuid").null("macid").null("ifa").bytes());
  EXPECT_EQ(CZIdentity::hexIdentifier(), "17000000" "0a7575696400" "0a6d6163696400" "0a69666100" "00");
}

TEST_F(CZIdentityTest, TrackingAndTheMissingFrameworkWarning) {
  auto& manager = platform::AdvertisingIdentifierManager::sharedManager();
  manager.setAdvertisingTrackingEnabled(false);
  EXPECT_FALSE(CZIdentity::advertisingTrackingEnabled());
  platform::Runtime::setAvailable("ASIdentifierManager", false);
  platform::Device::currentDevice().setSystemVersion("6.0");
  CZIdentity::setSupportPageAddress("https://support.example/adsupport");
  platform::LogCapture log;
  EXPECT_TRUE(CZIdentity::advertisingTrackingEnabled());
  const std::vector<std::string> warning = {
      "==================================", "WARNING: It looks like you've forgotten to link to the AdSupport framework.",
      "More information here:", "https://support.example/adsupport", "=================================="};
  EXPECT_EQ(log.lines(), warning);
  // Versions compare as numbers, not text; "6" is 6.0.
  for (const char* version : {"10.2", "6"}) {
    log.clear();
    platform::Device::currentDevice().setSystemVersion(version);
    EXPECT_FALSE(CZIdentity::czuia());
    EXPECT_EQ(log.lines(), warning) << version;
  }
}

TEST(CZBSON, ValuesOfOtherKindsAndRefusedElementsAreLeftOut) {
  const platform::Dictionary dict{{"a", "x"},        {"n", platform::Value(5)},
                                  {"bad value", "\xC3("}, {"b", platform::Value()},
                                  {"bad\xFFkey", "y"},     {std::string("nul\0key", 7), "z"},
                                  {"c", platform::Array{}}, {"d", "\xE2\x82\xAC"}};
  EXPECT_EQ(CZBSON::BSONFromDictionary(dict),
            Doc().str("a", "x").null("b").str("d", "\xE2\x82\xAC").bytes());
  EXPECT_EQ(CZBSON::BSONFromDictionary({}), (Bytes{5, 0, 0, 0, 0}));
}

TEST(CZBSONWriter, FlagsFinishingAndGrowth) {
  CZBSONWriter writer;
  EXPECT_TRUE(writer.appendString("$set", "1"));
  EXPECT_TRUE(writer.appendNull("a.b"));
  EXPECT_EQ(writer.flags(), CZBSONWriter::kKeyStartsWithDollar | CZBSONWriter::kKeyContainsDot);
  EXPECT_FALSE(writer.appendString("k", "\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_TRUE(writer.flags() & CZBSONWriter::kInvalidUTF8);
  // A long value grows the 128-byte buffer.
  const std::string longValue(1000, 'v');
  EXPECT_TRUE(writer.appendString("long", longValue));
  EXPECT_GT(writer.size(), 1000);
  EXPECT_TRUE(writer.data().empty());  // not finished yet
  writer.finish();
  const Bytes expected = Doc().str("$set", "1").null("a.b").str("long", longValue).bytes();
  EXPECT_EQ(writer.data(), expected);
  writer.finish();
  EXPECT_EQ(writer.data(), expected);
  EXPECT_FALSE(writer.appendNull("late"));
  EXPECT_TRUE(writer.flags() & CZBSONWriter::kAlreadyFinished);
  EXPECT_EQ(writer.data(), expected);
}

TEST(CZBSONWriter, GrowthRule) {
  struct Case { int32_t size, position; int64_t need; std::optional<int32_t> grown; };
  const Case cases[] = {
      {128, 4, 124, 128},                        // fits exactly
      {128, 4, 125, 379},                        // 1.5 × 253 = 379.5, truncated
      {128, 100, 51, 268},                       // 1.5 × 179 = 268.5
      {1000000000, 999999999, 2, 1500000003},
      {1500000000, 1500000000, 10, 2147483647},  // 1.5 × 1500000010 overflows: the maximum
      {2147483000, 2147483000, 647, std::nullopt},  // size + need is the maximum itself
      {2147483647, 2147483647, 1, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CZBSONWriter::grownSize(c.size, c.position, c.need), c.grown)
        << c.size << " " << c.position << " " << c.need;
  }
}

TEST(CZCrypto, HexAndMissingData) {
  EXPECT_EQ(*CZCrypto::hexRepresentationOfData(Bytes{}), "");
  EXPECT_EQ(*CZCrypto::hexRepresentationOfData(Bytes{0x00, 0xff, 0x0f, 0xa5, 0x5a}), "00ff0fa55a");
  EXPECT_FALSE(CZCrypto::hexRepresentationOfData(std::nullopt));
  EXPECT_FALSE(CZCrypto::SHA1DataWithData(std::nullopt));  // digests themselves: the identity's "macid"
}

}  // namespace
}  // namespace cadenzo
