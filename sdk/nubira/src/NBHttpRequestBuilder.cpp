#include "NBHttpRequestBuilder.h"

#include <cmath>
#include <cstdio>

#include "NBSDKUtil.h"
#include "NBUtilities.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBUserInfo.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/screen.h"
#include "platform/url.h"

namespace nubira {

namespace {

constexpr const char* kProtocolVersion = "nb-PROTO-ALPHA-20101223";

// Appends `key` and the escaped value when there is a value.
void appendEscaped(std::string& out, const char* key, const std::optional<std::string>& value) {
  if (!value) return;
  out += key;
  out += NBHttpRequestBuilder::getURLEncoded(*value);
}

void appendIfNotEmpty(std::string& out, const char* key, const std::optional<std::string>& value) {
  if (NBStringUtil::isEmpty(value ? &*value : nullptr)) return;
  appendEscaped(out, key, value);
}

void appendNumber(std::string& out, const char* key, long long value) {
  if (value == 0) return;
  out += key;
  out += platform::format("%li", value);
}

}  // namespace

std::string NBHttpRequestBuilder::getURLEncoded(const std::string& text) {
  // The legacy escaping keeps letters, digits and "-._~" plus the reserved characters;
  // these go too, so that only letters, digits, "." and "_" are left.
  return platform::addingPercentEscapes(text, "!*'();:@&=+-$,/?#[]~");
}

std::optional<std::string> NBHttpRequestBuilder::getURLEncoded(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return getURLEncoded(*text);
}

std::optional<std::string> NBHttpRequestBuilder::decodedURLString(const std::string& text) {
  return platform::replacingPercentEscapes(text);
}

std::optional<std::string> NBHttpRequestBuilder::getSDKDelegatePostBodyString(const NBAdRequest* request) {
  if (!request) return std::nullopt;
  std::string out;
  appendIfNotEmpty(out, "&u-postalcode=", request->postalCode());
  appendIfNotEmpty(out, "&u-areacode=", request->areaCode());
  appendIfNotEmpty(out, "&u-dateOfbirth=", request->dateOfBirth());
  if (request->gender() != 0) out += request->gender() == 1 ? "&u-gender=M" : "&u-gender=F";
  appendIfNotEmpty(out, "&p-keywords=", request->keywords());
  appendIfNotEmpty(out, "&p-type=", request->searchString());
  appendNumber(out, "&u-income=", request->income());
  appendNumber(out, "&u-education=", request->education());
  appendNumber(out, "&u-ethnicity=", request->ethnicity());
  appendNumber(out, "&u-age=", request->age());
  appendIfNotEmpty(out, "&u-interests=", request->interests());
  if (const auto& params = request->paramsDictionary()) {
    for (const auto& [key, value] : *params) {
      if (!value.isString()) throw NBBodyBuildError("the extra parameter " + key + " is not a string");
      if (NBStringUtil::isEmpty(key) || NBStringUtil::isEmpty(value.string())) continue;
      out += platform::format("&%@=%@", getURLEncoded(key.str()), getURLEncoded(value.string().str()));
    }
  }
  if (out.size() > 2 && out[0] == '&') out.erase(0, 1);
  return out;
}

std::string NBHttpRequestBuilder::getDevicePostBodyString(const NBUserInfo& info) {
  std::string out;
  if (auto id = info.deviceId()) out += "u-id=" + getURLEncoded(*id);
  appendEscaped(out, "&d-localization=", info.localization());
  out += info.onWifi() ? "&d-nettype=wifi" : "&d-nettype=carrier";
  appendEscaped(out, "&d-devicemodel=", info.deviceModel());
  appendEscaped(out, "&d-devicesystemname=", info.deviceSystemName());
  appendEscaped(out, "&d-devicesystemversion=", info.deviceSystemVersion());
  appendEscaped(out, "&d-devicemachinehw=", info.deviceMachineHW());
  appendEscaped(out, "&d-devicemodelcodenohw=", info.deviceModelHW());
  appendEscaped(out, "&d-devicecpufqhw=", info.deviceCpuFqHW());
  appendEscaped(out, "&d-devicecpufqmaxhw=", info.deviceCpuFqMaxHW());
  appendEscaped(out, "&d-deviceramhw=", info.deviceRAMHW());
  appendEscaped(out, "&d-devicecputhw=", info.deviceCpuTypeHW());
  appendEscaped(out, "&d-devicecpusthw=", info.deviceCpuSubTypeHW());
  appendEscaped(out, "&d-devicebthws=", info.deviceBTHW());
  appendEscaped(out, "&d-devicestoragesize=", info.deviceStorageSize());
  auto size = platform::Screen::mainScreen().bounds().size;
  out += platform::format("&d-device-screen-size=%.0fX%.0f", size.width, size.height);
  return out;
}

std::string NBHttpRequestBuilder::getApplicationPostBodyStringForRequestType(const NBUserInfo& info, int type) {
  std::string out;
  if (auto appId = info.appId()) out += "nb-siteid=" + getURLEncoded(*appId);
  if (info.isInterstitial()) out += "&adtype=int";
  out += platform::format("&nb-ad-slot=%d", info.adUnitSlot());
  out += "&nb-version=" + getURLEncoded(std::string(kProtocolVersion));
  out += "&nb-ads=1";
  appendEscaped(out, "&h-user-agent=", info.userAgent());
  out += "&u-nubira_iossdkversion=" + getURLEncoded(std::string(NBSDKUtil::kSDKVersion));
  appendEscaped(out, "&u-appbid=", info.appBId());
  appendEscaped(out, "&u-appdnm=", info.appDisplayName());
  appendEscaped(out, "&u-appver=", info.appVer());
  auto key = info.hRefKey();
  auto tag = info.hRefTag();
  if (!NBStringUtil::isEmpty(key ? &*key : nullptr) && !NBStringUtil::isEmpty(tag ? &*tag : nullptr)) {
    out += platform::format("&%@=%@", getURLEncoded(*key), getURLEncoded(*tag));
  }
  out += platform::format("&d-orientation=%d", static_cast<int>(platform::Device::currentDevice().orientation()));
  out += "&format=xhtml";
  if (info.validGeoInfo()) out += "&u-lat_lon_accu=" + getURLEncoded(currentLocationStr(info));
  const char* activity = type == NBRequestTypeAd                 ? "adrequest"
                         : type == NBRequestTypeDeviceInfoUpload ? "deviceinfoupload"
                         : type == NBRequestTypeAdClick          ? "adclick"
                                                                 : "";
  out += platform::format("&requestactivity=%@", activity);
  return out;
}

std::string NBHttpRequestBuilder::currentLocationStr(const NBUserInfo& info) {
  if (!info.validGeoInfo()) return "";
  return platform::format("%f,%f,%li", info.lat(), info.lon(), static_cast<long>(std::trunc(info.locAccuracy())));
}

std::string NBHttpRequestBuilder::adRequestPostBodyUsingAdRequestForRequestType(const NBUserInfo* info,
                                                                                const NBAdRequest* request,
                                                                                int type) {
  if (!info) throw NBBodyBuildError("there are no user facts");
  if (type == NBRequestTypeDeviceInfoUpload) return getDevicePostBodyString(*info);
  if (type != NBRequestTypeAd) return getApplicationPostBodyStringForRequestType(*info, type);
  auto targeting = getSDKDelegatePostBodyString(request);
  std::string body = getDevicePostBodyString(*info) + "&" + getApplicationPostBodyStringForRequestType(*info, type);
  if (targeting && !targeting->empty()) body = *targeting + "&" + body;
  std::fputs("Nubira ad request post body start:\n", stdout);
  std::fputs(body.c_str(), stdout);
  std::fputs("\nNubira ad request post body end:\n", stdout);
  return body;
}

}  // namespace nubira
