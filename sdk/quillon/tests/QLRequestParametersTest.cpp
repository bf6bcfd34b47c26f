// The parameter dictionary an ad request hands to the builder, and the location text it
// carries, read back by decrypting it the way the ad server does.
#include <gtest/gtest.h>

#include <cctype>

#include "QLTestPrinters.h"

#include "QLLocation.h"
#include "QLRequestPrivate.h"
#include "QLStatistics.h"
#include "platform/application.h"
#include "platform/base64.h"
#include "platform/bundle.h"
#include "platform/crypto.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/media.h"
#include "platform/sandbox.h"
#include "platform/screen.h"
#include "platform/user_defaults.h"
#include "quillon/QLRequestError.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Bytes;
using platform::Value;
using quillon::QLRequestPrivate;

class QLRequestParametersTest : public testkit::SandboxTest {};

// The plain text inside a "p1+" location, checked for its padding; "" when it does not decrypt.
std::string decryptPoint(const std::string& qloc, Bytes* iv) {
  if (qloc.rfind("p1+", 0) != 0) return "";
  auto bytes = platform::base64Decode(qloc.substr(3), platform::Base64Alphabet::UrlSafe);
  if (!bytes || bytes->size() < 32 || bytes->size() % 16 != 0) return "";
  iv->assign(bytes->begin(), bytes->begin() + 16);
  Bytes cipher(bytes->begin() + 16, bytes->end());
  auto plain = platform::crypto::aes128CbcDecrypt(quillon::QLLocation::encryptionKey(), *iv, cipher, false);
  if (!plain) return "";
  size_t pad = plain->back();
  EXPECT_TRUE(pad >= 1 && pad <= 16);
  for (size_t i = plain->size() - pad; i < plain->size(); ++i) EXPECT_EQ((*plain)[i], pad);
  return std::string(plain->begin(), plain->end() - static_cast<long>(pad));
}

Bytes littleEndianWords(std::initializer_list<uint32_t> words) {
  Bytes out;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
  return out;
}

TEST_F(QLRequestParametersTest, PointLocationsDecryptToTheirText) {
  clock().advance(0.25);  // the manual clock starts at 1.8e9 s
  const std::string prefix = "kind: 6 source: 24 past_kind: 1 past_source: 12 timestamp: 1800000000250000 point ";
  struct Case {
    double latitude, longitude, accuracy;
    std::string point;
  } cases[] = {
      {52.5, 13.25, 65.5, "<lat_e7: 525000000 lon_e7: 132500000> radius: 65500"},
      {-33.75, -70.5, 10, "<lat_e7: -337500000 lon_e7: -705000000> radius: 10000"},
      // Three thousand kilometres of uncertainty no longer fit a 32-bit millimetre count.
      {1.5, 179.5, 3e6, "<lat_e7: 15000000 lon_e7: 1795000000> radius: 2147483647"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.point);
    auto request = QLRequestPrivate::create();
    request->setLocationWithLatitudeLongitudeAccuracy(c.latitude, c.longitude, c.accuracy);
    Value qloc = request->parameters().get("qloc");
    ASSERT_TRUE(qloc.isString());
    EXPECT_EQ(qloc.string().find_first_of("+/=", 3), std::string::npos);  // URL-safe, unpadded
    Bytes iv;
    EXPECT_EQ(decryptPoint(qloc.string(), &iv), prefix + c.point);
    // 1800000000 s times 1, 2, 3, 4; all but the first past the signed 32-bit range.
    EXPECT_EQ(iv, littleEndianWords({1800000000u, 2147483647u, 2147483647u, 2147483647u}));
  }
}

TEST_F(QLRequestParametersTest, DescribedLocationsAndPointsThatAreNone) {
  auto described = QLRequestPrivate::create();
  described->setLocationWithDescription("Main St \"North\"");
  std::string qloc = described->parameters().get("qloc").string();
  ASSERT_EQ(qloc.rfind("d+", 0), 0u);
  auto text = platform::base64Decode(qloc.substr(2), platform::Base64Alphabet::UrlSafe);
  ASSERT_TRUE(text);
  EXPECT_EQ(std::string(text->begin(), text->end()),
            "kind: 6 source: 24 past_kind: 1 past_source: 12 timestamp: 1800000000000000 loc: \"Main St 'North'\"");

  for (auto [lat, lon] : {std::pair{0.0, 10.0}, {10.0, 0.0}, {91.0, 10.0}, {10.0, 181.0}}) {
    auto request = QLRequestPrivate::create();
    request->setLocationWithLatitudeLongitudeAccuracy(lat, lon, 5);
    EXPECT_FALSE(request->location());
    EXPECT_FALSE(request->parameters().contains("qloc")) << lat << "," << lon;
  }
}

