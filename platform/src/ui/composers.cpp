#include "platform/composers.h"

#include <atomic>
#include <mutex>

#include "platform/singleton.h"

namespace platform {

namespace {
struct Facts {
  std::atomic<bool> canSendMail{true};
  std::atomic<bool> canSendText{true};
};
Facts& facts() {
  static Facts* f = [] {
    auto* p = new Facts;
    onProcessReset([p] {
      p->canSendMail = true;
      p->canSendText = true;
    });
    return p;
  }();
  return *f;
}
}  // namespace

bool MailComposeViewController::canSendMail() { return facts().canSendMail; }
void MailComposeViewController::setCanSendMail(bool can) { facts().canSendMail = can; }

void MailComposeViewController::finishWithResult(MailComposeResult result, std::optional<Error> error) {
  auto self = shared_from_this();
  if (auto d = mailComposeDelegate()) d->mailComposeControllerDidFinishWithResultError(*this, result, error);
}

bool MessageComposeViewController::canSendText() { return facts().canSendText; }
void MessageComposeViewController::setCanSendText(bool can) { facts().canSendText = can; }

void MessageComposeViewController::finishWithResult(MessageComposeResult result) {
  auto self = shared_from_this();
  if (auto d = messageComposeDelegate()) d->messageComposeViewControllerDidFinishWithResult(*this, result);
}

void StoreProductViewController::loadProductWithParametersCompletionBlock(const Value& parameters,
                                                                          Completion completion) {
  parameters_ = parameters;
  completion_ = std::move(completion);
}

void StoreProductViewController::completeLoad(bool result, std::optional<Error> error) {
  if (!completion_) return;
  auto self = shared_from_this();
  auto completion = std::move(completion_);
  completion_ = nullptr;
  completion(result, error);
}

void StoreProductViewController::finish() {
  auto self = shared_from_this();
  if (auto d = delegate()) d->productViewControllerDidFinish(*this);
}

}  // namespace platform
