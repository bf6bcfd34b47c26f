#pragma once
// Why a load failed: errors of the domain "com.quillon.ads" with these codes. The message
// ("Request Error: " and the code's text) is both the localized description and the
// localized failure reason; an invalid request also carries the request's parameters.
#include <string>

#include "platform/error.h"

namespace quillon {

class QLRequest;

inline constexpr const char* kQLErrorDomain = "com.quillon.ads";

enum QLErrorCode : int {
  kQLErrorInvalidRequest = 0,
  kQLErrorNoFill = 1,
  kQLErrorNetworkError = 2,
  kQLErrorServerError = 3,
  kQLErrorOSVersionTooLow = 4,
  kQLErrorTimeout = 5,
};

class QLRequestError {
 public:
  // `request` may be null.
  static platform::Error errorWithCodeRequest(int code, const QLRequest* request);
  // The text of the code; any unknown code has the text of code 0.
  static std::string localizedStringForErrorCode(int code);
};

}  // namespace quillon
