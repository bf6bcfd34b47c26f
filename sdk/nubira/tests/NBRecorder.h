#pragma once
// A request delegate that writes down what it is told.
#include <functional>
#include <string>
#include <vector>

#include "NBHttpRequestDelegate.h"

namespace nubiratest {

struct Recorder : nubira::NBHttpRequestDelegate {
  std::vector<std::string> events;
  platform::Bytes data;
  platform::Error error;
  std::optional<std::string> clickUrl, clickAction;
  unsigned responds = kAllMessages;
  std::function<void(const std::string&)> onUpload;

  unsigned respondedMessages() const override { return responds; }
  void nbAdRequestFinished(const platform::Bytes& d) override {
    data = d;
    events.push_back("finished");
  }
  void nbAdRequestFailed(const platform::Error& e) override {
    error = e;
    events.push_back("failed " + std::to_string(e.code));
  }
  void startDeviceInfoUploadOnUrl(const std::string& url) override {
    events.push_back("upload " + url);
    if (onUpload) onUpload(url);
  }
  void adClickRequestFinishedWithUrlNewAdActionType(const std::optional<std::string>& url,
                                                    const std::optional<std::string>& action) override {
    clickUrl = url;
    clickAction = action;
    events.push_back("click finished");
  }
  void adClickRequestFailed() override { events.push_back("click failed"); }
};

}  // namespace nubiratest
