#pragma once
// What an ad or click request tells its owner. Every message is optional: a delegate says
// which ones it implements with respondedMessages() (all, unless it narrows them).
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/value.h"

namespace nubira {

class NBHttpRequestDelegate {
 public:
  enum Message : unsigned {
    kAdRequestFinished = 1u << 0,
    kAdRequestFailed = 1u << 1,
    kStartDeviceInfoUpload = 1u << 2,
    kAdClickFinished = 1u << 3,
    kAdClickFailed = 1u << 4,
    kAllMessages = (1u << 5) - 1,
  };
  virtual ~NBHttpRequestDelegate() = default;
  virtual unsigned respondedMessages() const { return kAllMessages; }

  // The reply body of a status-200 answer (possibly empty).
  virtual void nbAdRequestFinished(const platform::Bytes& data) { (void)data; }
  // An NBAdError: no connection or no body (5), a network failure (4), another status (0).
  virtual void nbAdRequestFailed(const platform::Error& error) { (void)error; }
  // The reply asked for a device-info upload to `url` ("X-Nubira-Ph"). The one name for it:
  // the owner that uploads implements this message.
  virtual void startDeviceInfoUploadOnUrl(const std::string& url) { (void)url; }
  // Where the click's redirects ended, and the action type the first redirect named.
  virtual void adClickRequestFinishedWithUrlNewAdActionType(const std::optional<std::string>& url,
                                                            const std::optional<std::string>& actionType) {
    (void)url;
    (void)actionType;
  }
  virtual void adClickRequestFailed() {}
};

}  // namespace nubira
