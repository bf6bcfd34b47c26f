#pragma once
// The form body every Nubira request posts: the publisher's targeting, the device facts and
// the application facts, by request type. Keys are literal; values are escaped so that only
// ASCII letters, digits, "." and "_" travel as they are. No state; main thread (it reads
// the device orientation and the screen).
#include <optional>
#include <stdexcept>
#include <string>

namespace nubira {

class NBAdRequest;
class NBUserInfo;

enum NBRequestType : int { NBRequestTypeAd = 0, NBRequestTypeDeviceInfoUpload = 1, NBRequestTypeAdClick = 2 };

// A body that cannot be built: no user facts, or extra parameters that are not strings.
struct NBBodyBuildError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class NBHttpRequestBuilder {
 public:
  // Throws NBBodyBuildError when the body cannot be built. A missing fact only leaves its
  // key out. The ad-request body is also written to standard output.
  static std::string adRequestPostBodyUsingAdRequestForRequestType(const NBUserInfo* userInfo,
                                                                   const NBAdRequest* adRequest, int requestType);
  // nullopt for no request.
  static std::optional<std::string> getSDKDelegatePostBodyString(const NBAdRequest* adRequest);
  static std::string getDevicePostBodyString(const NBUserInfo& userInfo);
  static std::string getApplicationPostBodyStringForRequestType(const NBUserInfo& userInfo, int requestType);
  static std::optional<std::string> getURLEncoded(const std::optional<std::string>& text);
  static std::string getURLEncoded(const std::string& text);
  // Every percent escape replaced (UTF-8); nullopt when one is malformed.
  static std::optional<std::string> decodedURLString(const std::string& text);
  // "lat,lon,accuracy" of a valid fix, else "".
  static std::string currentLocationStr(const NBUserInfo& userInfo);
};

}  // namespace nubira
