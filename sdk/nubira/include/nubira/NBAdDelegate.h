#pragma once
// What a Nubira banner tells its host. Every message is optional: a delegate names the ones it
// implements with respondedMessages() (all, unless it narrows them). Main thread.
#include <memory>

#include "platform/error.h"

namespace nubira {

class NBAdView;

class NBAdDelegate {
 public:
  enum Message : unsigned {
    kDidFinishRequest = 1u << 0,
    kDidFailRequest = 1u << 1,
    kWillPresentScreen = 1u << 2,
    kWillDismissScreen = 1u << 3,
    kDidDismissScreen = 1u << 4,
    kWillLeaveApplication = 1u << 5,
    kAllMessages = (1u << 6) - 1,
  };
  virtual ~NBAdDelegate() = default;
  virtual unsigned respondedMessages() const { return kAllMessages; }

  virtual void adViewDidFinishRequest(NBAdView& view) { (void)view; }
  // `error` is an NBAdError: the message is its domain, the code an NBAdErrorCode.
  virtual void adViewDidFailRequestWithError(NBAdView& view, const platform::Error& error) {
    (void)view;
    (void)error;
  }
  virtual void adViewWillPresentScreen(NBAdView& view) { (void)view; }
  virtual void adViewWillDismissScreen(NBAdView& view) { (void)view; }
  virtual void adViewDidDismissScreen(NBAdView& view) { (void)view; }
  virtual void adViewWillLeaveApplication(NBAdView& view) { (void)view; }
};

}  // namespace nubira
