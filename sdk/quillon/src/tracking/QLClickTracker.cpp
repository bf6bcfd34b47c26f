#include "QLClickTracker.h"

#include "QLStatistics.h"
#include "platform/runtime.h"
#include "platform/singleton.h"
#include "platform/text_helpers.h"

namespace quillon {

using platform::Error;
using platform::URL;

namespace {
struct RunningCount {
  int trackings = 0;
};
platform::ProcessState<RunningCount>& running() {
  static platform::ProcessState<RunningCount> s;
  return s;
}

bool schemeStartsWithHttp(const URL& url) {
  return platform::lowercase(url.scheme().value_or("")).rfind("http", 0) == 0;
}
}  // namespace

class QLClickTracker::FileListener : public QLCachedFileDelegate {
 public:
  explicit FileListener(std::weak_ptr<QLClickTracker> owner) : owner_(std::move(owner)) {}

  void cachedFileDownloadDidEnd(QLCachedFile&) override {
    if (auto owner = owner_.lock()) owner->finish();
  }
  void cachedFileDownloadDidFail(QLCachedFile&, const std::optional<Error>& error) override {
    if (auto owner = owner_.lock()) owner->fail(error);
  }
  std::optional<Error> cachedFileShouldRedirectToURL(QLCachedFile&, const URL& url) override {
    if (schemeStartsWithHttp(url)) return std::nullopt;
    // An application link is where the tracking was meant to lead: done, without loading it.
    if (auto owner = owner_.lock()) owner->finish();
    return Error{"com.quillon.ads", 0, {}};
  }

 private:
  std::weak_ptr<QLClickTracker> owner_;
};

std::shared_ptr<QLClickTracker> QLClickTracker::create(std::shared_ptr<QLStatistics> statistics) {
  return std::make_shared<QLClickTracker>(Passkey{}, std::move(statistics));
}

QLClickTracker::QLClickTracker(Passkey, std::shared_ptr<QLStatistics> statistics)
    : statistics_(std::move(statistics)) {}

QLClickTracker::~QLClickTracker() { reset(); }

bool QLClickTracker::activeTrackings() { return running().read(&RunningCount::trackings) != 0; }

std::optional<URL> QLClickTracker::trackingURL() const {
  if (!tracker_) return std::nullopt;
  return tracker_->httpDestinationURL();
}

void QLClickTracker::trackURL(const URL& url) {
  reset();
  hasTracked_ = false;
  auto& app = platform::Application::sharedApplication();
  if (platform::Runtime::respondsToSelector("UIApplication", "beginBackgroundTaskWithExpirationHandler:")) {
    std::weak_ptr<QLClickTracker> weak = weak_from_this();
    backgroundTaskID_ = app.beginBackgroundTaskWithExpirationHandler([weak] {
      if (auto self = weak.lock()) self->reset();
    });
  } else {
    running().with([](RunningCount& c) { ++c.trackings; });
    counted_ = true;
  }
  listener_ = std::make_shared<FileListener>(weak_from_this());
  tracker_ = QLCachedFile::create(listener_, url);
  tracker_->validate();
}

void QLClickTracker::reset() {
  if (tracker_) {
    tracker_->setDelegate({});
    tracker_->invalidate();
    tracker_.reset();
  }
  listener_.reset();
  endBackgroundWork();
}

void QLClickTracker::endBackgroundWork() {
  if (backgroundTaskID_ != platform::kBackgroundTaskInvalid) {
    platform::Application::sharedApplication().endBackgroundTask(backgroundTaskID_);
    backgroundTaskID_ = platform::kBackgroundTaskInvalid;
  }
  if (counted_) {
    running().with([](RunningCount& c) { --c.trackings; });
    counted_ = false;
  }
}

void QLClickTracker::finish() {
  if (hasTracked_) return;
  auto self = shared_from_this();
  hasTracked_ = true;
  if (statistics_) statistics_->addClickTrackingURL(tracker_->sourceURL());
  URL reached = tracker_->httpDestinationURL();
  if (auto d = delegate()) d->trackerDidRedirect(*this, reached);
  endBackgroundWork();
}

void QLClickTracker::fail(const std::optional<Error>& error) {
  if (hasTracked_) return;
  auto self = shared_from_this();
  hasTracked_ = true;
  if (auto d = delegate()) d->trackerDidFailWithError(*this, error);
  endBackgroundWork();
}

}  // namespace quillon
