#pragma once
// Mail and message composers and the store product sheet: view controllers that record
// what the client filled in and finish when a test says so. Whether each class exists is a
// Runtime fact ("MFMailComposeViewController", "MFMessageComposeViewController",
// "SKStoreProductViewController"); whether mail or text can be sent is set here (both yes
// by default, restored on test reset). Delegates are not retained. Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/value.h"
#include "platform/view_controller.h"

namespace platform {

class MailComposeViewController;
class MessageComposeViewController;
class StoreProductViewController;

enum class MailComposeResult : int { Cancelled = 0, Saved = 1, Sent = 2, Failed = 3 };
enum class MessageComposeResult : int { Cancelled = 0, Sent = 1, Failed = 2 };

class MailComposeDelegate {
 public:
  virtual ~MailComposeDelegate() = default;
  virtual void mailComposeControllerDidFinishWithResultError(MailComposeViewController& controller,
                                                             MailComposeResult result,
                                                             const std::optional<Error>& error) = 0;
};

class MailComposeViewController : public ViewController {
 public:
  static bool canSendMail();
  static void setCanSendMail(bool can);

  std::shared_ptr<MailComposeDelegate> mailComposeDelegate() const { return delegate_.lock(); }
  void setMailComposeDelegate(const std::shared_ptr<MailComposeDelegate>& d) { delegate_ = d; }
  void setToRecipients(std::vector<std::string> r) { to_ = std::move(r); }
  void setCcRecipients(std::vector<std::string> r) { cc_ = std::move(r); }
  void setBccRecipients(std::vector<std::string> r) { bcc_ = std::move(r); }
  void setSubject(std::string s) { subject_ = std::move(s); }
  void setMessageBodyIsHTML(std::string body, bool isHTML) {
    body_ = std::move(body);
    isHTML_ = isHTML;
  }
  void addAttachmentDataMimeTypeFileName(Bytes data, std::string mimeType, std::string fileName) {
    attachments_.push_back({std::move(data), std::move(mimeType), std::move(fileName)});
  }
  const std::vector<std::string>& toRecipients() const { return to_; }
  const std::vector<std::string>& ccRecipients() const { return cc_; }
  const std::vector<std::string>& bccRecipients() const { return bcc_; }
  const std::string& subject() const { return subject_; }
  const std::string& body() const { return body_; }
  bool isHTML() const { return isHTML_; }
  struct Attachment {
    Bytes data;
    std::string mimeType;
    std::string fileName;
  };
  const std::vector<Attachment>& attachments() const { return attachments_; }

  // Test hook: the user finished; the delegate hears it (the controller stays presented
  // until someone dismisses it, as on the platform).
  void finishWithResult(MailComposeResult result, std::optional<Error> error = std::nullopt);

 private:
  std::weak_ptr<MailComposeDelegate> delegate_;
  std::vector<std::string> to_, cc_, bcc_;
  std::string subject_, body_;
  bool isHTML_ = false;
  std::vector<Attachment> attachments_;
};

class MessageComposeDelegate {
 public:
  virtual ~MessageComposeDelegate() = default;
  virtual void messageComposeViewControllerDidFinishWithResult(MessageComposeViewController& controller,
                                                               MessageComposeResult result) = 0;
};

class MessageComposeViewController : public ViewController {
 public:
  static bool canSendText();
  static void setCanSendText(bool can);

  std::shared_ptr<MessageComposeDelegate> messageComposeDelegate() const { return delegate_.lock(); }
  void setMessageComposeDelegate(const std::shared_ptr<MessageComposeDelegate>& d) { delegate_ = d; }
  const std::vector<std::string>& recipients() const { return recipients_; }
  void setRecipients(std::vector<std::string> r) { recipients_ = std::move(r); }
  const std::string& body() const { return body_; }
  void setBody(std::string b) { body_ = std::move(b); }
  void finishWithResult(MessageComposeResult result);

 private:
  std::weak_ptr<MessageComposeDelegate> delegate_;
  std::vector<std::string> recipients_;
  std::string body_;
};

inline constexpr const char* kStoreProductParameterITunesItemIdentifier = "id";

class StoreProductDelegate {
 public:
  virtual ~StoreProductDelegate() = default;
  virtual void productViewControllerDidFinish(StoreProductViewController& controller) { (void)controller; }
};

// loadProductWithParametersCompletionBlock records the parameters; the completion runs when
// a test calls completeLoad (once; later calls do nothing).
class StoreProductViewController : public ViewController {
 public:
  using Completion = std::function<void(bool result, const std::optional<Error>& error)>;
  std::shared_ptr<StoreProductDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<StoreProductDelegate>& d) { delegate_ = d; }
  void loadProductWithParametersCompletionBlock(const Value& parameters, Completion completion);
  const Value& parameters() const { return parameters_; }
  bool isLoadPending() const { return static_cast<bool>(completion_); }
  void completeLoad(bool result, std::optional<Error> error = std::nullopt);
  // Test hook: the user closed the sheet.
  void finish();

 private:
  std::weak_ptr<StoreProductDelegate> delegate_;
  Value parameters_;
  Completion completion_;
};

}  // namespace platform
