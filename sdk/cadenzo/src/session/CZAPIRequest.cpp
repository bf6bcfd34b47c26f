#include "CZAPIRequest.h"

#include <cstdint>

#include "CZIdentity.h"
#include "CZJsonParser.h"
#include "CZJsonWriter.h"
#include "CZReachability.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/locale.h"
#include "platform/log.h"
#include "platform/property_list.h"
#include "platform/screen.h"
#include "platform/system_info.h"

namespace cadenzo {
namespace {

using platform::Dictionary;
using platform::Passkey;
using platform::Value;

// The copy-on-append rule shared by body, query and headers.
void appendTo(std::optional<Dictionary>& target, const std::string& key, const std::optional<Value>& value) {
  if (!value) return;
  Dictionary d = target ? *target : Dictionary();
  d.set(key, *value);
  target = std::move(d);
}

std::optional<std::string> nonEmpty(std::string s) {
  if (s.empty()) return std::nullopt;
  return s;
}

std::optional<Value> asValue(const std::optional<std::string>& s) {
  if (!s) return std::nullopt;
  return Value(*s);
}

// Archive keys, in the order they are written.
constexpr const char* kController = "controller";
constexpr const char* kAction = "action";
constexpr const char* kParams = "params";
constexpr const char* kQuery = "query";
constexpr const char* kBody = "body";
constexpr const char* kEnsureDelivery = "ensureDelivery";

}  // namespace

CZAPIRequest::CZAPIRequest(Passkey<CZAPIRequest>, std::string controller, std::string action)
    : controller_(std::move(controller)), action_(std::move(action)) {}

std::shared_ptr<CZAPIRequest> CZAPIRequest::requestWithControllerAction(std::string controller,
                                                                        std::string action) {
  return std::make_shared<CZAPIRequest>(Passkey<CZAPIRequest>{}, std::move(controller), std::move(action));
}

void CZAPIRequest::setBody(std::optional<Dictionary> body) {
  body_ = std::move(body);
  if (body_) method_ = "POST";
}

void CZAPIRequest::appendBodyArgumentKeyValue(const std::string& key, const std::optional<Value>& value) {
  if (!value) return;
  std::optional<Dictionary> body = body_;
  appendTo(body, key, value);
  setBody(std::move(body));
}

void CZAPIRequest::appendQueryArgumentKeyValue(const std::string& key, const std::optional<Value>& value) {
  appendTo(query_, key, value);
}

void CZAPIRequest::appendHeaderKeyValue(const std::string& key, const std::optional<Value>& value) {
  appendTo(headers_, key, value);
}

void CZAPIRequest::appendDeviceInfoParams(const std::optional<std::string>& appId) {
  auto& device = platform::Device::currentDevice();
  auto& locale = platform::Locale::currentLocale();
  auto idiom = device.userInterfaceIdiom();

  appendBodyArgumentKeyValue("model", asValue(nonEmpty(device.model())));
  appendBodyArgumentKeyValue("os", asValue(nonEmpty(device.systemVersion())));
  appendBodyArgumentKeyValue("ui", Value(platform::format("%d", idiom ? static_cast<int>(*idiom) : 0)));
  appendBodyArgumentKeyValue("identity", Value(CZIdentity::hexIdentifier()));
  appendBodyArgumentKeyValue("tracking", Value(CZIdentity::advertisingTrackingEnabled()));
  appendBodyArgumentKeyValue("country", asValue(nonEmpty(locale.countryCode())));
  appendBodyArgumentKeyValue("language", asValue(nonEmpty(locale.languageCode())));
  auto bundleVersion = platform::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleVersion");
  if (bundleVersion.isString()) appendBodyArgumentKeyValue("bundle", bundleVersion);
  appendBodyArgumentKeyValue("sdk", Value(kSDKVersion));
  auto seconds = static_cast<unsigned long>(platform::Clock::current().now());
  appendBodyArgumentKeyValue("timestamp", Value(platform::format("%lu", seconds)));
  appendBodyArgumentKeyValue("device_type", asValue(platform::SystemInfo::stringProbe("hw.machine")));
  appendBodyArgumentKeyValue("retina", Value(platform::Screen::mainScreen().scale() > 1.0));
  long status = 0;
  if (auto reachability = CZReachability::reachabilityForInternetConnection())
    status = reachability->currentReachabilityStatus();
  appendBodyArgumentKeyValue("reachability", Value(status));
  appendBodyArgumentKeyValue("app", asValue(appId));
}

void CZAPIRequest::signWithAppIdAppSignature(const std::optional<std::string>& appId,
                                             const std::optional<std::string>& appSignature) {
  // A missing part prints as "(null)" (the %@ of an absent value); the service then
  // refuses the call rather than the client guessing.
  auto body = serializedBody();
  std::string text = platform::format("%@ %@\n%@\n%@", Value(method_), Value(uri()),
                                      appSignature ? Value(*appSignature) : Value(),
                                      body ? Value(*body) : Value());
  std::string digest = platform::crypto::sha1Hex(text);
  appendHeaderKeyValue("X-Cadenzo-App", asValue(appId));
  appendHeaderKeyValue("X-Cadenzo-Signature", Value(digest));
}

std::string CZAPIRequest::uri() const {
  std::string pairs;
  if (query_) {
    for (const auto& [key, value] : *query_) {
      std::string pair = platform::format("%@=%@", Value(key), value);
      pairs = pairs.empty() ? pair : platform::format("%@&%@", Value(pairs), Value(pair));
    }
  }
  return platform::format("/%@/%@%@", Value(controller_), Value(action_),
                          Value(pairs.empty() ? std::string() : "?" + pairs));
}

std::optional<std::string> CZAPIRequest::serializedBody() const {
  if (!body_) return std::nullopt;
  CZJsonWriter writer;
  return writer.stringWithObject(Value(*body_));
}

std::optional<platform::Bytes> CZAPIRequest::archivedData() const {
  Dictionary archive;
  archive.set(kController, Value(controller_));
  archive.set(kAction, Value(action_));
  if (!params_.isNull()) archive.set(kParams, params_);
  if (query_) archive.set(kQuery, Value(*query_));
  if (body_) {
    // The body is kept as the JSON text it is sent as: a property list has no null and no
    // exact decimal, and refuses some characters, so a queued event would otherwise be lost
    // or come back changed. Only a body the writer refuses stays a dictionary.
    if (auto text = serializedBody()) archive.set(kBody, Value(std::move(*text)));
    else archive.set(kBody, Value(*body_));
  }
  archive.set(kEnsureDelivery, Value(ensureDelivery_));
  platform::Error error;
  auto xml = platform::PropertyList::write(Value(std::move(archive)), &error);
  if (!xml) {
    platform::logf("CZAPIRequest: cannot archive %@: %@", Value(uri()), Value(error.localizedDescription()));
    return std::nullopt;
  }
  return platform::Bytes(xml->begin(), xml->end());
}

std::shared_ptr<CZAPIRequest> CZAPIRequest::requestWithArchivedData(const platform::Bytes& data) {
  auto archive = platform::PropertyList::read(data);
  if (!archive || !archive->isDictionary()) return nullptr;
  const Value& controller = (*archive)[kController];
  const Value& action = (*archive)[kAction];
  if (!controller.isString() || !action.isString()) return nullptr;
  auto request = requestWithControllerAction(controller.string(), action.string());
  request->setParams((*archive)[kParams]);
  if ((*archive)[kQuery].isDictionary()) request->setQuery((*archive)[kQuery].dictionary());
  const Value& body = (*archive)[kBody];
  if (body.isDictionary()) {
    request->setBody(body.dictionary());
  } else if (body.isString()) {
    auto parsed = JSONValue(body.string());
    if (!parsed || !parsed->isDictionary()) return nullptr;
    request->setBody(parsed->dictionary());
  }
  request->setEnsureDelivery((*archive)[kEnsureDelivery].boolValue());
  return request;
}

}  // namespace cadenzo
