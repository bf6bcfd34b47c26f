#include "quillon/QLRequestError.h"

#include "QLIdentifierUtilities.h"
#include "QLRequestPrivate.h"
#include "platform/format.h"

namespace quillon {

std::string QLRequestError::localizedStringForErrorCode(int code) {
  switch (code) {
    case kQLErrorNoFill: return "No ad to show.";
    case kQLErrorNetworkError: return "A network error occurred.";
    case kQLErrorServerError: return "Server error processing the request.";
    case kQLErrorOSVersionTooLow: {
      int major = 0, minor = 0, bugFix = 0;
      QLIdentifierUtilities::getOSMajorMinorBugFix(&major, &minor, &bugFix);
      return platform::format("This device's OS is %i.%i.%i.  It is below the minimum of %i.%i.", major, minor, bugFix,
                              3, 0);
    }
    case kQLErrorTimeout: return "The Quillon Ad request was unable to be fulfilled before a timeout occurred.";
    default: return "Invalid ad request parameter(s).  Check the Xcode console for details.";
  }
}

platform::Error QLRequestError::errorWithCodeRequest(int code, const QLRequest* request) {
  std::string message = "Request Error: " + localizedStringForErrorCode(code);
  platform::Dictionary info;
  if (code == kQLErrorInvalidRequest && request) {
    // A report, not a request: what the next request carries must stay to be carried.
    auto p = dynamic_cast<const QLRequestPrivate*>(request);
    auto made = p ? nullptr : QLRequestPrivate::createWithRequest(*request);
    for (const auto& [key, value] : (p ? p : made.get())->parametersForReport()) info.set(key, value);
  }
  info.set(platform::kLocalizedDescriptionKey, platform::Value(message));
  info.set(platform::kLocalizedFailureReasonKey, platform::Value(message));
  return platform::Error{kQLErrorDomain, code, platform::Value(std::move(info))};
}

}  // namespace quillon
