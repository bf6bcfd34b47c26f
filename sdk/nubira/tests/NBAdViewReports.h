#pragma once
// A banner delegate that writes down what it is told, in order: "finish", "<code> <message>",
// "present", "will dismiss", "did dismiss", "leave".
#include <functional>
#include <string>
#include <vector>

#include "nubira/NBAdDelegate.h"

namespace nubiratest {

struct NBAdViewReports : nubira::NBAdDelegate {
  std::vector<std::string> events;
  unsigned responds = kAllMessages;
  // Called after each report is written down.
  std::function<void(const std::string&)> onEvent;

  unsigned respondedMessages() const override { return responds; }
  void adViewDidFinishRequest(nubira::NBAdView&) override { add("finish"); }
  void adViewDidFailRequestWithError(nubira::NBAdView&, const platform::Error& e) override {
    add(std::to_string(e.code) + " " + e.domain);
  }
  void adViewWillPresentScreen(nubira::NBAdView&) override { add("present"); }
  void adViewWillDismissScreen(nubira::NBAdView&) override { add("will dismiss"); }
  void adViewDidDismissScreen(nubira::NBAdView&) override { add("did dismiss"); }
  void adViewWillLeaveApplication(nubira::NBAdView&) override { add("leave"); }
  void add(const std::string& event) {
    events.push_back(event);
    if (onEvent) onEvent(event);
  }
};

}  // namespace nubiratest
