#include "HVCallbackContext.h"

namespace halvern {

std::shared_ptr<HVCallbackContext> HVCallbackContext::contextWithCallbackInvocationPassResults(HVCallback invocation,
                                                                                               bool passResults) {
  return std::make_shared<HVInvocationCallbackContext>(std::move(invocation), passResults);
}

void HVCallbackContext::deliver(HVCommandResult result) const {
  if (!passResults_) result.value.reset();
  call(result);
}

}  // namespace halvern
