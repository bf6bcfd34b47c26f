#pragma once
// One ad answer of the API made ready for the screen: it keeps the answer and its arrival
// time, builds the view that renders it (native interstitial, native more-apps list or HTML
// page, through CZViewFactory), prepares that view on a later turn of the main queue (so
// the creator has set itself as delegate by then), and turns the view's callbacks into
// calls of its delegate, which it reads when a callback fires.
//
// A click from the view goes out with the view's URL, else the answer's "link"; an answer's
// "deep-link" that the application can open replaces it.
//
// Ownership: shared; the impression owns its view; the delegate is not retained. The view's
// callbacks hold the impression weakly, and are cleared when the impression goes away.
// Thread safety: state, type, location and delegate may be read and set from any thread;
// everything else happens on the main thread.
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "CZViewProtocol.h"
#include "platform/passkey.h"
#include "platform/value.h"

namespace cadenzo {

class CZImpression;

enum CZImpressionState : int {
  CZImpressionStateIdle = 0,
  CZImpressionStateLoadingToShow = 1,
  CZImpressionStateShown = 2,
  CZImpressionStateDismissing = 3,
  CZImpressionStateLoadingToCache = 4,
  CZImpressionStateCached = 5,
};

enum CZImpressionType : int {
  CZImpressionTypeInterstitial = 1,
  CZImpressionTypeMoreApps = 2,
};

class CZImpressionProtocol {
 public:
  virtual ~CZImpressionProtocol() = default;
  virtual void impressionReadyToBeDisplayed(const std::shared_ptr<CZImpression>& impression) = 0;
  virtual void impressionCloseTriggered(const std::shared_ptr<CZImpression>& impression) = 0;
  virtual void impressionClickTriggeredForURLMoreData(const std::shared_ptr<CZImpression>& impression,
                                                      const std::optional<std::string>& url,
                                                      const std::optional<platform::Value>& moreData) = 0;
  virtual void impressionFailedToInitialize(const std::shared_ptr<CZImpression>& impression) = 0;
};

class CZImpression : public std::enable_shared_from_this<CZImpression> {
 public:
  // initWithResponse:type:. nullptr for an interstitial without "link", for a non-native
  // answer without "html", or when no view can be made. The view is made with `frame` (the
  // window's frame when the facade makes it).
  static std::shared_ptr<CZImpression> createWithResponseType(const platform::Dictionary& response, int type,
                                                              const platform::Rect& frame = {});
  ~CZImpression();

  const std::shared_ptr<CZViewProtocol>& view() const { return view_; }
  const platform::Dictionary& responseContext() const { return responseContext_; }
  // Seconds since 1970 when the impression was created.
  double responseDate() const { return responseDate_; }

  int state() const { return state_.load(); }
  void setState(int state) { state_.store(state); }
  int type() const { return type_.load(); }
  void setType(int type) { type_.store(type); }
  std::optional<std::string> location() const;
  void setLocation(std::optional<std::string> location);
  std::shared_ptr<CZImpressionProtocol> delegate() const;
  void setDelegate(std::weak_ptr<CZImpressionProtocol> delegate);
  // True the first time only: the facade says once that it ignores this ad's commands.
  bool noteFirstIgnoredCommand() { return !ignoredCommandNoted_.exchange(true); }
  // Fetched to be shown at once (no "cache" in its call): the server counted it then, so
  // showing it later, from the cache, is not announced again.
  bool fetchedToShow() const { return fetchedToShow_.load(); }
  void setFetchedToShow(bool fetched) { fetchedToShow_.store(fetched); }

  CZImpression(platform::Passkey<CZImpression>, platform::Dictionary response, int type);

 private:
  void wireView();

  std::shared_ptr<CZViewProtocol> view_;
  platform::Dictionary responseContext_;
  double responseDate_ = 0;
  std::atomic<int> state_{CZImpressionStateIdle};
  std::atomic<int> type_{0};
  std::atomic<bool> ignoredCommandNoted_{false};
  std::atomic<bool> fetchedToShow_{false};
  mutable std::mutex mutex_;
  std::optional<std::string> location_;
  std::weak_ptr<CZImpressionProtocol> delegate_;
};

}  // namespace cadenzo