TEST_F(QLRequestParametersTest, EveryFactGoesWithItsKind) {
  platform::Screen::mainScreen().setScale(2.0);
  auto request = QLRequestPrivate::create();
  request->setGender(quillon::kQLGenderFemale);
  request->setBirthdayWithMonthDayYear(7, 4, 1990);
  request->addKeyword("");
  EXPECT_FALSE(request->keywords());
  request->addKeyword("birds");
  request->setAdditionalParameters(platform::Dictionary{{"q", Value("rocket")}});
  request->setCounter(7);
  auto p = request->parameters();

  struct Expect {
    const char* key;
    Value value;
  } expected[] = {
      {"js", Value("quillon-sdk-i-v4.1.1")},
      {"cust_gender", Value("f")},
      {"cust_age", Value("19900704")},
      {"kw", Value(platform::Array{Value("birds")})},
      {"extras", Value(platform::Dictionary{{"q", Value("rocket")}})},
      {"u_sd", Value("2")},
      {"u_w", Value("320")},
      {"u_h", Value("480")},  // 460 of application frame and the 20 of the shown status bar
      {"u_so", Value("p")},
      {"preqs", Value(7)},
  };
  for (const auto& e : expected) EXPECT_EQ(p.get(e.key), e.value) << e.key;
  EXPECT_TRUE(p.get("session_id").isNumber());
  EXPECT_TRUE(p.get("ios_metadata").isDictionary());
  EXPECT_EQ(p.get("isu").string().size(), 32u);
  for (const char* absent : {"qloc", "testing", "adtest"}) EXPECT_FALSE(p.contains(absent)) << absent;
}

TEST_F(QLRequestParametersTest, AnErrorReportLeavesTheStatisticsToTheNextRequest) {
  auto statistics = quillon::QLStatistics::sharedStatistics();
  statistics->urlForClick(*platform::URL::create("http://ads.example/c?ai=1"));
  auto request = QLRequestPrivate::create();

  auto error = quillon::QLRequestError::errorWithCodeRequest(quillon::kQLErrorInvalidRequest, request.get());
  EXPECT_EQ(error.domain, "com.quillon.ads");
  EXPECT_EQ(error.userInfo.dictionary().get("pcc"), Value(1));
  EXPECT_EQ(error.localizedDescription(),
            "Request Error: Invalid ad request parameter(s).  Check the Xcode console for details.");

  EXPECT_EQ(request->parameters().get("pcc"), Value(1));
  EXPECT_FALSE(request->parameters().contains("pcc"));
}

}  // namespace

namespace {

TEST_F(QLRequestParametersTest, ACopyIsTheSameRequestWithoutItsCount) {
  auto request = QLRequestPrivate::create();
  request->setGender(quillon::kQLGenderMale);
  request->addKeyword("a");
  request->setLocationWithDescription("Paris");
  request->setInterstitialAd(true);
  request->setCounter(9);
  auto copy = std::dynamic_pointer_cast<QLRequestPrivate>(request->copy());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->counter(), 0);
  EXPECT_EQ(copy->gender(), quillon::kQLGenderMale);
  EXPECT_EQ(copy->keywords(), request->keywords());
  EXPECT_TRUE(copy->isInterstitialAd());
  ASSERT_TRUE(copy->location());
  EXPECT_TRUE(copy->location()->isEqual(*request->location()));

  std::string text = copy->description();
  EXPECT_EQ(text.rfind("QLRequest<", 0), 0u);
  EXPECT_NE(text.find(">: \ngender:Male\nlocation:Paris\nkeywords:"), std::string::npos) << text;
  copy->setGender(7);  // neither male nor female: no gender at all
  EXPECT_EQ(copy->description().find("gender"), std::string::npos);
  EXPECT_FALSE(copy->parameters().contains("cust_gender"));
}

}  // namespace

namespace {

TEST_F(QLRequestParametersTest, DeviceFactsAsTheServerReadsThem) {
  auto& device = platform::Device::currentDevice();
  device.setModel("iPad");
  device.setUserInterfaceIdiom(platform::UserInterfaceIdiom::Phone);  // a phone application on a pad
  device.setUniqueIdentifier("device-42");
  platform::Bundle::mainBundle().setInfoValue("CFBundleVersion", Value("2.1"));
  platform::Bundle::mainBundle().setInfoValue("CFBundleIdentifier", Value("com.example.game"));
  platform::UserDefaults::standardUserDefaults().setObjectForKey(
      Value(platform::Array{Value("DE-de"), Value("en")}), "AppleLanguages");
  platform::FileManager::writeAtomically(
      platform::Sandbox::home() + "/iTunesMetadata.plist",
      std::string_view("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>itemName</key>"
                       "<string>Zavrellion</string></dict></plist>"));
  auto& app = platform::Application::sharedApplication();
  app.registerOpenableScheme("kindle");

  auto p = QLRequestPrivate::create()->parameters();
  std::string isu = platform::crypto::md5Hex(std::string_view("device-42"));
  for (char& c : isu) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(p.get("isu"), Value(isu));
  EXPECT_EQ(p.get("ios_ipadc"), Value("1"));
  EXPECT_EQ(p.get("platform"), Value("iPad"));
  EXPECT_EQ(p.get("app_name"), Value("2.1.iphone.com.example.game"));
  EXPECT_EQ(p.get("hl"), Value("de-de"));
  EXPECT_EQ(p.get("ios_metadata"), Value(platform::Dictionary{{"itemName", Value("Zavrellion")}}));
  EXPECT_EQ(p.get("cap_bs"), Value(2));
  app.registerOpenableScheme("itms-books");
  EXPECT_EQ(QLRequestPrivate::create()->parameters().get("cap_bs"), Value(3));

  struct Route {
    std::optional<std::string> name;
    const char* code;
  } routes[] = {{"Speaker", "1"}, {std::nullopt, "1"}, {"Headphone", "2"}, {"Headset", "2"}, {"", "3"},
                {"HeadsetInOut", "5"}};
  for (const auto& r : routes) {
    platform::AudioSession::sharedInstance().setAudioRoute(r.name);
    EXPECT_EQ(QLRequestPrivate::create()->parameters().get("u_audio"), Value(r.code)) << r.name.value_or("none");
  }
}

}  // namespace
