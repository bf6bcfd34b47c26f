#pragma once
// How a command's outcome reaches its sender: on the main thread, through either a target
// and one of its member functions or a bare function ("invocation"). With passResults the
// callback sees the command's result; without, only whether it succeeded.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/value.h"

namespace halvern {

// What a command produced. `value` is the result (rows, bytes, a parsed value, text) when
// the command has one and the context passes results; `succeeded` is false with an
// `errorMessage` when the work failed.
struct HVCommandResult {
  bool succeeded = true;
  std::optional<platform::Value> value;
  std::string errorMessage;

  static HVCommandResult failure(std::string message) { return {false, std::nullopt, std::move(message)}; }
};

using HVCallback = std::function<void(const HVCommandResult&)>;

class HVCallbackContext {
 public:
  enum CallbackType { kTargetSelector = 0, kInvocation = 1 };
  virtual ~HVCallbackContext() = default;

  // The target is kept until the callback has run.
  template <class T>
  static std::shared_ptr<HVCallbackContext> contextWithCallbackTargetCallbackSelectorPassResults(
      std::shared_ptr<T> target, void (T::*selector)(const HVCommandResult&), bool passResults);
  static std::shared_ptr<HVCallbackContext> contextWithCallbackInvocationPassResults(HVCallback invocation,
                                                                                     bool passResults);

  int callbackType() const { return callbackType_; }
  bool passResults() const { return passResults_; }
  // Main thread. The result's value is withheld unless passResults.
  void deliver(HVCommandResult result) const;

 protected:
  HVCallbackContext(int type, bool passResults) : callbackType_(type), passResults_(passResults) {}
  virtual void call(const HVCommandResult& result) const = 0;

 private:
  int callbackType_;
  bool passResults_;
};

class HVTargSelCallbackContext final : public HVCallbackContext {
 public:
  HVTargSelCallbackContext(std::shared_ptr<void> target, HVCallback selector, bool passResults)
      : HVCallbackContext(kTargetSelector, passResults), callbackTarget_(std::move(target)),
        callbackSelector_(std::move(selector)) {}
  const std::shared_ptr<void>& callbackTarget() const { return callbackTarget_; }

 private:
  void call(const HVCommandResult& result) const override {
    if (callbackTarget_ && callbackSelector_) callbackSelector_(result);
  }
  std::shared_ptr<void> callbackTarget_;
  HVCallback callbackSelector_;
};

class HVInvocationCallbackContext final : public HVCallbackContext {
 public:
  HVInvocationCallbackContext(HVCallback invocation, bool passResults)
      : HVCallbackContext(kInvocation, passResults), callbackInvocation_(std::move(invocation)) {}
  const HVCallback& callbackInvocation() const { return callbackInvocation_; }

 private:
  void call(const HVCommandResult& result) const override {
    if (callbackInvocation_) callbackInvocation_(result);
  }
  HVCallback callbackInvocation_;
};

template <class T>
std::shared_ptr<HVCallbackContext> HVCallbackContext::contextWithCallbackTargetCallbackSelectorPassResults(
    std::shared_ptr<T> target, void (T::*selector)(const HVCommandResult&), bool passResults) {
  T* raw = target.get();
  HVCallback bound;
  if (selector) bound = [raw, selector](const HVCommandResult& result) { (raw->*selector)(result); };
  return std::make_shared<HVTargSelCallbackContext>(std::move(target), std::move(bound), passResults);
}

}  // namespace halvern
