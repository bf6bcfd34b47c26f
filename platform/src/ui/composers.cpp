#include "platform/composers.h"

#include <mutex>

#include "platform/singleton.h"

namespace platform {

namespace {
struct ComposerFacts {
  bool canSendMail = true;
  bool canSendText = true;
};
ProcessState<ComposerFacts>& facts() {
  return processState<ComposerFacts>();
}
}  // namespace

bool MailComposeViewController::canSendMail() { return facts().read(&ComposerFacts::canSendMail); }
void MailComposeViewController::setCanSendMail(bool can) { facts().write(&ComposerFacts::canSendMail, can); }

void MailComposeViewController::finishWithResult(MailComposeResult result, std::optional<Error> error) {
  auto self = shared_from_this();
  if (auto d = mailComposeDelegate()) d->mailComposeControllerDidFinishWithResultError(*this, result, error);
}

bool MessageComposeViewController::canSendText() { return facts().read(&ComposerFacts::canSendText); }
void MessageComposeViewController::setCanSendText(bool can) { facts().write(&ComposerFacts::canSendText, can); }

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
