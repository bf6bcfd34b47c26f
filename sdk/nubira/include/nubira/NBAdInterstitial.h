#pragma once
// The Nubira full-screen ad: loaded in advance with loadRequest, shown when the host chooses
// with presentFromRootViewController, and closed by the user. Its life cycle:
//   0 no ad → loadRequest → 1 loading → the page has loaded → 2 ready → presented → 3 shown
//   → dismissed → 0. A failed request, a failed page or 60 s without a loaded page return
//   1 to 0. Every outcome reaches the delegate; nothing is thrown. Main thread only.
// Ownership: made by create() in a shared_ptr; the delegate is not retained and may destroy
// the interstitial inside any of its callbacks.
#include <memory>
#include <optional>
#include <string>

#include "nubira/NBAdInterstitialDelegate.h"
#include "platform/error.h"
#include "platform/passkey.h"
#include "platform/value.h"

namespace platform {
class Button;
class Timer;
class WebView;
class ViewController;
}  // namespace platform

namespace nubira {

class NBAdRequest;
class NBAdUnit;
class NBAdInterstitialPrivate;
class NBHttpAdRequest;
class NBUserInfo;
class NBSDKUtil;

enum NBAdInterstitialState : int {
  NBAdInterstitialStateInit = 0,
  NBAdInterstitialStateLoading = 1,
  NBAdInterstitialStateReady = 2,
  NBAdInterstitialStateActive = 3,
};

class NBAdInterstitial : public std::enable_shared_from_this<NBAdInterstitial> {
 public:
  static constexpr int kPhoneAdSlot = 14;
  static constexpr int kPadAdSlot = 16;
  static constexpr double kMinimumSecondsBetweenAds = 20.0;
  static constexpr double kLoadTimeout = 60.0;

  static std::shared_ptr<NBAdInterstitial> create();
  ~NBAdInterstitial();
  NBAdInterstitial(const NBAdInterstitial&) = delete;
  NBAdInterstitial& operator=(const NBAdInterstitial&) = delete;

  // Accepted in states 0 and 2; refusals reach the delegate and leave the state as it was.
  // nullptr is refused as an invalid request.
  void loadRequest(const std::shared_ptr<NBAdRequest>& request);
  // Shows a ready ad modally over the key window's root view controller, else over `root`.
  void presentFromRootViewController(const std::shared_ptr<platform::ViewController>& root);

  int state() const { return state_; }
  double lastAdTimeStamp() const { return lastAdTimeStamp_; }
  const std::string& nbAppId() const { return nbAppId_; }
  void setNbAppId(std::string appId) { nbAppId_ = std::move(appId); }
  std::shared_ptr<NBAdInterstitialDelegate> delegate() const { return delegate_.lock(); }
  // Nil while an ad is loading also drops that load: the interstitial returns to state 0 and
  // can load again. A ready or shown ad stays as it is.
  void setDelegate(std::weak_ptr<NBAdInterstitialDelegate> delegate);
  const std::shared_ptr<NBAdUnit>& currentAdUnit() const { return currentAdUnit_; }
  const std::shared_ptr<NBUserInfo>& nbUserInfo() const { return nbUserInfo_; }

  // ---- for tests and the demo ----
  const std::shared_ptr<NBAdInterstitialPrivate>& viewControllerForTesting() const {
    return nbInterstitialViewController_;
  }
  // The ad's page and the close button of the current view controller (nullptr without one).
  std::shared_ptr<platform::WebView> webViewForTesting() const;
  std::shared_ptr<platform::Button> closeButtonForTesting() const;

  explicit NBAdInterstitial(platform::Passkey<NBAdInterstitial>);

 private:
  class Listener;

  void createPrivateInterstitialInstance();
  void releasePrivateInterstitialInstance();
  std::optional<std::string> areFieldsValid() const;
  std::string getServerUrl(bool testMode) const;
  std::shared_ptr<platform::ViewController> getRootViewController(
      const std::shared_ptr<platform::ViewController>& fallback) const;
  void displayInterstitialWithViewController(const std::shared_ptr<platform::ViewController>& root);
  bool isAdRequestValidNow() const;
  void storeAdTimeStamp();
  void checkAdUnitLoadComplete();
  void invalidateAdFailedTimer();
  void cancelLoading();

  void nbAdRequestFinished(const platform::Bytes& data);
  void nbAdRequestFailed(const platform::Error& error);
  void interstitialFinishedLoading();
  void interstitialFailedToLoadWithError(const platform::Error& error);
  void interstitialWillDismiss();
  void interstitialDidDismiss();
  void interstitialWillLeaveApp();

  void performAdSuccessNotification();
  void performAdFailedNotification(const platform::Error& error);
  void performAdPresentFailedNotification(const platform::Error& error);
  void performAdDisplayNotification();
  void performAdWillDismissNotification();
  void performAdDidDismissNotification();
  void performAppWillLeaveNotification();
  template <class F>
  void tellDelegate(unsigned message, const char* selector, F&& call);

  int state_ = NBAdInterstitialStateInit;
  double lastAdTimeStamp_ = 0;
  std::shared_ptr<NBSDKUtil> util_;
  std::weak_ptr<NBAdInterstitialDelegate> delegate_;
  std::shared_ptr<Listener> listener_;
  std::shared_ptr<NBAdInterstitialPrivate> nbInterstitialViewController_;
  std::shared_ptr<NBHttpAdRequest> adRequest_;
  bool isStatusBarHidden_ = false;
  std::shared_ptr<platform::Timer> adUnitFailLoadTimer_;
  std::string nbAppId_;
  std::shared_ptr<NBAdUnit> currentAdUnit_;
  std::shared_ptr<NBUserInfo> nbUserInfo_;
};

}  // namespace nubira
