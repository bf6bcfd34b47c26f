#pragma once
// Lets a control's target–action reach a block: the control holds its target weakly, so
// whoever owns the wrapper keeps it alive as long as the control should work:
//   button->addTarget(wrapper, &CZActionWrapper::action, platform::kControlEventTouchUpInside);
// There is no way to make one without a callback.
// Main thread only (as the controls that call it).
#include <functional>
#include <memory>

#include "platform/controls.h"

namespace cadenzo {

class CZActionWrapper {
 public:
  using Callback = std::function<void(platform::Control& sender)>;

  static std::shared_ptr<CZActionWrapper> actionWrapperWithCallback(Callback callback) {
    return std::make_shared<CZActionWrapper>(std::move(callback));
  }
  explicit CZActionWrapper(Callback callback) : callback_(std::move(callback)) {}

  const Callback& callback() const { return callback_; }
  void setCallback(Callback callback) { callback_ = std::move(callback); }

  // The control's action: calls the callback (when set) with the sender.
  void action(platform::Control& sender) {
    if (callback_) callback_(sender);
  }

 private:
  Callback callback_;
};

}  // namespace cadenzo
