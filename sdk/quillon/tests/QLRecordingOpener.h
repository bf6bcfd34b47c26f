#pragma once
// An opener that records what it is asked to open, one line per call.
#include <string>
#include <vector>

#include "QLOpener.h"
#include "platform/value.h"

namespace quillon_test {

struct RecordingOpener : quillon::QLOpener {
  std::vector<std::string> calls;
  void setViewController(std::weak_ptr<quillon::QLFullScreenController>) override {}
  void openNotification(const quillon::QLNotification& n) override {
    calls.push_back("open " + n.name() + " " + platform::Value(n.parameters()).description());
  }
  void openApp(const platform::URL& url) override { calls.push_back("app " + url.absoluteString()); }
  void openMailComposer(const platform::URL& url) override { calls.push_back("mail " + url.absoluteString()); }
  void setReferringURL(std::optional<platform::URL> url) override {
    calls.push_back("referrer " + (url ? url->absoluteString() : std::string("-")));
  }
  void openBrowserToURLSupportedOrientations(const platform::URL& url, int orientations) override {
    calls.push_back("browser " + url.absoluteString() + " " + std::to_string(orientations));
  }
  void openWebAppSupportedOrientations(const platform::URL& url, int orientations) override {
    calls.push_back("webapp " + url.absoluteString() + " " + std::to_string(orientations));
  }
};

}  // namespace quillon_test
