#pragma once
// The errors every Nubira failure report carries: the message is the error's domain (and its
// localized description), the code one of NBAdErrorCode.
#include <string>

#include "platform/error.h"

namespace nubira {

enum NBAdErrorCode : long {
  NBAdErrorCodeInvalidRequest = 0,
  NBAdErrorCodeRequestInProgress = 1,
  NBAdErrorCodeClickInProgress = 2,
  NBAdErrorCodeNoFill = 3,
  NBAdErrorCodeNetworkError = 4,
  NBAdErrorCodeInternalError = 5,
};

class NBAdError {
 public:
  // An error whose domain and localized description are `message`; the entries of
  // `userInfo` (a dictionary, or null) are kept beside the description.
  static platform::Error errorWithDomainCodeUserInfo(const std::string& message, long code,
                                                     const platform::Value& userInfo = {});
};

}  // namespace nubira
