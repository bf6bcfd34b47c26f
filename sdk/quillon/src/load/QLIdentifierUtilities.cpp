#include "QLIdentifierUtilities.h"

#include <cstdlib>

#include "QLNumberUtilities.h"
#include "platform/application.h"
#include "platform/bundle.h"
#include "platform/crypto.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/format.h"
#include "platform/media.h"
#include "platform/property_list.h"
#include "platform/sandbox.h"
#include "platform/screen.h"
#include "platform/singleton.h"
#include "platform/system_info.h"
#include "platform/text_helpers.h"
#include "platform/user_defaults.h"

namespace quillon {

using platform::Dictionary;
using platform::Value;

namespace {
platform::ResettableSingleton<QLIdentifierUtilities> gShared;

std::string upperHex(const platform::Bytes& bytes) {
  std::string out;
  for (uint8_t b : bytes) out += platform::format("%02X", b);
  return out;
}
}  // namespace

std::shared_ptr<QLIdentifierUtilities> QLIdentifierUtilities::sharedInstance() {
  return gShared.get([] { return std::make_shared<QLIdentifierUtilities>(Passkey{}); });
}

QLIdentifierUtilities::QLIdentifierUtilities(Passkey) {
  auto idiom = platform::Device::currentDevice().userInterfaceIdiom();
  isPhoneIdiom_ = !idiom || *idiom == platform::UserInterfaceIdiom::Phone;
}

Dictionary QLIdentifierUtilities::canOpenURLs(const std::vector<std::string>& urls) {
  Dictionary answers;
  auto& app = platform::Application::sharedApplication();
  for (const auto& url : urls) answers.set(url, Value(app.canOpenURL(url)));
  return answers;
}

void QLIdentifierUtilities::getOSMajorMinorBugFix(int* major, int* minor, int* bugFix) {
  std::string version = platform::Device::currentDevice().systemVersion();
  int parts[3] = {0, 0, 0};
  size_t start = 0;
  for (int i = 0; i < 3 && start <= version.size(); ++i) {
    size_t dot = version.find('.', start);
    parts[i] = std::atoi(version.substr(start, dot == std::string::npos ? std::string::npos : dot - start).c_str());
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (major) *major = parts[0];
  if (minor) *minor = parts[1];
  if (bugFix) *bugFix = parts[2];
}

bool QLIdentifierUtilities::isOSAtLeastMajorMinorBug(int major, int minor, int bug) {
  int have[3];
  getOSMajorMinorBugFix(&have[0], &have[1], &have[2]);
  int want[3] = {major, minor, bug};
  for (int i = 0; i < 3; ++i)
    if (have[i] != want[i]) return have[i] > want[i];
  return true;
}

Dictionary QLIdentifierUtilities::iTunesMetadata() {
  if (!iTunesMetadata_) {
    std::string path = platform::FileManager::stringByStandardizingPath(platform::FileManager::stringByAppendingPathComponent(
        platform::FileManager::stringByAppendingPathComponent(platform::Sandbox::documents(), ".."),
        "iTunesMetadata.plist"));
    std::optional<Value> plist;
    if (auto bytes = platform::FileManager::contentsAtPath(path)) plist = platform::PropertyList::read(*bytes);
    iTunesMetadata_ = plist && plist->isDictionary() ? plist->dictionary() : Dictionary{};
  }
  return *iTunesMetadata_;
}

std::optional<std::string> QLIdentifierUtilities::deviceSubmodel() {
  if (!deviceSubmodel_) deviceSubmodel_ = platform::SystemInfo::stringProbe("hw.machine");
  return *deviceSubmodel_;
}

std::optional<std::string> QLIdentifierUtilities::locale() {
  if (!locale_) {
    Value languages = platform::UserDefaults::standardUserDefaults().objectForKey("AppleLanguages");
    std::optional<std::string> first;
    if (languages.isArray() && !languages.array().empty() && languages.array().front().isString())
      first = platform::lowercase(languages.array().front().string());
    locale_ = first;
  }
  return *locale_;
}

int QLIdentifierUtilities::audioRoute() {
  auto& session = platform::AudioSession::sharedInstance();
  session.initialize();  // "already set up" is as good as set up
  auto route = session.audioRoute();
  if (!route || *route == "Speaker") return 1;
  if (*route == "Headphone" || *route == "Headset") return 2;
  if (route->empty()) return 3;
  return 5;
}

Dictionary QLIdentifierUtilities::parameters() {
  Dictionary out;
  auto& device = platform::Device::currentDevice();
  auto& app = platform::Application::sharedApplication();
  auto& screen = platform::Screen::mainScreen();
  auto& bundle = platform::Bundle::mainBundle();

  if (device.model() == "iPad" && isPhoneIdiom_) out.set("ios_ipadc", Value("1"));
  out.set("ios_metadata", Value(iTunesMetadata()));
  std::string version = bundle.version();
  std::string appName = version.empty() ? "" : platform::format("%@.", version);
  appName += platform::format("iphone.%@", bundle.bundleIdentifier());
  out.set("app_name", Value(appName));
  if (!deviceIdentifier_) deviceIdentifier_ = upperHex(platform::crypto::md5(device.uniqueIdentifier()));
  out.set("isu", Value(*deviceIdentifier_));
  out.set("platform", Value(device.model()));
  if (auto submodel = deviceSubmodel()) out.set("submodel", Value(*submodel));
  if (auto language = locale()) out.set("hl", Value(*language));
  out.set("u_audio", Value(platform::format("%i", audioRoute())));
  int orientation = app.statusBarOrientation();
  bool landscape = orientation == platform::kInterfaceOrientationLandscapeLeft ||
                   orientation == platform::kInterfaceOrientationLandscapeRight;
  out.set("u_so", Value(landscape ? "l" : "p"));
  out.set("u_sd", Value(QLNumberUtilities::stringWithFloat(screen.scale())));
  platform::Rect frame = screen.applicationFrame();
  out.set("u_w", Value(QLNumberUtilities::stringWithFloat(frame.size.width)));
  double height = frame.size.height + (app.isStatusBarHidden() ? 0 : screen.statusBarHeight());
  out.set("u_h", Value(QLNumberUtilities::stringWithFloat(height)));
  int books = (app.canOpenURL("itms-books://") ? 1 : 0) + (app.canOpenURL("kindle://home") ? 2 : 0);
  if (books != 0) out.set("cap_bs", Value(books));
  return out;
}

}  // namespace quillon
