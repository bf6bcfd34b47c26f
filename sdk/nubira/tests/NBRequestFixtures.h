#pragma once
// A fully filled request and user facts with fixed values, and the parts of the body they
// give, written out by hand.
#include <memory>

#include "nubira/NBAdRequest.h"
#include "nubira/NBUserInfo.h"
#include "platform/device.h"

namespace nubiratest {

inline constexpr const char* kTargetingPart =
    "u-postalcode=%208001%20&u-dateOfbirth=1990%2D05%2D17&u-gender=F&p-keywords=birds%2Crockets&p-type=fl%C3%BC"
    "&u-income=50000&u-education=3&u-age=31&u-interests=games%20%26%20apps&campaign=spring%2F2026";

inline constexpr const char* kDevicePart =
    "u-id=dev%2D1&d-localization=en_US&d-nettype=wifi&d-devicemodel=iPhone&d-devicesystemname=iPhone%20OS"
    "&d-devicesystemversion=6.1&d-devicemachinehw=iPhone3%2C1&d-devicemodelcodenohw=N90AP"
    "&d-devicecpufqhw=1000000000&d-deviceramhw=536870912&d-devicecputhw=12&d-devicecpusthw=9"
    "&d-devicebthws=2026%2D12%2D01%2010%3A00%3A00%20%2B0000&d-devicestoragesize=14.88%20GB"
    "&d-device-screen-size=320X480";

// Ends in "requestactivity=": the activity of the request type follows.
inline constexpr const char* kApplicationPart =
    "nb-siteid=site%2D42&nb-ad-slot=15&nb-version=nb%2DPROTO%2DALPHA%2D20101223&nb-ads=1"
    "&h-user-agent=nubira_iossdk%3D3.0.2%20%28iPhone%3B%20iPhone%20OS%206.1%3B%20HW%20iPhone3%2C1%29"
    "&u-nubira_iossdkversion=3.0.2&u-appbid=com.quendarosk.Zavrellion&u-appdnm=Zavrellion%20Game&u-appver=1A"
    "&ref=abc%7E1&d-orientation=3&format=xhtml&u-lat_lon_accu=%2D33.868800%2C151.209300%2C0&requestactivity=";

inline std::shared_ptr<nubira::NBAdRequest> filledAdRequest() {
  auto r = nubira::NBAdRequest::request();
  r->setPostalCode(" 8001 ");
  r->setAreaCode("  \n");
  r->setDateOfBirth("1990-05-17");
  r->setGender(2);
  r->setKeywords("birds,rockets");
  r->setSearchString("fl\xC3\xBC");
  r->setIncome(50000);
  r->setEducation(3);
  r->setEthnicity(0);
  r->setAge(31);
  r->setInterests("games & apps");
  r->setParamsDictionary(platform::Dictionary{{"campaign", "spring/2026"}, {"", "x"}, {"blank", " "}});
  return r;
}

inline std::shared_ptr<nubira::NBUserInfo> filledUserInfo() {
  platform::Device::currentDevice().setUniqueIdentifier("dev-1");
  platform::Device::currentDevice().setOrientation(platform::DeviceOrientation::LandscapeLeft);
  auto info = nubira::NBUserInfo::create();
  info->setUseHashedUDID(false);
  info->setLocalization("en_US");
  info->setOnWifi(true);
  info->setDeviceModel("iPhone");
  info->setDeviceSystemName("iPhone OS");
  info->setDeviceSystemVersion("6.1");
  info->setDeviceMachineHW("iPhone3,1");
  info->setDeviceModelHW("N90AP");
  info->setDeviceCpuFqHW("1000000000");
  info->setDeviceCpuFqMaxHW(std::nullopt);
  info->setDeviceRAMHW("536870912");
  info->setDeviceCpuTypeHW("12");
  info->setDeviceCpuSubTypeHW("9");
  info->setDeviceBTHW("2026-12-01 10:00:00 +0000");
  info->setDeviceStorageSize("14.88 GB");
  info->setAppId("site-42");
  info->setAdUnitSlot(15);
  info->setUserAgent("nubira_iossdk=3.0.2 (iPhone; iPhone OS 6.1; HW iPhone3,1)");
  info->setAppBId("com.quendarosk.Zavrellion");
  info->setAppDisplayName("Zavrellion Game");
  info->setAppVer("1A");
  info->setHRefKey("ref");
  info->setHRefTag("abc~1");
  info->setPhoneUserAgent("Mozilla/5.0 (test)");
  info->setLat(-33.8688);
  info->setLon(151.2093);
  info->setValidGeoInfo(true);
  return info;
}

}  // namespace nubiratest
