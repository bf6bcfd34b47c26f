#pragma once
// Fetches one tracking URL (an impression, a click tracker, a page's "click" or "httpTrack")
// for its effect on the ad server, following http redirects. A redirect to another scheme (an
// application link) ends the tracking successfully without being fetched. The outcome is
// told once. While it runs, a background task keeps the application alive (or, where the
// platform has none, the class-wide count of running trackings says so). Main thread only.
#include <memory>
#include <optional>

#include "QLCachedFile.h"
#include "platform/application.h"
#include "platform/passkey.h"

namespace quillon {

class QLClickTracker;
class QLStatistics;

// Both optional.
class QLClickTrackerDelegate {
 public:
  virtual ~QLClickTrackerDelegate() = default;
  virtual void trackerDidFailWithError(QLClickTracker& tracker, const std::optional<platform::Error>& error) {
    (void)tracker;
    (void)error;
  }
  // `url` is the destination reached.
  virtual void trackerDidRedirect(QLClickTracker& tracker, const platform::URL& url) {
    (void)tracker;
    (void)url;
  }
};

class QLClickTracker : public std::enable_shared_from_this<QLClickTracker> {
 public:
  // `statistics` hears of every tracking that ends well.
  static std::shared_ptr<QLClickTracker> create(std::shared_ptr<QLStatistics> statistics);
  ~QLClickTracker();

  // Stops any earlier tracking of this tracker and starts one for `url`.
  void trackURL(const platform::URL& url);
  // Stops the fetch and ends the background task.
  void reset();
  bool hasTracked() const { return hasTracked_; }
  // The destination reached, once a fetch ran.
  std::optional<platform::URL> trackingURL() const;
  std::shared_ptr<QLClickTrackerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<QLClickTrackerDelegate> delegate) { delegate_ = std::move(delegate); }

  // Trackings running where the platform offers no background tasks.
  static bool activeTrackings();

  using Passkey = platform::Passkey<QLClickTracker>;
  QLClickTracker(Passkey, std::shared_ptr<QLStatistics> statistics);

 private:
  class FileListener;

  void finish();
  void fail(const std::optional<platform::Error>& error);
  void endBackgroundWork();

  std::weak_ptr<QLClickTrackerDelegate> delegate_;
  std::shared_ptr<QLCachedFile> tracker_;
  std::shared_ptr<FileListener> listener_;
  bool hasTracked_ = false;
  platform::BackgroundTaskIdentifier backgroundTaskID_ = platform::kBackgroundTaskInvalid;
  bool counted_ = false;
  std::shared_ptr<QLStatistics> statistics_;
};

}  // namespace quillon
