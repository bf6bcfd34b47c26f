#pragma once
// Errors and exceptions.
//
// `Error` is a plain copyable value: a domain, a code and a dictionary of details. Failures
// reported with an error object carry one of these; nothing throws.
// `Exception` is thrown only where a call raises by contract and the caller can observe it.
#include <exception>
#include <string>

#include "platform/value.h"

namespace platform {

// Keys of `Error::userInfo` shared by every component.
inline constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* kLocalizedFailureReasonKey = "NSLocalizedFailureReason";
inline constexpr const char* kUnderlyingErrorKey = "NSUnderlyingError";

struct Error {
  std::string domain;
  long code = 0;
  Value userInfo;  // a Dictionary, or null when there are no details

  // The userInfo's localized description when it holds a string; otherwise the
  // platform's generic sentence naming the domain and the code:
  //   "The operation couldn’t be completed. (<domain> error <code>.)"
  std::string localizedDescription() const;

  bool operator==(const Error& o) const {
    return domain == o.domain && code == o.code && userInfo == o.userInfo;
  }
};

// An exception raised by name ("NSInvalidArgumentException", ...).
struct Exception : std::exception {
  std::string name;
  std::string reason;

  Exception(std::string n, std::string r) : name(std::move(n)), reason(std::move(r)) {}
  const char* what() const noexcept override { return reason.c_str(); }
};

}  // namespace platform
