// Request bodies byte for byte, from a fully filled request and fixed facts, for each request
// type, and the optional keys that appear only with their fact.
#include <gtest/gtest.h>

#include "NBHttpRequestBuilder.h"
#include "NBRequestFixtures.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBHttpRequestBuilder;

class NBRequestBodyTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    info = nubiratest::filledUserInfo();
    request = nubiratest::filledAdRequest();
  }
  std::string body(int type, const nubira::NBAdRequest* r) {
    return NBHttpRequestBuilder::adRequestPostBodyUsingAdRequestForRequestType(info.get(), r, type);
  }
  std::shared_ptr<nubira::NBUserInfo> info;
  std::shared_ptr<nubira::NBAdRequest> request;
};

TEST_F(NBRequestBodyTest, EveryRequestTypeByteForByte) {
  const std::string app = nubiratest::kApplicationPart;
  struct Case {
    int type;
    std::string expected;
  };
  const Case cases[] = {
      {0, std::string(nubiratest::kTargetingPart) + "&" + nubiratest::kDevicePart + "&" + app + "adrequest"},
      {1, nubiratest::kDevicePart},
      {2, app + "adclick"},
      {7, app},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(body(c.type, request.get()), c.expected);
  }
}

TEST_F(NBRequestBodyTest, OptionalKeysOnlyWithTheirFact) {
  // Nothing targeted: the body starts with the device part.
  EXPECT_EQ(body(0, nullptr).rfind("u-id=dev%2D1&d-localization=en_US&d-nettype=wifi&", 0), 0u);
  auto empty = nubira::NBAdRequest::request();
  EXPECT_EQ(body(0, empty.get()).rfind("u-id=", 0), 0u);
  EXPECT_EQ(NBHttpRequestBuilder::getSDKDelegatePostBodyString(nullptr), std::nullopt);

  struct Case {
    const char* name;
    std::function<void(nubira::NBAdRequest&)> set;
    std::string targeting;
  };
  const Case cases[] = {
      {"male", [](auto& r) { r.setGender(1); }, "u-gender=M"},
      {"other gender", [](auto& r) { r.setGender(-4); }, "u-gender=F"},
      {"blank postal code", [](auto& r) { r.setPostalCode(" \t"); }, ""},
      {"negative education", [](auto& r) { r.setEducation(-2); }, "u-education=-2"},
      {"age", [](auto& r) { r.setAge(7); }, "u-age=7"},
      {"params in order",
       [](auto& r) {
         r.setParamsDictionary(platform::Dictionary{{"z", "1"}, {"a b", "x&y"}, {"e", ""}});
       },
       "z=1&a%20b=x%26y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = nubira::NBAdRequest::request();
    c.set(*r);
    EXPECT_EQ(NBHttpRequestBuilder::getSDKDelegatePostBodyString(r.get()), c.targeting);
  }

  // No site id, no reference pair, no fix, cellular, one device fact missing.
  info->setAppId(std::nullopt);
  info->setHRefKey(std::nullopt);
  info->setLocationInquiryAllowed(false);
  info->setOnWifi(false);
  info->setDeviceStorageSize(std::nullopt);
  std::string device = NBHttpRequestBuilder::getDevicePostBodyString(*info);
  EXPECT_NE(device.find("&d-nettype=carrier&"), std::string::npos);
  EXPECT_EQ(device.find("d-devicestoragesize"), std::string::npos);
  std::string app = NBHttpRequestBuilder::getApplicationPostBodyStringForRequestType(*info, 0);
  EXPECT_EQ(app.rfind("&nb-ad-slot=15&", 0), 0u);
  EXPECT_EQ(app.find("u-lat_lon_accu"), std::string::npos);
  EXPECT_EQ(app.find("ref="), std::string::npos);
  info->setIsInterstitial(true);
  EXPECT_EQ(NBHttpRequestBuilder::getApplicationPostBodyStringForRequestType(*info, 0).rfind("&adtype=int&nb-ad-slot=", 0),
            0u);

  // Facts that are missing leave their keys out; they do not stop the build.
  info->setLocalization(std::nullopt);
  info->setUserAgent(std::nullopt);
  std::string full = body(0, nullptr);
  EXPECT_EQ(full.find("d-localization"), std::string::npos);
  EXPECT_EQ(full.find("h-user-agent"), std::string::npos);
  EXPECT_NE(full.find("&u-nubira_iossdkversion=3.0.2&"), std::string::npos);

  auto bad = nubira::NBAdRequest::request();
  bad->setParamsDictionary(platform::Dictionary{{"n", 5}});
  EXPECT_THROW(body(0, bad.get()), nubira::NBBodyBuildError);
  EXPECT_THROW(NBHttpRequestBuilder::adRequestPostBodyUsingAdRequestForRequestType(nullptr, nullptr, 1),
               nubira::NBBodyBuildError);
}

TEST_F(NBRequestBodyTest, EscapingKeepsOnlyLettersDigitsDotAndUnderscore) {
  EXPECT_EQ(NBHttpRequestBuilder::getURLEncoded(std::string("aZ09._-~ !*'();:@&=+$,/?\"%#<>|^`{}\\[]")),
            "aZ09._%2D%7E%20%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%22%25%23%3C%3E%7C%5E%60%7B%7D%5C%5B%5D");
}

}  // namespace
