#include "CZViewProtocol.h"

#include "CZDefaultViews.h"

#include "platform/singleton.h"

namespace cadenzo {

CZViewProtocol::Callback CZViewCallbacks::displayCallback() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return display_;
}
void CZViewCallbacks::setDisplayCallback(Callback callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  display_ = std::move(callback);
}
CZViewProtocol::Callback CZViewCallbacks::closeCallback() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return close_;
}
void CZViewCallbacks::setCloseCallback(Callback callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  close_ = std::move(callback);
}
CZViewProtocol::ClickCallback CZViewCallbacks::clickCallback() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return click_;
}
void CZViewCallbacks::setClickCallback(ClickCallback callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  click_ = std::move(callback);
}
CZViewProtocol::Callback CZViewCallbacks::failCallback() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fail_;
}
void CZViewCallbacks::setFailCallback(Callback callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_ = std::move(callback);
}

namespace {
platform::ProcessState<std::shared_ptr<CZViewFactory>>& factoryState() {
  static platform::ProcessState<std::shared_ptr<CZViewFactory>> state([] { return CZMakeDefaultViewFactory(); });
  return state;
}
}  // namespace

std::shared_ptr<CZViewFactory> CZViewFactory::shared() {
  return factoryState().with([](std::shared_ptr<CZViewFactory>& f) { return f; });
}

void CZViewFactory::setShared(std::shared_ptr<CZViewFactory> factory) {
  factoryState().with([&](std::shared_ptr<CZViewFactory>& f) { f = std::move(factory); });
}

}  // namespace cadenzo
