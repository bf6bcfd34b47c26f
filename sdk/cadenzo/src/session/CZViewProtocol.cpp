#include "cadenzo/CZViewProtocol.h"

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
std::mutex& factoryMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<CZViewFactory>& factoryStorage() {
  static std::shared_ptr<CZViewFactory> f;
  return f;
}
}  // namespace

std::shared_ptr<CZViewFactory> CZViewFactory::shared() {
  std::lock_guard<std::mutex> lock(factoryMutex());
  return factoryStorage();
}

void CZViewFactory::setShared(std::shared_ptr<CZViewFactory> factory) {
  std::lock_guard<std::mutex> lock(factoryMutex());
  factoryStorage() = std::move(factory);
}

}  // namespace cadenzo
