#include "CZImpression.h"

#include "platform/application.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/url.h"
#include "platform/window.h"

namespace cadenzo {

using platform::Dictionary;
using platform::Passkey;
using platform::Value;

CZImpression::CZImpression(Passkey<CZImpression>, Dictionary response, int type)
    : responseContext_(std::move(response)), responseDate_(platform::Clock::current().now()), type_(type) {}

CZImpression::~CZImpression() {
  if (view_) {
    view_->setDisplayCallback(nullptr);
    view_->setCloseCallback(nullptr);
    view_->setClickCallback(nullptr);
  }
}

std::shared_ptr<CZImpression> CZImpression::createWithResponseType(const Dictionary& response, int type,
                                                                   const platform::Rect& frame) {
  if (type == CZImpressionTypeInterstitial && !response.contains("link")) return nullptr;

  auto factory = CZViewFactory::shared();
  if (!factory) return nullptr;
  const bool native = response.get("type") == Value("native");
  std::shared_ptr<CZViewProtocol> view;
  std::function<void()> prepare;
  if (native && (type == CZImpressionTypeInterstitial || type == CZImpressionTypeMoreApps)) {
    auto kind = type == CZImpressionTypeInterstitial ? CZViewFactory::Kind::NativeInterstitial
                                                     : CZViewFactory::Kind::NativeMoreApps;
    view = factory->viewWithFrame(kind, frame);
    if (!view) return nullptr;
    prepare = [view, response] { view->prepareWithResponse(response); };
  } else {
    const Value* html = response.find("html");
    if (!html || !html->isString()) return nullptr;
    view = factory->viewWithFrame(CZViewFactory::Kind::HTML, frame);
    if (!view) return nullptr;
    // The page may refer to files of the application bundle by relative path.
    std::string base = platform::URL::fileURLWithPath(platform::Bundle::mainBundle().bundlePath(), true).absoluteString();
    prepare = [view, page = html->string().str(), base] { view->loadHTMLStringBaseURL(page, base); };
  }

  auto impression = std::make_shared<CZImpression>(Passkey<CZImpression>{}, response, type);
  impression->view_ = view;
  // After the creator has returned, so that its delegate and state are in place.
  platform::DispatchQueue::main().async(std::move(prepare));
  impression->wireView();
  return impression;
}

void CZImpression::wireView() {
  std::weak_ptr<CZImpression> weakSelf = weak_from_this();
  view_->setDisplayCallback([weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    if (auto d = self->delegate()) d->impressionReadyToBeDisplayed(self);
  });
  view_->setCloseCallback([weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    if (auto d = self->delegate()) d->impressionCloseTriggered(self);
  });
  view_->setClickCallback([weakSelf](const std::optional<std::string>& url, const std::optional<Value>& moreData) {
    auto self = weakSelf.lock();
    if (!self) return;
    std::optional<std::string> target = url;
    if (!target) {
      const Value& link = self->responseContext_.get("link");
      if (link.isString()) target = link.string();
    }
    const Value& deepLink = self->responseContext_.get("deep-link");
    if (deepLink.isString() && platform::Application::sharedApplication().canOpenURL(deepLink.string()))
      target = deepLink.string();
    if (auto d = self->delegate()) d->impressionClickTriggeredForURLMoreData(self, target, moreData);
  });
  view_->setFailCallback([weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    if (auto d = self->delegate()) d->impressionFailedToInitialize(self);
  });
}

std::optional<std::string> CZImpression::location() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return location_;
}

void CZImpression::setLocation(std::optional<std::string> location) {
  std::lock_guard<std::mutex> lock(mutex_);
  location_ = std::move(location);
}

std::shared_ptr<CZImpressionProtocol> CZImpression::delegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delegate_.lock();
}

void CZImpression::setDelegate(std::weak_ptr<CZImpressionProtocol> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  delegate_ = std::move(delegate);
}

}  // namespace cadenzo
